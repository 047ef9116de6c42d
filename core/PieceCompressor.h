// One raw deflate state for each thread of a job, with the zlib frame written here. compress2
// would allocate and free ~270 KB of state for every piece, and the allocator's page churn
// then costs as much as a tenth of the compression itself. The bytes are compress2's.
#pragma once
#include <cstdint>

#include <zlib.h>

class PieceCompressor {
public:
    PieceCompressor() = default;
    ~PieceCompressor();
    PieceCompressor(const PieceCompressor&) = delete;
    PieceCompressor& operator=(const PieceCompressor&) = delete;

    // False when zlib cannot set up the state.
    bool Start(int zlibLevel);
    // One complete zlib stream of the input; false when it does not fit capacity.
    bool Compress(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t capacity,
                  uint32_t& outSize);

private:
    z_stream m_stream{};
    int m_level = 0;
    bool m_started = false;
};
