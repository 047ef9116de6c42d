// The erase step after an encryption: the method dialog, its question, and the erase
// progress dialog.
#include <gtest/gtest.h>

#include <algorithm>

#include "CorvikSession.h"
#include "TestFiles.h"

namespace corvik_test {
namespace {

using namespace std::chrono_literals;
using testing_support::RandomBytes;
using testing_support::WriteAll;

const std::wstring kEraseQuestion = L"元データを完全に消去しますか?";
constexpr int kNsa = 3;
constexpr int kGutmann = 7;

// Encrypts source with the erase box ticked and waits for the method dialog.
HWND EncryptThenAskMethod(CorvikSession& corvik, const fs::path& source) {
    if (!corvik.Open(source)) return nullptr;
    corvik.Encrypt(L"pw", L"pw", 0, true);
    return corvik.WaitFor(kMethodCaption, 60s);
}

TEST(EraseMethod, ListsTheEightMethodsAtNsaAndNoKeepsTheDialog) {
    Workspace scratch;
    const fs::path source = scratch / "plan.doc";
    WriteAll(source, std::string("plan"));
    CorvikSession corvik;
    HWND method = EncryptThenAskMethod(corvik, source);
    ASSERT_NE(method, nullptr);
    EXPECT_TRUE(fs::exists(ImageBeside(source)));
    EXPECT_TRUE(gui::SaveScreenshot(method, "corvik_134_erase_method"));

    const wchar_t* names[] = {L"0を1回書き込み", L"1を1回書き込み", L"乱数書き込み", L"NSA 方式",
                              L"旧NSA 方式",     L"DoD 標準",       L"NATO 方式",    L"Gutmann 方式"};
    ASSERT_EQ(gui::ComboCount(method, kMethodList), 8);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(gui::ComboItemText(method, kMethodList, k), names[k]) << k;
        EXPECT_EQ(gui::ComboItemData(method, kMethodList, k), k);
    }
    EXPECT_EQ(gui::ComboSelection(method, kMethodList), kNsa);

    // Enter does nothing; No to the question keeps the dialog; Cancel then erases nothing.
    gui::PressEnter(method);
    gui::Settle(method);
    EXPECT_TRUE(gui::IsShown(method));
    EXPECT_EQ(gui::FindMessageBox(corvik.Id()), nullptr);
    gui::Click(method, kErase);
    EXPECT_EQ(corvik.Answer(IDNO, "corvik_message_24_erase"), kEraseQuestion);
    gui::Settle(method);
    EXPECT_TRUE(gui::IsShown(method));
    gui::Click(method, kMethodCancel);
    EXPECT_TRUE(corvik.Ends());
    EXPECT_TRUE(fs::exists(source));
}

TEST(EraseMethod, GutmannErasesTheSourceAndTheImageStays) {
    Workspace scratch;
    const fs::path source = scratch / "plan.doc";
    WriteAll(source, RandomBytes(64 * 1024, 5));
    CorvikSession corvik;
    HWND method = EncryptThenAskMethod(corvik, source);
    ASSERT_NE(method, nullptr);
    gui::PickComboItem(method, kMethodList, kGutmann);
    gui::Click(method, kErase);
    EXPECT_EQ(corvik.Answer(IDYES), kEraseQuestion);
    ASSERT_TRUE(corvik.Ends(60s));
    EXPECT_FALSE(fs::exists(source));
    const fs::path image = ImageBeside(source);
    EXPECT_EQ(ReadHeader(image, u"pw").version, 768);
    EXPECT_FALSE(fs::exists(TableBeside(image)));
}

struct StopCase {
    const char* name;
    bool escape;  // else the Cancel button
};

class EraseStop : public ::testing::TestWithParam<StopCase> {};

// Enter does nothing; Cancel (or Escape, which acts as Cancel) stops the erase after the
// file in hand, which goes without further passes.
TEST_P(EraseStop, StopsAfterTheCurrentPath) {
    Workspace scratch;
    const fs::path source = scratch / "large.bin";
    WriteAll(source, RandomBytes(48u << 20, 9));
    CorvikSession corvik;
    HWND method = EncryptThenAskMethod(corvik, source);
    ASSERT_NE(method, nullptr);
    gui::PickComboItem(method, kMethodList, kGutmann);
    gui::Click(method, kErase);
    EXPECT_EQ(corvik.Answer(IDYES), kEraseQuestion);
    HWND progress = corvik.WaitFor(kEraseCaption);
    ASSERT_NE(progress, nullptr);
    EXPECT_FALSE(gui::IsShown(method));
    gui::WaitUntil([&] { return gui::ProgressPosition(progress, kEraseBar) > 0; }, 5s);
    if (!GetParam().escape) {
        EXPECT_TRUE(gui::SaveScreenshot(progress, "corvik_133_erase_progress"));
    }
    gui::PressEnter(progress);
    gui::Settle(progress);
    ASSERT_TRUE(gui::IsShown(progress));
    if (GetParam().escape) {
        gui::PressEscape(progress);
    } else {
        gui::Click(progress, kEraseCancel);
    }
    // Had the passes gone on, the bar would be seen reaching the end before the dialog goes.
    int highest = 0;
    EXPECT_TRUE(gui::WaitUntil([&] {
        if (!gui::IsShown(progress)) return true;
        highest = std::max(highest, gui::ProgressPosition(progress, kEraseBar));
        return false;
    }));
    EXPECT_LT(highest, 90);
    EXPECT_TRUE(corvik.Ends());
    EXPECT_FALSE(fs::exists(source));
    EXPECT_TRUE(fs::exists(ImageBeside(source)));
}

INSTANTIATE_TEST_SUITE_P(Ways, EraseStop, ::testing::Values(StopCase{"CancelButton", false}, StopCase{"Escape", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EraseProgress, APathThatNoLongerExistsClosesAtOnce) {
    Workspace scratch;
    const fs::path source = scratch / "plan.doc";
    WriteAll(source, std::string("plan"));
    CorvikSession corvik;
    HWND method = EncryptThenAskMethod(corvik, source);
    ASSERT_NE(method, nullptr);
    fs::remove(source);
    gui::Click(method, kErase);
    EXPECT_EQ(corvik.Answer(IDYES), kEraseQuestion);
    EXPECT_TRUE(corvik.Ends(2s));
    EXPECT_TRUE(fs::exists(ImageBeside(source)));
}

}  // namespace
}  // namespace corvik_test
