#include <gtest/gtest.h>

#include <iterator>

#include "tamsel/engine/TempFolderRule.h"

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
