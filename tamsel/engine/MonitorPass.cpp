#include "tamsel/engine/MonitorPass.h"

#include <set>
#include <thread>

#include "core/JobRecords.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "tamsel/engine/CoreJobs.h"
#include "tamsel/engine/PassMessages.h"
#include "tamsel/engine/RestoredFiles.h"
#include "tamsel/engine/WatchList.h"
#include "tamsel/engine/WorkingCopies.h"

std::atomic<bool> g_passRunning{false};

namespace {

std::thread g_passThread;  // touched only by the thread that starts passes
std::atomic<bool> g_passesStopped{false};
CPassMessages g_passMessages;  // used by the pass thread only

void ProcessCandidate(const std::u16string& file, const WATCH_RECORD& record, const std::u16string& password) {
    AbsorbJournal();
    const RestoredState restored = LookUpRestored(file);
    if (restored == RestoredState::LeavePlain) return;
    platform::FindData found;
    if (!platform::FindExact(file, found)) return;
    g_passMessages.Begin(EngineFrontEnd(), file, found.size, found.times.write);
    const EncryptRequest request{file, file + u".chy", password, true, record.dwCompress,
                                 record.bLimitRetry != 0, record.dwRetryLimit};
    if (EncryptAndReplace(request, &g_passMessages) != EncryptOutcome::Encrypted) return;
    g_passMessages.Forget(file);
    if (restored == RestoredState::Encrypt) ForgetRestored(file);
}

void PassOverFolder(const WATCH_RECORD& record, std::set<std::u16string>& met) {
    const std::u16string folder = platform::FromAnsi(AnsiText(record.szFolder, kAnsiPathBytes));
    std::u16string password = platform::FromAnsi(AnsiText(record.szPassword, kAnsiPasswordBytes));
    if (password.size() > kPasswordChars) password.resize(kPasswordChars);
    std::vector<std::u16string> files;
    ListFiles(folder, files);
    for (const std::u16string& file : files) {
        if (!IsPassCandidate(file)) continue;
        met.insert(file);
        ProcessCandidate(file, record, password);
    }
}

}  // namespace

bool IsPassCandidate(std::u16string_view path) {
    return path.size() > 4 && !HasExtension(path, u".chy") && !HasExtension(path, u".ary");
}

void ListFiles(const std::u16string& folder, std::vector<std::u16string>& files) {
    platform::DirectorySearch search;
    if (!search.Start(folder)) return;
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
    const std::vector<WATCH_RECORD> watched = CopyWatchList();
    // Once per pass rather than for every candidate: entries of vanished files go.
    RefreshRestoredFiles();
    std::set<std::u16string> met;
    for (const WATCH_RECORD& record : watched) PassOverFolder(record, met);
    g_passMessages.KeepOnly(met);
    g_passRunning = false;
}

int32_t StartPass() {
    if (g_passRunning || g_passesStopped) return 0;
    if (g_passThread.joinable()) g_passThread.join();
    g_passRunning = true;
    g_passThread = std::thread(MonitorPass);
    return 1;
}

void WaitForPass() {
    if (g_passThread.joinable()) g_passThread.join();
}

void StopPasses() { g_passesStopped = true; }
