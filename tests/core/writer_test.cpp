// Encryption into images: round trips, the image's structure, overwrite questions,
// failures, links and cancellation.
#include <zlib.h>

#include <atomic>
#include <fstream>
#include <set>
#include <thread>

#include "ImageTestSupport.h"
#include "core/TableFiles.h"

using namespace image_test;

namespace {

const std::u16string kPassword = u"secret pass";

// The tree every round trip uses; names are relative to its root.
struct SourceTree {
    fs::path root;
    std::vector<std::string> files;
};

void SetAttribute(const fs::path& path, uint32_t attribute) {
    const std::u16string win = WinPath(path);
    ASSERT_TRUE(platform::SetAttributes(win, platform::GetAttributes(win) | attribute));
}

SourceTree MakeTree(const ScratchDir& scratch) {
    SourceTree tree{scratch / "src", {}};
    fs::create_directories(tree.root / "nested" / "deeper");
    fs::create_directories(tree.root / "empty dir");
    const auto add = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        WriteAll(tree.root / fs::u8path(name), bytes);
        tree.files.push_back(name);
    };
    add("empty.txt", {});
    add("exact.bin", testing_support::RandomBytes(51200, 1));
    add("over.bin", testing_support::RandomBytes(51201, 2));
    std::vector<uint8_t> big = testing_support::RandomBytes(1 << 20, 3);
    const std::string text(2 << 20, 'x');
    big.insert(big.end(), text.begin(), text.end());
    add("big.bin", big);
    add("nested/deeper/leaf.txt", std::vector<uint8_t>{'l', 'e', 'a', 'f'});
    add("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt", std::vector<uint8_t>{'j', 'a'});
    add("readonly.txt", std::vector<uint8_t>{'r', 'o'});
    add(".hidden.txt", std::vector<uint8_t>{'h'});
    SetAttribute(tree.root / "readonly.txt", platform::kAttrReadOnly);
    SetAttribute(tree.root / ".hidden.txt", platform::kAttrHidden);
    return tree;
}

std::vector<uint8_t> PlainContent(const DecodedEntry& decoded) {
    std::vector<uint8_t> content;
    for (const auto& chunk : decoded.chunks) {
        if (chunk.header.method == 0) {
            content.insert(content.end(), chunk.payload.begin(), chunk.payload.end());
            continue;
        }
        std::vector<uint8_t> piece(kPiecePlainMax);
        uLongf n = piece.size();
        EXPECT_EQ(uncompress(piece.data(), &n, chunk.payload.data(), chunk.payload.size()), Z_OK);
        content.insert(content.end(), piece.begin(), piece.begin() + n);
    }
    return content;
}

// The ancestors the writer must record for one source, outermost first.
std::vector<std::u16string> AncestorsOf(const std::u16string& source) {
    std::vector<std::u16string> ancestors;
    for (size_t i = 3; i < source.size(); ++i) {
        if (source[i] == u'\\') ancestors.push_back(source.substr(0, i));
    }
    return ancestors;
}

void ExpectStructure(const DecodedImage& image, int32_t level, size_t sourceCount) {
    ASSERT_EQ(image.version, kImageVersion);
    uint64_t chunkBytes = 0;
    uint32_t files = 0;
    uint64_t expectedOffset = kHeaderSize + 16 + 520 * sourceCount;
    std::set<std::u16string> directories;
    for (size_t i = 0; i < image.entries.size(); ++i) {
        const auto& decoded = image.entries[i];
        const std::u16string path = FieldText(decoded.entry.path, kPathChars);
        SCOPED_TRACE(Narrow(path));
        const std::u16string parent = path.substr(0, path.rfind(u'\\'));
        if (i > 0 && parent.size() > 2) {
            EXPECT_TRUE(directories.count(parent)) << "parent first";
        }
        if (decoded.entry.attributes & platform::kAttrDirectory) {
            EXPECT_EQ(decoded.entry.sequence, i);
            EXPECT_EQ(decoded.entry.dataOffset, 0u);
            directories.insert(path);
            continue;
        }
        ++files;
        EXPECT_EQ(decoded.entry.sequence, i + 1);
        EXPECT_EQ(decoded.entry.dataOffset, expectedOffset) << "chunks are contiguous";
        const uint64_t pieces = (decoded.entry.size + kPiecePlainMax - 1) / kPiecePlainMax;
        ASSERT_EQ(decoded.chunks.size(), pieces);
        for (size_t c = 0; c < decoded.chunks.size(); ++c) {
            const ChunkHeader& h = decoded.chunks[c].header;
            const uint64_t expectedPlain =
                c + 1 < pieces ? kPiecePlainMax : decoded.entry.size - c * kPiecePlainMax;
            EXPECT_EQ(h.plainSize, expectedPlain);
            EXPECT_EQ(h.method, static_cast<uint32_t>(level));
            EXPECT_LE(h.storedSize, kChunkStoredMax);
            if (level == 0) {
                EXPECT_EQ(h.storedSize, h.plainSize);
            }
            chunkBytes += sizeof(ChunkHeader) + h.storedSize;
            expectedOffset += sizeof(ChunkHeader) + h.storedSize;
        }
        EXPECT_EQ(PlainContent(decoded), ReadAll(NativePath(path)));
    }
    EXPECT_EQ(HeaderTableOffset(image.header.data(), image.version),
              kHeaderSize + 16 + 520 * sourceCount + chunkBytes);
    EXPECT_EQ(image.table.fileCount, files);
    EXPECT_EQ(image.table.entryCount, image.entries.size());
    EXPECT_EQ(image.fileLength, HeaderTableOffset(image.header.data(), image.version) + 16 +
                                    576ull * image.entries.size());
    EXPECT_EQ(HeaderCompressLevel(image.header.data()), static_cast<uint32_t>(level));
}

uint32_t VisibleAttributes(const fs::path& path) {
    return platform::GetAttributes(WinPath(path)) &
           (platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrDirectory);
}

class RoundTrip : public ::testing::TestWithParam<int32_t> {};

TEST_P(RoundTrip, RestoresContentTimesAndAttributes) {
    const int32_t level = GetParam();
    ScratchDir scratch;
    const SourceTree tree = MakeTree(scratch);
    RecordingFrontEnd frontEnd;
    const std::u16string image = scratch.Win("image.img");
    ASSERT_EQ(Encrypt({WinPath(tree.root)}, image, kPassword, level), 1);
    EXPECT_TRUE(frontEnd.messages.empty());
    EXPECT_FALSE(fs::exists(scratch / "image.ary"));
    EXPECT_EQ(g_jobProgress.percent.load(), 100u);
    EXPECT_EQ(g_jobProgress.filesTotal.load(), tree.files.size());
    EXPECT_EQ(frontEnd.started.size(), tree.files.size());

    const DecodedImage decoded = DecodeImage(image, kPassword);
    ExpectStructure(decoded, level, 1);
    ASSERT_EQ(decoded.sources.size(), 1u);
    EXPECT_EQ(decoded.sources[0], WinPath(tree.root));
    const auto ancestors = AncestorsOf(WinPath(tree.root));
    ASSERT_GT(decoded.entries.size(), ancestors.size());
    for (size_t i = 0; i < ancestors.size(); ++i) {
        EXPECT_EQ(FieldText(decoded.entries[i].entry.path, kPathChars), ancestors[i]);
    }
    EXPECT_EQ(FieldText(decoded.entries[ancestors.size()].entry.path, kPathChars),
              WinPath(tree.root));

    const fs::path out = scratch / "out";
    fs::create_directory(out);
    DecryptParams params = MakeParams(image, kPassword, WinPath(out));
    uint32_t fileCount = 0;
    std::u16string first;
    ASSERT_EQ(ReadImageInfo(params, fileCount, first), 1);
    EXPECT_EQ(fileCount, tree.files.size());
    EXPECT_EQ(params.imageVersion, kImageVersion);
    EXPECT_EQ(params.compressLevel, level);
    ASSERT_EQ(DecryptImage(params), 1);
    EXPECT_EQ(g_jobProgress.filesDone.load(), tree.files.size());

    const fs::path restored = RestoredPath(out, WinPath(tree.root));
    EXPECT_EQ(TreeContents(restored), TreeContents(tree.root));
    EXPECT_TRUE(fs::is_directory(restored / "empty dir"));
    for (const auto& name : tree.files) {
        SCOPED_TRACE(name);
        platform::FindData source, copy;
        ASSERT_TRUE(platform::FindExact(WinPath(tree.root / fs::u8path(name)), source));
        ASSERT_TRUE(platform::FindExact(WinPath(restored / fs::u8path(name)), copy));
        EXPECT_EQ(copy.times.write, source.times.write);
        EXPECT_EQ(VisibleAttributes(restored / fs::u8path(name)),
                  VisibleAttributes(tree.root / fs::u8path(name)));
    }
    EXPECT_NE(VisibleAttributes(restored / "readonly.txt") & platform::kAttrReadOnly, 0u);
    EXPECT_NE(VisibleAttributes(restored / ".hidden.txt") & platform::kAttrHidden, 0u);
}

INSTANTIATE_TEST_SUITE_P(Levels, RoundTrip, ::testing::Values(0, 1, 2));

TEST(WriterTableName, ReplacesTheLastDotOfTheWholePath) {
    const struct {
        std::u16string image;
        std::u16string table;
    } cases[] = {
        {u"C:\\a\\b.img", u"C:\\a\\b.ary"},
        {u"C:\\a\\b.c.img", u"C:\\a\\b.c.ary"},
        {u"D:\\x.y\\img", u"D:\\x.ary"},
        {u"C:\\a\\img", u"C:\\a\\img.ary"},
        {u".img", u".img.ary"},
        {u"C:\\a\\b.ARY", u"C:\\a\\b.ARY.ary"},  // never the image itself
    };
    for (const auto& c : cases) EXPECT_EQ(WriterTableName(c.image), c.table) << Narrow(c.image);
}

TEST(EncryptToImage, NoSourcesTouchesNothing) {
    ScratchDir scratch;
    RecordingFrontEnd frontEnd;
    EXPECT_EQ(Encrypt({}, scratch.Win("a.img"), kPassword, 1), 0);
    EXPECT_FALSE(fs::exists(scratch / "a.img"));
    EXPECT_TRUE(frontEnd.messages.empty());
}

TEST(EncryptToImage, TwoSourcesInOneFolderRecordItsAncestorsOnce) {
    ScratchDir scratch;
    WriteAll(scratch / "a.txt", std::string("a"));
    WriteAll(scratch / "b.txt", std::string("bb"));
    RecordingFrontEnd frontEnd;
    const std::u16string image = scratch.Win("two.img");
    ASSERT_EQ(Encrypt({scratch.Win("a.txt"), scratch.Win("b.txt")}, image, kPassword, 1), 1);
    const DecodedImage decoded = DecodeImage(image, kPassword);
    ExpectStructure(decoded, 1, 2);
    const auto ancestors = AncestorsOf(scratch.Win("a.txt"));
    ASSERT_EQ(decoded.entries.size(), ancestors.size() + 2);
    EXPECT_EQ(FieldText(decoded.entries.back().entry.path, kPathChars), scratch.Win("b.txt"));
}

TEST(EncryptToImage, MissingSourcesAreSkipped) {
    ScratchDir scratch;
    RecordingFrontEnd frontEnd;
    const std::u16string image = scratch.Win("none.img");
    ASSERT_EQ(Encrypt({scratch.Win("gone.txt")}, image, kPassword, 0), 1);
    const DecodedImage decoded = DecodeImage(image, kPassword);
    ExpectStructure(decoded, 0, 1);
    EXPECT_EQ(decoded.table.fileCount, 0u);
    EXPECT_EQ(decoded.entries.size(), AncestorsOf(scratch.Win("gone.txt")).size());
}

TEST(EncryptToImage, ExistingImageIsReplacedOnlyOnYes) {
    ScratchDir scratch;
    WriteAll(scratch / "a.txt", std::string("a"));
    WriteAll(scratch / "old.img", std::string("keep me"));
    const std::u16string image = scratch.Win("old.img");
    {
        RecordingFrontEnd frontEnd;
        EXPECT_EQ(Encrypt({scratch.Win("a.txt")}, image, kPassword, 1), 0);
        EXPECT_EQ(frontEnd.questions, std::vector<std::u16string>{image});
        EXPECT_EQ(frontEnd.Count(CoreMessage::ImageCreateFailed), 1);
        EXPECT_EQ(ReadAll(scratch / "old.img"), std::vector<uint8_t>({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
    }
    RecordingFrontEnd frontEnd;
    frontEnd.answers = {OverwriteAnswer::Yes};
    EXPECT_EQ(Encrypt({scratch.Win("a.txt")}, image, kPassword, 1), 1);
    EXPECT_EQ(DecodeImage(image, kPassword).version, kImageVersion);
}

TEST(EncryptToImage, ExistingTableFileIsAskedAboutByName) {
    ScratchDir scratch;
    WriteAll(scratch / "a.txt", std::string("a"));
    WriteAll(scratch / "job.ary", std::string("other"));
    RecordingFrontEnd frontEnd;
    EXPECT_EQ(Encrypt({scratch.Win("a.txt")}, scratch.Win("job.img"), kPassword, 1), 0);
    EXPECT_EQ(frontEnd.questions, std::vector<std::u16string>{scratch.Win("job.ary")});
    EXPECT_EQ(frontEnd.Count(CoreMessage::ImageCreateFailed), 1);
    EXPECT_EQ(fs::file_size(scratch / "job.img"), 0u) << "the image stays, empty";
    EXPECT_EQ(ReadAll(scratch / "job.ary").size(), 5u);
}

TEST(EncryptToImage, DirectoryWithTrailingBackslashFailsTheJob) {
    ScratchDir scratch;
    fs::create_directory(scratch / "dir");
    WriteAll(scratch / "dir" / "a.txt", std::string("a"));
    RecordingFrontEnd frontEnd;
    EXPECT_EQ(Encrypt({scratch.Win("dir") + u"\\"}, scratch.Win("t.img"), kPassword, 1), 0);
    EXPECT_FALSE(fs::exists(scratch / "t.img"));
    EXPECT_FALSE(fs::exists(scratch / "t.ary"));
    EXPECT_TRUE(frontEnd.messages.empty()) << "directory failures are silent";
}

TEST(EncryptToImage, PathsTooLongForAnEntryFailWithTheSourceMessage) {
    ScratchDir scratch;
    // Below the top-level directory, so the path of the file itself is what is too long.
    const fs::path dir = scratch / "dir";
    fs::path deep = dir;
    std::error_code error;
    while (WinPath(deep).size() + 41 <= 220) deep /= std::string(40, 'd');
    fs::create_directories(deep, error);
    const fs::path file = deep / std::string(265 - WinPath(deep).size(), 'f');
    if (error || !(std::ofstream(file) << "x")) GTEST_SKIP() << "cannot create long paths here";
    ASSERT_GT(WinPath(file).size(), 259u);

    RecordingFrontEnd frontEnd;
    EXPECT_EQ(Encrypt({WinPath(dir)}, scratch.Win("long.img"), kPassword, 1), 0);
    ASSERT_EQ(frontEnd.Count(CoreMessage::SourceFileFailed), 1);
    EXPECT_EQ(frontEnd.messages[0].args.path, WinPath(file));
    EXPECT_FALSE(fs::exists(scratch / "long.img"));
    EXPECT_FALSE(fs::exists(scratch / "long.ary"));

    RecordingFrontEnd direct;
    EXPECT_EQ(Encrypt({WinPath(file)}, scratch.Win("long.img"), kPassword, 1), 0);
    EXPECT_EQ(direct.Count(CoreMessage::SourceFileFailed), 1) << "shown once";
}

TEST(EncryptToImage, DirectoryLinksAreStoredAsEmptyDirectories) {
    ScratchDir scratch;
    const fs::path src = scratch / "src";
    fs::create_directories(src / "inner");
    WriteAll(src / "inner" / "a.txt", std::string("a"));
    std::error_code error;
    fs::create_directory_symlink(src, src / "inner" / "loop", error);
    if (error) GTEST_SKIP() << "cannot create directory links here: " << error.message();

    RecordingFrontEnd frontEnd;
    const std::u16string image = scratch.Win("links.img");
    ASSERT_EQ(Encrypt({WinPath(src)}, image, kPassword, 1), 1);
    const DecodedImage decoded = DecodeImage(image, kPassword);
    ExpectStructure(decoded, 1, 1);
    EXPECT_EQ(decoded.table.fileCount, 1u);
    const std::u16string loop = WinPath(src / "inner" / "loop");
    int loopEntries = 0;
    for (const auto& e : decoded.entries) {
        const std::u16string path = FieldText(e.entry.path, kPathChars);
        EXPECT_NE(path.rfind(loop + u"\\", 0), 0u) << "not descended: " << Narrow(path);
        if (path == loop) {
            ++loopEntries;
            EXPECT_NE(e.entry.attributes & platform::kAttrDirectory, 0u);
        }
    }
    EXPECT_EQ(loopEntries, 1);

    const fs::path out = scratch / "out";
    fs::create_directory(out);
    DecryptParams params = MakeParams(image, kPassword, WinPath(out));
    ASSERT_EQ(ReadAndDecrypt(params), 1);
    const fs::path restoredLoop = RestoredPath(out, loop);
    EXPECT_TRUE(fs::is_directory(restoredLoop));
    EXPECT_FALSE(fs::is_symlink(restoredLoop));
    EXPECT_TRUE(fs::is_empty(restoredLoop));
}

TEST(EncryptToImage, TheImageInsideItsOwnSourceIsLeftOut) {
    ScratchDir scratch;
    const fs::path src = scratch / "src";
    fs::create_directory(src);
    WriteAll(src / "a.bin", testing_support::RandomBytes(200000, 4));
    RecordingFrontEnd frontEnd;
    const std::u16string image = WinPath(src / "self.img");
    ASSERT_EQ(Encrypt({WinPath(src)}, image, kPassword, 0), 1);
    const DecodedImage decoded = DecodeImage(image, kPassword);
    for (const auto& e : decoded.entries) {
        const std::u16string path = FieldText(e.entry.path, kPathChars);
        EXPECT_NE(path, image);
        EXPECT_NE(path, WinPath(src / "self.ary"));
    }
    EXPECT_EQ(decoded.table.fileCount, 1u) << "counted before the image existed";
}

TEST(EncryptToImage, CancelDuringALargeFileRemovesImageAndTableFile) {
    ScratchDir scratch;
    const size_t size = 48u << 20;
    WriteAll(scratch / "large.bin", std::vector<uint8_t>(size, 0x5A));
    RecordingFrontEnd frontEnd;
    std::atomic<bool> running{true};
    std::atomic<uint64_t> seenDone{0};
    std::thread canceller([&] {
        while (running.load()) {
            const uint64_t done = g_jobProgress.bytesDone.load();
            if (done > 0 && g_jobProgress.bytesTotal.load() == size) {
                seenDone = done;
                encryptCancel = 1;
                return;
            }
        }
    });
    const int32_t result = Encrypt({scratch.Win("large.bin")}, scratch.Win("c.img"), kPassword, 0);
    running = false;
    canceller.join();
    ASSERT_GT(seenDone.load(), 0u) << "the job ended before it could be cancelled";
    EXPECT_EQ(result, 0);
    EXPECT_LT(g_jobProgress.bytesDone.load(), size);
    EXPECT_FALSE(fs::exists(scratch / "c.img"));
    EXPECT_FALSE(fs::exists(scratch / "c.ary"));
    EXPECT_EQ(frontEnd.Count(CoreMessage::SourceFileFailed), 0) << "a cancel is not an error";
}

}  // namespace
