// The image cipher: a key summed from the password, AES-128 on every whole 16-byte block
// (each 4-byte group reversed before and after), and a keyed word scrambler for the tail.
// The buffer functions are stateless: every call derives and expands its key once.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Aes128.h"

constexpr size_t kCipherKeySize = 16;
constexpr size_t kCipherBlockSize = 16;
constexpr size_t kMaxKeyPasswordBytes = 60;
constexpr uint32_t kScrambleConstant = 0x2B6D51C3;

void DeriveKey(const uint8_t* password, size_t length, uint8_t key[kCipherKeySize]);
// src and dst may be the same buffer. 0 when the AES library fails; the block part of dst
// is then zeroed, never left as reordered plain text.
int32_t EncryptBuffer(const uint8_t* password, size_t length, const uint8_t* src, uint8_t* dst,
                      size_t count);
int32_t DecryptBuffer(const uint8_t* password, size_t length, const uint8_t* src, uint8_t* dst,
                      size_t count);
int32_t Scramble(uint8_t* buffer, size_t length, uint32_t wordKey);
int32_t Unscramble(uint8_t* buffer, size_t length, uint32_t wordKey);
uint32_t HeaderChecksum(const uint8_t* buffer, size_t length);

// The bytes a key is derived from: the ANSI form of the password, cut to its first 60
// bytes (a 60-character password of double-byte characters would otherwise have no key).
std::string KeyPassword(std::u16string_view password);
// The item key's password: the ANSI form of at most the first 60 characters.
std::string ItemKeyPassword(std::u16string_view password);

// Convenience forms on a UTF-16 password (item key); 0 as for EncryptBuffer.
int32_t EncryptItem(std::u16string_view password, void* buffer, size_t count);
int32_t DecryptItem(std::u16string_view password, void* buffer, size_t count);

// The same cipher with its key expanded once, for the many buffers of one job that share a
// password. One per thread: a job's thread and each of its workers own one.
class BufferCipher {
public:
    BufferCipher() = default;
    BufferCipher(const BufferCipher&) = delete;
    BufferCipher& operator=(const BufferCipher&) = delete;

    // 0 when the AES library refuses the key; every buffer with a whole block then fails
    // as EncryptBuffer would.
    int32_t SetKey(const uint8_t* password, size_t length);
    // The item key of a UTF-16 password, as EncryptItem derives it.
    int32_t SetItemKey(std::u16string_view password);
    // As EncryptBuffer and DecryptBuffer with the key set last.
    int32_t Encrypt(const uint8_t* src, uint8_t* dst, size_t count);
    int32_t Decrypt(const uint8_t* src, uint8_t* dst, size_t count);

private:
    platform::Aes128 m_aes;
    uint32_t m_wordKey = 0;
    bool m_keyed = false;
};
