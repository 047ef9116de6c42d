// zlib's Adler-32, faster: a restore spends more time in zlib's byte-at-a-time checksum than
// in its AES. The same values as zlib's adler32().
#pragma once
#include <cstddef>
#include <cstdint>

// The running checksum after data; start from 1 as zlib does.
uint32_t Adler32(uint32_t adler, const uint8_t* data, size_t size);
