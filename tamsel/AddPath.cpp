#include "tamsel/AddPath.h"

#include <shlobj.h>

#include "platform/FileSystem.h"
#include "tamsel/SpecialFolder.h"
#include "tamsel/TamselRes.h"
#include "tamsel/engine/FolderRules.h"
#include "tamsel/engine/MonitorRecords.h"
#include "win32/MessageBox.h"
#include "win32/WideText.h"

namespace {

// The folder browser's choice; empty when the user cancelled or chose no file-system folder.
std::u16string BrowseForFolder(HWND owner) {
    const HRESULT com = CoInitialize(nullptr);
    BROWSEINFOW info = {};
    info.hwndOwner = owner;
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    std::u16string chosen;
    if (PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info)) {
        wchar_t path[MAX_PATH] = {};
        if (SHGetPathFromIDListW(list, path)) chosen = win32::FromWide(path);
        CoTaskMemFree(list);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return chosen;
}

}  // namespace

CAddPath::CAddPath() : fw::Dialog(IDD_ADD_PATH) {}

std::span<const fw::CommandEntry> CAddPath::CommandMap() const {
    static constexpr fw::CommandEntry kCommands[] = {
        {IDC_ADD_BROWSE, &fw::Command<&CAddPath::OnBrowse>},
        {IDC_ADD_OK, &fw::Command<&CAddPath::OnAddOk>},
        {IDC_ADD_ALWAYS_CONFIRM, &fw::Command<&CAddPath::OnOptionClicked>},
        {IDC_ADD_LIMIT_RETRY, &fw::Command<&CAddPath::OnOptionClicked>},
    };
    return kCommands;
}

void CAddPath::DoDataExchange(fw::DataExchange& exchange) {
    exchange.Text(IDC_ADD_PATH, m_strPath);
    exchange.Text(IDC_ADD_PASSWORD, m_strPassword);
    exchange.Text(IDC_ADD_CONFIRM, m_strConfirm);
    exchange.Radio(IDC_ADD_LEVEL_NONE, m_nCompress);
    exchange.Check(IDC_ADD_ALWAYS_CONFIRM, m_bAlwaysConfirm);
    exchange.Check(IDC_ADD_LIMIT_RETRY, m_bLimitRetry);
    exchange.Signed(IDC_ADD_RETRY_LIMIT, m_nRetryLimit);
}

BOOL CAddPath::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    UpdateOptionControls();
    return TRUE;
}

void CAddPath::OnOK() { OnAddOk(); }

void CAddPath::OnBrowse() {
    const std::u16string chosen = BrowseForFolder(m_hwnd);
    if (chosen.empty()) return;
    // The other entries keep what the user typed so far.
    if (!UpdateData(true)) return;
    m_strPath = chosen;
    UpdateData(false);
}

// Only the two boxes are read: a half-typed count must not raise its message on a click.
void CAddPath::OnOptionClicked() {
    m_bAlwaysConfirm = IsDlgButtonChecked(m_hwnd, IDC_ADD_ALWAYS_CONFIRM) == BST_CHECKED ? 1 : 0;
    m_bLimitRetry = IsDlgButtonChecked(m_hwnd, IDC_ADD_LIMIT_RETRY) == BST_CHECKED ? 1 : 0;
    UpdateOptionControls();
}

void CAddPath::UpdateOptionControls() {
    EnableWindow(Item(IDC_ADD_LIMIT_RETRY), m_bAlwaysConfirm != 0);
    EnableWindow(Item(IDC_ADD_RETRY_LIMIT), m_bAlwaysConfirm != 0 && m_bLimitRetry != 0);
}

UINT CAddPath::FirstRefusal(std::u16string& argument, std::u16string& second) const {
    // A path that does not fit the settings file would be listed cut, as another folder.
    if (!FolderPathFits(m_strPath) || !platform::IsDirectory(m_strPath)) return IDS_INVALID_PATH;
    if (IsSpecialFolder(m_strPath)) {
        argument = m_strPath;
        return IDS_SPECIAL_FOLDER;
    }
    if (m_strPassword.empty()) return IDS_WRONG_PASSWORD;
    // The watch list holds the ANSI form in 60 bytes: a longer one would be stored cut.
    if (!PasswordFitsWatchList(m_strPassword)) return IDS_PASSWORD_TOO_LONG;
    if (m_strPassword != m_strConfirm) return IDS_PASSWORDS_DIFFER;
    const ListedFolderCheck listed = CheckAgainstListed(m_strPath, m_listed);
    if (listed.holder != ListedFolderCheck::npos) {
        argument = m_strPath;
        second = m_listed[listed.holder];
        return IDS_FOLDER_ALREADY_LISTED;
    }
    return 0;
}

void CAddPath::OnAddOk() {
    if (!UpdateData(true)) return;
    std::u16string argument, second;
    const UINT refusal = FirstRefusal(argument, second);
    if (refusal == 0) {
        EndDialog(IDOK);
        return;
    }
    // The dialog stays open with the entries as typed.
    win32::ShowStringMessage(m_hwnd, refusal, MB_OK | MB_ICONEXCLAMATION, {argument, second});
}
