#include "tamsel/BusyJob.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "win32/Handle.h"

namespace {

// Settings jobs run on one worker that lives as long as the process and never ends, like
// the passes' worker: with the static MinGW runtime a thread that ran a core job can crash
// as it ends (its per-thread cipher is destroyed then).
class CJobWorker {
public:
    // Hands the job over; done is signalled once it has run. False when there is no worker.
    bool Start(const std::function<void()>& job, HANDLE done) {
        std::lock_guard lock(m_lock);
        if (!m_started) {
            try {
                std::thread([this] { Run(); }).detach();
            } catch (...) {
                return false;
            }
            m_started = true;
        }
        m_job = &job;
        m_done = done;
        m_wake.notify_one();
        return true;
    }

private:
    [[noreturn]] void Run() {
        std::unique_lock lock(m_lock);
        for (;;) {
            m_wake.wait(lock, [this] { return m_job != nullptr; });
            const std::function<void()>* job = m_job;
            const HANDLE done = m_done;
            m_job = nullptr;
            lock.unlock();
            try {
                (*job)();
            } catch (...) {
                // Nothing may end the worker; the job reports its own failures.
            }
            SetEvent(done);
            lock.lock();
        }
    }

    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_started = false;
    const std::function<void()>* m_job = nullptr;
    HANDLE m_done = nullptr;
};

// Never destroyed: the parked worker still waits on it while the process ends.
CJobWorker& JobWorker() {
    static CJobWorker* worker = new CJobWorker;
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
    if (!done.Valid() || !JobWorker().Start(job, done.Get())) {
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
