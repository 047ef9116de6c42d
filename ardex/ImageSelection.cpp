// The selection -S erases through: what the finished image holds, still as it was read.
#include "ardex/Ardex.h"
#include "core/TableFiles.h"
#include "platform/File.h"

namespace {

// The source may go only once the image that holds it is on the disk, not just in a cache.
bool ImageReachedDisk(const std::u16string& imagePath) {
    platform::File image;
    return image.Open(imagePath, platform::Access::ReadWrite, platform::Share::ReadWrite,
                      platform::Disposition::OpenExisting) &&
           image.Flush();
}

}  // namespace

int32_t ImageSelection::Load(const std::u16string& imagePath, std::u16string_view password) {
    m_entries.clear();
    m_imagePath = imagePath;
    m_tablePath = WriterTableName(imagePath);
    std::vector<CatalogEntry> entries;
    if (!ImageReachedDisk(imagePath) || !ReadImageCatalog(imagePath, password, entries)) return 0;
    for (auto& entry : entries) {
        std::u16string path = entry.path;
        m_entries.emplace(std::move(path), std::move(entry));
    }
    return 1;
}

bool ImageSelection::MayErase(const std::u16string& path, const platform::FindData& found) const {
    if (EqualsIgnoreCase(path, m_imagePath) || EqualsIgnoreCase(path, m_tablePath)) return false;
    const auto listed = m_entries.find(path);
    if (listed == m_entries.end()) return false;
    const CatalogEntry& entry = listed->second;
    // A folder's own times change with its contents; what it holds is judged entry by entry.
    if (entry.IsDirectory() || found.IsDirectory()) return entry.IsDirectory() && found.IsDirectory();
    // Anything else written since it was read would be lost with the file.
    return entry.size == found.size && entry.writeTime == found.times.write;
}
