// What a password must meet before an image is made with it.
#pragma once
#include <string_view>

// True when the password's ANSI form, from which the image key is derived, gives back every
// character. A character the code page lacks would become "?" or a look-alike, and then
// different passwords would open the same image. Only encryption asks: images made with
// such a password stay readable with it.
bool PasswordFitsCodePage(std::u16string_view password);
