#include "core/Cipher.h"

#include <bit>
#include <cstring>

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
void ReverseGroups(const uint8_t* src, uint8_t* dst, size_t count) {
    for (size_t i = 0; i < count; i += 8) {
        uint64_t w;
        std::memcpy(&w, src + i, 8);
        w = std::rotr(__builtin_bswap64(w), 32);  // g++ and clang alike; std::byteswap is C++23
        std::memcpy(dst + i, &w, 8);
    }
}

// One expanded cipher per thread, reused by every call so that no call allocates.
platform::Aes128& ThreadCipher() {
    thread_local platform::Aes128 cipher;
    return cipher;
}

// The AES part of both directions: the block area of src, group-reversed, through the
// cipher, reversed back into dst. Returns the tail's word key through wordKey.
bool TransformBlocks(const uint8_t* password, size_t length, const uint8_t* src, uint8_t* dst,
                     size_t blockBytes, bool encrypt, uint32_t& wordKey) {
    uint8_t key[kCipherKeySize];
    DeriveKey(password, length, key);
    wordKey = LoadLe32(key) + kScrambleConstant;
    if (blockBytes == 0) {
        platform::WipeSecret(key, sizeof key);
        return true;
    }
    ReverseGroups(key, key, sizeof key);
    platform::Aes128& cipher = ThreadCipher();
    bool ok = cipher.SetKey(key);
    platform::WipeSecret(key, sizeof key);
    ReverseGroups(src, dst, blockBytes);
    const size_t blocks = blockBytes / kCipherBlockSize;
    ok = ok && (encrypt ? cipher.EncryptBlocks(dst, dst, blocks)
                        : cipher.DecryptBlocks(dst, dst, blocks));
    if (!ok) {
        // Never hand back half-transformed bytes (for encryption: the plain text, merely
        // reordered) to a caller that might not look at the result.
        std::memset(dst, 0, blockBytes);
        return false;
    }
    ReverseGroups(dst, dst, blockBytes);
    return true;
}

int32_t Transform(const uint8_t* password, size_t length, const uint8_t* src, uint8_t* dst,
                  size_t count, bool encrypt) {
    const size_t tail = count % kCipherBlockSize;
    const size_t blockBytes = count - tail;
    uint32_t wordKey = 0;
    const bool ok = TransformBlocks(password, length, src, dst, blockBytes, encrypt, wordKey);
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
    return Transform(password, length, src, dst, count, true);
}

int32_t DecryptBuffer(const uint8_t* password, size_t length, const uint8_t* src, uint8_t* dst,
                      size_t count) {
    return Transform(password, length, src, dst, count, false);
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
