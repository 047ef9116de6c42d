// Turns a CEncryptInfo into a finished image file.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "core/JobRecords.h"

int32_t EncryptToImage(const CEncryptInfo& info);

// Test seam: called on the job's thread after each piece of a file is read and before the
// next read, with the file's path and the piece's index from 0, so that a test can change
// a file or cancel at an exact point of its read. Empty unless a test sets one; an empty
// function removes it.
using PieceStoredHook = std::function<void(const std::u16string& path, uint32_t piece)>;
void SetPieceStoredHook(PieceStoredHook hook);
