// Write units, the final pass, the name-slot sweep and files the engine must leave alone.
#include <gtest/gtest.h>

#include <map>

#include "EngineRecorder.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

using namespace testing_support;
using sdtest::Event;
using sdtest::Recorder;
namespace fs = std::filesystem;

namespace {

constexpr uint64_t kUnit = 65536;

TEST(WipeWriteUnits, FullUnitsThenOneRemainderPerPass) {
    struct Case {
        uint64_t size;
        std::vector<uint32_t> writes;  // per pass
    };
    const Case cases[] = {
        {0, {}},
        {1, {1}},
        {kUnit - 1, {65535}},
        {kUnit, {65536}},
        {kUnit + 1, {65536, 1}},
        {3 * kUnit, {65536, 65536, 65536}},
        {2 * kUnit + 100, {65536, 65536, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("size " + std::to_string(c.size));
        ScratchDir dir;
        WriteAll(dir / "f.bin", RandomBytes(c.size, 3));
        Recorder recorder;
        CSecureDelete engine;
        engine.SetObserver(&recorder);
        // Length checked on disk after every pass, before the final rename.
        std::vector<uint64_t> lengths;
        recorder.hook = [&](const Event& e) {
            if (e.kind == Event::FileDone) lengths.push_back(fs::file_size(NativePath(e.path)));
        };
        ASSERT_EQ(engine.Run(dir.Win("f.bin"), OldNsa), 1);

        for (int32_t pass = 1; pass <= 4; ++pass) {
            std::vector<uint32_t> writes;
            for (const Event& e : recorder.Of(Event::Write)) {
                if (e.pass == pass) writes.push_back(e.bytes);
            }
            EXPECT_EQ(writes, c.writes) << "pass " << pass;
        }
        // Even an empty file is opened and flushed on every pass.
        EXPECT_EQ(lengths, std::vector<uint64_t>(4, c.size));
        EXPECT_FALSE(fs::exists(dir / "f.bin"));
        EXPECT_TRUE(fs::is_empty(dir.path())) << "mask or sweep entries left behind";
        EXPECT_EQ(engine.BytesDone(), 4 * c.size);
    }
}

// root\a.bin, root\sub1\b.bin, root\sub1\deep\c.bin (empty), root\sub2 (empty folder)
struct Tree {
    explicit Tree(const ScratchDir& dir) : root(dir / "root") {
        fs::create_directories(root / "sub1" / "deep");
        fs::create_directories(root / "sub2");
        WriteAll(root / "a.bin", RandomBytes(70000, 1));
        WriteAll(root / "sub1" / "b.bin", RandomBytes(10, 2));
        WriteAll(root / "sub1" / "deep" / "c.bin", std::string());
    }
    fs::path root;
    const std::vector<std::string> files{"a.bin", "sub1/b.bin", "sub1/deep/c.bin"};
    const std::vector<std::string> folders{"sub1", "sub1/deep", "sub2"};
};

TEST(WipeFinalPass, TreeStaysUntilLastPassThenGoesDeepestFirst) {
    ScratchDir dir;
    Tree tree(dir);
    Recorder recorder;
    CSecureDelete engine;
    engine.SetObserver(&recorder);
    int32_t lastPassSeen = 0;
    bool everythingPresentBeforeLastPass = true;
    recorder.hook = [&](const Event& e) {
        if (e.kind != Event::FileDone) return;
        lastPassSeen = e.pass;
        if (e.pass == 4) return;
        for (const auto& f : tree.files) everythingPresentBeforeLastPass &= fs::is_regular_file(tree.root / f);
        for (const auto& d : tree.folders) everythingPresentBeforeLastPass &= fs::is_directory(tree.root / d);
    };
    ASSERT_EQ(engine.Run(dir.Win("root"), OldNsa), 1);

    EXPECT_TRUE(everythingPresentBeforeLastPass);
    EXPECT_EQ(recorder.Of(Event::FileDone).size(), 3u * 4u);
    EXPECT_FALSE(fs::exists(tree.root));
    EXPECT_TRUE(fs::is_empty(dir.path()));

    // Each folder goes after everything below it, and only in the last pass.
    std::vector<std::u16string> removed;
    bool fileDoneAfterRemoval = false;
    for (const Event& e : recorder.events) {
        if (e.kind == Event::DirectoryRemoved) removed.push_back(e.path);
        if (e.kind == Event::FileDone && e.pass != 4) fileDoneAfterRemoval |= !removed.empty();
    }
    EXPECT_FALSE(fileDoneAfterRemoval);
    ASSERT_EQ(removed.size(), 4u);
    EXPECT_EQ(removed.back(), dir.Win("root"));
    std::map<std::u16string, size_t> position;
    for (size_t i = 0; i < removed.size(); ++i) position[removed[i]] = i;
    ASSERT_EQ(position.size(), 4u);
    ASSERT_TRUE(position.count(dir.Win("root\\sub1\\deep")) && position.count(dir.Win("root\\sub1")));
    EXPECT_LT(position[dir.Win("root\\sub1\\deep")], position[dir.Win("root\\sub1")]);
}

TEST(WipeFinalPass, SweepCreatesTheFiftyTwoNamesAndRemovesThem) {
    ScratchDir dir;
    Tree tree(dir);
    Recorder recorder;
    CSecureDelete engine;
    engine.SetObserver(&recorder);
    std::vector<std::string> problems;
    int sweeps = 0;
    recorder.hook = [&](const Event& e) {
        if (e.kind != Event::Sweep) return;
        ++sweeps;
        const fs::path folder = NativePath(e.path);
        for (const auto& name : sdtest::SweepNames()) {
            if (!fs::exists(folder / name)) problems.push_back("missing " + name);
        }
        // Mask name itself is gone by the time the sweep runs.
        if (fs::exists(folder / std::string(32, '$'))) problems.push_back("mask left");
    };
    ASSERT_EQ(engine.Run(dir.Win("root"), FillZero), 1);

    // One sweep per deleted file and per removed folder.
    EXPECT_EQ(sweeps, 3 + 4);
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

// An entry that already holds the mask name or a sweep name belongs to someone else.
TEST(WipeFinalPass, ExistingMaskAndSweepNamesAreLeftAlone) {
    ScratchDir dir;
    const std::string mask(32, '$');
    const std::string slot = "Q" + std::string(31, '$');
    WriteAll(dir / mask, std::string("not ours"));
    WriteAll(dir / slot, std::string("not ours either"));
    WriteAll(dir / "victim.bin", RandomBytes(1000, 4));
    WriteAll(dir / "other.bin", RandomBytes(1000, 5));
    fs::create_directory(dir / "emptydir");

    CSecureDelete engine;
    ASSERT_EQ(engine.Run(dir.Win("victim.bin"), FillFF), 1);
    EXPECT_EQ(ReadAll(dir / mask), std::vector<uint8_t>({'n', 'o', 't', ' ', 'o', 'u', 'r', 's'}));
    // Cannot be moved to a taken mask name: stays overwritten under its own name.
    EXPECT_EQ(ReadAll(dir / "victim.bin"), std::vector<uint8_t>(1000, 0xFF));

    fs::remove(dir / mask);
    ASSERT_EQ(engine.Run(dir.Win("emptydir"), FillFF), 1);
    ASSERT_EQ(engine.Run(dir.Win("other.bin"), FillFF), 1);
    EXPECT_FALSE(fs::exists(dir / "emptydir"));
    EXPECT_FALSE(fs::exists(dir / "other.bin"));
    EXPECT_EQ(sdtest::Listing(dir.path()), (std::vector<std::string>{slot, "victim.bin"}));
    EXPECT_EQ(ReadAll(dir / slot).size(), 15u);
}

// A file the engine cannot open, however it resets attributes.
class UnopenableFile {
public:
    explicit UnopenableFile(const fs::path& path) : m_path(path) {
#ifdef _WIN32
        WriteAll(path, std::string("locked"));
        const std::u16string win = WinPath(path);
        platform::SetAttributes(win, platform::kAttrReadOnly | platform::kAttrHidden);
        m_ok = m_lock.Open(win, platform::Access::Read, platform::Share::None,
                           platform::Disposition::OpenExisting);
#else
        // A socket has a directory entry but open() refuses it, for root too.
        m_fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string native = path.string();
        if (m_fd < 0 || native.size() >= sizeof(address.sun_path)) return;
        native.copy(address.sun_path, native.size());
        m_ok = bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
        fs::permissions(path, fs::perms::owner_read | fs::perms::group_read);
#endif
    }
    ~UnopenableFile() {
#ifndef _WIN32
        if (m_fd >= 0) close(m_fd);
#endif
    }
    bool ok() const { return m_ok; }

private:
    fs::path m_path;
    bool m_ok = false;
#ifdef _WIN32
    platform::File m_lock;
#else
    int m_fd = -1;
#endif
};

TEST(WipeFinalPass, FileThatCannotBeOpenedIsSkippedAndKeepsItsFolders) {
    ScratchDir dir;
    fs::create_directories(dir / "root" / "keep");
    WriteAll(dir / "root" / "gone.bin", RandomBytes(5000, 6));
    WriteAll(dir / "root" / "keep" / "other.bin", RandomBytes(5000, 7));
    UnopenableFile locked(dir / "root" / "keep" / "locked");
    ASSERT_TRUE(locked.ok());
    const std::u16string lockedPath = dir.Win("root\\keep\\locked");
    const uint32_t attributesBefore = platform::GetAttributes(lockedPath);
    ASSERT_NE(attributesBefore & platform::kAttrReadOnly, 0u);

    Recorder recorder;
    CSecureDelete engine;
    engine.SetObserver(&recorder);
    ASSERT_EQ(engine.Run(dir.Win("root"), Dod), 1);

    EXPECT_EQ(platform::GetAttributes(lockedPath), attributesBefore);
    EXPECT_EQ(sdtest::Listing(dir / "root" / "keep"), std::vector<std::string>{"locked"});
    EXPECT_EQ(sdtest::Listing(dir / "root"), std::vector<std::string>{"keep"});
    EXPECT_EQ(sdtest::Listing(dir.path()), std::vector<std::string>{"root"});
    for (const Event& e : recorder.events) EXPECT_NE(e.path, lockedPath);
    // Its size stays in the total: 3 passes over two 5000-byte files, none of the locked one.
    EXPECT_EQ(engine.BytesDone(), 3u * 10000u);
}

// Paths in the engine are at most 259 characters; longer ones are left exactly as they are.
TEST(WipeLongPaths, FilesBeyondTheLimitAreSkippedWhole) {
    ScratchDir dir;
    const std::u16string base = dir.Win("root");
    const size_t segment = 60;
    fs::path deep = dir / "root";
    std::u16string deepWin = base;
    while (deepWin.size() + 1 + segment < 240) {
        deep /= std::string(segment, 'd');
        deepWin += u'\\' + std::u16string(segment, u'd');
    }
    // A folder of 250 characters: its own path fits, a 40-character file name in it does not.
    deep /= std::string(250 - deepWin.size() - 1, 'e');
    std::error_code error;
    fs::create_directories(deep, error);
    const fs::path longFile = deep / std::string(40, 'f');
    // Fits, but its mask path would not: overwritten, then left under its own name.
    const fs::path nearLimit = deep / "s";
    if (!error) {
        try {
            WriteAll(longFile, RandomBytes(3000, 8));
            WriteAll(nearLimit, RandomBytes(3000, 10));
        } catch (const std::exception&) {
            error = std::make_error_code(std::errc::filename_too_long);
        }
    }
    if (error) GTEST_SKIP() << "this system cannot create paths beyond 259 characters";
    ASSERT_EQ(WinPath(deep).size(), 250u);
    ASSERT_GT(WinPath(longFile).size(), 259u);

    CSecureDelete engine;
    ASSERT_EQ(engine.Run(base, FillZero), 1);
    EXPECT_EQ(ReadAll(longFile), RandomBytes(3000, 8));
    EXPECT_EQ(ReadAll(nearLimit), std::vector<uint8_t>(3000, 0));
    EXPECT_EQ(sdtest::Listing(deep), (std::vector<std::string>{std::string(40, 'f'), "s"}));
    // The folders above cannot be emptied, so they stay.
    EXPECT_TRUE(fs::is_directory(deep));

    // The long path as the target itself: untouched.
    ASSERT_EQ(engine.Run(WinPath(longFile), FillZero), 1);
    EXPECT_EQ(ReadAll(longFile), RandomBytes(3000, 8));
    EXPECT_EQ(engine.BytesTotal(), 0u);
}

}  // namespace
