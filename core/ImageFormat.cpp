#include "core/ImageFormat.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/ByteOrder.h"
#include "core/Cipher.h"
#include "platform/Secret.h"

namespace {

constexpr size_t kMagicChars = std::char_traits<char16_t>::length(kImageMagic);
constexpr size_t kMagicFieldOffset = 8;
constexpr size_t kVerifierOffset = 72;
constexpr size_t kTableOffsetOffset = 192;
constexpr size_t kCompressLevelOffset = 200;
constexpr size_t kOptionsSize = sizeof(ImageOptions);

// Reads exactly size bytes at position; a short file is a failure.
bool ReadAt(platform::File& file, uint64_t position, uint8_t* buffer, uint32_t size) {
    return file.Seek(position) && file.ReadExactly(buffer, size);
}

// The magic as a zero-terminated UTF-16LE string at offset.
bool HasMagicAt(const uint8_t* header, size_t offset) {
    for (size_t i = 0; i <= kMagicChars; ++i) {
        const uint8_t* unit = header + offset + 2 * i;
        const char16_t c = static_cast<char16_t>(unit[0] | unit[1] << 8);
        if (c != kImageMagic[i]) return false;
    }
    return true;
}

// The header key's password bytes, kept in a string that is wiped when it goes.
class HeaderKey {
public:
    explicit HeaderKey(std::u16string_view password) : m_bytes(KeyPassword(password)) {}
    ~HeaderKey() { platform::WipeSecret(m_bytes); }
    HeaderKey(const HeaderKey&) = delete;
    HeaderKey& operator=(const HeaderKey&) = delete;

    bool Encrypt(uint8_t* buffer, size_t count) const {
        return EncryptBuffer(Data(), m_bytes.size(), buffer, buffer, count) != 0;
    }
    bool Decrypt(uint8_t* buffer, size_t count) const {
        return DecryptBuffer(Data(), m_bytes.size(), buffer, buffer, count) != 0;
    }

private:
    const uint8_t* Data() const { return reinterpret_cast<const uint8_t*>(m_bytes.data()); }
    std::string m_bytes;
};

void StoreChecksum(uint8_t* header) {
    StoreLe32(header + kChecksumOffset, 0);
    StoreLe32(header + kChecksumOffset, HeaderChecksum(header, kHeaderSize));
}

}  // namespace

int32_t ReadImageHeader(platform::File& image, std::u16string_view password,
                        uint8_t header[kHeaderSize]) {
    std::memset(header, 0, kHeaderSize);
    uint8_t raw[kHeaderSize];
    if (!ReadAt(image, 0, raw, kHeaderSize)) return 0;
    std::memcpy(header, raw, kHeaderSize);

    // The oldest images keep their header in plain.
    if (HasMagicAt(raw, 0)) return kImageVersion100;

    if (LoadLe32(raw) == static_cast<uint32_t>(kImageVersion) && LoadLe32(raw + 4) == kHeaderSize) {
        if (!HeaderKey(password).Decrypt(header + kEncryptedHeaderBegin, kEncryptedHeaderSize)) {
            std::memset(header, 0, kHeaderSize);
            return 0;
        }
        Unscramble(header + kOptionsOffset, kOptionsSize, kScrambleConstant);
        return kImageVersion;
    }

    const bool decrypted = HeaderKey(password).Decrypt(header, kHeaderSize);
    // Only a 512 header is kept whole-encrypted; any other version found here would be
    // written back in a layout it was never read in, so the header is not accepted.
    if (decrypted && HasMagicAt(header, kMagicFieldOffset) &&
        LoadLe32(header) == static_cast<uint32_t>(kImageVersion512)) {
        return kImageVersion512;
    }
    std::memset(header, 0, kHeaderSize);
    return 0;
}

int32_t WriteImageHeader(platform::File& image, std::u16string_view password,
                         const uint8_t header[kHeaderSize], bool keepStored) {
    uint8_t out[kHeaderSize];
    std::memcpy(out, header, kHeaderSize);
    const uint32_t version = LoadLe32(out);
    if (version == static_cast<uint32_t>(kImageVersion)) {
        if (keepStored) {
            // The stored encrypted bytes go back as they are: no password is needed.
            if (!ReadAt(image, kEncryptedHeaderBegin, out + kEncryptedHeaderBegin,
                        kEncryptedHeaderSize)) {
                return 0;
            }
        } else if (!HeaderKey(password).Encrypt(out + kEncryptedHeaderBegin, kEncryptedHeaderSize)) {
            return 0;
        }
        Scramble(out + kOptionsOffset, kOptionsSize, kScrambleConstant);
        StoreChecksum(out);
    } else if (version == static_cast<uint32_t>(kImageVersion512)) {
        StoreChecksum(out);
        if (!HeaderKey(password).Encrypt(out, kHeaderSize)) return 0;
    } else {
        return 0;
    }
    return image.Seek(0) && image.Write(out, kHeaderSize) ? 1 : 0;
}

int32_t BuildVerifier(std::u16string_view password, uint8_t verifier[kVerifierSize]) {
    std::memset(verifier, 0, kVerifierSize);
    const size_t end = password.find(u'\0');
    if (end != std::u16string_view::npos) password = password.substr(0, end);
    const size_t chars = std::min(password.size(), kVerifierSize / 2);
    for (size_t i = 0; i < chars; ++i) {
        verifier[2 * i] = static_cast<uint8_t>(password[i]);
        verifier[2 * i + 1] = static_cast<uint8_t>(password[i] >> 8);
    }
    return EncryptItem(password, verifier, 2 * chars);
}

int32_t VerifyPassword(const uint8_t stored[kVerifierSize], std::u16string_view candidate) {
    uint8_t computed[kVerifierSize];
    if (!BuildVerifier(candidate, computed)) return 0;
    uint8_t difference = 0;
    for (size_t i = 0; i < kVerifierSize; ++i) difference |= computed[i] ^ stored[i];
    std::memset(computed, 0, sizeof computed);
    return difference == 0 ? 1 : 0;
}

int32_t UpdateImageOptions(platform::File& image, std::u16string_view password,
                           const ImageOptions& options) {
    uint8_t header[kHeaderSize];
    const int32_t version = ReadImageHeader(image, password, header);
    if (version == kImageVersion100) return 1;  // such images carry no limits to update
    if (version != kImageVersion && version != kImageVersion512) return 0;
    SetHeaderOptions(header, options);
    // A failed write is reported: the counters on disk would otherwise silently stay behind.
    return WriteImageHeader(image, password, header, true);
}

int32_t WriteNewImageHeader(platform::File& image, std::u16string_view password,
                            int32_t compressLevel, const ImageOptions& options) {
    uint8_t header[kHeaderSize] = {};
    StoreLe32(header, static_cast<uint32_t>(kImageVersion));
    StoreLe32(header + 4, kHeaderSize);
    for (size_t i = 0; i < kMagicChars; ++i) {
        header[kMagicFieldOffset + 2 * i] = static_cast<uint8_t>(kImageMagic[i]);
        header[kMagicFieldOffset + 2 * i + 1] = static_cast<uint8_t>(kImageMagic[i] >> 8);
    }
    if (!BuildVerifier(password, header + kVerifierOffset)) return 0;
    StoreLe32(header + kCompressLevelOffset, static_cast<uint32_t>(compressLevel));
    SetHeaderOptions(header, options);
    return WriteImageHeader(image, password, header, false);
}

int32_t SetImageTableOffset(platform::File& image, std::u16string_view password,
                            uint64_t tableOffset) {
    uint64_t position = 0;
    if (!image.Tell(position)) return 0;
    uint8_t header[kHeaderSize];
    if (ReadImageHeader(image, password, header) != kImageVersion) return 0;
    StoreLe64(header + kTableOffsetOffset, tableOffset);
    const int32_t written = WriteImageHeader(image, password, header, false);
    return written != 0 && image.Seek(position) ? 1 : 0;
}

const uint8_t* HeaderVerifier(const uint8_t header[kHeaderSize], int32_t version) {
    return header + (version == kImageVersion100 ? kVerifierOffset100 : kVerifierOffset);
}

uint64_t HeaderTableOffset(const uint8_t header[kHeaderSize], int32_t version) {
    return LoadLe64(header + (version == kImageVersion100 ? kTableOffset100 : kTableOffsetOffset));
}

uint32_t HeaderCompressLevel(const uint8_t header[kHeaderSize]) {
    return LoadLe32(header + kCompressLevelOffset);
}

ImageOptions HeaderOptions(const uint8_t header[kHeaderSize]) {
    ImageOptions options;
    std::memcpy(&options, header + kOptionsOffset, kOptionsSize);
    return options;
}

void SetHeaderOptions(uint8_t header[kHeaderSize], const ImageOptions& options) {
    std::memcpy(header + kOptionsOffset, &options, kOptionsSize);
}
