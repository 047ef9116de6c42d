// A run with a filter erases only what the filter allows and keeps everything else whole.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "EngineRecorder.h"
#include "platform/Text.h"

using namespace testing_support;
using sdtest::Event;
using sdtest::Recorder;
namespace fs = std::filesystem;

namespace {

// Allows the listed paths and counts how often each path is asked about.
class AllowList : public SecureDeleteFilter {
public:
    std::set<std::u16string> allowed;
    mutable std::map<std::u16string, int> asked;

    bool MayErase(const std::u16string& path, const platform::FindData& /*found*/) const override {
        ++asked[path];
        return allowed.count(path) != 0;
    }
};

TEST(WipeSelection, OnlyAllowedEntriesGo) {
    // root\go.bin, root\sub\go.bin: allowed; root\keep.bin, root\held\keep.bin: refused;
    // root\held is allowed but stays non-empty; root\refused is an empty folder nobody allowed.
    ScratchDir dir;
    fs::create_directories(dir / "root" / "sub");
    fs::create_directories(dir / "root" / "held");
    fs::create_directories(dir / "root" / "refused");
    WriteAll(dir / "root" / "go.bin", RandomBytes(70000, 1));
    WriteAll(dir / "root" / "sub" / "go.bin", RandomBytes(300, 2));
    WriteAll(dir / "root" / "keep.bin", RandomBytes(5000, 3));
    WriteAll(dir / "root" / "held" / "keep.bin", RandomBytes(600, 4));
    AllowList filter;
    for (const char* allowed : {"root", "root\\go.bin", "root\\sub", "root\\sub\\go.bin", "root\\held"}) {
        filter.allowed.insert(dir.Win(allowed));
    }
    Recorder recorder;
    CSecureDelete engine;
    engine.SetObserver(&recorder);
    // Dod: the first passes change the write times, and still every pass erases the same files.
    ASSERT_EQ(engine.Run(dir.Win("root"), Dod, &filter), 1);

    EXPECT_EQ(ReadAll(dir / "root" / "keep.bin"), RandomBytes(5000, 3));
    EXPECT_EQ(ReadAll(dir / "root" / "held" / "keep.bin"), RandomBytes(600, 4));
    EXPECT_EQ(sdtest::Listing(dir / "root"), (std::vector<std::string>{"held", "keep.bin", "refused"}));
    EXPECT_EQ(sdtest::Listing(dir / "root" / "held"), (std::vector<std::string>{"keep.bin"}));
    // keep.bin, held\keep.bin, held, refused and root itself.
    EXPECT_EQ(engine.KeptCount(), 5u);
    EXPECT_EQ(engine.BytesTotal(), (70000u + 300u) * 3);
    EXPECT_EQ(engine.BytesDone(), engine.BytesTotal());
    for (const Event& e : recorder.Of(Event::Write)) {
        EXPECT_TRUE(e.path == dir.Win("root\\go.bin") || e.path == dir.Win("root\\sub\\go.bin"))
            << platform::ToUtf8(e.path);
    }
    EXPECT_EQ(recorder.Of(Event::FileDone).size(), 2u * 3);
    for (const auto& [path, count] : filter.asked) EXPECT_EQ(count, 1) << platform::ToUtf8(path);
    EXPECT_EQ(filter.asked.size(), 8u);
}

TEST(WipeSelection, RefusedTargetStaysWhole) {
    ScratchDir dir;
    WriteAll(dir / "victim.bin", RandomBytes(1000, 5));
    AllowList filter;
    Recorder recorder;
    CSecureDelete engine;
    engine.SetObserver(&recorder);
    ASSERT_EQ(engine.Run(dir.Win("victim.bin"), Gutmann, &filter), 1);
    EXPECT_EQ(ReadAll(dir / "victim.bin"), RandomBytes(1000, 5));
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_EQ(engine.KeptCount(), 1u);

    // The filter was only lent to that run: the next one erases as always.
    ASSERT_EQ(engine.Run(dir.Win("victim.bin"), FillZero), 1);
    EXPECT_FALSE(fs::exists(dir / "victim.bin"));
    EXPECT_EQ(engine.KeptCount(), 0u);
}

}  // namespace
