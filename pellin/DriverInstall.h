// Paths and installer command of the folder monitor's file-system driver, kept apart from
// the exports so that any Windows directory can be tried in tests.
#pragma once
#include <string>
#include <string_view>

namespace pellin {

struct DriverInstall {
    std::string infPath;  // <Windows>\system32\Drivers\Tamsel.inf
    std::string sysPath;  // <Windows>\system32\Drivers\Tamsel.sys
    std::string command;  // the INF installer's command line for infPath
};

// windowsDirectory as GetWindowsDirectoryA gives it, with or without trailing backslashes.
DriverInstall MakeDriverInstall(std::string_view windowsDirectory);

}  // namespace pellin
