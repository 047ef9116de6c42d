// A thread of the process, started through the C runtime so the runtime's per-thread state
// is set up for it. The handle is owned here; the thread itself runs on until it returns.
#pragma once
#include <windows.h>

#include "win32/Handle.h"

namespace win32 {

class Thread {
public:
    using Procedure = unsigned(__stdcall*)(void* parameter);

    Thread() noexcept = default;
    // Closing the handle does not end the thread: an unjoined thread runs on detached.
    ~Thread() = default;
    Thread(Thread&&) noexcept = default;
    Thread& operator=(Thread&&) noexcept = default;

    // Starts procedure(parameter) at once with the default stack and security; false (and
    // nothing runs) when the thread cannot be created. Any thread held before is detached.
    bool Start(Procedure procedure, void* parameter, int priority = THREAD_PRIORITY_NORMAL) noexcept;
    bool Started() const noexcept { return m_handle.Valid(); }
    HANDLE Get() const noexcept { return m_handle.Get(); }

    // Waits up to timeoutMs for the thread to end; true once it has, with its exit code.
    // The handle is closed after a successful join.
    bool Join(DWORD timeoutMs = INFINITE, DWORD* exitCode = nullptr) noexcept;
    // Lets the thread run on unwatched: closes the handle.
    bool Detach() noexcept { return m_handle.Close(); }

private:
    Handle m_handle;
};

}  // namespace win32
