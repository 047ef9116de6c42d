// Files, directory search, attributes and whole-file operations; the same cases run on
// both backends.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "TestFiles.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace platform;
using testing_support::ReadAll;
using testing_support::ScratchDir;
using testing_support::WriteAll;

namespace {

bool UnderWine() {
#ifdef _WIN32
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

// 2020-01-02 03:04:05.1234567 UTC and 2009-06-15 08:30:00 UTC.
constexpr uint64_t kTime2020 = 132224078451234567ull;
constexpr uint64_t kTime2009 = 128895282000000000ull;

std::u16string Join(const std::u16string& dir, const std::u16string& name) { return dir + u"\\" + name; }

bool CreateWithBytes(const std::u16string& path, const std::vector<uint8_t>& bytes) {
    File file;
    return file.Open(path, Access::Write, Share::None, Disposition::CreateAlways) &&
           file.Write(bytes.data(), static_cast<uint32_t>(bytes.size())) && file.Close();
}

TEST(FileTest, WriteReadSeekSizeFlushClose) {
    ScratchDir dir;
    const auto data = testing_support::RandomBytes(100000, 7);
    const auto path = dir.Win("data.bin");

    File file;
    ASSERT_TRUE(file.Open(path, Access::ReadWrite, Share::None, Disposition::CreateNew));
    ASSERT_TRUE(file.Write(data.data(), static_cast<uint32_t>(data.size())));
    ASSERT_TRUE(file.Flush());
    uint64_t size = 0, position = 0;
    ASSERT_TRUE(file.Size(size));
    EXPECT_EQ(size, data.size());
    ASSERT_TRUE(file.Tell(position));
    EXPECT_EQ(position, data.size());

    ASSERT_TRUE(file.Seek(500));
    std::vector<uint8_t> buffer(1000);
    uint32_t done = 0;
    ASSERT_TRUE(file.Read(buffer.data(), 1000, done));
    ASSERT_EQ(done, 1000u);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), data.begin() + 500));
    ASSERT_TRUE(file.Tell(position));
    EXPECT_EQ(position, 1500u);

    ASSERT_TRUE(file.Seek(data.size() - 10));
    ASSERT_TRUE(file.Read(buffer.data(), 1000, done));
    EXPECT_EQ(done, 10u);
    ASSERT_TRUE(file.Read(buffer.data(), 1000, done));
    EXPECT_EQ(done, 0u) << "end of file";

    // Seeking past the end and writing extends the file.
    ASSERT_TRUE(file.Seek(data.size() + 100));
    ASSERT_TRUE(file.Write("x", 1));
    ASSERT_TRUE(file.SeekToEnd());
    ASSERT_TRUE(file.Tell(position));
    EXPECT_EQ(position, data.size() + 101);

    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(file.Read(buffer.data(), 1, done));

    auto onDisk = ReadAll(testing_support::NativePath(path));
    ASSERT_EQ(onDisk.size(), data.size() + 101);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), onDisk.begin()));
}

TEST(FileTest, MoveTransfersTheHandle) {
    ScratchDir dir;
    File first;
    ASSERT_TRUE(first.Open(dir.Win("m.bin"), Access::Write, Share::None, Disposition::CreateNew));
    File second(std::move(first));
    EXPECT_FALSE(first.IsOpen());
    EXPECT_TRUE(second.Write("abc", 3));
    File third;
    third = std::move(second);
    EXPECT_TRUE(third.Write("def", 3));
    EXPECT_TRUE(third.Close());
    EXPECT_EQ(ReadAll(dir / "m.bin").size(), 6u);
}

TEST(FileTest, Dispositions) {
    struct Case {
        const char* label;
        bool exists;
        Disposition disposition;
        bool opens;
        size_t sizeAfter;  // of the file after opening (and closing) it
    };
    const Case cases[] = {
        {"CreateNew on a missing file", false, Disposition::CreateNew, true, 0},
        {"CreateNew on an existing file", true, Disposition::CreateNew, false, 5},
        {"CreateAlways truncates", true, Disposition::CreateAlways, true, 0},
        {"CreateAlways on a missing file", false, Disposition::CreateAlways, true, 0},
        {"OpenExisting keeps the contents", true, Disposition::OpenExisting, true, 5},
        {"OpenExisting on a missing file", false, Disposition::OpenExisting, false, 0},
        {"OpenAlways keeps the contents", true, Disposition::OpenAlways, true, 5},
        {"OpenAlways creates", false, Disposition::OpenAlways, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ScratchDir dir;
        if (c.exists) WriteAll(dir / "f", std::string("hello"));
        File file;
        EXPECT_EQ(file.Open(dir.Win("f"), Access::ReadWrite, Share::None, c.disposition), c.opens);
        file.Close();
        std::error_code ec;
        const bool existsNow = std::filesystem::exists(dir / "f", ec);
        EXPECT_EQ(existsNow, c.exists || c.opens);
        if (existsNow) {
            EXPECT_EQ(std::filesystem::file_size(dir / "f"), c.sizeAfter);
        }
    }
}

TEST(FileTest, OpenFailures) {
    ScratchDir dir;
    std::filesystem::create_directory(dir / "sub");
    File file;
    EXPECT_FALSE(file.Open(dir.Win("sub"), Access::Read, Share::Read, Disposition::OpenExisting))
        << "a directory is not a file";
    EXPECT_FALSE(file.Open(dir.Win("missing\\f"), Access::Write, Share::None, Disposition::CreateAlways));
    EXPECT_FALSE(file.OpenDirectory(dir.Win("missing")));
    EXPECT_TRUE(file.OpenDirectory(dir.Win("sub")));
    EXPECT_TRUE(file.Close());
}

TEST(FileTest, TimesRoundTrip) {
    struct Case {
        const char* label;
        FileTimes set;
    };
    const Case cases[] = {
        {"write and access", {0, kTime2009, kTime2020}},
        {"write only keeps access", {0, 0, kTime2009}},
        {"access only keeps write", {0, kTime2020, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ScratchDir dir;
        const auto path = dir.Win("t.bin");
        ASSERT_TRUE(CreateWithBytes(path, {1, 2, 3}));
        File file;
        ASSERT_TRUE(file.Open(path, Access::ReadWrite, Share::None, Disposition::OpenExisting));
        FileTimes before;
        ASSERT_TRUE(file.GetTimes(before));
        EXPECT_NE(before.write, 0u);
        ASSERT_TRUE(file.SetTimes(c.set));
        ASSERT_TRUE(file.Close());

        FindData found;
        ASSERT_TRUE(FindExact(path, found));
        EXPECT_EQ(found.times.write, c.set.write ? c.set.write : before.write);
        EXPECT_EQ(found.times.access, c.set.access ? c.set.access : before.access);
        ASSERT_TRUE(file.Open(path, Access::Read, Share::Read, Disposition::OpenExisting));
        FileTimes after;
        ASSERT_TRUE(file.GetTimes(after));
        EXPECT_EQ(after.write, found.times.write);
        EXPECT_EQ(after.creation, found.times.creation);
    }
}

TEST(FileTest, CreationTimeRoundTrip) {
    if (UnderWine()) GTEST_SKIP() << "Wine cannot set a creation time on Linux";
    ScratchDir dir;
    const auto path = dir.Win("c.bin");
    ASSERT_TRUE(CreateWithBytes(path, {1}));
    File file;
    ASSERT_TRUE(file.Open(path, Access::ReadWrite, Share::None, Disposition::OpenExisting));
    FileTimes before;
    ASSERT_TRUE(file.GetTimes(before));
    ASSERT_TRUE(file.SetTimes({kTime2009, 0, 0}));
    FileTimes after;
    ASSERT_TRUE(file.GetTimes(after));
#ifdef _WIN32
    EXPECT_EQ(after.creation, kTime2009);
#else
    EXPECT_EQ(after.creation, before.creation) << "setting a creation time is a no-op on POSIX";
#endif
    EXPECT_EQ(after.write, before.write);
}

TEST(FileTest, DirectoryTimesRoundTrip) {
    ScratchDir dir;
    std::filesystem::create_directory(dir / "d");
    File handle;
    ASSERT_TRUE(handle.OpenDirectory(dir.Win("d")));
    ASSERT_TRUE(handle.SetTimes({0, kTime2009, kTime2020}));
    ASSERT_TRUE(handle.Close());
    FindData found;
    ASSERT_TRUE(FindExact(dir.Win("d"), found));
    EXPECT_EQ(found.times.write, kTime2020);
    EXPECT_EQ(found.times.access, kTime2009);
}

TEST(FileSystemTest, FindExactOnAFile) {
    ScratchDir dir;
    WriteAll(dir / "report.txt", std::string(1234, 'r'));
    FindData found;
    ASSERT_TRUE(FindExact(dir.Win("report.txt"), found));
    EXPECT_EQ(found.name, u"report.txt");
    EXPECT_EQ(found.size, 1234u);
    EXPECT_EQ(found.attributes, kAttrArchive);
    EXPECT_FALSE(found.IsDirectory());
    EXPECT_FALSE(found.IsLink());
    EXPECT_NE(found.times.write, 0u);
    EXPECT_NE(found.times.creation, 0u);

    std::filesystem::create_directory(dir / "sub");
    ASSERT_TRUE(FindExact(dir.Win("sub"), found));
    EXPECT_EQ(found.name, u"sub");
    EXPECT_TRUE(found.IsDirectory());
}

TEST(FileSystemTest, FindExactFailures) {
    ScratchDir dir;
    WriteAll(dir / "a.txt", std::string("a"));
    std::filesystem::create_directory(dir / "sub");
    const std::u16string root = dir.Win().substr(0, 3);  // "C:\" or "Z:\"
    const struct {
        const char* label;
        std::u16string path;
    } cases[] = {
        {"missing file", dir.Win("nothing.txt")},
        {"missing folder on the way", dir.Win("nothing\\a.txt")},
        {"directory with a trailing backslash", dir.Win("sub") + u"\\"},
        {"file with a trailing backslash", dir.Win("a.txt") + u"\\"},
        {"wildcard", dir.Win("*.txt")},
        {"question mark", dir.Win("a.tx?")},
        {"drive root", root},
        {"drive alone", root.substr(0, 2)},
        {"empty", u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        FindData found;
        EXPECT_FALSE(FindExact(c.path, found));
    }
}

TEST(FileSystemTest, EnumerationFindsEveryEntryOnce) {
    ScratchDir dir;
    const std::map<std::u16string, size_t> files = {
        {u"a.txt", 3}, {u"b", 0}, {u"\u65E5\u672C\u8A9E.txt", 10}, {u"long name with spaces.dat", 70000}};
    for (const auto& [name, size] : files) {
        ASSERT_TRUE(CreateWithBytes(Join(dir.Win(), name), std::vector<uint8_t>(size, 0x5A)));
    }
    ASSERT_TRUE(MakeDirectory(dir.Win("sub")));
    ASSERT_TRUE(CreateWithBytes(dir.Win("sub\\inner.txt"), {1}));

    DirectorySearch search;
    ASSERT_TRUE(search.Start(dir.Win()));
    std::multiset<std::u16string> seen;
    FindData entry;
    while (search.Next(entry)) {
        seen.insert(entry.name);
        if (entry.name == u"sub") {
            EXPECT_TRUE(entry.IsDirectory());
            EXPECT_EQ(entry.attributes & kAttrArchive, 0u);
        } else if (files.count(entry.name)) {
            EXPECT_FALSE(entry.IsDirectory());
            EXPECT_EQ(entry.size, files.at(entry.name));
            EXPECT_NE(entry.times.write, 0u);
        }
    }
    EXPECT_FALSE(search.Next(entry)) << "stays at the end";
    std::multiset<std::u16string> expected = {u"sub"};
    for (const auto& [name, size] : files) expected.insert(name);
    EXPECT_EQ(seen, expected) << "no \".\" or \"..\", nothing twice, nothing missing";

    // An empty folder lists nothing; a missing one or a file cannot be searched.
    DirectorySearch empty;
    ASSERT_TRUE(MakeDirectory(dir.Win("empty")));
    ASSERT_TRUE(empty.Start(dir.Win("empty")));
    EXPECT_FALSE(empty.Next(entry));
    DirectorySearch failing;
    EXPECT_FALSE(failing.Start(dir.Win("missing")));
    EXPECT_FALSE(failing.Start(dir.Win("a.txt")));
    EXPECT_FALSE(failing.Next(entry));
}

// The light listing must sort every entry the way the full one does: a walk that trusts
// it would otherwise descend into a link or take a folder for a file.
TEST(FileSystemTest, ANamesAndKindsListingSortsEntriesAsTheFullOne) {
    ScratchDir dir;
    ASSERT_TRUE(CreateWithBytes(dir.Win("a.txt"), {1, 2}));
    ASSERT_TRUE(CreateWithBytes(dir.Win(".hidden"), {1}));
    ASSERT_TRUE(MakeDirectory(dir.Win("sub")));
#ifndef _WIN32
    std::filesystem::create_directory_symlink(dir / "sub", dir / "dirlink");
    std::filesystem::create_symlink(dir / "a.txt", dir / "filelink");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
#endif
    constexpr uint32_t kKindBits = kAttrDirectory | kAttrReparsePoint | kAttrDevice;
    auto list = [&](SearchDetail detail) {
        std::map<std::u16string, uint32_t> kinds;
        DirectorySearch search;
        EXPECT_TRUE(search.Start(dir.Win(), detail));
        FindData entry;
        while (search.Next(entry)) kinds[entry.name] = entry.attributes & kKindBits;
        return kinds;
    };
    const auto full = list(SearchDetail::Full);
    const auto light = list(SearchDetail::NamesAndKinds);
    EXPECT_EQ(light.size(), full.size());
    for (const auto& [name, kind] : full) {
        SCOPED_TRACE(ToUtf8(name));
        ASSERT_TRUE(light.contains(name));
        if (kind & kAttrReparsePoint) {
            // What a link points at is not the light listing's business: walks never follow.
            EXPECT_NE(light.at(name) & kAttrReparsePoint, 0u);
        } else {
            EXPECT_EQ(light.at(name), kind);
        }
    }
}

TEST(FileSystemTest, AttributesAndReadOnlyRoundTrip) {
    ScratchDir dir;
    const auto file = dir.Win("ro.txt");
    ASSERT_TRUE(CreateWithBytes(file, {1, 2, 3}));
    ASSERT_TRUE(MakeDirectory(dir.Win("d")));

    EXPECT_EQ(GetAttributes(file), kAttrArchive);
    EXPECT_EQ(GetAttributes(dir.Win("d")) & (kAttrDirectory | kAttrReadOnly), kAttrDirectory);
    EXPECT_EQ(GetAttributes(dir.Win("missing")), kInvalidAttributes);
    EXPECT_TRUE(Exists(file));
    EXPECT_FALSE(Exists(dir.Win("missing")));
    EXPECT_TRUE(IsDirectory(dir.Win("d")));
    EXPECT_FALSE(IsDirectory(file));
    EXPECT_FALSE(IsDirectory(dir.Win("missing")));

    ASSERT_TRUE(SetAttributes(file, kAttrReadOnly | kAttrArchive));
    EXPECT_EQ(GetAttributes(file), kAttrReadOnly | kAttrArchive);
    FindData found;
    ASSERT_TRUE(FindExact(file, found));
    EXPECT_EQ(found.attributes, kAttrReadOnly | kAttrArchive);

    // A read-only file can be read but neither written nor deleted.
    File handle;
    EXPECT_TRUE(handle.Open(file, Access::Read, Share::Read, Disposition::OpenExisting));
    handle.Close();
    // Wine leaves this check to the Unix permissions, which root bypasses.
    if (!UnderWine()) {
        EXPECT_FALSE(handle.Open(file, Access::Write, Share::None, Disposition::OpenExisting));
        EXPECT_FALSE(handle.Open(file, Access::Write, Share::None, Disposition::CreateAlways));
    }
    handle.Close();
    EXPECT_FALSE(RemoveFile(file));
    EXPECT_TRUE(Exists(file));

    ASSERT_TRUE(SetAttributes(file, kAttrNormal));
    EXPECT_EQ(GetAttributes(file) & kAttrReadOnly, 0u);
    EXPECT_TRUE(handle.Open(file, Access::Write, Share::None, Disposition::OpenExisting));
    handle.Close();
    EXPECT_TRUE(RemoveFile(file));
    EXPECT_FALSE(Exists(file));
    EXPECT_FALSE(SetAttributes(file, kAttrNormal)) << "missing file";
}

TEST(FileSystemTest, RenameReplacingPutsAFileInPlaceOfAnother) {
    ScratchDir dir;
    ASSERT_TRUE(CreateWithBytes(dir.Win("new"), {1}));
    ASSERT_TRUE(CreateWithBytes(dir.Win("old"), {2, 2}));
    EXPECT_TRUE(RenameReplacing(dir.Win("new"), dir.Win("old")));
    EXPECT_FALSE(Exists(dir.Win("new")));
    EXPECT_EQ(ReadAll(dir / "old"), std::vector<uint8_t>{1});
    ASSERT_TRUE(CreateWithBytes(dir.Win("next"), {3}));
    EXPECT_TRUE(RenameReplacing(dir.Win("next"), dir.Win("fresh"))) << "nothing to replace";

    // Neither a folder nor a read-only file is replaced (Wine run by root replaces the latter).
    ASSERT_TRUE(MakeDirectory(dir.Win("d")));
    EXPECT_FALSE(RenameReplacing(dir.Win("fresh"), dir.Win("d")));
    ASSERT_TRUE(SetAttributes(dir.Win("old"), kAttrReadOnly | kAttrArchive));
    if (!UnderWine()) {
        EXPECT_FALSE(RenameReplacing(dir.Win("fresh"), dir.Win("old")));
        EXPECT_EQ(ReadAll(dir / "old"), std::vector<uint8_t>{1});
        EXPECT_TRUE(Exists(dir.Win("fresh")));
    }
    SetAttributes(dir.Win("old"), kAttrNormal);
}

TEST(FileSystemTest, CreatedReadOnlyStaysWritableThroughItsHandle) {
    ScratchDir dir;
    const auto path = dir.Win("new-ro.txt");
    File file;
    ASSERT_TRUE(file.Open(path, Access::Write, Share::None, Disposition::CreateNew, kAttrReadOnly));
    EXPECT_TRUE(file.Write("abc", 3));
    EXPECT_TRUE(file.Close());
    EXPECT_NE(GetAttributes(path) & kAttrReadOnly, 0u);
    EXPECT_EQ(ReadAll(dir / "new-ro.txt").size(), 3u);
}

TEST(FileSystemTest, HiddenDotFile) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows keeps the hidden attribute apart from the name";
#else
    ScratchDir dir;
    WriteAll(dir / ".profile", std::string("x"));
    EXPECT_EQ(GetAttributes(dir.Win(".profile")), kAttrHidden | kAttrArchive);
    std::filesystem::create_directory(dir / ".cache");
    EXPECT_EQ(GetAttributes(dir.Win(".cache")), kAttrHidden | kAttrDirectory);
#endif
}

TEST(FileSystemTest, SymbolicLinksAreReportedNotFollowed) {
#ifdef _WIN32
    GTEST_SKIP() << "creating symbolic links needs a privilege on Windows";
#else
    ScratchDir dir;
    std::filesystem::create_directory(dir / "target");
    WriteAll(dir / "target" / "inside.txt", std::string("x"));
    WriteAll(dir / "file.txt", std::string("12345"));
    std::filesystem::create_directory_symlink(dir / "target", dir / "dirlink");
    std::filesystem::create_symlink(dir / "file.txt", dir / "filelink");
    std::filesystem::create_symlink(dir / "gone", dir / "dangling");

    const std::map<std::u16string, uint32_t> links = {
        {u"dirlink", kAttrReparsePoint | kAttrDirectory},
        {u"filelink", kAttrReparsePoint},
        {u"dangling", kAttrReparsePoint},
    };
    for (const auto& [name, attributes] : links) {
        SCOPED_TRACE(ToUtf8(name));
        FindData found;
        ASSERT_TRUE(FindExact(Join(dir.Win(), name), found));
        EXPECT_EQ(found.attributes, attributes);
        EXPECT_EQ(found.size, 0u);
        EXPECT_EQ(GetAttributes(Join(dir.Win(), name)), attributes);
    }

    DirectorySearch search;
    ASSERT_TRUE(search.Start(dir.Win()));
    FindData entry;
    std::map<std::u16string, uint32_t> listed;
    while (search.Next(entry)) listed[entry.name] = entry.attributes;
    EXPECT_EQ(listed.size(), 5u);
    for (const auto& [name, attributes] : links) EXPECT_EQ(listed[name], attributes);
    EXPECT_EQ(listed[u"target"], kAttrDirectory);

    // Deleting a link leaves its target.
    EXPECT_TRUE(RemoveFile(dir.Win("filelink")));
    EXPECT_TRUE(std::filesystem::exists(dir / "file.txt"));
#endif
}

TEST(FileSystemTest, DirectoriesAndWholeFileOperations) {
    ScratchDir dir;
    ASSERT_TRUE(MakeDirectory(dir.Win("d")));
    EXPECT_FALSE(MakeDirectory(dir.Win("d"))) << "exists";
    EXPECT_FALSE(MakeDirectory(dir.Win("x\\y"))) << "parent missing";
    ASSERT_TRUE(CreateWithBytes(dir.Win("d\\f.txt"), {1, 2, 3, 4}));
    EXPECT_FALSE(RemoveEmptyDirectory(dir.Win("d"))) << "not empty";
    EXPECT_FALSE(RemoveFile(dir.Win("d"))) << "a directory is no file";

    // Rename refuses to replace.
    ASSERT_TRUE(CreateWithBytes(dir.Win("other.txt"), {9}));
    EXPECT_FALSE(RenameFile(dir.Win("d\\f.txt"), dir.Win("other.txt")));
    EXPECT_EQ(ReadAll(dir / "other.txt").size(), 1u);
    EXPECT_TRUE(RenameFile(dir.Win("d\\f.txt"), dir.Win("moved.txt")));
    EXPECT_FALSE(Exists(dir.Win("d\\f.txt")));
    EXPECT_EQ(ReadAll(dir / "moved.txt").size(), 4u);
    EXPECT_FALSE(RenameFile(dir.Win("d\\f.txt"), dir.Win("again.txt"))) << "source gone";

    // Copy keeps the contents and the write time, and respects failIfExists.
    File file;
    ASSERT_TRUE(file.Open(dir.Win("moved.txt"), Access::ReadWrite, Share::None, Disposition::OpenExisting));
    ASSERT_TRUE(file.SetTimes({0, 0, kTime2009}));
    ASSERT_TRUE(file.Close());
    EXPECT_FALSE(CopyFileTo(dir.Win("moved.txt"), dir.Win("other.txt"), true));
    EXPECT_EQ(ReadAll(dir / "other.txt").size(), 1u);
    EXPECT_TRUE(CopyFileTo(dir.Win("moved.txt"), dir.Win("other.txt"), false));
    EXPECT_EQ(ReadAll(dir / "other.txt"), ReadAll(dir / "moved.txt"));
    EXPECT_TRUE(CopyFileTo(dir.Win("moved.txt"), dir.Win("copy.txt"), true));
    FindData found;
    ASSERT_TRUE(FindExact(dir.Win("copy.txt"), found));
    EXPECT_EQ(found.times.write, kTime2009);
    EXPECT_EQ(found.size, 4u);
    EXPECT_FALSE(CopyFileTo(dir.Win("missing"), dir.Win("copy2.txt"), false));
    EXPECT_FALSE(CopyFileTo(dir.Win("moved.txt"), dir.Win("moved.txt"), false)) << "onto itself";
    EXPECT_EQ(ReadAll(dir / "moved.txt").size(), 4u);

    // A directory renames too.
    EXPECT_TRUE(RenameFile(dir.Win("d"), dir.Win("e")));
    EXPECT_TRUE(IsDirectory(dir.Win("e")));
    EXPECT_TRUE(RemoveEmptyDirectory(dir.Win("e")));
    EXPECT_FALSE(Exists(dir.Win("e")));
    EXPECT_FALSE(RemoveEmptyDirectory(dir.Win("e")));
    EXPECT_TRUE(RemoveFile(dir.Win("copy.txt")));
    EXPECT_FALSE(RemoveFile(dir.Win("copy.txt")));
}

TEST(FileSystemTest, LinkCountSeesEveryName) {
    ScratchDir dir;
    ASSERT_TRUE(CreateWithBytes(dir.Win("a.txt"), {1, 2, 3}));
    uint32_t links = 0;
    ASSERT_TRUE(GetLinkCount(dir.Win("a.txt"), links));
    EXPECT_EQ(links, 1u);
    EXPECT_FALSE(GetLinkCount(dir.Win("missing.txt"), links));
    std::error_code error;
    std::filesystem::create_hard_link(dir / "a.txt", dir / "b.txt", error);
    if (error) GTEST_SKIP() << "hard links cannot be created here: " << error.message();
    for (const char* name : {"a.txt", "b.txt"}) {
        links = 0;
        ASSERT_TRUE(GetLinkCount(dir.Win(name), links)) << name;
        EXPECT_EQ(links, 2u) << name;
    }
    ASSERT_TRUE(RemoveFile(dir.Win("b.txt")));
    ASSERT_TRUE(GetLinkCount(dir.Win("a.txt"), links));
    EXPECT_EQ(links, 1u);
}

// One file under every spelling that reaches it; links are made only where the system
// lets this user make them.
TEST(FileSystemTest, FileIdentityIsTheSameForEverySpellingOfOneFile) {
    ScratchDir dir;
    std::filesystem::create_directory(dir / "d");
    WriteAll(dir / "d" / "File.txt", std::string("one"));
    WriteAll(dir / "d" / "other.txt", std::string("two"));
    FileIdentity original;
    FileKind kind = FileKind::Other;
    ASSERT_TRUE(GetFileIdentity(dir.Win("d\\File.txt"), original, kind));
    EXPECT_EQ(kind, FileKind::Regular);

    std::error_code noSymlink, noHardLink;
    std::filesystem::create_symlink(dir / "d" / "File.txt", dir / "link.txt", noSymlink);
    std::filesystem::create_hard_link(dir / "d" / "File.txt", dir / "hard.txt", noHardLink);
    const struct {
        const char* label;
        std::u16string path;
        bool available;
    } spellings[] = {
        {"through . and ..", dir.Win("d\\.\\..\\d\\File.txt"), true},
        {"a hard link", dir.Win("hard.txt"), !noHardLink},
        {"a symbolic link", dir.Win("link.txt"), !noSymlink},
#ifdef _WIN32
        {"other letter case", dir.Win("D\\FILE.TXT"), true},
#endif
    };
    for (const auto& s : spellings) {
        SCOPED_TRACE(s.label);
        if (!s.available) continue;
        FileIdentity identity;
        ASSERT_TRUE(GetFileIdentity(s.path, identity, kind));
        EXPECT_EQ(identity, original);
        EXPECT_EQ(kind, FileKind::Regular);
    }

    FileIdentity other;
    ASSERT_TRUE(GetFileIdentity(dir.Win("d\\other.txt"), other, kind));
    EXPECT_FALSE(other == original);
    ASSERT_TRUE(GetFileIdentity(dir.Win("d"), other, kind));
    EXPECT_EQ(kind, FileKind::Directory);
    EXPECT_FALSE(GetFileIdentity(dir.Win("missing.txt"), other, kind));
    if (!noSymlink) {
        std::filesystem::create_symlink(dir / "gone", dir / "dangling");
        EXPECT_FALSE(GetFileIdentity(dir.Win("dangling"), other, kind)) << "a link that leads nowhere";
    }
}

TEST(FileSystemTest, FifosAreNamedWithoutBeingOpened) {
#ifdef _WIN32
    GTEST_SKIP() << "no FIFOs in Windows folders";
#else
    ScratchDir dir;
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    FileIdentity identity;
    FileKind kind = FileKind::Regular;
    ASSERT_TRUE(GetFileIdentity(dir.Win("fifo"), identity, kind)) << "returns without a writer";
    EXPECT_EQ(kind, FileKind::Other);
    File file;
    EXPECT_FALSE(file.Open(dir.Win("fifo"), Access::Read, Share::ReadWrite, Disposition::OpenExisting))
        << "refused at once instead of waiting for a writer";
    EXPECT_FALSE(file.Open(dir.Win("fifo"), Access::ReadWrite, Share::ReadWrite, Disposition::CreateAlways));
#endif
}

TEST(FileSystemTest, RenameReplacingTakesTheNameOfAnyFileThere) {
    const struct {
        const char* label;
        bool targetExists;
        bool targetReadOnly;
        bool renames;
    } cases[] = {
        {"no file at the target", false, false, true},
        {"an existing file is replaced", true, false, true},
        {"a read-only file is not", true, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ScratchDir dir;
        ASSERT_TRUE(CreateWithBytes(dir.Win("new.tmp"), {1, 2, 3}));
        if (c.targetExists) {
            ASSERT_TRUE(CreateWithBytes(dir.Win("image"), {9}));
        }
        if (c.targetReadOnly) {
            ASSERT_TRUE(SetAttributes(dir.Win("image"), kAttrReadOnly));
        }
        EXPECT_EQ(RenameReplacing(dir.Win("new.tmp"), dir.Win("image")), c.renames);
        EXPECT_EQ(Exists(dir.Win("new.tmp")), !c.renames);
        EXPECT_EQ(ReadAll(dir / "image").size(), c.renames ? 3u : 1u);
    }
    ScratchDir dir;
    EXPECT_FALSE(RenameReplacing(dir.Win("missing"), dir.Win("image")));
    EXPECT_FALSE(Exists(dir.Win("image")));
}

TEST(FileSystemTest, TempFolderIsALongDirectoryEndingInABackslash) {
    const auto temp = TempFolder();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), u'\\');
    EXPECT_TRUE(IsDirectory(temp.substr(0, temp.size() - 1)));
    EXPECT_EQ(LongPath(temp), temp);
#ifndef _WIN32
    ScratchDir dir;
    const char* saved = getenv("TMPDIR");
    const std::string restore = saved ? saved : "";
    setenv("TMPDIR", dir.path().c_str(), 1);
    EXPECT_EQ(TempFolder(), dir.Win() + u"\\");
    unsetenv("TMPDIR");
    EXPECT_EQ(TempFolder(), u"Z:\\tmp\\");
    if (saved) setenv("TMPDIR", restore.c_str(), 1);
#endif
}

TEST(FileSystemTest, LongPathOfAnExistingPath) {
    ScratchDir dir;
    WriteAll(dir / "a rather long file name.txt", std::string("x"));
    const auto path = dir.Win("a rather long file name.txt");
    const auto longPath = LongPath(path);
    FindData viaLong;
    ASSERT_TRUE(FindExact(longPath, viaLong));
    EXPECT_EQ(viaLong.name, u"a rather long file name.txt");
    EXPECT_EQ(LongPath(dir.Win("missing.txt")), dir.Win("missing.txt"));
}

}  // namespace
