#include <gtest/gtest.h>

#include <string>

#include "corvik/CommandLine.h"
#include "platform/Text.h"

namespace {

TEST(CorvikCommandLine, WhichLinesNameATarget) {
    struct Case {
        std::u16string line;
        bool shows;
        std::u16string target;
    };
    const Case cases[] = {
        {u"C:\\P\\Corvik.exe *D:\\data\\a.txt", true, u"D:\\data\\a.txt"},
        {u"C:\\P\\Corvik.exe *D:\\報告\\計画 書.doc", true, u"D:\\報告\\計画 書.doc"},
        // Quotes stay: the closing one becomes part of the path, which then does not resolve.
        {u"\"C:\\P\\Corvik.exe\" \"*D:\\a.txt\"", true, u"D:\\a.txt\""},
        // No "*": the whole line is the path.
        {u"C:\\P\\Corvik.exe D:\\a.txt", true, u"C:\\P\\Corvik.exe D:\\a.txt"},
        // Only the first "*" splits.
        {u"C:\\P\\Corvik.exe *D:\\a*b.txt", true, u"D:\\a*b.txt"},
        {u"", false, u""},
        {u"C:\\P\\Corvik.exe", false, u""},
        {u"C:\\P\\Corvik.exe *\\\\server\\share\\a.txt", false, u""},
        {u"C:\\P\\Corvik.exe *D:\\a.txt *E:\\b.txt", false, u""},
        {u"C:\\P\\Corvik.exe *D:\\a.txt:stream", false, u""},
        // The first ":" is the last character: there is no second one to find after it.
        {u"Corvik.exe *D:", false, u""},
        {u"C:D:", true, u"C:D:"},
    };
    for (const auto& c : cases) {
        std::u16string target = u"left over";
        EXPECT_EQ(TargetFromCommandLine(c.line, target), c.shows) << platform::ToUtf8(c.line);
        if (c.shows) {
            EXPECT_EQ(target, c.target) << platform::ToUtf8(c.line);
        }
    }
}

TEST(CorvikCommandLine, ImageNamesAreExactLowerCase) {
    struct Case {
        std::u16string path;
        bool image;
    };
    const Case cases[] = {
        {u"D:\\data\\a.chy", true},  {u"D:\\data\\a.CHY", false}, {u"D:\\data\\a.Chy", false},
        {u"D:\\data\\a.chyx", false}, {u"D:\\data\\achy", false},  {u".chy", true},
        {u"chy", false},              {u"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsImageName(c.path), c.image) << platform::ToUtf8(c.path);
}

TEST(CorvikCommandLine, ImagePathLiesNextToTheSource) {
    struct Case {
        std::u16string source;
        std::u16string image;
    };
    const Case cases[] = {
        {u"D:\\r\\plan.doc", u"D:\\r\\plan.chy"},
        {u"D:\\r\\plan.xls", u"D:\\r\\plan.chy"},
        {u"D:\\r\\plan.docx", u"D:\\r\\plan.docx.chy"},
        {u"D:\\r\\Photos", u"D:\\r\\Photos.chy"},
        {u"D:\\r\\set.old", u"D:\\r\\set.chy"},
        {u"D:\\r\\a.b", u"D:\\r\\a.b.chy"},
        // A source Corvik lets through because of its letter case: its image differs only in case.
        {u"D:\\r\\a.CHY", u"D:\\r\\a.chy"},
        {u".ab", u".chy"},
        {u"ab", u"ab.chy"},
    };
    for (const auto& c : cases) EXPECT_EQ(MakeImagePath(c.source), c.image) << platform::ToUtf8(c.source);
}

}  // namespace
