// The encryption dialog, its options dialog and the progress dialog, driven as a user
// would; the images they leave are read back with the core and restored with Ardex.
#include <gtest/gtest.h>

#include <ctime>

#include "CorvikSession.h"
#include "TestFiles.h"

namespace corvik_test {
namespace {

using testing_support::RandomBytes;
using testing_support::ReadAll;
using testing_support::WriteAll;

const std::wstring kMismatch = L"パスワードが一致しません";
const std::wstring kNoPassword = L"パスワードは必ず設定してください。";
const std::wstring kTooLong = L"パスワードが長過ぎます。";
const std::wstring kCannotOpen = L"次の保存先ファイルが開けません: ";
const std::wstring kImageFailed = L"イメージの作成に失敗しました。";
const std::wstring kRange = L"Enter an integer between 1 and 10000.";
const std::wstring kPositive = L"Enter a positive integer.";
const std::wstring kInteger = L"Enter an integer.";

// The seven controls the enable box switches.
constexpr int kOptionControls[] = {kExpiryEnabled, kExpiryDate, kLimitEnabled, kLimitCount,
                                   kLimitSpin,     kErrorsEnabled, kErrorCount};

int LocalDate(int64_t seconds) {
    const __time64_t time = seconds;
    tm local{};
    _localtime64_s(&local, &time);
    return (local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday;
}

int LocalTimeOfDay(int64_t seconds) {
    const __time64_t time = seconds;
    tm local{};
    _localtime64_s(&local, &time);
    return local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
}

int PickerDate(HWND options) {
    SYSTEMTIME date{};
    if (!gui::GetPickerDate(options, kExpiryDate, date)) return 0;
    return date.wYear * 10000 + date.wMonth * 100 + date.wDay;
}

int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

// Opens the options dialog from the encryption dialog.
HWND OpenOptions(CorvikSession& corvik) {
    gui::Click(corvik.Main(), kOptions);
    return corvik.WaitFor(kOptionsCaption);
}

// Closes a dialog with a button and waits until it is gone.
bool CloseWith(HWND dialog, int button) {
    gui::Click(dialog, button);
    return gui::WaitForWindowGone(dialog);
}

// ---------------------------------------------------------------------------------------
// The encryption dialog

TEST(EncryptDialog, StartsWithNothingTypedAndSpeedFirstCompression) {
    Workspace scratch;
    WriteAll(scratch / "plan.doc", std::string("plan"));
    CorvikSession corvik;
    ASSERT_TRUE(corvik.Open(scratch / "plan.doc"));
    EXPECT_TRUE(gui::SaveScreenshot(corvik.Main(), "corvik_132_encrypt"));
    EXPECT_FALSE(gui::Checked(corvik.Main(), kEraseAfter));
    EXPECT_FALSE(gui::Checked(corvik.Main(), kFirstLevel));
    EXPECT_TRUE(gui::Checked(corvik.Main(), kFirstLevel + 1));
    EXPECT_FALSE(gui::Checked(corvik.Main(), kFirstLevel + 2));
    gui::Click(corvik.Main(), kCancel);
    EXPECT_TRUE(corvik.Ends());
    EXPECT_FALSE(fs::exists(scratch / "plan.chy"));
}

struct RefusalCase {
    const char* name;
    std::wstring password;
    std::wstring confirm;
    const char* source;
    // The folder made where the image would go, if any.
    const char* folderAtImage;
    std::wstring message;  // kCannotOpen is followed by the image path
    const char* screenshot;
};

class EncryptRefusal : public ::testing::TestWithParam<RefusalCase> {};

// The first failing check is reported; the dialog stays with what was typed, so Encrypt
// again gives the same message; nothing is written.
TEST_P(EncryptRefusal, ShowsTheMessageAndKeepsTheDialogWithItsEntries) {
    const RefusalCase& c = GetParam();
    Workspace scratch;
    const fs::path source = scratch / c.source;
    WriteAll(source, std::string("source"));
    if (*c.folderAtImage) fs::create_directories(scratch / c.folderAtImage);
    const std::wstring expected = c.message == kCannotOpen ? c.message + Win(ImageBeside(source)) : c.message;

    CorvikSession corvik;
    ASSERT_TRUE(corvik.Open(source));
    corvik.Encrypt(c.password, c.confirm);
    EXPECT_EQ(corvik.Answer(IDOK, c.screenshot), expected);
    ASSERT_TRUE(gui::IsShown(corvik.Main()));
    gui::Click(corvik.Main(), kEncrypt);
    EXPECT_EQ(corvik.Answer(IDOK), expected);
    ASSERT_TRUE(gui::IsShown(corvik.Main()));
    gui::Click(corvik.Main(), kCancel);
    EXPECT_TRUE(corvik.Ends());
    EXPECT_EQ(ReadAll(source), std::vector<uint8_t>({'s', 'o', 'u', 'r', 'c', 'e'}));
    const fs::path image = ImageBeside(source);
    if (!(fs::exists(image) && fs::equivalent(image, source))) {
        EXPECT_FALSE(fs::is_regular_file(image));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Checks, EncryptRefusal,
    ::testing::Values(
        RefusalCase{"PasswordsDiffer", L"abc", L"ABC", "plan.doc", "", kMismatch, "corvik_message_2_mismatch"},
        RefusalCase{"BothEmpty", L"", L"", "plan.doc", "", kNoPassword, "corvik_message_6_no_password"},
        RefusalCase{"EmptyPasswordWithConfirmation", L"", L"x", "plan.doc", "", kMismatch, ""},
        RefusalCase{"SixtyOneCharacters", std::wstring(61, L'p'), std::wstring(61, L'p'), "plan.doc", "", kTooLong,
                    "corvik_message_18_too_long"},
        RefusalCase{"ImagePathIsAFolder", L"pw", L"pw", "plan.doc", "plan.chy", kCannotOpen,
                    "corvik_message_5_cannot_open"},
        // data.CHY is offered (the image test is exact) but its image path names itself.
        RefusalCase{"ImagePathIsTheSource", L"pw", L"pw", "data.CHY", "", kCannotOpen, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EncryptDialog, EnterDoesNothingAndEscapeEndsWithoutAnImage) {
    Workspace scratch;
    const fs::path source = scratch / "plan.doc";
    WriteAll(source, std::string("plan"));
    CorvikSession corvik;
    ASSERT_TRUE(corvik.Open(source));
    gui::TypeText(corvik.Main(), kPassword, L"pw");
    gui::TypeText(corvik.Main(), kConfirm, L"pw");
    gui::PressEnter(corvik.Main());
    gui::Settle(corvik.Main());
    EXPECT_TRUE(gui::IsShown(corvik.Main()));
    EXPECT_EQ(gui::FindWindowOf(corvik.Id(), kProgressCaption), nullptr);
    gui::PressEscape(corvik.Main());
    EXPECT_TRUE(corvik.Ends());
    EXPECT_FALSE(fs::exists(ImageBeside(source)));
}

// ---------------------------------------------------------------------------------------
// Whole runs

struct RunCase {
    const char* name;
    const char* source;
    bool folder;
    const char* image;
    int level;
    std::wstring password;
};

class EncryptRun : public ::testing::TestWithParam<RunCase> {};

// The image lands beside the source, the progress dialog closes by itself, and Ardex
// gives the source back byte for byte.
TEST_P(EncryptRun, WritesTheImageBesideTheSourceAndArdexRestoresIt) {
    const RunCase& c = GetParam();
    Workspace scratch;
    const fs::path source = scratch / c.source;
    if (c.folder) {
        fs::create_directories(source / "nested");
        WriteAll(source / "first.txt", std::string("first"));
        WriteAll(source / "nested" / "second.bin", RandomBytes(200000, 7));
        WriteAll(source / "nested" / "empty.txt", std::string());
    } else {
        WriteAll(source, RandomBytes(150000, 3));
    }
    CorvikSession corvik;
    ASSERT_TRUE(corvik.Open(source));
    corvik.Encrypt(c.password, c.password, c.level);
    ASSERT_TRUE(corvik.Ends());

    const fs::path image = scratch / c.image;
    ASSERT_EQ(fs::path(ImageBeside(source)), image);
    ASSERT_TRUE(fs::is_regular_file(image));
    EXPECT_FALSE(fs::exists(TableBeside(image)));
    const std::u16string password(c.password.begin(), c.password.end());
    EXPECT_EQ(ReadHeader(image, password).compressLevel, static_cast<uint32_t>(c.level));
    EXPECT_TRUE(SameContent(source, RestoreWithArdex(image, password, scratch / "restored", source)));
}

INSTANTIATE_TEST_SUITE_P(
    ImagePaths, EncryptRun,
    ::testing::Values(RunCase{"ThreeLetterExtension", "plan.doc", false, "plan.chy", 0, L"secret"},
                      RunCase{"FourLetterExtension", "plan.docx", false, "plan.docx.chy", 1, L"secret"},
                      RunCase{"OneLetterExtension", "a.b", false, "a.b.chy", 2, L"secret"},
                      RunCase{"Folder", "Photos", true, "Photos.chy", 1, L"secret"},
                      RunCase{"FolderWithExtension", "set.old", true, "set.chy", 2, L"secret"},
                      RunCase{"SixtyCharacterPassword", "long.txt", false, "long.chy", 1, std::wstring(60, L'k')}),
    [](const auto& info) { return std::string(info.param.name); });

enum class Stop { CancelButton, Escape, CloseBox };

struct StopCase {
    const char* name;
    Stop how;
};

class EncryptStop : public ::testing::TestWithParam<StopCase> {};

// Mid-file, Enter does nothing; Cancel, Escape or the close box stop the job, no message
// follows and neither the image nor its table file remains.
TEST_P(EncryptStop, LeavesNeitherImageNorTable) {
    Workspace scratch;
    const fs::path source = scratch / "large.bin";
    WriteAll(source, RandomBytes(48u << 20, 11));
    CorvikSession corvik;
    ASSERT_TRUE(corvik.Open(source));
    corvik.Encrypt(L"pw", L"pw", 2);
    HWND progress = corvik.WaitFor(kProgressCaption);
    ASSERT_NE(progress, nullptr);
    EXPECT_FALSE(gui::IsShown(corvik.Main()));
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::ProgressPosition(progress, kProgressBar) > 0; }));
    if (GetParam().how == Stop::CancelButton) {
        EXPECT_TRUE(gui::SaveScreenshot(progress, "corvik_130_progress"));
    }
    gui::PressEnter(progress);
    gui::Settle(progress);
    ASSERT_TRUE(gui::IsShown(progress));
    switch (GetParam().how) {
    case Stop::CancelButton:
        gui::Click(progress, kProgressCancel);
        break;
    case Stop::Escape:
        gui::PressEscape(progress);
        break;
    case Stop::CloseBox:
        gui::PressCloseBox(progress);
        break;
    }
    EXPECT_TRUE(corvik.Ends());
    EXPECT_FALSE(fs::exists(ImageBeside(source)));
    EXPECT_FALSE(fs::exists(TableBeside(ImageBeside(source))));
    EXPECT_EQ(fs::file_size(source), 48u << 20);
}

INSTANTIATE_TEST_SUITE_P(Ways, EncryptStop,
                         ::testing::Values(StopCase{"CancelButton", Stop::CancelButton}, StopCase{"Escape", Stop::Escape},
                                           StopCase{"CloseBox", Stop::CloseBox}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EncryptRunMessages, OverwriteAnsweredNoFailsAndKeepsTheOldImage) {
    Workspace scratch;
    const fs::path source = scratch / "report.txt";
    const fs::path image = scratch / "report.chy";
    WriteAll(source, std::string("new content"));
    const std::string old = "the old image";
    WriteAll(image, old);
    CorvikSession corvik;
    ASSERT_TRUE(corvik.Open(source));
    corvik.Encrypt(L"pw", L"pw", 1, true);
    EXPECT_EQ(corvik.Answer(IDNO, "corvik_message_7_overwrite"),
              Win(image) + L" は既に存在します。既存ファイルを上書きしますか?");
    EXPECT_EQ(corvik.Answer(IDOK, "corvik_message_19_image_failed"), kImageFailed);
    // A failed job is never followed by the erase, though it was asked for.
    EXPECT_TRUE(corvik.Ends());
    EXPECT_EQ(ReadAll(image), std::vector<uint8_t>(old.begin(), old.end()));
    EXPECT_FALSE(fs::exists(TableBeside(image)));
    EXPECT_TRUE(fs::exists(source));
}

TEST(EncryptRunMessages, AnUnreadableSourceIsReportedAndNoImageRemains) {
    Workspace scratch;
    const fs::path source = scratch / "locked.txt";
    WriteAll(source, std::string("locked"));
    CorvikSession corvik;
    ASSERT_TRUE(corvik.Open(source));
    HANDLE lock = CreateFileW(Win(source).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    corvik.Encrypt(L"pw", L"pw");
    EXPECT_EQ(corvik.Answer(IDOK, "corvik_message_20_source_failed"), L"暗号化ファイル " + Win(source) + L" エラー");
    EXPECT_TRUE(corvik.Ends());
    CloseHandle(lock);
    EXPECT_FALSE(fs::exists(ImageBeside(source)));
    EXPECT_FALSE(fs::exists(TableBeside(ImageBeside(source))));
}

// ---------------------------------------------------------------------------------------
// The options dialog

TEST(EncryptOptions, StartFromTheDefaultsAndTheEnableBoxSwitchesTheSevenControls) {
    Workspace scratch;
    WriteAll(scratch / "plan.doc", std::string("plan"));
    const int64_t started = Now();
    CorvikSession corvik;
    ASSERT_TRUE(corvik.Open(scratch / "plan.doc"));
    HWND options = OpenOptions(corvik);
    ASSERT_NE(options, nullptr);
    EXPECT_TRUE(gui::SaveScreenshot(options, "corvik_135_options"));
    EXPECT_FALSE(gui::Checked(options, kOptionsEnabled));
    EXPECT_EQ(gui::ControlText(options, kLimitCount), L"1");
    EXPECT_EQ(gui::ControlText(options, kErrorCount), L"3");
    const int shown = PickerDate(options);
    EXPECT_TRUE(shown == LocalDate(started + 31536000) || shown == LocalDate(Now() + 31536000)) << shown;

    const struct {
        bool enable;
    } steps[] = {{false}, {true}, {false}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.enable ? "enabled" : "cleared");
        gui::SetCheck(options, kOptionsEnabled, step.enable);
        gui::Settle(options);
        for (int id : kOptionControls) {
            EXPECT_EQ(gui::ControlEnabled(options, id), step.enable) << "control " << id;
        }
    }
    EXPECT_TRUE(CloseWith(options, IDCANCEL));
    gui::Click(corvik.Main(), kCancel);
    EXPECT_TRUE(corvik.Ends());
}

struct BadNumberCase {
    const char* name;
    std::wstring count;
    std::wstring errors;
    std::wstring message;
    const char* screenshot;
};

class EncryptOptionsBadNumber : public ::testing::TestWithParam<BadNumberCase> {};

TEST_P(EncryptOptionsBadNumber, IsRefusedAndTheDialogStays) {
    const BadNumberCase& c = GetParam();
    Workspace scratch;
    WriteAll(scratch / "plan.doc", std::string("plan"));
    CorvikSession corvik;
    ASSERT_TRUE(corvik.Open(scratch / "plan.doc"));
    HWND options = OpenOptions(corvik);
    ASSERT_NE(options, nullptr);
    gui::SetCheck(options, kOptionsEnabled, true);
    gui::TypeText(options, kLimitCount, c.count);
    gui::TypeText(options, kErrorCount, c.errors);
    gui::Click(options, IDOK);
    HWND box = gui::WaitForMessageBox(corvik.Id());
    ASSERT_NE(box, nullptr);
    if (*c.screenshot) {
        EXPECT_TRUE(gui::SaveScreenshot(box, c.screenshot));
    }
    EXPECT_EQ(gui::MessageBoxText(box), c.message);
    ASSERT_TRUE(gui::AnswerMessageBox(box, IDOK));
    gui::Settle(options);
    EXPECT_TRUE(gui::IsShown(options));
    EXPECT_TRUE(CloseWith(options, IDCANCEL));
    gui::Click(corvik.Main(), kCancel);
    EXPECT_TRUE(corvik.Ends());
}

INSTANTIATE_TEST_SUITE_P(
    Values, EncryptOptionsBadNumber,
    ::testing::Values(BadNumberCase{"CountZero", L"0", L"3", kRange, "corvik_options_range"},
                      BadNumberCase{"CountAboveRange", L"10001", L"3", kRange, ""},
                      BadNumberCase{"CountNotANumber", L"abc", L"3", kPositive, "corvik_options_positive"},
                      BadNumberCase{"ErrorsNotANumber", L"5", L"x", kInteger, "corvik_options_integer"}),
    [](const auto& info) { return std::string(info.param.name); });

struct OptionsCase {
    const char* name;
    int closeButton;      // IDOK or IDCANCEL
    bool enabledAtClose;  // the enable box when the dialog is closed
};

class EncryptOptionsToImage : public ::testing::TestWithParam<OptionsCase> {};

// Values set and confirmed reach the image (even from disabled controls); Cancel leaves
// the defaults of program start.
TEST_P(EncryptOptionsToImage, TheImageCarriesWhatWasConfirmed) {
    const OptionsCase& c = GetParam();
    Workspace scratch;
    const fs::path source = scratch / "plan.doc";
    WriteAll(source, std::string("plan"));
    const int64_t started = Now();
    CorvikSession corvik;
    ASSERT_TRUE(corvik.Open(source));
    HWND options = OpenOptions(corvik);
    ASSERT_NE(options, nullptr);
    gui::SetCheck(options, kOptionsEnabled, true);
    gui::SetCheck(options, kExpiryEnabled, true);
    gui::SetCheck(options, kLimitEnabled, true);
    gui::SetCheck(options, kErrorsEnabled, true);
    SYSTEMTIME date{};
    date.wYear = 2031;
    date.wMonth = 3;
    date.wDay = 15;
    ASSERT_TRUE(gui::SetPickerDate(options, kExpiryDate, date));
    gui::TypeText(options, kLimitCount, L"7");
    gui::TypeText(options, kErrorCount, L"5");
    if (!c.enabledAtClose) gui::SetCheck(options, kOptionsEnabled, false);
    ASSERT_TRUE(CloseWith(options, c.closeButton));

    // Opened again, the dialog shows what the job now holds.
    const bool kept = c.closeButton == IDOK;
    options = OpenOptions(corvik);
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(gui::Checked(options, kOptionsEnabled), kept && c.enabledAtClose);
    EXPECT_EQ(gui::ControlText(options, kLimitCount), kept ? L"7" : L"1");
    EXPECT_EQ(gui::ControlText(options, kErrorCount), kept ? L"5" : L"3");
    ASSERT_TRUE(CloseWith(options, IDCANCEL));

    corvik.Encrypt(L"pw", L"pw", 0);
    ASSERT_TRUE(corvik.Ends());
    const HeaderFields header = ReadHeader(ImageBeside(source), u"pw");
    ASSERT_EQ(header.version, 768);
    // The record is packed: each field is copied before it is compared.
    const ImageOptions& o = header.options;
    EXPECT_EQ(int{o.optionsEnabled}, kept && c.enabledAtClose ? 1 : 0);
    EXPECT_EQ(int{o.expiryEnabled}, kept ? 1 : 0);
    EXPECT_EQ(int{o.decryptLimitEnabled}, kept ? 1 : 0);
    EXPECT_EQ(int{o.errorLimitEnabled}, kept ? 1 : 0);
    EXPECT_EQ(uint32_t{o.decryptLimit}, kept ? 7u : 1u);
    EXPECT_EQ(uint32_t{o.maxErrorCount}, kept ? 5u : 3u);
    EXPECT_EQ(uint32_t{o.decryptCount}, 0u);
    EXPECT_EQ(uint32_t{o.errorCount}, 0u);
    const int64_t issued = o.issuedTime;
    EXPECT_GE(issued, started - 2);
    EXPECT_LE(issued, Now() + 2);
    const int64_t expiry = o.expiryTime;
    if (kept) {
        EXPECT_EQ(LocalDate(expiry), 20310315);
        // The date picker changes the day only; the time of day stays that of program start.
        EXPECT_EQ(LocalTimeOfDay(expiry), LocalTimeOfDay(issued));
    } else {
        EXPECT_EQ(expiry, issued + 31536000);
    }
}

INSTANTIATE_TEST_SUITE_P(Closes, EncryptOptionsToImage,
                         ::testing::Values(OptionsCase{"Ok", IDOK, true}, OptionsCase{"OkWhileDisabled", IDOK, false},
                                           OptionsCase{"Cancel", IDCANCEL, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvik_test
