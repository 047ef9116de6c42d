#include "tamsel/TamselApp.h"

#include <windows.h>

#include "corvik/erase/DeleteReporter.h"
#include "tamsel/Tamsel.h"
#include "tamsel/TamselFrontEnd.h"
#include "tamsel/TamselRes.h"
#include "tamsel/engine/CoreJobs.h"
#include "tamsel/engine/Engine.h"
#include "tamsel/engine/RestoredFiles.h"
#include "win32/MessageBox.h"
#include "win32/Resources.h"

namespace {

CTamselFrontEnd g_frontEnd(CTamselFrontEnd::Job::CreateImage);
CDeleteReporter g_deleteReporter(IDS_OUT_OF_MEMORY, IDS_PRODUCT_NAME);

constexpr wchar_t kClassName[] = L"TAMSEL";

bool ReadWindowsVersion() {
    OSVERSIONINFOEXW extended = {};
    extended.dwOSVersionInfoSize = sizeof extended;
    if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&extended))) return true;
    OSVERSIONINFOW plain = {};
    plain.dwOSVersionInfoSize = sizeof plain;
    return GetVersionExW(&plain) != 0;
}

}  // namespace

bool CTamselApp::ClaimSingleInstance() {
    if (!m_instanceMarker.Create(L"TAMSELMAP", 32)) ExitProcess(1);
    if (!m_instanceMarker.AlreadyExisted()) {
        m_firstInstance = true;
        return true;
    }
    if (HWND running = FindWindowW(kClassName, nullptr)) PostMessageW(running, WM_COMMAND, ID_OPEN_SETTINGS, 0);
    return false;
}

bool CTamselApp::InitInstance() {
    win32::SetMessageCaption(win32::LoadResourceString(IDS_CAPTION));
    SetEngineFrontEnd(&g_frontEnd);
    g_secureDelete.SetReporter(&g_deleteReporter);

    if (!ReadWindowsVersion()) return false;
    if (!ClaimSingleInstance()) return false;

    HICON icon = LoadIconW(Instance(), MAKEINTRESOURCEW(IDI_TAMSEL));
    HCURSOR cursor = LoadCursorW(Instance(), MAKEINTRESOURCEW(IDC_TAMSEL));
    if (!fw::Window::RegisterWindowClass(Instance(), kClassName, icon, cursor, CS_BYTEALIGNWINDOW)) return false;

    UpgradeSettingsAtStartUp();
    if (!m_mainWnd.Create(Instance(), kClassName, L"WindowName", WS_OVERLAPPEDWINDOW)) return false;
    LoadWatchedFolders();
    ShowWindow(m_mainWnd.Handle(), SW_HIDE);
    UpdateWindow(m_mainWnd.Handle());
    CreateJournal();
    return true;
}

int CTamselApp::ExitInstance() {
    // A start-up that failed after the window was made still takes it down first.
    m_mainWnd.Destroy();
    ExitEngine(m_firstInstance);
    return fw::Application::ExitInstance();
}
