#include "core/PieceCompressor.h"

#include "core/Adler32.h"
#include "core/ZlibFrame.h"

namespace {
constexpr int kMemoryLevel = 8;  // zlib's default: the level decides the bytes written
}

PieceCompressor::~PieceCompressor() {
    if (m_started) deflateEnd(&m_stream);
}

bool PieceCompressor::Start(int zlibLevel) {
    if (m_started) {
        deflateEnd(&m_stream);
        m_started = false;
    }
    m_stream = z_stream{};
    m_level = zlibLevel;
    m_started = deflateInit2(&m_stream, zlibLevel, Z_DEFLATED, kZlibRawWindowBits, kMemoryLevel,
                             Z_DEFAULT_STRATEGY) == Z_OK;
    return m_started;
}

bool PieceCompressor::Compress(const uint8_t* in, uint32_t inSize, uint8_t* out,
                               uint32_t capacity, uint32_t& outSize) {
    constexpr uint32_t kFrame = kZlibHeaderSize + kZlibTrailerSize;
    if (!m_started || capacity < kFrame || deflateReset(&m_stream) != Z_OK) return false;
    m_stream.next_in = const_cast<Bytef*>(in);
    m_stream.avail_in = inSize;
    // The trailer's room is lent to deflate: a raw stream that ends exactly where its room
    // does is only reported finished on a further call.
    m_stream.next_out = out + kZlibHeaderSize;
    m_stream.avail_out = capacity - kZlibHeaderSize;
    if (deflate(&m_stream, Z_FINISH) != Z_STREAM_END) return false;
    const auto body = static_cast<uint32_t>(m_stream.total_out);
    if (body > capacity - kFrame) return false;
    StoreZlibHeader(out, m_level);
    StoreZlibChecksum(out + kZlibHeaderSize + body, Adler32(1, in, inSize));
    outSize = body + kFrame;
    return true;
}
