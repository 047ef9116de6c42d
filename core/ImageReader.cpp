#include "core/ImageReader.h"

int32_t ReadImageInfo(DecryptParams&, uint32_t& fileCount, std::u16string& firstFilePath) {
    fileCount = 0;
    firstFilePath.clear();
    return 0;
}
int32_t CheckImageLimits(const ImageOptions&) { return 0; }
int32_t DecryptImage(DecryptParams) { return 0; }
