#include "core/ImageCatalog.h"

#include <utility>

#include "core/Cipher.h"
#include "core/ImageFormat.h"
#include "platform/FileSystem.h"

namespace {

// Positions the image at its table header; false for a foreign image or a wrong password.
bool SeekToTable(platform::File& image, std::u16string_view password) {
    uint8_t header[kHeaderSize] = {};
    const int32_t version = ReadImageHeader(image, password, header);
    if (version != kImageVersion && version != kImageVersion512 && version != kImageVersion100) {
        return false;
    }
    return VerifyPassword(HeaderVerifier(header, version), password) &&
           image.Seek(HeaderTableOffset(header, version));
}

// A count the rest of the file cannot hold is a damaged table, not a reason to read on.
bool CountFits(platform::File& image, uint32_t entryCount) {
    uint64_t position = 0;
    uint64_t size = 0;
    return image.Tell(position) && image.Size(size) && position <= size &&
           (size - position) / sizeof(ImageEntry) >= entryCount;
}

}  // namespace

bool CatalogEntry::IsDirectory() const { return (attributes & platform::kAttrDirectory) != 0; }

int32_t ReadImageCatalog(const std::u16string& imagePath, std::u16string_view password,
                         std::vector<CatalogEntry>& entries) {
    entries.clear();
    platform::File image;
    if (!image.Open(imagePath, platform::Access::Read, platform::Share::ReadWrite,
                    platform::Disposition::OpenExisting) ||
        !SeekToTable(image, password)) {
        return 0;
    }
    TableHeader table{};
    if (!image.ReadExactly(&table, sizeof table) || !CountFits(image, table.entryCount)) return 0;
    std::vector<CatalogEntry> read;
    read.reserve(table.entryCount);
    for (uint32_t i = 0; i < table.entryCount; ++i) {
        ImageEntry entry{};
        if (!image.ReadExactly(&entry, sizeof entry)) return 0;
        DecryptItem(password, &entry, sizeof entry);
        read.push_back({FieldText(entry.path, kPathChars), entry.attributes, entry.size, entry.writeTime});
    }
    entries = std::move(read);
    return 1;
}
