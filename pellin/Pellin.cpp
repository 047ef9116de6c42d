// Setup library: Windows version judgement and the start of the driver installation, for the
// suite's setup program, which loads it by file name and calls the exports by name.
#include <windows.h>

#include <cstdint>

#include "DriverInstall.h"

namespace {

bool QueryNtVersion(OSVERSIONINFOA& info) {
    info = OSVERSIONINFOA{};
    info.dwOSVersionInfoSize = sizeof info;
    return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

// Windows 2000: NT 5.0.
extern "C" int32_t WINAPI JudgeWin2K() {
    OSVERSIONINFOA info;
    if (!QueryNtVersion(info)) return 0;
    return info.dwMajorVersion == 5 && info.dwMinorVersion == 0 ? 1 : 0;
}

// Windows XP or later: NT 5.1 and above.
extern "C" int32_t WINAPI JudgeWinXP() {
    OSVERSIONINFOA info;
    if (!QueryNtVersion(info)) return 0;
    return info.dwMajorVersion > 5 || (info.dwMajorVersion == 5 && info.dwMinorVersion >= 1) ? 1 : 0;
}

// Starts the INF installer on Tamsel.inf when it and Tamsel.sys are in the driver folder; does
// not wait for it. 1 when the installer was started.
extern "C" int32_t WINAPI InstallXPDriver() {
    try {
        char windowsDirectory[MAX_PATH] = {};
        const UINT length = GetWindowsDirectoryA(windowsDirectory, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return 0;

        const pellin::DriverInstall install = pellin::MakeDriverInstall(windowsDirectory);
        if (!FileExists(install.infPath) || !FileExists(install.sysPath)) return 0;
        // WinExec reports a start that failed with a value of 31 or less.
        return WinExec(install.command.c_str(), SW_HIDE) > 31 ? 1 : 0;
    } catch (...) {
        return 0;
    }
}
