#include "core/PieceInflater.h"

#include "core/Adler32.h"

namespace {

constexpr uint32_t kHeaderSize = 2;
constexpr uint32_t kTrailerSize = 4;
constexpr int kRawWindowBits = -15;

// The checks zlib makes of a stream's two header bytes.
bool ValidHeader(const uint8_t* in) {
    const uint32_t cmf = in[0];
    const uint32_t flg = in[1];
    const bool checked = ((cmf << 8) | flg) % 31 == 0;
    const bool deflated = (cmf & 0x0f) == Z_DEFLATED;
    const bool windowFits = (cmf >> 4) + 8 <= 15;
    const bool noDictionary = (flg & 0x20) == 0;
    return checked && deflated && windowFits && noDictionary;
}

uint32_t BigEndian32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

}  // namespace

PieceInflater::~PieceInflater() {
    if (m_started) inflateEnd(&m_stream);
}

bool PieceInflater::Start() {
    if (m_started) return true;
    m_stream = z_stream{};
    m_started = inflateInit2(&m_stream, kRawWindowBits) == Z_OK;
    return m_started;
}

bool PieceInflater::Inflate(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t capacity,
                            uint32_t& outSize) {
    if (!m_started || inSize < kHeaderSize || !ValidHeader(in)) return false;
    if (inflateReset(&m_stream) != Z_OK) return false;
    m_stream.next_in = const_cast<Bytef*>(in + kHeaderSize);
    m_stream.avail_in = inSize - kHeaderSize;
    m_stream.next_out = out;
    m_stream.avail_out = capacity;
    if (inflate(&m_stream, Z_FINISH) != Z_STREAM_END) return false;
    if (m_stream.avail_in < kTrailerSize) return false;
    const auto size = static_cast<uint32_t>(m_stream.total_out);
    if (BigEndian32(m_stream.next_in) != Adler32(1, out, size)) return false;
    outSize = size;
    return true;
}
