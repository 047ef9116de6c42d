// printf-style formatting of string-table texts, shared by every program of the suite:
// Ardex's console lines and the message boxes of the programs with windows.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

// One printf argument: a text (for %s) or a number (for %d).
struct FormatArg {
    FormatArg(std::u16string_view text) : isText(true), text(text) {}
    FormatArg(const std::u16string& text) : isText(true), text(text) {}
    FormatArg(const char16_t* text) : isText(true), text(text) {}
    FormatArg(int64_t number) : number(number) {}
    FormatArg(int32_t number) : number(number) {}
    FormatArg(uint32_t number) : number(number) {}

    bool isText = false;
    std::u16string_view text;
    int64_t number = 0;
};

// printf-style formatting on UTF-16 text: %s, %d, flags "-" and "0", width, precision
// and %%. A missing argument formats as nothing; arguments are never re-interpreted.
std::u16string FormatText(std::u16string_view format, std::initializer_list<FormatArg> args = {});
