#include "framework/Application.h"

#include <commctrl.h>

#include "win32/Resources.h"

namespace fw {

namespace {

Application* g_application = nullptr;

}  // namespace

Application::Application() noexcept { g_application = this; }

Application::~Application() {
    if (g_application == this) g_application = nullptr;
}

Application* Application::Current() noexcept { return g_application; }

int Application::Main(HINSTANCE instance, int showCommand) noexcept {
    m_instance = instance;
    m_showCommand = showCommand;
    win32::SetResourceModule(instance);
    try {
        RegisterCommonControls();
        if (InitInstance()) m_exitCode = Run();
        return ExitInstance();
    } catch (...) {
        // Nothing may end the program as an unhandled exception.
        return 1;
    }
}

int Application::Run() {
    MSG message = {};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

bool RegisterCommonControls() noexcept {
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS | ICC_DATE_CLASSES |
                     ICC_UPDOWN_CLASS | ICC_USEREX_CLASSES | ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES;
    return InitCommonControlsEx(&controls) != FALSE;
}

bool StartWorkerThread(win32::Thread& thread, win32::Thread::Procedure procedure, void* parameter,
                       int priority) noexcept {
    return thread.Start(procedure, parameter, priority);
}

}  // namespace fw
