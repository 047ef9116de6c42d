// The erase-method dialog: the user picks one of the eight overwrite methods, confirms, and
// every path is erased in turn by an erase progress dialog.
#pragma once
#include <string>
#include <vector>

#include "corvik/erase/DeleteProgressDlg.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "securedelete/SecureDelete.h"

class CDeleteMethodDlg : public fw::Dialog {
public:
    // progressIds: the program's erase progress template and controls.
    CDeleteMethodDlg(const EraseProgressIds& progressIds, CSecureDelete& engine);

    std::vector<std::u16string> m_paths;

protected:
    void DoDataExchange(fw::DataExchange& exchange) override;
    BOOL OnInitDialog() override;
    // Enter does nothing.
    void OnOK() override {}
    std::span<const fw::CommandEntry> CommandMap() const override;

private:
    void OnErase();
    void OnCancelButton() { EndDialog(0); }

    fw::ComboBoxEx m_methodCombo;
    EraseProgressIds m_progressIds;
    CSecureDelete& m_engine;
};
