#include "tamsel/Protect.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "tamsel/AddPath.h"
#include "tamsel/BusyJob.h"
#include "tamsel/RemoveFolder.h"
#include "tamsel/Setup.h"
#include "tamsel/TamselRes.h"
#include "tamsel/engine/CoreJobs.h"
#include "tamsel/engine/FolderRules.h"
#include "tamsel/engine/Settings.h"
#include "tamsel/engine/WatchList.h"
#include "win32/MessageBox.h"
#include "win32/Resources.h"
#include "win32/WideText.h"

namespace {

constexpr int kFolderImage = 1;
// The page template's size in dialog units.
constexpr int kPageWidth = 231;
constexpr int kPageHeight = 164;
constexpr size_t kRowTextChars = 260;
constexpr COLORREF kImageMask = RGB(0, 255, 0);

// The levels the list can name; any other is shown and stored as no compression.
uint32_t KnownLevel(uint32_t level) { return level == 1 || level == 2 ? level : 0; }

UINT LevelText(uint32_t level) {
    switch (KnownLevel(level)) {
    case 1:
        return IDS_LEVEL_FAST;
    case 2:
        return IDS_LEVEL_HIGH;
    default:
        return IDS_LEVEL_NONE;
    }
}

bool SameFolderText(const std::u16string& a, const std::u16string& b) {
    return CompareStringOrdinal(win32::Wide(a), static_cast<int>(a.size()), win32::Wide(b), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

void InsertColumn(HWND list, int index, int format, int width, UINT heading) {
    std::u16string text = win32::LoadResourceString(heading);
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = format;
    column.cx = width;
    column.pszText = win32::Wide(text);
    column.iSubItem = index;
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

}  // namespace

std::u16string CListView::ItemText(int row, int column, size_t maxChars) const {
    std::vector<wchar_t> buffer(maxChars + 1, L'\0');
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(buffer.size());
    const auto length = static_cast<size_t>(Send(LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
    return win32::FromWide(buffer.data(), std::min(length, maxChars));
}

int CListView::InsertItem(int row, const std::u16string& text, int image) const {
    std::u16string copy = text;
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = row;
    item.pszText = win32::Wide(copy);
    item.iImage = image;
    return static_cast<int>(Send(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void CListView::SetItemText(int row, int column, const std::u16string& text) const {
    std::u16string copy = text;
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = win32::Wide(copy);
    Send(LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

CProtect::CProtect() : fw::PropertyPage(IDD_PROTECT) {}

std::span<const fw::CommandEntry> CProtect::CommandMap() const {
    static constexpr fw::CommandEntry kCommands[] = {
        {IDC_ADD_FOLDER, &fw::Command<&CProtect::OnAddFolder>},
        {IDC_RELEASE_FOLDER, &fw::Command<&CProtect::OnReleaseFolder>},
    };
    return kCommands;
}

void CProtect::DoDataExchange(fw::DataExchange& exchange) { exchange.Bind(IDC_FOLDER_LIST, m_list); }

BOOL CProtect::OnInitDialog() {
    fw::PropertyPage::OnInitDialog();
    GrowSheetToPage(m_hwnd, kPageWidth, kPageHeight);
    RECT client = {};
    GetClientRect(m_list.Handle(), &client);
    const int width = client.right - client.left;
    InsertColumn(m_list.Handle(), 0, LVCFMT_LEFT, (width / 3) * 2, IDS_PATH_LIST);
    InsertColumn(m_list.Handle(), 1, LVCFMT_LEFT, width / 3, IDS_COMPRESS_LEVEL);
    m_imageList = ImageList_LoadImageW(win32::ResourceModule(), MAKEINTRESOURCEW(IDB_FOLDERS), 16, 0, kImageMask,
                                       IMAGE_BITMAP, LR_CREATEDIBSECTION);
    if (m_imageList != nullptr) m_list.Send(LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(m_imageList));
    for (MONITOR_ITEM& item : g_monitorItems) {
        item.dwCompress = KnownLevel(item.dwCompress);
        InsertFolderRow(item);
    }
    return TRUE;
}

void CProtect::InsertFolderRow(const MONITOR_ITEM& item) {
    // The list sorts its rows: the new row's index is the one it reports.
    const int row = m_list.InsertItem(m_list.Count(), ItemText(item.szPath, kFolderPathChars), kFolderImage);
    if (row >= 0) m_list.SetItemText(row, 1, win32::LoadResourceString(LevelText(item.dwCompress)));
}

void CProtect::OnAddFolder() {
    CAddPath dialog;
    for (int row = 0; row < m_list.Count(); ++row) dialog.m_listed.push_back(m_list.ItemText(row, 0, kRowTextChars));
    if (dialog.DoModal(GetParent(m_hwnd)) != IDOK) return;
    const ListedFolderCheck listed = CheckAgainstListed(dialog.m_strPath, dialog.m_listed);
    if (listed.holder != ListedFolderCheck::npos) return;
    // A folder inside the new one keeps its row and settings; the new folder's watch covers it.
    for (size_t inside : listed.inside) RemoveWatchRecord(MakeFolderRecord(dialog.m_listed[inside]));

    const uint32_t level = KnownLevel(static_cast<uint32_t>(dialog.m_nCompress));
    const MONITOR_ITEM item = MakeMonitorItem(dialog.m_strPath, dialog.m_strPassword, level, dialog.m_bAlwaysConfirm != 0,
                                              dialog.m_bLimitRetry != 0, static_cast<uint32_t>(dialog.m_nRetryLimit));
    AddWatchRecord(MakeWatchRecord(item));
    InsertFolderRow(item);
    g_monitorItems.push_back(item);
    // A failed save leaves the folder listed and watched for this run.
    SaveSettings(g_monitorItems);

    const HWND sheet = GetParent(m_hwnd);
    if (win32::ShowStringMessage(sheet, IDS_ENCRYPT_NEW_FOLDER, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    const std::u16string folder = dialog.m_strPath;
    const std::u16string password = dialog.m_strPassword;
    RunBusyJob(m_hwnd, [&] { EncryptFolder(folder, password, 1, level, item.bLimitRetry, item.dwRetryLimit); });
}

void CProtect::OnReleaseFolder() {
    const HWND sheet = GetParent(m_hwnd);
    if (m_list.Count() == 0) {
        win32::ShowStringMessage(sheet, IDS_LIST_EMPTY, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    const int row = m_list.FirstSelected();
    if (row < 0) {
        win32::ShowStringMessage(sheet, IDS_SELECT_ITEM, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    const std::u16string text = m_list.ItemText(row, 0, kRowTextChars);
    size_t index = 0;
    while (index < g_monitorItems.size() && !SameFolderText(ItemText(g_monitorItems[index].szPath, kFolderPathChars), text)) {
        ++index;
    }
    if (index == g_monitorItems.size()) return;
    CRemoveFolder dialog(g_monitorItems[index]);
    if (dialog.DoModal(sheet) != IDOK) return;
    g_monitorItems.erase(g_monitorItems.begin() + static_cast<std::ptrdiff_t>(index));
    // The item has left the list already; the row stays to show the settings file still has it.
    if (!SaveSettings(g_monitorItems)) return;
    m_list.DeleteItem(row);
}
