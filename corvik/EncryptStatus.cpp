#include "corvik/EncryptStatus.h"

#include "core/FrontEnd.h"
#include "core/ImageWriter.h"
#include "core/JobRecords.h"
#include "corvik/Corvik.h"
#include "corvik/CorvikRes.h"
#include "framework/Application.h"
#include "win32/Resources.h"

std::atomic<int32_t> g_encryptDone{0};

namespace {

constexpr UINT_PTR kTimerId = 101;
constexpr UINT kTimerPeriodMs = 200;
constexpr DWORD kDoneCheckMs = 100;
constexpr UINT kLastFrame = 0xFFFF;

}  // namespace

CEncryptStatus::CEncryptStatus() : fw::Dialog(IDD_ENCRYPT_STATUS) {}

std::span<const fw::MessageEntry> CEncryptStatus::MessageMap() const {
    static constexpr fw::MessageEntry kMessages[] = {
        {WM_TIMER, &fw::On<&CEncryptStatus::OnTimer>},
    };
    return kMessages;
}

std::span<const fw::CommandEntry> CEncryptStatus::CommandMap() const {
    static constexpr fw::CommandEntry kCommands[] = {
        {IDC_STATUS_CANCEL, &fw::Command<&CEncryptStatus::OnCancelButton>},
    };
    return kCommands;
}

void CEncryptStatus::DoDataExchange(fw::DataExchange& exchange) {
    exchange.Bind(IDC_ANIMATION, m_animation);
    exchange.Bind(IDC_STATUS_PROGRESS, m_progress);
    exchange.Text(IDC_CURRENT_FILE, m_currentFile);
}

BOOL CEncryptStatus::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    m_param.window = m_hwnd;
    m_progress.SetRange(0, 100);
    m_progress.SetStep(1);
    m_progress.SetPos(0);
    // The template's autoplay starts the clip looping as it opens; stopping it first makes
    // the single play below the only one.
    if (m_animation.Open(win32::ResourceModule(), IDR_PROGRESS_AVI)) {
        m_animation.Stop();
        m_animation.Play(0, kLastFrame, 1);
    }
    SetTimer(m_hwnd, kTimerId, kTimerPeriodMs, nullptr);
    m_timerId = static_cast<int32_t>(kTimerId);
    g_encryptDone = 0;
    // The job leaves the cancel flag as it finds it: this run starts without one.
    encryptCancel = 0;
    if (!fw::StartWorkerThread(m_worker, &EncryptWorker, &m_param)) {
        // No job runs: reported as a job that failed, and the dialog closes.
        ShowCoreMessage(CoreMessage::ImageCreateFailed);
        g_encryptDone = 1;
        PostMessageW(m_hwnd, WM_CLOSE, 0, 0);
    }
    return TRUE;
}

LRESULT CEncryptStatus::OnTimer(WPARAM, LPARAM) {
    const JobProgressSnapshot progress = TakeJobProgressSnapshot();
    m_currentFile = progress.currentFile;
    m_progress.SetPos(static_cast<int>(progress.percent));
    UpdateData(false);
    return 0;
}

void CEncryptStatus::OnCancelButton() { encryptCancel = 1; }

void CEncryptStatus::OnDestroy() {
    m_animation.Stop();
    m_animation.Close();
    KillTimer(m_hwnd, static_cast<UINT_PTR>(m_timerId));
    // The window never goes while the worker is inside the job. The flag is set on every
    // check: a cancel set before the worker entered the job is still seen by it.
    while (g_encryptDone.load() == 0) {
        encryptCancel = 1;
        Sleep(kDoneCheckMs);
    }
    m_worker.Join();
}

unsigned __stdcall EncryptWorker(void* parameter) {
    auto* param = static_cast<CEncryptStatus::EncryptWorkerParam*>(parameter);
    g_encryptDone = 0;
    const int32_t result = EncryptToImage(g_job);
    param->result = result;
    PostMessageW(param->window, WM_CLOSE, 0, 0);
    g_encryptDone = 1;
    return result != 0 ? 1 : 0;
}
