#include "framework/Dialog.h"

#include "win32/Resources.h"

namespace fw {

// A dialog window that outlives its object must not reach it any more.
Dialog::~Dialog() {
    if (m_hwnd != nullptr) SetWindowLongPtrW(m_hwnd, DWLP_USER, 0);
}

INT_PTR Dialog::DoModal(HWND owner) {
    // Without an owner the dialog belongs to the thread's visible active window, which it
    // disables while it runs: a dialog opened from a dialog never leaves the first one usable.
    if (owner == nullptr) {
        const HWND active = GetActiveWindow();
        if (active != nullptr && IsWindowVisible(active)) owner = active;
    }
    return DialogBoxParamW(win32::ResourceModule(), MAKEINTRESOURCEW(m_templateId), owner, &Dialog::DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

void Dialog::EndDialog(INT_PTR result) noexcept { ::EndDialog(m_hwnd, result); }

bool Dialog::UpdateData(bool save) {
    DataExchange exchange(m_hwnd, save);
    try {
        DoDataExchange(exchange);
    } catch (const DataExchangeFailed&) {
        return false;
    }
    return true;
}

BOOL Dialog::OnInitDialog() {
    UpdateData(false);
    return TRUE;
}

void Dialog::OnOK() {
    if (UpdateData(true)) EndDialog(IDOK);
}

void Dialog::OnCancel() { EndDialog(IDCANCEL); }

void Dialog::OnException() noexcept { MessageBeep(MB_ICONERROR); }

INT_PTR Dialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (Dispatch(message, wParam, lParam, result)) {
        SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        if (HIWORD(wParam) > 1) return FALSE;
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        OnDestroy();
        return FALSE;
    default:
        return FALSE;
    }
}

void Dialog::Bind(HWND hwnd, Dialog* dialog) noexcept {
    dialog->m_hwnd = hwnd;
    SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(dialog));
}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) Bind(hwnd, reinterpret_cast<Dialog*>(lParam));
    auto* dialog = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (dialog == nullptr) return FALSE;
    INT_PTR handled = FALSE;
    try {
        handled = dialog->HandleMessage(message, wParam, lParam);
    } catch (...) {
        dialog->OnException();
        // A dialog that could not set itself up is not left half-made on the screen.
        if (message == WM_INITDIALOG) ::EndDialog(hwnd, IDABORT);
        handled = TRUE;
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        dialog->m_hwnd = nullptr;
    }
    return handled;
}

}  // namespace fw
