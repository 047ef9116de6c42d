// A plain image description, encrypted into a real image by the harness, so that mutations
// land on the entries and chunk headers instead of on cipher text. The reader then restores
// it into a fresh target; anything it leaves outside the target aborts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "ImageDescription.h"
#include "ReaderRun.h"
#include "platform/FileSystem.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::PrepareScratch();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::ImageDescription description = fuzz::ParseDescription(data, size);
    if (!fuzz::WriteImage(description, platform::FromUserPath(fuzz::ImagePath().u16string()))) {
        std::fprintf(stderr, "the harness could not write the image\n");
        std::abort();
    }
    fuzz::RestoreImage(description.RestoreMode(),
                       (description.flags & fuzz::ImageDescription::kSelectFirst) != 0);
    return 0;
}
