// The suite keeps text as UTF-16 in std::u16string; on Windows wchar_t is the same unit, so
// handing text to the API is a cast, never a conversion.
#pragma once
#include <string>
#include <string_view>

namespace win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

inline const wchar_t* Wide(const std::u16string& text) noexcept { return reinterpret_cast<const wchar_t*>(text.c_str()); }
inline wchar_t* Wide(std::u16string& text) noexcept { return reinterpret_cast<wchar_t*>(text.data()); }
inline std::u16string FromWide(const wchar_t* text) {
    return text == nullptr ? std::u16string() : std::u16string(reinterpret_cast<const char16_t*>(text));
}
inline std::u16string FromWide(const wchar_t* text, size_t length) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

}  // namespace win32
