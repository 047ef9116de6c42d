// The options dialog: the usage limits stored in the image (expiry date, number of
// decryptions, number of wrong passwords), all under one enable box.
#pragma once
#include <cstdint>

#include "core/JobRecords.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"

class CEncryptOption : public fw::Dialog {
public:
    CEncryptOption();

    // The seven values the dialog edits; one-byte flags widen on the way in and keep their
    // low byte on the way back; the counters and the issue time are never touched.
    void LoadFrom(const ImageOptions& options);
    void StoreInto(ImageOptions& options) const;

    fw::Edit m_countEdit;
    fw::SpinButton m_countSpin;
    int32_t m_decryptLimitEnabled = 0;
    int32_t m_expiryEnabled = 0;
    int64_t m_expiryTime = 0;  // seconds since 1970-01-01 UTC
    uint32_t m_decryptLimit = 1;
    int32_t m_optionsEnabled = 0;
    int32_t m_errorLimitEnabled = 0;
    int32_t m_maxErrorCount = 3;

protected:
    void DoDataExchange(fw::DataExchange& exchange) override;
    BOOL OnInitDialog() override;
    std::span<const fw::CommandEntry> CommandMap() const override;

private:
    void OnOptionsEnabled();
    // The enable box alone enables or disables the seven option controls.
    void UpdateOptionControls();
};
