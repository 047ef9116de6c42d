// The pass over a watched tree: what becomes an image, what is left alone, and that no
// plain file is deleted unless its image restores it.
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "EngineFixture.h"
#include "core/ImageWriter.h"
#include "platform/Clock.h"
#include "platform/File.h"

namespace {

using testing_support::ReadAll;
using testing_support::WriteAll;
namespace fs = std::filesystem;

class PassTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        Watch(m_dir.Win(), u"pw");
    }
    void TearDown() override {
        SetPieceStoredHook({});
        EngineTest::TearDown();
    }
};

TEST_F(PassTest, PlainFilesBecomeImagesAndImagesAreLeftAlone) {
    fs::create_directories(m_dir / "sub" / "deeper");
    const std::string big(200000, 'b');
    struct Case {
        const char* path;
        std::string content;
        bool encrypted;
    } const cases[] = {
        {"a.txt", "alpha", true},
        {"sub/b.bin", big, true},
        {"sub/deeper/.hidden", "h", true},
        {"empty", "", true},
        {"old.chy", "not an image", false},
        {"table.ARY", "not a table", false},
        {"upper.CHY", "x", false},
    };
    for (const Case& c : cases) WriteAll(m_dir / c.path, c.content);
    MonitorPass();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const fs::path plain = m_dir / c.path;
        const fs::path image = plain.string() + ".chy";
        EXPECT_EQ(fs::exists(plain), !c.encrypted);
        ASSERT_EQ(fs::exists(image), c.encrypted);
        const std::string content = c.encrypted ? Restored(testing_support::WinPath(image), u"pw") : Text(plain);
        EXPECT_EQ(content, c.content);
    }
    EXPECT_TRUE(m_frontEnd.m_messages.empty());
}

TEST_F(PassTest, AnExistingImageIsReplaced) {
    WriteAll(m_dir / "report.doc", std::string("first"));
    MonitorPass();
    WriteAll(m_dir / "report.doc", std::string("second"));
    MonitorPass();
    EXPECT_FALSE(fs::exists(m_dir / "report.doc"));
    EXPECT_EQ(Restored(m_dir.Win("report.doc.chy"), u"pw"), "second");
    EXPECT_EQ(m_frontEnd.m_questions, 0);
}

TEST_F(PassTest, ShortPathsAreNoCandidates) {
    struct Case {
        const char16_t* path;
        bool candidate;
    } const cases[] = {
        {u"C:\\a", false}, {u"C:\\ab", true}, {u"C:\\a.b", true}, {u"a.ch", false}, {u"x.chy", false},
        {u"C:\\x.Ary", false}, {u"C:\\x.chyz", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing_support::NativePath(c.path).string());
        EXPECT_EQ(IsPassCandidate(c.path), c.candidate);
    }
}

TEST_F(PassTest, AFileHeldOpenWithoutSharingStaysPlainSilently) {
    WriteAll(m_dir / "held.txt", std::string("held"));
    platform::File held;
    ASSERT_TRUE(held.Open(m_dir.Win("held.txt"), platform::Access::ReadWrite, platform::Share::None,
                          platform::Disposition::OpenExisting));
    MonitorPass();
    MonitorPass();
    EXPECT_TRUE(fs::exists(m_dir / "held.txt"));
    EXPECT_FALSE(fs::exists(m_dir / "held.txt.chy"));
    EXPECT_TRUE(m_frontEnd.m_messages.empty());
    held.Close();
    MonitorPass();
    EXPECT_FALSE(fs::exists(m_dir / "held.txt"));
    EXPECT_EQ(Restored(m_dir.Win("held.txt.chy"), u"pw"), "held");
}

TEST_F(PassTest, AFileChangedDuringItsEncryptionStaysUntilTheNextPass) {
    const std::string first(150000, 'a');
    WriteAll(m_dir / "growing.log", first);
    const std::u16string path = m_dir.Win("growing.log");
    SetPieceStoredHook([&](const std::u16string& p, uint32_t piece) {
        if (p != path || piece != 0) return;
        platform::File file;
        ASSERT_TRUE(file.Open(p, platform::Access::Write, platform::Share::ReadWrite,
                              platform::Disposition::OpenExisting));
        ASSERT_TRUE(file.SeekToEnd());
        ASSERT_TRUE(file.Write("tail", 4));
    });
    MonitorPass();
    SetPieceStoredHook({});
    EXPECT_EQ(Text(m_dir / "growing.log"), first + "tail");
    EXPECT_TRUE(fs::exists(m_dir / "growing.log.chy"));
    MonitorPass();
    EXPECT_FALSE(fs::exists(m_dir / "growing.log"));
    EXPECT_EQ(Restored(path + u".chy", u"pw"), first + "tail");
}

// Releasing decrypts the folder at once; a pass already under way must not encrypt what
// the release restores.
TEST_F(PassTest, AFolderReleasedDuringAPassKeepsItsOtherFilesPlain) {
    WriteAll(m_dir / "a.txt", std::string("alpha"));
    WriteAll(m_dir / "b.txt", std::string("beta"));
    std::atomic<bool> released{false};
    SetPieceStoredHook([&](const std::u16string&, uint32_t) {
        if (!released.exchange(true)) RemoveWatchRecord(MakeFolderRecord(m_dir.Win()));
    });
    MonitorPass();
    SetPieceStoredHook({});
    ASSERT_TRUE(released);
    EXPECT_NE(fs::exists(m_dir / "a.txt"), fs::exists(m_dir / "b.txt"));
    EXPECT_NE(fs::exists(m_dir / "a.txt.chy"), fs::exists(m_dir / "b.txt.chy"));
}

TEST_F(PassTest, AFileAppendedToDuringPassesIsNeverLost) {
    WriteAll(m_dir / "live.log", std::string("start\n"));
    const std::u16string path = m_dir.Win("live.log");
    std::string written = "start\n";
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; i < 400 && !stop; ++i) {
            platform::File file;
            // Once the pass has taken the file, the writer has nothing to append to.
            if (!file.Open(path, platform::Access::Write, platform::Share::ReadWrite,
                           platform::Disposition::OpenExisting)) {
                if (!platform::Exists(path)) return;
                continue;
            }
            const std::string line = "line " + std::to_string(i) + "\n";
            if (file.SeekToEnd() && file.Write(line.data(), static_cast<uint32_t>(line.size()))) written += line;
            file.Close();
            platform::SleepMilliseconds(1);
        }
    });
    for (int pass = 0; pass < 200 && platform::Exists(path); ++pass) MonitorPass();
    stop = true;
    writer.join();
    for (int pass = 0; pass < 5 && platform::Exists(path); ++pass) MonitorPass();
    ASSERT_FALSE(platform::Exists(path));
    EXPECT_EQ(Restored(path + u".chy", u"pw"), written);
}

TEST_F(PassTest, AnImageThatCannotBeReadBackKeepsThePlainFileAndSaysSoOnce) {
    // A wrong-password limit of 0 makes an image that refuses every restore.
    g_watchList.clear();
    Watch(m_dir.Win(), u"pw", 1, true, 0);
    WriteAll(m_dir / "doc.txt", std::string("keep me"));
    MonitorPass();
    MonitorPass();
    MonitorPass();
    EXPECT_EQ(Text(m_dir / "doc.txt"), "keep me");
    EXPECT_TRUE(fs::exists(m_dir / "doc.txt.chy"));
    ASSERT_EQ(m_frontEnd.m_messages.size(), 1u);
    EXPECT_EQ(m_frontEnd.m_messages[0].role, CoreMessage::ErrorLimitReached);
    // A changed file may say it again.
    WriteAll(m_dir / "doc.txt", std::string("changed"));
    MonitorPass();
    EXPECT_EQ(m_frontEnd.m_messages.size(), 2u);
}

// A folder whose last listing met only images is listed again only on notice of a change;
// every kind of change must still reach the next passes. The notice arrives a moment after
// the change, so the passes run until the file is encrypted or two seconds are gone.
TEST_F(PassTest, ChangesAfterAQuietPassAreStillEncrypted) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> change;
        const char* plain;
    } const cases[] = {
        {"a new file", [](const fs::path& dir) { WriteAll(dir / "new.txt", std::string("n")); }, "new.txt"},
        {"a new file in a subfolder", [](const fs::path& dir) { WriteAll(dir / "sub" / "in.txt", std::string("i")); },
         "sub/in.txt"},
        {"a new subfolder",
         [](const fs::path& dir) {
             fs::create_directories(dir / "made" / "deep");
             WriteAll(dir / "made" / "deep" / "f.txt", std::string("f"));
         },
         "made/deep/f.txt"},
        {"an image renamed to a plain name",
         [](const fs::path& dir) { fs::rename(dir / "sub" / "old.txt.chy", dir / "sub" / "renamed.txt"); },
         "sub/renamed.txt"},
        {"the folder deleted and made again",
         [](const fs::path& dir) {
             fs::remove_all(dir);
             fs::create_directories(dir);
             WriteAll(dir / "again.txt", std::string("a"));
         },
         "again.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(m_dir.path())) fs::remove_all(entry.path(), ignored);
        fs::create_directories(m_dir / "sub");
        WriteAll(m_dir / "sub" / "old.txt", std::string("o"));
        MonitorPass();
        MonitorPass();
        ASSERT_TRUE(fs::exists(m_dir / "sub" / "old.txt.chy"));

        c.change(m_dir.path());
        const fs::path plain = m_dir / c.plain;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (fs::exists(plain) && std::chrono::steady_clock::now() < deadline) {
            MonitorPass();
            platform::SleepMilliseconds(20);
        }
        EXPECT_FALSE(fs::exists(plain));
        EXPECT_TRUE(fs::exists(plain.string() + ".chy"));
    }
}

}  // namespace
