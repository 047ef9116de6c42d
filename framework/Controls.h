// Thin wrappers over one control each; a dialog member is bound to its control by the data
// exchange (DataExchange::Control) and does not own the window.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <string>

namespace fw {

class Control {
public:
    void Attach(HWND hwnd) noexcept { m_hwnd = hwnd; }
    HWND Handle() const noexcept { return m_hwnd; }
    void Enable(bool enable) const noexcept { EnableWindow(m_hwnd, enable ? TRUE : FALSE); }
    void Show(bool show) const noexcept { ShowWindow(m_hwnd, show ? SW_SHOW : SW_HIDE); }
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const noexcept {
        return SendMessageW(m_hwnd, message, wParam, lParam);
    }
    void SetText(const std::u16string& text) const noexcept;
    std::u16string Text() const;

protected:
    HWND m_hwnd = nullptr;
};

class Edit : public Control {
public:
    void SelectAll() const noexcept { Send(EM_SETSEL, 0, -1); }
};

class SpinButton : public Control {
public:
    void SetRange(int16_t lower, int16_t upper) const noexcept { Send(UDM_SETRANGE, 0, MAKELPARAM(upper, lower)); }
    void SetBuddy(HWND buddy) const noexcept { Send(UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy)); }
    void SetPos(int16_t position) const noexcept { Send(UDM_SETPOS, 0, MAKELPARAM(position, 0)); }
};

class ProgressBar : public Control {
public:
    void SetRange(int lower, int upper) const noexcept { Send(PBM_SETRANGE32, lower, upper); }
    void SetStep(int step) const noexcept { Send(PBM_SETSTEP, step); }
    void SetPos(int position) const noexcept { Send(PBM_SETPOS, position); }
    int Pos() const noexcept { return static_cast<int>(Send(PBM_GETPOS)); }
};

class Animation : public Control {
public:
    // Opens AVI resource id of module; false when there is no such clip.
    bool Open(HINSTANCE module, UINT id) const noexcept {
        return SendMessageW(m_hwnd, ACM_OPENW, reinterpret_cast<WPARAM>(module),
                            reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(id))) != 0;
    }
    // Frames from..to (0xFFFF: the last), repeat times (-1: for ever).
    bool Play(UINT from, UINT to, int repeat) const noexcept {
        return Send(ACM_PLAY, static_cast<WPARAM>(repeat), MAKELPARAM(from, to)) != 0;
    }
    void Stop() const noexcept { Send(ACM_STOP); }
    void Close() const noexcept { Send(ACM_OPENW, 0, 0); }
};

class ComboBoxEx : public Control {
public:
    // Inserts a text-only item at index; the new item's index, or -1.
    int InsertItem(int index, const std::u16string& text) const noexcept;
    bool SetItemData(int index, LPARAM data) const noexcept { return Send(CB_SETITEMDATA, index, data) != CB_ERR; }
    LPARAM ItemData(int index) const noexcept { return Send(CB_GETITEMDATA, index); }
    void SetCurSel(int index) const noexcept { Send(CB_SETCURSEL, index); }
    int CurSel() const noexcept { return static_cast<int>(Send(CB_GETCURSEL)); }
    int Count() const noexcept { return static_cast<int>(Send(CB_GETCOUNT)); }
};

}  // namespace fw
