// The settings' one page: the auto-encryption folders with their compression, and the
// commands that add and release a folder. Each command takes effect at once.
#pragma once
#include <string>

#include "framework/Controls.h"
#include "framework/PropertySheet.h"
#include "tamsel/engine/MonitorRecords.h"

class CListView : public fw::Control {
public:
    int Count() const noexcept { return static_cast<int>(Send(LVM_GETITEMCOUNT)); }
    int FirstSelected() const noexcept { return static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)); }
    std::u16string ItemText(int row, int column, size_t maxChars) const;
    // Inserts a row with its text and image; the row's index (the list may sort it), or -1.
    int InsertItem(int row, const std::u16string& text, int image) const;
    void SetItemText(int row, int column, const std::u16string& text) const;
    bool DeleteItem(int row) const noexcept { return Send(LVM_DELETEITEM, static_cast<WPARAM>(row)) != 0; }
};

class CProtect : public fw::PropertyPage {
public:
    CProtect();
    // The list view destroys its image list with itself (it is not shared).
    ~CProtect() override = default;

protected:
    void DoDataExchange(fw::DataExchange& exchange) override;
    BOOL OnInitDialog() override;
    std::span<const fw::CommandEntry> CommandMap() const override;

private:
    void OnAddFolder();
    void OnReleaseFolder();
    void InsertFolderRow(const MONITOR_ITEM& item);
    void TakeOffWatchListInside(const std::u16string& folder);

    HIMAGELIST m_imageList = nullptr;
    CListView m_list;
};
