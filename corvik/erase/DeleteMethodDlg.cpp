#include "corvik/erase/DeleteMethodDlg.h"

#include "corvik/erase/DeleteMethodRes.h"
#include "win32/MessageBox.h"
#include "win32/Resources.h"

namespace {

constexpr int kMethodCount = 8;
constexpr int kFirstSelected = Nsa;
constexpr size_t kMaxNameChars = 259;

}  // namespace

CDeleteMethodDlg::CDeleteMethodDlg(const EraseProgressIds& progressIds, CSecureDelete& engine)
    : fw::Dialog(IDD_DELETE_METHOD), m_progressIds(progressIds), m_engine(engine) {}

std::span<const fw::CommandEntry> CDeleteMethodDlg::CommandMap() const {
    static constexpr fw::CommandEntry kCommands[] = {
        {IDC_ERASE, &fw::Command<&CDeleteMethodDlg::OnErase>},
        {IDC_METHOD_CANCEL, &fw::Command<&CDeleteMethodDlg::OnCancelButton>},
    };
    return kCommands;
}

void CDeleteMethodDlg::DoDataExchange(fw::DataExchange& exchange) { exchange.Bind(IDC_METHOD_COMBO, m_methodCombo); }

BOOL CDeleteMethodDlg::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    for (int method = 0; method < kMethodCount; ++method) {
        std::u16string name = win32::LoadResourceString(IDS_FIRST_METHOD_NAME + method);
        if (name.size() > kMaxNameChars) name.resize(kMaxNameChars);
        const int index = m_methodCombo.InsertItem(method, name);
        m_methodCombo.SetItemData(index, method);
    }
    m_methodCombo.SetCurSel(kFirstSelected);
    return TRUE;
}

void CDeleteMethodDlg::OnErase() {
    if (!UpdateData(true)) return;
    if (win32::ShowStringMessage(m_hwnd, IDS_ERASE_QUESTION, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    const int selected = m_methodCombo.CurSel();
    if (selected < 0) return;
    const auto method = static_cast<int32_t>(m_methodCombo.ItemData(selected));
    ShowWindow(m_hwnd, SW_HIDE);
    for (const std::u16string& path : m_paths) {
        CDeleteProgressDlg progress(m_progressIds, m_engine);
        progress.SetPathAndMethod(path, method);
        progress.DoModal(nullptr);
        if (progress.m_cancelled != 0) break;
    }
    EndDialog(1);
}
