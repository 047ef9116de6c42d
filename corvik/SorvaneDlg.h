// The encryption dialog: password twice, compression level, erase afterwards; its Encrypt
// button checks the input, fills the job and runs progress and erase while it is hidden.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>

#include "common/Format.h"
#include "framework/Dialog.h"

class CSorvaneDlg : public fw::Dialog {
public:
    CSorvaneDlg();

    std::u16string m_sourcePath;
    std::u16string m_password;
    std::u16string m_confirm;
    int32_t m_deleteAfter = 0;
    int32_t m_compressLevel = 1;  // 0 none, 1 speed first, 2 ratio first

protected:
    void DoDataExchange(fw::DataExchange& exchange) override;
    // Enter does nothing.
    void OnOK() override {}
    void OnDestroy() override;
    std::span<const fw::CommandEntry> CommandMap() const override;

private:
    void OnEncrypt();
    void OnCancelButton() { EndDialog(1); }
    void OnOptions();
    // The id of the first message the input fails, 0 when it passes.
    UINT CheckInput(const std::u16string& imagePath) const;
    void ShowWarning(UINT id, std::initializer_list<FormatArg> args = {}) const;
};
