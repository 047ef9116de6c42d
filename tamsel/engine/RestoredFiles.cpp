#include "tamsel/engine/RestoredFiles.h"

#include <vector>

#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "tamsel/engine/WatchList.h"

std::map<std::u16string, JournalRecord> g_restoredFiles;
std::mutex g_restoredLock;

namespace {

constexpr uint32_t kHiddenFile = platform::kAttrNormal | platform::kAttrHidden;

bool IsPlainFile(const std::u16string& path) {
    const uint32_t attributes = platform::GetAttributes(path);
    return attributes != platform::kInvalidAttributes && (attributes & platform::kAttrDirectory) == 0;
}

// False when the entry's file is gone. A file open elsewhere keeps or goes back to flag 0;
// a closed one saved after the recorded time gets flag 1.
bool Refresh(const std::u16string& path, JournalRecord& record) {
    platform::File file;
    platform::FileTimes times;
    // Read access is enough to learn whether anyone else has it open, and a read-only
    // restored file still opens. Only a failed open asks why, which most passes never do.
    if (file.Open(path, platform::Access::Read, platform::Share::None, platform::Disposition::OpenExisting)) {
        if (file.GetTimes(times) && times.write > record.writeTime) record.reserved = 1;
        return true;
    }
    if (!IsPlainFile(path)) return false;
    record.reserved = 0;
    return true;
}

std::vector<JournalRecord> ReadAndEmptyJournal(const std::u16string& path) {
    std::vector<JournalRecord> records;
    platform::File journal;
    if (!platform::OpenUnshared(journal, path, platform::Access::ReadWrite, platform::Disposition::OpenExisting)) {
        CreateJournal();
        return records;
    }
    for (;;) {
        JournalRecord record{};
        uint32_t done = 0;
        if (!journal.Read(&record, sizeof record, done) || done != sizeof record) break;
        records.push_back(record);
    }
    journal.Close();
    platform::RemoveFile(path);
    platform::File fresh;
    fresh.Open(path, platform::Access::ReadWrite, platform::Share::ReadWrite, platform::Disposition::CreateAlways,
               kHiddenFile);
    return records;
}

bool JournalIsEmpty(const std::u16string& path) {
    uint64_t size = 0;
    return platform::GetCurrentFileSize(path, size) && size == 0;
}

bool UnderWatchedFolder(const std::u16string& path, const std::vector<std::u16string>& folders) {
    for (const std::u16string& folder : folders) {
        if (path.compare(0, folder.size(), folder) == 0) return true;
    }
    return false;
}

}  // namespace

std::u16string JournalFile() { return TempFilePath(kJournalName); }

int32_t CreateJournal() {
    const std::u16string path = JournalFile();
    platform::File journal;
    return !path.empty() && platform::OpenUnshared(journal, path, platform::Access::ReadWrite,
                                                   platform::Disposition::CreateAlways, kHiddenFile) &&
                   journal.Close()
               ? 1
               : 0;
}

void AbsorbJournal() { AbsorbJournalAt(JournalFile()); }

void AbsorbJournalAt(const std::u16string& path) {
    if (path.empty()) return;
    // Runs for every candidate of every pass: an empty journal costs one lookup, and only a
    // journal with records pays for the watched folders' names.
    if (JournalIsEmpty(path)) return;
    if (!platform::Exists(path)) {
        CreateJournal();
        return;
    }
    const std::vector<JournalRecord> records = ReadAndEmptyJournal(path);
    std::vector<std::u16string> folders;
    for (const WATCH_RECORD& record : CopyWatchList()) {
        folders.push_back(platform::FromAnsi(AnsiText(record.szFolder, kAnsiPathBytes)));
    }
    std::lock_guard lock(g_restoredLock);
    for (const JournalRecord& record : records) {
        const std::u16string file = FieldText(record.path, kPathChars);
        if (!UnderWatchedFolder(file, folders)) continue;
        const auto [at, inserted] = g_restoredFiles.try_emplace(file, record);
        if (!inserted) {
            at->second.reserved = 0;
            at->second.writeTime = record.writeTime;
        }
    }
}

void RefreshRestoredFiles(const std::set<std::u16string>& lookedUp) {
    std::lock_guard lock(g_restoredLock);
    for (auto it = g_restoredFiles.begin(); it != g_restoredFiles.end();) {
        const bool keep = lookedUp.contains(it->first) || IsPlainFile(it->first);
        it = keep ? std::next(it) : g_restoredFiles.erase(it);
    }
}

RestoredState LookUpRestored(const std::u16string& path) {
    std::lock_guard lock(g_restoredLock);
    const auto found = g_restoredFiles.find(path);
    if (found == g_restoredFiles.end()) return RestoredState::NotListed;
    if (!Refresh(path, found->second)) {
        g_restoredFiles.erase(found);
        return RestoredState::NotListed;
    }
    return found->second.reserved == 0 ? RestoredState::LeavePlain : RestoredState::Encrypt;
}

void ForgetRestored(const std::u16string& path) {
    std::lock_guard lock(g_restoredLock);
    g_restoredFiles.erase(path);
}
