// The framework's dialogs under a real dialog manager: data exchange both ways, and a value
// that fails its check shows the framework's message, keeps the dialog open and puts the
// focus on its field.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "FrameworkTestRes.h"
#include "framework/Application.h"
#include "framework/Dialog.h"
#include "framework/PropertySheet.h"
#include "win32/MessageBox.h"
#include "win32/Thread.h"

namespace {

constexpr char16_t kCaption[] = u"Framework test";

// Answers every message box of this process with OK and keeps its text.
class MessageBoxAnswerer {
public:
    MessageBoxAnswerer() { m_thread.Start(&MessageBoxAnswerer::Loop, this); }
    ~MessageBoxAnswerer() {
        m_stop = true;
        m_thread.Join();
    }
    std::vector<std::u16string> Texts() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_texts;
    }

private:
    static BOOL CALLBACK Visit(HWND window, LPARAM self) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        wchar_t caption[64] = {};
        GetWindowTextW(window, caption, 64);
        if (process != GetCurrentProcessId() || reinterpret_cast<const char16_t*>(caption) != std::u16string(kCaption) ||
            !IsWindowVisible(window)) {
            return TRUE;
        }
        wchar_t text[256] = {};
        GetDlgItemTextW(window, 0xFFFF, text, 256);
        auto* answerer = reinterpret_cast<MessageBoxAnswerer*>(self);
        {
            std::lock_guard<std::mutex> lock(answerer->m_mutex);
            answerer->m_texts.emplace_back(reinterpret_cast<const char16_t*>(text));
        }
        PostMessageW(window, WM_COMMAND, IDOK, 0);
        // One box at a time: wait until it is gone before looking again.
        while (IsWindow(window)) Sleep(5);
        return FALSE;
    }
    static unsigned __stdcall Loop(void* self) {
        auto* answerer = static_cast<MessageBoxAnswerer*>(self);
        while (!answerer->m_stop) {
            EnumWindows(&MessageBoxAnswerer::Visit, reinterpret_cast<LPARAM>(self));
            Sleep(5);
        }
        return 0;
    }

    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<std::u16string> m_texts;
    win32::Thread m_thread;
};

// Runs a step inside its own modal loop, once it is on the screen, then ends.
class ExchangeDialog : public fw::Dialog {
public:
    ExchangeDialog() : fw::Dialog(IDD_EXCHANGE) {}

    std::u16string m_text = u"初め";
    int32_t m_number = -12;
    uint32_t m_count = 40;
    int32_t m_check = 1;
    int32_t m_radio = 2;
    int64_t m_when = 1800000000;  // 2027-01-15 08:00:00 UTC
    std::function<void(ExchangeDialog&)> m_step;

    void SetText(int id, const wchar_t* text) { SetDlgItemTextW(m_hwnd, id, text); }
    std::wstring Text(int id) {
        wchar_t text[128] = {};
        GetDlgItemTextW(m_hwnd, id, text, 128);
        return text;
    }
    int FocusId() { return GetDlgCtrlID(GetFocus()); }

protected:
    void DoDataExchange(fw::DataExchange& exchange) override {
        exchange.Text(IDC_TEXT, m_text);
        exchange.Signed(IDC_NUMBER, m_number);
        exchange.Unsigned(IDC_COUNT, m_count);
        exchange.Range(IDC_COUNT, m_count, 1, 10000);
        exchange.Check(IDC_CHECK, m_check);
        exchange.Radio(IDC_RADIO_FIRST, m_radio);
        exchange.DateTime(IDC_DATE, m_when);
    }
    BOOL OnInitDialog() override {
        fw::Dialog::OnInitDialog();
        PostMessageW(m_hwnd, WM_APP, 0, 0);
        return TRUE;
    }
    std::span<const fw::MessageEntry> MessageMap() const override {
        static constexpr fw::MessageEntry kMessages[] = {{WM_APP, &fw::On<&ExchangeDialog::OnStep>}};
        return kMessages;
    }

private:
    LRESULT OnStep(WPARAM, LPARAM) {
        m_step(*this);
        EndDialog(IDOK);
        return 0;
    }
};

class DialogTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        fw::RegisterCommonControls();
        win32::SetMessageCaption(kCaption);
    }
};

TEST_F(DialogTest, LoadsAndSavesEveryKindOfField) {
    ExchangeDialog dialog;
    std::wstring loaded[3];
    int radioChecked = -1;
    dialog.m_step = [&](ExchangeDialog& d) {
        loaded[0] = d.Text(IDC_TEXT);
        loaded[1] = d.Text(IDC_NUMBER);
        loaded[2] = d.Text(IDC_COUNT);
        radioChecked = IsDlgButtonChecked(d.Handle(), IDC_RADIO_LAST) == BST_CHECKED ? 2 : -1;
        d.SetText(IDC_TEXT, L"後で");
        d.SetText(IDC_NUMBER, L" -2147483648 ");
        d.SetText(IDC_COUNT, L"10000");
        CheckDlgButton(d.Handle(), IDC_CHECK, BST_UNCHECKED);
        CheckRadioButton(d.Handle(), IDC_RADIO_FIRST, IDC_RADIO_LAST, IDC_RADIO_FIRST);
        // Ten days later, picked at midnight: the time of day held before must stay.
        SYSTEMTIME picked = {};
        SendDlgItemMessageW(d.Handle(), IDC_DATE, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&picked));
        FILETIME file = {};
        SystemTimeToFileTime(&picked, &file);
        ULARGE_INTEGER units = {{file.dwLowDateTime, file.dwHighDateTime}};
        units.QuadPart += 10ull * 86400 * 10000000;
        file = {units.LowPart, units.HighPart};
        FileTimeToSystemTime(&file, &picked);
        picked.wHour = picked.wMinute = picked.wSecond = 0;
        SendDlgItemMessageW(d.Handle(), IDC_DATE, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&picked));
        EXPECT_TRUE(d.UpdateData(true));
    };
    MessageBoxAnswerer answerer;
    ASSERT_EQ(dialog.DoModal(), IDOK);

    EXPECT_EQ(loaded[0], L"初め");
    EXPECT_EQ(loaded[1], L"-12");
    EXPECT_EQ(loaded[2], L"40");
    EXPECT_EQ(radioChecked, 2);
    EXPECT_EQ(dialog.m_text, u"後で");
    EXPECT_EQ(dialog.m_number, -2147483647 - 1);
    EXPECT_EQ(dialog.m_count, 10000u);
    EXPECT_EQ(dialog.m_check, 0);
    EXPECT_EQ(dialog.m_radio, 0);
    // No daylight-saving change lies between these two dates in the zones the tests run in.
    EXPECT_EQ(dialog.m_when, 1800000000 + 10 * 86400);
    EXPECT_TRUE(answerer.Texts().empty());
}

TEST_F(DialogTest, AFailedCheckShowsItsMessageAndTakesTheFocus) {
    struct Case {
        const wchar_t* number;
        const wchar_t* count;
        std::u16string message;
        int focus;
    };
    const Case cases[] = {
        {L"1", L"abc", u"Enter a positive integer.", IDC_COUNT},
        {L"1", L"-3", u"Enter a positive integer.", IDC_COUNT},
        {L"1", L"0", u"Enter an integer between 1 and 10000.", IDC_COUNT},
        {L"1", L"10001", u"Enter an integer between 1 and 10000.", IDC_COUNT},
        {L"x", L"5", u"Enter an integer.", IDC_NUMBER},
        {L"", L"5", u"Enter an integer.", IDC_NUMBER},
    };
    for (const auto& c : cases) {
        ExchangeDialog dialog;
        bool saved = true;
        int focus = 0;
        dialog.m_step = [&](ExchangeDialog& d) {
            d.SetText(IDC_TEXT, L"kept");
            d.SetText(IDC_NUMBER, c.number);
            d.SetText(IDC_COUNT, c.count);
            CheckDlgButton(d.Handle(), IDC_CHECK, BST_UNCHECKED);
            SetFocus(GetDlgItem(d.Handle(), IDOK));
            saved = d.UpdateData(true);
            focus = d.FocusId();
        };
        MessageBoxAnswerer answerer;
        ASSERT_EQ(dialog.DoModal(), IDOK);
        EXPECT_FALSE(saved) << c.count;
        EXPECT_EQ(answerer.Texts(), std::vector<std::u16string>{c.message}) << c.count;
        EXPECT_EQ(focus, c.focus) << c.count;
        EXPECT_EQ(dialog.m_text, u"kept") << "fields before the failing one are saved";
        EXPECT_EQ(dialog.m_check, 1) << "fields after the failing one are not";
    }
}

// A page whose check fails keeps the sheet open on OK; once it passes, OK closes the sheet.
class CountPage : public fw::PropertyPage {
public:
    CountPage() : fw::PropertyPage(IDD_PAGE) {}

    uint32_t m_count = 3;
    std::wstring m_loaded;
    bool m_openAfterBadOk = false;
    bool m_closedAfterGoodOk = false;

protected:
    void DoDataExchange(fw::DataExchange& exchange) override {
        exchange.Unsigned(IDC_PAGE_COUNT, m_count);
        exchange.Range(IDC_PAGE_COUNT, m_count, 1, 10);
    }
    BOOL OnInitDialog() override {
        fw::PropertyPage::OnInitDialog();
        PostMessageW(m_hwnd, WM_APP, 0, 0);
        return TRUE;
    }
    std::span<const fw::MessageEntry> MessageMap() const override {
        static constexpr fw::MessageEntry kMessages[] = {{WM_APP, &fw::On<&CountPage::OnStep>}};
        return kMessages;
    }

private:
    LRESULT OnStep(WPARAM, LPARAM) {
        const HWND sheet = GetParent(m_hwnd);
        wchar_t text[32] = {};
        GetDlgItemTextW(m_hwnd, IDC_PAGE_COUNT, text, 32);
        m_loaded = text;
        SetDlgItemTextW(m_hwnd, IDC_PAGE_COUNT, L"11");
        SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
        m_openAfterBadOk = IsWindowVisible(sheet) != FALSE;
        SetDlgItemTextW(m_hwnd, IDC_PAGE_COUNT, L"7");
        SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
        m_closedAfterGoodOk = PropSheet_GetCurrentPageHwnd(sheet) == nullptr;
        return 0;
    }
};

class HelpHidingSheet : public fw::PropertySheetDialog {
public:
    HelpHidingSheet() : fw::PropertySheetDialog(u"Sheet") {}
    bool m_initialized = false;

protected:
    void OnInitialized(HWND sheet) override { m_initialized = IsWindow(sheet) != FALSE; }
};

TEST_F(DialogTest, SheetStaysOpenUntilItsPageIsValid) {
    CountPage page;
    HelpHidingSheet sheet;
    sheet.AddPage(page);
    MessageBoxAnswerer answerer;
    EXPECT_EQ(sheet.DoModal(), IDOK);
    EXPECT_TRUE(sheet.m_initialized);
    EXPECT_EQ(page.m_loaded, L"3");
    EXPECT_TRUE(page.m_openAfterBadOk);
    EXPECT_TRUE(page.m_closedAfterGoodOk);
    EXPECT_EQ(page.m_count, 7u);
    EXPECT_EQ(answerer.Texts(), std::vector<std::u16string>{u"Enter an integer between 1 and 10."});
}

}  // namespace
