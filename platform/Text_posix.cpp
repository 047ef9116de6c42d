// The ANSI code page on POSIX: the Windows code page named by CRYPTELLE_CODEPAGE, through iconv.
#include <errno.h>
#include <iconv.h>
#include <stdlib.h>

#include <cstring>
#include <memory>

#include "platform/Iconv_posix.h"
#include "platform/Text.h"

namespace platform {

namespace {

std::string CodePageName() {
    const char* env = getenv("CRYPTELLE_CODEPAGE");
    std::string page = env != nullptr && env[0] != '\0' ? env : "932";
    if (page == "65001") return "UTF-8";
    if (page == "20127") return "ASCII";
    if (page == "28591") return "ISO-8859-1";
    return "CP" + page;
}

// A page iconv lacks falls back to CP932.
bool OpenAnsiConverter(std::unique_ptr<Iconv>& converter, bool toAnsi) {
    for (const std::string& page : {CodePageName(), std::string("CP932")}) {
        converter = toAnsi ? std::make_unique<Iconv>(page.c_str(), "UTF-16LE")
                           : std::make_unique<Iconv>("UTF-16LE", page.c_str());
        if (converter->Valid()) return true;
    }
    return false;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

std::string ToAnsi(std::u16string_view text) {
    std::string out;
    std::unique_ptr<Iconv> converter;
    if (!OpenAnsiConverter(converter, true)) return std::string(text.size(), '?');
    std::string utf16le;
    utf16le.reserve(text.size() * 2);
    for (const char16_t c : text) {
        utf16le += static_cast<char>(c & 0xFF);
        utf16le += static_cast<char>(c >> 8);
    }
    const char* in = utf16le.data();
    size_t inLeft = utf16le.size();
    while (!converter->Convert(in, inLeft, out)) {
        // A character the page cannot hold becomes "?" (a surrogate pair is one character).
        out += '?';
        const size_t index = (utf16le.size() - inLeft) / 2;
        const size_t units =
            IsHighSurrogate(text[index]) && index + 1 < text.size() && IsLowSurrogate(text[index + 1]) ? 2 : 1;
        in += units * 2;
        inLeft -= units * 2;
    }
    return out;
}

std::u16string FromAnsi(std::string_view bytes) {
    std::u16string out;
    std::unique_ptr<Iconv> converter;
    if (!OpenAnsiConverter(converter, false)) return FromUtf8(bytes);
    std::string utf16le;
    const char* in = bytes.data();
    size_t inLeft = bytes.size();
    while (!converter->Convert(in, inLeft, utf16le)) {
        // A byte that starts no character of the page.
        utf16le += static_cast<char>(0xFD);
        utf16le += static_cast<char>(0xFF);
        ++in;
        --inLeft;
    }
    out.reserve(utf16le.size() / 2);
    for (size_t i = 0; i + 1 < utf16le.size(); i += 2) {
        out += static_cast<char16_t>(static_cast<unsigned char>(utf16le[i]) |
                                     (static_cast<unsigned char>(utf16le[i + 1]) << 8));
    }
    return out;
}

}  // namespace platform
