#include "tamsel/TrayNot.h"

#include <algorithm>

#include "tamsel/TamselRes.h"
#include "win32/Resources.h"

CTrayNot::CTrayNot(HWND owner, UINT callbackMessage, const std::u16string& tip) {
    m_data.cbSize = sizeof m_data;
    m_data.hWnd = owner;
    m_data.uID = callbackMessage + 1;
    m_data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_data.uCallbackMessage = callbackMessage;
    m_data.hIcon = LoadIconW(win32::ResourceModule(), MAKEINTRESOURCEW(IDI_TAMSEL));
    const size_t length = std::min(tip.size(), std::size(m_data.szTip) - 1);
    std::copy_n(tip.begin(), length, m_data.szTip);
    // A failed addition is not reported: the program runs on without its icon.
    Shell_NotifyIconW(NIM_ADD, &m_data);
}

CTrayNot::~CTrayNot() { Shell_NotifyIconW(NIM_DELETE, &m_data); }
