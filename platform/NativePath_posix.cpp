#include "platform/NativePath_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <cerrno>

#include "platform/Clock.h"
#include "platform/Text.h"

namespace platform::posix {

namespace {
bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }
}  // namespace

bool ToNativePath(const std::u16string& path, std::string& native) {
    std::u16string rest;
    if (path.size() >= 2 && path[1] == u':') {
        if (path[0] != u'Z' && path[0] != u'z') return false;
        rest = path.substr(2);
        if (rest.empty()) rest = u"/";
        // "Z:name" is relative to a per-drive current directory, which POSIX has not.
        if (!IsSeparator(rest[0])) return false;
    } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        return false;  // UNC and device paths
    } else {
        rest = path;
    }
    if (rest.empty() || rest.find(u'\0') != std::u16string::npos) return false;
    for (auto& c : rest) {
        if (c == u'\\') c = u'/';
    }
    native = ToUtf8(rest);
    return true;
}

std::u16string FromNativePath(const std::string& native) {
    std::u16string text = u"Z:" + FromUtf8(native);
    for (auto& c : text) {
        if (c == u'/') c = u'\\';
    }
    if (text.size() == 2) text += u'\\';
    return text;
}

uint64_t ToFileTime(int64_t seconds, int64_t nanoseconds) {
    const int64_t ticks =
        (seconds + kFileTimeEpochSeconds) * kFileTimeTicksPerSecond + nanoseconds / 100;
    return ticks < 0 ? 0 : static_cast<uint64_t>(ticks);
}

void FromFileTime(uint64_t fileTime, int64_t& seconds, int64_t& nanoseconds) {
    seconds = static_cast<int64_t>(fileTime / kFileTimeTicksPerSecond) - kFileTimeEpochSeconds;
    nanoseconds = static_cast<int64_t>(fileTime % kFileTimeTicksPerSecond) * 100;
}

bool StatNative(int dirfd, const char* path, int flags, NativeStat& result) {
#ifdef STATX_BTIME
    struct statx sx {};
    if (statx(dirfd, path, flags, STATX_BASIC_STATS | STATX_BTIME, &sx) == 0) {
        result.mode = sx.stx_mode;
        result.size = sx.stx_size;
        result.times.access = ToFileTime(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
        result.times.write = ToFileTime(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
        result.times.creation = (sx.stx_mask & STATX_BTIME)
                                    ? ToFileTime(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec)
                                    : result.times.write;
        return true;
    }
    if (errno != ENOSYS && errno != EPERM) return false;
#endif
    struct stat st {};
    if (fstatat(dirfd, path, &st, flags) != 0) return false;
    result.mode = st.st_mode;
    result.size = static_cast<uint64_t>(st.st_size);
    result.times.access = ToFileTime(st.st_atim.tv_sec, st.st_atim.tv_nsec);
    result.times.write = ToFileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    result.times.creation = result.times.write;
    return true;
}

bool IsReadOnlyFile(const std::string& native) {
    struct stat st {};
    return lstat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0;
}

}  // namespace platform::posix
