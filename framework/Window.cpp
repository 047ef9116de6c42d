#include "framework/Window.h"

namespace fw {

// A window that outlives its object must not reach it any more.
Window::~Window() {
    if (m_hwnd != nullptr && GetWindowLongPtrW(m_hwnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&Window::WindowProc)) {
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
    }
}

bool Window::RegisterWindowClass(HINSTANCE instance, const wchar_t* className, HICON icon, HCURSOR cursor,
                                 UINT style) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = style;
    windowClass.lpfnWndProc = &Window::WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = icon;
    windowClass.hCursor = cursor != nullptr ? cursor : LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = className;
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool Window::Create(HINSTANCE instance, const wchar_t* className, const wchar_t* title, DWORD style, DWORD exStyle,
                    HWND parent) {
    return CreateWindowExW(exStyle, className, title, style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, parent, nullptr, instance, this) != nullptr;
}

bool Window::Destroy() { return m_hwnd == nullptr || DestroyWindow(m_hwnd) != 0; }

bool Window::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    for (const MessageEntry& entry : MessageMap()) {
        if (entry.message == message) {
            result = entry.handler(*this, wParam, lParam);
            return true;
        }
    }
    // Buttons (0) and accelerators (1) only: edits and combo boxes send other codes with their ids.
    if (message == WM_COMMAND && HIWORD(wParam) <= 1) {
        for (const CommandEntry& entry : CommandMap()) {
            if (entry.id == LOWORD(wParam)) {
                entry.handler(*this);
                result = 0;
                return true;
            }
        }
    }
    return false;
}

void Window::OnException() noexcept { MessageBeep(MB_ICONERROR); }

LRESULT CALLBACK Window::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* created = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        created->m_hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
    }
    auto* window = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (window == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        window->m_hwnd = nullptr;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    try {
        LRESULT result = 0;
        if (window->Dispatch(message, wParam, lParam, result)) return result;
    } catch (...) {
        window->OnException();
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace fw
