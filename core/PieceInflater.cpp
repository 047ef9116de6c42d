#include "core/PieceInflater.h"

#include "core/Adler32.h"
#include "core/ZlibFrame.h"

PieceInflater::~PieceInflater() {
    if (m_started) inflateEnd(&m_stream);
}

bool PieceInflater::Start() {
    if (m_started) return true;
    m_stream = z_stream{};
    m_started = inflateInit2(&m_stream, kZlibRawWindowBits) == Z_OK;
    return m_started;
}

bool PieceInflater::Inflate(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t capacity,
                            uint32_t& outSize) {
    if (!m_started || inSize < kZlibHeaderSize || !ValidZlibHeader(in)) return false;
    if (inflateReset(&m_stream) != Z_OK) return false;
    m_stream.next_in = const_cast<Bytef*>(in + kZlibHeaderSize);
    m_stream.avail_in = inSize - kZlibHeaderSize;
    m_stream.next_out = out;
    m_stream.avail_out = capacity;
    if (inflate(&m_stream, Z_FINISH) != Z_STREAM_END) return false;
    if (m_stream.avail_in < kZlibTrailerSize) return false;
    const auto size = static_cast<uint32_t>(m_stream.total_out);
    if (LoadZlibChecksum(m_stream.next_in) != Adler32(1, out, size)) return false;
    outSize = size;
    return true;
}
