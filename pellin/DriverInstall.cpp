#include "DriverInstall.h"

namespace pellin {

namespace {

constexpr std::string_view kDriverFolder = "\\system32\\Drivers\\";
constexpr std::string_view kInstallerCommand = "rundll32.exe setupapi,InstallHinfSection DefaultInstall 132 ";

}  // namespace

DriverInstall MakeDriverInstall(std::string_view windowsDirectory) {
    while (!windowsDirectory.empty() && windowsDirectory.back() == '\\') windowsDirectory.remove_suffix(1);
    std::string folder(windowsDirectory);
    folder += kDriverFolder;

    DriverInstall install;
    install.infPath = folder + "Tamsel.inf";
    install.sysPath = folder + "Tamsel.sys";
    // The INF installer takes everything after the install flags as the file's path, spaces
    // included, and does not remove quotes: the path goes in bare. The program token
    // (rundll32.exe) has no spaces, so the start of the command needs no quotes either.
    install.command = std::string(kInstallerCommand) + install.infPath;
    return install;
}

}  // namespace pellin
