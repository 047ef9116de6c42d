#include "corvik/erase/DeleteProgressDlg.h"

#include "core/JobRecords.h"
#include "framework/Application.h"

std::atomic<int32_t> g_deleteDone{0};

namespace {

constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTimerPeriodMs = 100;

}  // namespace

CDeleteProgressDlg::CDeleteProgressDlg(const EraseProgressIds& ids, CSecureDelete& engine)
    : fw::Dialog(ids.templateId),
      m_ids(ids),
      m_engine(engine),
      m_commands{{{static_cast<UINT>(ids.cancelId), &fw::Command<&CDeleteProgressDlg::OnCancelButton>}}} {}

void CDeleteProgressDlg::SetPathAndMethod(const std::u16string& path, int32_t method) {
    m_path = path;
    m_method = method;
}

std::span<const fw::MessageEntry> CDeleteProgressDlg::MessageMap() const {
    static constexpr fw::MessageEntry kMessages[] = {
        {WM_TIMER, &fw::On<&CDeleteProgressDlg::OnTimer>},
        {WM_CLOSE, &fw::On<&CDeleteProgressDlg::OnClose>},
    };
    return kMessages;
}

void CDeleteProgressDlg::DoDataExchange(fw::DataExchange& exchange) { exchange.Bind(m_ids.progressId, m_progress); }

BOOL CDeleteProgressDlg::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    m_progress.SetRange(0, 100);
    m_progress.SetPos(0);
    m_cancelled = 0;
    g_deleteDone = 0;
    SetTimer(m_hwnd, kTimerId, kTimerPeriodMs, nullptr);
    m_param.m_window = m_hwnd;
    CopyToField(m_param.path, kPathChars, m_path);
    m_param.method = m_method;
    m_param.engine = &m_engine;
    if (!fw::StartWorkerThread(m_worker, &DeleteWorker, &m_param)) {
        // Nothing runs: the dialog closes as if the erase had ended at once.
        g_deleteDone = 1;
        PostMessageW(m_hwnd, WM_CLOSE, 0, 0);
    }
    return TRUE;
}

LRESULT CDeleteProgressDlg::OnTimer(WPARAM, LPARAM) {
    // Run clears the engine's flag as it starts: a cancel pressed before that is set again.
    if (m_cancelled != 0 && g_deleteDone.load() == 0) m_engine.m_cancel = 1;
    m_progress.SetPos(m_engine.GetPercent());
    return 0;
}

void CDeleteProgressDlg::OnCancelButton() {
    m_cancelled = 1;
    m_engine.m_cancel = 1;
}

// The worker's close request ends the dialog; before it, Escape and the close box only cancel.
void CDeleteProgressDlg::OnCancel() {
    if (g_deleteDone.load() != 0) {
        EndDialog(IDCANCEL);
    } else {
        OnCancelButton();
    }
}

LRESULT CDeleteProgressDlg::OnClose(WPARAM, LPARAM) {
    OnCancel();
    return 0;
}

void CDeleteProgressDlg::OnDestroy() {
    KillTimer(m_hwnd, kTimerId);
    // The worker has posted its close request and only returns now; it must be gone before
    // its parameter record is.
    m_worker.Join();
}

unsigned __stdcall DeleteWorker(void* parameter) {
    auto* param = static_cast<CDeleteProgressDlg::DeleteWorkerParam*>(parameter);
    param->engine->Run(FieldText(param->path, kPathChars), param->method);
    const HWND window = param->m_window;
    g_deleteDone = 1;
    PostMessageW(window, WM_CLOSE, 0, 0);
    return 0;
}
