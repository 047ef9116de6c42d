#include "tamsel/Setup.h"

#include <utility>

#include "tamsel/TamselRes.h"
#include "win32/Resources.h"

namespace {

constexpr int kApplyButton = 0x3021;
constexpr int kHelpButton = 9;

// The button's top-left corner in the sheet's client coordinates, and its width.
POINT ButtonPlace(HWND sheet, HWND button, int& width) {
    RECT rect = {};
    GetWindowRect(button, &rect);
    width = rect.right - rect.left;
    POINT corner = {rect.left, rect.top};
    ScreenToClient(sheet, &corner);
    return corner;
}

void ShowButton(HWND sheet, int id, bool shown) {
    const HWND button = GetDlgItem(sheet, id);
    if (button == nullptr) return;
    ShowWindow(button, shown ? SW_SHOW : SW_HIDE);
    EnableWindow(button, shown ? TRUE : FALSE);
}

}  // namespace

CSetup::CSetup() : fw::PropertySheetDialog(win32::LoadResourceString(IDS_SETTINGS)) { AddPage(m_page); }

INT_PTR CSetup::Run(HWND owner) {
    const INT_PTR result = DoModal(owner);
    m_sheet = nullptr;
    return result;
}

void CSetup::OnInitialized(HWND sheet) {
    m_sheet = sheet;
    ShowButton(sheet, IDOK, true);
    ShowButton(sheet, IDCANCEL, true);
    ShowButton(sheet, kApplyButton, false);
    ShowButton(sheet, kHelpButton, false);
    RECT client = {};
    GetClientRect(sheet, &client);
    const int w = client.right - client.left;
    // The two buttons as a centred pair, each where it stood vertically.
    for (const auto& [id, left] : {std::pair{IDOK, -3}, std::pair{IDCANCEL, 1}}) {
        const HWND button = GetDlgItem(sheet, id);
        if (button == nullptr) continue;
        int b = 0;
        const POINT corner = ButtonPlace(sheet, button, b);
        SetWindowPos(button, nullptr, w / 2 + left * b / 2, corner.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}
