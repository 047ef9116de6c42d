#include "core/PieceBuffers.h"

alignas(16) uint8_t g_plainPiece[kPiecePlainMax];
alignas(16) uint8_t g_storedPiece[kChunkStoredMax];
