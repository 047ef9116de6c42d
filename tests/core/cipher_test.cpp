#include "core/Cipher.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "platform/Aes128.h"
#include "platform/Text.h"

namespace {

using Bytes = std::vector<uint8_t>;
using testing_support::RandomBytes;

Bytes Hex(const char* text) {
    Bytes out;
    for (size_t i = 0; text[i] != 0 && text[i + 1] != 0; i += 2) {
        out.push_back(static_cast<uint8_t>(std::stoi(std::string(text + i, 2), nullptr, 16)));
    }
    return out;
}

Bytes Ascii(const char* text) { return Bytes(text, text + std::strlen(text)); }

// --- An independent model of the cipher, written plainly, to produce expected bytes. ---

std::array<uint8_t, 16> RefKey(const Bytes& password) {
    std::array<unsigned, 16> lanes{};
    for (size_t i = 0; i < password.size(); ++i) lanes[i % 16] += password[i];
    std::array<uint8_t, 16> key{};
    for (size_t i = 0; i < 16; ++i) key[i] = static_cast<uint8_t>(0x37 + lanes[i]);
    return key;
}

void RefReverseGroups(uint8_t* p, size_t n) {
    for (size_t i = 0; i + 4 <= n; i += 4) {
        std::swap(p[i], p[i + 3]);
        std::swap(p[i + 1], p[i + 2]);
    }
}

// Byte-wise form of the word scrambler: rotating a little-endian word right by 3 moves
// each byte's low 3 bits into the top of the byte below it.
void RefScramble(uint8_t* p, size_t n, uint32_t k) {
    size_t i = 0;
    while (i + 4 < n) {
        uint8_t b[4];
        for (int j = 0; j < 4; ++j) b[j] = static_cast<uint8_t>((p[i + j] >> 3) | (p[i + (j + 1) % 4] << 5));
        for (int j = 0; j < 4; ++j) p[i + j] = static_cast<uint8_t>(b[j] ^ (k >> (8 * j)));
        i += 4;
    }
    for (; i < n; ++i) p[i] = static_cast<uint8_t>(p[i] + 'A');
}

// One block at a time through the platform AES, which the known-answer test below pins.
Bytes RefEncrypt(const Bytes& password, const Bytes& plain) {
    auto key = RefKey(password);
    const uint32_t k = (key[0] | key[1] << 8 | key[2] << 16 | static_cast<uint32_t>(key[3]) << 24) +
                       0x2B6D51C3u;
    RefReverseGroups(key.data(), 16);
    platform::Aes128 aes;
    EXPECT_TRUE(aes.SetKey(key.data()));
    Bytes out = plain;
    size_t b = 0;
    for (; b + 16 <= out.size(); b += 16) {
        uint8_t block[16];
        std::memcpy(block, &out[b], 16);
        RefReverseGroups(block, 16);
        EXPECT_TRUE(aes.EncryptBlocks(block, block, 1));
        RefReverseGroups(block, 16);
        std::memcpy(&out[b], block, 16);
    }
    RefScramble(out.data() + b, out.size() - b, k);
    return out;
}

Bytes Encrypt(const Bytes& password, const Bytes& plain) {
    Bytes out(plain.size());
    EXPECT_EQ(1, EncryptBuffer(password.data(), password.size(), plain.data(), out.data(), out.size()));
    return out;
}

// --- Known answers ---

const Bytes kFipsKey = Hex("000102030405060708090a0b0c0d0e0f");
const Bytes kFipsPlain = Hex("00112233445566778899aabbccddeeff");
const Bytes kFipsCipher = Hex("69c4e0d86a7b0430d8cdb78070b4c55a");

TEST(Aes128, Fips197ExampleBothDirections) {
    platform::Aes128 aes;
    ASSERT_TRUE(aes.SetKey(kFipsKey.data()));
    uint8_t block[16];
    ASSERT_TRUE(aes.EncryptBlocks(kFipsPlain.data(), block, 1));
    EXPECT_EQ(kFipsCipher, Bytes(block, block + 16));
    ASSERT_TRUE(aes.DecryptBlocks(block, block, 1));  // in place
    EXPECT_EQ(kFipsPlain, Bytes(block, block + 16));
}

TEST(Aes128, ManyBlocksInOneCallMatchSingleBlocks) {
    platform::Aes128 aes;
    ASSERT_TRUE(aes.SetKey(kFipsKey.data()));
    const Bytes plain = RandomBytes(16 * 50, 7);
    Bytes whole(plain.size());
    ASSERT_TRUE(aes.EncryptBlocks(plain.data(), whole.data(), 50));
    for (size_t b = 0; b < 50; ++b) {
        uint8_t one[16];
        ASSERT_TRUE(aes.EncryptBlocks(&plain[16 * b], one, 1));
        ASSERT_EQ(0, std::memcmp(one, &whole[16 * b], 16)) << "block " << b;
    }
    ASSERT_TRUE(aes.DecryptBlocks(whole.data(), whole.data(), 50));
    EXPECT_EQ(plain, whole);
}

// A password whose summed key, group-reversed, is the example key: EncryptBuffer must then
// turn the group-reversed example plaintext into the group-reversed example ciphertext.
TEST(Cipher, Fips197ExampleThroughGroupReversal) {
    Bytes password(16);
    for (size_t i = 0; i < 16; ++i) {
        const uint8_t keyByte = kFipsKey[(i & ~size_t{3}) + 3 - (i & 3)];
        password[i] = static_cast<uint8_t>(keyByte - '7');
    }
    Bytes plain = kFipsPlain;
    RefReverseGroups(plain.data(), 16);
    Bytes expected = kFipsCipher;
    RefReverseGroups(expected.data(), 16);
    EXPECT_EQ(expected, Encrypt(password, plain));

    Bytes back(16);
    DecryptBuffer(password.data(), password.size(), expected.data(), back.data(), 16);
    EXPECT_EQ(plain, back);
}

TEST(Cipher, DeriveKeySumsLanesAndWraps) {
    struct Case {
        const char* password;
        size_t keyIndex;
        uint8_t expected;
    } cases[] = {
        {"", 0, '7'},
        {"", 15, '7'},
        {"A", 0, 0x37 + 0x41},
        {"A", 1, '7'},
        {"ABCDEFGHIJKLMNOPQ", 0, 0x37 + 0x41 + 0x51},  // bytes 0 and 16 both land in lane 0
        {"ABCDEFGHIJKLMNOPQ", 1, 0x37 + 0x42},
        {"ABCDEFGHIJKLMNOPQ", 15, 0x37 + 0x50},
        {"\xff\xff", 0, static_cast<uint8_t>(0x37 + 0xff)},  // modulo 256
    };
    for (const auto& c : cases) {
        const Bytes p = Ascii(c.password);
        uint8_t key[kCipherKeySize];
        DeriveKey(p.data(), p.size(), key);
        EXPECT_EQ(c.expected, key[c.keyIndex]) << '"' << c.password << "\" lane " << c.keyIndex;
    }
}

TEST(Cipher, SeventeenBytePasswordDiffersFromItsFirstSixteen) {
    const Bytes p17 = Ascii("ABCDEFGHIJKLMNOPQ");
    const Bytes p16(p17.begin(), p17.begin() + 16);
    const Bytes plain = RandomBytes(37, 3);
    EXPECT_EQ(RefEncrypt(p17, plain), Encrypt(p17, plain));
    EXPECT_NE(Encrypt(p16, plain), Encrypt(p17, plain));
}

// Counts around the block size and the scrambler's i + 4 < len boundary, against the model.
TEST(Cipher, EncryptMatchesModelForBoundaryCounts) {
    const Bytes password = Ascii("secret");
    for (size_t count : {0, 1, 4, 5, 8, 9, 15, 16, 17, 20, 21, 31, 32, 47, 48, 100}) {
        const Bytes plain = RandomBytes(count, static_cast<uint32_t>(count));
        EXPECT_EQ(RefEncrypt(password, plain), Encrypt(password, plain)) << "count " << count;
    }
}

TEST(Cipher, TailBytesOfShortBuffers) {
    const Bytes password = Ascii("pw");
    const Bytes plain = Ascii("ABCDEFGH");
    // count 5: bytes 0-3 one word, byte 4 shifted; count 8: one word, bytes 4-7 shifted.
    const Bytes five = Encrypt(password, Bytes(plain.begin(), plain.begin() + 5));
    EXPECT_EQ('E' + 0x41, five[4]);
    EXPECT_NE(0, std::memcmp(five.data(), plain.data(), 4));
    const Bytes eight = Encrypt(password, plain);
    for (size_t i = 4; i < 8; ++i) EXPECT_EQ(plain[i] + 0x41, eight[i]) << i;
    EXPECT_EQ(0, std::memcmp(five.data(), eight.data(), 4));
    // count 4: no word at all.
    const Bytes four = Encrypt(password, Bytes(plain.begin(), plain.begin() + 4));
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(plain[i] + 0x41, four[i]) << i;
}

TEST(Cipher, CountZeroChangesNothing) {
    uint8_t buffer[4] = {1, 2, 3, 4};
    EXPECT_EQ(1, EncryptBuffer(reinterpret_cast<const uint8_t*>("x"), 1, buffer, buffer, 0));
    EXPECT_EQ(1, DecryptBuffer(reinterpret_cast<const uint8_t*>("x"), 1, buffer, buffer, 0));
    EXPECT_EQ((Bytes{1, 2, 3, 4}), Bytes(buffer, buffer + 4));
}

TEST(Cipher, CountThirtyOneIsOneBlockAndFifteenByteTail) {
    const Bytes password = Ascii("pw");
    const Bytes plain = RandomBytes(31, 31);
    const Bytes out = Encrypt(password, plain);
    const Bytes first16 = Encrypt(password, Bytes(plain.begin(), plain.begin() + 16));
    EXPECT_EQ(0, std::memcmp(out.data(), first16.data(), 16));
    for (size_t i = 28; i < 31; ++i) EXPECT_EQ(static_cast<uint8_t>(plain[i] + 0x41), out[i]) << i;
}

TEST(Cipher, EqualBlocksGiveEqualCiphertext) {
    const Bytes password = Ascii("same");
    Bytes plain = RandomBytes(48, 5);
    std::memcpy(&plain[32], &plain[0], 16);
    const Bytes out = Encrypt(password, plain);
    EXPECT_EQ(0, std::memcmp(&out[0], &out[32], 16));
    EXPECT_NE(0, std::memcmp(&out[0], &out[16], 16));
}

TEST(Cipher, DecryptInvertsEncryptForEveryCount) {
    const Bytes password = Ascii("round trip");
    for (size_t count = 0; count <= 100; ++count) {
        const Bytes plain = RandomBytes(count, static_cast<uint32_t>(1000 + count));
        Bytes buffer = Encrypt(password, plain);
        DecryptBuffer(password.data(), password.size(), buffer.data(), buffer.data(), count);
        ASSERT_EQ(plain, buffer) << "count " << count;
    }
}

TEST(Cipher, LargeBufferInPlaceAndOutOfPlace) {
    const Bytes password = Ascii("a longer password of some forty-odd bytes..");
    const Bytes plain = RandomBytes(3 * 1024 * 1024 + 13, 99);
    Bytes inPlace = plain;
    EncryptBuffer(password.data(), password.size(), inPlace.data(), inPlace.data(), inPlace.size());
    const Bytes outOfPlace = Encrypt(password, plain);
    EXPECT_EQ(outOfPlace, inPlace);
    const Bytes head(plain.begin(), plain.begin() + 4096);
    EXPECT_EQ(RefEncrypt(password, head), Bytes(outOfPlace.begin(), outOfPlace.begin() + 4096));
    Bytes back(plain.size());
    DecryptBuffer(password.data(), password.size(), outOfPlace.data(), back.data(), back.size());
    EXPECT_EQ(plain, back);
}

// Literal bytes, computed once outside this code base (openssl enc plus a few lines of
// script): every backend must produce exactly these.
TEST(Cipher, FixedVectorIsIdenticalOnEveryBackend) {
    const Bytes password = Ascii("Cryptelle-2026");
    Bytes plain(45);
    for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i * 7 + 1);
    const Bytes expected = Hex(
        "EBDC6760B1031CEDB5F43AB0893628B19E97EF539FA5613BC4A14E60B9F6AD74"
        "2106C0EDA29B5C713E1FD9F676");
    EXPECT_EQ(expected, Encrypt(password, plain));
}

// A failing AES library fails every form of the cipher, whether the key or the blocks
// fail, and the block area is zeroed rather than left as reordered plain text. A buffer
// shorter than a block never reaches the library.
TEST(Cipher, LibraryFailuresAreReported) {
    const Bytes password = Ascii("pw");
    const Bytes plain = RandomBytes(37, 21);
    const struct {
        const char* label;
        std::function<int32_t(uint8_t*, size_t)> run;
    } forms[] = {
        {"EncryptBuffer",
         [&](uint8_t* b, size_t n) { return EncryptBuffer(password.data(), password.size(), b, b, n); }},
        {"DecryptBuffer",
         [&](uint8_t* b, size_t n) { return DecryptBuffer(password.data(), password.size(), b, b, n); }},
        {"EncryptItem", [](uint8_t* b, size_t n) { return EncryptItem(u"pw", b, n); }},
        {"DecryptItem", [](uint8_t* b, size_t n) { return DecryptItem(u"pw", b, n); }},
    };
    for (const auto& form : forms) {
        for (const int64_t failAt : {0, 1}) {
            SCOPED_TRACE(std::string(form.label) + (failAt == 0 ? ", key" : ", blocks"));
            Bytes buffer = plain;
            platform::Aes128::SetFaultForTests(failAt);
            const int32_t result = form.run(buffer.data(), buffer.size());
            platform::Aes128::SetFaultForTests(-1);
            EXPECT_EQ(result, 0);
            EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 32), Bytes(32, 0));
            buffer = plain;
            EXPECT_EQ(form.run(buffer.data(), buffer.size()), 1) << "works again";
        }
        Bytes tail = Bytes(plain.begin(), plain.begin() + 15);
        platform::Aes128::SetFaultForTests(0);
        EXPECT_EQ(form.run(tail.data(), tail.size()), 1);
        EXPECT_EQ(platform::Aes128::OperationsForTests(), 0);
        platform::Aes128::SetFaultForTests(-1);
    }
}

TEST(Scramble, MatchesModelAndUnscrambleInverts) {
    for (size_t length = 0; length <= 13; ++length) {
        const Bytes plain = RandomBytes(length, static_cast<uint32_t>(length + 50));
        Bytes expected = plain;
        RefScramble(expected.data(), length, 0xDEADBEEF);
        Bytes buffer = plain;
        EXPECT_EQ(1, Scramble(buffer.data(), length, 0xDEADBEEF));
        EXPECT_EQ(expected, buffer) << "length " << length;
        EXPECT_EQ(1, Unscramble(buffer.data(), length, 0xDEADBEEF));
        EXPECT_EQ(plain, buffer) << "length " << length;
    }
}

TEST(Scramble, WordIsRotatedRightThenKeyed) {
    uint8_t buffer[5] = {0x08, 0x00, 0x00, 0x00, 0xFF};  // word 8 -> 1 after rotating by 3
    Scramble(buffer, 5, 0x2B6D51C3);
    EXPECT_EQ((Bytes{0xC2, 0x51, 0x6D, 0x2B, 0x40}), Bytes(buffer, buffer + 5));
}

TEST(HeaderChecksum, SumsFourByteLanes) {
    const Bytes abc = Ascii("abc");
    EXPECT_EQ(0x00636261u, HeaderChecksum(abc.data(), abc.size()));
    EXPECT_EQ(0u, HeaderChecksum(nullptr, 0));
    const Bytes wrap = {0xFF, 0, 0, 0, 0x02, 0, 0, 0x80, 0, 0, 0, 0x80};
    EXPECT_EQ(0x00000001u, HeaderChecksum(wrap.data(), wrap.size()));
}

TEST(KeyPassword, AnsiFormCutToSixtyBytes) {
    const std::u16string ascii = u"password";
    EXPECT_EQ("password", KeyPassword(ascii));
    EXPECT_EQ("password", ItemKeyPassword(ascii));

    // 60 double-byte characters: 120 ANSI bytes, of which the first 60 make the key.
    const std::u16string wide(60, u'\u3042');
    const std::string ansi = platform::ToAnsi(wide);
    ASSERT_EQ(120u, ansi.size()) << "the test expects a double-byte code page (932)";
    EXPECT_EQ(ansi.substr(0, 60), KeyPassword(wide));
    EXPECT_EQ(ansi.substr(0, 60), ItemKeyPassword(wide));

    const std::u16string long61(61, u'x');
    EXPECT_EQ(std::string(60, 'x'), KeyPassword(long61));
    EXPECT_EQ(std::string(60, 'x'), ItemKeyPassword(long61));

    // A password field ends at its first zero character.
    const std::u16string withNul(u"ab\0cd", 5);
    EXPECT_EQ("ab", KeyPassword(withNul));
    EXPECT_EQ("ab", ItemKeyPassword(withNul));
}

TEST(ItemCipher, UsesTheItemKeyAndRoundTrips) {
    const std::u16string password = u"item";
    const Bytes plain = RandomBytes(77, 11);
    Bytes buffer = plain;
    EncryptItem(password, buffer.data(), buffer.size());
    EXPECT_EQ(RefEncrypt(Ascii("item"), plain), buffer);
    DecryptItem(password, buffer.data(), buffer.size());
    EXPECT_EQ(plain, buffer);
}

}  // namespace
