// A plain description of an image, small and easy to mutate, and the image it stands for:
// the header fields, the chunks (method, sizes, content) and the entries (path, attributes,
// size, which chunk they point at). Building encrypts it with the core's own functions, so a
// mutated description reaches the entry fields and chunk headers behind the cipher.
//
// Byte form (little-endian); every field reads as 0 past the end of the input:
//   u8 version (0: 768, 1: 512, 2: 100, modulo 3)
//   u8 flags (kWrongPassword, kSelectFirst, kRawEntryCount; bits 6-7: restore mode 1 + n % 3)
//   u8 compressLevel, u8 sourceCount (modulo 8), ImageOptions (36 bytes),
//   i32 tableShift (added to the true table offset), u32 entryCount (with kRawEntryCount),
//   u32 fileCount
//   then records to the end; tag byte even: entry, odd: chunk
//   entry: u32 attributes, u64 size, u64 writeTime, u16 chunk (0xFFFF: data offset 0),
//          i16 offsetShift, u8 pathLength, pathLength bytes (each one UTF-16 unit)
//   chunk: u8 method, u8 chunkFlags (kRawStored, kRawPlain, kUncompressed),
//          u32 storedSize, u32 plainSize (used with their flags), u16 contentLength,
//          u8 patternLength, pattern bytes repeated to contentLength
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/JobRecords.h"

namespace fuzz {

struct DescribedChunk {
    static constexpr uint8_t kRawStored = 1;
    static constexpr uint8_t kRawPlain = 2;
    static constexpr uint8_t kUncompressed = 4;  // methods 1 and 2 with content that is no zlib stream

    uint8_t method = 0;
    uint8_t flags = 0;
    uint32_t storedSize = 0;
    uint32_t plainSize = 0;
    uint16_t contentLength = 0;
    std::vector<uint8_t> pattern;
};

struct DescribedEntry {
    static constexpr uint16_t kNoChunk = 0xFFFF;

    uint32_t attributes = 0;
    uint64_t size = 0;
    uint64_t writeTime = 0;
    uint16_t chunk = kNoChunk;
    int16_t offsetShift = 0;
    std::u16string path;  // units up to 0xFF
};

struct ImageDescription {
    static constexpr uint8_t kWrongPassword = 1;
    static constexpr uint8_t kSelectFirst = 2;
    static constexpr uint8_t kRawEntryCount = 4;

    uint8_t version = 0;
    uint8_t flags = 0;
    uint8_t compressLevel = 0;
    uint8_t sourceCount = 0;
    ImageOptions options{};
    int32_t tableShift = 0;
    uint32_t entryCount = 0;
    uint32_t fileCount = 0;
    std::vector<DescribedChunk> chunks;
    std::vector<DescribedEntry> entries;

    int32_t RestoreMode() const { return 1 + (flags >> 6) % 3; }
};

ImageDescription ParseDescription(const uint8_t* data, size_t size);
std::vector<uint8_t> SerializeDescription(const ImageDescription& description);
// Writes the image, encrypted with kPassword (another password with kWrongPassword).
bool WriteImage(const ImageDescription& description, const std::u16string& winPath);

}  // namespace fuzz
