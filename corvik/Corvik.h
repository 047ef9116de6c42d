// Corvik, the dialog program: the process-wide objects its dialogs and workers share.
#pragma once
#include <atomic>
#include <cstdint>

#include "core/JobRecords.h"
#include "corvik/erase/DeleteProgressDlg.h"
#include "securedelete/SecureDelete.h"

// Constructed in this order before instance initialisation.
extern CSecureDelete g_secureDelete;
extern CEncryptInfo g_job;

// 0 while the encryption worker is inside the job, 1 once it has returned.
extern std::atomic<int32_t> g_encryptDone;

// Corvik's erase progress template and controls.
extern const EraseProgressIds kCorvikEraseProgress;
