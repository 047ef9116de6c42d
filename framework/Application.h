// The application object: one per program, constructed as a static object. Main() registers
// the common controls, runs InitInstance and, when it succeeds, the message loop; the
// program's wWinMain only hands over to it.
#pragma once
#include <windows.h>

#include "win32/Thread.h"

namespace fw {

class Application {
public:
    Application() noexcept;
    virtual ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The program's one application object, or null before it is constructed.
    static Application* Current() noexcept;
    HINSTANCE Instance() const noexcept { return m_instance; }
    int ShowCommand() const noexcept { return m_showCommand; }

    // The whole run; returns the exit code. A failed InitInstance ends the run at once,
    // through ExitInstance, with no message loop.
    int Main(HINSTANCE instance, int showCommand) noexcept;

protected:
    virtual bool InitInstance() { return true; }
    // Returns the exit code: the WM_QUIT code after the loop, else 0.
    virtual int ExitInstance() { return m_exitCode; }
    virtual int Run();

    int m_exitCode = 0;

private:
    HINSTANCE m_instance = nullptr;
    int m_showCommand = SW_SHOWNORMAL;
};

// Registers the common-control classes the suite's dialogs use (progress bar, animation,
// date picker, up-down, extended combo box, list view, tabs of property sheets). Windows
// needs this before the first such control is created, whatever the manifest says.
bool RegisterCommonControls() noexcept;

// Starts a worker thread at once (default stack and security, the given priority); false
// when it could not be started.
bool StartWorkerThread(win32::Thread& thread, win32::Thread::Procedure procedure, void* parameter,
                       int priority = THREAD_PRIORITY_NORMAL) noexcept;

}  // namespace fw
