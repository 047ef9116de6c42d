// Before a logoff Tamsel erases the user's temporary folder, but only one whose name says
// it is one; either way it lets the logoff go on.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "GuiDriver.h"
#include "TamselSession.h"
#include "TestFiles.h"

namespace {

namespace fs = std::filesystem;
using namespace tamsel_test;

// The user's Temp setting, pointed elsewhere for one case and put back as it was.
class TempSetting {
public:
    explicit TempSetting(const fs::path& folder) : m_value(L"Environment", L"Temp", REG_SZ, folder.wstring()) {}

private:
    gui::UserRegistryValue m_value;
};

// Ends the session as Windows does: every top-level window is asked (WM_QUERYENDSESSION),
// told (WM_ENDSESSION), and its process ended. Console programs such as this test live on.
class SessionEnd {
public:
    bool Start() { return m_wineboot.Start(L"wineboot.exe -e"); }
    bool WaitForEnd() { return m_wineboot.WaitForExit(std::chrono::seconds(120)); }

private:
    gui::Process m_wineboot;
};

// The journal, made at start-up in the temporary folder Tamsel inherits; the watch list
// beside it exists only once a folder is watched.
bool TamselStarted() { return fs::exists(TempFile(L"DIDI")); }

bool TamselFilesGone() { return !fs::exists(TempFile(L"EIEI")) && !fs::exists(TempFile(L"DIDI")); }

void StartTamsel(gui::Process& tamsel) {
    ASSERT_EQ(TamselWindow(), nullptr) << "a Tamsel from an earlier case still runs";
    ASSERT_TRUE(tamsel.Start(TamselCommandLine()));
    ASSERT_TRUE(gui::WaitUntil([] { return TamselWindow() != nullptr && TamselStarted(); }));
}

struct LogoffCase {
    const wchar_t* folderName;
    bool erased;
};

class TamselLogoff : public ::testing::TestWithParam<LogoffCase> {};

TEST_P(TamselLogoff, ErasesOnlyATempNamedFolderAndLetsTheSessionEnd) {
    const fs::path root = L"C:\\tamsel-logoff";
    const fs::path folder = root / GetParam().folderName;
    std::error_code ignored;
    fs::remove_all(root, ignored);
    fs::create_directories(folder / "sub");
    testing_support::WriteAll(folder / "a.tmp", std::string(200000, 'a'));
    testing_support::WriteAll(folder / "sub" / "b.tmp", std::string("b"));
    TempSetting setting(folder);

    gui::Process tamsel;
    StartTamsel(tamsel);
    SessionEnd session;
    ASSERT_TRUE(session.Start());
    ASSERT_TRUE(session.WaitForEnd());

    EXPECT_TRUE(tamsel.WaitForExit()) << "the session end was refused";
    EXPECT_EQ(fs::exists(folder / "a.tmp"), !GetParam().erased);
    EXPECT_EQ(fs::exists(folder / "sub" / "b.tmp"), !GetParam().erased);
    EXPECT_TRUE(TamselFilesGone()) << "the process ends without WM_DESTROY; WM_ENDSESSION must clean up";
    fs::remove_all(root, ignored);
}

INSTANTIATE_TEST_SUITE_P(Folders, TamselLogoff,
                         ::testing::Values(LogoffCase{L"Tmp", true}, LogoffCase{L"MyTemp", true},
                                           LogoffCase{L"Scratch", false}));

// Tamsel's answer itself, which a session end does not show: the erase never holds it up.
TEST(TamselLogoffAnswer, IsTrueAfterTheErase) {
    const fs::path folder = L"C:\\tamsel-logoff\\Temp";
    std::error_code ignored;
    fs::create_directories(folder);
    testing_support::WriteAll(folder / "a.tmp", std::string(1000, 'a'));
    TempSetting setting(folder);

    gui::Process tamsel;
    StartTamsel(tamsel);
    DWORD_PTR answer = 0;
    ASSERT_NE(SendMessageTimeoutW(TamselWindow(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 60000,
                                  &answer),
              0);
    EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE));
    EXPECT_FALSE(fs::exists(folder / "a.tmp"));
    EXPECT_TRUE(tamsel.Running());

    PostMessageW(TamselWindow(), WM_COMMAND, 201, 0);
    EXPECT_TRUE(tamsel.WaitForExit());
    fs::remove_all(L"C:\\tamsel-logoff", ignored);
}

// The user may stop a long erase: the files not reached yet stay whole, and the session
// still ends.
TEST(TamselLogoffCancel, StopsTheEraseAndLetsTheSessionEnd) {
    constexpr int kFiles = 1500;
    const fs::path folder = L"C:\\tamsel-logoff\\Tmp";
    const std::string content(4096, 'c');
    const std::vector<uint8_t> contentBytes(content.begin(), content.end());
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    fs::create_directories(folder);
    for (int i = 0; i < kFiles; ++i) testing_support::WriteAll(folder / (std::to_string(i) + ".tmp"), content);
    TempSetting setting(folder);

    gui::Process tamsel;
    StartTamsel(tamsel);
    SessionEnd session;
    ASSERT_TRUE(session.Start());
    HWND progress = gui::WaitForWindow(tamsel.Id(), L"一時ファイルを削除中");
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(gui::SaveScreenshot(progress, "tamsel_304_logoff_erase"));
    gui::Click(progress, 1295);
    ASSERT_TRUE(session.WaitForEnd());
    EXPECT_TRUE(tamsel.WaitForExit());

    int left = 0;
    for (const auto& entry : fs::directory_iterator(folder, ignored)) {
        if (testing_support::ReadAll(entry.path()) == contentBytes) ++left;
    }
    EXPECT_GT(left, 0) << "the erase ran to the end";
    fs::remove_all(L"C:\\tamsel-logoff", ignored);
}

}  // namespace
