// The dialog that asks for a new auto-encryption folder, its password and options. It ends
// with OK only once the entries pass every check; the folder itself is added by the page.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "framework/Dialog.h"

class CAddPath : public fw::Dialog {
public:
    CAddPath();

    std::u16string m_strPath;
    std::u16string m_strPassword;
    std::u16string m_strConfirm;
    int32_t m_nCompress = 1;
    int32_t m_bAlwaysConfirm = 0;
    int32_t m_bLimitRetry = 0;
    int32_t m_nRetryLimit = 3;
    // The folders listed now: a folder that equals or lies in one of them is refused.
    std::vector<std::u16string> m_listed;

protected:
    void DoDataExchange(fw::DataExchange& exchange) override;
    BOOL OnInitDialog() override;
    // Enter: the same checks as the OK button, never an unchecked end.
    void OnOK() override;
    std::span<const fw::CommandEntry> CommandMap() const override;

private:
    void OnBrowse();
    void OnAddOk();
    void OnOptionClicked();
    void UpdateOptionControls();
    // The message that refuses the entries (0 and empty when they pass).
    UINT FirstRefusal(std::u16string& argument, std::u16string& second) const;
};
