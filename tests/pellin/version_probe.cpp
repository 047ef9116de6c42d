// Started by the Pellin test under a chosen Windows version: writes the version this process
// is shown and Pellin's judgements to the file named by its only argument.
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    HMODULE pellin = LoadLibraryW(L"Pellin.dll");
    if (pellin == nullptr) return 3;
    using Judge = int(WINAPI*)();
    auto judgeWin2K = reinterpret_cast<Judge>(reinterpret_cast<void*>(GetProcAddress(pellin, "JudgeWin2K")));
    auto judgeWinXP = reinterpret_cast<Judge>(reinterpret_cast<void*>(GetProcAddress(pellin, "JudgeWinXP")));
    if (judgeWin2K == nullptr || judgeWinXP == nullptr) return 4;

    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    FILE* out = _wfopen(argv[1], L"w");
    if (out == nullptr) return 5;
    std::fprintf(out, "%lu.%lu platform %lu win2k %d winxp %d\n", info.dwMajorVersion, info.dwMinorVersion,
                 info.dwPlatformId, judgeWin2K(), judgeWinXP());
    std::fclose(out);
    return 0;
}
