// The driver against a small dialog of its own: each action must reach the program and
// each reading must give back what the program holds, before the driver is trusted with
// the real programs.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "GuiDriver.h"
#include "TestFiles.h"

namespace fs = std::filesystem;
using testing_support::ScratchDir;

namespace {

const std::wstring kCaption = L"ドライバ試験";

std::wstring FixturePath() { return gui::BuiltPath(GUI_FIXTURE_PATH).wstring(); }

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_process.Start(FixturePath() + L" " + Result().wstring()));
        m_dialog = gui::WaitForWindow(m_process.Id(), kCaption, L"#32770");
        ASSERT_NE(m_dialog, nullptr);
    }
    fs::path Result() const { return m_scratch / "result.txt"; }

    ScratchDir m_scratch;
    gui::Process m_process;
    HWND m_dialog = nullptr;
};

TEST_F(DriverTest, ActionsReachTheDialogAndTheAnswerReachesTheFile) {
    EXPECT_EQ(gui::ComboSelection(m_dialog, 12), 1);
    EXPECT_EQ(gui::ComboItemText(m_dialog, 12, 2), L"三");
    EXPECT_EQ(gui::ComboItemData(m_dialog, 12, 2), 30);
    gui::TypeText(m_dialog, 10, L"日本語 text");
    EXPECT_EQ(gui::ControlText(m_dialog, 10), L"日本語 text");
    gui::PickComboItem(m_dialog, 12, 2);
    SYSTEMTIME date{};
    date.wYear = 2031;
    date.wMonth = 3;
    date.wDay = 15;
    ASSERT_TRUE(gui::SetPickerDate(m_dialog, 13, date));
    SYSTEMTIME shown{};
    ASSERT_TRUE(gui::GetPickerDate(m_dialog, 13, shown));
    EXPECT_EQ(shown.wYear * 10000 + shown.wMonth * 100 + shown.wDay, 20310315);

    gui::Click(m_dialog, 14);
    HWND box = gui::WaitForMessageBox(m_process.Id());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(gui::MessageBoxText(box), L"日本語 text");
    EXPECT_EQ(gui::WindowCaption(box), kCaption);
    EXPECT_EQ(gui::FindMessageBox(m_process.Id()), box) << "the dialog itself is not a message box";
    const fs::path picture = m_scratch / "box.png";
    ASSERT_TRUE(gui::SaveScreenshotTo(box, picture));
    EXPECT_EQ(ReadText(picture).substr(1, 3), "PNG");
    ASSERT_TRUE(gui::AnswerMessageBox(box, IDYES));
    ASSERT_TRUE(gui::WaitForFile(Result()));
    EXPECT_TRUE(gui::WaitUntil([&] { return ReadText(Result()) == "日本語 text|30|2031-03-15"; }))
        << ReadText(Result());
}

TEST_F(DriverTest, ACheckBoxClickRunsTheProgramsHandler) {
    ASSERT_TRUE(gui::ControlEnabled(m_dialog, 10));
    gui::SetCheck(m_dialog, 11, false);
    EXPECT_TRUE(gui::WaitUntil([&] { return !gui::ControlEnabled(m_dialog, 10); }));
    EXPECT_FALSE(gui::Checked(m_dialog, 11));
}

TEST_F(DriverTest, EnterAndEscapeEndTheDialogWithTheirCommands) {
    const struct {
        WORD key;
        DWORD exitCode;
    } cases[] = {{VK_RETURN, IDOK}, {VK_ESCAPE, IDCANCEL}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        gui::Process process;
        ASSERT_TRUE(process.Start(FixturePath() + L" " + Result().wstring()));
        HWND dialog = gui::WaitForWindow(process.Id(), kCaption, L"#32770");
        ASSERT_NE(dialog, nullptr);
        gui::PressKey(dialog, c.key);
        ASSERT_TRUE(process.WaitForExit());
        EXPECT_EQ(process.ExitCode(), c.exitCode);
    }
}

}  // namespace
