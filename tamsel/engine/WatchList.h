// The watch list: the monitored folders the pass works from, and the file "EIEI" through
// which the other programs of the suite learn of them.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "tamsel/engine/MonitorRecords.h"

extern std::vector<WATCH_RECORD> g_watchList;
// Guards g_watchList and every write of "EIEI"; never held together with g_restoredLock.
extern std::mutex g_watchLock;

// The long temporary folder with the tag appended ("EIEI", "DIDI", "TMTE"); empty when
// there is no temporary folder.
std::u16string TempFilePath(std::u16string_view tag);

// Appends the record and rewrites "EIEI".
int32_t AddWatchRecord(const WATCH_RECORD& record);
// Removes the first record of the same folder (ANSI text, case folded) and rewrites "EIEI",
// also when nothing was removed.
int32_t RemoveWatchRecord(const WATCH_RECORD& record);
// How many removals the list has seen. A pass works from a copy of the list; once this
// count moves on, the copy may still name a folder the user released since.
uint32_t WatchListRemovals();
// A copy of the list, taken under the lock.
std::vector<WATCH_RECORD> CopyWatchList();
