// Modal dialogs from .rc templates. `this` is bound to the window at WM_INITDIALOG; messages
// go to the message map, then to the small virtual handlers; nothing thrown by a handler
// leaves the dialog procedure.
#pragma once
#include <windows.h>

#include "framework/DataExchange.h"
#include "framework/Window.h"

namespace fw {

class Dialog : public Window {
public:
    explicit Dialog(UINT templateId) noexcept : m_templateId(templateId) {}
    ~Dialog() override;

    UINT TemplateId() const noexcept { return m_templateId; }
    // Runs the dialog from the resource module's template; its result, or -1 when the
    // dialog could not be created. A null owner means the thread's visible active window.
    INT_PTR DoModal(HWND owner = nullptr);
    void EndDialog(INT_PTR result) noexcept;
    HWND Item(int id) const noexcept { return GetDlgItem(m_hwnd, id); }

    // Loads the controls from the fields (save false) or saves and checks them (save true);
    // false when a value failed its check, after its message.
    bool UpdateData(bool save);

protected:
    virtual void DoDataExchange(DataExchange& /*exchange*/) {}
    // Loads the controls; the result is WM_INITDIALOG's (TRUE: the default focus).
    virtual BOOL OnInitDialog();
    // IDOK: Enter, or a button with that id. Saves, and ends with IDOK when the values pass.
    virtual void OnOK();
    // IDCANCEL: Escape, the close box, or a button with that id. Ends with IDCANCEL.
    virtual void OnCancel();
    virtual void OnDestroy() {}
    void OnException() noexcept override;

    // The whole dispatch of one message; pages reuse it from their own procedure.
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    static void Bind(HWND hwnd, Dialog* dialog) noexcept;
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    UINT m_templateId;
};

}  // namespace fw
