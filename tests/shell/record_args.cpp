// Stands in for Raspel, Sorvane and Dunrique (built once under each name): appends the command
// line it was started with to <its name>.log next to itself, one UTF-16LE line per start.
#include <windows.h>

#include <string>

int main() {
    wchar_t self[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 2;
    std::wstring logPath(self, length);
    logPath.replace(logPath.size() - 4, 4, L".log");

    std::wstring line = GetCommandLineW();
    line += L'\n';
    // Another start may be writing at the same moment: the log is opened without sharing.
    for (int attempt = 0; attempt < 500; ++attempt) {
        HANDLE file = CreateFileW(logPath.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            const DWORD bytes = static_cast<DWORD>(line.size() * sizeof(wchar_t));
            const BOOL ok = WriteFile(file, line.data(), bytes, &written, nullptr);
            CloseHandle(file);
            return ok && written == bytes ? 0 : 1;
        }
        Sleep(10);
    }
    return 1;
}
