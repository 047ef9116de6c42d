#include "core/PiecePipeline.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <system_error>

namespace {

constexpr uint32_t kMaxWorkers = 8;
constexpr size_t kSlotsPerWorker = 2;  // one in work, one read ahead
constexpr size_t kSlotAlign = 64;
// Both buffers of a slot, each on its own cache lines so that workers never share one.
constexpr size_t kPlainSpan = (kPiecePlainMax + kSlotAlign - 1) / kSlotAlign * kSlotAlign;
constexpr size_t kStoredSpan = (kChunkStoredMax + kSlotAlign - 1) / kSlotAlign * kSlotAlign;
constexpr size_t kSlotSpan = kPlainSpan + kStoredSpan;

std::atomic<uint32_t> g_workersForTests{0};
std::atomic<uint64_t> g_threadsStarted{0};

}  // namespace

uint32_t PieceWorkerCount() {
    const uint32_t forced = g_workersForTests.load();
    if (forced != 0) return forced;
    const uint32_t cores = std::thread::hardware_concurrency();
    return std::clamp<uint32_t>(cores, 1, kMaxWorkers);
}

void SetPieceWorkersForTests(uint32_t workers) { g_workersForTests.store(workers); }

uint64_t PieceThreadsStartedForTests() { return g_threadsStarted.load(); }

PiecePipeline::~PiecePipeline() { StopPool(); }

bool PiecePipeline::Allocate(Ring& ring, size_t count) {
    ring.memory.reset(new (std::nothrow) uint8_t[count * kSlotSpan + kSlotAlign]);
    if (!ring.memory) return false;
    auto at = reinterpret_cast<uintptr_t>(ring.memory.get());
    at = (at + kSlotAlign - 1) / kSlotAlign * kSlotAlign;
    auto* base = reinterpret_cast<uint8_t*>(at);
    ring.slots.assign(count, PieceSlot{});
    ring.states.assign(count, SlotState::Free);
    for (size_t i = 0; i < count; ++i) {
        ring.slots[i].plain = base + i * kSlotSpan;
        ring.slots[i].stored = base + i * kSlotSpan + kPlainSpan;
    }
    return true;
}

bool PiecePipeline::Prepare() {
    if (!Allocate(m_inline, 1)) return false;
    m_work.PrepareLane(0);
    return true;
}

PieceRun PiecePipeline::RunFile(bool useWorkers, const PieceSteps& steps) {
    if (useWorkers && !m_poolTried) {
        m_poolTried = true;
        const uint32_t workers = PieceWorkerCount();
        if (workers > 1 && !StartPool(workers)) m_poolBroken = true;
    }
    if (useWorkers && m_poolBroken) return PieceRun::ReadFailed;
    if (!useWorkers || m_threads.empty()) return RunInline(steps);
    return RunParallel(steps);
}

PieceRun PiecePipeline::RunInline(const PieceSteps& steps) {
    PieceSlot& slot = m_inline.slots[0];
    for (;;) {
        if (steps.stopped()) return PieceRun::Stopped;
        const PieceRead read = steps.read(slot);
        if (read == PieceRead::End) return PieceRun::Done;
        if (read == PieceRead::Failed) return PieceRun::ReadFailed;
        slot.worked = m_work.Work(0, slot);
        if (!steps.emit(slot)) return PieceRun::EmitFailed;
    }
}

// Reads ahead while the ring has room and emits the oldest piece when it is full or the
// file is read. A failed read still lets the pieces before it out first, so the first
// failing piece in file order decides how the file fails.
PieceRun PiecePipeline::RunParallel(const PieceSteps& steps) {
    const size_t ringSize = m_ring.slots.size();
    bool reading = true;
    bool readFailed = false;
    for (;;) {
        if (steps.stopped()) {
            Drain();
            return PieceRun::Stopped;
        }
        if (reading && m_next - m_oldest < ringSize) {
            const PieceRead read = steps.read(m_ring.slots[m_next % ringSize]);
            if (read == PieceRead::Piece) {
                Submit();
            } else {
                reading = false;
                readFailed = read == PieceRead::Failed;
            }
            continue;
        }
        if (m_oldest == m_next) return readFailed ? PieceRun::ReadFailed : PieceRun::Done;
        if (!steps.emit(WaitOldest())) {
            Drain();
            return PieceRun::EmitFailed;
        }
        std::lock_guard lock(m_mutex);
        m_ring.states[m_oldest % ringSize] = SlotState::Free;
        ++m_oldest;
    }
}

// Every lane is prepared before any thread starts, so that the lanes never move and a
// lane that cannot be prepared fails the file deterministically.
bool PiecePipeline::StartPool(size_t workers) {
    // Without memory for the ring the job's thread does the work alone.
    if (!Allocate(m_ring, workers * kSlotsPerWorker)) return true;
    m_lowWater = std::max<size_t>(1, workers / 2);
    for (size_t lane = 1; lane <= workers; ++lane) {
        if (!m_work.PrepareLane(lane)) return false;
    }
    try {
        for (size_t lane = 1; lane <= workers; ++lane) {
            m_threads.emplace_back([this, lane] { WorkerLoop(lane); });
            g_threadsStarted.fetch_add(1);
        }
    } catch (const std::system_error&) {
        // Fewer threads do the same work; none at all leaves it to the job's thread.
    }
    return true;
}

void PiecePipeline::StopPool() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_queued.notify_all();
    for (auto& thread : m_threads) thread.join();
    m_threads.clear();
}

void PiecePipeline::WorkerLoop(size_t lane) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_queued.wait(lock, [this] { return m_stopping || m_taken < m_next; });
        if (m_stopping) return;
        const size_t index = m_taken++ % m_ring.slots.size();
        lock.unlock();
        PieceSlot& slot = m_ring.slots[index];
        const bool worked = m_work.Work(lane, slot);
        lock.lock();
        slot.worked = worked;
        m_ring.states[index] = SlotState::Done;
        // Waking the job's thread costs a switch on a busy core, so it is woken only once
        // the workers are running short of pieces: it then emits all that are done at once.
        // Every piece ends in such a wake-up, as nothing is queued while it waits.
        if (m_next - m_taken <= m_lowWater) m_done.notify_one();
    }
}

void PiecePipeline::Submit() {
    {
        std::lock_guard lock(m_mutex);
        m_ring.states[m_next % m_ring.slots.size()] = SlotState::Queued;
        ++m_next;
    }
    m_queued.notify_one();
}

PieceSlot& PiecePipeline::WaitOldest() {
    const size_t index = m_oldest % m_ring.slots.size();
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [&] { return m_ring.states[index] == SlotState::Done; });
    return m_ring.slots[index];
}

// Waits for the pieces in work and forgets them: their buffers are free again.
void PiecePipeline::Drain() {
    std::unique_lock lock(m_mutex);
    for (; m_oldest < m_next; ++m_oldest) {
        const size_t index = m_oldest % m_ring.slots.size();
        m_done.wait(lock, [&] { return m_ring.states[index] == SlotState::Done; });
        m_ring.states[index] = SlotState::Free;
    }
}
