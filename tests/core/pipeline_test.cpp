// The piece pipeline: images and restores do not depend on how many workers ran them,
// and errors and cancellation land on the same piece whatever the workers do.
#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>

#include "ImageTestSupport.h"
#include "core/PiecePipeline.h"

using namespace image_test;

namespace {

const std::u16string kPassword = u"golden pass";
constexpr uint32_t kWorkerCounts[] = {1, 2, 8};

// Sets the workers of the jobs it outlives.
class Workers {
public:
    explicit Workers(uint32_t count) { SetPieceWorkersForTests(count); }
    ~Workers() { SetPieceWorkersForTests(0); }
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;
};

// Removes the hooks whichever way a test ends.
class Hooks {
public:
    Hooks() = default;
    ~Hooks() {
        SetPieceStoredHook({});
        SetRestorePieceHook({});
    }
    Hooks(const Hooks&) = delete;
    Hooks& operator=(const Hooks&) = delete;
};

// Text that zlib shrinks, different in every piece so that a piece out of place shows.
std::string PieceText(size_t size, uint32_t seed) {
    std::string text;
    for (uint32_t line = 0; text.size() < size; ++line) {
        text += "file " + std::to_string(seed) + " line " + std::to_string(line) +
                ": pieces are compressed and encrypted on their own\n";
    }
    text.resize(size);
    return text;
}

// The defaults of a new job, at a fixed time: the header holds the options.
ImageOptions FixedOptions() {
    ImageOptions options = CEncryptInfo().m_options;
    options.issuedTime = 1700000000;
    options.expiryTime = options.issuedTime + 86400;
    return options;
}

// Empty files, one-piece files and a file of three pieces, in a fixed order: the folder
// holds one file, so no directory order enters the image.
std::vector<std::u16string> MakeGoldenTree(const ScratchDir& scratch) {
    WriteAll(scratch / "empty.txt", std::string());
    WriteAll(scratch / "one.txt", PieceText(3000, 1));
    WriteAll(scratch / "three.txt", PieceText(2 * kPiecePlainMax + 1000, 3));
    fs::create_directory(scratch / "sub");
    WriteAll(scratch / "sub" / "also-empty.dat", std::string());
    return {scratch.Win("empty.txt"), scratch.Win("one.txt"), scratch.Win("three.txt"),
            scratch.Win("sub")};
}

void Append(std::vector<uint8_t>& out, const void* data, size_t size) {
    const size_t at = out.size();
    out.resize(at + size);
    std::memcpy(out.data() + at, data, size);
}

// The image without what depends on where the tree is: the header and every chunk byte as
// written, then each file's name under the scratch folder, size and data offset. The
// source list and the entries hold absolute paths, and the ancestors' entries differ
// from one machine to the next.
std::vector<uint8_t> PlaceFreeForm(const std::u16string& image, const ScratchDir& scratch) {
    const std::vector<uint8_t> bytes = ReadAll(NativePath(image));
    const DecodedImage decoded = DecodeImage(image, kPassword);
    const uint64_t chunksStart =
        kHeaderSize + sizeof(SourceListHead) + decoded.sources.size() * kPathChars * 2;
    const uint64_t tableOffset = HeaderTableOffset(decoded.header.data(), decoded.version);
    EXPECT_LE(tableOffset, bytes.size());
    std::vector<uint8_t> form;
    Append(form, bytes.data(), kHeaderSize);
    Append(form, bytes.data() + chunksStart, tableOffset - chunksStart);
    const std::u16string root = scratch.Win() + u"\\";
    for (const auto& e : decoded.entries) {
        if (e.entry.attributes & platform::kAttrDirectory) continue;
        const std::string name = Narrow(FieldText(e.entry.path, kPathChars).substr(root.size()));
        Append(form, name.data(), name.size() + 1);
        Append(form, &e.entry.size, sizeof e.entry.size);
        Append(form, &e.entry.dataOffset, sizeof e.entry.dataOffset);
    }
    return form;
}

fs::path GoldenFile(int32_t level) {
    return fs::path(CRYPTELLE_FIXTURE_DIR) / ("pipeline-golden-C" + std::to_string(level) + ".bin");
}

// The images of the golden tree come out as the writer made them before it ran pieces in
// parallel, with any number of workers. CRYPTELLE_WRITE_GOLDEN=1 writes the files anew
// instead.
TEST(PiecePipeline, WritesTheGoldenImages) {
    const bool writeGolden = std::getenv("CRYPTELLE_WRITE_GOLDEN") != nullptr;
    for (const int32_t level : {0, 1, 2}) {
      for (const uint32_t workers : kWorkerCounts) {
        SCOPED_TRACE("level " + std::to_string(level) + ", workers " + std::to_string(workers));
        Workers forced(workers);
        ScratchDir scratch;
        const std::vector<std::u16string> sources = MakeGoldenTree(scratch);
        RecordingFrontEnd frontEnd;
        const std::u16string image = scratch.Win("golden.img");
        const ImageOptions options = FixedOptions();
        ASSERT_EQ(Encrypt(sources, image, kPassword, level, &options), 1);
        const std::vector<uint8_t> form = PlaceFreeForm(image, scratch);
        if (writeGolden) {
            WriteAll(GoldenFile(level), form);
            continue;
        }
        EXPECT_EQ(form, ReadAll(GoldenFile(level)));
      }
    }
}

// A tree of every size that matters to the pipeline: empty, less than a piece, exactly one,
// one byte more, and more pieces than eight workers hold in their ring.
std::map<std::string, std::vector<uint8_t>> MakeSizedTree(const fs::path& root) {
    const struct {
        const char* name;
        size_t size;
    } files[] = {
        {"empty", 0},
        {"small", 700},
        {"one-piece", kPiecePlainMax},
        {"two-pieces", kPiecePlainMax + 1},
        {"sub/many", 20 * kPiecePlainMax + 333},
        {"sub/empty-too", 0},
    };
    fs::create_directories(root / "sub");
    std::map<std::string, std::vector<uint8_t>> tree;
    uint32_t seed = 1;
    for (const auto& f : files) {
        // Half random, half text: some pieces zlib keeps stored, some it shrinks.
        std::vector<uint8_t> content = testing_support::RandomBytes(f.size / 2, seed++);
        const std::string text = PieceText(f.size - content.size(), seed++);
        content.insert(content.end(), text.begin(), text.end());
        WriteAll(root / f.name, content);
        tree[f.name] = content;
    }
    return tree;
}

// The image's bytes with the entries decrypted and their times cleared: reading a file
// may move its access time, and a job's files move their folder's times.
std::vector<uint8_t> WithoutEntryTimes(const std::u16string& image) {
    std::vector<uint8_t> bytes = ReadAll(NativePath(image));
    const DecodedImage decoded = DecodeImage(image, kPassword);
    uint64_t at = HeaderTableOffset(decoded.header.data(), decoded.version) + sizeof(TableHeader);
    for (auto e : decoded.entries) {
        e.entry.creationTime = e.entry.accessTime = e.entry.writeTime = 0;
        EXPECT_LE(at + sizeof e.entry, bytes.size());
        std::memcpy(bytes.data() + at, &e.entry, sizeof e.entry);
        at += sizeof e.entry;
    }
    return bytes;
}

// The same tree at every level gives the same image and the same restored tree whatever
// the number of workers on either side.
TEST(PiecePipeline, ImagesAndRestoresDoNotDependOnTheWorkers) {
    ScratchDir scratch;
    const fs::path src = scratch / "src";
    const auto tree = MakeSizedTree(src);
    const ImageOptions options = FixedOptions();
    for (const int32_t level : {0, 1, 2}) {
        std::vector<uint8_t> first;
        for (const uint32_t workers : kWorkerCounts) {
            SCOPED_TRACE("level " + std::to_string(level) + ", workers " + std::to_string(workers));
            Workers forced(workers);
            RecordingFrontEnd frontEnd;
            const std::u16string image = scratch.Win(std::to_string(workers) + ".img");
            ASSERT_EQ(Encrypt({WinPath(src)}, image, kPassword, level, &options), 1);
            const std::vector<uint8_t> bytes = WithoutEntryTimes(image);
            if (first.empty()) first = bytes;
            EXPECT_EQ(bytes, first);
            for (const uint32_t restoreWorkers : kWorkerCounts) {
                SCOPED_TRACE("restored with " + std::to_string(restoreWorkers));
                Workers restoring(restoreWorkers);
                const fs::path out = scratch / "out";
                fs::remove_all(out);
                fs::create_directory(out);
                DecryptParams params = MakeParams(image, kPassword, WinPath(out));
                ASSERT_EQ(ReadAndDecrypt(params), 1);
                EXPECT_EQ(TreeContents(RestoredPath(out, WinPath(src))), tree);
                EXPECT_EQ(g_jobProgress.bytesDone.load(), g_jobProgress.bytesTotal.load());
            }
            fs::remove(NativePath(image));
        }
    }
}

// Threads are for compressed files of more than one piece; a job of small files, or of
// stored ones, starts none.
TEST(PiecePipeline, StartsWorkersOnlyForACompressedFileOfManyPieces) {
    ScratchDir scratch;
    WriteAll(scratch / "small", PieceText(100, 1));
    WriteAll(scratch / "one-piece", PieceText(kPiecePlainMax, 2));
    WriteAll(scratch / "two-pieces", PieceText(kPiecePlainMax + 1, 3));
    const struct {
        const char* label;
        std::vector<std::string> sources;
        uint32_t workers;
        int32_t level;
        uint64_t started;
    } cases[] = {
        {"files of one piece", {"small", "one-piece"}, 8, 1, 0},
        {"a file of two pieces", {"small", "two-pieces"}, 8, 1, 8},
        {"level 2", {"two-pieces"}, 8, 2, 8},
        {"stored", {"two-pieces"}, 8, 0, 0},
        {"one worker", {"two-pieces"}, 1, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Workers forced(c.workers);
        std::vector<std::u16string> sources;
        for (const auto& name : c.sources) sources.push_back(scratch.Win(name));
        RecordingFrontEnd frontEnd;
        const uint64_t before = PieceThreadsStartedForTests();
        ASSERT_EQ(Encrypt(sources, scratch.Win("t.img"), kPassword, c.level), 1);
        EXPECT_EQ(PieceThreadsStartedForTests() - before, c.started);
        DecryptParams params = MakeParams(scratch.Win("t.img"), kPassword, scratch.Win("out"));
        ASSERT_EQ(ReadAndDecrypt(params), 1);
        EXPECT_EQ(PieceThreadsStartedForTests() - before, 2 * c.started) << "the restore";
        fs::remove_all(scratch / "out");
        fs::remove(scratch / "t.img");
    }
}

std::set<std::string> Names(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& item : fs::directory_iterator(folder)) names.insert(item.path().filename().string());
    return names;
}

// The offset of chunk index of the file stored at dataOffset.
uint64_t ChunkOffset(const fs::path& image, uint64_t dataOffset, uint32_t index) {
    const std::vector<uint8_t> bytes = ReadAll(image);
    uint64_t at = dataOffset;
    for (uint32_t i = 0; i < index; ++i) {
        ChunkHeader header;
        std::memcpy(&header, bytes.data() + at, sizeof header);
        at += sizeof header + header.storedSize;
    }
    return at;
}

void Overwrite(const fs::path& path, uint64_t offset, const void* data, size_t size) {
    std::vector<uint8_t> bytes = ReadAll(path);
    std::memcpy(bytes.data() + offset, data, size);
    WriteAll(path, bytes);
}

// A damaged chunk in the middle of a file fails that file at that piece, whatever the
// workers: the pieces before it are written (and counted) and nothing stays under its
// name; the file before it in the image is restored.
TEST(PiecePipeline, ADamagedChunkFailsItsFileAtThatPiece) {
    constexpr uint32_t kDamaged = 4;
    ScratchDir scratch;
    const fs::path src = scratch / "src";
    fs::create_directory(src);
    const std::vector<uint8_t> first = testing_support::RandomBytes(3000, 1);
    WriteAll(src / "a-first", first);
    const std::string many = PieceText(12 * kPiecePlainMax, 2);
    WriteAll(src / "b-many", many);
    RecordingFrontEnd writing;
    const std::u16string image = scratch.Win("d.img");
    ASSERT_EQ(Encrypt({WinPath(src / "a-first"), WinPath(src / "b-many")}, image, kPassword, 1), 1);
    const DecodedImage decoded = DecodeImage(image, kPassword);
    uint64_t dataOffset = 0;
    for (const auto& e : decoded.entries) {
        if (FieldText(e.entry.path, kPathChars) == WinPath(src / "b-many")) dataOffset = e.entry.dataOffset;
    }
    ASSERT_NE(dataOffset, 0u);
    const std::vector<uint8_t> intact = ReadAll(NativePath(image));
    const uint64_t chunk = ChunkOffset(NativePath(image), dataOffset, kDamaged);

    const struct {
        const char* label;
        uint64_t offset;
        uint32_t value;  // written over the four bytes at offset
    } damages[] = {
        {"payload", chunk + sizeof(ChunkHeader) + 100, 0x12345678},
        {"stored size beyond a chunk", chunk + offsetof(ChunkHeader, storedSize), kChunkStoredMax + 1},
        {"plain size beyond a piece", chunk + offsetof(ChunkHeader, plainSize), kPiecePlainMax + 1},
    };
    for (const auto& damage : damages) {
        for (const uint32_t workers : kWorkerCounts) {
            SCOPED_TRACE(std::string(damage.label) + ", workers " + std::to_string(workers));
            Workers forced(workers);
            WriteAll(NativePath(image), intact);
            Overwrite(NativePath(image), damage.offset, &damage.value, sizeof damage.value);
            const fs::path out = scratch / "out";
            fs::remove_all(out);
            fs::create_directory(out);
            const fs::path target = RestoredPath(out, WinPath(src / "b-many"));
            std::vector<uint32_t> written;
            Hooks hooks;
            SetRestorePieceHook([&](const std::u16string& path, uint32_t piece) {
                if (NativePath(path) == target) written.push_back(piece);
            });
            RecordingFrontEnd frontEnd;
            DecryptParams params = MakeParams(image, kPassword, WinPath(out));
            EXPECT_EQ(ReadAndDecrypt(params), 0);
            ASSERT_EQ(frontEnd.messages.size(), 1u);
            EXPECT_EQ(frontEnd.messages[0].role, CoreMessage::EntryDataDamaged);
            EXPECT_EQ(NativePath(frontEnd.messages[0].args.path), target);
            EXPECT_EQ(written, (std::vector<uint32_t>{1, 2, 3, 4}));
            EXPECT_EQ(g_jobProgress.bytesDone.load(), first.size() + kDamaged * kPiecePlainMax);
            const auto restored = TreeContents(out);
            ASSERT_EQ(restored.size(), 1u) << "no part of the damaged file under any name";
            EXPECT_EQ(restored.begin()->second, first);
        }
    }
}

// A cancel at a chosen piece of a many-piece file: the writer leaves no image, no table
// file and no temporary; the restore leaves no file of the image at all.
TEST(PiecePipeline, CancelAtAPieceLeavesNothing) {
    constexpr uint32_t kCancelAt = 5;
    ScratchDir scratch;
    const fs::path src = scratch / "src";
    fs::create_directory(src);
    WriteAll(src / "many", PieceText(15 * kPiecePlainMax + 9, 4));
    const std::u16string image = scratch.Win("c.img");
    {
        RecordingFrontEnd frontEnd;
        ASSERT_EQ(Encrypt({WinPath(src / "many")}, image, kPassword, 1), 1);
    }
    for (const uint32_t workers : kWorkerCounts) {
        SCOPED_TRACE("workers " + std::to_string(workers));
        Workers forced(workers);
        Hooks hooks;
        const std::set<std::string> before = Names(scratch.path());
        std::vector<uint32_t> read;
        SetPieceStoredHook([&](const std::u16string&, uint32_t piece) {
            read.push_back(piece);
            if (piece == kCancelAt) encryptCancel = 1;
        });
        RecordingFrontEnd writing;
        EXPECT_EQ(Encrypt({WinPath(src / "many")}, scratch.Win("new.img"), kPassword, 1), 0);
        EXPECT_EQ(read.size(), kCancelAt + 1) << "no piece is read after the cancel";
        EXPECT_EQ(Names(scratch.path()), before);
        EXPECT_TRUE(writing.messages.empty()) << "a cancel is not an error";

        const fs::path out = scratch / "out";
        fs::create_directory(out);
        std::vector<uint32_t> written;
        SetRestorePieceHook([&](const std::u16string&, uint32_t piece) {
            written.push_back(piece);
            if (piece == kCancelAt) decryptCancel = 1;
        });
        RecordingFrontEnd restoring;
        DecryptParams params = MakeParams(image, kPassword, WinPath(out));
        EXPECT_EQ(ReadAndDecrypt(params), 0);
        EXPECT_EQ(written.size(), kCancelAt) << "no piece is written after the cancel";
        EXPECT_EQ(g_jobProgress.bytesDone.load(), uint64_t{kCancelAt} * kPiecePlainMax);
        EXPECT_TRUE(TreeContents(out).empty());
        EXPECT_TRUE(restoring.messages.empty());
        fs::remove_all(out);
    }
}

// Threads that ran jobs end cleanly, again and again: a front end's worker thread runs one
// job and ends, and so does every worker of the job's pool.
TEST(PiecePipeline, ThreadsThatRanJobsEnd) {
    ScratchDir scratch;
    const std::string content = PieceText(3 * kPiecePlainMax, 5);
    WriteAll(scratch / "a.txt", content);
    RecordingFrontEnd frontEnd;
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        int32_t encrypted = 0;
        int32_t decrypted = 0;
        const fs::path out = scratch / std::to_string(round);
        std::thread job([&] {
            const std::u16string image = scratch.Win(std::to_string(round) + ".img");
            encrypted = Encrypt({scratch.Win("a.txt")}, image, kPassword, round % 3);
            fs::create_directory(out);
            DecryptParams params = MakeParams(image, kPassword, WinPath(out));
            decrypted = ReadAndDecrypt(params);
        });
        job.join();
        EXPECT_EQ(encrypted, 1);
        EXPECT_EQ(decrypted, 1);
        EXPECT_EQ(TreeContents(out).size(), 1u);
    }
}

}  // namespace
