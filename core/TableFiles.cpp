#include "core/TableFiles.h"

#include <algorithm>

namespace {
constexpr size_t kCopyNameLimit = 258;

char16_t FoldAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? c - u'a' + u'A' : c; }
}  // namespace

// An image that itself ends in ".ary" would otherwise be its own table file and be
// replaced by it; such an image gets ".ary" appended instead.
std::u16string WriterTableName(const std::u16string& imagePath) {
    const size_t dot = imagePath.rfind(u'.');
    if (dot == std::u16string::npos || dot == 0) return imagePath + u".ary";
    std::u16string name = imagePath.substr(0, dot) + u".ary";
    return EqualsIgnoreCase(name, imagePath) ? imagePath + u".ary" : name;
}

std::u16string ReaderTableName(const std::u16string& imagePath, const std::u16string& tempDir) {
    const std::u16string temp = WithoutTrailingBackslashes(tempDir);
    const size_t slash = imagePath.rfind(u'\\');
    const std::u16string dir = slash == std::u16string::npos ? u"" : imagePath.substr(0, slash + 1);
    std::u16string name = imagePath.substr(dir.size());
    const size_t dot = name.rfind(u'.');
    if (dot != std::u16string::npos) name.resize(dot);
    if (dir.size() + name.size() + temp.size() + 5 > kCopyNameLimit) {
        return temp + u"\\" + name + u".ary";
    }
    std::u16string flatDir = dir;
    std::replace_if(
        flatDir.begin(), flatDir.end(), [](char16_t c) { return c == u'\\' || c == u':'; }, u'#');
    return temp + u"\\" + flatDir + name + u".ary";
}

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return FoldAscii(x) == FoldAscii(y); });
}

std::u16string WithoutTrailingBackslashes(std::u16string text) {
    while (!text.empty() && text.back() == u'\\') text.pop_back();
    return text;
}
