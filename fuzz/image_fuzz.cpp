// Arbitrary bytes as an image: ReadImageInfo, then DecryptImage into a scratch target.
// Anything the reader leaves outside the target (or a table copy it forgets) aborts.
#include <cstdint>
#include <fstream>

#include "ReaderRun.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::PrepareScratch();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        std::ofstream out(fuzz::ImagePath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    // The last byte picks a restore mode (1-3) and whether to select the first file.
    const uint8_t choice = size > 0 ? data[size - 1] : 0;
    fuzz::RestoreImage(1 + choice % 3, (choice & 0x80) != 0);
    return 0;
}
