#include "win32/Thread.h"

#include <process.h>

namespace win32 {

bool Thread::Start(Procedure procedure, void* parameter, int priority) noexcept {
    m_handle.Close();
    const bool normal = priority == THREAD_PRIORITY_NORMAL;
    // A thread with another priority starts suspended so it never runs a step at the wrong one.
    const uintptr_t started = _beginthreadex(nullptr, 0, procedure, parameter, normal ? 0 : CREATE_SUSPENDED, nullptr);
    if (started == 0) return false;
    m_handle.Reset(reinterpret_cast<HANDLE>(started));
    if (!normal) {
        SetThreadPriority(m_handle.Get(), priority);
        ResumeThread(m_handle.Get());
    }
    return true;
}

bool Thread::Join(DWORD timeoutMs, DWORD* exitCode) noexcept {
    if (!m_handle.Valid()) return false;
    if (WaitForSingleObject(m_handle.Get(), timeoutMs) != WAIT_OBJECT_0) return false;
    if (exitCode != nullptr && !GetExitCodeThread(m_handle.Get(), exitCode)) *exitCode = 0;
    m_handle.Close();
    return true;
}

}  // namespace win32
