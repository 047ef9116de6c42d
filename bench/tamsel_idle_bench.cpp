// Idle cost of the running tray program: Tamsel.exe watching a tree of images, measured from
// outside over a quiet minute (CPU seconds per minute and the working set).
//   tamsel_idle_bench [SECONDS] [IMAGES]
// Wine reports no CPU time for another process; bench/tamsel-idle.sh reads it from the host
// between the "measuring" and "measured" lines.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <string>

#include "tamsel/engine/CoreJobs.h"
#include "tamsel/engine/Settings.h"

namespace {

namespace fs = std::filesystem;

const fs::path kRoot = L"C:\\tamsel-idle";
constexpr char16_t kPassword[] = u"idle";
constexpr int kImagesPerFolder = 100;

std::wstring TamselCommandLine() {
    std::string path = TAMSEL_PATH;
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    return fs::path(path).make_preferred().wstring();
}

// One real image, copied: the pass sees the same names and sizes it would see in use.
bool MakeTree(int images) {
    std::error_code ignored;
    fs::remove_all(kRoot, ignored);
    fs::create_directories(kRoot);
    const fs::path plain = kRoot / "seed.txt";
    FILE* file = _wfopen(plain.c_str(), L"wb");
    if (!file) return false;
    for (int i = 0; i < 2000; ++i) std::fprintf(file, "line %d of a small document\n", i);
    std::fclose(file);
    const fs::path seed = kRoot / "seed.chy";
    if (EncryptSingleFile(plain.u16string(), seed.u16string(), kPassword, 1, 1, 0, 0) != 1) return false;
    for (int i = 0; i < images; ++i) {
        wchar_t folderName[32], imageName[32];
        std::swprintf(folderName, 32, L"d%d", i / kImagesPerFolder);
        std::swprintf(imageName, 32, L"f%d.txt.chy", i);
        const fs::path folder = kRoot / folderName;
        fs::create_directories(folder);
        const fs::path image = folder / imageName;
        if (!CopyFileW(seed.c_str(), image.c_str(), FALSE)) return false;
    }
    return fs::remove(seed, ignored);
}

bool WatchTree() {
    MONITOR_ITEM item{};
    const std::u16string path = kRoot.u16string();
    std::copy(path.begin(), path.end(), item.szPath);
    std::copy_n(kPassword, 4, item.szPassword);
    item.dwCompress = 1;
    return SaveSettings({item}) == 1;
}

void RemoveSettings() {
    std::u16string path;
    std::error_code ignored;
    if (GetSettingPath(path) == 1) fs::remove(fs::path(path), ignored);
}

double CpuSeconds(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return -1;
    auto seconds = [](FILETIME t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

HWND WaitForTamsel(DWORD timeoutMs) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
        if (HWND window = FindWindowW(L"TAMSEL", nullptr)) return window;
        Sleep(50);
    }
    return nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int seconds = argc > 1 ? _wtoi(argv[1]) : 60;
    const int images = argc > 2 ? _wtoi(argv[2]) : 10000;
    if (!MakeTree(images) || !WatchTree()) {
        std::fprintf(stderr, "could not prepare the watched tree\n");
        return 1;
    }
    std::wstring commandLine = TamselCommandLine();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        std::fprintf(stderr, "could not start Tamsel\n");
        return 1;
    }
    HWND window = WaitForTamsel(30000);
    // The first passes read the whole tree; the idle cost is what follows.
    Sleep(10000);
    std::printf("measuring Tamsel (process %lu) for %d s\n", info.dwProcessId, seconds);
    std::fflush(stdout);
    const double before = CpuSeconds(info.hProcess);
    Sleep(static_cast<DWORD>(seconds) * 1000);
    const double after = CpuSeconds(info.hProcess);
    std::printf("measured\n");
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(info.hProcess, &memory, sizeof memory);

    const double perMinute = (after - before) * 60.0 / seconds;
    std::printf("images watched: %d\n", images);
    std::printf("cpu seconds per minute, as Windows reports it: %.3f (%.2f %% of one core)\n", perMinute,
                perMinute / 60.0 * 100.0);
    std::printf("working set: %.1f MiB (peak %.1f MiB)\n", memory.WorkingSetSize / 1048576.0,
                memory.PeakWorkingSetSize / 1048576.0);

    if (window) PostMessageW(window, WM_COMMAND, 201, 0);
    if (WaitForSingleObject(info.hProcess, 30000) != WAIT_OBJECT_0) TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    RemoveSettings();
    std::error_code ignored;
    fs::remove_all(kRoot, ignored);
    return window ? 0 : 1;
}
