// Encryption into images: round trips, the image's structure, overwrite questions,
// failures, links and cancellation.
#include <zlib.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <set>
#include <thread>

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include "ImageTestSupport.h"
#include "core/TableFiles.h"
#include "platform/Aes128.h"

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
    // A link to a file is read through, as Windows reads it: the target's content.
    std::error_code noLink;
    fs::create_symlink(tree.root / "over.bin", tree.root / "link.bin", noLink);
    if (!noLink) tree.files.push_back("link.bin");
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
    std::map<std::string, std::vector<uint8_t>> expected;
    for (const auto& name : tree.files) expected[name] = ReadAll(tree.root / fs::u8path(name));
    EXPECT_EQ(TreeContents(restored), expected);
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

// Top-level names in a folder: whatever a job leaves there shows up.
std::set<std::string> Names(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& item : fs::directory_iterator(folder)) names.insert(item.path().filename().string());
    return names;
}

const std::vector<uint8_t> kOldImage = {'k', 'e', 'e', 'p', ' ', 'm', 'e'};
const std::vector<uint8_t> kOldTable = {'o', 't', 'h', 'e', 'r'};

TEST(EncryptToImage, BothQuestionsComeBeforeAnythingIsReplaced) {
    using A = OverwriteAnswer;
    const struct {
        const char* label;
        bool imageExists;
        bool tableExists;
        bool imageReadOnly;
        std::vector<A> answers;
        std::vector<std::string> asked;
        bool succeeds;
    } cases[] = {
        {"image declined", true, false, false, {A::No}, {"job.img"}, false},
        {"image replaced", true, false, false, {A::Yes}, {"job.img"}, true},
        {"table file declined", false, true, false, {A::No}, {"job.ary"}, false},
        {"image yes, table file no", true, true, false, {A::Yes, A::No}, {"job.img", "job.ary"}, false},
        {"image yes, table file cancel", true, true, false, {A::Yes, A::Cancel}, {"job.img", "job.ary"}, false},
        {"both replaced", true, true, false, {A::Yes, A::Yes}, {"job.img", "job.ary"}, true},
        // Windows will not replace a read-only file; the job says so before it starts.
        {"read-only image", true, false, true, {A::Yes}, {"job.img"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ScratchDir scratch;
        WriteAll(scratch / "a.txt", std::string("a"));
        if (c.imageExists) WriteAll(scratch / "job.img", kOldImage);
        if (c.tableExists) WriteAll(scratch / "job.ary", kOldTable);
        if (c.imageReadOnly) SetAttribute(scratch / "job.img", platform::kAttrReadOnly);
        const std::set<std::string> before = Names(scratch.path());
        RecordingFrontEnd frontEnd;
        frontEnd.answers = {c.answers.begin(), c.answers.end()};
        EXPECT_EQ(Encrypt({scratch.Win("a.txt")}, scratch.Win("job.img"), kPassword, 1),
                  c.succeeds ? 1 : 0);
        std::vector<std::u16string> asked;
        for (const auto& name : c.asked) asked.push_back(scratch.Win(name));
        EXPECT_EQ(frontEnd.questions, asked);
        if (c.succeeds) {
            EXPECT_EQ(DecodeImage(scratch.Win("job.img"), kPassword).version, kImageVersion);
            EXPECT_EQ(Names(scratch.path()), (std::set<std::string>{"a.txt", "job.img"}));
            continue;
        }
        EXPECT_EQ(frontEnd.Count(CoreMessage::ImageCreateFailed), 1);
        EXPECT_EQ(Names(scratch.path()), before) << "nothing created";
        if (c.imageExists) {
            EXPECT_EQ(ReadAll(scratch / "job.img"), kOldImage);
        }
        if (c.tableExists) {
            EXPECT_EQ(ReadAll(scratch / "job.ary"), kOldTable);
        }
    }
}

// The old image stays whole under its name while the new one is written beside it, a
// name left by a killed job is passed over, and a job that fails, even at the final
// rename, removes its temporary file and leaves the old image.
TEST(EncryptToImage, AReplacedImageStaysWholeUntilTheNewOneIsComplete) {
    enum class During { Nothing, Cancel, AFolderTakesTheName };
    const struct {
        const char* label;
        During during;
        bool atPathLimit;  // the image's name leaves no room for a longer sibling name
    } cases[] = {
        {"finished", During::Nothing, false},
        {"cancelled", During::Cancel, false},
        {"the name taken by a folder meanwhile", During::AFolderTakesTheName, false},
        {"an image name at the path limit", During::Nothing, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ScratchDir scratch;
        WriteAll(scratch / "a.bin", testing_support::RandomBytes(120000, 8));
        const size_t stem = 257 - scratch.Win().size() - 1 - 4;
        const std::string name = c.atPathLimit ? std::string(stem, 'i') + ".img" : "old.img";
        const std::string table = name.substr(0, name.size() - 4) + ".ary";
        const std::string stale = name + ".0.tmp";
        const std::string temporary = c.atPathLimit ? "~0.tmp" : name + ".1.tmp";
        const fs::path image = scratch / name;
        WriteAll(image, kOldImage);
        if (!c.atPathLimit) WriteAll(scratch / stale, std::string("left by a killed job"));
        const std::set<std::string> before = Names(scratch.path());

        std::vector<std::vector<uint8_t>> seen;
        std::set<std::string> namesDuring;
        SetPieceStoredHook([&](const std::u16string&, uint32_t piece) {
            if (piece == 0) namesDuring = Names(scratch.path());
            if (fs::is_regular_file(image)) seen.push_back(ReadAll(image));
            if (c.during == During::Cancel) encryptCancel = 1;
            if (c.during == During::AFolderTakesTheName && piece == 0) {
                fs::remove(image);
                fs::create_directory(image);
            }
        });
        RecordingFrontEnd frontEnd;
        frontEnd.answers = {OverwriteAnswer::Yes};
        const int32_t result = Encrypt({scratch.Win("a.bin")}, WinPath(image), kPassword, 0);
        SetPieceStoredHook(nullptr);

        ASSERT_FALSE(seen.empty());
        for (const auto& content : seen) EXPECT_EQ(content, kOldImage);
        std::set<std::string> expectedDuring = before;
        expectedDuring.insert({temporary, table});
        EXPECT_EQ(namesDuring, expectedDuring);
        EXPECT_EQ(Names(scratch.path()), before) << "the temporary and the table file are gone";
        if (!c.atPathLimit) {
            EXPECT_EQ(ReadAll(scratch / stale).size(), 20u);
        }
        switch (c.during) {
            case During::Nothing:
                EXPECT_EQ(result, 1);
                ExpectStructure(DecodeImage(WinPath(image), kPassword), 0, 1);
                break;
            case During::Cancel:
                EXPECT_EQ(result, 0);
                EXPECT_EQ(ReadAll(image), kOldImage);
                break;
            case During::AFolderTakesTheName:
                EXPECT_EQ(result, 0);
                EXPECT_EQ(frontEnd.Count(CoreMessage::ImageCreateFailed), 1);
                EXPECT_TRUE(fs::is_directory(image));
                break;
        }
    }
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

#ifdef _WIN32
std::u16string Upper(std::u16string text) {
    for (auto& c : text) c = (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
    return text;
}
#endif

// The image, its temporary and its table file are recognised as the same files however
// the folder holding them is spelled, and are never read into the image.
TEST(EncryptToImage, TheImageInsideItsOwnSourceIsLeftOutUnderEverySpelling) {
    enum class Spelling { AsGiven, Link, Case };
    const struct {
        const char* label;
        Spelling spelling;
        bool oldImage;
    } cases[] = {
        {"the folder as given", Spelling::AsGiven, false},
        {"the folder as given, an old image replaced", Spelling::AsGiven, true},
        {"through a link to the folder", Spelling::Link, true},
#ifdef _WIN32
        {"in other letter case", Spelling::Case, true},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ScratchDir scratch;
        const fs::path src = scratch / "src";
        fs::create_directory(src);
        WriteAll(src / "a.bin", testing_support::RandomBytes(200000, 4));
        if (c.oldImage) WriteAll(src / "self.img", kOldImage);
        std::u16string source = WinPath(src);
        if (c.spelling == Spelling::Link) {
            std::error_code error;
            fs::create_directory_symlink(src, scratch / "alias", error);
            if (error) continue;  // this user may not make links here
            source = WinPath(scratch / "alias");
        }
#ifdef _WIN32
        if (c.spelling == Spelling::Case) source = Upper(source);
#endif
        RecordingFrontEnd frontEnd;
        frontEnd.answers = {OverwriteAnswer::Yes};
        const std::u16string image = WinPath(src / "self.img");
        ASSERT_EQ(Encrypt({source}, image, kPassword, 0), 1);
        const DecodedImage decoded = DecodeImage(image, kPassword);
        std::vector<std::u16string> files;
        for (const auto& e : decoded.entries) {
            if ((e.entry.attributes & platform::kAttrDirectory) == 0) {
                files.push_back(FieldText(e.entry.path, kPathChars));
            }
        }
        EXPECT_EQ(files, std::vector<std::u16string>{source + u"\\a.bin"});
        EXPECT_EQ(decoded.table.fileCount, 1u);
        EXPECT_EQ(Names(src), (std::set<std::string>{"a.bin", "self.img"}));
    }
}

// A source that is the very image or table file the job would replace is refused before
// anything is asked or written, whatever name reaches it.
TEST(EncryptToImage, ASourceThatIsTheImageItselfIsRefused) {
    enum class Source { Image, HardLink, SymbolicLink, Table, OtherCase };
    const struct {
        const char* label;
        Source source;
    } cases[] = {
        {"the image path itself", Source::Image},
        {"a hard link to the image", Source::HardLink},
        {"a symbolic link to the image", Source::SymbolicLink},
        {"the stale table file", Source::Table},
#ifdef _WIN32
        {"the image in other letter case", Source::OtherCase},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ScratchDir scratch;
        WriteAll(scratch / "job.img", kOldImage);
        WriteAll(scratch / "job.ary", kOldTable);
        std::u16string source = scratch.Win("job.img");
        std::error_code error;
        if (c.source == Source::HardLink) {
            fs::create_hard_link(scratch / "job.img", scratch / "hard.img", error);
            source = scratch.Win("hard.img");
        } else if (c.source == Source::SymbolicLink) {
            fs::create_symlink(scratch / "job.img", scratch / "soft.img", error);
            source = scratch.Win("soft.img");
        } else if (c.source == Source::Table) {
            source = scratch.Win("job.ary");
        }
#ifdef _WIN32
        if (c.source == Source::OtherCase) source = Upper(source);
#endif
        if (error) continue;  // this user may not make such links here
        const std::set<std::string> before = Names(scratch.path());
        RecordingFrontEnd frontEnd;
        frontEnd.answers = {OverwriteAnswer::Yes, OverwriteAnswer::Yes};
        EXPECT_EQ(Encrypt({source}, scratch.Win("job.img"), kPassword, 0), 0);
        ASSERT_EQ(frontEnd.messages.size(), 1u);
        EXPECT_EQ(frontEnd.messages[0].role, CoreMessage::SourceFileFailed);
        EXPECT_EQ(frontEnd.messages[0].args.path, source);
        EXPECT_TRUE(frontEnd.questions.empty());
        EXPECT_EQ(Names(scratch.path()), before);
        EXPECT_EQ(ReadAll(scratch / "job.img"), kOldImage);
        EXPECT_EQ(ReadAll(scratch / "job.ary"), kOldTable);
    }
}

#ifndef _WIN32
// A socket file, as a server leaves it; false where this system will not make one.
bool MakeSocketFile(const fs::path& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string native = path.string();
    if (native.size() >= sizeof address.sun_path) {
        close(fd);
        return false;
    }
    std::memcpy(address.sun_path, native.c_str(), native.size() + 1);
    const bool bound = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return bound;
}
#endif

// Files that are not regular would block the read or store nothing a restore can give
// back; each is refused by name before anything is asked or written. As a top-level
// source and inside a folder alike.
TEST(EncryptToImage, FilesThatAreNotRegularAreRefusedByName) {
#ifdef _WIN32
    GTEST_SKIP() << "FIFOs, sockets and device links are POSIX files";
#else
    const struct {
        const char* label;
        std::function<bool(const fs::path&)> make;
    } kinds[] = {
        {"a FIFO", [](const fs::path& p) { return mkfifo(p.c_str(), 0600) == 0; }},
        {"a socket", MakeSocketFile},
        {"a link to a device", [](const fs::path& p) { return symlink("/dev/null", p.c_str()) == 0; }},
        {"a link that leads nowhere", [](const fs::path& p) { return symlink("gone", p.c_str()) == 0; }},
    };
    for (const auto& kind : kinds) {
        for (const bool topLevel : {true, false}) {
            SCOPED_TRACE(std::string(kind.label) + (topLevel ? ", top level" : ", in a folder"));
            ScratchDir scratch;
            fs::create_directories(scratch / "src" / "sub");
            WriteAll(scratch / "src" / "a.txt", std::string("a"));
            WriteAll(scratch / "old.img", kOldImage);
            const fs::path odd = scratch / "src" / "sub" / "odd";
            ASSERT_TRUE(kind.make(odd));
            const std::set<std::string> before = Names(scratch.path());
            RecordingFrontEnd frontEnd;
            frontEnd.answers = {OverwriteAnswer::Yes};
            const std::vector<std::u16string> sources =
                topLevel ? std::vector<std::u16string>{scratch.Win("src/a.txt"), WinPath(odd)}
                         : std::vector<std::u16string>{scratch.Win("src")};
            EXPECT_EQ(Encrypt(sources, scratch.Win("old.img"), kPassword, 1), 0);
            ASSERT_EQ(frontEnd.messages.size(), 1u);
            EXPECT_EQ(frontEnd.messages[0].role, CoreMessage::SourceFileFailed);
            EXPECT_EQ(frontEnd.messages[0].args.path, WinPath(odd));
            EXPECT_TRUE(frontEnd.questions.empty());
            EXPECT_TRUE(frontEnd.started.empty()) << "nothing read";
            EXPECT_EQ(Names(scratch.path()), before);
            EXPECT_EQ(ReadAll(scratch / "old.img"), kOldImage);
        }
    }
#endif
}

// Names Windows would not keep as written cannot be restored, so the encryption refuses
// them by name before it writes anything: in a file name, in a folder name on the way,
// and in a folder above a top-level source (its ancestors are stored too).
TEST(EncryptToImage, NamesARestoreWouldRefuseAreRefusedByName) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows does not let such names be created";
#else
    const std::string notUtf8 = "bad\xFF\xFE.txt";
    const struct {
        const char* label;
        std::string folder;  // below src, may be empty
        std::string name;
    } cases[] = {
        {"less than", "", "a<b.txt"},
        {"greater than", "", "a>b.txt"},
        {"colon", "", "a:b.txt"},
        {"double quote", "", "a\"b.txt"},
        {"bar", "", "a|b.txt"},
        {"question mark", "", "a?b.txt"},
        {"asterisk", "", "a*b.txt"},
        {"backslash", "", "a\\b.txt"},
        {"control character", "", "a\tb.txt"},
        {"trailing dot", "", "name."},
        {"trailing space", "", "name "},
        {"device name", "", "CON"},
        {"device name with an extension", "", "nul.txt"},
        {"bytes that are not UTF-8", "", notUtf8},
        {"in a folder name", "what?", "fine.txt"},
        {"a folder with bytes that are not UTF-8", notUtf8, "fine.txt"},
    };
    for (const auto& c : cases) {
        for (const bool asAncestor : {false, true}) {
            if (asAncestor && c.folder.empty()) continue;
            SCOPED_TRACE(std::string(c.label) + (asAncestor ? ", above the source" : ""));
            ScratchDir scratch;
            const fs::path src = scratch / "src";
            const fs::path folder = c.folder.empty() ? src : src / c.folder;
            fs::create_directories(folder);
            WriteAll(src / "a.txt", std::string("a"));
            WriteAll(folder / c.name, std::string("x"));
            // The expected path is built by hand: the test's own path conversion would
            // refuse bytes that are not UTF-8.
            const std::u16string folderWin =
                c.folder.empty() ? WinPath(src) : WinPath(src) + u"\\" + platform::FromUtf8(c.folder);
            const std::u16string sourceWin = asAncestor ? folderWin + u"\\" + platform::FromUtf8(c.name)
                                                        : WinPath(src);
            const std::u16string refused =
                asAncestor ? sourceWin
                           : (c.folder.empty() ? folderWin + u"\\" + platform::FromUtf8(c.name) : folderWin);
            if (asAncestor && c.folder == notUtf8) continue;  // such a source cannot even be named
            const std::set<std::string> before = Names(scratch.path());
            RecordingFrontEnd frontEnd;
            EXPECT_EQ(Encrypt({sourceWin}, scratch.Win("n.img"), kPassword, 1), 0);
            ASSERT_EQ(frontEnd.messages.size(), 1u);
            EXPECT_EQ(frontEnd.messages[0].role, CoreMessage::SourceFileFailed);
            EXPECT_EQ(Narrow(frontEnd.messages[0].args.path), Narrow(refused));
            EXPECT_EQ(Names(scratch.path()), before) << "nothing written";
        }
    }
#endif
}

// A file changed while it is read is stored as it was read: its entry's size is the bytes
// its chunks hold, its times are those from before the read (so the change shows), and
// the files after it restore too.
TEST(EncryptToImage, AFileChangedWhileItIsReadIsStoredAsRead) {
    constexpr uint64_t kTime2009 = 128895282000000000ull;
    const std::vector<uint8_t> original = testing_support::RandomBytes(3 * kPiecePlainMax + 100, 9);
    const std::vector<uint8_t> appended = testing_support::RandomBytes(70000, 10);
    const struct {
        const char* label;
        std::function<void(const fs::path&)> change;  // after the file's second piece
        std::vector<uint8_t> stored;
    } cases[] = {
        {"grows",
         [&](const fs::path& p) {
             std::ofstream(p, std::ios::binary | std::ios::app)
                 .write(reinterpret_cast<const char*>(appended.data()), appended.size());
         },
         [&] {
             std::vector<uint8_t> all = original;
             all.insert(all.end(), appended.begin(), appended.end());
             return all;
         }()},
        {"shrinks below what was read", [](const fs::path& p) { fs::resize_file(p, 1000); },
         std::vector<uint8_t>(original.begin(), original.begin() + 2 * kPiecePlainMax)},
    };
    for (const auto& c : cases) {
        for (const int32_t level : {0, 1}) {
            SCOPED_TRACE(std::string(c.label) + ", level " + std::to_string(level));
            ScratchDir scratch;
            const fs::path src = scratch / "src";
            fs::create_directory(src);
            std::map<std::string, std::vector<uint8_t>> expected;
            for (const char* name : {"1.bin", "2.bin", "3.bin", "4.bin", "5.bin"}) {
                expected[name] = testing_support::RandomBytes(60000, name[0]);
                WriteAll(src / name, expected[name]);
            }
            WriteAll(src / "3-changing.bin", original);
            expected["3-changing.bin"] = c.stored;
            platform::File file;
            ASSERT_TRUE(file.Open(WinPath(src / "3-changing.bin"), platform::Access::ReadWrite,
                                  platform::Share::ReadWrite, platform::Disposition::OpenExisting));
            ASSERT_TRUE(file.SetTimes({0, 0, kTime2009}));
            file.Close();
            const std::u16string changing = WinPath(src / "3-changing.bin");
            SetPieceStoredHook([&](const std::u16string& path, uint32_t piece) {
                if (path == changing && piece == 1) c.change(src / "3-changing.bin");
            });
            RecordingFrontEnd frontEnd;
            const std::u16string image = scratch.Win("changed.img");
            const int32_t result = Encrypt({WinPath(src)}, image, kPassword, level);
            SetPieceStoredHook(nullptr);
            ASSERT_EQ(result, 1);

            const DecodedImage decoded = DecodeImage(image, kPassword);
            for (const auto& e : decoded.entries) {
                if (FieldText(e.entry.path, kPathChars) != changing) continue;
                EXPECT_EQ(e.entry.size, c.stored.size());
                EXPECT_EQ(PlainContent(e), c.stored);
                EXPECT_EQ(e.entry.writeTime, kTime2009);
            }
            platform::FindData now;
            ASSERT_TRUE(platform::FindExact(changing, now));
            EXPECT_NE(now.times.write, kTime2009) << "the change shows on disk";

            const fs::path out = scratch / "out";
            fs::create_directory(out);
            DecryptParams params = MakeParams(image, kPassword, WinPath(out));
            ASSERT_EQ(ReadAndDecrypt(params), 1);
            EXPECT_EQ(TreeContents(RestoredPath(out, WinPath(src))), expected);
        }
    }
}

// Makes one operation of the AES binding fail while it lives.
class AesFault {
public:
    explicit AesFault(int64_t failAt) { platform::Aes128::SetFaultForTests(failAt); }
    ~AesFault() { platform::Aes128::SetFaultForTests(-1); }
    AesFault(const AesFault&) = delete;
    AesFault& operator=(const AesFault&) = delete;
};

// Whichever cipher operation fails (the header key, the source list, an entry, a chunk,
// the table offset), the job fails, the image it was to replace stays as it was, and
// nothing it made is left behind.
TEST(EncryptToImage, ACipherFailureAnywhereFailsTheJobAndLeavesNothing) {
    ScratchDir scratch;
    const fs::path src = scratch / "src";
    fs::create_directories(src / "sub");
    WriteAll(src / "two-pieces.bin", testing_support::RandomBytes(kPiecePlainMax + 20, 11));
    WriteAll(src / "sub" / "small.txt", std::string("small"));
    const auto run = [&] {
        WriteAll(scratch / "job.img", kOldImage);
        RecordingFrontEnd frontEnd;
        frontEnd.answers = {OverwriteAnswer::Yes};
        return Encrypt({WinPath(src)}, scratch.Win("job.img"), kPassword, 1);
    };
    int64_t operations = 0;
    {
        AesFault none(-1);
        ASSERT_EQ(run(), 1);
        operations = platform::Aes128::OperationsForTests();
    }
    ASSERT_GT(operations, 10);
    for (int64_t failAt = 0; failAt < operations; ++failAt) {
        SCOPED_TRACE("failing operation " + std::to_string(failAt));
        AesFault fault(failAt);
        EXPECT_EQ(run(), 0);
        EXPECT_EQ(ReadAll(scratch / "job.img"), kOldImage);
        EXPECT_EQ(Names(scratch.path()), (std::set<std::string>{"job.img", "src"}));
    }
}

// The same for a restore: a failing cipher never gives a wrong file. The restore fails
// and leaves no file, or, where the failing step only counted the totals for progress,
// it gives back the exact bytes. (The image counts no restores: updating that count
// afterwards is not part of the restore's result.)
TEST(DecryptImage, ACipherFailureAnywhereNeverGivesAWrongFile) {
    ScratchDir scratch;
    const std::vector<uint8_t> content = testing_support::RandomBytes(kPiecePlainMax + 20, 12);
    WriteAll(scratch / "a.bin", content);
    RecordingFrontEnd frontEnd;
    const std::u16string image = scratch.Win("r.img");
    const ImageOptions noLimits{};
    // Stored plain: zeroed blocks would pass for content, where zlib would catch them.
    ASSERT_EQ(Encrypt({scratch.Win("a.bin")}, image, kPassword, 0, &noLimits), 1);
    const fs::path out = scratch / "out";
    const auto restore = [&] {
        fs::remove_all(out);
        fs::create_directory(out);
        DecryptParams params = MakeParams(image, kPassword, WinPath(out));
        return ReadAndDecrypt(params);
    };
    const std::map<std::string, std::vector<uint8_t>> whole = {{"a.bin", content}};
    int64_t operations = 0;
    {
        AesFault none(-1);
        ASSERT_EQ(restore(), 1);
        operations = platform::Aes128::OperationsForTests();
    }
    ASSERT_GT(operations, 3);
    int failures = 0;
    for (int64_t failAt = 0; failAt < operations; ++failAt) {
        SCOPED_TRACE("failing operation " + std::to_string(failAt));
        AesFault fault(failAt);
        const int32_t result = restore();
        std::map<std::string, std::vector<uint8_t>> restored;
        for (const auto& [name, bytes] : TreeContents(out)) restored[fs::path(name).filename().string()] = bytes;
        if (result == 1) {
            EXPECT_EQ(restored, whole);
        } else {
            ++failures;
            EXPECT_TRUE(restored.empty());
        }
    }
    EXPECT_GE(failures, 8) << "the header, the password check, the entries and the chunks";
}

TEST(EncryptToImage, ACancelPressedBeforeTheJobStartsStopsIt) {
    ScratchDir scratch;
    WriteAll(scratch / "a.bin", testing_support::RandomBytes(1000, 3));
    RecordingFrontEnd frontEnd;
    CEncryptInfo info;
    info.m_sources = {scratch.Win("a.bin")};
    info.m_imagePath = scratch.Win("a.img");
    info.m_password = kPassword;
    encryptCancel = 1;
    const int32_t result = EncryptToImage(info);
    encryptCancel = 0;
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(fs::exists(scratch / "a.img"));
    EXPECT_FALSE(fs::exists(scratch / "a.ary"));
    EXPECT_EQ(frontEnd.Count(CoreMessage::SourceFileFailed), 0);

    // An image already there: the cancelled job neither asks about it nor touches it.
    const std::string older = "an older image";
    WriteAll(scratch / "old.img", older);
    info.m_imagePath = scratch.Win("old.img");
    frontEnd.answers = {OverwriteAnswer::Yes, OverwriteAnswer::Yes};
    encryptCancel = 1;
    const int32_t replacing = EncryptToImage(info);
    encryptCancel = 0;
    EXPECT_EQ(replacing, 0);
    EXPECT_TRUE(frontEnd.questions.empty());
    EXPECT_EQ(ReadAll(scratch / "old.img"), std::vector<uint8_t>(older.begin(), older.end()));
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
