#include "tamsel/SpecialFolder.h"

#include <windows.h>
#include <shlobj.h>

#include "tamsel/engine/FolderRules.h"
#include "win32/WideText.h"

namespace {

// The long form of a path; the path as given when it has none (it may not exist).
std::u16string LongPath(const std::u16string& path) {
    if (path.empty()) return path;
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = GetLongPathNameW(win32::Wide(path), buffer, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? path : win32::FromWide(buffer, length);
}

std::u16string ShellFolder(int csidl) {
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) return {};
    return LongPath(win32::FromWide(buffer));
}

std::u16string WindowsFolder() {
    wchar_t buffer[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryW(buffer, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::u16string() : LongPath(win32::FromWide(buffer, length));
}

}  // namespace

bool IsSpecialFolder(const std::u16string& path) {
    const NamedFolders named = {WindowsFolder(), ShellFolder(CSIDL_PROGRAM_FILES), ShellFolder(CSIDL_DESKTOPDIRECTORY),
                                ShellFolder(CSIDL_PERSONAL)};
    return IsSpecialFolderOf(path, LongPath(path), named);
}
