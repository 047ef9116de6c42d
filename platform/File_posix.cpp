#include "platform/File.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/NativePath_posix.h"

namespace platform {

using posix::NativeStat;

namespace {
int Fd(intptr_t handle) { return static_cast<int>(handle); }

// O_NONBLOCK: opening a FIFO would otherwise wait for its other end; such a file is
// refused below anyway, and the flag changes nothing for a regular file.
int OpenFlags(Access access, Disposition disposition) {
    int flags = O_CLOEXEC | O_NONBLOCK;
    switch (access) {
        case Access::Read: flags |= O_RDONLY; break;
        case Access::Write: flags |= O_WRONLY; break;
        case Access::ReadWrite: flags |= O_RDWR; break;
    }
    switch (disposition) {
        case Disposition::CreateNew: flags |= O_CREAT | O_EXCL; break;
        case Disposition::CreateAlways: flags |= O_CREAT | O_TRUNC; break;
        case Disposition::OpenExisting: break;
        case Disposition::OpenAlways: flags |= O_CREAT; break;
    }
    return flags;
}

// Windows sharing, approximated: see File.h.
bool LockAsShared(int fd, Share share) {
    const int operation = (share == Share::None ? LOCK_EX : LOCK_SH) | LOCK_NB;
    int result;
    do {
        result = flock(fd, operation);
    } while (result != 0 && errno == EINTR);
    if (result == 0) return true;
    if (errno == EWOULDBLOCK) errno = EBUSY;
    return false;
}

timespec ToTimespec(uint64_t fileTime) {
    timespec ts{};
    if (fileTime == 0) {
        ts.tv_nsec = UTIME_OMIT;
        return ts;
    }
    int64_t seconds = 0, nanoseconds = 0;
    posix::FromFileTime(fileTime, seconds, nanoseconds);
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>(nanoseconds);
    return ts;
}
}  // namespace

bool File::Open(const std::u16string& path, Access access, Share share, Disposition disposition,
                uint32_t attributes) {
    Close();
    std::string native;
    if (!posix::ToNativePath(path, native)) return false;
    const bool writes = access != Access::Read;
    if (writes || disposition == Disposition::CreateAlways) {
        if (disposition != Disposition::CreateNew && posix::IsReadOnlyFile(native)) {
            errno = EACCES;
            return false;
        }
    }
    // A read-only file is created without write permission; this handle may still write.
    const mode_t mode = (attributes & 0x01) ? 0444 : 0666;
    int fd;
    do {
        fd = open(native.c_str(), OpenFlags(access, disposition), mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    // Only regular files: a FIFO, socket or device is never read or written as a file.
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    // The name may have been deleted between the open and the lock by a holder that
    // deleted through its handle: a file with no name left is not opened.
    struct stat locked {};
    if (!LockAsShared(fd, share) || fstat(fd, &locked) != 0 || locked.st_nlink == 0) {
        if (locked.st_nlink == 0) errno = ENOENT;
        close(fd);
        return false;
    }
    m_handle = fd;
    return true;
}

bool File::OpenForDeletion(const std::u16string& path) {
    return Open(path, Access::Read, Share::None, Disposition::OpenExisting);
}

bool File::DeleteAndClose(const std::u16string& path) {
    std::string native;
    struct stat open {}, named {};
    const bool same = IsOpen() && posix::ToNativePath(path, native) && fstat(Fd(m_handle), &open) == 0 &&
                      lstat(native.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
                      open.st_ino == named.st_ino;
    const bool removed = same && !posix::IsReadOnlyFile(native) && unlink(native.c_str()) == 0;
    return Close() && removed;
}

bool File::OpenDirectory(const std::u16string& path) {
    Close();
    std::string native;
    if (!posix::ToNativePath(path, native)) return false;
    const int fd = open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    m_handle = fd;
    return true;
}

bool File::Read(void* buffer, uint32_t size, uint32_t& done) {
    done = 0;
    if (!IsOpen()) return false;
    ssize_t n;
    do {
        n = read(Fd(m_handle), buffer, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return false;
    done = static_cast<uint32_t>(n);
    return true;
}

bool File::Write(const void* buffer, uint32_t size) {
    if (!IsOpen()) return false;
    const auto* bytes = static_cast<const char*>(buffer);
    uint32_t written = 0;
    while (written < size) {
        const ssize_t n = write(Fd(m_handle), bytes + written, size - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        written += static_cast<uint32_t>(n);
    }
    return true;
}

bool File::Seek(uint64_t position) {
    if (!IsOpen() || position > static_cast<uint64_t>(INT64_MAX)) return false;
    return lseek(Fd(m_handle), static_cast<off_t>(position), SEEK_SET) >= 0;
}

bool File::SeekToEnd() {
    return IsOpen() && lseek(Fd(m_handle), 0, SEEK_END) >= 0;
}

bool File::Tell(uint64_t& position) const {
    if (!IsOpen()) return false;
    const off_t at = lseek(Fd(m_handle), 0, SEEK_CUR);
    if (at < 0) return false;
    position = static_cast<uint64_t>(at);
    return true;
}

bool File::Size(uint64_t& size) const {
    struct stat st {};
    if (!IsOpen() || fstat(Fd(m_handle), &st) != 0) return false;
    size = static_cast<uint64_t>(st.st_size);
    return true;
}

bool File::Flush() {
    return IsOpen() && fsync(Fd(m_handle)) == 0;
}

bool File::GetTimes(FileTimes& times) const {
    NativeStat st;
    if (!IsOpen() || !posix::StatNative(Fd(m_handle), "", AT_EMPTY_PATH, st)) return false;
    times = st.times;
    return true;
}

bool File::SetTimes(const FileTimes& times) {
    if (!IsOpen()) return false;
    // The creation (birth) time cannot be set on POSIX.
    const timespec both[2] = {ToTimespec(times.access), ToTimespec(times.write)};
    return futimens(Fd(m_handle), both) == 0;
}

bool File::Close() {
    if (!IsOpen()) return true;
    const int fd = Fd(std::exchange(m_handle, kInvalid));
    // Linux releases the descriptor even when close reports EINTR; never retry.
    return close(fd) == 0;
}

}  // namespace platform
