// The notification-area icon of the hidden main window: added when constructed, removed
// when destroyed.
#pragma once
#include <windows.h>

#include <shellapi.h>

#include <string>

class CTrayNot {
public:
    // The icon's identifier is the callback message + 1.
    CTrayNot(HWND owner, UINT callbackMessage, const std::u16string& tip);
    ~CTrayNot();
    CTrayNot(const CTrayNot&) = delete;
    CTrayNot& operator=(const CTrayNot&) = delete;

    const NOTIFYICONDATAW& Data() const noexcept { return m_data; }

private:
    NOTIFYICONDATAW m_data = {};
};
