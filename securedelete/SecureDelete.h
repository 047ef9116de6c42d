// Destroys a file or directory tree by overwriting it before deletion.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_set>

#include "platform/FileSystem.h"

enum DeleteMethod : int32_t {
    FillZero = 0,
    FillFF = 1,
    FillRandom = 2,
    Nsa = 3,
    OldNsa = 4,
    Dod = 5,
    Nato = 6,
    Gutmann = 7,
};

// How a program shows the engine's few outputs.
class SecureDeleteReporter {
public:
    virtual ~SecureDeleteReporter() = default;
    // Ardex prints "Start secure delete %s".
    virtual void RunStarted(const std::u16string& /*path*/) {}
    virtual void OutOfMemory() {}
    // Console bar (Ardex): true makes m_percent the bar position; BarStep draws one ">".
    virtual bool UsesConsoleBar() const { return false; }
    virtual void BarStep() {}
    virtual void BarEnd() {}
};

// Test hook: sees what the engine does to the disk, on the engine's thread.
class SecureDeleteObserver {
public:
    virtual ~SecureDeleteObserver() = default;
    // After each write of `bytes` bytes from the start of the pattern buffer (passes count from 1).
    virtual void Written(const std::u16string& /*path*/, int32_t /*pass*/, uint32_t /*bytes*/) {}
    // A file was overwritten, flushed and closed in this pass, before any rename.
    virtual void FileDone(const std::u16string& /*path*/, int32_t /*pass*/) {}
    // The sweep's entries exist in `folder`, just before they are deleted again.
    virtual void SweepCreated(const std::u16string& /*folder*/) {}
    // A directory was removed on the final pass.
    virtual void DirectoryRemoved(const std::u16string& /*path*/) {}
};

// Which entries of the target a run may destroy. Asked once per entry before the first
// pass writes anything, so every pass treats the same entries.
class SecureDeleteFilter {
public:
    virtual ~SecureDeleteFilter() = default;
    // found is the entry's lookup record. A refused file or link stays untouched; a refused
    // folder is still walked and stays; an allowed folder goes only once it is empty.
    virtual bool MayErase(const std::u16string& path, const platform::FindData& found) const = 0;
};

class CSecureDelete {
public:
    CSecureDelete();
    virtual ~CSecureDelete();
    CSecureDelete(const CSecureDelete&) = delete;
    CSecureDelete& operator=(const CSecureDelete&) = delete;

    void SetReporter(SecureDeleteReporter* reporter) { m_reporter = reporter; }
    void SetObserver(SecureDeleteObserver* observer) { m_observer = observer; }
    // 1 when the passes ran (also on cancel or failed files), 0 when out of memory. Without
    // a filter the whole target goes; the filter stays the caller's and is used only
    // during the call.
    int32_t Run(const std::u16string& path, int32_t method, const SecureDeleteFilter* filter = nullptr);
    int32_t GetPercent() const { return m_percent.load(std::memory_order_relaxed); }
    // Counters of the last run; read them only while no run is going on.
    uint64_t BytesDone() const { return m_bytesDone; }
    uint64_t BytesTotal() const { return m_bytesTotal; }
    // Entries the last run's final pass met and left in place: refused by the filter,
    // or not removable (a folder that is not empty, a file that failed to open).
    uint64_t KeptCount() const { return m_kept; }

    // Set by another thread to stop the run; Run clears it at its start.
    std::atomic<int32_t> m_cancel{0};

private:
    int32_t RunPasses(const std::u16string& path, int32_t method);
    void Prepare(const std::u16string& path);
    // Counts the bytes the passes will write and records the filter's choices.
    void Survey(const std::u16string& path, const platform::FindData& found);
    bool Chosen(const std::u16string& path) const;
    bool WillOverwrite(const std::u16string& path) const;
    void FillBuffer(uint8_t* buffer, uint8_t a, uint8_t b, uint8_t c, bool random, bool uniform);
    int32_t DeletePass(const std::u16string& path, const uint8_t* buffer, bool final);
    int32_t WipeTree(const std::u16string& path, const uint8_t* buffer, bool final);
    // A file or a link met by the walk.
    void EraseEntry(const std::u16string& path, const platform::FindData& found, const uint8_t* buffer,
                    bool final);
    int32_t WipeFile(const std::u16string& path, const uint8_t* buffer, uint64_t size, bool final);
    bool IsDirectory(const std::u16string& path) const;
    // Creates and deletes the 52 names derived from maskPath in its folder.
    void SweepNameSlots(const std::u16string& maskPath, bool directories);
    // Removes an entry without overwriting it: a link as a link, a file after clearing its attributes.
    void DeletePlainly(const std::u16string& path);
    void AddProgress(uint32_t bytes);
    uint8_t NextRandomByte();

    int32_t m_unitSize;
    int32_t m_blockSize;
    char16_t m_maskName[platform::kMaxPath];
    uint64_t m_bytesDone;
    uint64_t m_bytesTotal;
    std::atomic<int32_t> m_percent{0};

    uint32_t m_randomState = 0;
    int32_t m_pass = 0;
    SecureDeleteReporter* m_reporter = nullptr;
    SecureDeleteObserver* m_observer = nullptr;
    const SecureDeleteFilter* m_filter = nullptr;
    std::unordered_set<std::u16string> m_chosen;  // what the filter allowed, when there is one
    uint64_t m_kept = 0;
};
