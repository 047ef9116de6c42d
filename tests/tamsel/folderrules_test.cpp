#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "tamsel/engine/FolderRules.h"

namespace {

struct TempCase {
    const char16_t* path;
    bool erasable;
};

// A wrong answer either erases a user's ordinary folder at logoff or never cleans the real one.
const TempCase kTempCases[] = {
    {u"C:\\Users\\me\\AppData\\Local\\Temp", true},
    {u"C:\\Users\\me\\AppData\\Local\\Temp\\", true},
    {u"C:\\Tmp\\\\", true},
    {u"C:\\TMP", true},
    {u"C:\\MyTemp", true},
    {u"D:\\temp", true},
    {u"C:\\Scratch", false},
    {u"C:\\Temp\\Work", false},
    {u"C:\\Tmpx", false},
    {u"C:\\Tem", false},
    {u"tmp", true},
    {u"mp", false},
    {u"\\\\\\", false},
    {u"", false},
};

TEST(TempFolderRule, ErasesOnlyFoldersNamedTempOrTmp) {
    for (size_t i = 0; i < std::size(kTempCases); ++i) {
        EXPECT_EQ(IsErasableTempFolder(kTempCases[i].path), kTempCases[i].erasable) << "row " << i;
    }
}

}  // namespace

namespace {

const NamedFolders kNamed = {u"C:\\windows", u"C:\\Program Files", u"C:\\users\\me\\Desktop",
                             u"C:\\users\\me\\Documents"};

struct SpecialCase {
    const char16_t* path;
    bool special;
};

// Refusing a folder the user may lock is an annoyance; allowing a system folder locks the
// system's own files away from it.
const SpecialCase kSpecialCases[] = {
    {u"C:\\", true},
    {u"C:", true},
    {u"C:\\Windows", true},
    {u"c:\\WINDOWS\\System32\\", true},
    {u"C:\\Program Files\\App", true},
    {u"C:\\Program Files (x86)", false},
    {u"C:\\Users\\me\\Documents", false},
    {u"C:\\Users\\me\\Documents\\Work", false},
    {u"C:\\Users\\me\\Desktop\\Plans", false},
    {u"C:\\Users\\Public", true},
    {u"C:\\Users\\me", true},
    {u"C:\\Users", true},
    {u"C:\\UsersData", false},
    {u"C:\\Data", false},
    {u"D:\\Windows", false},
};

TEST(SpecialFolder, RefusesRootsSystemFoldersAndOtherProfiles) {
    for (size_t i = 0; i < std::size(kSpecialCases); ++i) {
        const std::u16string path = kSpecialCases[i].path;
        EXPECT_EQ(IsSpecialFolderOf(path, path, kNamed), kSpecialCases[i].special) << "row " << i;
    }
}

TEST(SpecialFolder, DocumentsNearTheRootLeaveNoProfilesRoot) {
    NamedFolders named = kNamed;
    named.documents = u"D:\\";
    EXPECT_FALSE(IsSpecialFolderOf(u"C:\\Users\\Public", u"C:\\Users\\Public", named));
    named.documents = u"D:\\Docs";
    EXPECT_FALSE(IsSpecialFolderOf(u"D:\\Docs2", u"D:\\Docs2", named));
    EXPECT_FALSE(IsSpecialFolderOf(u"D:\\Docs\\Sub", u"D:\\Docs\\Sub", named));
}

TEST(SpecialFolder, LiesInComparesWholeNames) {
    EXPECT_TRUE(LiesIn(u"C:\\Data\\", u"c:\\data"));
    EXPECT_TRUE(LiesIn(u"C:\\Data\\Sub", u"C:\\Data\\"));
    EXPECT_FALSE(LiesIn(u"C:\\Data2", u"C:\\Data"));
    EXPECT_FALSE(LiesIn(u"C:\\Data", u"C:\\Data\\Sub"));
    EXPECT_FALSE(LiesIn(u"C:\\Data", u""));
}

struct ListedCase {
    const char16_t* folder;
    std::vector<std::u16string> listed;
    size_t holder;
    std::vector<size_t> inside;
};

constexpr size_t kNone = ListedFolderCheck::npos;

// A wrong holder refuses a folder the user may add, or adds one twice; a wrong "inside"
// takes a folder off the watch list that no new folder covers.
const ListedCase kListedCases[] = {
    {u"C:\\Data", {u"C:\\Data\\Sub"}, kNone, {0}},
    {u"C:\\Data\\Sub", {u"C:\\Data"}, 0, {}},
    {u"C:\\data", {u"C:\\Data"}, 0, {}},
    {u"C:\\Data\\", {u"C:\\Data"}, 0, {}},
    {u"C:\\Data2", {u"C:\\Data"}, kNone, {}},
    {u"C:\\Data", {u"C:\\Data2"}, kNone, {}},
    {u"C:\\Data", {u"C:\\Data2", u"C:\\Data\\A", u"D:\\Data\\B", u"C:\\DATA\\C"}, kNone, {1, 3}},
    {u"C:\\Data\\A\\X", {u"C:\\Data\\A\\X\\Y", u"C:\\Data"}, 1, {}},
    {u"C:\\Data", {}, kNone, {}},
};

TEST(ListedFolders, ComparesWholeComponentsAndRefusesBeforeTakingAnythingOff) {
    for (size_t i = 0; i < std::size(kListedCases); ++i) {
        const ListedCase& c = kListedCases[i];
        const ListedFolderCheck check = CheckAgainstListed(c.folder, c.listed);
        EXPECT_EQ(check.holder, c.holder) << "row " << i;
        EXPECT_EQ(check.inside, c.inside) << "row " << i;
    }
}

}  // namespace
