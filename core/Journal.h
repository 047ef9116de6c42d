// The decrypted-files journal "DIDI" in the temporary folder: one record per restored
// file, appended by every program's reader while the journal exists (Tamsel owns it).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/JobRecords.h"

constexpr char16_t kJournalName[] = u"DIDI";

#pragma pack(push, 1)
struct JournalRecord {
    uint64_t writeTime;  // FILETIME of the restored file
    uint32_t reserved;
    char16_t path[kPathChars];
};
#pragma pack(pop)
static_assert(sizeof(JournalRecord) == 532);
static_assert(offsetof(JournalRecord, path) == 12);

// The journal's full path (long temporary folder + "DIDI"); empty without a temporary
// folder, which means no journal.
std::u16string JournalPath();
// Appends a record for the restored file, whose last-write time is writeTime, when the
// journal exists; the journal is opened without sharing, retried for about 100 ms, and the
// record dropped after that.
int32_t AppendJournalRecord(const std::u16string& path, uint64_t writeTime);
