// The settings file "MonitorSetting.dat" of monitored folders and the folder list that
// mirrors it. Every function returns 1 or 0 and shows nothing; only the user-interface
// thread calls them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tamsel/engine/MonitorRecords.h"

// The folder list in file order.
extern std::vector<MONITOR_ITEM> g_monitorItems;

// <application data>\AutoEncryption\MonitorSetting.dat, creating the folder when missing.
int32_t GetSettingPath(std::u16string& path);
// The file carries the exact magic at offset 8; version and header size are not examined.
int32_t IsSettingFile(const std::u16string& path);
// An empty settings file: the header with no items.
int32_t CreateSettingFile(const std::u16string& path);
// Items read so far stay in the list when the file ends early.
int32_t LoadSettings(std::vector<MONITOR_ITEM>& items);
// Rewrites the whole file.
int32_t SaveSettings(const std::vector<MONITOR_ITEM>& items);
// Converts a file of the previous layout (magic at 0, count at 520) in place; every item's
// compression becomes 0. A missing or current file is left alone (1).
int32_t UpgradeSettingFile();
