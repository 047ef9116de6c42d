#include "core/Journal.h"

#include "core/TableFiles.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"

namespace {
constexpr int kOpenRetries = 10;
constexpr uint32_t kRetryMilliseconds = 10;

bool OpenJournal(const std::u16string& path, platform::File& journal) {
    for (int attempt = 0; attempt <= kOpenRetries; ++attempt) {
        if (attempt > 0) platform::SleepMilliseconds(kRetryMilliseconds);
        if (journal.Open(path, platform::Access::ReadWrite, platform::Share::None,
                         platform::Disposition::OpenExisting)) {
            return true;
        }
    }
    return false;
}
}  // namespace

std::u16string JournalPath() {
    const std::u16string temp = ExistingTempFolder();
    return temp.empty() ? u"" : temp + kJournalName;
}

int32_t AppendJournalRecord(const std::u16string& path, uint64_t writeTime) {
    const std::u16string journalPath = JournalPath();
    if (journalPath.empty() || !platform::Exists(journalPath)) return 0;
    platform::File journal;
    if (!OpenJournal(journalPath, journal)) return 0;
    JournalRecord record{};
    record.writeTime = writeTime;
    CopyToField(record.path, kPathChars, path);
    if (!journal.SeekToEnd() || !journal.Write(&record, sizeof record)) return 0;
    return journal.Close() ? 1 : 0;
}
