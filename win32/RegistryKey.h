// An open registry key, closed with RegCloseKey.
#pragma once
#include <windows.h>

#include <string>

#include "win32/Handle.h"

namespace win32 {

struct RegistryKeyTraits {
    using Value = HKEY;
    static constexpr HKEY kEmpty = nullptr;
    static bool IsHeld(HKEY key) noexcept { return key != nullptr; }
    static bool Release(HKEY key) noexcept { return RegCloseKey(key) == ERROR_SUCCESS; }
};

class RegistryKey : public UniqueOwner<RegistryKeyTraits> {
public:
    // Closes the key held before; false when the key cannot be opened.
    bool Open(HKEY root, const wchar_t* subKey, REGSAM access) noexcept;
    // A REG_SZ or REG_EXPAND_SZ value of at most maxChars characters, taken whole; false
    // when it is missing, of another type or longer.
    bool QueryString(const wchar_t* name, size_t maxChars, std::wstring& value) const;
};

}  // namespace win32
