// The settings sheet: one page, closed by OK or Cancel, which only close it.
#pragma once
#include "framework/PropertySheet.h"
#include "tamsel/Protect.h"

class CSetup : public fw::PropertySheetDialog {
public:
    CSetup();

    // The sheet's window while it is shown, so that a second request brings it forward.
    HWND Window() const noexcept { return m_sheet; }
    INT_PTR Run(HWND owner);

protected:
    void OnInitialized(HWND sheet) override;

private:
    CProtect m_page;
    HWND m_sheet = nullptr;
};
