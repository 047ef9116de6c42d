// Files restored into a watched folder (journal "DIDI") and working copies ("TMTE").
#include <cstring>

#include "EngineFixture.h"
#include "core/Journal.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "tamsel/engine/WorkingCopies.h"

namespace {

using testing_support::NativePath;
using testing_support::ReadAll;
using testing_support::WriteAll;
namespace fs = std::filesystem;

constexpr uint64_t kSecond = 10000000;

uint64_t WriteTimeOf(const std::u16string& path) {
    platform::FindData found;
    return platform::FindExact(path, found) ? found.times.write : 0;
}

void SetWriteTime(const std::u16string& path, uint64_t time) {
    platform::File file;
    ASSERT_TRUE(file.Open(path, platform::Access::Write, platform::Share::ReadWrite,
                          platform::Disposition::OpenExisting));
    ASSERT_TRUE(file.SetTimes({0, 0, time}));
}

class RestoredTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        fs::create_directories(m_dir / "Data");
        fs::create_directories(m_dir / "Data2");
        fs::create_directories(m_dir / "Elsewhere");
        Watch(m_dir.Win("Data"), u"pw");
        ASSERT_EQ(CreateJournal(), 1);
    }
    // A file as a decryptor leaves it: written, then reported in the journal.
    std::u16string Restore(const std::string& relative) {
        const fs::path file = m_dir.path() / fs::path(relative).make_preferred();
        WriteAll(file, std::string("restored ") + relative);
        const std::u16string path = testing_support::WinPath(file);
        EXPECT_EQ(AppendJournalRecord(path, WriteTimeOf(path)), 1);
        return path;
    }
};

TEST_F(RestoredTest, ARestoredFileStaysPlainUntilSavedNewerAndClosed) {
    const std::u16string path = Restore("Data/r.txt");
    MonitorPass();
    EXPECT_TRUE(platform::Exists(path));
    EXPECT_EQ(g_restoredFiles.count(path), 1u);
    EXPECT_EQ(ReadAll(NativePath(TempFilePath(u"DIDI"))).size(), 0u);

    // Saved while another program holds it: stays plain even with a newer time.
    platform::File editor;
    ASSERT_TRUE(editor.Open(path, platform::Access::ReadWrite, platform::Share::ReadWrite,
                            platform::Disposition::OpenExisting));
    SetWriteTime(path, WriteTimeOf(path) + 5 * kSecond);
    MonitorPass();
    EXPECT_TRUE(platform::Exists(path));
    editor.Close();

    MonitorPass();
    EXPECT_FALSE(platform::Exists(path));
    EXPECT_EQ(g_restoredFiles.count(path), 0u);
    EXPECT_EQ(Restored(path + u".chy", u"pw"), "restored Data/r.txt");
}

TEST_F(RestoredTest, DeletedFilesDropTheirEntry) {
    const std::u16string path = Restore("Data/gone.txt");
    MonitorPass();
    ASSERT_EQ(g_restoredFiles.count(path), 1u);
    fs::remove(NativePath(path));
    MonitorPass();
    EXPECT_EQ(g_restoredFiles.count(path), 0u);
}

TEST_F(RestoredTest, RecordsOutsideEveryFolderAreDiscarded) {
    struct Case {
        const char* relative;
        bool kept;
    } const cases[] = {
        {"Data/in.txt", true},
        {"Data2/prefix.txt", true},  // C:\Data2 begins with C:\Data
        {"Elsewhere/out.txt", false},
    };
    for (const Case& c : cases) Restore(c.relative);
    AbsorbJournal();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.relative);
        const fs::path file = m_dir.path() / fs::path(c.relative).make_preferred();
        EXPECT_EQ(g_restoredFiles.count(testing_support::WinPath(file)), c.kept ? 1u : 0u);
    }
}

TEST_F(RestoredTest, AnEmptyJournalIsNotRecreated) {
    const std::u16string journal = TempFilePath(u"DIDI");
    platform::File held;
    // Held elsewhere: an empty journal needs no opening, so absorbing neither waits nor
    // recreates it.
    ASSERT_TRUE(held.Open(journal, platform::Access::ReadWrite, platform::Share::ReadWrite,
                          platform::Disposition::OpenExisting));
    AbsorbJournal();
    EXPECT_TRUE(platform::Exists(journal));
    held.Close();
    fs::remove(NativePath(journal));
    AbsorbJournal();
    EXPECT_TRUE(platform::Exists(journal));
}

WORKCOPY_RECORD WorkCopy(const std::u16string& work, const std::u16string& origin, uint64_t time) {
    WORKCOPY_RECORD record{};
    std::memset(record.middle, 0x5a, sizeof record.middle);
    const std::string w = platform::ToAnsi(work), o = platform::ToAnsi(origin);
    std::memcpy(record.szWorkPath, w.data(), w.size());
    std::memcpy(record.szOriginPath, o.data(), o.size());
    record.dwTimeHigh = static_cast<uint32_t>(time >> 32);
    record.dwTimeLow = static_cast<uint32_t>(time);
    return record;
}

std::vector<WORKCOPY_RECORD> ReadWorkCopies() {
    const auto bytes = ReadAll(NativePath(TempFilePath(u"TMTE")));
    std::vector<WORKCOPY_RECORD> records(bytes.size() / sizeof(WORKCOPY_RECORD));
    std::memcpy(records.data(), bytes.data(), records.size() * sizeof(WORKCOPY_RECORD));
    return records;
}

void WriteWorkCopies(const std::vector<WORKCOPY_RECORD>& records) {
    std::vector<uint8_t> bytes(records.size() * sizeof(WORKCOPY_RECORD));
    std::memcpy(bytes.data(), records.data(), bytes.size());
    WriteAll(NativePath(TempFilePath(u"TMTE")), bytes);
}

uint64_t TimeOf(const WORKCOPY_RECORD& r) { return (uint64_t{r.dwTimeHigh} << 32) | r.dwTimeLow; }

TEST_F(RestoredTest, AnEditedWorkingCopyGoesBackAndIsEncrypted) {
    WriteAll(m_dir / "Elsewhere" / "plan.txt", std::string("edited plan"));
    const std::u16string work = m_dir.Win("Elsewhere\\plan.txt");
    const uint64_t edited = WriteTimeOf(work);
    const std::u16string origin = m_dir.Win("Data\\plan.txt.chy");
    WriteWorkCopies({WorkCopy(work, origin, edited - kSecond), WorkCopy(work, origin, edited - 3 * kSecond)});
    MonitorPass();
    EXPECT_FALSE(fs::exists(m_dir / "Data" / "plan.txt"));
    EXPECT_EQ(Restored(origin, u"pw"), "edited plan");
    const auto records = ReadWorkCopies();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(TimeOf(records[0]), edited);
    EXPECT_EQ(records[0].middle[0], 0x5a);
    EXPECT_FALSE(platform::Exists(TempFilePath(u"TMTEbackup")));

    // Unchanged since: nothing is copied again.
    fs::remove(NativePath(origin));
    WriteBackWorkingCopies();
    EXPECT_FALSE(fs::exists(m_dir / "Data" / "plan.txt"));
}

TEST_F(RestoredTest, WorkingCopyRecords) {
    WriteAll(m_dir / "Elsewhere" / "a", std::string("a"));
    WriteAll(m_dir / "Elsewhere" / "b", std::string("b"));
    const std::u16string a = m_dir.Win("Elsewhere\\a"), b = m_dir.Win("Elsewhere\\b");
    const std::u16string noDot = m_dir.Win("Data\\nodot");
    WriteWorkCopies({WorkCopy(a, noDot, 9), WorkCopy(m_dir.Win("Elsewhere\\deleted"), m_dir.Win("Data\\x.chy"), 0),
                     WorkCopy(b, m_dir.Win("Data\\b.txt.chy"), 7), WorkCopy(a, noDot, 4)});
    WriteBackWorkingCopies();
    const auto records = ReadWorkCopies();
    ASSERT_EQ(records.size(), 2u);
    // No target: stays, collapsed to the earliest time.
    EXPECT_EQ(platform::FromAnsi(records[0].szWorkPath), a);
    EXPECT_EQ(TimeOf(records[0]), 4u);
    EXPECT_EQ(platform::FromAnsi(records[1].szWorkPath), b);
    EXPECT_EQ(TimeOf(records[1]), WriteTimeOf(b));
    EXPECT_FALSE(fs::exists(m_dir / "Data" / "nodot"));
    EXPECT_EQ(Text(m_dir / "Data" / "b.txt"), "b");

    fs::remove(m_dir / "Elsewhere" / "a");
    fs::remove(m_dir / "Elsewhere" / "b");
    WriteBackWorkingCopies();
    EXPECT_FALSE(platform::Exists(TempFilePath(u"TMTE")));
}

}  // namespace
