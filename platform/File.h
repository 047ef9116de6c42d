// Owner of one open file (or directory) handle. Paths are Windows-form UTF-16.
// Sharing on POSIX is approximated with advisory locks (flock): an open with Share::None
// takes an exclusive lock and any other open of a regular file a shared one, both without
// waiting. So only programs that open through this layer see each other's opens, and a
// Share::None open fails while such a program has the file open, as on Windows.
#pragma once
#include <cstdint>
#include <string>

namespace platform {

// FILETIME values: 100-ns intervals since 1601-01-01 UTC.
struct FileTimes {
    uint64_t creation = 0;
    uint64_t access = 0;
    uint64_t write = 0;
};

enum class Access : uint32_t { Read = 1, Write = 2, ReadWrite = 3 };
enum class Share : uint32_t { None = 0, Read = 1, Write = 2, ReadWrite = 3 };
enum class Disposition : uint32_t { CreateNew, CreateAlways, OpenExisting, OpenAlways };

class File {
public:
    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;

    // attributes apply when a file is created (kAttrNormal etc. from FileSystem.h).
    bool Open(const std::u16string& path, Access access, Share share, Disposition disposition,
              uint32_t attributes = 0x80);
    // A directory itself, opened only to read or set its times.
    bool OpenDirectory(const std::u16string& path);
    // An existing file for reading and for deleting through this handle, with no sharing:
    // nobody else may open, write or delete it until DeleteAndClose or Close.
    bool OpenForDeletion(const std::u16string& path);
    // Deletes the file opened by OpenForDeletion (path is its name) and closes the handle.
    // Windows marks the handle's file for deletion, so the name cannot have been swapped
    // since the open; POSIX unlinks the name only while it still names the open file.
    bool DeleteAndClose(const std::u16string& path);
    bool IsOpen() const { return m_handle != kInvalid; }

    // Reads up to size bytes; done is 0 at end of file.
    bool Read(void* buffer, uint32_t size, uint32_t& done);
    // Reads all size bytes; a file that ends first is a failure.
    bool ReadExactly(void* buffer, uint32_t size);
    // Writes all size bytes or fails.
    bool Write(const void* buffer, uint32_t size);
    bool Seek(uint64_t position);
    bool SeekToEnd();
    bool Tell(uint64_t& position) const;
    bool Size(uint64_t& size) const;
    // Data reaches the disk (FlushFileBuffers / fsync), not only the OS cache.
    bool Flush();
    bool GetTimes(FileTimes& times) const;
    // A zero field leaves that time unchanged.
    bool SetTimes(const FileTimes& times);
    // Reports whether the close itself succeeded; a closed File stays closed.
    bool Close();

private:
    static constexpr intptr_t kInvalid = -1;
    intptr_t m_handle = kInvalid;  // HANDLE on Windows, file descriptor on POSIX
};

// Opens without sharing, as the programs that share a file of the temporary folder do:
// tried attempts times with a 10 ms wait after each failure.
constexpr int kUnsharedOpenAttempts = 11;
bool OpenUnshared(File& file, const std::u16string& path, Access access, Disposition disposition,
                  uint32_t attributes = 0x80, int attempts = kUnsharedOpenAttempts);

}  // namespace platform
