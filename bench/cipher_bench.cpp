// Throughput of the image cipher on one chunk-sized buffer: the stateless calls with their
// key derivation, and the expanded key a job's threads keep for all their pieces.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "core/Cipher.h"

namespace {

constexpr size_t kPieceBytes = 51200;
const uint8_t kPassword[] = "a typical password";
constexpr size_t kPasswordLength = sizeof kPassword - 1;

std::vector<uint8_t> Piece() {
    std::vector<uint8_t> buffer(kPieceBytes);
    uint32_t x = 12345;
    for (auto& b : buffer) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    return buffer;
}

void BM_EncryptBuffer(benchmark::State& state) {
    std::vector<uint8_t> buffer = Piece();
    for (auto _ : state) {
        EncryptBuffer(kPassword, kPasswordLength, buffer.data(), buffer.data(), buffer.size());
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kPieceBytes);
}

void BM_DecryptBuffer(benchmark::State& state) {
    std::vector<uint8_t> buffer = Piece();
    for (auto _ : state) {
        DecryptBuffer(kPassword, kPasswordLength, buffer.data(), buffer.data(), buffer.size());
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kPieceBytes);
}

// A piece that does not end on a block boundary: the scrambled tail is in the measure.
void BM_EncryptBufferWithTail(benchmark::State& state) {
    std::vector<uint8_t> buffer = Piece();
    const size_t count = kPieceBytes - 5;
    for (auto _ : state) {
        EncryptBuffer(kPassword, kPasswordLength, buffer.data(), buffer.data(), count);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * count);
}

void BM_BufferCipherEncrypt(benchmark::State& state) {
    std::vector<uint8_t> buffer = Piece();
    BufferCipher cipher;
    cipher.SetKey(kPassword, kPasswordLength);
    for (auto _ : state) {
        cipher.Encrypt(buffer.data(), buffer.data(), buffer.size());
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kPieceBytes);
}

void BM_BufferCipherDecrypt(benchmark::State& state) {
    std::vector<uint8_t> buffer = Piece();
    BufferCipher cipher;
    cipher.SetKey(kPassword, kPasswordLength);
    for (auto _ : state) {
        cipher.Decrypt(buffer.data(), buffer.data(), buffer.size());
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kPieceBytes);
}

}  // namespace

BENCHMARK(BM_EncryptBuffer);
BENCHMARK(BM_DecryptBuffer);
BENCHMARK(BM_EncryptBufferWithTail);
BENCHMARK(BM_BufferCipherEncrypt);
BENCHMARK(BM_BufferCipherDecrypt);
BENCHMARK_MAIN();
