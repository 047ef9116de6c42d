#include "tamsel/engine/WorkingCopies.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/Clock.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "tamsel/engine/MonitorRecords.h"
#include "tamsel/engine/WatchList.h"

namespace {

constexpr char16_t kListName[] = u"TMTE";
constexpr char16_t kSideName[] = u"TMTEbackup";
constexpr int kAttempts = 100;
constexpr uint32_t kRetryMilliseconds = 10;
constexpr uint32_t kHiddenFile = platform::kAttrNormal | platform::kAttrHidden;

uint64_t TimeOf(const WORKCOPY_RECORD& record) {
    return (uint64_t{record.dwTimeHigh} << 32) | record.dwTimeLow;
}

void SetTime(WORKCOPY_RECORD& record, uint64_t time) {
    record.dwTimeHigh = static_cast<uint32_t>(time >> 32);
    record.dwTimeLow = static_cast<uint32_t>(time);
}

bool ReadList(const std::u16string& path, std::vector<WORKCOPY_RECORD>& records) {
    platform::File list;
    if (!platform::OpenUnshared(list, path, platform::Access::ReadWrite, platform::Disposition::OpenExisting,
                                kHiddenFile, kAttempts)) {
        return false;
    }
    for (;;) {
        WORKCOPY_RECORD record{};
        uint32_t done = 0;
        if (!list.Read(&record, sizeof record, done) || done != sizeof record) break;
        records.push_back(record);
    }
    return true;
}

// The first record of a working copy stays in its place, with the earliest time of all.
std::vector<WORKCOPY_RECORD> Collapse(const std::vector<WORKCOPY_RECORD>& records) {
    std::vector<WORKCOPY_RECORD> kept;
    for (const WORKCOPY_RECORD& record : records) {
        const auto same = std::find_if(kept.begin(), kept.end(), [&](const WORKCOPY_RECORD& k) {
            return AnsiText(k.szWorkPath, kAnsiPathBytes) == AnsiText(record.szWorkPath, kAnsiPathBytes);
        });
        if (same == kept.end()) {
            kept.push_back(record);
        } else if (TimeOf(record) < TimeOf(*same)) {
            SetTime(*same, TimeOf(record));
        }
    }
    return kept;
}

// The origin image without its extension; empty when its name has no ".".
std::u16string WriteBackTarget(const std::u16string& origin) {
    const size_t dot = origin.rfind(u'.');
    const size_t slash = origin.rfind(u'\\');
    if (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash)) return u"";
    return origin.substr(0, dot);
}

// False when the working copy is gone and its record goes with it.
bool WriteBack(WORKCOPY_RECORD& record) {
    const std::u16string work = platform::LongPath(platform::FromAnsi(AnsiText(record.szWorkPath, kAnsiPathBytes)));
    const std::u16string origin =
        platform::LongPath(platform::FromAnsi(AnsiText(record.szOriginPath, kAnsiPathBytes)));
    if (!platform::Exists(work)) return false;
    platform::File copy;
    platform::FileTimes times;
    // Open elsewhere: the program still works on it; a later pass looks again.
    if (!copy.Open(work, platform::Access::Read, platform::Share::None, platform::Disposition::OpenExisting) ||
        !copy.GetTimes(times)) {
        return true;
    }
    copy.Close();
    const std::u16string target = WriteBackTarget(origin);
    if (times.write > TimeOf(record) && !target.empty() && platform::CopyFileTo(work, target, false)) {
        SetTime(record, times.write);
    }
    return true;
}

bool WriteSideFile(const std::u16string& side, const std::vector<WORKCOPY_RECORD>& records) {
    platform::File file;
    if (!file.Open(side, platform::Access::ReadWrite, platform::Share::None, platform::Disposition::CreateAlways,
                   kHiddenFile)) {
        return false;
    }
    for (const WORKCOPY_RECORD& record : records) {
        if (!file.Write(&record, sizeof record)) return false;
    }
    return file.Close();
}

void RewriteList(const std::u16string& path, const std::vector<WORKCOPY_RECORD>& records) {
    if (records.empty()) {
        platform::SetAttributes(path, platform::kAttrNormal);
        platform::RemoveFile(path);
        return;
    }
    const std::u16string side = TempFilePath(kSideName);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (attempt > 0) platform::SleepMilliseconds(kRetryMilliseconds);
        if (WriteSideFile(side, records)) {
            platform::CopyFileTo(side, path, false);
            platform::RemoveFile(side);
            return;
        }
    }
}

}  // namespace

void WriteBackWorkingCopies() {
    const std::u16string path = TempFilePath(kListName);
    if (path.empty() || !platform::Exists(path)) return;
    std::vector<WORKCOPY_RECORD> records;
    if (!ReadList(path, records)) return;
    std::vector<WORKCOPY_RECORD> kept;
    for (WORKCOPY_RECORD& record : Collapse(records)) {
        if (WriteBack(record)) kept.push_back(record);
    }
    RewriteList(path, kept);
}
