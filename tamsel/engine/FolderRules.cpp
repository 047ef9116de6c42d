#include "tamsel/engine/FolderRules.h"

namespace {

char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

bool EndsWithIgnoringCase(std::u16string_view text, std::u16string_view tail) {
    return text.size() >= tail.size() && EqualIgnoringCase(text.substr(text.size() - tail.size()), tail);
}

std::u16string_view WithoutTrailingBackslashes(std::u16string_view path) {
    while (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
    return path;
}

// The parent of every user's profile: documents cut before its first backslash from the
// fourth character on (C:\Users\me\Documents gives C:\Users).
std::u16string_view ProfilesRoot(std::u16string_view documents) {
    if (documents.size() <= 3) return {};
    const size_t cut = documents.find(u'\\', 3);
    return cut == std::u16string_view::npos ? documents : documents.substr(0, cut);
}

}  // namespace

bool IsErasableTempFolder(std::u16string_view path) {
    path = WithoutTrailingBackslashes(path);
    return EndsWithIgnoringCase(path, u"temp") || EndsWithIgnoringCase(path, u"tmp");
}

bool LiesIn(std::u16string_view folder, std::u16string_view parent) {
    const std::u16string f = std::u16string(WithoutTrailingBackslashes(folder)) + u'\\';
    const std::u16string p = std::u16string(WithoutTrailingBackslashes(parent)) + u'\\';
    if (p.size() == 1) return false;  // an unknown folder holds nothing
    return f.size() >= p.size() && EqualIgnoringCase(std::u16string_view(f).substr(0, p.size()), p);
}

bool IsSpecialFolderOf(std::u16string_view path, std::u16string_view longPath, const NamedFolders& named) {
    if (path.size() <= 3) return true;
    if (LiesIn(longPath, named.windows) || LiesIn(longPath, named.programFiles)) return true;
    if (LiesIn(longPath, named.desktop) || LiesIn(longPath, named.documents)) return false;
    return LiesIn(longPath, ProfilesRoot(named.documents));
}

ListedFolderCheck CheckAgainstListed(std::u16string_view folder, const std::vector<std::u16string>& listed) {
    ListedFolderCheck check;
    for (size_t i = 0; i < listed.size(); ++i) {
        if (LiesIn(folder, listed[i])) {
            // Refused as a whole: nothing is taken off the watch list for a folder not added.
            check.holder = i;
            check.inside.clear();
            return check;
        }
        if (LiesIn(listed[i], folder)) check.inside.push_back(i);
    }
    return check;
}
