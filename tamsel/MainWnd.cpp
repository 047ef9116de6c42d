#include "tamsel/MainWnd.h"

#include <array>

#include "corvik/erase/DeleteProgressDlg.h"
#include "tamsel/Setup.h"
#include "tamsel/Tamsel.h"
#include "tamsel/TamselRes.h"
#include "tamsel/engine/Engine.h"
#include "tamsel/engine/MonitorPass.h"
#include "tamsel/engine/FolderRules.h"
#include "win32/RegistryKey.h"
#include "win32/Resources.h"
#include "win32/WideText.h"

namespace {

const EraseProgressIds kTempEraseProgress = {IDD_TEMP_ERASE, IDC_TEMP_ERASE_PROGRESS, IDC_TEMP_ERASE_CANCEL};

// The user's own Temp setting, expanded; empty when it cannot be read.
std::u16string UserTempFolder() {
    win32::RegistryKey key;
    std::wstring value;
    if (!key.Open(HKEY_CURRENT_USER, L"Environment", KEY_READ) || !key.QueryString(L"Temp", 259, value)) return {};
    wchar_t expanded[MAX_PATH] = {};
    const DWORD length = ExpandEnvironmentStringsW(value.c_str(), expanded, MAX_PATH - 1);
    if (length == 0 || length > MAX_PATH - 1) return {};
    return win32::FromWide(expanded);
}

bool IsDirectory(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(win32::Wide(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

std::span<const fw::MessageEntry> CMainWnd::MessageMap() const {
    static const std::array<fw::MessageEntry, 6> kMessages = {{
        {kTrayCallback, &fw::On<&CMainWnd::OnTrayNotify>},
        {WM_CREATE, &fw::On<&CMainWnd::OnCreate>},
        {WM_DESTROY, &fw::On<&CMainWnd::OnDestroy>},
        {WM_TIMER, &fw::On<&CMainWnd::OnTimer>},
        {WM_QUERYENDSESSION, &fw::On<&CMainWnd::OnQueryEndSession>},
        {WM_ENDSESSION, &fw::On<&CMainWnd::OnEndSession>},
    }};
    return kMessages;
}

std::span<const fw::CommandEntry> CMainWnd::CommandMap() const {
    static const std::array<fw::CommandEntry, 2> kCommands = {{
        {ID_OPEN_SETTINGS, &fw::Command<&CMainWnd::OnOpenSettings>},
        {ID_EXIT_TAMSEL, &fw::Command<&CMainWnd::OnExit>},
    }};
    return kCommands;
}

LRESULT CMainWnd::OnCreate(WPARAM, LPARAM) {
    m_tray = std::make_unique<CTrayNot>(m_hwnd, kTrayCallback, win32::LoadResourceString(IDS_TRAY_TIP));
    // Without the timer the program runs on without passes; nothing is reported.
    m_timerId = SetTimer(m_hwnd, kPassTimer, 1000, nullptr);
    return 0;
}

LRESULT CMainWnd::OnDestroy(WPARAM, LPARAM) {
    if (m_timerId != 0) KillTimer(m_hwnd, kPassTimer);
    m_timerId = 0;
    m_tray.reset();
    // The hidden window is the program: its end ends the message loop.
    PostQuitMessage(0);
    return 0;
}

LRESULT CMainWnd::OnTimer(WPARAM timer, LPARAM) {
    if (timer == kPassTimer) StartPass();
    return 0;
}

LRESULT CMainWnd::OnTrayNotify(WPARAM, LPARAM mouseEvent) {
    switch (static_cast<UINT>(mouseEvent)) {
    case WM_LBUTTONDBLCLK:
        PostMessageW(m_hwnd, WM_COMMAND, ID_OPEN_SETTINGS, 0);
        break;
    case WM_RBUTTONDOWN:
        ShowTrayMenu();
        break;
    default:
        break;
    }
    return 1;
}

void CMainWnd::ShowTrayMenu() {
    HMENU menu = LoadMenuW(win32::ResourceModule(), MAKEINTRESOURCEW(IDR_TRAY_MENU));
    if (menu == nullptr) return;
    POINT cursor = {};
    GetCursorPos(&cursor);
    // Without the foreground the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(m_hwnd);
    TrackPopupMenu(GetSubMenu(menu, 0), TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, m_hwnd, nullptr);
    PostMessageW(m_hwnd, WM_USER, 0, 0);
    DestroyMenu(menu);
}

void CMainWnd::OnOpenSettings() {
    if (m_setup != nullptr) {
        // Already open: forward, with whatever dialog or message runs over it.
        if (const HWND sheet = m_setup->Window()) SetForegroundWindow(GetLastActivePopup(sheet));
        return;
    }
    CSetup setup;
    m_setup = &setup;
    setup.Run(m_hwnd);
    m_setup = nullptr;
}

void CMainWnd::OnExit() { PostMessageW(m_hwnd, WM_CLOSE, 0, 0); }

// The erase runs here and not at WM_ENDSESSION: a logoff may end the process right after it.
LRESULT CMainWnd::OnQueryEndSession(WPARAM, LPARAM) {
    EraseTempFolder();
    return TRUE;
}

LRESULT CMainWnd::OnEndSession(WPARAM ending, LPARAM) {
    // The process may end without WM_DESTROY: the files the other programs read go now.
    if (ending != 0) {
        m_tray.reset();
        ExitEngine(true);
    }
    return 0;
}

void CMainWnd::EraseTempFolder() {
    const std::u16string folder = UserTempFolder();
    if (folder.empty() || !IsDirectory(folder) || !IsErasableTempFolder(folder)) return;
    CDeleteProgressDlg dialog(kTempEraseProgress, g_secureDelete);
    dialog.SetPathAndMethod(folder, 0);
    dialog.DoModal(m_hwnd);
}
