// Opens without sharing, the retry rule of the shared temporary files, deleting through a
// held handle, and the application-data folder. On POSIX sharing is approximated with
// advisory locks, so the same table runs on both backends.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/Clock.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "TestFiles.h"

using namespace platform;
using testing_support::ScratchDir;
using testing_support::WriteAll;

namespace {

TEST(SharingTest, AnUnsharedOpenFailsWhileAnyOtherHandleIsOpen) {
    struct Case {
        const char* name;
        Access heldAccess;
        Share heldShare;
        Share secondShare;
        bool secondOpens;
    } const cases[] = {
        {"shared reader, shared reader", Access::Read, Share::ReadWrite, Share::ReadWrite, true},
        {"shared reader, unshared", Access::Read, Share::ReadWrite, Share::None, false},
        {"shared writer, unshared", Access::Write, Share::ReadWrite, Share::None, false},
        {"unshared, shared reader", Access::Read, Share::None, Share::ReadWrite, false},
        {"unshared, unshared", Access::ReadWrite, Share::None, Share::None, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        WriteAll(dir / "f", std::string("content"));
        File held, second;
        ASSERT_TRUE(held.Open(dir.Win("f"), c.heldAccess, c.heldShare, Disposition::OpenExisting));
        EXPECT_EQ(second.Open(dir.Win("f"), Access::Read, c.secondShare, Disposition::OpenExisting),
                  c.secondOpens);
        second.Close();
        held.Close();
        EXPECT_TRUE(second.Open(dir.Win("f"), Access::Read, c.secondShare, Disposition::OpenExisting));
    }
}

TEST(SharingTest, TheCurrentSizeIsKnownWhileAWriterHoldsTheFileUnshared) {
    ScratchDir dir;
    WriteAll(dir / "journal", std::string("12345"));
    File writer;
    ASSERT_TRUE(writer.Open(dir.Win("journal"), Access::ReadWrite, Share::None, Disposition::OpenExisting));
    ASSERT_TRUE(writer.SeekToEnd());
    ASSERT_TRUE(writer.Write("678", 3));
    uint64_t size = 0;
    EXPECT_TRUE(GetCurrentFileSize(dir.Win("journal"), size));
    EXPECT_EQ(size, 8u) << "the size after the append, not the one listed before it";
    writer.Close();
    EXPECT_FALSE(GetCurrentFileSize(dir.Win(), size)) << "a folder has no file size";
    EXPECT_FALSE(GetCurrentFileSize(dir.Win("missing"), size));
}

TEST(SharingTest, OpenUnsharedRetriesForAbout100Milliseconds) {
    ScratchDir dir;
    WriteAll(dir / "journal", std::string());
    File held;
    ASSERT_TRUE(held.Open(dir.Win("journal"), Access::ReadWrite, Share::ReadWrite, Disposition::OpenExisting));
    const auto start = std::chrono::steady_clock::now();
    File file;
    EXPECT_FALSE(OpenUnshared(file, dir.Win("journal"), Access::ReadWrite, Disposition::OpenExisting));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(90));

    std::thread release([&] {
        SleepMilliseconds(30);
        held.Close();
    });
    EXPECT_TRUE(OpenUnshared(file, dir.Win("journal"), Access::ReadWrite, Disposition::OpenExisting));
    release.join();
}

TEST(SharingTest, DeleteThroughAHandleThatLocksOthersOut) {
    ScratchDir dir;
    WriteAll(dir / "plain.txt", std::string("plain"));
    File victim;
    ASSERT_TRUE(victim.OpenForDeletion(dir.Win("plain.txt")));
    File other;
    EXPECT_FALSE(other.Open(dir.Win("plain.txt"), Access::Write, Share::ReadWrite, Disposition::OpenExisting));
    EXPECT_TRUE(victim.DeleteAndClose(dir.Win("plain.txt")));
    EXPECT_FALSE(victim.IsOpen());
    EXPECT_FALSE(Exists(dir.Win("plain.txt")));

    // Held elsewhere: no handle for deleting.
    WriteAll(dir / "busy.txt", std::string("busy"));
    ASSERT_TRUE(other.Open(dir.Win("busy.txt"), Access::Read, Share::ReadWrite, Disposition::OpenExisting));
    EXPECT_FALSE(victim.OpenForDeletion(dir.Win("busy.txt")));
    EXPECT_FALSE(victim.OpenForDeletion(dir.Win("missing.txt")));
}

TEST(SharingTest, RoamingAppDataFolderExists) {
#ifndef _WIN32
    ScratchDir dir;
    const char* saved = getenv("XDG_CONFIG_HOME");
    const std::string restore = saved ? saved : "";
    setenv("XDG_CONFIG_HOME", (dir.path().string() + "/").c_str(), 1);
    EXPECT_EQ(RoamingAppDataFolder(), dir.Win());
    unsetenv("XDG_CONFIG_HOME");
    const char* home = getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        EXPECT_EQ(RoamingAppDataFolder(), testing_support::WinPath(std::string(home) + "/.config"));
    }
    if (saved) setenv("XDG_CONFIG_HOME", restore.c_str(), 1);
#else
    const std::u16string folder = RoamingAppDataFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), u'\\');
    EXPECT_TRUE(IsDirectory(folder));
    EXPECT_NE(folder.find(u"Roaming"), std::u16string::npos);
#endif
}

}  // namespace
