// Which temporary folder Tamsel erases at logoff: only one whose name says it is one, so a
// user's Temp setting that points at an ordinary folder never costs its files.
#pragma once
#include <string_view>

// True when path, without its trailing backslashes, ends in "Temp" or "Tmp", ignoring case.
bool IsErasableTempFolder(std::u16string_view path);
