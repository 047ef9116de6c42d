#include "tamsel/BusyJob.h"

#include "win32/Thread.h"

namespace {

unsigned __stdcall RunJob(void* parameter) {
    try {
        (*static_cast<const std::function<void()>*>(parameter))();
    } catch (...) {
        // Nothing may leave the thread; the job reports its own failures.
    }
    return 0;
}

bool IsMouseMessage(UINT message) {
    return (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCMBUTTONDBLCLK);
}

// Dispatches this thread's messages until the worker ends. A quit asked for meanwhile is
// posted again for the loop that owns it.
void PumpUntilEnded(HANDLE worker, HCURSOR wait) {
    bool quit = false;
    int quitCode = 0;
    for (;;) {
        // Input already seen by a nested loop still wakes the wait.
        const DWORD woken = MsgWaitForMultipleObjectsEx(1, &worker, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken != WAIT_OBJECT_0 + 1) break;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = true;
                quitCode = static_cast<int>(message.wParam);
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
            // The window under the mouse set its own cursor on the way here.
            if (IsMouseMessage(message.message)) SetCursor(wait);
        }
    }
    if (quit) PostQuitMessage(quitCode);
}

}  // namespace

void RunBusyJob(HWND window, const std::function<void()>& job) {
    win32::Thread worker;
    if (!worker.Start(&RunJob, const_cast<std::function<void()>*>(&job))) {
        // No thread to spare: the job runs here, the window frozen meanwhile.
        RunJob(const_cast<std::function<void()>*>(&job));
        return;
    }
    const HWND top = window != nullptr ? GetAncestor(window, GA_ROOT) : nullptr;
    const bool wasEnabled = top != nullptr && EnableWindow(top, FALSE) == 0;
    const HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
    const HCURSOR previous = SetCursor(wait);
    PumpUntilEnded(worker.Get(), wait);
    worker.Join();
    if (wasEnabled) EnableWindow(top, TRUE);
    SetCursor(previous);
}
