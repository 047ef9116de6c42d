// The pieces of one file worked on by a pool of threads while the job's thread reads and
// writes them in order. The pool belongs to one job: its threads start at the job's first
// file worth them and end with the job; a ring of piece buffers, two per worker, is
// allocated once. Other files (one piece, or pieces too cheap to hand over) run on the
// job's thread alone.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/ImageFormat.h"

// One piece on its way: the plain content and its stored form, with the chunk header.
struct PieceSlot {
    uint8_t* plain = nullptr;   // kPiecePlainMax bytes
    uint8_t* stored = nullptr;  // kChunkStoredMax bytes
    ChunkHeader header{};
    uint32_t restored = 0;  // plain bytes a restore produced
    bool worked = false;    // the lane's work succeeded
};

// What a job does to its pieces. A lane is one thread's own state: lane 0 is the job's
// thread, lanes 1 to n the pool's workers.
class PieceWork {
public:
    virtual ~PieceWork() = default;
    // On the job's thread, before the lane's first piece. False for a worker's lane fails
    // the file that started the pool; the job's own lane shows a failure through its work.
    virtual bool PrepareLane(size_t lane) = 0;
    // On the lane's thread; the result goes to slot.worked.
    virtual bool Work(size_t lane, PieceSlot& slot) = 0;
};

enum class PieceRead { Piece, End, Failed };
// How a file's run ended: every piece emitted, or what stopped it first in file order.
enum class PieceRun { Done, ReadFailed, EmitFailed, Stopped };

// The job thread's part of one file.
struct PieceSteps {
    std::function<bool()> stopped;              // checked before every piece is read or emitted
    std::function<PieceRead(PieceSlot&)> read;  // fills the next slot in file order
    std::function<bool(PieceSlot&)> emit;       // takes a worked slot in file order; false stops
};

// Workers a job uses: as many as the machine has cores, at most 8, or what a test set.
uint32_t PieceWorkerCount();
// Test seams, process-wide: the worker count (0 restores the default), and the worker
// threads started by all jobs so far.
void SetPieceWorkersForTests(uint32_t workers);
uint64_t PieceThreadsStartedForTests();

class PiecePipeline {
public:
    explicit PiecePipeline(PieceWork& work) : m_work(work) {}
    ~PiecePipeline();
    PiecePipeline(const PiecePipeline&) = delete;
    PiecePipeline& operator=(const PiecePipeline&) = delete;

    // The job thread's own slot and lane; false when there is no memory for them.
    bool Prepare();
    // Runs one file's pieces. With useWorkers (and more than one worker) they go through
    // the pool; the pieces are read and emitted in order either way. No piece is in work
    // when it returns. A failed read ends the file only after the pieces before it.
    PieceRun RunFile(bool useWorkers, const PieceSteps& steps);
    // Worker threads running, for tests.
    size_t Threads() const { return m_threads.size(); }

private:
    enum class SlotState { Free, Queued, Done };
    struct Ring {
        std::unique_ptr<uint8_t[]> memory;
        std::vector<PieceSlot> slots;
        std::vector<SlotState> states;
    };

    PieceRun RunInline(const PieceSteps& steps);
    PieceRun RunParallel(const PieceSteps& steps);
    bool StartPool(size_t workers);
    void StopPool();
    void WorkerLoop(size_t lane);
    void Submit();
    PieceSlot& WaitOldest();
    void Drain();
    static bool Allocate(Ring& ring, size_t count);

    PieceWork& m_work;
    Ring m_inline;
    Ring m_ring;
    bool m_poolTried = false;
    bool m_poolBroken = false;  // a lane could not be prepared
    uint64_t m_oldest = 0;      // first piece not yet emitted
    uint64_t m_next = 0;        // next piece to read
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_queued;
    std::condition_variable m_done;
    uint64_t m_taken = 0;  // next piece a worker takes; pieces up to m_next wait
    // Queued pieces at or under which a finishing worker wakes the job's thread.
    size_t m_lowWater = 1;
    bool m_stopping = false;
};
