// Windows with a table-driven message map. A class lists the messages and commands it
// handles in static tables of {message or command id, handler}; the handlers are its own
// member functions, reached through the thunks On<> and Command<>.
#pragma once
#include <windows.h>

#include <span>
#include <string>

namespace fw {

class Window;

// A message handler: returns the message's result; an entry in the map means "handled".
using MessageThunk = LRESULT (*)(Window& window, WPARAM wParam, LPARAM lParam);
struct MessageEntry {
    UINT message;
    MessageThunk handler;
};

// A command handler: a click on a button or a menu command with this id.
using CommandThunk = void (*)(Window& window);
struct CommandEntry {
    UINT id;
    CommandThunk handler;
};

template <class Member>
struct MemberClass;
template <class C, class R, class... Args>
struct MemberClass<R (C::*)(Args...)> {
    using Type = C;
};

// {WM_TIMER, &fw::On<&CMyDialog::OnTimer>} with LRESULT CMyDialog::OnTimer(WPARAM, LPARAM).
template <auto Method>
LRESULT On(Window& window, WPARAM wParam, LPARAM lParam) {
    using Class = typename MemberClass<decltype(Method)>::Type;
    return (static_cast<Class&>(window).*Method)(wParam, lParam);
}

// {IDC_ENCRYPT, &fw::Command<&CMyDialog::OnEncrypt>} with void CMyDialog::OnEncrypt().
template <auto Method>
void Command(Window& window) {
    using Class = typename MemberClass<decltype(Method)>::Type;
    (static_cast<Class&>(window).*Method)();
}

class Window {
public:
    Window() = default;
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND Handle() const noexcept { return m_hwnd; }

    // Registers a window class whose procedure dispatches to the Window given to Create; a
    // null cursor is the standard arrow.
    static bool RegisterWindowClass(HINSTANCE instance, const wchar_t* className, HICON icon = nullptr,
                                    HCURSOR cursor = nullptr, UINT style = 0);
    // Creates the window; `this` is bound to it from WM_NCCREATE on. False when it fails.
    bool Create(HINSTANCE instance, const wchar_t* className, const wchar_t* title, DWORD style, DWORD exStyle = 0,
                HWND parent = nullptr);
    bool Destroy();

protected:
    virtual std::span<const MessageEntry> MessageMap() const { return {}; }
    virtual std::span<const CommandEntry> CommandMap() const { return {}; }

    // Looks the message up in the two maps; false when neither handles it.
    bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Called when a handler threw: nothing may leave a window procedure as an exception.
    virtual void OnException() noexcept;

    HWND m_hwnd = nullptr;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace fw
