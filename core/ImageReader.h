// Checks an image's limits and password, and restores its entries.
#pragma once
#include <cstdint>
#include <string>

#include "core/JobRecords.h"

int32_t ReadImageInfo(DecryptParams& params, uint32_t& fileCount, std::u16string& firstFilePath);
int32_t CheckImageLimits(const ImageOptions& options);
int32_t DecryptImage(DecryptParams params);
