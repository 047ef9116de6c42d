#include "core/JobRecords.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "platform/Clock.h"
#include "platform/FileSystem.h"

alignas(8) JobProgress g_jobProgress{};
std::atomic<int32_t> encryptCancel{0};
std::atomic<int32_t> encryptFailed{0};
std::atomic<int32_t> decryptCancel{0};
std::atomic<int32_t> decryptStop{0};

namespace {

constexpr int64_t kDefaultLifetimeSeconds = 31536000;  // 365 days

// A sequence lock over g_jobProgress: odd while the job writes. Every access to the record
// is atomic, so a reader racing the writer sees torn values at worst, and retries.
std::atomic<uint32_t> g_progressSequence{0};

template <typename Update>
void WriteProgress(Update update) {
    const uint32_t sequence = g_progressSequence.load(std::memory_order_relaxed);
    g_progressSequence.store(sequence + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    update();
    g_progressSequence.store(sequence + 2, std::memory_order_release);
}

std::atomic_ref<char16_t> PathUnit(size_t i) {
    return std::atomic_ref<char16_t>(g_jobProgress.currentFile[i]);
}

void StorePath(std::u16string_view path) {
    const size_t n = std::min(path.size(), kPathChars - 1);
    for (size_t i = 0; i < kPathChars; ++i) {
        PathUnit(i).store(i < n ? path[i] : u'\0', std::memory_order_relaxed);
    }
}

std::u16string LoadPath() {
    std::u16string path;
    for (size_t i = 0; i < kPathChars; ++i) {
        const char16_t unit = PathUnit(i).load(std::memory_order_relaxed);
        if (unit == u'\0') break;
        path += unit;
    }
    return path;
}

JobProgressSnapshot LoadProgress() {
    JobProgressSnapshot snapshot;
    snapshot.currentFile = LoadPath();
    snapshot.bytesDone = g_jobProgress.bytesDone.load(std::memory_order_relaxed);
    snapshot.bytesTotal = g_jobProgress.bytesTotal.load(std::memory_order_relaxed);
    snapshot.filesTotal = g_jobProgress.filesTotal.load(std::memory_order_relaxed);
    snapshot.filesDone = g_jobProgress.filesDone.load(std::memory_order_relaxed);
    snapshot.percent = g_jobProgress.percent.load(std::memory_order_relaxed);
    return snapshot;
}

}  // namespace

CEncryptInfo::CEncryptInfo() {
    const int64_t now = platform::CurrentTime();
    m_options.decryptLimit = 1;
    m_options.issuedTime = now;
    m_options.expiryTime = now + kDefaultLifetimeSeconds;
    m_options.maxErrorCount = 3;
}

void ResetJobProgress() {
    WriteProgress([] {
        StorePath(u"");
        g_jobProgress.bytesDone.store(0, std::memory_order_relaxed);
        g_jobProgress.bytesTotal.store(0, std::memory_order_relaxed);
        g_jobProgress.filesTotal.store(0, std::memory_order_relaxed);
        g_jobProgress.filesDone.store(0, std::memory_order_relaxed);
        g_jobProgress.percent.store(0, std::memory_order_relaxed);
    });
}

void SetProgressTotals(uint32_t files, uint64_t bytes) {
    WriteProgress([&] {
        g_jobProgress.filesTotal.store(files, std::memory_order_relaxed);
        g_jobProgress.bytesTotal.store(bytes, std::memory_order_relaxed);
    });
}

void SetProgressFile(const std::u16string& path) {
    WriteProgress([&] { StorePath(path); });
}

void AddProgressBytes(uint64_t n) {
    WriteProgress([&] {
        const uint64_t done = g_jobProgress.bytesDone.fetch_add(n, std::memory_order_relaxed) + n;
        const uint64_t total = g_jobProgress.bytesTotal.load(std::memory_order_relaxed);
        // A file that grows while it is read, or a link counted by its own size of 0, can
        // take done past the total; the bar stops at 100.
        if (total != 0) {
            const uint64_t percent = std::min<uint64_t>(done * 100 / total, 100);
            g_jobProgress.percent.store(static_cast<uint32_t>(percent), std::memory_order_relaxed);
        }
    });
}

void CountProgressFileDone() {
    WriteProgress([] { g_jobProgress.filesDone.fetch_add(1, std::memory_order_relaxed); });
}

JobProgressSnapshot TakeJobProgressSnapshot() {
    for (;;) {
        const uint32_t before = g_progressSequence.load(std::memory_order_acquire);
        if (before % 2 != 0) {  // the job is inside a write, which takes nanoseconds
            std::this_thread::yield();
            continue;
        }
        JobProgressSnapshot snapshot = LoadProgress();
        std::atomic_thread_fence(std::memory_order_acquire);
        if (g_progressSequence.load(std::memory_order_relaxed) == before) return snapshot;
    }
}

void CopyToField(char16_t* field, size_t capacity, std::u16string_view text) {
    const size_t n = std::min(text.size(), capacity - 1);
    std::fill(field, field + capacity, u'\0');
    std::copy_n(text.data(), n, field);
}

std::u16string FieldText(const char16_t* field, size_t capacity) {
    return std::u16string(field, std::find(field, field + capacity, u'\0'));
}

void CFileStatisticInfo::Collect(const std::vector<std::u16string>& sources) {
    m_totalBytes = 0;
    m_fileCount = 0;
    for (const auto& source : sources) {
        if (source.size() <= 1) continue;
        if (platform::IsDirectory(source)) {
            AddDirectory(source);
        } else {
            AddFile(source);
        }
    }
}

int32_t CFileStatisticInfo::AddFile(const std::u16string& path) {
    platform::FindData found;
    if (!platform::FindExact(path, found)) return 0;
    m_totalBytes += found.size;
    ++m_fileCount;
    return 1;
}

int32_t CFileStatisticInfo::AddDirectory(const std::u16string& path) {
    if (!platform::IsDirectory(path)) return 0;
    platform::DirectorySearch search;
    if (!search.Start(path)) return 1;
    platform::FindData entry;
    while (search.Next(entry)) {
        const std::u16string child = path + u"\\" + entry.name;
        // A linked directory is stored as an empty directory, so it adds nothing here.
        if (entry.IsDirectory() && entry.IsLink()) continue;
        if (entry.IsDirectory()) {
            AddDirectory(child);
        } else {
            AddFile(child);
        }
    }
    return 1;
}
