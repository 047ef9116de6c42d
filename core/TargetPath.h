// Where an entry of an untrusted image may be restored: only as a plain file or folder
// name, below the target folder, never through a link.
#pragma once
#include <string_view>

// A single name Windows keeps as written: not empty, not "." or "..", no separator,
// colon, wildcard or control character, no trailing dot or space, no device name.
bool IsPlainName(std::u16string_view name);
// X:\name\...\name with every name plain.
bool IsPlainFullPath(std::u16string_view path);

enum class TargetProblem { None, UnsafePath, DeviceName, TooLong, ThroughLink };

// None when the entry's stored path and its mapped target may be restored: both plain
// full paths, the target at most 259 characters, and, unless targetDir is empty (restore
// in place), the target strictly below targetDir with no existing link or junction on the
// way. Otherwise why not; a device name among the names gives DeviceName.
TargetProblem FindTargetProblem(std::u16string_view stored, std::u16string_view target,
                                std::u16string_view targetDir);
