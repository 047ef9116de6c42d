// EncryptFolder when a folder is added, DecryptFolder when it is released.
#include "EngineFixture.h"
#include "core/ImageWriter.h"

namespace {

using testing_support::WriteAll;
namespace fs = std::filesystem;

class FolderTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        fs::create_directories(m_dir / "sub");
        WriteAll(m_dir / "a.txt", std::string("alpha"));
        WriteAll(m_dir / "sub" / "b.txt", std::string(120000, 'b'));
        WriteAll(m_dir / "t.ary", std::string("table"));
    }
    // A two-file image, which DecryptFolder leaves alone.
    void MakeMultiFileImage() {
        fs::create_directories(m_dir / "pair");
        WriteAll(m_dir / "pair" / "1", std::string("1"));
        WriteAll(m_dir / "pair" / "2", std::string("2"));
        CEncryptInfo info;
        info.m_sources = {m_dir.Win("pair")};
        info.m_imagePath = m_dir.Win("multi.chy");
        info.m_password = u"pw";
        ASSERT_EQ(EncryptToImage(info), 1);
        fs::remove_all(m_dir / "pair");
    }
};

TEST_F(FolderTest, EncryptThenDecryptRoundTrip) {
    MakeMultiFileImage();
    ASSERT_EQ(EncryptFolder(m_dir.Win(), u"pw", 1, 1, 0, 3), 1);
    for (const char* name : {"a.txt", "sub/b.txt", "t.ary"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(fs::exists(m_dir / name));
        EXPECT_TRUE(fs::exists(m_dir / (std::string(name) + ".chy")));
    }
    ASSERT_EQ(DecryptFolder(m_dir.Win(), u"pw", 1), 1);
    EXPECT_EQ(Text(m_dir / "a.txt"), "alpha");
    EXPECT_EQ(Text(m_dir / "sub" / "b.txt"), std::string(120000, 'b'));
    EXPECT_EQ(Text(m_dir / "t.ary"), "table");
    EXPECT_FALSE(fs::exists(m_dir / "a.txt.chy"));
    EXPECT_FALSE(fs::exists(m_dir / "sub" / "b.txt.chy"));
    EXPECT_TRUE(fs::exists(m_dir / "multi.chy"));
    EXPECT_TRUE(m_frontEnd.m_messages.empty());
}

TEST_F(FolderTest, ASixtyCharacterPasswordEncryptsAndReleasesTheFolder) {
    const std::u16string password(60, u'k');
    ASSERT_EQ(EncryptFolder(m_dir.Win(), password, 1, 0, 0, 3), 1);
    EXPECT_FALSE(fs::exists(m_dir / "a.txt"));
    ASSERT_EQ(DecryptFolder(m_dir.Win(), password, 1), 1);
    EXPECT_EQ(Text(m_dir / "a.txt"), "alpha");
    EXPECT_FALSE(fs::exists(m_dir / "a.txt.chy"));
    EXPECT_TRUE(m_frontEnd.m_messages.empty());
}

TEST_F(FolderTest, AWrongPasswordLeavesEverythingInPlace) {
    ASSERT_EQ(EncryptFolder(m_dir.Win(), u"pw", 1, 0, 0, 3), 1);
    EXPECT_EQ(DecryptFolder(m_dir.Win(), u"other", 1), 1);
    EXPECT_TRUE(fs::exists(m_dir / "a.txt.chy"));
    EXPECT_FALSE(fs::exists(m_dir / "a.txt"));
    ASSERT_FALSE(m_frontEnd.m_messages.empty());
    EXPECT_EQ(m_frontEnd.m_messages[0].role, CoreMessage::WrongPassword);
    EXPECT_EQ(Restored(m_dir.Win("a.txt.chy"), u"pw"), "alpha");
}

TEST_F(FolderTest, ARestoreThatDidNotReallyRestoreKeepsTheImage) {
    ASSERT_EQ(EncryptFolder(m_dir.Win(), u"pw", 1, 0, 0, 3), 1);
    // The core reports success when the user declines to replace a file already there.
    WriteAll(m_dir / "a.txt", std::string("older"));
    m_frontEnd.m_answer = OverwriteAnswer::No;
    ASSERT_EQ(DecryptFolder(m_dir.Win(), u"pw", 1), 1);
    EXPECT_EQ(m_frontEnd.m_questions, 1);
    EXPECT_EQ(Text(m_dir / "a.txt"), "older");
    EXPECT_TRUE(fs::exists(m_dir / "a.txt.chy"));
    EXPECT_FALSE(fs::exists(m_dir / "sub" / "b.txt.chy"));
}

TEST_F(FolderTest, AFailedRestoreKeepsTheImage) {
    ASSERT_EQ(EncryptFolder(m_dir.Win(), u"pw", 1, 0, 0, 3), 1);
    // A folder where the file should go: the restore fails.
    fs::create_directories(m_dir / "a.txt");
    DecryptFolder(m_dir.Win(), u"pw", 1);
    EXPECT_TRUE(fs::exists(m_dir / "a.txt.chy"));
    EXPECT_EQ(Restored(m_dir.Win("a.txt.chy"), u"pw"), "alpha");
}

TEST_F(FolderTest, EncryptFolderRefusesWhatIsNoFolder) {
    EXPECT_EQ(EncryptFolder(m_dir.Win("a.txt"), u"pw", 1, 0, 0, 3), 0);
    EXPECT_EQ(EncryptFolder(m_dir.Win("missing"), u"pw", 1, 0, 0, 3), 0);
    EXPECT_EQ(DecryptFolder(m_dir.Win("missing"), u"pw", 1), 0);
    EXPECT_EQ(EncryptSingleFile(m_dir.Win("a.txt"), m_dir.Win("a.txt.chy"), std::u16string(61, u'p'), 1, 0, 0, 3), 0);
    EXPECT_TRUE(fs::exists(m_dir / "a.txt"));
}

}  // namespace
