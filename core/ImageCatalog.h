// What a finished image holds: its entry table, read back without restoring anything.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct CatalogEntry {
    std::u16string path;  // as stored, Windows form
    uint32_t attributes = 0;
    uint64_t size = 0;
    uint64_t writeTime = 0;  // FILETIME

    bool IsDirectory() const;
};

// The entries of the image at imagePath, in table order. 1 when the header, the password
// and the whole table were read; else 0 and entries is empty. The image is only read:
// its usage limits are neither checked nor counted.
int32_t ReadImageCatalog(const std::u16string& imagePath, std::u16string_view password,
                         std::vector<CatalogEntry>& entries);
