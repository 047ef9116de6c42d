#include "GuiDriver.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "PngWriter.h"

namespace gui {

namespace {

constexpr UINT kSendTimeoutMs = 5000;
constexpr int kMessageTextId = 0xFFFF;

LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
    return static_cast<LRESULT>(result);
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

DWORD ProcessOf(HWND window) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    return id;
}

std::vector<HWND> VisibleWindowsOf(DWORD processId) {
    struct Search {
        DWORD processId;
        std::vector<HWND> found;
    } search{processId, {}};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            if (IsWindowVisible(window) && ProcessOf(window) == s->processId) s->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A message box holds only statics (its text has the id 0xFFFF) and buttons; every dialog
// of the programs under test has some other kind of control.
bool IsMessageBox(HWND window) {
    if (ClassOf(window) != L"#32770" || !GetDlgItem(window, kMessageTextId)) return false;
    bool onlyStaticsAndButtons = true;
    EnumChildWindows(
        window,
        [](HWND child, LPARAM param) -> BOOL {
            const std::wstring name = ClassOf(child);
            if (_wcsicmp(name.c_str(), L"Static") != 0 && _wcsicmp(name.c_str(), L"Button") != 0) {
                *reinterpret_cast<bool*>(param) = false;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&onlyStaticsAndButtons));
    return onlyStaticsAndButtons;
}

// Memory inside the process that owns a window, for messages that carry a pointer.
class RemoteBuffer {
public:
    RemoteBuffer(HWND window, size_t size) : m_size(size) {
        m_process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, ProcessOf(window));
        if (m_process) m_address = VirtualAllocEx(m_process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBuffer() {
        if (m_address) VirtualFreeEx(m_process, m_address, 0, MEM_RELEASE);
        if (m_process) CloseHandle(m_process);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    bool Valid() const { return m_address != nullptr; }
    LPARAM Address() const { return reinterpret_cast<LPARAM>(m_address); }
    bool Write(const void* data) {
        return WriteProcessMemory(m_process, m_address, data, m_size, nullptr) != 0;
    }
    bool Read(void* data) const { return ReadProcessMemory(m_process, m_address, data, m_size, nullptr) != 0; }

private:
    HANDLE m_process = nullptr;
    void* m_address = nullptr;
    size_t m_size;
};

// The source tree's, where reviewers look.
std::filesystem::path ScreenshotFolder() { return BuiltPath(GUI_SCREENSHOT_DIR); }

struct Capture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    bool operator==(const Capture&) const = default;
};

Capture CaptureScreenArea(const RECT& area) {
    Capture capture;
    capture.width = area.right - area.left;
    capture.height = area.bottom - area.top;
    if (capture.width <= 0 || capture.height <= 0) return {};
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = capture.width;
    info.bmiHeader.biHeight = -capture.height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, capture.width, capture.height, screen, area.left, area.top, SRCCOPY | CAPTUREBLT);
        GdiFlush();
        const auto* bgra = static_cast<const uint8_t*>(bits);
        const size_t pixels = static_cast<size_t>(capture.width) * static_cast<size_t>(capture.height);
        capture.rgb.resize(pixels * 3);
        for (size_t i = 0; i < pixels; ++i) {
            capture.rgb[i * 3] = bgra[i * 4 + 2];
            capture.rgb[i * 3 + 1] = bgra[i * 4 + 1];
            capture.rgb[i * 3 + 2] = bgra[i * 4];
        }
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return capture;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, Duration timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
}

std::filesystem::path BuiltPath(const std::string& hostPath) {
    std::string path = hostPath;
    if (!path.empty() && path[0] == '/') path.insert(0, "Z:");
    return std::filesystem::path(path).make_preferred();
}

std::filesystem::path TempFolderFile(const std::wstring& name) {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    wchar_t longForm[MAX_PATH + 1] = {};
    GetLongPathNameW(temp, longForm, MAX_PATH + 1);
    return std::filesystem::path(std::wstring(longForm) + name);
}

UserRegistryValue::UserRegistryValue(const wchar_t* key, const wchar_t* name, DWORD type, const std::wstring& value)
    : m_name(name) {
    RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &m_key, nullptr);
    DWORD size = 0;
    if (RegQueryValueExW(m_key, name, nullptr, &m_type, nullptr, &size) == ERROR_SUCCESS) {
        m_saved.resize(size);
        m_had = RegQueryValueExW(m_key, name, nullptr, &m_type, m_saved.data(), &size) == ERROR_SUCCESS;
    }
    RegSetValueExW(m_key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

UserRegistryValue::~UserRegistryValue() {
    if (m_had) {
        RegSetValueExW(m_key, m_name.c_str(), 0, m_type, m_saved.data(), static_cast<DWORD>(m_saved.size()));
    } else {
        RegDeleteValueW(m_key, m_name.c_str());
    }
    RegCloseKey(m_key);
}

Process::~Process() {
    Kill();
    if (m_info.hThread) CloseHandle(m_info.hThread);
    if (m_info.hProcess) CloseHandle(m_info.hProcess);
}

bool Process::Start(const std::wstring& commandLine) {
    std::wstring line = commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    return CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &m_info) != 0;
}

bool Process::Running() const {
    return m_info.hProcess && WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT;
}

bool Process::WaitForExit(Duration timeout) const {
    return !m_info.hProcess ||
           WaitForSingleObject(m_info.hProcess, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
}

DWORD Process::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (m_info.hProcess) GetExitCodeProcess(m_info.hProcess, &code);
    return code;
}

void Process::Kill() {
    if (!Running()) return;
    TerminateProcess(m_info.hProcess, 1);
    WaitForSingleObject(m_info.hProcess, 5000);
}

HWND FindWindowOf(DWORD processId, const std::wstring& caption, const std::wstring& className) {
    for (HWND window : VisibleWindowsOf(processId)) {
        if (!caption.empty() && WindowCaption(window) != caption) continue;
        if (!className.empty() && ClassOf(window) != className) continue;
        return window;
    }
    return nullptr;
}

HWND WaitForWindow(DWORD processId, const std::wstring& caption, const std::wstring& className,
                   Duration timeout) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindWindowOf(processId, caption, className)) != nullptr; }, timeout);
    return found;
}

HWND AnyWindowOf(DWORD processId) {
    const std::vector<HWND> windows = VisibleWindowsOf(processId);
    return windows.empty() ? nullptr : windows.front();
}

bool IsShown(HWND window) { return IsWindow(window) && IsWindowVisible(window); }

bool WaitForWindowGone(HWND window, Duration timeout) {
    return WaitUntil([&] { return !IsShown(window); }, timeout);
}

HWND FindMessageBox(DWORD processId) {
    for (HWND window : VisibleWindowsOf(processId)) {
        if (IsMessageBox(window)) return window;
    }
    return nullptr;
}

HWND WaitForMessageBox(DWORD processId, Duration timeout) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindMessageBox(processId)) != nullptr; }, timeout);
    return found;
}

std::wstring MessageBoxText(HWND box) { return ControlText(box, kMessageTextId); }

bool AnswerMessageBox(HWND box, int button) {
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    return WaitForWindowGone(box);
}

HWND Control(HWND dialog, int id) { return GetDlgItem(dialog, id); }

std::wstring ControlText(HWND dialog, int id) {
    HWND control = Control(dialog, id);
    if (!control) return L"<no control " + std::to_wstring(id) + L">";
    const auto length = static_cast<size_t>(Send(control, WM_GETTEXTLENGTH));
    std::wstring text(length + 1, L'\0');
    const auto copied = static_cast<size_t>(Send(control, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data())));
    text.resize(copied);
    return text;
}

bool ControlEnabled(HWND dialog, int id) { return IsWindowEnabled(Control(dialog, id)) != 0; }

bool Checked(HWND dialog, int id) { return Send(Control(dialog, id), BM_GETCHECK) == BST_CHECKED; }

std::wstring WindowCaption(HWND window) {
    wchar_t caption[256] = {};
    GetWindowTextW(window, caption, 256);
    return caption;
}

void TypeText(HWND dialog, int id, const std::wstring& text) {
    Send(Control(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Click(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Control(dialog, id)));
}

void SetCheck(HWND dialog, int id, bool checked) {
    Send(Control(dialog, id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED);
    Click(dialog, id);
    // A text sent next must not overtake the click's handler.
    Settle(dialog);
}

void PressKey(HWND dialog, WORD virtualKey) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND target = dialog;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) && info.hwndFocus &&
        (info.hwndFocus == dialog || IsChild(dialog, info.hwndFocus))) {
        target = info.hwndFocus;
    }
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(target, WM_KEYDOWN, virtualKey, scan | 1);
    PostMessageW(target, WM_KEYUP, virtualKey, scan | 1 | (LPARAM{3} << 30));
}

void PressCloseBox(HWND window) { PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); }

// A sent message is handled before posted ones, so the first round trip may overtake what
// was posted; the second comes back only after the thread took its queue in turn.
void Settle(HWND window) {
    Send(window, WM_NULL);
    Send(window, WM_NULL);
}

int ComboCount(HWND dialog, int id) { return static_cast<int>(Send(Control(dialog, id), CB_GETCOUNT)); }

int ComboSelection(HWND dialog, int id) { return static_cast<int>(Send(Control(dialog, id), CB_GETCURSEL)); }

std::wstring ComboItemText(HWND dialog, int id, int index) {
    HWND combo = Control(dialog, id);
    const LRESULT length = Send(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (length < 0) return L"<no item " + std::to_wstring(index) + L">";
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    Send(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(wcslen(text.c_str()));
    return text;
}

LRESULT ComboItemData(HWND dialog, int id, int index) {
    return Send(Control(dialog, id), CB_GETITEMDATA, static_cast<WPARAM>(index));
}

void PickComboItem(HWND dialog, int id, int index) {
    HWND combo = Control(dialog, id);
    Send(combo, CB_SETCURSEL, static_cast<WPARAM>(index));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

int ProgressPosition(HWND dialog, int id) { return static_cast<int>(Send(Control(dialog, id), PBM_GETPOS)); }

int ListViewCount(HWND dialog, int id) { return static_cast<int>(Send(Control(dialog, id), LVM_GETITEMCOUNT)); }

std::wstring ListViewItemText(HWND dialog, int id, int row, int column) {
    constexpr size_t kChars = 512;
    HWND list = Control(dialog, id);
    std::vector<uint8_t> bytes(sizeof(LVITEMW) + kChars * sizeof(wchar_t), 0);
    RemoteBuffer buffer(list, bytes.size());
    if (!buffer.Valid()) return L"<no buffer>";
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = reinterpret_cast<wchar_t*>(buffer.Address() + static_cast<LPARAM>(sizeof(LVITEMW)));
    item.cchTextMax = static_cast<int>(kChars);
    std::memcpy(bytes.data(), &item, sizeof item);
    if (!buffer.Write(bytes.data())) return L"<no buffer>";
    const auto length = static_cast<size_t>(Send(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), buffer.Address()));
    if (!buffer.Read(bytes.data())) return L"<no buffer>";
    const auto* text = reinterpret_cast<const wchar_t*>(bytes.data() + sizeof(LVITEMW));
    return std::wstring(text, std::min(length, kChars - 1));
}

bool SelectListViewRow(HWND dialog, int id, int row) {
    HWND list = Control(dialog, id);
    LVITEMW clear{};
    clear.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    RemoteBuffer buffer(list, sizeof clear);
    if (!buffer.Valid() || !buffer.Write(&clear) || !Send(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), buffer.Address())) {
        return false;
    }
    if (row < 0) return true;
    LVITEMW select = clear;
    select.state = LVIS_SELECTED | LVIS_FOCUSED;
    return buffer.Write(&select) && Send(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), buffer.Address()) != 0;
}

bool SetBrowserSelection(HWND browser, const std::wstring& path) {
    constexpr UINT kSetSelection = WM_USER + 103;  // BFFM_SETSELECTIONW
    std::vector<wchar_t> text(path.begin(), path.end());
    text.push_back(L'\0');
    RemoteBuffer buffer(browser, text.size() * sizeof(wchar_t));
    if (!buffer.Valid() || !buffer.Write(text.data())) return false;
    Send(browser, kSetSelection, TRUE, buffer.Address());
    return true;
}

bool GetPickerDate(HWND dialog, int id, SYSTEMTIME& date) {
    HWND picker = Control(dialog, id);
    RemoteBuffer buffer(picker, sizeof date);
    if (!buffer.Valid()) return false;
    if (Send(picker, DTM_GETSYSTEMTIME, 0, buffer.Address()) != GDT_VALID) return false;
    return buffer.Read(&date);
}

bool SetPickerDate(HWND dialog, int id, const SYSTEMTIME& date) {
    HWND picker = Control(dialog, id);
    RemoteBuffer buffer(picker, sizeof date);
    return buffer.Valid() && buffer.Write(&date) && Send(picker, DTM_SETSYSTEMTIME, GDT_VALID, buffer.Address()) != 0;
}

bool SaveScreenshot(HWND window, const std::string& name) {
    return SaveScreenshotTo(window, ScreenshotFolder() / (name + ".png"));
}

bool SaveScreenshotTo(HWND window, const std::filesystem::path& file) {
    if (!IsShown(window)) return false;
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Settle(window);
    RECT area{};
    GetWindowRect(window, &area);
    // The painted pixels reach the screen a little after the paint: take the picture once
    // two captures agree (an animated window never does; then the last one is kept).
    Capture capture = CaptureScreenArea(area);
    WaitUntil(
        [&] {
            Capture next = CaptureScreenArea(area);
            const bool same = next == capture;
            capture = std::move(next);
            return same;
        },
        500ms);
    if (capture.rgb.empty()) return false;
    std::filesystem::create_directories(file.parent_path());
    return WritePng(file, capture.width, capture.height, capture.rgb);
}

bool WaitForFile(const std::filesystem::path& path, Duration timeout) {
    return WaitUntil([&] { return std::filesystem::exists(path); }, timeout);
}

}  // namespace gui
