// The records a front end hands to the core, and the process-wide progress and flags
// through which it watches and cancels a running job.
#pragma once
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Records that go to disk are packed and little-endian; the core encodes them by
// overlaying these structs, which is only correct on a little-endian host.
static_assert(std::endian::native == std::endian::little, "image records are little-endian");

constexpr size_t kPathChars = 260;     // fixed path fields, including the terminating zero
constexpr size_t kPasswordChars = 60;  // longest password a front end accepts

#pragma pack(push, 1)
struct ImageOptions {
    uint8_t optionsEnabled;
    uint8_t decryptLimitEnabled;
    uint32_t decryptCount;
    uint32_t decryptLimit;
    uint8_t expiryEnabled;
    int64_t issuedTime;  // seconds since 1970-01-01 UTC
    int64_t expiryTime;  // seconds since 1970-01-01 UTC
    uint8_t errorLimitEnabled;
    uint32_t maxErrorCount;
    uint32_t errorCount;
};
#pragma pack(pop)
static_assert(sizeof(ImageOptions) == 36);
static_assert(offsetof(ImageOptions, decryptCount) == 2);
static_assert(offsetof(ImageOptions, decryptLimit) == 6);
static_assert(offsetof(ImageOptions, expiryEnabled) == 10);
static_assert(offsetof(ImageOptions, issuedTime) == 11);
static_assert(offsetof(ImageOptions, expiryTime) == 19);
static_assert(offsetof(ImageOptions, errorLimitEnabled) == 27);
static_assert(offsetof(ImageOptions, maxErrorCount) == 28);
static_assert(offsetof(ImageOptions, errorCount) == 32);

// Parameters of one encryption job. The core never modifies it.
class CEncryptInfo {
public:
    CEncryptInfo();
    virtual ~CEncryptInfo() = default;

    std::vector<std::u16string> m_sources;
    std::u16string m_imagePath;
    std::u16string m_password;
    int32_t m_compressLevel = 0;  // 0 store, 1 fast, 2 high
    ImageOptions m_options{};
};

// Parameters and results of one decryption job; zeroed by the front end before filling.
struct DecryptParams {
    char16_t imagePath[kPathChars];
    char16_t password[kPasswordChars];
    int32_t selectOnly;
    char16_t selectedPath[kPathChars];
    int32_t restoreMode;
    int32_t imageVersion;
    char16_t targetDir[kPathChars];
    int32_t compressLevel;
    ImageOptions options;
};
static_assert(sizeof(DecryptParams) == 1732);
static_assert(offsetof(DecryptParams, password) == 520);
static_assert(offsetof(DecryptParams, selectOnly) == 640);
static_assert(offsetof(DecryptParams, selectedPath) == 644);
static_assert(offsetof(DecryptParams, restoreMode) == 1164);
static_assert(offsetof(DecryptParams, imageVersion) == 1168);
static_assert(offsetof(DecryptParams, targetDir) == 1172);
static_assert(offsetof(DecryptParams, compressLevel) == 1692);
static_assert(offsetof(DecryptParams, options) == 1696);

// Written by the job, read by a user interface without a lock; relaxed atomics keep
// each counter whole, and the path is display-only.
#pragma pack(push, 4)
struct JobProgress {
    char16_t currentFile[kPathChars];
    std::atomic<uint64_t> bytesDone;
    std::atomic<uint64_t> bytesTotal;
    std::atomic<uint32_t> filesTotal;
    std::atomic<uint32_t> filesDone;
    std::atomic<uint32_t> percent;
};
#pragma pack(pop)
static_assert(sizeof(JobProgress) == 548);
static_assert(offsetof(JobProgress, bytesDone) == 520);
static_assert(offsetof(JobProgress, bytesTotal) == 528);
static_assert(offsetof(JobProgress, filesTotal) == 536);
static_assert(offsetof(JobProgress, filesDone) == 540);
static_assert(offsetof(JobProgress, percent) == 544);

extern JobProgress g_jobProgress;

// Cancel flags are set by a front end; failed/stop by the job itself.
extern std::atomic<int32_t> encryptCancel;
extern std::atomic<int32_t> encryptFailed;
extern std::atomic<int32_t> decryptCancel;
extern std::atomic<int32_t> decryptStop;

// The job's thread is the record's only writer, and writes it only through these, so
// that a display thread can take a consistent snapshot while the job runs.
// Zeroes the record (before a job sets its totals).
void ResetJobProgress();
void SetProgressTotals(uint32_t files, uint64_t bytes);
// currentFile = path, zero-filled, at most 259 characters.
void SetProgressFile(const std::u16string& path);
// bytesDone += n and percent recomputed while bytesTotal is non-zero.
void AddProgressBytes(uint64_t n);
void CountProgressFileDone();

// One moment of the progress record: never a path of one file with a percent of another,
// never a half-written path. The job never waits for a reader.
struct JobProgressSnapshot {
    std::u16string currentFile;
    uint64_t bytesDone = 0;
    uint64_t bytesTotal = 0;
    uint32_t filesTotal = 0;
    uint32_t filesDone = 0;
    uint32_t percent = 0;
};
JobProgressSnapshot TakeJobProgressSnapshot();

// Counts the files and bytes of a source set before encryption.
class CFileStatisticInfo {
public:
    CFileStatisticInfo() = default;
    virtual ~CFileStatisticInfo() = default;

    void Collect(const std::vector<std::u16string>& sources);
    int32_t AddFile(const std::u16string& path);
    int32_t AddDirectory(const std::u16string& path);

    uint64_t m_totalBytes = 0;
    int32_t m_fileCount = 0;
};

// Copies text into a fixed field: at most capacity - 1 characters, the rest zero.
void CopyToField(char16_t* field, size_t capacity, std::u16string_view text);
// The text of a fixed field up to its first zero (or its whole capacity).
std::u16string FieldText(const char16_t* field, size_t capacity);
