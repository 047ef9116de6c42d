// The image cipher: a key summed from the password, AES-128 on every whole 16-byte block
// (each 4-byte group reversed before and after), and a keyed word scrambler for the tail.
// Stateless: every call derives and expands its key once.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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
