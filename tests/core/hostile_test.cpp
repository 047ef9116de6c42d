// Crafted and damaged images: every one fails cleanly, leaves no partial file and writes
// nothing outside the target folder.
#include <zlib.h>

#include <set>

#include "ImageTestSupport.h"

using namespace image_test;

namespace {

const std::u16string kPassword = u"hostile";
const std::vector<uint8_t> kGood = {'g', 'o', 'o', 'd'};

// Every path below root, for checking that nothing appeared outside the target.
std::set<fs::path> Listing(const fs::path& root, const fs::path& skip) {
    std::set<fs::path> paths;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        if (it->path() == skip) {
            it.disable_recursion_pending();
            continue;
        }
        paths.insert(it->path());
    }
    return paths;
}

// A scratch folder with a target folder, and the image's outcome measured against both.
class HostileImage : public ::testing::Test {
protected:
    fs::path Target() const { return m_scratch / "target"; }
    std::u16string ImagePath() const { return m_scratch.Win("hostile.img"); }

    void SetUp() override { fs::create_directory(Target()); }
    void EmptyTarget() const {
        fs::remove_all(Target());
        fs::create_directory(Target());
    }

    // ReadImageInfo + DecryptImage; checks nothing changed outside the target.
    int32_t Restore() {
        const std::set<fs::path> before = Listing(m_scratch.path(), Target());
        DecryptParams params = MakeParams(ImagePath(), kPassword, WinPath(Target()));
        const int32_t result = ReadAndDecrypt(params);
        EXPECT_EQ(Listing(m_scratch.path(), Target()), before) << "written outside the target";
        return result;
    }

    // Files restored below the target, with their content.
    std::map<std::string, std::vector<uint8_t>> Restored() const { return TreeContents(Target()); }

    ScratchDir m_scratch;
    RecordingFrontEnd m_frontEnd;
};

TEST_F(HostileImage, EntriesThatWouldNotBePlainFilesBelowTheTargetEndTheJob) {
    const std::u16string longName(255, u'n');
    const struct {
        const char* name;
        std::u16string path;
    } cases[] = {
        {"parent component", u"C:\\..\\..\\evil.txt"},
        {"parent deeper down", u"C:\\a\\..\\..\\..\\evil.txt"},
        {"current component", u"C:\\a\\.\\evil.txt"},
        {"empty component", u"C:\\a\\\\evil.txt"},
        {"alternate data stream", u"C:\\a\\evil.txt:stream"},
        {"no drive prefix", u"evil\\x\\evil.txt"},
        {"UNC form", u"\\\\server\\share\\evil.txt"},
        {"relative to a drive", u"C:evil.txt"},
        {"forward slashes", u"C:\\a/../../evil.txt"},
        {"trailing dot", u"C:\\a\\evil.txt."},
        {"trailing space", u"C:\\a\\evil.txt "},
        {"trailing dot on a folder", u"C:\\a.\\evil.txt"},
        {"device name", u"C:\\a\\CON"},
        {"device name, lower case with extension", u"C:\\a\\nul.txt"},
        {"serial port with extension", u"C:\\a\\com1.log"},
        {"printer port", u"C:\\a\\LPT9"},
        {"superscript port", u"C:\\a\\COM\u00B9"},
        {"device name as a folder", u"C:\\aux\\evil.txt"},
        {"wildcard", u"C:\\a\\ev*l.txt"},
        {"control character", u"C:\\a\\ev\u0001l.txt"},
        {"drive root", u"C:\\"},
        {"target too long", u"C:\\" + longName},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EmptyTarget();
        ImageBuilder builder(kPassword);
        const uint64_t good = builder.AddPlainContent(kGood);
        builder.AddEntry(u"C:\\good.txt", platform::kAttrArchive, kGood.size(), good);
        const uint64_t evil = builder.AddPlainContent({'e', 'v', 'i', 'l'});
        builder.AddEntry(c.path, platform::kAttrArchive, 4, evil);
        builder.AddEntry(u"C:\\after.txt", platform::kAttrArchive, kGood.size(), good);
        builder.Write(ImagePath());
        EXPECT_EQ(Restore(), 0);
        const std::map<std::string, std::vector<uint8_t>> expected = {{"good.txt", kGood}};
        EXPECT_EQ(Restored(), expected) << "entries before it stay, the job stops at it";
    }
}

TEST_F(HostileImage, FolderEntriesAreCheckedToo) {
    ImageBuilder builder(kPassword);
    builder.AddEntry(u"C:\\..\\escaped", platform::kAttrDirectory, 0, 0);
    builder.Write(ImagePath());
    EXPECT_EQ(Restore(), 0);
    EXPECT_FALSE(fs::exists(m_scratch / "escaped"));
    EXPECT_TRUE(fs::is_empty(Target()));
}

TEST_F(HostileImage, ALinkBelowTheTargetIsNotFollowed) {
    fs::create_directory(m_scratch / "elsewhere");
    std::error_code error;
    fs::create_directory_symlink(m_scratch / "elsewhere", Target() / "link", error);
    if (error) GTEST_SKIP() << "cannot create directory links here: " << error.message();
    fs::create_symlink(m_scratch / "elsewhere" / "victim.txt", Target() / "file-link", error);
    WriteAll(m_scratch / "elsewhere" / "victim.txt", std::string("victim"));
    const struct {
        const char* name;
        std::u16string path;
        uint32_t attributes;
    } cases[] = {
        {"file through a folder link", u"C:\\link\\evil.txt", platform::kAttrArchive},
        {"folder through a folder link", u"C:\\link\\sub", platform::kAttrDirectory},
        {"file through a deeper link", u"C:\\link\\sub\\evil.txt", platform::kAttrArchive},
        {"file onto a file link", u"C:\\file-link", platform::kAttrArchive},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ImageBuilder builder(kPassword);
        const uint64_t evil = builder.AddPlainContent({'e', 'v', 'i', 'l'});
        builder.AddEntry(c.path, c.attributes,
                         (c.attributes & platform::kAttrDirectory) ? 0 : 4, evil);
        builder.Write(ImagePath());
        m_frontEnd.answers = {OverwriteAnswer::Yes};
        EXPECT_EQ(Restore(), 0);
        EXPECT_EQ(Listing(m_scratch / "elsewhere", {}),
                  std::set<fs::path>{m_scratch / "elsewhere" / "victim.txt"});
        EXPECT_EQ(ReadAll(m_scratch / "elsewhere" / "victim.txt").size(), 6u);
    }
}

std::vector<uint8_t> Compressed(const std::vector<uint8_t>& plain) {
    std::vector<uint8_t> out(compressBound(plain.size()));
    uLongf size = out.size();
    EXPECT_EQ(compress2(out.data(), &size, plain.data(), plain.size(), 4), Z_OK);
    out.resize(size);
    return out;
}

TEST_F(HostileImage, BadChunksFailTheFileAndLeaveNoPartOfIt) {
    const std::vector<uint8_t> hundred(100, 'h');
    const std::vector<uint8_t> full(kPiecePlainMax, 'f');
    const std::vector<uint8_t> bomb = Compressed(std::vector<uint8_t>(8u << 20, 0));
    struct Chunk {
        ChunkHeader header;
        std::vector<uint8_t> payload;
    };
    const struct {
        const char* name;
        uint64_t size;
        std::vector<Chunk> chunks;
    } cases[] = {
        {"decompressed length short of plainSize", 200,
         {{{static_cast<uint32_t>(Compressed(hundred).size()), 1, 200, 0}, Compressed(hundred)}}},
        {"decompressed length beyond plainSize", 50,
         {{{static_cast<uint32_t>(Compressed(hundred).size()), 1, 50, 0}, Compressed(hundred)}}},
        {"plain chunk stored and plain sizes differ", 90, {{{100, 0, 90, 0}, hundred}}},
        {"plainSize beyond the file's remaining size", 50, {{{100, 0, 100, 0}, hundred}}},
        {"second chunk beyond the remaining size", kPiecePlainMax + 10,
         {{{kPiecePlainMax, 0, kPiecePlainMax, 0}, full}, {{100, 0, 100, 0}, hundred}}},
        {"plainSize over 51,200", kPiecePlainMax + 1,
         {{{kPiecePlainMax + 1, 0, kPiecePlainMax + 1, 0}, std::vector<uint8_t>(kPiecePlainMax + 1)}}},
        {"storedSize over 61,440", 100,
         {{{kChunkStoredMax + 1, 1, 100, 0}, std::vector<uint8_t>(kChunkStoredMax + 1)}}},
        {"zlib bomb", kPiecePlainMax,
         {{{static_cast<uint32_t>(bomb.size()), 1, kPiecePlainMax, 0}, bomb}}},
        {"not a zlib stream", 100, {{{100, 2, 100, 0}, testing_support::RandomBytes(100, 5)}}},
        {"size larger than the chunks", 1000, {{{100, 0, 100, 0}, hundred}}},
        {"size near the 64-bit limit", UINT64_MAX, {{{100, 0, 100, 0}, hundred}}},
        {"second chunk corrupt after a good one", 2 * kPiecePlainMax,
         {{{kPiecePlainMax, 0, kPiecePlainMax, 0}, full},
          {{static_cast<uint32_t>(bomb.size()), 1, kPiecePlainMax, 0}, bomb}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EmptyTarget();
        ImageBuilder builder(kPassword);
        uint64_t offset = 0;
        for (size_t i = 0; i < c.chunks.size(); ++i) {
            const uint64_t at = builder.AddChunk(c.chunks[i].header, c.chunks[i].payload);
            if (i == 0) offset = at;
        }
        builder.AddEntry(u"C:\\f.bin", platform::kAttrArchive, c.size, offset);
        builder.Write(ImagePath());
        EXPECT_EQ(Restore(), 0);
        EXPECT_TRUE(Restored().empty()) << "a partly restored file remains";
    }
}

TEST_F(HostileImage, DataOffsetsOutsideTheFileFail) {
    for (const uint64_t offset : {uint64_t{1} << 40, UINT64_MAX, uint64_t{0}}) {
        SCOPED_TRACE(offset);
        ImageBuilder builder(kPassword);
        builder.AddEntry(u"C:\\f.bin", platform::kAttrArchive, 10, offset);
        builder.Write(ImagePath());
        EXPECT_EQ(Restore(), 0);
        EXPECT_TRUE(Restored().empty());
    }
}

TEST_F(HostileImage, EntryCountsBeyondTheTableFail) {
    for (const uint32_t count : {2u, 1000000u, UINT32_MAX}) {
        SCOPED_TRACE(count);
        EmptyTarget();
        ImageBuilder builder(kPassword);
        const uint64_t good = builder.AddPlainContent(kGood);
        builder.AddEntry(u"C:\\good.txt", platform::kAttrArchive, kGood.size(), good);
        builder.entryCount = count;
        builder.Write(ImagePath());
        EXPECT_EQ(Restore(), 0);
        const std::map<std::string, std::vector<uint8_t>> expected = {{"good.txt", kGood}};
        EXPECT_EQ(Restored(), expected);
    }
}

TEST_F(HostileImage, TableOffsetsOutsideTheFileFail) {
    ImageBuilder builder(kPassword);
    const uint64_t good = builder.AddPlainContent(kGood);
    builder.AddEntry(u"C:\\good.txt", platform::kAttrArchive, kGood.size(), good);
    builder.Write(ImagePath());
    const uint64_t length = fs::file_size(NativePath(ImagePath()));
    for (const uint64_t offset : {length, length + 1000, uint64_t{1} << 62, UINT64_MAX,
                                  uint64_t{0}}) {
        SCOPED_TRACE(offset);
        platform::File file;
        ASSERT_TRUE(file.Open(ImagePath(), platform::Access::ReadWrite, platform::Share::ReadWrite,
                              platform::Disposition::OpenExisting));
        ASSERT_TRUE(SetImageTableOffset(file, kPassword, offset));
        file.Close();
        EXPECT_EQ(Restore(), 0);
        EXPECT_TRUE(Restored().empty());
    }
}

TEST_F(HostileImage, TruncatedImagesFailAndRestoreOnlyWholeFiles) {
    const fs::path src = m_scratch / "src";
    fs::create_directories(src / "d");
    const std::vector<uint8_t> first = testing_support::RandomBytes(130000, 6);
    const std::vector<uint8_t> second = testing_support::RandomBytes(70000, 7);
    WriteAll(src / "first.bin", first);
    WriteAll(src / "d" / "second.bin", second);
    const std::u16string whole = m_scratch.Win("whole.img");
    ASSERT_EQ(Encrypt({WinPath(src / "first.bin"), WinPath(src / "d" / "second.bin")}, whole,
                      kPassword, 1),
              1);
    const std::vector<uint8_t> bytes = ReadAll(NativePath(whole));
    const DecodedImage decoded = DecodeImage(whole, kPassword);
    const uint64_t tableOffset = HeaderTableOffset(decoded.header.data(), decoded.version);
    const std::map<std::string, std::vector<uint8_t>> originals = {
        {"first.bin", first}, {"second.bin", second}};
    for (const uint64_t cut : {uint64_t{0}, uint64_t{100}, uint64_t{319}, uint64_t{320},
                               uint64_t{400}, tableOffset / 2, tableOffset - 1, tableOffset,
                               tableOffset + 10, tableOffset + 16 + 300, bytes.size() - 1}) {
        SCOPED_TRACE(cut);
        EmptyTarget();
        WriteAll(NativePath(ImagePath()), std::vector<uint8_t>(bytes.begin(), bytes.begin() + cut));
        EXPECT_EQ(Restore(), 0);
        for (const auto& [name, content] : Restored()) {
            const std::string leaf = fs::path(name).filename().string();
            ASSERT_TRUE(originals.count(leaf)) << name;
            EXPECT_EQ(content, originals.at(leaf)) << "a partial file remains: " << name;
        }
    }
}

}  // namespace
