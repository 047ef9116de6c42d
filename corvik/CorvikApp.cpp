#include "corvik/CorvikApp.h"

#include <windows.h>

#include "corvik/CommandLine.h"
#include "corvik/Corvik.h"
#include "corvik/CorvikFrontEnd.h"
#include "corvik/CorvikRes.h"
#include "corvik/SorvaneDlg.h"
#include "corvik/erase/DeleteReporter.h"
#include "win32/MessageBox.h"
#include "win32/Resources.h"
#include "win32/WideText.h"

const EraseProgressIds kCorvikEraseProgress = {IDD_DELETE_PROGRESS, IDC_ERASE_PROGRESS, IDC_ERASE_CANCEL};

namespace {

CorvikFrontEnd g_frontEnd;
CDeleteReporter g_deleteReporter(IDS_OUT_OF_MEMORY, IDS_PRODUCT_NAME);

// The long form of path (260 units at most); empty when the conversion fails.
std::u16string LongForm(const std::u16string& path) {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = GetLongPathNameW(win32::Wide(path), buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return win32::FromWide(buffer);
}

}  // namespace

bool CCorvikApp::InitInstance() {
    win32::SetMessageCaption(win32::LoadResourceString(IDS_CAPTION));
    SetCoreFrontEnd(&g_frontEnd);
    g_secureDelete.SetReporter(&g_deleteReporter);

    std::u16string target;
    if (!TargetFromCommandLine(win32::FromWide(GetCommandLineW()), target)) return false;
    target = LongForm(target);
    if (target.empty() || GetFileAttributesW(win32::Wide(target)) == INVALID_FILE_ATTRIBUTES) return false;
    if (IsImageName(target)) return false;

    CSorvaneDlg dialog;
    dialog.m_sourcePath = target;
    dialog.DoModal(nullptr);
    return false;
}
