#include "core/Cipher.h"

#include <bit>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "core/ByteOrder.h"
#include "platform/Aes128.h"
#include "platform/Secret.h"
#include "platform/Text.h"

namespace {

static_assert(kCipherKeySize == platform::Aes128::kKeySize);
static_assert(kCipherBlockSize == platform::Aes128::kBlockSize);

constexpr uint8_t kTailByteShift = 0x41;
constexpr size_t kItemKeyChars = 60;  // the item key sees at most this many characters

// Reverses the bytes of every 4-byte group, two groups per step: reversing 8 bytes and
// swapping the halves back is cheaper than two 4-byte swaps. count is a multiple of 8;
// src and dst may be the same buffer.
void ReverseGroupsPortable(const uint8_t* src, uint8_t* dst, size_t count) {
    for (size_t i = 0; i < count; i += 8) {
        uint64_t w;
        std::memcpy(&w, src + i, 8);
        w = std::rotr(__builtin_bswap64(w), 32);  // g++ and clang alike; std::byteswap is C++23
        std::memcpy(dst + i, &w, 8);
    }
}

#if defined(__x86_64__) || defined(__i386__)
// One byte shuffle reverses eight groups at once; the CPU is asked once whether it has it.
__attribute__((target("avx2"))) void ReverseGroupsAvx2(const uint8_t* src, uint8_t* dst,
                                                       size_t count) {
    const __m256i order = _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12,
                                           3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
    size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_shuffle_epi8(v, order));
    }
    ReverseGroupsPortable(src + i, dst + i, count - i);
}

__attribute__((target("ssse3"))) void ReverseGroupsSsse3(const uint8_t* src, uint8_t* dst,
                                                         size_t count) {
    const __m128i order = _mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
    size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_shuffle_epi8(v, order));
    }
    ReverseGroupsPortable(src + i, dst + i, count - i);
}

using ReverseFunction = void (*)(const uint8_t*, uint8_t*, size_t);

ReverseFunction PickReverse() {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return ReverseGroupsAvx2;
    if (__builtin_cpu_supports("ssse3")) return ReverseGroupsSsse3;
    return ReverseGroupsPortable;
}

void ReverseGroups(const uint8_t* src, uint8_t* dst, size_t count) {
    static const ReverseFunction reverse = PickReverse();
    reverse(src, dst, count);
}
#else
void ReverseGroups(const uint8_t* src, uint8_t* dst, size_t count) {
    ReverseGroupsPortable(src, dst, count);
}
#endif

// The AES part of both directions on blockBytes of src into dst: group-reversed, through
// the cipher (none when the key failed), reversed back. One library call for the whole
// buffer: Windows CNG under Wine pays a fixed cost per call that smaller calls multiply.
bool TransformBlocks(platform::Aes128* cipher, const uint8_t* src, uint8_t* dst,
                     size_t blockBytes, bool encrypt) {
    bool ok = cipher != nullptr;
    if (ok) {
        ReverseGroups(src, dst, blockBytes);
        const size_t blocks = blockBytes / kCipherBlockSize;
        ok = encrypt ? cipher->EncryptBlocks(dst, dst, blocks)
                     : cipher->DecryptBlocks(dst, dst, blocks);
    }
    if (!ok) {
        // Never hand back half-transformed bytes (for encryption: the plain text, merely
        // reordered) to a caller that might not look at the result.
        std::memset(dst, 0, blockBytes);
        return false;
    }
    ReverseGroups(dst, dst, blockBytes);
    return true;
}

// The whole buffer: blocks through AES, the tail scrambled with the word key.
int32_t Transform(platform::Aes128* cipher, uint32_t wordKey, const uint8_t* src, uint8_t* dst,
                  size_t count, bool encrypt) {
    const size_t tail = count % kCipherBlockSize;
    const size_t blockBytes = count - tail;
    const bool ok = blockBytes == 0 || TransformBlocks(cipher, src, dst, blockBytes, encrypt);
    if (tail != 0) {
        if (src != dst) std::memmove(dst + blockBytes, src + blockBytes, tail);
        if (encrypt) {
            Scramble(dst + blockBytes, tail, wordKey);
        } else {
            Unscramble(dst + blockBytes, tail, wordKey);
        }
    }
    return ok ? 1 : 0;
}

// Sets cipher's AES key from password; returns the tail's word key through wordKey.
bool ExpandKey(platform::Aes128& cipher, const uint8_t* password, size_t length,
               uint32_t& wordKey) {
    uint8_t key[kCipherKeySize];
    DeriveKey(password, length, key);
    wordKey = LoadLe32(key) + kScrambleConstant;
    ReverseGroupsPortable(key, key, sizeof key);
    const bool ok = cipher.SetKey(key);
    platform::WipeSecret(key, sizeof key);
    return ok;
}

uint32_t WordKey(const uint8_t* password, size_t length) {
    uint8_t key[kCipherKeySize];
    DeriveKey(password, length, key);
    const uint32_t wordKey = LoadLe32(key) + kScrambleConstant;
    platform::WipeSecret(key, sizeof key);
    return wordKey;
}

// Expanded ciphers for the stateless calls, lent to one call at a time. A pool rather than
// one per thread: a thread's own object would be destroyed at thread exit, which the
// statically linked MinGW runtime does badly under Wine; these live as long as the process.
class CipherPool {
public:
    // One cipher made here, so that the library behind it is set up before the pool and
    // so outlives it at process exit.
    CipherPool() { m_free.push_back(std::make_unique<platform::Aes128>()); }

    std::unique_ptr<platform::Aes128> Take() {
        {
            std::lock_guard lock(m_mutex);
            if (!m_free.empty()) {
                std::unique_ptr<platform::Aes128> cipher = std::move(m_free.back());
                m_free.pop_back();
                return cipher;
            }
        }
        return std::make_unique<platform::Aes128>();
    }
    void Give(std::unique_ptr<platform::Aes128> cipher) {
        std::lock_guard lock(m_mutex);
        m_free.push_back(std::move(cipher));
    }

private:
    std::mutex m_mutex;
    std::vector<std::unique_ptr<platform::Aes128>> m_free;
};

CipherPool& Pool() {
    static CipherPool pool;
    return pool;
}

int32_t TransformOnce(const uint8_t* password, size_t length, const uint8_t* src, uint8_t* dst,
                      size_t count, bool encrypt) {
    if (count < kCipherBlockSize) {
        return Transform(nullptr, WordKey(password, length), src, dst, count, encrypt);
    }
    std::unique_ptr<platform::Aes128> cipher = Pool().Take();
    uint32_t wordKey = 0;
    const bool keyed = ExpandKey(*cipher, password, length, wordKey);
    const int32_t ok = Transform(keyed ? cipher.get() : nullptr, wordKey, src, dst, count, encrypt);
    Pool().Give(std::move(cipher));
    return ok;
}

// The password as far as its first zero character: a fixed-size field carries it that way.
std::u16string_view UpToNul(std::u16string_view password) {
    const size_t end = password.find(u'\0');
    return end == std::u16string_view::npos ? password : password.substr(0, end);
}

std::string AnsiKeyBytes(std::u16string_view password) {
    std::string ansi = platform::ToAnsi(UpToNul(password));
    const size_t end = ansi.find('\0');
    if (end != std::string::npos) ansi.resize(end);
    if (ansi.size() > kMaxKeyPasswordBytes) ansi.resize(kMaxKeyPasswordBytes);
    return ansi;
}

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

}  // namespace

void DeriveKey(const uint8_t* password, size_t length, uint8_t key[kCipherKeySize]) {
    std::memset(key, '7', kCipherKeySize);
    for (size_t i = 0; i < length; ++i) {
        key[i % kCipherKeySize] = static_cast<uint8_t>(key[i % kCipherKeySize] + password[i]);
    }
}

int32_t EncryptBuffer(const uint8_t* password, size_t length, const uint8_t* src, uint8_t* dst,
                      size_t count) {
    return TransformOnce(password, length, src, dst, count, true);
}

int32_t DecryptBuffer(const uint8_t* password, size_t length, const uint8_t* src, uint8_t* dst,
                      size_t count) {
    return TransformOnce(password, length, src, dst, count, false);
}

// Words while i + 4 < length, so the last one to four bytes always take the byte step.
int32_t Scramble(uint8_t* buffer, size_t length, uint32_t wordKey) {
    size_t i = 0;
    for (; i + 4 < length; i += 4) {
        StoreLe32(buffer + i, std::rotr(LoadLe32(buffer + i), 3) ^ wordKey);
    }
    for (; i < length; ++i) buffer[i] = static_cast<uint8_t>(buffer[i] + kTailByteShift);
    return 1;
}

int32_t Unscramble(uint8_t* buffer, size_t length, uint32_t wordKey) {
    size_t i = 0;
    for (; i + 4 < length; i += 4) {
        StoreLe32(buffer + i, std::rotl(LoadLe32(buffer + i) ^ wordKey, 3));
    }
    for (; i < length; ++i) buffer[i] = static_cast<uint8_t>(buffer[i] - kTailByteShift);
    return 1;
}

uint32_t HeaderChecksum(const uint8_t* buffer, size_t length) {
    uint8_t sums[4] = {0, 0, 0, 0};
    for (size_t i = 0; i < length; ++i) sums[i % 4] = static_cast<uint8_t>(sums[i % 4] + buffer[i]);
    return LoadLe32(sums);
}

std::string KeyPassword(std::u16string_view password) { return AnsiKeyBytes(password); }

std::string ItemKeyPassword(std::u16string_view password) {
    return AnsiKeyBytes(UpToNul(password).substr(0, kItemKeyChars));
}

int32_t EncryptItem(std::u16string_view password, void* buffer, size_t count) {
    std::string key = ItemKeyPassword(password);
    auto* bytes = static_cast<uint8_t*>(buffer);
    const int32_t ok = EncryptBuffer(Bytes(key), key.size(), bytes, bytes, count);
    platform::WipeSecret(key.data(), key.size());
    return ok;
}

int32_t DecryptItem(std::u16string_view password, void* buffer, size_t count) {
    std::string key = ItemKeyPassword(password);
    auto* bytes = static_cast<uint8_t*>(buffer);
    const int32_t ok = DecryptBuffer(Bytes(key), key.size(), bytes, bytes, count);
    platform::WipeSecret(key.data(), key.size());
    return ok;
}

int32_t BufferCipher::SetKey(const uint8_t* password, size_t length) {
    m_keyed = ExpandKey(m_aes, password, length, m_wordKey);
    return m_keyed ? 1 : 0;
}

int32_t BufferCipher::SetItemKey(std::u16string_view password) {
    std::string key = ItemKeyPassword(password);
    const int32_t ok = SetKey(Bytes(key), key.size());
    platform::WipeSecret(key.data(), key.size());
    return ok;
}

int32_t BufferCipher::Encrypt(const uint8_t* src, uint8_t* dst, size_t count) {
    return Transform(m_keyed ? &m_aes : nullptr, m_wordKey, src, dst, count, true);
}

int32_t BufferCipher::Decrypt(const uint8_t* src, uint8_t* dst, size_t count) {
    return Transform(m_keyed ? &m_aes : nullptr, m_wordKey, src, dst, count, false);
}
