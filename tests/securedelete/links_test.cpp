// Links inside the tree, or as the target, go as links: what they point to stays intact.
// A hard link is a second name of outside data: only the name goes.
#include <gtest/gtest.h>

#include "EngineRecorder.h"
#include "platform/FileSystem.h"

using namespace testing_support;
using sdtest::Event;
using sdtest::Recorder;
namespace fs = std::filesystem;

namespace {

// outside\inner.bin, outside\nested\deep.bin and outside.bin, all outside the erased tree.
struct Outside {
    explicit Outside(const ScratchDir& dir) : folder(dir / "outside"), file(dir / "outside.bin") {
        fs::create_directories(folder / "nested");
        WriteAll(folder / "inner.bin", RandomBytes(70000, 1));
        WriteAll(folder / "nested" / "deep.bin", RandomBytes(300, 2));
        WriteAll(file, RandomBytes(5000, 3));
    }
    void ExpectIntact() const {
        EXPECT_EQ(ReadAll(folder / "inner.bin"), RandomBytes(70000, 1));
        EXPECT_EQ(ReadAll(folder / "nested" / "deep.bin"), RandomBytes(300, 2));
        EXPECT_EQ(sdtest::Listing(folder), (std::vector<std::string>{"inner.bin", "nested"}));
        EXPECT_EQ(ReadAll(file), RandomBytes(5000, 3));
    }
    fs::path folder;
    fs::path file;
};

// False where the system (or Wine) cannot make symbolic links for this user.
bool MakeLinks(const std::vector<std::pair<fs::path, fs::path>>& folderLinks,
               const std::vector<std::pair<fs::path, fs::path>>& fileLinks) {
    std::error_code error;
    for (const auto& [target, link] : folderLinks) {
        fs::create_directory_symlink(target, link, error);
        if (error || !fs::is_symlink(fs::symlink_status(link))) return false;
    }
    for (const auto& [target, link] : fileLinks) {
        fs::create_symlink(target, link, error);
        if (error || !fs::is_symlink(fs::symlink_status(link))) return false;
    }
    return true;
}

TEST(WipeLinks, LinksInsideTheTreeAreRemovedNotFollowed) {
    for (int32_t method : {FillZero, Nsa}) {
        SCOPED_TRACE("method " + std::to_string(method));
        ScratchDir dir;
        Outside outside(dir);
        fs::create_directories(dir / "root" / "sub");
        WriteAll(dir / "root" / "own.bin", RandomBytes(1000, 4));
        if (!MakeLinks({{outside.folder, dir / "root" / "folderlink"},
                        {outside.folder, dir / "root" / "sub" / "folderlink2"}},
                       {{outside.file, dir / "root" / "filelink"}})) {
            GTEST_SKIP() << "symbolic links cannot be created here";
        }
        Recorder recorder;
        CSecureDelete engine;
        engine.SetObserver(&recorder);
        ASSERT_EQ(engine.Run(dir.Win("root"), method), 1);

        outside.ExpectIntact();
        EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "root")));
        // Only the tree's own file was written, and only its bytes count.
        for (const Event& e : recorder.Of(Event::Write)) EXPECT_EQ(e.path, dir.Win("root\\own.bin"));
        EXPECT_EQ(engine.BytesTotal(), 1000u * (method == Nsa ? 3 : 1));
        EXPECT_EQ(sdtest::Listing(dir.path()), (std::vector<std::string>{"outside", "outside.bin"}));
    }
}

TEST(WipeLinks, LinkAsTheTargetIsRemovedAsALink) {
    ScratchDir dir;
    Outside outside(dir);
    if (!MakeLinks({{outside.folder, dir / "folderlink"}}, {{outside.file, dir / "filelink"}})) {
        GTEST_SKIP() << "symbolic links cannot be created here";
    }
    for (const char* link : {"folderlink", "filelink"}) {
        SCOPED_TRACE(link);
        Recorder recorder;
        CSecureDelete engine;
        engine.SetObserver(&recorder);
        ASSERT_EQ(engine.Run(dir.Win(link), Gutmann), 1);
        EXPECT_TRUE(recorder.events.empty());
        EXPECT_FALSE(fs::exists(fs::symlink_status(dir / link)));
    }
    outside.ExpectIntact();
}

// Cancelled runs delete later entries plainly; a link among them must still go as a link.
TEST(WipeLinks, CancelledRunRemovesLinksWithoutFollowingThem) {
    ScratchDir dir;
    Outside outside(dir);
    fs::create_directory(dir / "root");
    WriteAll(dir / "root" / "big.bin", RandomBytes(4 * 65536, 5));
    if (!MakeLinks({}, {{outside.file, dir / "root" / "filelink"}})) {
        GTEST_SKIP() << "symbolic links cannot be created here";
    }
    Recorder recorder;
    CSecureDelete engine;
    engine.SetObserver(&recorder);
    recorder.hook = [&engine](const Event& e) {
        if (e.kind == Event::Write) engine.m_cancel = 1;
    };
    ASSERT_EQ(engine.Run(dir.Win("root"), OldNsa), 1);
    outside.ExpectIntact();
}

// A hard-linked name shares its data with a name outside the target: only the name inside
// goes, and the other names keep their bytes and their attributes.
TEST(WipeLinks, HardLinkedFileLosesOnlyItsName) {
    const struct {
        const char* name;
        const char* target;  // what Run is given
        const char* link;    // the hard link to outside.bin
    } cases[] = {
        {"inside the tree", "root", "root\\linked.bin"},
        {"as the target", "alias.bin", "alias.bin"},
    };
    for (const auto& c : cases) {
        for (int32_t method : {FillZero, Dod}) {
            SCOPED_TRACE(std::string(c.name) + ", method " + std::to_string(method));
            ScratchDir dir;
            Outside outside(dir);
            fs::create_directory(dir / "root");
            WriteAll(dir / "root" / "own.bin", RandomBytes(1000, 4));
            std::error_code error;
            fs::create_hard_link(outside.file, NativePath(dir.Win(c.link)), error);
            if (error) GTEST_SKIP() << "hard links cannot be created here: " << error.message();
            const uint32_t attributes = platform::GetAttributes(WinPath(outside.file));

            Recorder recorder;
            CSecureDelete engine;
            engine.SetObserver(&recorder);
            ASSERT_EQ(engine.Run(dir.Win(c.target), method), 1);

            outside.ExpectIntact();
            EXPECT_EQ(platform::GetAttributes(WinPath(outside.file)), attributes);
            EXPECT_FALSE(fs::exists(fs::symlink_status(NativePath(dir.Win(c.link)))));
            EXPECT_EQ(engine.KeptCount(), 0u);
            for (const Event& e : recorder.Of(Event::Write)) EXPECT_EQ(e.path, dir.Win("root\\own.bin"));
            const uint64_t passes = method == Dod ? 3 : 1;
            EXPECT_EQ(engine.BytesTotal(), std::string(c.target) == "root" ? 1000u * passes : 0u);
        }
    }
}

// Removing a read-only name would take the read-only state from every other name too.
TEST(WipeLinks, ReadOnlyHardLinkedFileStaysWhole) {
    ScratchDir dir;
    Outside outside(dir);
    fs::create_directory(dir / "root");
    std::error_code error;
    fs::create_hard_link(outside.file, dir / "root" / "linked.bin", error);
    if (error) GTEST_SKIP() << "hard links cannot be created here: " << error.message();
    ASSERT_TRUE(platform::SetAttributes(dir.Win("root\\linked.bin"), platform::kAttrReadOnly));
    const uint32_t attributes = platform::GetAttributes(WinPath(outside.file));
    ASSERT_NE(attributes & platform::kAttrReadOnly, 0u);

    CSecureDelete engine;
    ASSERT_EQ(engine.Run(dir.Win("root"), FillZero), 1);
    outside.ExpectIntact();
    EXPECT_EQ(platform::GetAttributes(WinPath(outside.file)), attributes);
    EXPECT_TRUE(fs::exists(dir / "root" / "linked.bin"));
    EXPECT_EQ(engine.KeptCount(), 2u);  // the name and its folder
    platform::SetAttributes(WinPath(outside.file), platform::kAttrNormal);
}

}  // namespace
