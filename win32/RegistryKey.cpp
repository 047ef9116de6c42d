#include "win32/RegistryKey.h"

#include <vector>

namespace win32 {

bool RegistryKey::Open(HKEY root, const wchar_t* subKey, REGSAM access) noexcept {
    return RegOpenKeyExW(root, subKey, 0, access, Out()) == ERROR_SUCCESS;
}

bool RegistryKey::QueryString(const wchar_t* name, size_t maxChars, std::wstring& value) const {
    // One unit more than the value may hold, so an unterminated value still ends.
    std::vector<wchar_t> buffer(maxChars + 2, L'\0');
    DWORD type = 0;
    DWORD size = static_cast<DWORD>((maxChars + 1) * sizeof(wchar_t));
    if (RegQueryValueExW(Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    value.assign(buffer.data());
    return value.size() <= maxChars;
}

}  // namespace win32
