#include "tamsel/engine/MonitorPass.h"

#include <set>

#include "core/JobRecords.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "tamsel/engine/CoreJobs.h"
#include "tamsel/engine/FolderChanges.h"
#include "tamsel/engine/LastingWorker.h"
#include "tamsel/engine/PassMessages.h"
#include "tamsel/engine/RestoredFiles.h"
#include "tamsel/engine/WatchList.h"
#include "tamsel/engine/WorkingCopies.h"

std::atomic<bool> g_passRunning{false};

namespace {

std::atomic<bool> g_passesStopped{false};
CPassMessages g_passMessages;  // used by the pass thread only
CFolderChanges g_folderChanges;  // used by the pass thread only

struct PassContext {
    std::u16string journal;
    std::set<std::u16string> met;  // the candidates seen, for the message memory
    uint32_t removals = 0;         // WatchListRemovals() when the list was copied
};

void ProcessCandidate(const std::u16string& file, const WATCH_RECORD& record, const std::u16string& password,
                      const PassContext& pass) {
    AbsorbJournalAt(pass.journal);
    const RestoredState restored = LookUpRestored(file);
    if (restored == RestoredState::LeavePlain) return;
    platform::FindData found;
    if (!platform::FindExact(file, found)) return;
    g_passMessages.Begin(EngineFrontEnd(), file, found.size, found.times.write);
    // A folder released while this pass ran is being decrypted: its restored files stay.
    // The pass that follows sees the list without it.
    const uint32_t removals = pass.removals;
    const EncryptRequest request{file, file + u".chy", password, true, record.dwCompress,
                                 record.bLimitRetry != 0, record.dwRetryLimit,
                                 [removals] { return WatchListRemovals() == removals; }};
    if (EncryptAndReplace(request, &g_passMessages) != EncryptOutcome::Encrypted) return;
    g_passMessages.Forget(file);
    if (restored == RestoredState::Encrypt) ForgetRestored(file);
}

void PassOverFolder(const WATCH_RECORD& record, const std::u16string& folder, PassContext& pass) {
    // A folder skipped here met no candidate when last listed, so it adds nothing to met.
    if (!g_folderChanges.NeedsListing(folder)) return;
    std::u16string password = platform::FromAnsi(AnsiText(record.szPassword, kAnsiPasswordBytes));
    if (password.size() > kPasswordChars) password.resize(kPasswordChars);
    std::vector<std::u16string> files;
    ListFiles(folder, files);
    bool metCandidates = false;
    for (const std::u16string& file : files) {
        if (!IsPassCandidate(file)) continue;
        metCandidates = true;
        pass.met.insert(file);
        ProcessCandidate(file, record, password, pass);
    }
    g_folderChanges.Listed(folder, metCandidates);
}

}  // namespace

bool IsPassCandidate(std::u16string_view path) {
    return path.size() > 4 && !HasExtension(path, u".chy") && !HasExtension(path, u".ary");
}

void ListFiles(const std::u16string& folder, std::vector<std::u16string>& files) {
    platform::DirectorySearch search;
    // Names and kinds only: most entries are images that the pass never looks at again.
    if (!search.Start(folder, platform::SearchDetail::NamesAndKinds)) return;
    platform::FindData entry;
    while (search.Next(entry)) {
        if (entry.IsLink()) continue;
        const std::u16string path = folder + u"\\" + entry.name;
        if (entry.IsDirectory()) {
            ListFiles(path, files);
        } else {
            files.push_back(path);
        }
    }
}

void MonitorPass() {
    WriteBackWorkingCopies();
    // Counted before the copy: a removal in between at worst skips this pass's work.
    const uint32_t removals = WatchListRemovals();
    const std::vector<WATCH_RECORD> watched = CopyWatchList();
    PassContext pass{JournalFile(), {}, removals};
    std::vector<std::u16string> folders;
    for (const WATCH_RECORD& record : watched) {
        folders.push_back(platform::FromAnsi(AnsiText(record.szFolder, kAnsiPathBytes)));
        PassOverFolder(record, folders.back(), pass);
    }
    g_folderChanges.KeepOnly(folders);
    // Once per pass rather than for every candidate: entries of vanished files go.
    RefreshRestoredFiles(pass.met);
    g_passMessages.KeepOnly(pass.met);
    g_passRunning = false;
}

namespace {

CLastingWorker& PassWorker() {
    static CLastingWorker* worker = new CLastingWorker;
    return *worker;
}

}  // namespace

int32_t StartPass() {
    if (g_passRunning || g_passesStopped) return 0;
    g_passRunning = true;
    const bool posted = PassWorker().Post([] {
        // A pass that fails is tried again at the next tick.
        try {
            MonitorPass();
        } catch (...) {
            g_passRunning = false;
        }
    });
    if (!posted) g_passRunning = false;
    return posted ? 1 : 0;
}

void WaitForPass() { PassWorker().WaitIdle(); }

void StopPasses() {
    g_passesStopped = true;
    WaitForPass();
}
