// The image file: header, source list, chunks, table header and entry table.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/JobRecords.h"
#include "platform/File.h"

constexpr int32_t kImageVersion = 768;  // the only version written
constexpr int32_t kImageVersion512 = 512;
constexpr int32_t kImageVersion100 = 100;
constexpr uint32_t kHeaderSize = 320;
constexpr size_t kVerifierSize = 120;
constexpr size_t kEncryptedHeaderBegin = 8;  // bytes 8..191 of a 768 header are encrypted
constexpr size_t kEncryptedHeaderSize = 184;
constexpr size_t kOptionsOffset = 204;
constexpr size_t kChecksumOffset = 316;
constexpr uint32_t kPiecePlainMax = 51200;   // content bytes per chunk
constexpr uint32_t kChunkStoredMax = 61440;  // payload bytes per chunk
constexpr uint32_t kTableCopyUnit = 65536;
constexpr char16_t kImageMagic[] = u"CORVIK_IMAGE_FILE";

#pragma pack(push, 1)
// Version 768 and 512 layout (decoded).
struct ImageHeader {
    uint32_t version;
    uint32_t headerSize;
    char16_t magic[31];
    uint16_t reserved0;
    uint8_t verifier[kVerifierSize];
    uint64_t tableOffset;
    uint32_t compressLevel;
    ImageOptions options;
    uint8_t reserved1[76];
    uint32_t checksum;
};
struct SourceListHead {
    uint32_t count;
    uint32_t reserved[3];
};
struct ChunkHeader {
    uint32_t storedSize;
    uint32_t method;  // 0 plain, 1 zlib level 4, 2 zlib level 8
    uint32_t plainSize;
    uint32_t reserved;
};
struct TableHeader {
    uint32_t entryCount;
    uint32_t fileCount;
    uint32_t reserved[2];
};
struct ImageEntry {
    uint32_t sequence;
    char16_t path[kPathChars];
    uint32_t attributes;
    uint64_t creationTime;
    uint64_t accessTime;
    uint64_t writeTime;
    uint64_t size;
    uint64_t dataOffset;
    uint64_t reserved;
};
#pragma pack(pop)
static_assert(sizeof(ImageHeader) == kHeaderSize);
static_assert(offsetof(ImageHeader, magic) == 8);
static_assert(offsetof(ImageHeader, verifier) == 72);
static_assert(offsetof(ImageHeader, tableOffset) == 192);
static_assert(offsetof(ImageHeader, compressLevel) == 200);
static_assert(offsetof(ImageHeader, options) == kOptionsOffset);
static_assert(offsetof(ImageHeader, checksum) == kChecksumOffset);
static_assert(sizeof(SourceListHead) == 16);
static_assert(sizeof(ChunkHeader) == 16);
static_assert(sizeof(TableHeader) == 16);
static_assert(sizeof(ImageEntry) == 576);
static_assert(offsetof(ImageEntry, path) == 4);
static_assert(offsetof(ImageEntry, attributes) == 524);
static_assert(offsetof(ImageEntry, creationTime) == 528);
static_assert(offsetof(ImageEntry, size) == 552);
static_assert(offsetof(ImageEntry, dataOffset) == 560);

// Version-100 offsets inside the 320 raw bytes.
constexpr size_t kVerifierOffset100 = 64;
constexpr size_t kTableOffset100 = 184;

// Reads and decodes the 320-byte header into header (decoded form). Returns 768, 512 or
// 100, or 0 for a file that is not a readable image (short, foreign, or a wrong password
// on a version-512 image).
int32_t ReadImageHeader(platform::File& image, std::u16string_view password,
                        uint8_t header[kHeaderSize]);
// Encodes and writes a decoded header at offset 0 according to its version field.
int32_t WriteImageHeader(platform::File& image, std::u16string_view password,
                         const uint8_t header[kHeaderSize], bool keepStored);
int32_t VerifyPassword(const uint8_t stored[kVerifierSize], std::u16string_view candidate);
// Rewrites the usage limits in place; needs no correct password.
int32_t UpdateImageOptions(platform::File& image, std::u16string_view password,
                           const ImageOptions& options);

// 0 when the cipher fails.
int32_t BuildVerifier(std::u16string_view password, uint8_t verifier[kVerifierSize]);
// The header of a new image (tableOffset 0), written at offset 0.
int32_t WriteNewImageHeader(platform::File& image, std::u16string_view password,
                            int32_t compressLevel, const ImageOptions& options);
// Reads the header back (it must be 768), sets tableOffset and rewrites it.
int32_t SetImageTableOffset(platform::File& image, std::u16string_view password,
                            uint64_t tableOffset);

// Fields of a decoded header, wherever the version keeps them.
const uint8_t* HeaderVerifier(const uint8_t header[kHeaderSize], int32_t version);
uint64_t HeaderTableOffset(const uint8_t header[kHeaderSize], int32_t version);
uint32_t HeaderCompressLevel(const uint8_t header[kHeaderSize]);
ImageOptions HeaderOptions(const uint8_t header[kHeaderSize]);
void SetHeaderOptions(uint8_t header[kHeaderSize], const ImageOptions& options);
