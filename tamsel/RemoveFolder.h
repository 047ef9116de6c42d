// The dialog that releases an auto-encryption folder: the folder's password, and whether
// its images are decrypted now. On OK the folder leaves the watch list at once.
#pragma once
#include <cstdint>
#include <string>

#include "framework/Dialog.h"
#include "tamsel/engine/MonitorRecords.h"

class CRemoveFolder : public fw::Dialog {
public:
    explicit CRemoveFolder(const MONITOR_ITEM& item);

    MONITOR_ITEM m_item;
    int32_t m_bDecryptAll = 0;
    std::u16string m_strFolder;
    std::u16string m_strPassword;

protected:
    void DoDataExchange(fw::DataExchange& exchange) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
};
