// One raw inflate state for each thread of a restore, with the zlib wrapper checked here.
// uncompress would set up a state for every piece, copy the last 32 KB of each piece into a
// window it then throws away, and check the stream with zlib's slow Adler-32. What this
// accepts and refuses is the same as uncompress's.
#pragma once
#include <cstdint>

#include <zlib.h>

class PieceInflater {
public:
    PieceInflater() = default;
    ~PieceInflater();
    PieceInflater(const PieceInflater&) = delete;
    PieceInflater& operator=(const PieceInflater&) = delete;

    // False when zlib cannot set up the state.
    bool Start();
    // The plain bytes of one complete zlib stream; false when the stream is damaged,
    // incomplete or larger than capacity. Bytes after the stream's end are ignored.
    bool Inflate(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t capacity,
                 uint32_t& outSize);

private:
    z_stream m_stream{};
    bool m_started = false;
};
