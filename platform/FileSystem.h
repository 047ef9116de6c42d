// Directory search, attributes and whole-file operations on Windows-form UTF-16 paths.
#pragma once
#include <cstdint>
#include <string>

#include "platform/File.h"

namespace platform {

constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrSystem = 0x04;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;
// A FIFO, socket or device node: neither a folder nor a regular file.
constexpr uint32_t kAttrDevice = 0x40;
constexpr uint32_t kAttrNormal = 0x80;
// Symbolic links and junctions; never followed by enumeration.
constexpr uint32_t kAttrReparsePoint = 0x400;
constexpr uint32_t kInvalidAttributes = 0xFFFFFFFF;

constexpr size_t kMaxPath = 260;  // characters including the terminating zero

// One directory-search record (WIN32_FIND_DATAW).
struct FindData {
    uint32_t attributes = 0;
    FileTimes times;
    uint64_t size = 0;
    std::u16string name;

    bool IsDirectory() const { return (attributes & kAttrDirectory) != 0; }
    bool IsLink() const { return (attributes & kAttrReparsePoint) != 0; }
};

// The record of exactly this path (FindFirstFileW on the path itself). Fails for a
// path ending in a backslash, a drive root, or a path with wildcards.
bool FindExact(const std::u16string& path, FindData& found);

// What a directory search fills in. NamesAndKinds is for walks that decide by name and
// look up only what they keep: each entry has its name and the directory, link and device
// bits of its attributes (and archive for a file), nothing else, and costs no lookup of
// its own where the system lists kinds with names.
enum class SearchDetail { Full, NamesAndKinds };

// Enumerates dir + "\*.*" in directory-search order, without "." and "..".
class DirectorySearch {
public:
    DirectorySearch() = default;
    ~DirectorySearch();
    DirectorySearch(const DirectorySearch&) = delete;
    DirectorySearch& operator=(const DirectorySearch&) = delete;

    // Fails when dir cannot be enumerated.
    bool Start(const std::u16string& dir, SearchDetail detail = SearchDetail::Full);
    // False at the end of the listing.
    bool Next(FindData& entry);
    void Close();

private:
    struct State;
    State* m_state = nullptr;
};

// What a path names once links are followed.
enum class FileKind { Regular, Directory, Other };  // Other: a FIFO, socket or device

// Which file a path names: the same for every spelling of one file (letter case, "." and
// ".." components, short names, symbolic links, other hard links).
struct FileIdentity {
    uint64_t volume = 0;  // volume serial number; st_dev on POSIX
    uint64_t index = 0;   // file index; st_ino on POSIX
    bool operator==(const FileIdentity&) const = default;
};

// Looks the path up with links followed, never opening it for reading or writing, so a
// FIFO or device cannot block. False when nothing is there, a link dangles or the lookup
// is refused.
bool GetFileIdentity(const std::u16string& path, FileIdentity& identity, FileKind& kind);

// kInvalidAttributes when the path does not exist.
uint32_t GetAttributes(const std::u16string& path);
bool SetAttributes(const std::u16string& path, uint32_t attributes);
bool Exists(const std::u16string& path);
bool IsDirectory(const std::u16string& path);

bool MakeDirectory(const std::u16string& path);
bool RemoveEmptyDirectory(const std::u16string& path);
bool RemoveFile(const std::u16string& path);
// Fails when the target exists.
bool RenameFile(const std::u16string& from, const std::u16string& to);
// Renames from over to, replacing an existing file at to (MoveFileExW with MOVEFILE_REPLACE_EXISTING / rename()).
bool RenameReplacing(const std::u16string& from, const std::u16string& to);
bool CopyFileTo(const std::u16string& from, const std::u16string& to, bool failIfExists);

// The user's roaming application-data folder (CSIDL_APPDATA; on POSIX $XDG_CONFIG_HOME or
// ~/.config), without a trailing backslash; empty when there is none.
std::u16string RoamingAppDataFolder();
// The temporary folder in long form, ending in a backslash.
std::u16string TempFolder();
// The long form of an existing path (GetLongPathNameW); the path itself on failure.
std::u16string LongPath(const std::u16string& path);

// A path as the user typed it, in absolute Windows form without a trailing backslash
// (but for a root): made full on Windows (GetFullPathNameW); on POSIX an absolute or
// relative POSIX path becomes Z:\... (drive Z: is "/", as in Wine).
std::u16string FromUserPath(const std::u16string& userPath);
// A Windows-form path in the form the user knows: unchanged on Windows, /... on POSIX.
std::u16string ToUserPath(const std::u16string& path);

// How many names (hard links) the file of this path has; a symbolic link is counted as
// itself, never followed. False when the path cannot be looked up.
bool GetLinkCount(const std::u16string& path, uint32_t& links);

// The size of a file as it is now: asked of the file itself, never of a directory listing,
// which on Windows may still show a size from before the last append. Works while others
// hold the file, whatever they share. False when there is no such file.
bool GetCurrentFileSize(const std::u16string& path, uint64_t& size);

}  // namespace platform
