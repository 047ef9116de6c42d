#include "framework/PropertySheet.h"

#include "win32/Resources.h"
#include "win32/WideText.h"

namespace fw {

namespace {

// The sheet running (sheets run on the user-interface thread only): the sheet
// callback carries no pointer of its own.
PropertySheetDialog* g_openingSheet = nullptr;

}  // namespace

PROPSHEETPAGEW PropertyPage::Describe() const noexcept {
    PROPSHEETPAGEW page = {};
    page.dwSize = sizeof page;
    page.hInstance = win32::ResourceModule();
    page.pszTemplate = MAKEINTRESOURCEW(TemplateId());
    page.pfnDlgProc = &PropertyPage::PageProc;
    page.lParam = reinterpret_cast<LPARAM>(this);
    return page;
}

INT_PTR PropertyPage::HandleNotify(const NMHDR& header) {
    LRESULT result = FALSE;
    switch (header.code) {
    case PSN_APPLY: {
        const bool applied = OnApply();
        result = applied ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE;
        // lParam TRUE: the sheet closes after this (OK), rather than staying open (Apply).
        const bool closing = reinterpret_cast<const PSHNOTIFY&>(header).lParam != FALSE;
        if (g_openingSheet != nullptr && closing) g_openingSheet->m_okApplied = applied;
        break;
    }
    case PSN_KILLACTIVE:
        result = OnKillActive() ? FALSE : TRUE;
        break;
    case PSN_RESET:
        OnReset();
        break;
    default:
        return FALSE;
    }
    SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR CALLBACK PropertyPage::PageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        const auto* description = reinterpret_cast<const PROPSHEETPAGEW*>(lParam);
        Bind(hwnd, reinterpret_cast<PropertyPage*>(description->lParam));
    }
    auto* page = reinterpret_cast<PropertyPage*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (page == nullptr) return FALSE;
    INT_PTR handled = FALSE;
    try {
        // OK, Cancel and Escape belong to the sheet, not to the page.
        if (message == WM_NOTIFY) {
            handled = page->HandleNotify(*reinterpret_cast<const NMHDR*>(lParam));
        } else if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
            handled = FALSE;
        } else {
            handled = page->HandleMessage(message, wParam, lParam);
        }
    } catch (...) {
        page->OnException();
        handled = TRUE;
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        page->m_hwnd = nullptr;
    }
    return handled;
}

INT_PTR PropertySheetDialog::DoModal(HWND owner) {
    std::vector<PROPSHEETPAGEW> pages;
    for (const PropertyPage* page : m_pages) pages.push_back(page->Describe());
    PROPSHEETHEADERW header = {};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_USECALLBACK | PSH_NOAPPLYNOW;
    header.hwndParent = owner;
    header.hInstance = win32::ResourceModule();
    header.pszCaption = win32::Wide(m_caption);
    header.nPages = static_cast<UINT>(pages.size());
    header.ppsp = pages.data();
    header.pfnCallback = &PropertySheetDialog::SheetCallback;
    PropertySheetDialog* const outer = g_openingSheet;
    g_openingSheet = this;
    m_okApplied = false;
    const INT_PTR result = ::PropertySheetW(&header);
    g_openingSheet = outer;
    if (result < 0) return -1;
    return m_okApplied ? IDOK : IDCANCEL;
}

int CALLBACK PropertySheetDialog::SheetCallback(HWND sheet, UINT message, LPARAM) {
    if (message == PSCB_INITIALIZED && g_openingSheet != nullptr) {
        try {
            g_openingSheet->OnInitialized(sheet);
        } catch (...) {
            MessageBeep(MB_ICONERROR);
        }
    }
    return 0;
}

}  // namespace fw
