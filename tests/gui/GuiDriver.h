// Drives a dialog program from outside, as a user would: start it, find its windows, type,
// click, press keys, answer message boxes, and wait for what each action shows. Every wait
// polls every 10 ms up to a deadline; nothing sleeps a fixed time.
#pragma once
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace gui {

using namespace std::chrono_literals;
using Duration = std::chrono::milliseconds;

// Long enough for a loaded CI machine, short enough that a hang fails the test.
constexpr Duration kTimeout = 15s;

// Polls condition every 10 ms until it holds (true) or the deadline passes (false).
bool WaitUntil(const std::function<bool()>& condition, Duration timeout = kTimeout);

// A path the build names, which is the build machine's; under Wine drive Z: is "/".
std::filesystem::path BuiltPath(const std::string& hostPath);
// A file in the temporary folder, in long form, of this process and the programs it starts.
std::filesystem::path TempFolderFile(const std::wstring& name);

// A value of the user's registry set for the life of the object, then put back as it was.
class UserRegistryValue {
public:
    UserRegistryValue(const wchar_t* key, const wchar_t* name, DWORD type, const std::wstring& value);
    ~UserRegistryValue();
    UserRegistryValue(const UserRegistryValue&) = delete;
    UserRegistryValue& operator=(const UserRegistryValue&) = delete;

private:
    HKEY m_key = nullptr;
    std::wstring m_name;
    DWORD m_type = REG_SZ;
    std::vector<BYTE> m_saved;
    bool m_had = false;
};

// A started program; ended (killed) when still running at destruction.
class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // commandLine is passed to the program as it stands (no quoting added).
    bool Start(const std::wstring& commandLine);
    bool Running() const;
    bool WaitForExit(Duration timeout = kTimeout) const;
    void Kill();
    DWORD Id() const { return m_info.dwProcessId; }
    DWORD ExitCode() const;

private:
    PROCESS_INFORMATION m_info{};
};

// Windows of one process only, so that a window left by another case never matches.
// Empty caption or className matches any. Only visible top-level windows count.
HWND FindWindowOf(DWORD processId, const std::wstring& caption, const std::wstring& className = L"");
HWND WaitForWindow(DWORD processId, const std::wstring& caption, const std::wstring& className = L"",
                   Duration timeout = kTimeout);
// Any visible top-level window of the process.
HWND AnyWindowOf(DWORD processId);
bool WaitForWindowGone(HWND window, Duration timeout = kTimeout);
bool IsShown(HWND window);

// A message box of the process: a dialog with the message-box text control and nothing
// but statics and buttons.
HWND FindMessageBox(DWORD processId);
HWND WaitForMessageBox(DWORD processId, Duration timeout = kTimeout);
std::wstring MessageBoxText(HWND box);
// Posts the button (IDOK, IDYES, IDNO, ...) and waits for the box to go.
bool AnswerMessageBox(HWND box, int button);

HWND Control(HWND dialog, int id);
std::wstring ControlText(HWND dialog, int id);
bool ControlEnabled(HWND dialog, int id);
bool Checked(HWND dialog, int id);
std::wstring WindowCaption(HWND window);

// Sets an edit's text as typing would leave it (the program is told of the change).
void TypeText(HWND dialog, int id, const std::wstring& text);
// Posts WM_COMMAND BN_CLICKED to the dialog: the form that works on an inactive window.
void Click(HWND dialog, int id);
// Sets a check box or radio button, then clicks it so the program's handler runs, and
// returns once the handler ran (or opened a modal window).
void SetCheck(HWND dialog, int id, bool checked);
// Keys go to the control that has the focus in the program's thread, as typed keys do.
void PressKey(HWND dialog, WORD virtualKey);
inline void PressEnter(HWND dialog) { PressKey(dialog, VK_RETURN); }
inline void PressEscape(HWND dialog) { PressKey(dialog, VK_ESCAPE); }
// The title bar's close box, as the system menu's Close command.
void PressCloseBox(HWND window);
// Returns once every message posted to the window's thread before the call was handled.
void Settle(HWND window);

// Combo boxes, ComboBoxEx included (its text is read item by item, not with WM_GETTEXT).
int ComboCount(HWND dialog, int id);
int ComboSelection(HWND dialog, int id);
std::wstring ComboItemText(HWND dialog, int id, int index);
LRESULT ComboItemData(HWND dialog, int id, int index);
void PickComboItem(HWND dialog, int id, int index);

int ProgressPosition(HWND dialog, int id);

// Report list views, through a buffer inside the program for the texts and states.
int ListViewCount(HWND dialog, int id);
std::wstring ListViewItemText(HWND dialog, int id, int row, int column);
// Selects the row (and only it) and focuses it; a row of -1 clears the selection.
bool SelectListViewRow(HWND dialog, int id, int row);

// The shell's folder browser: selects the folder by path (the path is copied into the
// program). In a fresh prefix the first request may be ignored: check the outcome.
bool SetBrowserSelection(HWND browser, const std::wstring& path);

// Date picker through a buffer inside the program (the message carries a pointer).
bool GetPickerDate(HWND dialog, int id, SYSTEMTIME& date);
bool SetPickerDate(HWND dialog, int id, const SYSTEMTIME& date);

// Repaints the window, waits for the paint, and saves its screen area as a PNG.
bool SaveScreenshotTo(HWND window, const std::filesystem::path& file);
// The same into the screenshot folder of the source tree, as name.png.
bool SaveScreenshot(HWND window, const std::string& name);

// Files, as the program under test sees them appear or go.
bool WaitForFile(const std::filesystem::path& path, Duration timeout = kTimeout);

}  // namespace gui
