// Message boxes under the program's own caption.
#pragma once
#include <windows.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "common/Format.h"

namespace win32 {

// Set once at start-up, before any other thread may show a message.
void SetMessageCaption(std::u16string caption);
const std::u16string& MessageCaption() noexcept;

// MessageBoxW under the program caption; returns the button pressed (0 when it could not be shown).
int ShowMessage(HWND owner, std::u16string_view text, UINT type);
// The same with string id of the program's table formatted with args.
int ShowStringMessage(HWND owner, UINT id, UINT type, std::initializer_list<FormatArg> args = {});

}  // namespace win32
