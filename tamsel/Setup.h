// The settings sheet: one page, closed by OK or Cancel, which only close it.
#pragma once
#include "framework/PropertySheet.h"
#include "tamsel/Protect.h"

// OK and Cancel as a centred pair, each at its own height; Apply and Help hidden.
void ArrangeSheetButtons(HWND sheet);
// A sheet sizes its page in the sheet's own font; a page drawn in a wider font (Wine puts
// different faces behind the two) would be clipped. The sheet grows by what the page
// lacks, its buttons moving down with it.
void GrowSheetToPage(HWND page, int templateWidth, int templateHeight);

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
