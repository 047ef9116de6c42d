// Tamsel's settings as a user drives them: the sheet from the tray, the checks of a new
// folder, the rules against the folders already listed, the first encryption, and the
// release with or without decrypting. One Tamsel runs for the whole suite; each case works
// in its own folders and reads back the settings file and the watch list it leaves.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <type_traits>
#include <vector>

#include "GuiDriver.h"
#include "TamselSession.h"
#include "TestFiles.h"
#include "core/ImageWriter.h"
#include "tamsel/engine/MonitorRecords.h"
#include "tamsel/engine/Settings.h"

namespace {

namespace fs = std::filesystem;
using namespace tamsel_test;
using namespace std::chrono_literals;

// Long enough to encrypt or restore a folder's few files on a loaded machine.
constexpr gui::Duration kJobTimeout = 60s;

constexpr UINT kTrayCallback = WM_APP + 100;
constexpr UINT kExit = 201;
constexpr int kApplyButton = 0x3021;
constexpr int kHelpButton = 9;

// Controls of the page, the add dialog and the release dialog.
constexpr int kList = 261, kAdd = 1200, kRelease = 1201;
constexpr int kPath = 1281, kPassword = 1282, kBrowse = 1283, kAddOk = 1284, kConfirm = 1285, kLevelNone = 1286;
constexpr int kAlwaysConfirm = 1296, kLimitRetry = 1297, kRetryLimit = 1298;
constexpr int kReleaseFolder = 1289, kDecryptAll = 1290, kReleasePassword = 1291;

const std::wstring kSheetCaption = L"設定";
const std::wstring kPageCaption = L"自動暗号化フォルダ";
const std::wstring kAddCaption = L"自動的に暗号化するフォルダを指定してください";
const std::wstring kReleaseCaption = L"自動暗号化フォルダの解除";
const std::wstring kMessageCaption = L"自動暗号化モニタ";
const std::wstring kInvalidPath = L"不正なパス";
const std::wstring kWrongPassword = L"不正なパスワード";
const std::wstring kTooLong = L"パスワードが長過ぎます。";
const std::wstring kDiffer = L"パスワードが一致しません";
const std::wstring kEncryptNow = L"新規に設定したフォルダを暗号化しますか?";

std::wstring SpecialMessage(const std::wstring& path) {
    return L"スペシャルフォルダ " + path + L" は、自動暗号化フォルダには出来ません。";
}

std::wstring ListedMessage(const std::wstring& path, const std::wstring& holder) {
    return L"フォルダ " + path + L" は、既に自動暗号化フォルダ " + holder + L" に含まれています。";
}

const fs::path kRoot = L"C:\\tamsel-settings";

fs::path SettingsFile() {
    std::u16string path;
    return GetSettingPath(path) == 1 ? fs::path(path) : fs::path();
}

std::u16string U16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

std::vector<WATCH_RECORD> ReadWatchList() {
    // Written with the first folder watched.
    if (!fs::exists(TempFile(L"EIEI"))) return {};
    const std::vector<uint8_t> bytes = testing_support::ReadAll(TempFile(L"EIEI"));
    std::vector<WATCH_RECORD> records(bytes.size() / sizeof(WATCH_RECORD));
    if (!records.empty()) std::memcpy(records.data(), bytes.data(), records.size() * sizeof(WATCH_RECORD));
    EXPECT_EQ(bytes.size() % sizeof(WATCH_RECORD), 0u);
    return records;
}

// The settings file as it lies on disk: a header of the current layout, then the items.
std::vector<MONITOR_ITEM> ReadSettingsFile() {
    // Written with the first folder added.
    if (!fs::exists(SettingsFile())) return {};
    const std::vector<uint8_t> bytes = testing_support::ReadAll(SettingsFile());
    MONITOR_SETTING_HEADER header{};
    if (bytes.size() < sizeof header) {
        ADD_FAILURE() << "settings file of " << bytes.size() << " bytes";
        return {};
    }
    std::memcpy(&header, bytes.data(), sizeof header);
    EXPECT_EQ(header.dwVersion, kSettingVersion);
    EXPECT_EQ(header.dwHeaderSize, sizeof header);
    EXPECT_TRUE(ItemText(header.szMagic, 260) == kSettingMagic);
    EXPECT_EQ(bytes.size(), sizeof header + header.dwCount * sizeof(MONITOR_ITEM));
    std::vector<MONITOR_ITEM> items(header.dwCount);
    if (!items.empty() && bytes.size() == sizeof header + items.size() * sizeof(MONITOR_ITEM)) {
        std::memcpy(items.data(), bytes.data() + sizeof header, items.size() * sizeof(MONITOR_ITEM));
    }
    return items;
}

bool UnderFolder(const std::u16string& path, const fs::path& folder) {
    const std::u16string prefix = folder.u16string() + u"\\";
    return path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0;
}

// The items and records of one case's folders, in file order, as raw bytes.
std::vector<MONITOR_ITEM> ItemsUnder(const fs::path& folder) {
    std::vector<MONITOR_ITEM> found;
    for (const MONITOR_ITEM& item : ReadSettingsFile()) {
        if (UnderFolder(ItemText(item.szPath, kFolderPathChars), folder)) found.push_back(item);
    }
    return found;
}

std::vector<WATCH_RECORD> RecordsUnder(const fs::path& folder) {
    std::vector<WATCH_RECORD> found;
    const std::string prefix = folder.string() + "\\";
    for (const WATCH_RECORD& record : ReadWatchList()) {
        if (AnsiText(record.szFolder, kAnsiPathBytes).rfind(prefix, 0) == 0) found.push_back(record);
    }
    return found;
}

template <class Record>
void ExpectSameBytes(const std::vector<Record>& actual, const std::vector<std::type_identity_t<Record>>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(std::memcmp(&actual[i], &expected[i], sizeof(Record)), 0) << "record " << i;
    }
}

struct Entry {
    std::wstring path;
    std::wstring password;
    std::wstring confirm;
    int level = 1;
    bool alwaysConfirm = false;
    bool limitRetry = false;
    std::wstring retryLimit = L"3";
};

Entry SimpleEntry(const fs::path& folder, const std::wstring& password = L"pw") {
    return {folder.wstring(), password, password};
}

MONITOR_ITEM ItemOf(const Entry& entry) {
    return MakeMonitorItem(U16(entry.path), U16(entry.password), static_cast<uint32_t>(entry.level),
                           entry.alwaysConfirm, entry.limitRetry, static_cast<uint32_t>(std::stoi(entry.retryLimit)));
}

class TamselSettings : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::error_code ignored;
        fs::remove(SettingsFile(), ignored);
        fs::remove_all(kRoot, ignored);
        fs::create_directories(kRoot);
        ASSERT_EQ(TamselWindow(), nullptr) << "a Tamsel from an earlier test still runs";
        s_tamsel = new gui::Process;
        ASSERT_TRUE(s_tamsel->Start(TamselCommandLine()));
        ASSERT_TRUE(gui::WaitUntil([] { return (s_window = TamselWindow()) != nullptr; }));
        // The journal is the last file of the start-up.
        ASSERT_TRUE(gui::WaitForFile(TempFile(L"DIDI")));
    }

    static void TearDownTestSuite() {
        if (s_tamsel != nullptr) {
            if (s_tamsel->Running()) PostMessageW(s_window, WM_COMMAND, kExit, 0);
            if (!s_tamsel->WaitForExit()) s_tamsel->Kill();
            delete s_tamsel;
            s_tamsel = nullptr;
        }
        std::error_code ignored;
        fs::remove(SettingsFile(), ignored);
        fs::remove_all(kRoot, ignored);
    }

    // Whatever a failed case left open is answered or closed, the sheet last.
    void TearDown() override {
        for (int i = 0; i < 8; ++i) {
            if (HWND box = gui::FindMessageBox(Pid())) {
                gui::AnswerMessageBox(box, IsWindow(GetDlgItem(box, IDNO)) ? IDNO : IDOK);
            } else if (HWND dialog = gui::FindWindowOf(Pid(), kAddCaption)) {
                gui::Click(dialog, IDCANCEL);
                gui::WaitForWindowGone(dialog);
            } else if (HWND release = gui::FindWindowOf(Pid(), kReleaseCaption)) {
                gui::Click(release, IDCANCEL);
                gui::WaitForWindowGone(release);
            } else if (HWND sheet = gui::FindWindowOf(Pid(), kSheetCaption)) {
                gui::Click(sheet, IDCANCEL);
                gui::WaitForWindowGone(sheet);
            } else {
                break;
            }
        }
    }

    static DWORD Pid() { return s_tamsel->Id(); }

    // A double click on the tray icon, as the shell reports it.
    static HWND DoubleClickIcon() {
        PostMessageW(s_window, kTrayCallback, 0, WM_LBUTTONDBLCLK);
        return gui::WaitForWindow(Pid(), kSheetCaption, L"#32770");
    }

    static HWND PageOf(HWND sheet) { return FindWindowExW(sheet, nullptr, L"#32770", nullptr); }

    // The rows of the page's list, as shown.
    static std::vector<std::wstring> Rows(HWND page) {
        std::vector<std::wstring> rows;
        for (int row = 0; row < gui::ListViewCount(page, kList); ++row) rows.push_back(gui::ListViewItemText(page, kList, row, 0));
        return rows;
    }

    static int RowOf(HWND page, const fs::path& folder) {
        const std::vector<std::wstring> rows = Rows(page);
        const auto found = std::find(rows.begin(), rows.end(), folder.wstring());
        return found == rows.end() ? -1 : static_cast<int>(found - rows.begin());
    }

    static HWND OpenAddDialog(HWND page) {
        gui::Click(page, kAdd);
        return gui::WaitForWindow(Pid(), kAddCaption);
    }

    static void PickLevel(HWND add, int level) {
        for (int i = 0; i < 3; ++i) SendMessageW(gui::Control(add, kLevelNone + i), BM_SETCHECK, i == level ? BST_CHECKED : BST_UNCHECKED, 0);
    }

    static void Fill(HWND add, const Entry& entry) {
        gui::TypeText(add, kPath, entry.path);
        gui::TypeText(add, kPassword, entry.password);
        gui::TypeText(add, kConfirm, entry.confirm);
        PickLevel(add, entry.level);
        gui::SetCheck(add, kAlwaysConfirm, entry.alwaysConfirm);
        gui::SetCheck(add, kLimitRetry, entry.limitRetry);
        gui::TypeText(add, kRetryLimit, entry.retryLimit);
    }

    // Adds a folder through the dialog; the message box that followed (33 when it was taken).
    static HWND SubmitAdd(HWND page, const Entry& entry) {
        HWND add = OpenAddDialog(page);
        if (add == nullptr) return nullptr;
        Fill(add, entry);
        gui::Click(add, kAddOk);
        return gui::WaitForMessageBox(Pid());
    }

    // Adds a folder and answers message 33; false when something else was shown.
    static bool AddFolder(HWND page, const Entry& entry, int answer = IDNO) {
        HWND box = SubmitAdd(page, entry);
        if (box == nullptr) return false;
        if (gui::MessageBoxText(box) != kEncryptNow) {
            ADD_FAILURE() << "message: " << testing::PrintToString(gui::MessageBoxText(box));
            return false;
        }
        return gui::AnswerMessageBox(box, answer);
    }

    static HWND OpenReleaseDialog(HWND page, const fs::path& folder) {
        if (!gui::SelectListViewRow(page, kList, RowOf(page, folder))) return nullptr;
        gui::Click(page, kRelease);
        return gui::WaitForWindow(Pid(), kReleaseCaption);
    }

    static bool ReleaseFolder(HWND page, const fs::path& folder, const std::wstring& password, bool decryptAll) {
        HWND release = OpenReleaseDialog(page, folder);
        if (release == nullptr) return false;
        gui::TypeText(release, kReleasePassword, password);
        gui::SetCheck(release, kDecryptAll, decryptAll);
        gui::Click(release, IDOK);
        return gui::WaitForWindowGone(release, kJobTimeout);
    }

    inline static gui::Process* s_tamsel = nullptr;
    inline static HWND s_window = nullptr;
};

// A window of the test's own, to take the foreground away from the sheet.
class OtherWindow {
public:
    OtherWindow() {
        m_hwnd = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    ~OtherWindow() { DestroyWindow(m_hwnd); }
    OtherWindow(const OtherWindow&) = delete;
    OtherWindow& operator=(const OtherWindow&) = delete;
    HWND Handle() const { return m_hwnd; }

private:
    HWND m_hwnd;
};

int CountWindowsOf(DWORD pid, const std::wstring& caption) {
    struct Search {
        DWORD pid;
        const std::wstring* caption;
        int count;
    } search{pid, &caption, 0};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s->pid && IsWindowVisible(window) && gui::WindowCaption(window) == *s->caption) ++s->count;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.count;
}

RECT ClientRectOf(HWND sheet, HWND button) {
    RECT rect{};
    GetWindowRect(button, &rect);
    MapWindowPoints(nullptr, sheet, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Runs first, on the empty list Tamsel started with.
TEST_F(TamselSettings, DoubleClickOpensOneSheetWithOnlyOkAndCancelCentred) {
    HWND sheet = DoubleClickIcon();
    ASSERT_NE(sheet, nullptr);
    HWND page = PageOf(sheet);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(gui::WindowCaption(page), kPageCaption);
    HWND tabs = FindWindowExW(sheet, nullptr, WC_TABCONTROLW, nullptr);
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 1);

    for (int id : {IDOK, IDCANCEL}) {
        EXPECT_TRUE(gui::IsShown(gui::Control(sheet, id))) << id;
        EXPECT_TRUE(gui::ControlEnabled(sheet, id)) << id;
    }
    for (int id : {kApplyButton, kHelpButton}) {
        HWND button = gui::Control(sheet, id);
        EXPECT_TRUE(button == nullptr || (!IsWindowVisible(button) && !IsWindowEnabled(button))) << id;
    }
    RECT client{};
    GetClientRect(sheet, &client);
    const RECT ok = ClientRectOf(sheet, gui::Control(sheet, IDOK));
    const RECT cancel = ClientRectOf(sheet, gui::Control(sheet, IDCANCEL));
    const int w = client.right, b = ok.right - ok.left;
    EXPECT_EQ(ok.left, w / 2 - 3 * b / 2);
    EXPECT_EQ(cancel.left, w / 2 + b / 2);
    EXPECT_EQ(ok.top, cancel.top);

    // Release on the empty list.
    ASSERT_EQ(gui::ListViewCount(page, kList), 0);
    gui::Click(page, kRelease);
    HWND empty = gui::WaitForMessageBox(Pid());
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(gui::MessageBoxText(empty), L"リストが空なので、削除は出来ません。");
    EXPECT_EQ(gui::WindowCaption(empty), kMessageCaption);
    EXPECT_TRUE(gui::SaveScreenshot(empty, "tamsel_11_list_empty"));
    EXPECT_TRUE(gui::AnswerMessageBox(empty, IDOK));

    // A second double click brings the same sheet forward instead of opening another.
    OtherWindow other;
    SetForegroundWindow(other.Handle());
    ASSERT_TRUE(gui::WaitUntil([&] { return GetForegroundWindow() == other.Handle(); }));
    EXPECT_EQ(DoubleClickIcon(), sheet);
    EXPECT_TRUE(gui::WaitUntil([&] { return GetForegroundWindow() == sheet; }));
    gui::Settle(s_window);
    EXPECT_EQ(CountWindowsOf(Pid(), kSheetCaption), 1);

    gui::Click(sheet, IDOK);
    EXPECT_TRUE(gui::WaitForWindowGone(sheet));
    EXPECT_TRUE(s_tamsel->Running());
}

struct CheckCase {
    const char* name;
    Entry entry;
    std::wstring message;
    bool pressEnter;
};

TEST_F(TamselSettings, AddChecksTheEntriesInOrderAndKeepsTheDialogOpen) {
    const fs::path folder = kRoot / "checks";
    fs::create_directories(folder);
    testing_support::WriteAll(folder / "file.txt", std::string("not a folder"));
    // 249 characters fit the settings file with its terminating zero; 250 do not.
    const fs::path longFolder = kRoot / std::wstring(250 - kRoot.wstring().size() - 1, L'L');
    ASSERT_EQ(longFolder.wstring().size(), 250u);
    fs::create_directories(longFolder);
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring publicFolder = L"C:\\users\\Public";
    ASSERT_TRUE(fs::is_directory(publicFolder));
    const std::wstring ok = folder.wstring();

    const CheckCase cases[] = {
        {"tamsel_3_invalid_path", {(kRoot / "missing").wstring(), L"", L""}, kInvalidPath, false},
        {"", {(folder / "file.txt").wstring(), L"pw", L"pw"}, kInvalidPath, false},
        {"", {longFolder.wstring(), L"pw", L"pw"}, kInvalidPath, false},
        {"", {(kRoot / "missing").wstring(), L"", L""}, kInvalidPath, true},
        {"tamsel_14_special_folder", {L"C:\\", L"", L""}, SpecialMessage(L"C:\\"), false},
        {"", {publicFolder, L"pw", L"pw"}, SpecialMessage(publicFolder), false},
        {"", {windows, L"pw", L"pw"}, SpecialMessage(windows), false},
        {"tamsel_2_wrong_password_add", {ok, L"", L"x"}, kWrongPassword, false},
        {"tamsel_13_password_too_long", {ok, std::wstring(61, L'p'), std::wstring(61, L'p')}, kTooLong, false},
        // 31 characters, but 62 bytes in the ANSI code page: the watch list holds 60.
        {"", {ok, std::wstring(31, L'鍵'), std::wstring(31, L'鍵')}, kTooLong, false},
        {"tamsel_5_passwords_differ", {ok, L"pw", L"pW"}, kDiffer, false},
        {"", {ok, L"pw", L"pW"}, kDiffer, true},
    };

    HWND sheet = DoubleClickIcon();
    ASSERT_NE(sheet, nullptr);
    HWND add = OpenAddDialog(PageOf(sheet));
    ASSERT_NE(add, nullptr);
    const size_t itemsBefore = ReadSettingsFile().size();
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "path " << fs::path(c.entry.path).string() << (c.pressEnter ? " (Enter)" : ""));
        Fill(add, c.entry);
        if (c.pressEnter) {
            gui::PressEnter(add);
        } else {
            gui::Click(add, kAddOk);
        }
        HWND box = gui::WaitForMessageBox(Pid());
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(gui::MessageBoxText(box), c.message);
        EXPECT_EQ(gui::WindowCaption(box), kMessageCaption);
        if (*c.name != '\0') {
            EXPECT_TRUE(gui::SaveScreenshot(box, c.name));
        }
        EXPECT_TRUE(gui::AnswerMessageBox(box, IDOK));
        EXPECT_TRUE(gui::IsShown(add));
        EXPECT_EQ(gui::ControlText(add, kPath), c.entry.path);
    }
    Fill(add, {ok, L"pw", L"pw", 2, true, true, L"5"});
    EXPECT_TRUE(gui::SaveScreenshot(add, "tamsel_301_add_path"));
    gui::Click(add, IDCANCEL);
    EXPECT_TRUE(gui::WaitForWindowGone(add));
    EXPECT_EQ(ReadSettingsFile().size(), itemsBefore);
    for (const WATCH_RECORD& record : ReadWatchList()) EXPECT_NE(AnsiText(record.szFolder, kAnsiPathBytes), folder.string());
}

TEST_F(TamselSettings, BrowseFillsInTheChosenFolderAndKeepsTheOtherEntries) {
    const fs::path folder = kRoot / "browse";
    fs::create_directories(folder);
    HWND sheet = DoubleClickIcon();
    ASSERT_NE(sheet, nullptr);
    HWND add = OpenAddDialog(PageOf(sheet));
    ASSERT_NE(add, nullptr);
    Fill(add, {L"C:\\typed", L"pw", L"pw", 2, true, true, L"9"});
    // A fresh prefix may ignore the first selection: browse again until it is taken.
    for (int attempt = 0; attempt < 3 && gui::ControlText(add, kPath) != folder.wstring(); ++attempt) {
        gui::Click(add, kBrowse);
        HWND browser = nullptr;
        ASSERT_TRUE(gui::WaitUntil([&] {
            browser = gui::FindWindowOf(Pid(), L"", L"#32770");
            return browser != nullptr && browser != add && browser != sheet;
        }));
        ASSERT_TRUE(gui::SetBrowserSelection(browser, folder.wstring()));
        gui::Click(browser, IDOK);
        ASSERT_TRUE(gui::WaitForWindowGone(browser));
    }
    EXPECT_EQ(gui::ControlText(add, kPath), folder.wstring());
    EXPECT_EQ(gui::ControlText(add, kRetryLimit), L"9");
    EXPECT_TRUE(gui::Checked(add, kLevelNone + 2));
    EXPECT_TRUE(gui::Checked(add, kLimitRetry));
    gui::Click(add, IDCANCEL);
    EXPECT_TRUE(gui::WaitForWindowGone(add));
}

TEST_F(TamselSettings, EnterRunsTheChecksAndAddsAFolderThatPasses) {
    const fs::path root = kRoot / "enter";
    fs::create_directories(root / "Folder");
    HWND sheet = DoubleClickIcon();
    ASSERT_NE(sheet, nullptr);
    HWND add = OpenAddDialog(PageOf(sheet));
    ASSERT_NE(add, nullptr);
    const Entry entry = SimpleEntry(root / "Folder");
    Fill(add, entry);
    gui::PressEnter(add);
    HWND box = gui::WaitForMessageBox(Pid());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(gui::MessageBoxText(box), kEncryptNow);
    EXPECT_TRUE(gui::AnswerMessageBox(box, IDNO));
    EXPECT_FALSE(gui::IsShown(add));
    ExpectSameBytes(ItemsUnder(root), {ItemOf(entry)});
    ExpectSameBytes(RecordsUnder(root), {MakeWatchRecord(ItemOf(entry))});
}

struct RuleStep {
    const wchar_t* folder;
    const wchar_t* refusedBy;  // nullptr: added
};

TEST_F(TamselSettings, AddComparesWholeFoldersWithTheListedOnes) {
    const fs::path root = kRoot / "rules";
    for (const char* name : {"Data", "Data\\Sub\\Deep", "Data2"}) fs::create_directories(root / name);
    const RuleStep steps[] = {
        {L"Data2", nullptr},
        {L"Data\\Sub", nullptr},
        // Sub keeps its row and settings but leaves the watch list; Data2 stays watched.
        {L"Data", nullptr},
        {L"data", L"Data"},
        {L"Data\\Sub", L"Data"},
        {L"Data\\Sub\\Deep", L"Data"},
    };

    HWND sheet = DoubleClickIcon();
    ASSERT_NE(sheet, nullptr);
    HWND page = PageOf(sheet);
    bool screenshotTaken = false;
    for (const RuleStep& step : steps) {
        const fs::path folder = root / step.folder;
        SCOPED_TRACE(folder.string());
        HWND box = SubmitAdd(page, SimpleEntry(folder));
        ASSERT_NE(box, nullptr);
        if (step.refusedBy == nullptr) {
            EXPECT_EQ(gui::MessageBoxText(box), kEncryptNow);
            EXPECT_TRUE(gui::AnswerMessageBox(box, IDNO));
        } else {
            EXPECT_EQ(gui::MessageBoxText(box), ListedMessage(folder.wstring(), (root / step.refusedBy).wstring()));
            if (!screenshotTaken) screenshotTaken = gui::SaveScreenshot(box, "tamsel_38_already_listed");
            EXPECT_TRUE(gui::AnswerMessageBox(box, IDOK));
            HWND add = gui::FindWindowOf(Pid(), kAddCaption);
            ASSERT_NE(add, nullptr);
            gui::Click(add, IDCANCEL);
            EXPECT_TRUE(gui::WaitForWindowGone(add));
        }
        if (gui::ListViewCount(page, kList) == 2) {
            EXPECT_TRUE(gui::SaveScreenshot(sheet, "tamsel_102_two_folders"));
        }
    }
    EXPECT_TRUE(screenshotTaken);

    std::vector<std::wstring> rows;
    for (const std::wstring& row : Rows(page)) {
        if (UnderFolder(U16(row), root)) rows.push_back(row);
    }
    const std::vector<std::wstring> sorted = {(root / "Data").wstring(), (root / "Data\\Sub").wstring(),
                                              (root / "Data2").wstring()};
    EXPECT_EQ(rows, sorted);
    EXPECT_EQ(gui::ListViewItemText(page, kList, RowOf(page, root / "Data"), 1), L"速度優先圧縮");
    const MONITOR_ITEM data2 = ItemOf(SimpleEntry(root / "Data2"));
    const MONITOR_ITEM sub = ItemOf(SimpleEntry(root / "Data\\Sub"));
    const MONITOR_ITEM data = ItemOf(SimpleEntry(root / "Data"));
    ExpectSameBytes(ItemsUnder(root), {data2, sub, data});
    ExpectSameBytes(RecordsUnder(root), {MakeWatchRecord(data2), MakeWatchRecord(data)});
}

// The user's documents folder pointed at a folder of the profile for one case, and back.
class DocumentsFolder {
public:
    explicit DocumentsFolder(const fs::path& folder)
        : m_value(L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", L"Personal",
                  REG_EXPAND_SZ, folder.wstring()) {}

private:
    gui::UserRegistryValue m_value;
};

fs::path DocumentsPath() {
    wchar_t documents[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents))) return {};
    wchar_t longForm[MAX_PATH] = {};
    return GetLongPathNameW(documents, longForm, MAX_PATH) != 0 ? fs::path(longForm) : fs::path(documents);
}

TEST_F(TamselSettings, TheUsersDocumentsFolderMayBeAddedWhileOtherProfilesMayNot) {
    // The prefix links its documents to a real home folder, whose files are not ours to
    // lock: the case uses an empty documents folder of its own in the same profile.
    const fs::path original = DocumentsPath();
    ASSERT_FALSE(original.empty());
    const fs::path profile = original.parent_path();
    const fs::path documents = profile / "tamsel-documents";
    const fs::path otherProfile = profile.parent_path() / "tamsel-other-user";
    fs::create_directories(documents / "Work");
    fs::create_directories(otherProfile);
    DocumentsFolder redirect(documents);
    ASSERT_EQ(DocumentsPath(), documents);

    HWND sheet = DoubleClickIcon();
    ASSERT_NE(sheet, nullptr);
    HWND page = PageOf(sheet);
    HWND box = SubmitAdd(page, SimpleEntry(otherProfile));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(gui::MessageBoxText(box), SpecialMessage(otherProfile.wstring()));
    EXPECT_TRUE(gui::AnswerMessageBox(box, IDOK));
    HWND add = gui::FindWindowOf(Pid(), kAddCaption);
    ASSERT_NE(add, nullptr);
    gui::Click(add, IDCANCEL);
    ASSERT_TRUE(gui::WaitForWindowGone(add));

    for (const fs::path& folder : {documents / "Work", documents}) {
        SCOPED_TRACE(folder.string());
        ASSERT_TRUE(AddFolder(page, SimpleEntry(folder)));
        EXPECT_NE(RowOf(page, folder), -1);
        EXPECT_TRUE(ReleaseFolder(page, folder, L"pw", false));
        EXPECT_EQ(RowOf(page, folder), -1);
    }
    EXPECT_TRUE(RecordsUnder(profile).empty());
    std::error_code ignored;
    fs::remove_all(documents, ignored);
    fs::remove_all(otherProfile, ignored);
}

TEST_F(TamselSettings, ConfirmBoxRulesTheLimitAndNoLeavesTheFilesToThePass) {
    const fs::path root = kRoot / "confirm";
    fs::create_directories(root / "Folder");
    const fs::path file = root / "Folder" / "plain.txt";
    testing_support::WriteAll(file, std::string("left to the next pass"));
    HWND sheet = DoubleClickIcon();
    ASSERT_NE(sheet, nullptr);
    HWND add = OpenAddDialog(PageOf(sheet));
    ASSERT_NE(add, nullptr);

    EXPECT_TRUE(gui::Checked(add, kLevelNone + 1));
    EXPECT_EQ(gui::ControlText(add, kRetryLimit), L"3");
    struct BoxClick {
        int box;
        bool checked;
        bool limitEnabled;
        bool countEnabled;
    };
    const BoxClick clicks[] = {
        {0, false, false, false},
        {kAlwaysConfirm, true, true, false},
        {kLimitRetry, true, true, true},
        {kAlwaysConfirm, false, false, false},
        {kAlwaysConfirm, true, true, true},
        {kAlwaysConfirm, false, false, false},
    };
    for (const BoxClick& click : clicks) {
        if (click.box != 0) gui::SetCheck(add, click.box, click.checked);
        // The click's handler may still be on its way.
        EXPECT_TRUE(gui::WaitUntil([&] {
            return gui::ControlEnabled(add, kLimitRetry) == click.limitEnabled &&
                   gui::ControlEnabled(add, kRetryLimit) == click.countEnabled;
        })) << "box " << click.box << (click.checked ? " ticked" : " cleared");
    }
    EXPECT_TRUE(gui::Checked(add, kLimitRetry));

    const Entry entry = {(root / "Folder").wstring(), L"secret", L"secret", 2, false, true, L"7"};
    gui::TypeText(add, kPath, entry.path);
    gui::TypeText(add, kPassword, entry.password);
    gui::TypeText(add, kConfirm, entry.confirm);
    PickLevel(add, entry.level);
    gui::TypeText(add, kRetryLimit, entry.retryLimit);
    gui::Click(add, kAddOk);
    HWND box = gui::WaitForMessageBox(Pid());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(gui::MessageBoxText(box), kEncryptNow);
    EXPECT_TRUE(gui::SaveScreenshot(box, "tamsel_33_encrypt_new_folder"));
    EXPECT_TRUE(gui::AnswerMessageBox(box, IDNO));

    // The limit box was ticked, but without the confirm box it is stored off.
    const MONITOR_ITEM expected = MakeMonitorItem(U16(entry.path), u"secret", 2, false, false, 7);
    ExpectSameBytes(ItemsUnder(root), {expected});
    ExpectSameBytes(RecordsUnder(root), {MakeWatchRecord(expected)});
    EXPECT_EQ(ItemsUnder(root).at(0).bLimitRetry, 0);
    EXPECT_TRUE(gui::WaitForFile(fs::path(file.wstring() + L".chy")));
    EXPECT_TRUE(gui::WaitUntil([&] { return !fs::exists(file); }));
}

// The image of every file in the tree, with the plain files gone.
bool AllEncrypted(const std::vector<fs::path>& files) {
    return std::all_of(files.begin(), files.end(), [](const fs::path& f) {
        return !fs::exists(f) && fs::exists(fs::path(f.wstring() + L".chy"));
    });
}

TEST_F(TamselSettings, YesEncryptsAtOnceAndReleaseDecryptsWithTheSixtyCharacterPassword) {
    const fs::path root = kRoot / "release";
    const fs::path folder = root / "Folder";
    fs::create_directories(folder / "sub");
    const std::vector<fs::path> files = {folder / "a.txt", folder / "sub" / "b.bin"};
    testing_support::WriteAll(files[0], std::string("first file"));
    // Large enough that the first encryption takes a while to watch.
    const std::vector<uint8_t> second = testing_support::RandomBytes(32 << 20, 7);
    testing_support::WriteAll(files[1], second);
    const std::wstring password(60, L'k');

    // An image of two files is not restored by the release and stays.
    const fs::path pair = folder / "pair.chy";
    {
        testing_support::WriteAll(root / "x.txt", std::string("x"));
        testing_support::WriteAll(root / "y.txt", std::string("y"));
        CEncryptInfo info;
        info.m_sources = {(root / "x.txt").u16string(), (root / "y.txt").u16string()};
        info.m_imagePath = pair.u16string();
        info.m_password = U16(password);
        ASSERT_EQ(EncryptToImage(info), 1);
    }

    HWND sheet = DoubleClickIcon();
    ASSERT_NE(sheet, nullptr);
    HWND page = PageOf(sheet);
    const Entry entry = {folder.wstring(), password, password, 0, true, true, L"5"};
    ASSERT_TRUE(AddFolder(page, entry, IDYES));
    // While the job runs the sheet takes no input but still answers its messages.
    EXPECT_TRUE(gui::WaitUntil([&] { return !IsWindowEnabled(sheet); }));
    DWORD_PTR ignored = 0;
    EXPECT_NE(SendMessageTimeoutW(sheet, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 500, &ignored), 0);
    EXPECT_FALSE(IsWindowEnabled(sheet));
    EXPECT_TRUE(gui::WaitUntil([&] { return AllEncrypted(files) && IsWindowEnabled(sheet); }, kJobTimeout));
    EXPECT_EQ(gui::ListViewItemText(page, kList, RowOf(page, folder), 1), L"圧縮無し");
    const MONITOR_ITEM item = ItemOf(entry);
    EXPECT_EQ(item.bLimitRetry, 1);
    ExpectSameBytes(ItemsUnder(root), {item});
    ExpectSameBytes(RecordsUnder(root), {MakeWatchRecord(item)});

    // No row selected.
    ASSERT_TRUE(gui::SelectListViewRow(page, kList, -1));
    gui::Click(page, kRelease);
    HWND box = gui::WaitForMessageBox(Pid());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(gui::MessageBoxText(box), L"削除する項目を選んでください。");
    EXPECT_TRUE(gui::SaveScreenshot(box, "tamsel_12_select_item"));
    EXPECT_TRUE(gui::AnswerMessageBox(box, IDOK));

    // A wrong password changes nothing.
    HWND release = OpenReleaseDialog(page, folder);
    ASSERT_NE(release, nullptr);
    EXPECT_EQ(gui::ControlText(release, kReleaseFolder), folder.wstring());
    gui::TypeText(release, kReleasePassword, std::wstring(59, L'k'));
    gui::SetCheck(release, kDecryptAll, true);
    EXPECT_TRUE(gui::SaveScreenshot(release, "tamsel_302_release_folder"));
    gui::Click(release, IDOK);
    box = gui::WaitForMessageBox(Pid());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(gui::MessageBoxText(box), kWrongPassword);
    EXPECT_TRUE(gui::SaveScreenshot(box, "tamsel_2_wrong_password_release"));
    EXPECT_TRUE(gui::AnswerMessageBox(box, IDOK));
    EXPECT_TRUE(gui::IsShown(release));
    ExpectSameBytes(ItemsUnder(root), {item});
    ExpectSameBytes(RecordsUnder(root), {MakeWatchRecord(item)});
    gui::Click(release, IDCANCEL);
    ASSERT_TRUE(gui::WaitForWindowGone(release));

    ASSERT_TRUE(ReleaseFolder(page, folder, password, true));
    EXPECT_EQ(RowOf(page, folder), -1);
    EXPECT_TRUE(ItemsUnder(root).empty());
    EXPECT_TRUE(RecordsUnder(root).empty());
    for (const fs::path& f : files) {
        EXPECT_TRUE(fs::exists(f)) << f.string();
        EXPECT_FALSE(fs::exists(fs::path(f.wstring() + L".chy"))) << f.string();
    }
    ASSERT_TRUE(fs::exists(files[0]) && fs::exists(files[1]));
    EXPECT_EQ(testing_support::ReadAll(files[0]), std::vector<uint8_t>({'f', 'i', 'r', 's', 't', ' ', 'f', 'i', 'l', 'e'}));
    EXPECT_TRUE(testing_support::ReadAll(files[1]) == second);
    EXPECT_TRUE(fs::exists(pair));
}

}  // namespace
