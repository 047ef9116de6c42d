// The console in the locale's encoding (the program calls setlocale(LC_ALL, "")).
#include "platform/Console.h"

#include <errno.h>
#include <iconv.h>
#include <langinfo.h>
#include <stdio.h>
#include <stdlib.h>
#include <strings.h>

#include <cstring>

#include "platform/Iconv_posix.h"
#include "platform/Text.h"

namespace platform {

namespace {

// The locale's codeset, or nothing when the locale is UTF-8 or plain C: text in the C
// locale is taken as UTF-8, the encoding of every modern terminal.
std::string LocaleCodeset() {
    const char* codeset = nl_langinfo(CODESET);
    if (codeset == nullptr || codeset[0] == '\0') return {};
    const std::string name = codeset;
    if (strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "utf8") == 0 ||
        name == "ANSI_X3.4-1968" || name == "ASCII") {
        return {};
    }
    return name;
}

std::u16string Decode(const std::string& bytes) {
    const std::string codeset = LocaleCodeset();
    if (codeset.empty()) return FromUtf8(bytes);
    Iconv converter("UTF-8", codeset.c_str());
    std::string utf8;
    const char* in = bytes.data();
    size_t inLeft = bytes.size();
    // Bytes that are not in the locale's encoding are most likely UTF-8 after all.
    if (!converter.Valid() || !converter.Convert(in, inLeft, utf8)) return FromUtf8(bytes);
    return FromUtf8(utf8);
}

std::string Encode(std::u16string_view text) {
    const std::string utf8 = ToUtf8(text);
    const std::string codeset = LocaleCodeset();
    if (codeset.empty()) return utf8;
    Iconv converter(codeset.c_str(), "UTF-8");
    if (!converter.Valid()) return utf8;
    std::string out;
    const char* in = utf8.data();
    size_t inLeft = utf8.size();
    while (!converter.Convert(in, inLeft, out)) {
        // A character the locale cannot show becomes "?"; skip its UTF-8 sequence.
        out += '?';
        do {
            ++in;
            --inLeft;
        } while (inLeft > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80);
    }
    return out;
}

void Put(FILE* stream, std::u16string_view text, bool newline) {
    std::string bytes = Encode(text);
    if (newline) bytes += '\n';
    fwrite(bytes.data(), 1, bytes.size(), stream);
    fflush(stream);
}

}  // namespace

std::vector<std::u16string> CommandLineArguments(int argc, char** argv) {
    std::vector<std::u16string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(Decode(argv[i]));
    return arguments;
}

void WriteLine(std::u16string_view text) { Put(stdout, text, true); }

void WriteText(std::u16string_view text) { Put(stdout, text, false); }

void WriteErrorLine(std::u16string_view text) { Put(stderr, text, true); }

bool ReadLine(std::u16string& line) {
    line.clear();
    std::string bytes;
    int c;
    while ((c = getchar()) != EOF && c != '\n') bytes += static_cast<char>(c);
    if (c == EOF && bytes.empty()) return false;
    if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();
    line = Decode(bytes);
    return true;
}

}  // namespace platform
