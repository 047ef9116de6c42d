#include "tamsel/RemoveFolder.h"

#include "tamsel/BusyJob.h"
#include "tamsel/TamselFrontEnd.h"
#include "tamsel/TamselRes.h"
#include "tamsel/engine/CoreJobs.h"
#include "tamsel/engine/WatchList.h"
#include "win32/MessageBox.h"

namespace {

// Restores the folder's images with the restore's questions (an overwrite may be cancelled),
// then gives the passes their own front end back.
void DecryptReleasedFolder(HWND window, const std::u16string& folder, const std::u16string& password) {
    CTamselFrontEnd restoring(CTamselFrontEnd::Job::Restore);
    CoreFrontEnd* const previous = EngineFrontEnd();
    SetEngineFrontEnd(&restoring);
    RunBusyJob(window, [&] { DecryptFolder(folder, password, 1); });
    SetEngineFrontEnd(previous);
}

}  // namespace

CRemoveFolder::CRemoveFolder(const MONITOR_ITEM& item) : fw::Dialog(IDD_REMOVE_FOLDER), m_item(item) {}

void CRemoveFolder::DoDataExchange(fw::DataExchange& exchange) {
    exchange.Check(IDC_REMOVE_DECRYPT_ALL, m_bDecryptAll);
    exchange.Text(IDC_REMOVE_FOLDER, m_strFolder);
    exchange.Text(IDC_REMOVE_PASSWORD, m_strPassword);
}

BOOL CRemoveFolder::OnInitDialog() {
    m_strFolder = ItemText(m_item.szPath, kFolderPathChars);
    return fw::Dialog::OnInitDialog();
}

void CRemoveFolder::OnOK() {
    if (!UpdateData(true)) return;
    if (m_strPassword != ItemText(m_item.szPassword, kItemPasswordChars)) {
        win32::ShowStringMessage(m_hwnd, IDS_WRONG_PASSWORD, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    RemoveWatchRecord(MakeFolderRecord(m_strFolder));
    if (m_bDecryptAll != 0) DecryptReleasedFolder(m_hwnd, m_strFolder, m_strPassword);
    EndDialog(IDOK);
}
