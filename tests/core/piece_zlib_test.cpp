#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <functional>
#include <vector>

#include "TestFiles.h"
#include "core/Adler32.h"
#include "core/PieceCompressor.h"
#include "core/PieceInflater.h"

namespace {

using Bytes = std::vector<uint8_t>;
using testing_support::RandomBytes;

uint32_t ZlibAdler(uint32_t start, const uint8_t* data, size_t size) {
    return static_cast<uint32_t>(adler32(start, data, static_cast<uInt>(size)));
}

// Runs of 0xff make the sums as large as they get; the sizes straddle the block and the
// overflow-safe run lengths; an odd offset makes every load unaligned.
TEST(Adler32, MatchesZlib) {
    const Bytes random = RandomBytes(3 * 5552 + 100, 7);
    const Bytes ones(3 * 5552 + 100, 0xff);
    const size_t sizes[] = {0, 1, 31, 32, 33, 5535, 5536, 5552, 5553, 2 * 5552 + 64, 3 * 5552 + 99};
    const uint32_t starts[] = {1, 0xfff0fff0, 0x12345678 % 65521};
    for (const Bytes* data : {&random, &ones}) {
        for (size_t size : sizes) {
            for (uint32_t start : starts) {
                const uint8_t* at = data->data() + 1;
                EXPECT_EQ(Adler32(start, at, size), ZlibAdler(start, at, size))
                    << "size " << size << " start " << start << " ones " << (data == &ones);
            }
        }
    }
}

Bytes Deflated(const Bytes& plain, int level) {
    uLongf size = compressBound(static_cast<uLong>(plain.size()));
    Bytes out(size);
    EXPECT_EQ(compress2(out.data(), &size, plain.data(), static_cast<uLong>(plain.size()), level),
              Z_OK);
    out.resize(size);
    return out;
}

// What uncompress makes of a stream: the plain bytes, or nothing when it refuses it.
bool Uncompressed(const Bytes& stream, size_t capacity, Bytes& plain) {
    plain.assign(capacity, 0);
    uLongf size = static_cast<uLongf>(capacity);
    if (uncompress(plain.data(), &size, stream.data(), static_cast<uLong>(stream.size())) != Z_OK) {
        return false;
    }
    plain.resize(size);
    return true;
}

struct Verdict {
    bool accepted;
    Bytes plain;
};

Verdict Inflated(PieceInflater& inflater, const Bytes& stream, size_t capacity) {
    Bytes out(capacity + 1);
    uint32_t size = 0;
    const bool ok = inflater.Inflate(stream.data(), static_cast<uint32_t>(stream.size()),
                                     out.data(), static_cast<uint32_t>(capacity), size);
    out.resize(ok ? size : 0);
    return {ok, out};
}

void ExpectSameAsUncompress(PieceInflater& inflater, const Bytes& stream, size_t capacity,
                            const char* what) {
    Bytes expected;
    const bool accepted = Uncompressed(stream, capacity, expected);
    const Verdict got = Inflated(inflater, stream, capacity);
    ASSERT_EQ(got.accepted, accepted) << what;
    if (accepted) {
        EXPECT_EQ(got.plain, expected) << what;
    }
}

Bytes Text(size_t size) {
    Bytes text(size);
    const char* words = "the quick brown fox jumps over the lazy dog ";
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<uint8_t>(words[i * 7 % 44]);
    return text;
}

class PieceInflaterTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(inflater.Start()); }
    PieceInflater inflater;
    const Bytes plain = Text(51200);
    const Bytes stream = Deflated(plain, 4);
};

TEST_F(PieceInflaterTest, AcceptsAndRefusesWhatUncompressDoes) {
    struct Case {
        const char* what;
        std::function<void(Bytes&)> change;
        size_t capacity;
    };
    const auto setHeader = [](uint8_t cmf, uint8_t flg) {
        return [=](Bytes& s) {
            s[0] = cmf;
            s[1] = flg;
        };
    };
    const Case cases[] = {
        {"intact", [](Bytes&) {}, 51200},
        {"bytes after the end", [](Bytes& s) { s.insert(s.end(), {1, 2, 3}); }, 51200},
        {"output larger than capacity", [](Bytes&) {}, 51199},
        {"no trailer", [](Bytes& s) { s.resize(s.size() - 4); }, 51200},
        {"trailer cut short", [](Bytes& s) { s.resize(s.size() - 1); }, 51200},
        {"checksum wrong", [](Bytes& s) { s.back() ^= 1; }, 51200},
        {"header check wrong", [](Bytes& s) { s[1] ^= 1; }, 51200},
        {"header only", [](Bytes& s) { s.resize(2); }, 51200},
        {"one byte", [](Bytes& s) { s.resize(1); }, 51200},
        {"empty", [](Bytes& s) { s.clear(); }, 51200},
        {"not deflate", setHeader(0x79, 0x18), 51200},  // method 9
        {"window too large", setHeader(0x88, 0x1c), 51200},  // 0x881c % 31 == 0
        {"smaller window named", setHeader(0x58, 0x85), 51200},
        {"preset dictionary", setHeader(0x78, 0xbb), 51200},
        {"data damaged", [](Bytes& s) { s[s.size() / 2] ^= 0x5a; }, 51200},
    };
    for (const Case& c : cases) {
        Bytes damaged = stream;
        c.change(damaged);
        ExpectSameAsUncompress(inflater, damaged, c.capacity, c.what);
    }
}

// Every byte of a short stream flipped in turn: the verdict never differs from zlib's own.
TEST_F(PieceInflaterTest, AnyFlippedByteGetsUncompressVerdict) {
    const Bytes small = Deflated(Text(300), 9);
    for (size_t at = 0; at < small.size(); ++at) {
        for (uint8_t mask : {0x01, 0x80, 0xff}) {
            Bytes damaged = small;
            damaged[at] ^= mask;
            ExpectSameAsUncompress(inflater, damaged, 300, "flipped");
        }
    }
}

// The state is reused: a refused stream must not spoil the next piece.
TEST_F(PieceInflaterTest, ARefusedStreamLeavesTheNextIntact) {
    Bytes damaged = stream;
    damaged[damaged.size() / 2] ^= 0x5a;
    EXPECT_FALSE(Inflated(inflater, damaged, 51200).accepted);
    const Verdict next = Inflated(inflater, stream, 51200);
    ASSERT_TRUE(next.accepted);
    EXPECT_EQ(next.plain, plain);
}

// The frame is written here, not by zlib: the bytes must still be compress2's, and a stream
// that does not fit must be refused as deflate refuses it.
TEST(PieceCompressor, WritesWhatCompress2Writes) {
    const Bytes inputs[] = {Bytes{}, Text(1), Text(51200), RandomBytes(51200, 3), Bytes(51200, 0)};
    for (int level : {1, 4, 6, 8, 9}) {
        PieceCompressor compressor;
        ASSERT_TRUE(compressor.Start(level));
        for (const Bytes& input : inputs) {
            const Bytes expected = Deflated(input, level);
            for (size_t capacity : {expected.size() + 100, expected.size(), expected.size() - 1}) {
                Bytes out(capacity);
                uint32_t size = 0;
                const bool ok = compressor.Compress(input.data(), static_cast<uint32_t>(input.size()),
                                                    out.data(), static_cast<uint32_t>(capacity), size);
                ASSERT_EQ(ok, capacity >= expected.size()) << "level " << level;
                if (ok) {
                    out.resize(size);
                    EXPECT_EQ(out, expected) << "level " << level << " size " << input.size();
                }
            }
        }
    }
}

}  // namespace
