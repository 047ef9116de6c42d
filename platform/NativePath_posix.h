// Helpers shared by the POSIX backend files.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>

#include "platform/File.h"

namespace platform::posix {

// The POSIX path of a Windows-form path: drive Z: is "/", no other drive exists.
// False for a path that cannot name a POSIX file.
bool ToNativePath(const std::u16string& path, std::string& native);
// The Windows form (Z:\...) of an absolute POSIX path.
std::u16string FromNativePath(const std::string& native);

uint64_t ToFileTime(int64_t seconds, int64_t nanoseconds);
void FromFileTime(uint64_t fileTime, int64_t& seconds, int64_t& nanoseconds);

struct NativeStat {
    mode_t mode = 0;
    uint64_t size = 0;
    FileTimes times;
};

// stat/lstat (dirfd and flags as for statx; AT_EMPTY_PATH with "" for an open fd), with the
// creation time from the birth time where the file system keeps one, else the write time.
bool StatNative(int dirfd, const char* path, int flags, NativeStat& result);

// Windows refuses to open a read-only file for writing or to delete it, even for an
// administrator; root ignores the mode bits, so the backend checks the owner bit itself.
bool IsReadOnlyFile(const std::string& native);

}  // namespace platform::posix
