// Whole trees through the Ardex program and back: content, write times and attributes,
// at every compression level, and the overwrite questions of a restore.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "ArdexRunner.h"
#include "TestFiles.h"
#include "platform/FileSystem.h"

namespace fs = std::filesystem;
using ardex_test::RunArdexProcess;
using ardex_test::RunResult;
using testing_support::NativePath;
using testing_support::ReadAll;
using testing_support::ScratchDir;
using testing_support::WinPath;
using testing_support::WriteAll;

namespace {

std::u16string Opt(std::u16string_view option, const fs::path& path) {
    return std::u16string(option) + path.u16string();
}

std::string LastLine(const std::string& text) {
    std::string trimmed = text;
    while (!trimmed.empty() && trimmed.back() == '\n') trimmed.pop_back();
    const size_t start = trimmed.rfind('\n');
    return start == std::string::npos ? trimmed : trimmed.substr(start + 1);
}

std::string Describe(const RunResult& run) {
    return "exit " + std::to_string(run.exitCode) + "\n--- stdout\n" + run.out + "--- stderr\n" + run.err;
}

uint32_t Attributes(const fs::path& path) { return platform::GetAttributes(WinPath(path)); }

// The write time as the image keeps it (FILETIME, 100 ns steps).
uint64_t WriteTime(const fs::path& path) {
    platform::FindData found;
    EXPECT_TRUE(platform::FindExact(WinPath(path), found)) << path;
    return found.times.write;
}

void AddAttribute(const fs::path& path, uint32_t attribute) {
    ASSERT_TRUE(platform::SetAttributes(WinPath(path), Attributes(path) | attribute));
}

// Where "-D target" puts a source: the target plus the source's path without its drive.
fs::path RestoredPath(const fs::path& target, const fs::path& source) {
    return NativePath(WinPath(target) + u"\\" + WinPath(source).substr(3));
}

std::map<fs::path, std::vector<uint8_t>> Files(const fs::path& root) {
    std::map<fs::path, std::vector<uint8_t>> files;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        if (item.is_regular_file()) files[fs::relative(item.path(), root)] = ReadAll(item.path());
    }
    return files;
}

class ArdexRoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(ArdexRoundTrip, RestoresTheTreeAsItWas) {
    ScratchDir scratch;
    const fs::path src = scratch / "src";
    fs::create_directories(src / "nested" / "deeper");
    fs::create_directories(src / "empty folder");
    WriteAll(src / "empty.txt", std::string());
    WriteAll(src / "exact.bin", testing_support::RandomBytes(51200, 1));
    WriteAll(src / "over.bin", testing_support::RandomBytes(51201, 2));
    std::vector<uint8_t> big = testing_support::RandomBytes(1 << 20, 3);
    big.resize(3u << 20, 'z');
    WriteAll(src / "big.bin", big);
    WriteAll(src / "nested" / "deeper" / "leaf.txt", std::string("leaf"));
    WriteAll(src / fs::u8path("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt"), std::string("ja"));
    WriteAll(src / "readonly.txt", std::string("ro"));
    WriteAll(src / ".hidden.txt", std::string("h"));
    AddAttribute(src / "readonly.txt", platform::kAttrReadOnly);
    AddAttribute(src / ".hidden.txt", platform::kAttrHidden);

    const fs::path image = scratch / "tree.img";
    const fs::path target = scratch / "out";
    const std::u16string level = u"-C" + std::u16string(1, static_cast<char16_t>(u'0' + GetParam()));
    const RunResult encrypt = RunArdexProcess({Opt(u"-I", image), Opt(u"-E", src), u"-Psecret", level});
    ASSERT_EQ(LastLine(encrypt.out), "Encrypt finished") << Describe(encrypt);
    EXPECT_FALSE(fs::exists(scratch / "tree.ary"));
    const RunResult decrypt = RunArdexProcess({Opt(u"-I", image), Opt(u"-D", target), u"-Psecret"});
    ASSERT_EQ(LastLine(decrypt.out), "Decrypt finished") << Describe(decrypt);

    const fs::path restored = RestoredPath(target, src);
    EXPECT_EQ(Files(restored), Files(src));
    EXPECT_TRUE(fs::is_directory(restored / "empty folder"));
    constexpr uint32_t kKept = platform::kAttrReadOnly | platform::kAttrHidden;
    for (const auto& [relative, content] : Files(src)) {
        SCOPED_TRACE(relative.string());
        EXPECT_EQ(WriteTime(restored / relative), WriteTime(src / relative));
        EXPECT_EQ(Attributes(restored / relative) & kKept, Attributes(src / relative) & kKept);
    }
    EXPECT_NE(Attributes(restored / "readonly.txt") & platform::kAttrReadOnly, 0u);
    EXPECT_NE(Attributes(restored / ".hidden.txt") & platform::kAttrHidden, 0u);
}

INSTANTIATE_TEST_SUITE_P(Levels, ArdexRoundTrip, ::testing::Values(0, 1, 2));

TEST(ArdexRestore, OverwriteAnswersKeepOrReplaceExistingFiles) {
    const struct {
        const char* name;
        std::string input;
        bool replaced;
    } cases[] = {
        {"Y for each", "Y\nY\n", true},
        {"N for each", "n\nN\n", false},
        {"end of input", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir scratch;
        const fs::path src = scratch / "src";
        fs::create_directory(src);
        WriteAll(src / "a.txt", std::string("fresh a"));
        WriteAll(src / "b.txt", std::string("fresh b"));
        const fs::path image = scratch / "two.img";
        const fs::path target = scratch / "out";
        ASSERT_EQ(LastLine(RunArdexProcess({Opt(u"-I", image), Opt(u"-E", src), u"-Pk", u"-C1"}).out),
                  "Encrypt finished");
        ASSERT_EQ(LastLine(RunArdexProcess({Opt(u"-I", image), Opt(u"-D", target), u"-Pk"}).out),
                  "Decrypt finished");
        const fs::path restored = RestoredPath(target, src);
        WriteAll(restored / "a.txt", std::string("edited"));
        WriteAll(restored / "b.txt", std::string("edited"));

        const RunResult again = RunArdexProcess({Opt(u"-I", image), Opt(u"-D", target), u"-Pk"}, c.input);
        EXPECT_EQ(LastLine(again.out), "Decrypt finished") << Describe(again);
        EXPECT_EQ(ReadAll(restored / "a.txt").size(), c.replaced ? 7u : 6u);
        EXPECT_EQ(ReadAll(restored / "b.txt").size(), c.replaced ? 7u : 6u);
    }
}

// Relative -I, -E and -D mean the current folder's: the entries are stored with their drive,
// so the image restores.
TEST(ArdexRestore, RelativePathsFromTheWorkingFolder) {
    ScratchDir scratch;
    const fs::path docs = scratch / "docs";
    fs::create_directories(docs / "sub");
    WriteAll(docs / "a.txt", std::string("alpha"));
    WriteAll(docs / "sub" / "b.txt", std::string("beta"));

    const RunResult encrypt = RunArdexProcess({u"-Iimg.chy", u"-Edocs", u"-Ppw"}, "", scratch.path());
    ASSERT_EQ(LastLine(encrypt.out), "Encrypt finished") << Describe(encrypt);
    EXPECT_EQ(encrypt.exitCode, 0);
    ASSERT_TRUE(fs::exists(scratch / "img.chy"));
    const RunResult decrypt = RunArdexProcess({u"-Iimg.chy", u"-Dout", u"-Ppw"}, "", scratch.path());
    ASSERT_EQ(LastLine(decrypt.out), "Decrypt finished") << Describe(decrypt);
    EXPECT_EQ(decrypt.exitCode, 0);
    EXPECT_EQ(Files(RestoredPath(scratch / "out", docs)), Files(docs));
}

}  // namespace
