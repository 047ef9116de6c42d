// Texts from a module's string table, plain or formatted printf-style.
#pragma once
#include <windows.h>

#include <initializer_list>
#include <string>

#include "common/Format.h"

namespace win32 {

// The module whose resources a program shows: the .exe itself unless a library sets its own
// (a DLL passes its instance handle from DllMain).
HINSTANCE ResourceModule() noexcept;
void SetResourceModule(HINSTANCE module) noexcept;

// The text of string id; empty when the table has none.
std::u16string LoadResourceString(UINT id, HINSTANCE module = nullptr);
// The text of string id formatted with args (%s, %d as FormatText takes them).
std::u16string FormatResourceString(UINT id, std::initializer_list<FormatArg> args, HINSTANCE module = nullptr);

}  // namespace win32
