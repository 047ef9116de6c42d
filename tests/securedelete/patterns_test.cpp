// The bytes each method leaves on disk after each pass.
#include <gtest/gtest.h>

#include "EngineRecorder.h"
#include "platform/Clock.h"

using namespace testing_support;
using sdtest::Event;
using sdtest::Recorder;

namespace {

// "R" is a random pass; two hex digits one byte everywhere; six hex digits a three-byte pattern.
struct MethodCase {
    int32_t method;
    std::vector<std::string> passes;
};

const MethodCase kMethodCases[] = {
    {FillZero, {"00"}},
    {FillFF, {"FF"}},
    {FillRandom, {"R"}},
    {Nsa, {"R", "R", "00"}},
    {OldNsa, {"00", "FF", "00", "FF"}},
    {Dod, {"00", "FF", "35CA97"}},
    {Nato, {"00", "FF", "00", "FF", "00", "FF", "35CA97"}},
    {Gutmann, {"R",      "R",      "R",      "R",      "55",     "AA",     "924924",
               "492492", "249249", "00",     "11",     "22",     "33",     "44",
               "55",     "66",     "77",     "88",     "99",     "AA",     "BB",
               "CC",     "DD",     "EE",     "FF",     "924924", "492492", "249249",
               "6DB6DB", "B6DB6D", "DB6DB6", "R",      "R",      "R",      "R"}},
};

std::vector<uint8_t> HexBytes(const std::string& hex) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

// A size that spans a full unit, a partial one and many 512-byte blocks.
constexpr size_t kFileSize = 65536 + 1500;

TEST(WipePatterns, EveryPassOfEveryMethodWritesItsPattern) {
    for (const MethodCase& c : kMethodCases) {
        SCOPED_TRACE("method " + std::to_string(c.method));
        ScratchDir dir;
        WriteAll(dir / "victim.bin", RandomBytes(kFileSize, 7));
        Recorder recorder;
        recorder.snapshots = true;
        CSecureDelete engine;
        engine.SetObserver(&recorder);

        const int64_t before = platform::CurrentTime();
        ASSERT_EQ(engine.Run(dir.Win("victim.bin"), c.method), 1);
        const int64_t after = platform::CurrentTime();

        EXPECT_FALSE(std::filesystem::exists(dir / "victim.bin"));
        const auto done = recorder.Of(Event::FileDone);
        ASSERT_EQ(done.size(), c.passes.size());
        for (size_t pass = 0; pass < done.size(); ++pass) {
            SCOPED_TRACE("pass " + std::to_string(pass + 1));
            EXPECT_EQ(done[pass].pass, static_cast<int32_t>(pass + 1));
            const std::vector<uint8_t>& content = done[pass].content;
            ASSERT_EQ(content.size(), kFileSize);
            std::vector<uint8_t> pattern;
            if (c.passes[pass] == "R") {
                // One byte of the engine's own generator, seeded with the pass's start second.
                bool fromGenerator = false;
                for (int64_t s = before; s <= after; ++s) {
                    fromGenerator = fromGenerator || content[0] == sdtest::RandomByteForSecond(s);
                }
                EXPECT_TRUE(fromGenerator) << "byte " << int(content[0]);
                pattern = {content[0]};
            } else {
                pattern = HexBytes(c.passes[pass]);
            }
            // A three-byte pattern restarts at every 512-byte block (512 is no multiple of 3):
            // bytes 510 and 511 of a block hold its first two bytes, byte 512 its first again.
            size_t wrong = 0;
            for (size_t k = 0; k < content.size(); ++k) {
                if (content[k] != pattern[(k % 512) % pattern.size()]) ++wrong;
            }
            EXPECT_EQ(wrong, 0u);
        }
    }
}

// Random passes seed from the clock second, so passes that start in the same second agree.
TEST(WipePatterns, RandomPassesWithinOneSecondWriteTheSameByte) {
    for (int32_t method : {Nsa, Gutmann}) {
        SCOPED_TRACE("method " + std::to_string(method));
        bool sameSecond = false;
        for (int attempt = 0; attempt < 5 && !sameSecond; ++attempt) {
            ScratchDir dir;
            WriteAll(dir / "victim.bin", std::vector<uint8_t>(100, 0x5A));
            Recorder recorder;
            recorder.snapshots = true;
            CSecureDelete engine;
            engine.SetObserver(&recorder);
            const int64_t before = platform::CurrentTime();
            ASSERT_EQ(engine.Run(dir.Win("victim.bin"), method), 1);
            if (platform::CurrentTime() != before) continue;
            sameSecond = true;

            std::vector<uint8_t> randomBytes;
            const auto done = recorder.Of(Event::FileDone);
            const std::vector<size_t> randomPasses =
                method == Nsa ? std::vector<size_t>{0, 1}
                              : std::vector<size_t>{0, 1, 2, 3, 31, 32, 33, 34};
            for (size_t pass : randomPasses) {
                ASSERT_LT(pass, done.size());
                for (uint8_t b : done[pass].content) EXPECT_EQ(b, sdtest::RandomByteForSecond(before));
            }
        }
        if (!sameSecond) GTEST_SKIP() << "every run crossed a second boundary";
    }
}

}  // namespace
