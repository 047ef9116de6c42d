// Tamsel as a user starts and ends it: one hidden window per user, the files it shares with
// the other programs while it runs, a second start handing over, and the exit command.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "ArdexRunner.h"
#include "GuiDriver.h"
#include "TamselSession.h"
#include "TestFiles.h"
#include "tamsel/engine/MonitorRecords.h"
#include "tamsel/engine/Settings.h"

namespace {

namespace fs = std::filesystem;
using namespace tamsel_test;

constexpr UINT kExit = 201;
constexpr UINT kTrayCallback = WM_APP + 100;

const fs::path kWatched = L"C:\\tamsel-watch";
constexpr char16_t kFolderPassword[] = u"pw";

// The settings as a user left them: one watched folder, no compression.
void SaveOneWatchedFolder() {
    MONITOR_ITEM item{};
    const std::u16string path = kWatched.u16string();
    std::copy(path.begin(), path.end(), item.szPath);
    std::copy_n(kFolderPassword, 2, item.szPassword);
    ASSERT_EQ(SaveSettings({item}), 1);
}

void RemoveSettings() {
    std::u16string path;
    std::error_code ignored;
    if (GetSettingPath(path) == 1) fs::remove(fs::path(path), ignored);
}

// A running first instance, watching one folder, with its hidden window found.
class TamselRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(TamselWindow(), nullptr) << "a Tamsel from an earlier case still runs";
        std::error_code ignored;
        fs::remove_all(kWatched, ignored);
        fs::create_directories(kWatched);
        SaveOneWatchedFolder();
        ASSERT_TRUE(m_first.Start(TamselCommandLine()));
        ASSERT_TRUE(gui::WaitUntil([&] { return (m_window = TamselWindow()) != nullptr; }));
        ASSERT_TRUE(gui::WaitUntil([] { return fs::exists(TempFile(L"DIDI")); }));
    }

    void TearDown() override {
        if (m_first.Running()) PostMessageW(TamselWindow(), WM_COMMAND, kExit, 0);
        if (!m_first.WaitForExit()) m_first.Kill();
        RemoveSettings();
        std::error_code ignored;
        fs::remove_all(kWatched, ignored);
    }

    gui::Process m_first;
    HWND m_window = nullptr;
};

TEST_F(TamselRun, StartsHiddenWithItsSharedFiles) {
    DWORD owner = 0;
    GetWindowThreadProcessId(m_window, &owner);
    EXPECT_EQ(owner, m_first.Id());
    EXPECT_FALSE(IsWindowVisible(m_window));
    wchar_t title[32] = {};
    GetWindowTextW(m_window, title, 32);
    EXPECT_STREQ(title, L"WindowName");
    EXPECT_EQ(fs::file_size(TempFile(L"EIEI")), sizeof(WATCH_RECORD));
    EXPECT_EQ(fs::file_size(TempFile(L"DIDI")), 0u);
}

// The one-second timer's passes: a dropped file is an image about two seconds later (the
// bound allows for a loaded machine), and Ardex gives the file back from it.
TEST_F(TamselRun, TimerPassesEncryptADroppedFileThatArdexRestores) {
    const fs::path dropped = kWatched / "note.txt";
    const fs::path image = dropped.wstring() + L".chy";
    const std::string text = "dropped into a watched folder";
    const auto droppedAt = std::chrono::steady_clock::now();
    testing_support::WriteAll(dropped, text);
    ASSERT_TRUE(gui::WaitForFile(image));
    ASSERT_TRUE(gui::WaitUntil([&] { return !fs::exists(dropped); }));
    EXPECT_LT(std::chrono::steady_clock::now() - droppedAt, std::chrono::seconds(5));

    const fs::path target = L"C:\\tamsel-restored";
    std::error_code ignored;
    fs::remove_all(target, ignored);
    const ardex_test::RunResult run = ardex_test::RunArdexProcess(
        {u"-I" + image.u16string(), u"-D" + target.u16string(), u"-P" + std::u16string(kFolderPassword)});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    // "-D target" puts a file at the target plus its path without the drive.
    const auto restored = testing_support::ReadAll(target / dropped.wstring().substr(3));
    EXPECT_EQ(std::string(restored.begin(), restored.end()), text);
    fs::remove_all(target, ignored);
}

TEST_F(TamselRun, SecondStartHandsOverAndLeavesTheFilesOfTheFirst) {
    gui::Process second;
    ASSERT_TRUE(second.Start(TamselCommandLine()));
    EXPECT_TRUE(second.WaitForExit());
    EXPECT_TRUE(m_first.Running());
    EXPECT_EQ(TamselWindow(), m_window);
    EXPECT_TRUE(fs::exists(TempFile(L"EIEI")));
    EXPECT_TRUE(fs::exists(TempFile(L"DIDI")));
    // The handed-over command opens the first instance's settings.
    HWND sheet = gui::WaitForWindow(m_first.Id(), L"設定", L"#32770");
    ASSERT_NE(sheet, nullptr);
    gui::Click(sheet, IDCANCEL);
    EXPECT_TRUE(gui::WaitForWindowGone(sheet));
    EXPECT_TRUE(m_first.Running());
}

TEST_F(TamselRun, ExitCommandEndsTheProcessAndDeletesTheSharedFiles) {
    ASSERT_TRUE(PostMessageW(m_window, WM_COMMAND, kExit, 0));
    ASSERT_TRUE(m_first.WaitForExit());
    EXPECT_EQ(m_first.ExitCode(), 0u);
    EXPECT_EQ(TamselWindow(), nullptr);
    EXPECT_FALSE(fs::exists(TempFile(L"EIEI")));
    EXPECT_FALSE(fs::exists(TempFile(L"DIDI")));
}

TEST_F(TamselRun, ExitWithTheSettingsOpenStillEndsCleanly) {
    ASSERT_TRUE(PostMessageW(m_window, kTrayCallback, 0, WM_LBUTTONDBLCLK));
    ASSERT_NE(gui::WaitForWindow(m_first.Id(), L"設定", L"#32770"), nullptr);
    ASSERT_TRUE(PostMessageW(m_window, WM_COMMAND, kExit, 0));
    ASSERT_TRUE(m_first.WaitForExit());
    EXPECT_EQ(m_first.ExitCode(), 0u);
    EXPECT_FALSE(fs::exists(TempFile(L"EIEI")));
    EXPECT_FALSE(fs::exists(TempFile(L"DIDI")));
}

TEST_F(TamselRun, RightClickOnTheIconShowsTheMenu) {
    ASSERT_TRUE(PostMessageW(m_window, kTrayCallback, 0, WM_RBUTTONDOWN));
    HWND menu = nullptr;
    ASSERT_TRUE(gui::WaitUntil([&] { return (menu = gui::FindWindowOf(m_first.Id(), L"", L"#32768")) != nullptr; }));
    EXPECT_TRUE(gui::SaveScreenshot(menu, "tamsel_207_tray_menu"));
    // Another mouse event is ignored, and the menu closes as when the user clicks elsewhere.
    EXPECT_TRUE(PostMessageW(m_window, kTrayCallback, 0, WM_MOUSEMOVE));
    SendMessageTimeoutW(m_window, WM_CANCELMODE, 0, 0, SMTO_ABORTIFHUNG, 2000, nullptr);
    EXPECT_TRUE(gui::WaitForWindowGone(menu));
    EXPECT_TRUE(m_first.Running());
}

}  // namespace
