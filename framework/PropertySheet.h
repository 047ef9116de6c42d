// Property sheets of dialog-template pages. A page is a Dialog whose OK is the sheet's:
// leaving the page or pressing OK saves it, and a value that fails its check keeps the
// sheet open on that page.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "framework/Dialog.h"

namespace fw {

class PropertyPage : public Dialog {
public:
    explicit PropertyPage(UINT templateId) noexcept : Dialog(templateId) {}

    // The page's description for PropertySheetW, bound to this object.
    PROPSHEETPAGEW Describe() const noexcept;

protected:
    // OK or Apply of the sheet: false keeps the sheet open on this page.
    virtual bool OnApply() { return UpdateData(true); }
    // Leaving the page for another: false keeps it.
    virtual bool OnKillActive() { return UpdateData(true); }
    virtual void OnReset() {}

private:
    static INT_PTR CALLBACK PageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleNotify(const NMHDR& header);
};

class PropertySheetDialog {
public:
    explicit PropertySheetDialog(std::u16string caption) : m_caption(std::move(caption)) {}
    virtual ~PropertySheetDialog() = default;
    PropertySheetDialog(const PropertySheetDialog&) = delete;
    PropertySheetDialog& operator=(const PropertySheetDialog&) = delete;

    // The page stays the caller's and must outlive DoModal.
    void AddPage(PropertyPage& page) { m_pages.push_back(&page); }
    // Runs the sheet modally: IDOK when OK applied every page, IDCANCEL otherwise, -1 when
    // it failed to open.
    INT_PTR DoModal(HWND owner = nullptr);

protected:
    // The sheet's window exists, its pages are not yet made (PSCB_INITIALIZED): the place to
    // hide or move its buttons.
    virtual void OnInitialized(HWND /*sheet*/) {}

private:
    static int CALLBACK SheetCallback(HWND sheet, UINT message, LPARAM lParam);
    friend class PropertyPage;

    std::u16string m_caption;
    bool m_okApplied = false;
    std::vector<PropertyPage*> m_pages;
};

}  // namespace fw
