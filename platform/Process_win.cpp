#include "platform/Process.h"

#include <windows.h>

namespace platform {

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

bool IsProcessAlive(uint32_t processId) {
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    // Access denied means the process exists under another user; an unknown id gives
    // ERROR_INVALID_PARAMETER.
    if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

}  // namespace platform
