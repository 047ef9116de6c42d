#include "framework/DataExchange.h"

#include <commctrl.h>

#include "framework/Conversions.h"
#include "win32/MessageBox.h"

namespace fw {

namespace {

std::u16string WindowText(HWND control) {
    Control wrapper;
    wrapper.Attach(control);
    return wrapper.Text();
}

void SetWindowText(HWND control, const std::u16string& text) {
    Control wrapper;
    wrapper.Attach(control);
    wrapper.SetText(text);
}

bool IsRadioButton(HWND control) { return (SendMessageW(control, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) != 0; }

CivilTime ToCivil(const SYSTEMTIME& time) {
    return {time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond};
}

SYSTEMTIME ToSystemTime(const CivilTime& time) {
    SYSTEMTIME system = {};
    system.wYear = static_cast<WORD>(time.year);
    system.wMonth = static_cast<WORD>(time.month);
    system.wDay = static_cast<WORD>(time.day);
    system.wHour = static_cast<WORD>(time.hour);
    system.wMinute = static_cast<WORD>(time.minute);
    system.wSecond = static_cast<WORD>(time.second);
    return system;
}

bool LocalTimeOf(int64_t seconds, SYSTEMTIME& local) {
    const uint64_t fileTime = UnixSecondsToFileTime(seconds);
    const FILETIME utcFile = {static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
    SYSTEMTIME utc = {};
    return FileTimeToSystemTime(&utcFile, &utc) && SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
}

bool SecondsOf(const SYSTEMTIME& local, int64_t& seconds) {
    SYSTEMTIME utc = {};
    FILETIME utcFile = {};
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) || !SystemTimeToFileTime(&utc, &utcFile)) return false;
    seconds = FileTimeToUnixSeconds((static_cast<uint64_t>(utcFile.dwHighDateTime) << 32) | utcFile.dwLowDateTime);
    return true;
}

}  // namespace

void DataExchange::Text(int id, std::u16string& value) {
    if (m_save) {
        value = WindowText(Item(id));
    } else {
        SetWindowText(Item(id), value);
    }
}

void DataExchange::Signed(int id, int32_t& value) {
    if (!m_save) {
        SetWindowText(Item(id), FormatDecimal(value));
        return;
    }
    if (!ParseSigned(WindowText(Item(id)), value)) Fail(id, kEnterInteger);
}

void DataExchange::Unsigned(int id, uint32_t& value) {
    if (!m_save) {
        SetWindowText(Item(id), FormatDecimal(value));
        return;
    }
    if (!ParseUnsigned(WindowText(Item(id)), value)) Fail(id, kEnterPositiveInteger);
}

void DataExchange::Range(int id, uint32_t value, uint32_t min, uint32_t max) {
    if (m_save && (value < min || value > max)) Fail(id, RangeMessage(min, max));
}

void DataExchange::Check(int id, int32_t& value) {
    if (m_save) {
        value = SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    } else {
        SendMessageW(Item(id), BM_SETCHECK, value != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

void DataExchange::Radio(int firstId, int32_t& index) {
    if (m_save) index = -1;
    int32_t position = 0;
    // The group runs from its first button to the next control that starts a group or is
    // not a radio button.
    for (HWND button = Item(firstId); button != nullptr && IsRadioButton(button);
         button = GetWindow(button, GW_HWNDNEXT), ++position) {
        if (position > 0 && (GetWindowLongPtrW(button, GWL_STYLE) & WS_GROUP) != 0) break;
        if (m_save) {
            if (SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED) index = position;
        } else {
            SendMessageW(button, BM_SETCHECK, position == index ? BST_CHECKED : BST_UNCHECKED, 0);
        }
    }
}

void DataExchange::DateTime(int id, int64_t& seconds) {
    SYSTEMTIME previous = {};
    if (!LocalTimeOf(seconds, previous)) GetLocalTime(&previous);
    if (!m_save) {
        SendMessageW(Item(id), DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&previous));
        return;
    }
    SYSTEMTIME picked = {};
    if (SendMessageW(Item(id), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&picked)) != GDT_VALID) return;
    const SYSTEMTIME combined = ToSystemTime(WithDateOf(ToCivil(previous), ToCivil(picked)));
    int64_t result = 0;
    if (SecondsOf(combined, result)) seconds = result;
}

void DataExchange::Bind(int id, Control& control) noexcept {
    control.Attach(Item(id));
}

void DataExchange::Fail(int id, std::u16string_view message) {
    win32::ShowMessage(m_dialog, message, MB_OK | MB_ICONEXCLAMATION);
    const HWND control = Item(id);
    if (control != nullptr) {
        // The dialog's own way to move the focus, so its default button follows.
        SendMessageW(m_dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
        SendMessageW(control, EM_SETSEL, 0, -1);
    }
    throw DataExchangeFailed{id};
}

}  // namespace fw
