#include "framework/Controls.h"

#include <vector>

namespace fw {

void Control::SetText(const std::u16string& text) const noexcept {
    SetWindowTextW(m_hwnd, reinterpret_cast<const wchar_t*>(text.c_str()));
}

std::u16string Control::Text() const {
    const int length = GetWindowTextLengthW(m_hwnd);
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(m_hwnd, buffer.data(), length + 1);
    return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), copied > 0 ? static_cast<size_t>(copied) : 0);
}

int ComboBoxEx::InsertItem(int index, const std::u16string& text) const noexcept {
    std::u16string copy = text;
    COMBOBOXEXITEMW item = {};
    item.mask = CBEIF_TEXT;
    item.iItem = index;
    item.pszText = reinterpret_cast<wchar_t*>(copy.data());
    return static_cast<int>(Send(CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

}  // namespace fw
