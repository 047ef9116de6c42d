// Turns a CEncryptInfo into a finished image file.
#pragma once
#include <cstdint>

#include "core/JobRecords.h"

int32_t EncryptToImage(const CEncryptInfo& info);
