// The encryption progress dialog: runs the job on a worker thread, shows the file in hand
// and the percentage, and closes by itself when the job has ended.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "win32/Thread.h"

class CEncryptStatus : public fw::Dialog {
public:
    CEncryptStatus();

    // The job's result as the worker returned it (1 success, 0 failure or cancel); read
    // after the modal run. A worker that could not start counts as a failed job.
    int32_t JobResult() const noexcept { return m_param.result.load(); }

    // Handed to the worker: the window to close and where the result goes.
    struct EncryptWorkerParam {
        HWND window = nullptr;
        std::atomic<int32_t> result{0};
    };

protected:
    void DoDataExchange(fw::DataExchange& exchange) override;
    BOOL OnInitDialog() override;
    // Enter does nothing.
    void OnOK() override {}
    void OnDestroy() override;
    std::span<const fw::MessageEntry> MessageMap() const override;
    std::span<const fw::CommandEntry> CommandMap() const override;

private:
    LRESULT OnTimer(WPARAM, LPARAM);
    void OnCancelButton();

    int32_t m_timerId = 0;
    fw::Animation m_animation;
    fw::ProgressBar m_progress;
    std::u16string m_currentFile;
    EncryptWorkerParam m_param;
    win32::Thread m_worker;
};

unsigned __stdcall EncryptWorker(void* parameter);
