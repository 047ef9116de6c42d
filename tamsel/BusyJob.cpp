#include "tamsel/BusyJob.h"

#include "tamsel/engine/LastingWorker.h"
#include "win32/Handle.h"

namespace {

// Settings jobs run on a worker of their own that, like the passes' worker, never ends.
CLastingWorker& JobWorker() {
    static CLastingWorker* worker = new CLastingWorker;
    return *worker;
}

bool IsMouseMessage(UINT message) {
    return (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCMBUTTONDBLCLK);
}

// Dispatches this thread's messages until done is signalled. A quit asked for meanwhile
// is posted again for the loop that owns it.
void PumpUntilDone(HANDLE done, HCURSOR wait) {
    bool quit = false;
    int quitCode = 0;
    for (;;) {
        // Input already seen by a nested loop still wakes the wait.
        const DWORD woken = MsgWaitForMultipleObjectsEx(1, &done, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
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
    win32::Handle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const HANDLE doneEvent = done.Get();
    const auto signalled = [&job, doneEvent] {
        try {
            job();
        } catch (...) {
            // The job reports its own failures; the window must come back all the same.
        }
        SetEvent(doneEvent);
    };
    if (!done.Valid() || !JobWorker().Post(signalled)) {
        // No worker to hand it to: the job runs here, the window frozen meanwhile.
        job();
        return;
    }
    const HWND top = window != nullptr ? GetAncestor(window, GA_ROOT) : nullptr;
    const bool wasEnabled = top != nullptr && EnableWindow(top, FALSE) == 0;
    const HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
    const HCURSOR previous = SetCursor(wait);
    PumpUntilDone(done.Get(), wait);
    // A failed wait leaves the pump early; the job still owns its arguments until it ends.
    WaitForSingleObject(done.Get(), INFINITE);
    if (wasEnabled) EnableWindow(top, TRUE);
    SetCursor(previous);
}
