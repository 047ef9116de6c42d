// Checks an image's limits and password, and restores its entries.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "core/JobRecords.h"

int32_t ReadImageInfo(DecryptParams& params, uint32_t& fileCount, std::u16string& firstFilePath);
int32_t CheckImageLimits(const ImageOptions& options);
int32_t DecryptImage(DecryptParams params);

// For tests: called on the job's thread after each piece of a file was written, with the
// file's target path and the number of pieces written so far. Empty by default.
using RestorePieceHook = std::function<void(const std::u16string& target, uint32_t piece)>;
void SetRestorePieceHook(RestorePieceHook hook);
