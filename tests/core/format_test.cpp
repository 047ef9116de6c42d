#include "core/ImageFormat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "core/Cipher.h"
#include "platform/File.h"

namespace {

using Bytes = std::vector<uint8_t>;
using testing_support::RandomBytes;
using testing_support::ReadAll;
using testing_support::ScratchDir;
using testing_support::WriteAll;

void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutLe64(uint8_t* p, uint64_t v) {
    PutLe32(p, static_cast<uint32_t>(v));
    PutLe32(p + 4, static_cast<uint32_t>(v >> 32));
}
uint32_t GetLe32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

void PutUtf16(uint8_t* p, std::u16string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        p[2 * i] = static_cast<uint8_t>(text[i]);
        p[2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
    }
}

ImageOptions SampleOptions() {
    ImageOptions o{};
    o.optionsEnabled = 1;
    o.decryptLimitEnabled = 1;
    o.decryptCount = 2;
    o.decryptLimit = 5;
    o.expiryEnabled = 1;
    o.issuedTime = 1700000000;
    o.expiryTime = 1731536000;
    o.errorLimitEnabled = 1;
    o.maxErrorCount = 3;
    o.errorCount = 1;
    return o;
}

Bytes OptionBytes(const ImageOptions& o) {
    const auto* p = reinterpret_cast<const uint8_t*>(&o);
    return Bytes(p, p + sizeof o);
}

// The documented verifier: the password's UTF-16 units (at most 60) under the item key.
Bytes ExpectedVerifier(std::u16string_view password) {
    Bytes v(kVerifierSize, 0);
    const size_t chars = std::min<size_t>(password.size(), 60);
    PutUtf16(v.data(), password.substr(0, chars));
    const std::string key = ItemKeyPassword(password);
    EncryptBuffer(reinterpret_cast<const uint8_t*>(key.data()), key.size(), v.data(), v.data(),
                  2 * chars);
    return v;
}

void EncryptWithHeaderKey(std::u16string_view password, uint8_t* p, size_t n) {
    const std::string key = KeyPassword(password);
    EncryptBuffer(reinterpret_cast<const uint8_t*>(key.data()), key.size(), p, p, n);
}

// Version 512: the 768 layout with plain options, checksummed in plain, then the whole
// header encrypted with the header key. The writer never makes one, so it is built here.
Bytes Build512(std::u16string_view password, uint64_t tableOffset, uint32_t level,
               const ImageOptions& options) {
    Bytes h(kHeaderSize, 0);
    PutLe32(&h[0], 512);
    PutLe32(&h[4], 320);
    PutUtf16(&h[8], kImageMagic);
    const Bytes verifier = ExpectedVerifier(password);
    std::memcpy(&h[72], verifier.data(), verifier.size());
    PutLe64(&h[192], tableOffset);
    PutLe32(&h[200], level);
    std::memcpy(&h[204], &options, sizeof options);
    PutLe32(&h[316], HeaderChecksum(h.data(), h.size()));
    EncryptWithHeaderKey(password, h.data(), h.size());
    return h;
}

// Version 100: plain, magic at 0, verifier at 64, table offset at 184.
Bytes Build100(std::u16string_view password, uint64_t tableOffset) {
    Bytes h(kHeaderSize, 0);
    PutUtf16(&h[0], kImageMagic);
    const Bytes verifier = ExpectedVerifier(password);
    std::memcpy(&h[64], verifier.data(), verifier.size());
    PutLe64(&h[184], tableOffset);
    return h;
}

class ImageFormatTest : public ::testing::Test {
protected:
    // A file with the given bytes, opened for reading and writing.
    platform::File OpenWith(const Bytes& bytes, const std::string& name = "image.chy") {
        WriteAll(m_dir / name, bytes);
        platform::File file;
        EXPECT_TRUE(file.Open(m_dir.Win(name), platform::Access::ReadWrite, platform::Share::None,
                              platform::Disposition::OpenExisting));
        return file;
    }
    Bytes Contents(const std::string& name = "image.chy") { return ReadAll(m_dir / name); }

    // A finished-looking 768 image: header, table offset set, some body bytes behind it.
    Bytes MakeImage(std::u16string_view password, const ImageOptions& options) {
        platform::File file = OpenWith({});
        EXPECT_EQ(1, WriteNewImageHeader(file, password, 1, options));
        const Bytes body = RandomBytes(1000, 17);
        EXPECT_TRUE(file.Write(body.data(), static_cast<uint32_t>(body.size())));
        EXPECT_EQ(1, SetImageTableOffset(file, password, 1320));
        EXPECT_TRUE(file.Close());
        return Contents();
    }

    ScratchDir m_dir;
};

TEST_F(ImageFormatTest, NewHeaderLayout) {
    const std::u16string password = u"header password";
    const ImageOptions options = SampleOptions();
    platform::File file = OpenWith({});
    ASSERT_EQ(1, WriteNewImageHeader(file, password, 2, options));
    ASSERT_TRUE(file.Close());
    Bytes raw = Contents();
    ASSERT_EQ(kHeaderSize, raw.size());

    EXPECT_EQ((Bytes{0x00, 0x03, 0x00, 0x00, 0x40, 0x01, 0x00, 0x00}), Bytes(&raw[0], &raw[8]));
    EXPECT_EQ((Bytes{0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0}), Bytes(&raw[192], &raw[204]));
    Bytes scrambled = OptionBytes(options);
    Scramble(scrambled.data(), scrambled.size(), kScrambleConstant);
    EXPECT_EQ(scrambled, Bytes(&raw[204], &raw[240]));
    EXPECT_EQ(Bytes(76, 0), Bytes(&raw[240], &raw[316]));

    const uint32_t stored = GetLe32(&raw[316]);
    PutLe32(&raw[316], 0);
    EXPECT_EQ(HeaderChecksum(raw.data(), raw.size()), stored);

    // Bytes 8..191 are one buffer under the header key.
    Bytes expected8(184, 0);
    PutUtf16(expected8.data(), kImageMagic);
    const Bytes verifier = ExpectedVerifier(password);
    std::memcpy(&expected8[64], verifier.data(), verifier.size());
    EncryptWithHeaderKey(password, expected8.data(), expected8.size());
    EXPECT_EQ(expected8, Bytes(&raw[8], &raw[192]));
}

TEST_F(ImageFormatTest, ReadBackDecodesEveryField) {
    const std::u16string password = u"パスワード";  // double-byte in the ANSI form
    const ImageOptions options = SampleOptions();
    MakeImage(password, options);
    platform::File file = OpenWith(Contents());
    std::vector<uint8_t> header(kHeaderSize);
    ASSERT_EQ(768, ReadImageHeader(file, password, header.data()));
    Bytes magic(62, 0);
    PutUtf16(magic.data(), kImageMagic);
    EXPECT_EQ(magic, Bytes(&header[8], &header[70]));
    EXPECT_EQ(1320u, HeaderTableOffset(header.data(), 768));
    EXPECT_EQ(1u, HeaderCompressLevel(header.data()));
    EXPECT_EQ(OptionBytes(options), OptionBytes(HeaderOptions(header.data())));
    EXPECT_EQ(1, VerifyPassword(HeaderVerifier(header.data(), 768), password));
    EXPECT_EQ(0, VerifyPassword(HeaderVerifier(header.data(), 768), u"パスワート"));
    EXPECT_EQ(0, VerifyPassword(HeaderVerifier(header.data(), 768), u""));
}

TEST_F(ImageFormatTest, VerifierUsesTwoBytesPerCharacterUpToSixty) {
    struct Case {
        std::u16string password;
        size_t usedBytes;
    } cases[] = {
        {u"a", 2},
        {std::u16string(59, u'p'), 118},
        {std::u16string(60, u'p'), 120},
        {std::u16string(61, u'p'), 120},  // only the first 60 characters count
    };
    for (const auto& c : cases) {
        uint8_t verifier[kVerifierSize];
        BuildVerifier(c.password, verifier);
        const Bytes got(verifier, verifier + kVerifierSize);
        EXPECT_EQ(ExpectedVerifier(c.password), got) << c.password.size() << " characters";
        EXPECT_EQ(Bytes(kVerifierSize - c.usedBytes, 0), Bytes(got.begin() + c.usedBytes, got.end()))
            << c.password.size() << " characters";
        EXPECT_EQ(1, VerifyPassword(verifier, c.password));
    }
    // One character is a two-byte tail: both bytes are only shifted by 0x41.
    uint8_t one[kVerifierSize];
    BuildVerifier(u"a", one);
    EXPECT_EQ(0xA2, one[0]);
    EXPECT_EQ(0x41, one[1]);

    uint8_t sixty[kVerifierSize];
    BuildVerifier(std::u16string(60, u'p'), sixty);
    EXPECT_EQ(1, VerifyPassword(sixty, std::u16string(61, u'p')));
    EXPECT_EQ(0, VerifyPassword(sixty, std::u16string(59, u'p')));
}

// Only the options and the checksum may change, whether the password is right or not.
TEST_F(ImageFormatTest, LimitsOnlyUpdateTouchesOptionsAndChecksum) {
    const std::u16string password = u"right";
    for (const std::u16string& used : {std::u16string(u"right"), std::u16string(u"wrong")}) {
        const Bytes before = MakeImage(password, SampleOptions());
        ImageOptions changed = SampleOptions();
        changed.decryptCount = 3;
        changed.errorCount = 2;

        platform::File file = OpenWith(before);
        ASSERT_EQ(1, UpdateImageOptions(file, used, changed));
        ASSERT_TRUE(file.Close());
        const Bytes after = Contents();
        ASSERT_EQ(before.size(), after.size());
        bool optionsChanged = false;
        for (size_t i = 0; i < before.size(); ++i) {
            if (before[i] == after[i]) continue;
            const bool allowed = (i >= 204 && i < 240) || (i >= 316 && i < 320);
            EXPECT_TRUE(allowed) << "byte " << i << " changed using password " << used.size();
            optionsChanged = optionsChanged || (i >= 204 && i < 240);
        }
        EXPECT_TRUE(optionsChanged);

        platform::File reread = OpenWith(after);
        std::vector<uint8_t> header(kHeaderSize);
        ASSERT_EQ(768, ReadImageHeader(reread, password, header.data()));
        EXPECT_EQ(OptionBytes(changed), OptionBytes(HeaderOptions(header.data())));
        EXPECT_EQ(1, VerifyPassword(HeaderVerifier(header.data(), 768), password));
        Bytes raw = after;
        PutLe32(&raw[316], 0);
        EXPECT_EQ(HeaderChecksum(raw.data(), kHeaderSize), GetLe32(&after[316]));
    }
}

TEST_F(ImageFormatTest, SetTableOffsetKeepsTheRestAndTheFilePosition) {
    const std::u16string password = u"pw";
    platform::File file = OpenWith({});
    ASSERT_EQ(1, WriteNewImageHeader(file, password, 0, SampleOptions()));
    const Bytes body(500, 0x5A);
    ASSERT_TRUE(file.Write(body.data(), static_cast<uint32_t>(body.size())));
    ASSERT_EQ(1, SetImageTableOffset(file, password, 0x1122334455667788ull));
    uint64_t position = 0;
    ASSERT_TRUE(file.Tell(position));
    EXPECT_EQ(820u, position);

    std::vector<uint8_t> header(kHeaderSize);
    ASSERT_EQ(768, ReadImageHeader(file, password, header.data()));
    EXPECT_EQ(0x1122334455667788ull, HeaderTableOffset(header.data(), 768));
    EXPECT_EQ(OptionBytes(SampleOptions()), OptionBytes(HeaderOptions(header.data())));
    EXPECT_EQ(1, VerifyPassword(HeaderVerifier(header.data(), 768), password));
    ASSERT_TRUE(file.Close());
    const Bytes contents = Contents();
    ASSERT_EQ(820u, contents.size());
    EXPECT_EQ(body, Bytes(contents.begin() + 320, contents.end()));
}

TEST_F(ImageFormatTest, SetTableOffsetRefusesAHeaderThatIsNot768) {
    const Bytes old = Build512(u"pw", 0, 1, SampleOptions());
    platform::File file = OpenWith(old);
    EXPECT_EQ(0, SetImageTableOffset(file, u"pw", 999));
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(old, Contents());
}

struct VersionCase {
    const char* name;
    std::function<Bytes()> bytes;
    std::u16string password;
    int32_t expected;
};

TEST_F(ImageFormatTest, VersionDetection) {
    const std::u16string pw = u"detect";
    const ImageOptions options = SampleOptions();
    auto header768 = [&] { return MakeImage(pw, options); };
    auto withTail = [](Bytes head, size_t garbage) {
        const Bytes more = RandomBytes(garbage, 5);
        head.insert(head.end(), more.begin(), more.end());
        return head;
    };
    const VersionCase cases[] = {
        {"768 written here", header768, pw, 768},
        {"768 with a wrong password", header768, u"other", 768},
        {"512", [&] { return Build512(pw, 4096, 2, options); }, pw, 512},
        {"512 with a wrong password", [&] { return Build512(pw, 4096, 2, options); }, u"other", 0},
        {"100", [&] { return withTail(Build100(pw, 777), 100); }, pw, 100},
        {"100 with any password", [&] { return Build100(pw, 777); }, u"other", 100},
        {"magic without its terminator", [&] {
             Bytes h = Build100(pw, 777);
             h[34] = 'X';
             return h;
         }, pw, 0},
        {"empty file", [] { return Bytes{}; }, pw, 0},
        {"100 bytes", [] { return RandomBytes(100, 1); }, pw, 0},
        {"768 header cut to 319 bytes", [&] {
             Bytes h = MakeImage(pw, options);
             h.resize(319);
             return h;
         }, pw, 0},
        {"100 header cut to 319 bytes", [&] {
             Bytes h = Build100(pw, 1);
             h.resize(319);
             return h;
         }, pw, 0},
        {"random 320 bytes", [] { return RandomBytes(320, 2); }, pw, 0},
        {"random 4096 bytes", [] { return RandomBytes(4096, 3); }, pw, 0},
        {"768 and 320, garbage behind", [] {
             Bytes h = RandomBytes(320, 4);
             PutLe32(&h[0], 768);
             PutLe32(&h[4], 320);
             return h;
         }, pw, 768},
        {"768 with another header size", [] {
             Bytes h = RandomBytes(320, 4);
             PutLe32(&h[0], 768);
             PutLe32(&h[4], 321);
             return h;
         }, pw, 0},
        {"512 field, garbage behind", [] {
             Bytes h = RandomBytes(320, 6);
             PutLe32(&h[0], 512);
             PutLe32(&h[4], 320);
             return h;
         }, pw, 0},
        {"whole-encrypted header naming 768", [&] {
             Bytes h = Build512(pw, 0, 0, options);
             const std::string key = KeyPassword(pw);
             DecryptBuffer(reinterpret_cast<const uint8_t*>(key.data()), key.size(), h.data(),
                           h.data(), h.size());
             PutLe32(&h[0], 768);
             EncryptWithHeaderKey(pw, h.data(), h.size());
             return h;
         }, pw, 0},
    };
    for (const auto& c : cases) {
        platform::File file = OpenWith(c.bytes(), "case.bin");
        // Exactly 320 bytes on the heap, so a sanitizer sees any access beyond them.
        std::vector<uint8_t> header(kHeaderSize);
        EXPECT_EQ(c.expected, ReadImageHeader(file, c.password, header.data())) << c.name;
    }
}

TEST_F(ImageFormatTest, Version512DecodesPlainLayout) {
    const ImageOptions options = SampleOptions();
    platform::File file = OpenWith(Build512(u"old", 4096, 2, options));
    std::vector<uint8_t> header(kHeaderSize);
    ASSERT_EQ(512, ReadImageHeader(file, u"old", header.data()));
    EXPECT_EQ(4096u, HeaderTableOffset(header.data(), 512));
    EXPECT_EQ(2u, HeaderCompressLevel(header.data()));
    EXPECT_EQ(OptionBytes(options), OptionBytes(HeaderOptions(header.data())));
    EXPECT_EQ(1, VerifyPassword(HeaderVerifier(header.data(), 512), u"old"));
}

TEST_F(ImageFormatTest, Version512UpdateRewritesTheWholeEncryptedHeader) {
    platform::File file = OpenWith(Build512(u"old", 4096, 2, SampleOptions()));
    ImageOptions changed = SampleOptions();
    changed.decryptCount = 4;
    ASSERT_EQ(1, UpdateImageOptions(file, u"old", changed));
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(Build512(u"old", 4096, 2, changed), Contents());

    // Without the password a 512 header cannot be found, so nothing is written.
    const Bytes before = Contents();
    platform::File again = OpenWith(before);
    EXPECT_EQ(0, UpdateImageOptions(again, u"wrong", changed));
    ASSERT_TRUE(again.Close());
    EXPECT_EQ(before, Contents());
}

TEST_F(ImageFormatTest, Version100ReadsPlainFieldsAndIsNeverRewritten) {
    Bytes image = Build100(u"ancient", 0xABCDEF);
    PutLe32(&image[200], 1);
    platform::File file = OpenWith(image);
    std::vector<uint8_t> header(kHeaderSize);
    ASSERT_EQ(100, ReadImageHeader(file, u"ancient", header.data()));
    EXPECT_EQ(0xABCDEFu, HeaderTableOffset(header.data(), 100));
    EXPECT_EQ(1u, HeaderCompressLevel(header.data()));
    EXPECT_EQ(0, HeaderOptions(header.data()).optionsEnabled);
    EXPECT_EQ(1, VerifyPassword(HeaderVerifier(header.data(), 100), u"ancient"));

    EXPECT_EQ(1, UpdateImageOptions(file, u"ancient", SampleOptions()));
    std::vector<uint8_t> decoded(kHeaderSize, 0);
    PutLe32(decoded.data(), 100);
    EXPECT_EQ(0, WriteImageHeader(file, u"ancient", decoded.data(), false));
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(image, Contents());
}

TEST_F(ImageFormatTest, FailuresLeaveTheFileAlone) {
    struct Case {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"empty", {}},
        {"short", RandomBytes(200, 8)},
        {"foreign", RandomBytes(600, 9)},
    };
    for (const auto& c : cases) {
        platform::File file = OpenWith(c.bytes, "bad.bin");
        EXPECT_EQ(0, UpdateImageOptions(file, u"pw", SampleOptions())) << c.name;
        EXPECT_EQ(0, SetImageTableOffset(file, u"pw", 1)) << c.name;
        // keepStored needs the stored bytes 8..191.
        std::vector<uint8_t> decoded(kHeaderSize, 0);
        PutLe32(decoded.data(), 768);
        PutLe32(decoded.data() + 4, 320);
        if (c.bytes.size() < 192) {
            EXPECT_EQ(0, WriteImageHeader(file, u"pw", decoded.data(), true)) << c.name;
        }
        PutLe32(decoded.data(), 7);
        EXPECT_EQ(0, WriteImageHeader(file, u"pw", decoded.data(), false)) << c.name;
        ASSERT_TRUE(file.Close());
        EXPECT_EQ(c.bytes, Contents("bad.bin")) << c.name;
    }
}

}  // namespace
