#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/NativePath_posix.h"
#include "platform/Text.h"

namespace platform {

using posix::NativeStat;

namespace {

bool HasWildcard(const std::u16string& path) {
    return path.find_first_of(u"*?") != std::u16string::npos;
}

std::string LastComponent(const std::string& native) {
    const size_t slash = native.find_last_of('/');
    return slash == std::string::npos ? native : native.substr(slash + 1);
}

uint32_t AttributesOf(int dirfd, const char* path, const std::string& name, const NativeStat& st) {
    uint32_t attributes = 0;
    if (S_ISLNK(st.mode)) {
        attributes |= kAttrReparsePoint;
        struct stat target {};
        if (fstatat(dirfd, path, &target, 0) == 0 && S_ISDIR(target.st_mode)) {
            attributes |= kAttrDirectory;
        }
    } else {
        if (S_ISDIR(st.mode)) attributes |= kAttrDirectory;
        if (S_ISREG(st.mode)) attributes |= kAttrArchive;
        if (!S_ISREG(st.mode) && !S_ISDIR(st.mode)) attributes |= kAttrDevice;
        if ((st.mode & S_IWUSR) == 0) attributes |= kAttrReadOnly;
    }
    if (!name.empty() && name[0] == '.') attributes |= kAttrHidden;
    return attributes == 0 ? kAttrNormal : attributes;
}

// The record of one entry, links not followed.
bool Describe(int dirfd, const char* path, const std::string& name, FindData& data) {
    NativeStat st;
    if (!posix::StatNative(dirfd, path, AT_SYMLINK_NOFOLLOW, st)) return false;
    data.attributes = AttributesOf(dirfd, path, name, st);
    data.times = st.times;
    data.size = S_ISREG(st.mode) ? st.size : 0;
    data.name = FromUtf8(name);
    return true;
}

// The entry from readdir's type alone; false when the file system does not say.
bool DescribeKind(const dirent* item, FindData& data) {
    switch (item->d_type) {
        case DT_REG: data.attributes = kAttrArchive; break;
        case DT_DIR: data.attributes = kAttrDirectory; break;
        case DT_LNK: data.attributes = kAttrReparsePoint; break;
        case DT_FIFO: case DT_SOCK: case DT_CHR: case DT_BLK: data.attributes = kAttrDevice; break;
        default: return false;
    }
    data.times = {};
    data.size = 0;
    data.name = FromUtf8(item->d_name);
    return true;
}

bool CopyData(int from, int to) {
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t n = read(from, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return true;
        ssize_t written = 0;
        while (written < n) {
            const ssize_t w = write(to, buffer.data() + written, static_cast<size_t>(n - written));
            if (w < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            written += w;
        }
    }
}

// Removes "." and empty components and resolves ".." lexically, as Windows does.
std::string NormalizeAbsolute(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string result;
    for (const auto& part : parts) result += "/" + part;
    return result.empty() ? "/" : result;
}

}  // namespace

bool FindExact(const std::u16string& path, FindData& found) {
    if (path.empty() || path.back() == u'\\' || path.back() == u'/' || HasWildcard(path)) return false;
    std::string native;
    if (!posix::ToNativePath(path, native)) return false;
    const std::string name = LastComponent(native);
    if (name.empty() || name == "." || name == "..") return false;
    return Describe(AT_FDCWD, native.c_str(), name, found);
}

struct DirectorySearch::State {
    DIR* dir = nullptr;
    std::string native;
    SearchDetail detail = SearchDetail::Full;
};

DirectorySearch::~DirectorySearch() { Close(); }

bool DirectorySearch::Start(const std::u16string& dir, SearchDetail detail) {
    Close();
    std::string native;
    if (!posix::ToNativePath(dir, native)) return false;
    DIR* handle = opendir(native.c_str());
    if (handle == nullptr) return false;
    m_state = new State{handle, native, detail};
    return true;
}

bool DirectorySearch::Next(FindData& entry) {
    if (m_state == nullptr) return false;
    for (;;) {
        errno = 0;
        const dirent* item = readdir(m_state->dir);
        if (item == nullptr) return false;
        const std::string name = item->d_name;
        if (name == "." || name == "..") continue;
        if (m_state->detail == SearchDetail::NamesAndKinds && DescribeKind(item, entry)) return true;
        // An entry removed since readdir saw it is skipped, as a later FindNextFileW would.
        if (Describe(dirfd(m_state->dir), item->d_name, name, entry)) return true;
    }
}

void DirectorySearch::Close() {
    if (m_state == nullptr) return;
    closedir(m_state->dir);
    delete m_state;
    m_state = nullptr;
}

uint32_t GetAttributes(const std::u16string& path) {
    std::string native;
    NativeStat st;
    if (!posix::ToNativePath(path, native) ||
        !posix::StatNative(AT_FDCWD, native.c_str(), AT_SYMLINK_NOFOLLOW, st)) {
        return kInvalidAttributes;
    }
    return AttributesOf(AT_FDCWD, native.c_str(), LastComponent(native), st);
}

bool SetAttributes(const std::u16string& path, uint32_t attributes) {
    std::string native;
    struct stat st {};
    if (!posix::ToNativePath(path, native) || lstat(native.c_str(), &st) != 0) return false;
    // Only read-only maps to POSIX; a link has no mode of its own.
    if (S_ISLNK(st.st_mode)) return true;
    mode_t mode = st.st_mode & 07777;
    mode = (attributes & kAttrReadOnly) ? (mode & ~S_IWUSR) : (mode | S_IWUSR);
    return mode == (st.st_mode & 07777) || chmod(native.c_str(), mode) == 0;
}

bool Exists(const std::u16string& path) { return GetAttributes(path) != kInvalidAttributes; }

bool IsDirectory(const std::u16string& path) {
    const uint32_t attributes = GetAttributes(path);
    return attributes != kInvalidAttributes && (attributes & kAttrDirectory) != 0;
}

bool MakeDirectory(const std::u16string& path) {
    std::string native;
    return posix::ToNativePath(path, native) && mkdir(native.c_str(), 0777) == 0;
}

bool RemoveEmptyDirectory(const std::u16string& path) {
    std::string native;
    return posix::ToNativePath(path, native) && rmdir(native.c_str()) == 0;
}

bool RemoveFile(const std::u16string& path) {
    std::string native;
    if (!posix::ToNativePath(path, native)) return false;
    if (posix::IsReadOnlyFile(native)) {
        errno = EACCES;
        return false;
    }
    return unlink(native.c_str()) == 0;
}

bool GetFileIdentity(const std::u16string& path, FileIdentity& identity, FileKind& kind) {
    std::string native;
    struct stat st {};
    if (!posix::ToNativePath(path, native) || stat(native.c_str(), &st) != 0) return false;
    identity.volume = static_cast<uint64_t>(st.st_dev);
    identity.index = static_cast<uint64_t>(st.st_ino);
    kind = S_ISREG(st.st_mode) ? FileKind::Regular
         : S_ISDIR(st.st_mode) ? FileKind::Directory
                               : FileKind::Other;
    return true;
}

bool RenameReplacing(const std::u16string& from, const std::u16string& to) {
    std::string source, target;
    if (!posix::ToNativePath(from, source) || !posix::ToNativePath(to, target)) return false;
    // MoveFileExW refuses to replace a read-only file; so does this backend.
    if (posix::IsReadOnlyFile(target)) {
        errno = EACCES;
        return false;
    }
    return rename(source.c_str(), target.c_str()) == 0;
}

bool RenameFile(const std::u16string& from, const std::u16string& to) {
    std::string source, target;
    if (!posix::ToNativePath(from, source) || !posix::ToNativePath(to, target)) return false;
    if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno == EINVAL || errno == ENOSYS) {
        // File systems without RENAME_NOREPLACE.
        struct stat st {};
        if (lstat(target.c_str(), &st) == 0) {
            errno = EEXIST;
            return false;
        }
        if (rename(source.c_str(), target.c_str()) == 0) return true;
    }
    if (errno != EXDEV) return false;
    // Another file system: a file moves as copy and delete, as MoveFileW does.
    struct stat st {};
    if (lstat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (!CopyFileTo(from, to, true)) return false;
    if (unlink(source.c_str()) == 0) return true;
    unlink(target.c_str());
    return false;
}

bool CopyFileTo(const std::u16string& from, const std::u16string& to, bool failIfExists) {
    std::string source, target;
    if (!posix::ToNativePath(from, source) || !posix::ToNativePath(to, target)) return false;
    const int in = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st {};
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(in);
        return false;
    }
    if (!failIfExists && posix::IsReadOnlyFile(target)) {
        close(in);
        errno = EACCES;
        return false;
    }
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : 0);
    const int out = open(target.c_str(), flags, 0600);
    if (out < 0) {
        close(in);
        return false;
    }
    // Truncate only after making sure the target is not the source itself.
    struct stat existing {};
    if (fstat(out, &existing) != 0 || (existing.st_dev == st.st_dev && existing.st_ino == st.st_ino) ||
        ftruncate(out, 0) != 0) {
        close(out);
        close(in);
        errno = EACCES;
        return false;
    }
    // Like CopyFileW: the copy keeps the write time and the read-only state.
    const timespec times[2] = {st.st_atim, st.st_mtim};
    bool ok = CopyData(in, out) && futimens(out, times) == 0 && fchmod(out, st.st_mode & 07777) == 0;
    ok = close(out) == 0 && ok;
    close(in);
    if (!ok) unlink(target.c_str());
    return ok;
}

std::u16string TempFolder() {
    const char* env = getenv("TMPDIR");
    std::string folder = env != nullptr && env[0] != '\0' ? env : "/tmp";
    if (char* resolved = realpath(folder.c_str(), nullptr)) {
        folder = resolved;
        free(resolved);
    }
    std::u16string text = posix::FromNativePath(folder);
    if (text.back() != u'\\') text += u'\\';
    return text;
}

std::u16string RoamingAppDataFolder() {
    std::string folder;
    if (const char* config = getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/') {
        folder = config;
    } else if (const char* home = getenv("HOME"); home != nullptr && home[0] == '/') {
        folder = std::string(home) + "/.config";
    } else {
        return u"";
    }
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return posix::FromNativePath(folder);
}

std::u16string LongPath(const std::u16string& path) {
    // POSIX names have no short form.
    return path;
}

std::u16string FromUserPath(const std::u16string& userPath) {
    if (userPath.empty()) return userPath;
    std::string native = ToUtf8(userPath);
    if (native[0] != '/') {
        std::vector<char> cwd(4096);
        while (getcwd(cwd.data(), cwd.size()) == nullptr) {
            if (errno != ERANGE) return userPath;
            cwd.resize(cwd.size() * 2);
        }
        native = std::string(cwd.data()) + "/" + native;
    }
    return posix::FromNativePath(NormalizeAbsolute(native));
}

std::u16string ToUserPath(const std::u16string& path) {
    std::string native;
    if (path.size() < 2 || path[1] != u':' || !posix::ToNativePath(path, native)) return path;
    return FromUtf8(native);
}

bool GetLinkCount(const std::u16string& path, uint32_t& links) {
    std::string native;
    struct stat st {};
    if (!posix::ToNativePath(path, native) || lstat(native.c_str(), &st) != 0) return false;
    links = static_cast<uint32_t>(st.st_nlink);
    return true;
}

bool GetCurrentFileSize(const std::u16string& path, uint64_t& size) {
    std::string native;
    struct stat st {};
    if (!posix::ToNativePath(path, native) || stat(native.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        return false;
    }
    size = static_cast<uint64_t>(st.st_size);
    return true;
}

}  // namespace platform
