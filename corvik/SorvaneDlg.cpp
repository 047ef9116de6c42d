#include "corvik/SorvaneDlg.h"

#include "core/JobRecords.h"
#include "corvik/CommandLine.h"
#include "corvik/Corvik.h"
#include "corvik/CorvikRes.h"
#include "corvik/EncryptOption.h"
#include "corvik/EncryptStatus.h"
#include "corvik/erase/DeleteMethodDlg.h"
#include "platform/FileSystem.h"
#include "platform/Secret.h"
#include "win32/MessageBox.h"

namespace {

// The image path and the source are one item whatever the spelling (letter case, short
// names): encrypting into it would replace the source.
bool NamesTheSource(const std::u16string& imagePath, const std::u16string& source) {
    platform::FileIdentity image;
    platform::FileIdentity original;
    platform::FileKind kind = platform::FileKind::Regular;
    return platform::GetFileIdentity(imagePath, image, kind) && platform::GetFileIdentity(source, original, kind) &&
           image == original;
}

}  // namespace

CSorvaneDlg::CSorvaneDlg() : fw::Dialog(IDD_SORVANE) {}

std::span<const fw::CommandEntry> CSorvaneDlg::CommandMap() const {
    static constexpr fw::CommandEntry kCommands[] = {
        {IDC_ENCRYPT, &fw::Command<&CSorvaneDlg::OnEncrypt>},
        {IDC_SORVANE_CANCEL, &fw::Command<&CSorvaneDlg::OnCancelButton>},
        {IDC_OPTIONS, &fw::Command<&CSorvaneDlg::OnOptions>},
    };
    return kCommands;
}

void CSorvaneDlg::DoDataExchange(fw::DataExchange& exchange) {
    exchange.Text(IDC_PASSWORD, m_password);
    exchange.Text(IDC_CONFIRM, m_confirm);
    exchange.Check(IDC_ERASE_AFTER, m_deleteAfter);
    exchange.Radio(IDC_LEVEL_NONE, m_compressLevel);
}

void CSorvaneDlg::ShowWarning(UINT id, std::initializer_list<FormatArg> args) const {
    win32::ShowStringMessage(m_hwnd, id, MB_OK | MB_ICONEXCLAMATION, args);
}

UINT CSorvaneDlg::CheckInput(const std::u16string& imagePath) const {
    if (m_password != m_confirm) return IDS_PASSWORDS_DIFFER;
    if (m_password.empty()) return IDS_PASSWORD_EMPTY;
    if (m_password.size() > kPasswordChars) return IDS_PASSWORD_TOO_LONG;
    if (platform::IsDirectory(imagePath) || NamesTheSource(imagePath, m_sourcePath)) return IDS_IMAGE_NOT_OPENED;
    return 0;
}

void CSorvaneDlg::OnEncrypt() {
    if (!UpdateData(true)) return;
    const std::u16string imagePath = MakeImagePath(m_sourcePath);
    const UINT refusal = CheckInput(imagePath);
    if (refusal == IDS_IMAGE_NOT_OPENED) {
        ShowWarning(refusal, {imagePath});
        return;
    }
    if (refusal != 0) {
        ShowWarning(refusal);
        return;
    }

    g_job.m_sources.clear();
    g_job.m_sources.push_back(m_sourcePath);
    g_job.m_password = m_password;
    g_job.m_compressLevel = m_compressLevel;
    g_job.m_imagePath = imagePath;

    ShowWindow(m_hwnd, SW_HIDE);
    int32_t jobResult = 0;
    {
        CEncryptStatus status;
        status.DoModal(nullptr);
        jobResult = status.JobResult();
    }
    platform::WipeSecret(g_job.m_password);
    if (m_deleteAfter != 0 && jobResult == 1) {
        CDeleteMethodDlg erase(kCorvikEraseProgress, g_secureDelete);
        erase.m_paths = g_job.m_sources;
        erase.DoModal(nullptr);
    }
    EndDialog(1);
}

void CSorvaneDlg::OnOptions() {
    CEncryptOption options;
    options.LoadFrom(g_job.m_options);
    if (options.DoModal(nullptr) == 1) options.StoreInto(g_job.m_options);
}

void CSorvaneDlg::OnDestroy() {
    platform::WipeSecret(m_password);
    platform::WipeSecret(m_confirm);
}
