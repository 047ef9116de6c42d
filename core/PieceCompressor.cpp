#include "core/PieceCompressor.h"

PieceCompressor::~PieceCompressor() {
    if (m_started) deflateEnd(&m_stream);
}

bool PieceCompressor::Start(int zlibLevel) {
    if (m_started) {
        deflateEnd(&m_stream);
        m_started = false;
    }
    m_stream = z_stream{};
    m_started = deflateInit(&m_stream, zlibLevel) == Z_OK;
    return m_started;
}

bool PieceCompressor::Compress(const uint8_t* in, uint32_t inSize, uint8_t* out,
                               uint32_t capacity, uint32_t& outSize) {
    if (!m_started || deflateReset(&m_stream) != Z_OK) return false;
    m_stream.next_in = const_cast<Bytef*>(in);
    m_stream.avail_in = inSize;
    m_stream.next_out = out;
    m_stream.avail_out = capacity;
    if (deflate(&m_stream, Z_FINISH) != Z_STREAM_END) return false;
    outSize = static_cast<uint32_t>(m_stream.total_out);
    return true;
}
