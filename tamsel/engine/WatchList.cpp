#include "tamsel/engine/WatchList.h"

#include <algorithm>
#include <atomic>

#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

std::vector<WATCH_RECORD> g_watchList;
std::mutex g_watchLock;

namespace {
std::atomic<uint32_t> g_watchRemovals{0};
}  // namespace

namespace {

constexpr char16_t kWatchListName[] = u"EIEI";

char16_t FoldCase(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }

// Compared as characters, not bytes: the second byte of a double-byte character may look
// like a letter, and folding it would make two different folders equal.
bool SameFolder(const WATCH_RECORD& a, const WATCH_RECORD& b) {
    const std::u16string x = platform::FromAnsi(AnsiText(a.szFolder, kAnsiPathBytes));
    const std::u16string y = platform::FromAnsi(AnsiText(b.szFolder, kAnsiPathBytes));
    return std::equal(x.begin(), x.end(), y.begin(), y.end(),
                      [](char16_t p, char16_t q) { return FoldCase(p) == FoldCase(q); });
}

// Called with g_watchLock held. A file that cannot be created is left as it was.
void RewriteWatchFile() {
    const std::u16string path = TempFilePath(kWatchListName);
    if (path.empty()) return;
    platform::File file;
    if (!file.Open(path, platform::Access::ReadWrite, platform::Share::ReadWrite,
                   platform::Disposition::CreateAlways, platform::kAttrNormal | platform::kAttrHidden)) {
        return;
    }
    for (const WATCH_RECORD& record : g_watchList) {
        if (!file.Write(&record, sizeof record)) break;
    }
    file.Close();
}

}  // namespace

std::u16string TempFilePath(std::u16string_view tag) {
    const std::u16string temp = platform::TempFolder();
    return temp.empty() ? temp : temp + std::u16string(tag);
}

int32_t AddWatchRecord(const WATCH_RECORD& record) {
    std::lock_guard lock(g_watchLock);
    g_watchList.push_back(record);
    RewriteWatchFile();
    return 1;
}

int32_t RemoveWatchRecord(const WATCH_RECORD& record) {
    std::lock_guard lock(g_watchLock);
    const auto found = std::find_if(g_watchList.begin(), g_watchList.end(),
                                    [&](const WATCH_RECORD& r) { return SameFolder(r, record); });
    if (found != g_watchList.end()) g_watchList.erase(found);
    RewriteWatchFile();
    ++g_watchRemovals;
    return 1;
}

uint32_t WatchListRemovals() { return g_watchRemovals; }

std::vector<WATCH_RECORD> CopyWatchList() {
    std::lock_guard lock(g_watchLock);
    return g_watchList;
}
