#include "tamsel/Setup.h"

#include <algorithm>
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
    ArrangeSheetButtons(sheet);
}

void ArrangeSheetButtons(HWND sheet) {
    ShowButton(sheet, IDOK, true);
    ShowButton(sheet, IDCANCEL, true);
    ShowButton(sheet, kApplyButton, false);
    ShowButton(sheet, kHelpButton, false);
    RECT client = {};
    GetClientRect(sheet, &client);
    const int w = client.right - client.left;
    for (const auto& [id, left] : {std::pair{IDOK, -3}, std::pair{IDCANCEL, 1}}) {
        const HWND button = GetDlgItem(sheet, id);
        if (button == nullptr) continue;
        int b = 0;
        const POINT corner = ButtonPlace(sheet, button, b);
        SetWindowPos(button, nullptr, w / 2 + left * b / 2, corner.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void GrowSheetToPage(HWND page, int templateWidth, int templateHeight) {
    const HWND sheet = GetParent(page);
    const HWND tabs = PropSheet_GetTabControl(sheet);
    RECT natural = {0, 0, templateWidth, templateHeight};
    if (tabs == nullptr || !MapDialogRect(page, &natural)) return;
    RECT display = {};
    GetWindowRect(tabs, &display);
    TabCtrl_AdjustRect(tabs, FALSE, &display);
    RECT placed = {};
    GetWindowRect(page, &placed);
    const int dx = std::max(0, static_cast<int>(placed.left + natural.right - display.right));
    const int dy = std::max(0, static_cast<int>(placed.top + natural.bottom - display.bottom));
    if (dx == 0 && dy == 0) return;
    const auto resize = [](HWND window, int width, int height) {
        SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    };
    const auto grow = [&](HWND window) {
        RECT rect = {};
        GetWindowRect(window, &rect);
        resize(window, rect.right - rect.left + dx, rect.bottom - rect.top + dy);
    };
    grow(sheet);
    grow(tabs);
    resize(page, natural.right, natural.bottom);
    for (int id : {IDOK, IDCANCEL, kApplyButton, kHelpButton}) {
        const HWND button = GetDlgItem(sheet, id);
        if (button == nullptr) continue;
        int b = 0;
        const POINT corner = ButtonPlace(sheet, button, b);
        SetWindowPos(button, nullptr, corner.x, corner.y + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ArrangeSheetButtons(sheet);
}
