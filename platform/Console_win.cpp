#include "platform/Console.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/Text.h"

namespace platform {

namespace {

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

// A console shows every character through WriteConsoleW; a pipe or file gets the ANSI
// code page with CR LF, as the C runtime's wide text stream would write it.
void Put(DWORD which, std::u16string_view text, bool newline) {
    const HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    if (IsConsole(handle)) {
        std::u16string wide(text);
        if (newline) wide += u"\r\n";
        const auto* chars = reinterpret_cast<const wchar_t*>(wide.data());
        size_t left = wide.size();
        while (left > 0) {
            // Old consoles refuse very large single writes.
            const DWORD chunk = static_cast<DWORD>(left < 8192 ? left : 8192);
            DWORD done = 0;
            if (!WriteConsoleW(handle, chars, chunk, &done, nullptr) || done == 0) return;
            chars += done;
            left -= done;
        }
        return;
    }
    std::string bytes = ToAnsi(text);
    if (newline) bytes += "\r\n";
    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        DWORD done = 0;
        if (!WriteFile(handle, data, static_cast<DWORD>(left), &done, nullptr) || done == 0) return;
        data += done;
        left -= done;
    }
    // WriteFile keeps nothing in the process, so the line is out already; a disk flush
    // per line would only slow down output redirected to a file.
}

}  // namespace

std::vector<std::u16string> CommandLineArguments(int /*argc*/, char** /*argv*/) {
    // argv holds ANSI text that lost every character outside the code page.
    std::vector<std::u16string> arguments;
    int count = 0;
    LPWSTR* list = CommandLineToArgvW(GetCommandLineW(), &count);
    if (list == nullptr) return arguments;
    for (int i = 1; i < count; ++i) arguments.emplace_back(reinterpret_cast<const char16_t*>(list[i]));
    LocalFree(list);
    return arguments;
}

void WriteLine(std::u16string_view text) { Put(STD_OUTPUT_HANDLE, text, true); }

void WriteText(std::u16string_view text) { Put(STD_OUTPUT_HANDLE, text, false); }

void WriteErrorLine(std::u16string_view text) { Put(STD_ERROR_HANDLE, text, true); }

bool ReadLine(std::u16string& line) {
    line.clear();
    const HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    if (IsConsole(handle)) {
        // One character at a time, so that the rest of the line stays in the console's buffer.
        bool any = false;
        for (;;) {
            wchar_t c = 0;
            DWORD done = 0;
            if (!ReadConsoleW(handle, &c, 1, &done, nullptr) || done == 0) return any;
            any = true;
            if (c == L'\n') break;
            // Ctrl+Z at the start of a line ends the input, as in the C runtime.
            if (c == 0x1A && line.empty()) return false;
            line += static_cast<char16_t>(c);
        }
        if (!line.empty() && line.back() == u'\r') line.pop_back();
        return true;
    }
    std::string bytes;
    bool any = false;
    for (;;) {
        char c = 0;
        DWORD done = 0;
        if (!ReadFile(handle, &c, 1, &done, nullptr) || done == 0) break;
        any = true;
        if (c == '\n') break;
        bytes += c;
    }
    if (!any) return false;
    if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();
    line = FromAnsi(bytes);
    return true;
}

}  // namespace platform
