// Writes the seeds of both fuzz targets from one set of descriptions with neutral paths
// (password "fuzz"): each as a description for described_image_fuzz and as the image it
// stands for for image_fuzz.
// Usage: image_fuzz_seeds <image seeds> <image work> <description seeds> <description work>.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ImageDescription.h"
#include "core/ImageFormat.h"
#include "platform/FileSystem.h"

namespace fs = std::filesystem;
using fuzz::DescribedChunk;
using fuzz::DescribedEntry;
using fuzz::ImageDescription;

namespace {

constexpr uint64_t kWriteTime = 133000000000000000ULL;

struct SeedFile {
    std::u16string path;
    uint8_t firstByte;  // the content cycles through seven byte values from this one
    size_t length;
    uint8_t method;  // 0 plain, 1 or 2 zlib
};

void AddFolder(ImageDescription& d, const std::u16string& path) {
    d.entries.push_back({platform::kAttrDirectory, 0, kWriteTime, DescribedEntry::kNoChunk, 0, path});
}

// One chunk per piece of the content; the entry points at the first.
void AddFile(ImageDescription& d, const SeedFile& file) {
    const uint16_t first = file.length == 0 ? DescribedEntry::kNoChunk : static_cast<uint16_t>(d.chunks.size());
    std::vector<uint8_t> pattern;
    for (uint8_t i = 0; i < 7; ++i) pattern.push_back(static_cast<uint8_t>(file.firstByte + i));
    for (size_t at = 0; at < file.length; at += kPiecePlainMax) {
        const auto length = static_cast<uint16_t>(std::min<size_t>(kPiecePlainMax, file.length - at));
        d.chunks.push_back({file.method, 0, 0, 0, length, pattern});
    }
    d.entries.push_back({platform::kAttrArchive, file.length, kWriteTime, first, 0, file.path});
    ++d.fileCount;
}

ImageDescription Describe(uint8_t version, uint8_t flags, bool limited, const std::vector<std::u16string>& folders,
                          const std::vector<SeedFile>& files) {
    ImageDescription d;
    d.version = version;
    d.flags = flags;
    d.compressLevel = 1;
    d.sourceCount = 1;
    if (limited) {
        d.options.optionsEnabled = 1;
        d.options.decryptLimitEnabled = 1;
        d.options.decryptLimit = 1000;
        d.options.errorLimitEnabled = 1;
        d.options.maxErrorCount = 1000;
    }
    for (const auto& folder : folders) AddFolder(d, folder);
    for (const auto& file : files) AddFile(d, file);
    return d;
}

bool WriteSeed(const fs::path& images, const fs::path& descriptions, const std::string& name,
               const ImageDescription& d) {
    const std::vector<uint8_t> bytes = fuzz::SerializeDescription(d);
    std::ofstream out(descriptions / (name + ".desc"), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return out.good() && fuzz::WriteImage(d, platform::FromUserPath((images / (name + ".img")).u16string()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: image_fuzz_seeds <image seeds> <image work> <description seeds> <description work>\n");
        return 2;
    }
    for (int i = 1; i < argc; ++i) fs::create_directories(argv[i]);
    // Bits 6-7 pick the restore mode: 0x40 mode 2, 0x80 mode 3, else mode 1.
    constexpr uint8_t kSelectMode2 = ImageDescription::kSelectFirst | 0x40;
    const struct {
        const char* name;
        ImageDescription description;
    } seeds[] = {
        {"tree", Describe(0, 0, false, {u"C:\\docs", u"C:\\docs\\sub"},
                          {{u"C:\\docs\\a.txt", 'a', 300, 1}, {u"C:\\docs\\sub\\b.txt", 'b', 90, 2}})},
        {"plain", Describe(0, 0x80, true, {}, {{u"D:\\p.bin", 'p', 700, 0}, {u"D:\\e.bin", 'e', 0, 0}})},
        {"two-chunks", Describe(0, kSelectMode2, false, {u"E:\\x"}, {{u"E:\\x\\big.txt", 'c', kPiecePlainMax + 40, 1}})},
        {"folders", Describe(0, 0, true, {u"C:\\only", u"C:\\only\\dirs"}, {})},
        {"version-512", Describe(1, 0, true, {u"C:\\old"}, {{u"C:\\old\\n.txt", 'n', 120, 2}})},
        {"version-100", Describe(2, 0, false, {u"C:\\old"}, {{u"C:\\old\\o.txt", 'o', 77, 0}})},
        {"wrong-password", Describe(0, ImageDescription::kWrongPassword, true, {}, {{u"C:\\w.txt", 'w', 20, 0}})},
    };
    for (const auto& seed : seeds) {
        if (!WriteSeed(argv[1], argv[3], seed.name, seed.description)) return 1;
    }
    return 0;
}
