#include "core/Adler32.h"

#include <zlib.h>

#include <algorithm>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

uint32_t Adler32Zlib(uint32_t adler, const uint8_t* data, size_t size) {
    return static_cast<uint32_t>(adler32_z(adler, data, size));
}

#if defined(__x86_64__) || defined(__i386__)
constexpr uint32_t kBase = 65521;
// The longest run whose sums cannot overflow 32 bits (zlib's NMAX), in whole 32-byte blocks.
constexpr size_t kRun = 5552 / 32 * 32;

__attribute__((target("avx2"))) uint64_t SumLanes(__m256i v) {
    alignas(32) uint32_t lanes[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), v);
    uint64_t sum = 0;
    for (uint32_t lane : lanes) sum += lane;
    return sum;
}

// Over a run of n bytes b[j]: s1 gains sum b[j] and s2 gains n * s1 + sum (n - j) * b[j].
// Per 32-byte block the weight (n - j) splits into 32 times the blocks still to come, which
// the sum of the earlier blocks' totals gives, plus 32 - i inside the block.
__attribute__((target("avx2"))) uint32_t Adler32Avx2(uint32_t adler, const uint8_t* data,
                                                     size_t size) {
    uint64_t s1 = adler & 0xffff;
    uint64_t s2 = adler >> 16;
    const __m256i weights = _mm256_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20,
                                             19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6,
                                             5, 4, 3, 2, 1);
    const __m256i ones = _mm256_set1_epi16(1);
    const __m256i zero = _mm256_setzero_si256();
    while (size >= 32) {
        const size_t run = std::min(size, kRun) / 32 * 32;
        __m256i blockSums = zero;    // bytes so far, per lane
        __m256i earlierSums = zero;  // for each block, the bytes before it
        __m256i weighted = zero;     // (32 - i) * b[i] within each block
        for (size_t at = 0; at < run; at += 32) {
            const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + at));
            earlierSums = _mm256_add_epi32(earlierSums, blockSums);
            blockSums = _mm256_add_epi32(blockSums, _mm256_sad_epu8(bytes, zero));
            weighted = _mm256_add_epi32(
                weighted, _mm256_madd_epi16(_mm256_maddubs_epi16(bytes, weights), ones));
        }
        s2 = (s2 + run * s1 + 32 * SumLanes(earlierSums) + SumLanes(weighted)) % kBase;
        s1 = (s1 + SumLanes(blockSums)) % kBase;
        data += run;
        size -= run;
    }
    return Adler32Zlib(static_cast<uint32_t>(s2 << 16 | s1), data, size);
}

using AdlerFunction = uint32_t (*)(uint32_t, const uint8_t*, size_t);

AdlerFunction PickAdler() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? Adler32Avx2 : Adler32Zlib;
}

}  // namespace

uint32_t Adler32(uint32_t adler, const uint8_t* data, size_t size) {
    static const AdlerFunction adler32 = PickAdler();
    return adler32(adler, data, size);
}
#else
}  // namespace

uint32_t Adler32(uint32_t adler, const uint8_t* data, size_t size) {
    return Adler32Zlib(adler, data, size);
}
#endif
