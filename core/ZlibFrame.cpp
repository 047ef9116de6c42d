#include "core/ZlibFrame.h"

namespace {

constexpr uint32_t kDeflated = 8;
constexpr uint32_t kWindowInfo = 7;  // 2^(7 + 8) bytes: zlib's default and largest window
constexpr uint32_t kPresetDictionary = 0x20;

// zlib's FLEVEL: a hint of the level, 0 to 3.
uint32_t LevelHint(int level) {
    if (level < 0) level = 6;  // Z_DEFAULT_COMPRESSION
    if (level < 2) return 0;
    if (level < 6) return 1;
    return level == 6 ? 2 : 3;
}

}  // namespace

void StoreZlibHeader(uint8_t* out, int level) {
    uint32_t header = (kDeflated | kWindowInfo << 4) << 8 | LevelHint(level) << 6;
    header += 31 - header % 31;
    out[0] = static_cast<uint8_t>(header >> 8);
    out[1] = static_cast<uint8_t>(header);
}

bool ValidZlibHeader(const uint8_t* in) {
    const uint32_t cmf = in[0];
    const uint32_t flg = in[1];
    const bool checked = (cmf << 8 | flg) % 31 == 0;
    const bool deflated = (cmf & 0x0f) == kDeflated;
    const bool windowFits = cmf >> 4 <= kWindowInfo;
    const bool noDictionary = (flg & kPresetDictionary) == 0;
    return checked && deflated && windowFits && noDictionary;
}

void StoreZlibChecksum(uint8_t* out, uint32_t adler) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(adler >> (24 - 8 * i));
}

uint32_t LoadZlibChecksum(const uint8_t* in) {
    return uint32_t{in[0]} << 24 | uint32_t{in[1]} << 16 | uint32_t{in[2]} << 8 | in[3];
}
