#include <windows.h>

#include <climits>

#include "platform/Text.h"

namespace platform {

std::string ToAnsi(std::u16string_view text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    // Characters the page cannot hold become the page's default character, "?".
    const int needed = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string out(static_cast<size_t>(needed), '\0');
    const int written = WideCharToMultiByte(CP_ACP, 0, wide, length, out.data(), needed, nullptr, nullptr);
    out.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return out;
}

std::u16string FromAnsi(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > INT_MAX) return {};
    const int length = static_cast<int>(bytes.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
    if (needed <= 0) return {};
    std::u16string out(static_cast<size_t>(needed), u'\0');
    const int written = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length,
                                            reinterpret_cast<wchar_t*>(out.data()), needed);
    out.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return out;
}

}  // namespace platform
