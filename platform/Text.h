// Character conversions. The ANSI code page is the system's (CP_ACP) on Windows and the
// Windows code page named by CRYPTELLE_CODEPAGE (default 932) on POSIX.
#pragma once
#include <string>
#include <string_view>

namespace platform {

// A character the page cannot hold becomes "?".
std::string ToAnsi(std::u16string_view text);
std::u16string FromAnsi(std::string_view bytes);
// The ANSI form only when it gives back exactly the text: false when a character would
// become "?" or a look-alike, and then ansi is empty.
bool ToAnsiExact(std::u16string_view text, std::string& ansi);

// Invalid sequences become U+FFFD.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view bytes);

}  // namespace platform
