// The piece pipeline: images and restores do not depend on how many workers ran them,
// and errors and cancellation land on the same piece whatever the workers do.
#include <cstdlib>
#include <cstring>

#include "ImageTestSupport.h"

using namespace image_test;

namespace {

const std::u16string kPassword = u"golden pass";

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
// parallel. CRYPTELLE_WRITE_GOLDEN=1 writes the files anew instead.
TEST(PiecePipeline, WritesTheGoldenImages) {
    const bool writeGolden = std::getenv("CRYPTELLE_WRITE_GOLDEN") != nullptr;
    for (const int32_t level : {0, 1, 2}) {
        SCOPED_TRACE("level " + std::to_string(level));
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

}  // namespace
