// Files just restored into a monitored folder, learnt from the journal "DIDI": the pass
// leaves them plain until they have been saved with a newer time and closed.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <mutex>
#include <string>

#include "core/Journal.h"

// JournalRecord::reserved is the "changed" flag: 0 leave the file plain, 1 encrypt it.
extern std::map<std::u16string, JournalRecord> g_restoredFiles;
// Guards g_restoredFiles; never held together with g_watchLock or g_jobLock.
extern std::mutex g_restoredLock;

// The journal, created empty (11 tries, 10 ms apart) and closed at once.
int32_t CreateJournal();
// Moves the journal's records under a watched folder into g_restoredFiles and empties the
// journal. An empty journal is only looked at, not reopened.
void AbsorbJournal();
// The same with the journal's path found once by the caller (a pass has thousands of
// candidates and one temporary folder).
void AbsorbJournalAt(const std::u16string& journal);
std::u16string JournalFile();
// Drops the entries whose file is gone; once per pass, after it. The entries looked up
// during the pass were brought up to date then (a lookup drops a vanished file itself), so
// only the others are looked at.
void RefreshRestoredFiles(const std::set<std::u16string>& lookedUp);

enum class RestoredState { NotListed, LeavePlain, Encrypt };
// Re-examines the path's own entry, if any, and says what the pass does with it.
RestoredState LookUpRestored(const std::u16string& path);
void ForgetRestored(const std::u16string& path);
