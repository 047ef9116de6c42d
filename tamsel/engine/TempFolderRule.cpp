#include "tamsel/engine/TempFolderRule.h"

namespace {

char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool EndsWithIgnoringCase(std::u16string_view text, std::u16string_view tail) {
    if (text.size() < tail.size()) return false;
    const std::u16string_view end = text.substr(text.size() - tail.size());
    for (size_t i = 0; i < tail.size(); ++i) {
        if (FoldAscii(end[i]) != FoldAscii(tail[i])) return false;
    }
    return true;
}

}  // namespace

bool IsErasableTempFolder(std::u16string_view path) {
    while (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
    return EndsWithIgnoringCase(path, u"temp") || EndsWithIgnoringCase(path, u"tmp");
}
