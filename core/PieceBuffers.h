// The two process-wide chunk buffers shared by the writer and the reader. Only one core
// job runs in a process at a time, so one pair serves every job.
#pragma once
#include <cstdint>

#include "core/ImageFormat.h"

// One piece of file content (at most 51,200 bytes).
extern uint8_t g_plainPiece[kPiecePlainMax];
// One chunk payload as stored: compressed and/or encrypted (at most 61,440 bytes).
extern uint8_t g_storedPiece[kChunkStoredMax];
