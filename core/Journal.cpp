#include "core/Journal.h"

#include "core/TableFiles.h"
#include "platform/FileSystem.h"

std::u16string JournalPath() {
    const std::u16string temp = ExistingTempFolder();
    return temp.empty() ? u"" : temp + kJournalName;
}

int32_t AppendJournalRecord(const std::u16string& path, uint64_t writeTime) {
    const std::u16string journalPath = JournalPath();
    if (journalPath.empty() || !platform::Exists(journalPath)) return 0;
    platform::File journal;
    if (!platform::OpenUnshared(journal, journalPath, platform::Access::ReadWrite,
                                platform::Disposition::OpenExisting)) {
        return 0;
    }
    JournalRecord record{};
    record.writeTime = writeTime;
    CopyToField(record.path, kPathChars, path);
    if (!journal.SeekToEnd() || !journal.Write(&record, sizeof record)) return 0;
    return journal.Close() ? 1 : 0;
}
