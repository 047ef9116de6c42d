// A pass on its worker thread next to a folder encryption of the settings on the test's
// thread, and exit while a pass runs; run under ThreadSanitizer by the native-tsan preset.
#include <atomic>
#include <thread>

#include "EngineFixture.h"
#include "tamsel/engine/Engine.h"
#include "tamsel/engine/LastingWorker.h"

namespace {

using testing_support::WriteAll;
namespace fs = std::filesystem;

// Built with += : g++ 12 warns wrongly (-Wrestrict) about "literal" + std::string.
std::string Numbered(const char* prefix, int i, const char* suffix = "") {
    std::string name = prefix;
    name += std::to_string(i);
    name += suffix;
    return name;
}

TEST_F(EngineTest, APassAndAFolderEncryptionRunTogether) {
    fs::create_directories(m_dir / "watched");
    fs::create_directories(m_dir / "added");
    for (int i = 0; i < 20; ++i) {
        WriteAll(m_dir / "watched" / Numbered("w", i), std::string(30000 + i, 'w'));
        WriteAll(m_dir / "added" / Numbered("a", i), std::string(30000 + i, 'a'));
    }
    Watch(m_dir.Win("watched"), u"pw");
    ASSERT_EQ(StartPass(), 1);
    // The settings run on the user-interface thread, here the test's own.
    EXPECT_EQ(EncryptFolder(m_dir.Win("added"), u"other", 1, 2, 0, 3), 1);
    WaitForPass();
    EXPECT_FALSE(g_passRunning);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(Restored(testing_support::WinPath(m_dir / "watched" / Numbered("w", i, ".chy")), u"pw"),
                  std::string(30000 + i, 'w'));
        EXPECT_EQ(Restored(testing_support::WinPath(m_dir / "added" / Numbered("a", i, ".chy")), u"other"),
                  std::string(30000 + i, 'a'));
    }
    EXPECT_TRUE(m_frontEnd.m_messages.empty());
}

// A pass probes a file, then waits for the job lock while the settings' job encrypts the
// same file and deletes it. The image that job made is all that is left of the file.
TEST_F(EngineTest, AJobThatWaitedKeepsTheImageAnotherJobMadeMeanwhile) {
    WriteAll(m_dir / "doc.txt", std::string("content"));
    const std::u16string source = m_dir.Win("doc.txt");
    EncryptRequest earlier{source, source + u".chy", u"pw", false, 0, false, 0, {}};
    ASSERT_EQ(EncryptAndReplace(earlier, &m_frontEnd), EncryptOutcome::Encrypted);
    int asked = 0;
    EncryptRequest waiting = earlier;
    waiting.deleteSource = true;
    // Its second question comes with the lock held, once the other job is done.
    waiting.stillWanted = [&] {
        if (++asked == 2) fs::remove(m_dir / "doc.txt");
        return true;
    };
    EXPECT_EQ(EncryptAndReplace(waiting, &m_frontEnd), EncryptOutcome::Busy);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(Restored(source + u".chy", u"pw"), "content");
}

TEST_F(EngineTest, PassesNeverOverlap) {
    Watch(m_dir.Win(), u"pw");
    for (int i = 0; i < 50; ++i) WriteAll(m_dir / Numbered("f", i), std::string(20000, 'x'));
    ASSERT_EQ(StartPass(), 1);
    EXPECT_EQ(StartPass(), 0);
    WaitForPass();
    EXPECT_EQ(StartPass(), 1);
    WaitForPass();
}

// Last in this file: after exit no pass starts again in the process.
TEST_F(EngineTest, ExitWaitsForARunningPass) {
    Watch(m_dir.Win(), u"pw");
    ASSERT_EQ(CreateJournal(), 1);
    for (int i = 0; i < 30; ++i) WriteAll(m_dir / Numbered("f", i), std::string(40000, 'x'));
    ASSERT_EQ(StartPass(), 1);
    ExitEngine(true);
    EXPECT_FALSE(g_passRunning);
    EXPECT_EQ(StartPass(), 0);
    EXPECT_FALSE(platform::Exists(TempFilePath(u"DIDI")));
    EXPECT_FALSE(platform::Exists(TempFilePath(u"EIEI")));
    for (int i = 0; i < 30; ++i) {
        // Each file is either still plain or wholly in its image.
        const fs::path plain = m_dir / Numbered("f", i);
        if (!fs::exists(plain)) {
            EXPECT_EQ(Restored(testing_support::WinPath(plain) + u".chy", u"pw"), std::string(40000, 'x'));
        }
    }
}

// A job handed over while the worker finishes the one before must still run: the passes'
// timer asks for the next pass the moment the last one has said it is done.
TEST(LastingWorkerTest, AJobHandedOverWhileOneRunsRunsNext) {
    CLastingWorker& worker = *new CLastingWorker;  // never destroyed, as in the program
    std::atomic<int> ran{0};
    ASSERT_TRUE(worker.Post([&] {
        ++ran;
        worker.Post([&] { ++ran; });
    }));
    worker.WaitIdle();
    EXPECT_EQ(ran, 2);
}

}  // namespace
