// The entry table read back from an image: what the writer stored, and nothing at all from
// an image that is damaged or opened with the wrong password.
#include <map>
#include <optional>
#include <utility>

#include "ImageTestSupport.h"
#include "core/ImageCatalog.h"

using namespace image_test;

namespace {

const std::u16string kPassword = u"catalog";

TEST(ImageCatalog, ListsTheEntriesTheWriterStored) {
    ScratchDir scratch;
    fs::create_directories(scratch / "src" / "d");
    WriteAll(scratch / "src" / "a.bin", testing_support::RandomBytes(70000, 1));
    WriteAll(scratch / "src" / "d" / "b.txt", std::string("bee"));
    const std::u16string image = scratch.Win("cat.img");
    ASSERT_EQ(Encrypt({scratch.Win("src")}, image, kPassword, 2), 1);

    std::vector<CatalogEntry> entries;
    ASSERT_EQ(ReadImageCatalog(image, kPassword, entries), 1);
    std::map<std::u16string, CatalogEntry> byPath;
    for (const auto& entry : entries) byPath[entry.path] = entry;
    for (const char* name : {"src", "src\\d"}) {
        ASSERT_TRUE(byPath.count(scratch.Win(name))) << name;
        EXPECT_TRUE(byPath[scratch.Win(name)].IsDirectory()) << name;
    }
    for (const auto& [name, size] : {std::pair{"src\\a.bin", 70000u}, std::pair{"src\\d\\b.txt", 3u}}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(byPath.count(scratch.Win(name)));
        const CatalogEntry& entry = byPath[scratch.Win(name)];
        EXPECT_FALSE(entry.IsDirectory());
        EXPECT_EQ(entry.size, size);
        platform::FindData found;
        ASSERT_TRUE(platform::FindExact(scratch.Win(name), found));
        EXPECT_EQ(entry.writeTime, found.times.write);
    }
}

TEST(ImageCatalog, DamagedImagesAndWrongPasswordsListNothing) {
    ScratchDir scratch;
    const std::u16string path = scratch.Win("damaged.img");
    ImageBuilder builder(kPassword);
    builder.AddEntry(u"C:\\good.txt", platform::kAttrArchive, 4, builder.AddPlainContent({'g', 'o', 'o', 'd'}));
    const uint64_t tableOffset = builder.Write(path);
    const std::vector<uint8_t> whole = ReadAll(NativePath(path));

    const struct {
        const char* name;
        size_t keep;  // bytes of the whole image kept
        std::optional<uint32_t> count;
        std::u16string password;
    } cases[] = {
        {"wrong password", whole.size(), std::nullopt, u"wrong"},
        {"count beyond the table", whole.size(), 2u, kPassword},
        {"count of four billion", whole.size(), UINT32_MAX, kPassword},
        {"cut inside the last entry", whole.size() - 1, std::nullopt, kPassword},
        {"cut inside the table header", static_cast<size_t>(tableOffset) + 8, std::nullopt, kPassword},
        {"cut inside the header", 100, std::nullopt, kPassword},
        {"empty file", 0, std::nullopt, kPassword},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        builder.entryCount = c.count;
        builder.Write(path);
        const std::vector<uint8_t> bytes = ReadAll(NativePath(path));
        WriteAll(NativePath(path), std::vector<uint8_t>(bytes.begin(), bytes.begin() + c.keep));
        std::vector<CatalogEntry> entries = {CatalogEntry{}};
        EXPECT_EQ(ReadImageCatalog(path, c.password, entries), 0);
        EXPECT_TRUE(entries.empty());
    }
    std::vector<CatalogEntry> entries;
    EXPECT_EQ(ReadImageCatalog(scratch.Win("missing.img"), kPassword, entries), 0);
}

}  // namespace
