// The two bytes zlib writes before a deflate stream and the Adler-32 it writes after it.
// Pieces are deflated and inflated raw with this frame done here, so that the checksum is
// Adler32's rather than zlib's slower one; the bytes are zlib's own.
#pragma once
#include <cstdint>

constexpr uint32_t kZlibHeaderSize = 2;
constexpr uint32_t kZlibTrailerSize = 4;
constexpr int kZlibRawWindowBits = -15;

// The header deflateInit(level) writes, for zlib's default window and strategy.
void StoreZlibHeader(uint8_t* out, int level);
// The checks inflate makes of a header.
bool ValidZlibHeader(const uint8_t* in);

void StoreZlibChecksum(uint8_t* out, uint32_t adler);
uint32_t LoadZlibChecksum(const uint8_t* in);
