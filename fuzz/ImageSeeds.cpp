// Writes a few small, valid images (password "fuzz") as seeds for image_fuzz, built by
// hand so that they hold neutral paths: usage: image_fuzz_seeds <seed dir> <work dir>.
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/Cipher.h"
#include "core/ImageFormat.h"
#include "platform/FileSystem.h"

namespace fs = std::filesystem;

namespace {

constexpr char16_t kPassword[] = u"fuzz";

struct SeedFile {
    std::u16string path;
    std::vector<uint8_t> content;
    uint32_t method;  // 0 plain, 1 or 2 zlib
};

std::vector<uint8_t> Text(size_t size, char first) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(first + i % 7);
    return bytes;
}

void AppendChunk(std::vector<uint8_t>& data, const std::vector<uint8_t>& plain, uint32_t method) {
    std::vector<uint8_t> payload = plain;
    if (method != 0) {
        payload.resize(kChunkStoredMax);
        uLongf size = payload.size();
        compress2(payload.data(), &size, plain.data(), plain.size(), method == 1 ? 4 : 8);
        payload.resize(size);
    }
    EncryptItem(kPassword, payload.data(), payload.size());
    const ChunkHeader header{static_cast<uint32_t>(payload.size()), method,
                             static_cast<uint32_t>(plain.size()), 0};
    const auto* h = reinterpret_cast<const uint8_t*>(&header);
    data.insert(data.end(), h, h + sizeof header);
    data.insert(data.end(), payload.begin(), payload.end());
}

bool WriteSeed(const fs::path& path, const std::vector<std::u16string>& folders,
               const std::vector<SeedFile>& files, const ImageOptions& options) {
    platform::File image;
    const std::u16string winPath = platform::FromUserPath(path.u16string());
    if (!image.Open(winPath, platform::Access::ReadWrite, platform::Share::ReadWrite,
                    platform::Disposition::CreateAlways) ||
        !WriteNewImageHeader(image, kPassword, 1, options)) {
        return false;
    }
    const SourceListHead head{};
    std::vector<uint8_t> data;
    std::vector<ImageEntry> entries;
    const auto entry = [&](const std::u16string& entryPath, uint32_t attributes, uint64_t size,
                           uint64_t offset) {
        ImageEntry e{};
        e.sequence = static_cast<uint32_t>(entries.size());
        CopyToField(e.path, kPathChars, entryPath);
        e.attributes = attributes;
        e.writeTime = 133000000000000000ULL;
        e.size = size;
        e.dataOffset = offset;
        EncryptItem(kPassword, &e, sizeof e);
        entries.push_back(e);
    };
    for (const auto& folder : folders) entry(folder, platform::kAttrDirectory, 0, 0);
    for (const auto& file : files) {
        const uint64_t offset = kHeaderSize + sizeof head + data.size();
        for (size_t at = 0; at < file.content.size(); at += kPiecePlainMax) {
            const size_t n = std::min<size_t>(kPiecePlainMax, file.content.size() - at);
            AppendChunk(data, {file.content.begin() + at, file.content.begin() + at + n},
                        file.method);
        }
        entry(file.path, platform::kAttrArchive, file.content.size(), offset);
    }
    const uint64_t tableOffset = kHeaderSize + sizeof head + data.size();
    TableHeader table{static_cast<uint32_t>(entries.size()), static_cast<uint32_t>(files.size()),
                      {0, 0}};
    return image.Seek(kHeaderSize) && image.Write(&head, sizeof head) &&
           (data.empty() || image.Write(data.data(), static_cast<uint32_t>(data.size()))) &&
           SetImageTableOffset(image, kPassword, tableOffset) && image.SeekToEnd() &&
           image.Write(&table, sizeof table) &&
           image.Write(entries.data(), static_cast<uint32_t>(entries.size() * sizeof(ImageEntry))) &&
           image.Close();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: image_fuzz_seeds <seed dir> <work dir>\n");
        return 2;
    }
    const fs::path seeds = argv[1];
    fs::create_directories(seeds);
    fs::create_directories(argv[2]);
    ImageOptions limits{};
    limits.optionsEnabled = 1;
    limits.decryptLimitEnabled = 1;
    limits.decryptLimit = 1000;
    limits.errorLimitEnabled = 1;
    limits.maxErrorCount = 1000;
    const bool ok =
        WriteSeed(seeds / "tree.img", {u"C:\\docs", u"C:\\docs\\sub"},
                  {{u"C:\\docs\\a.txt", Text(300, 'a'), 1}, {u"C:\\docs\\sub\\b.txt", Text(90, 'b'), 2}},
                  {}) &&
        WriteSeed(seeds / "plain.img", {}, {{u"D:\\p.bin", Text(700, 'p'), 0}, {u"D:\\e.bin", {}, 0}},
                  limits) &&
        WriteSeed(seeds / "two-chunks.img", {u"E:\\x"},
                  {{u"E:\\x\\big.txt", Text(kPiecePlainMax + 40, 'c'), 1}}, {}) &&
        WriteSeed(seeds / "folders.img", {u"C:\\only", u"C:\\only\\dirs"}, {}, limits);
    return ok ? 0 : 1;
}
