#include "tamsel/engine/Engine.h"

#include "platform/FileSystem.h"
#include "tamsel/engine/MonitorPass.h"
#include "tamsel/engine/RestoredFiles.h"
#include "tamsel/engine/Settings.h"
#include "tamsel/engine/WatchList.h"

void UpgradeSettingsAtStartUp() { UpgradeSettingFile(); }

void LoadWatchedFolders() {
    LoadSettings(g_monitorItems);
    for (const MONITOR_ITEM& item : g_monitorItems) AddWatchRecord(MakeWatchRecord(item));
}

void ExitEngine(bool firstInstance) {
    StopPasses();
    WaitForPass();
    g_monitorItems.clear();
    {
        std::lock_guard lock(g_restoredLock);
        g_restoredFiles.clear();
    }
    if (!firstInstance) return;
    std::lock_guard lock(g_watchLock);
    g_watchList.clear();
    for (const char16_t* tag : {u"DIDI", u"EIEI"}) {
        const std::u16string path = TempFilePath(tag);
        if (path.empty()) continue;
        platform::SetAttributes(path, platform::kAttrNormal);
        platform::RemoveFile(path);
    }
}
