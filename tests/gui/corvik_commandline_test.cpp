// Which command lines open the encryption dialog and which end the program silently.
#include <gtest/gtest.h>

#include "CorvikSession.h"
#include "TestFiles.h"

namespace corvik_test {
namespace {

using testing_support::WriteAll;

struct LineCase {
    const char* name;
    // Arguments after the program's path; {dir} stands for the scratch folder.
    std::wstring arguments;
    bool showsDialog;
};

std::wstring Expand(std::wstring text, const std::wstring& dir) {
    for (size_t at = text.find(L"{dir}"); at != std::wstring::npos; at = text.find(L"{dir}", at + dir.size())) {
        text.replace(at, 5, dir);
    }
    return text;
}

class CommandLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(CommandLine, ShowsTheDialogOrEndsSilently) {
    Workspace scratch;
    WriteAll(scratch / "a.txt", std::string("a"));
    WriteAll(scratch / "b.txt", std::string("b"));
    WriteAll(scratch / "a.chy", std::string("not checked"));
    WriteAll(scratch / "upper.CHY", std::string("u"));
    fs::create_directories(scratch / "folder");

    CorvikSession corvik;
    ASSERT_TRUE(corvik.Start(Expand(GetParam().arguments, Win(scratch.path()))));
    if (GetParam().showsDialog) {
        HWND dialog = corvik.WaitFor(kMainCaption);
        ASSERT_NE(dialog, nullptr);
        gui::Click(dialog, kCancel);
        EXPECT_TRUE(corvik.Ends());
        return;
    }
    // Silent: the process ends and no window of it is ever seen.
    HWND seen = nullptr;
    gui::WaitUntil([&] {
        if (!seen) seen = gui::AnyWindowOf(corvik.Id());
        return !corvik.Process().Running();
    });
    EXPECT_FALSE(corvik.Process().Running());
    EXPECT_EQ(seen, nullptr) << "window " << testing::PrintToString(gui::WindowCaption(seen));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CommandLine,
    ::testing::Values(LineCase{"File", L"*{dir}\\a.txt", true}, LineCase{"Folder", L"*{dir}\\folder", true},
                      LineCase{"CapitalImageExtension", L"*{dir}\\upper.CHY", true},
                      LineCase{"Image", L"*{dir}\\a.chy", false},
                      LineCase{"ShareWithoutDrive", L"*\\\\server\\share\\a.txt", false},
                      LineCase{"TwoTargets", L"*{dir}\\a.txt *{dir}\\b.txt", false},
                      LineCase{"QuotedTarget", L"\"*{dir}\\a.txt\"", false},
                      LineCase{"StreamSuffix", L"*{dir}\\a.txt:extra", false},
                      LineCase{"MissingTarget", L"*{dir}\\gone.txt", false},
                      LineCase{"NoStar", L"{dir}\\a.txt", false}, LineCase{"NoTarget", L"", false}),
    [](const auto& info) { return std::string(info.param.name); });

// A short (8.3) name is taken in its long form: the image is named after the long name.
TEST(CommandLineShortName, EncryptsUnderTheLongForm) {
    Workspace scratch;
    const fs::path source = scratch / "long document name.text";
    WriteAll(source, std::string("short and long"));
    wchar_t shortPath[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameW(Win(source).c_str(), shortPath, MAX_PATH), 0u);
    ASSERT_NE(std::wstring(shortPath), Win(source));

    CorvikSession corvik;
    ASSERT_TRUE(corvik.Open(shortPath));
    corvik.Encrypt(L"pw", L"pw");
    ASSERT_TRUE(corvik.Ends());
    EXPECT_TRUE(fs::exists(ImageBeside(source)));
    EXPECT_EQ(ReadHeader(ImageBeside(source), u"pw").version, 768);
}

}  // namespace
}  // namespace corvik_test
