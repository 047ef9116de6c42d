// The erase progress dialog: erases one path with the secure-delete engine on a worker
// thread, shows its percentage and closes by itself when the engine returns. Each program
// gives its own template and control ids.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "securedelete/SecureDelete.h"
#include "win32/Thread.h"

// 1 once the worker's erase has returned.
extern std::atomic<int32_t> g_deleteDone;

struct EraseProgressIds {
    UINT templateId;
    int progressId;
    int cancelId;
};

class CDeleteProgressDlg : public fw::Dialog {
public:
    CDeleteProgressDlg(const EraseProgressIds& ids, CSecureDelete& engine);

    void SetPathAndMethod(const std::u16string& path, int32_t method);

    // 1 once Cancel was pressed; read by the caller after the modal run.
    int32_t m_cancelled = 0;

    // Handed to the worker; lives as long as the dialog, which outlives the worker.
    struct DeleteWorkerParam {
        HWND m_window = nullptr;
        char16_t path[260] = {};
        int32_t method = 0;
        CSecureDelete* engine = nullptr;
    };

protected:
    void DoDataExchange(fw::DataExchange& exchange) override;
    BOOL OnInitDialog() override;
    // Enter does nothing; Escape acts as the Cancel button.
    void OnOK() override {}
    void OnCancel() override;
    void OnDestroy() override;
    std::span<const fw::MessageEntry> MessageMap() const override;
    std::span<const fw::CommandEntry> CommandMap() const override { return m_commands; }

private:
    LRESULT OnTimer(WPARAM, LPARAM);
    LRESULT OnClose(WPARAM, LPARAM);
    void OnCancelButton();

    EraseProgressIds m_ids;
    CSecureDelete& m_engine;
    fw::ProgressBar m_progress;
    std::u16string m_path;
    DeleteWorkerParam m_param;
    int32_t m_method = 0;
    win32::Thread m_worker;
    std::array<fw::CommandEntry, 1> m_commands;
};

unsigned __stdcall DeleteWorker(void* parameter);
