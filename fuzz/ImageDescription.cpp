#include "ImageDescription.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "ReaderRun.h"
#include "core/Cipher.h"
#include "core/ImageFormat.h"
#include "platform/File.h"

namespace fuzz {

namespace {

// Content beyond this many bytes per image is left out: a few bytes of description must not
// cost megabytes of compression per run.
constexpr size_t kContentBudget = 256 * 1024;
constexpr size_t kSourceRecordBytes = 520;
constexpr size_t kCompressLevelOffset = 200;

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool AtEnd() const { return m_at >= m_size; }
    template <class T>
    T Take() {
        T value{};
        const size_t n = std::min(sizeof value, m_size - std::min(m_at, m_size));
        std::memcpy(&value, m_data + m_at, n);
        m_at += sizeof value;
        return value;
    }
    std::vector<uint8_t> Bytes(size_t count) {
        std::vector<uint8_t> bytes;
        for (size_t i = 0; i < count && !AtEnd(); ++i) bytes.push_back(Take<uint8_t>());
        return bytes;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

template <class T>
void Put(std::vector<uint8_t>& out, const T& value) {
    const auto* p = reinterpret_cast<const uint8_t*>(&value);
    out.insert(out.end(), p, p + sizeof value);
}

template <class T>
void PutAt(std::vector<uint8_t>& out, size_t offset, const T& value) {
    std::memcpy(out.data() + offset, &value, sizeof value);
}

DescribedChunk ParseChunk(Reader& in) {
    DescribedChunk chunk;
    chunk.method = in.Take<uint8_t>();
    chunk.flags = in.Take<uint8_t>();
    chunk.storedSize = in.Take<uint32_t>();
    chunk.plainSize = in.Take<uint32_t>();
    chunk.contentLength = in.Take<uint16_t>();
    chunk.pattern = in.Bytes(in.Take<uint8_t>());
    return chunk;
}

DescribedEntry ParseEntry(Reader& in) {
    DescribedEntry entry;
    entry.attributes = in.Take<uint32_t>();
    entry.size = in.Take<uint64_t>();
    entry.writeTime = in.Take<uint64_t>();
    entry.chunk = in.Take<uint16_t>();
    entry.offsetShift = in.Take<int16_t>();
    for (uint8_t unit : in.Bytes(in.Take<uint8_t>())) entry.path += static_cast<char16_t>(unit);
    return entry;
}

std::vector<uint8_t> Content(const DescribedChunk& chunk, size_t length) {
    std::vector<uint8_t> content(length);
    if (chunk.pattern.empty()) return content;
    for (size_t i = 0; i < length; ++i) content[i] = chunk.pattern[i % chunk.pattern.size()];
    return content;
}

// Appends the chunk (header in plain, payload encrypted) and returns where it starts.
uint64_t AppendChunk(std::vector<uint8_t>& image, const DescribedChunk& chunk, size_t length,
                     std::u16string_view password) {
    const std::vector<uint8_t> content = Content(chunk, length);
    std::vector<uint8_t> payload = content;
    const bool compress = (chunk.method == 1 || chunk.method == 2) &&
                          (chunk.flags & DescribedChunk::kUncompressed) == 0;
    if (compress) {
        uLongf stored = compressBound(content.size());
        payload.resize(stored);
        compress2(payload.data(), &stored, content.data(), content.size(), chunk.method == 1 ? 4 : 8);
        payload.resize(stored);
    }
    EncryptItem(password, payload.data(), payload.size());
    ChunkHeader header{static_cast<uint32_t>(payload.size()), chunk.method,
                       static_cast<uint32_t>(content.size()), 0};
    if (chunk.flags & DescribedChunk::kRawStored) header.storedSize = chunk.storedSize;
    if (chunk.flags & DescribedChunk::kRawPlain) header.plainSize = chunk.plainSize;
    const uint64_t offset = image.size();
    Put(image, header);
    image.insert(image.end(), payload.begin(), payload.end());
    return offset;
}

void AppendSourceList(std::vector<uint8_t>& image, uint8_t count, std::u16string_view password) {
    Put(image, SourceListHead{count, {0, 0, 0}});
    for (uint8_t i = 0; i < count; ++i) {
        char16_t record[kSourceRecordBytes / 2] = {};
        CopyToField(record, kPathChars, u"C:\\source");
        EncryptItem(password, record, sizeof record);
        Put(image, record);
    }
}

void AppendTable(std::vector<uint8_t>& image, const ImageDescription& d,
                 const std::vector<uint64_t>& chunkOffsets, std::u16string_view password) {
    const uint32_t count = d.flags & ImageDescription::kRawEntryCount
                               ? d.entryCount
                               : static_cast<uint32_t>(d.entries.size());
    Put(image, TableHeader{count, d.fileCount, {0, 0}});
    for (size_t i = 0; i < d.entries.size(); ++i) {
        const DescribedEntry& e = d.entries[i];
        ImageEntry entry{};
        entry.sequence = static_cast<uint32_t>(i);
        CopyToField(entry.path, kPathChars, e.path);
        entry.attributes = e.attributes;
        entry.creationTime = entry.accessTime = entry.writeTime = e.writeTime;
        entry.size = e.size;
        if (e.chunk != DescribedEntry::kNoChunk) {
            const uint64_t base = chunkOffsets.empty() ? image.size() : chunkOffsets[e.chunk % chunkOffsets.size()];
            entry.dataOffset = base + static_cast<uint64_t>(static_cast<int64_t>(e.offsetShift));
        }
        EncryptItem(password, &entry, sizeof entry);
        Put(image, entry);
    }
}

// The decoded 768 or 512 header; WriteImageHeader encodes it.
void DecodedHeader(const ImageDescription& d, uint32_t version, uint64_t tableOffset,
                   std::u16string_view password, uint8_t header[kHeaderSize]) {
    std::memset(header, 0, kHeaderSize);
    ImageHeader h{};
    h.version = version;
    h.headerSize = kHeaderSize;
    std::memcpy(h.magic, kImageMagic, sizeof kImageMagic);
    BuildVerifier(password, h.verifier);
    h.tableOffset = tableOffset;
    h.compressLevel = d.compressLevel;
    h.options = d.options;
    std::memcpy(header, &h, kHeaderSize);
}

// Version 100 keeps its header in plain: the magic at 0, the verifier at 64, the table
// offset at 184, then the compression level and the limits where the others keep them.
void PlainHeader100(const ImageDescription& d, uint64_t tableOffset, std::u16string_view password,
                    std::vector<uint8_t>& image) {
    std::memcpy(image.data(), kImageMagic, sizeof kImageMagic);
    BuildVerifier(password, image.data() + kVerifierOffset100);
    PutAt(image, kTableOffset100, tableOffset);
    PutAt(image, kCompressLevelOffset, static_cast<uint32_t>(d.compressLevel));
    PutAt(image, kOptionsOffset, d.options);
}

}  // namespace

ImageDescription ParseDescription(const uint8_t* data, size_t size) {
    Reader in(data, size);
    ImageDescription d;
    d.version = in.Take<uint8_t>() % 3;
    d.flags = in.Take<uint8_t>();
    d.compressLevel = in.Take<uint8_t>();
    d.sourceCount = in.Take<uint8_t>() % 8;
    d.options = in.Take<ImageOptions>();
    d.tableShift = in.Take<int32_t>();
    d.entryCount = in.Take<uint32_t>();
    d.fileCount = in.Take<uint32_t>();
    while (!in.AtEnd()) {
        if (in.Take<uint8_t>() % 2 == 0) {
            d.entries.push_back(ParseEntry(in));
        } else {
            d.chunks.push_back(ParseChunk(in));
        }
    }
    return d;
}

std::vector<uint8_t> SerializeDescription(const ImageDescription& d) {
    std::vector<uint8_t> out;
    for (uint8_t byte : {d.version, d.flags, d.compressLevel, d.sourceCount}) out.push_back(byte);
    Put(out, d.options);
    Put(out, d.tableShift);
    Put(out, d.entryCount);
    Put(out, d.fileCount);
    for (const DescribedChunk& c : d.chunks) {
        out.push_back(1);
        for (uint8_t byte : {c.method, c.flags}) out.push_back(byte);
        Put(out, c.storedSize);
        Put(out, c.plainSize);
        Put(out, c.contentLength);
        out.push_back(static_cast<uint8_t>(c.pattern.size()));
        out.insert(out.end(), c.pattern.begin(), c.pattern.end());
    }
    for (const DescribedEntry& e : d.entries) {
        out.push_back(0);
        Put(out, e.attributes);
        Put(out, e.size);
        Put(out, e.writeTime);
        Put(out, e.chunk);
        Put(out, e.offsetShift);
        out.push_back(static_cast<uint8_t>(e.path.size()));
        for (char16_t unit : e.path) out.push_back(static_cast<uint8_t>(unit));
    }
    return out;
}

bool WriteImage(const ImageDescription& d, const std::u16string& winPath) {
    const std::u16string_view password =
        d.flags & ImageDescription::kWrongPassword ? std::u16string_view(u"fuzZ") : kPassword;
    std::vector<uint8_t> image(kHeaderSize);
    AppendSourceList(image, d.sourceCount, password);
    std::vector<uint64_t> chunkOffsets;
    size_t budget = kContentBudget;
    for (const DescribedChunk& chunk : d.chunks) {
        const size_t length = std::min<size_t>(chunk.contentLength, budget);
        budget -= length;
        chunkOffsets.push_back(AppendChunk(image, chunk, length, password));
    }
    const uint64_t tableOffset = image.size() + static_cast<uint64_t>(static_cast<int64_t>(d.tableShift));
    AppendTable(image, d, chunkOffsets, password);

    const uint32_t version = d.version == 0 ? kImageVersion : d.version == 1 ? kImageVersion512 : kImageVersion100;
    if (version == kImageVersion100) PlainHeader100(d, tableOffset, password, image);
    platform::File file;
    if (!file.Open(winPath, platform::Access::ReadWrite, platform::Share::ReadWrite,
                   platform::Disposition::CreateAlways) ||
        !file.Write(image.data(), static_cast<uint32_t>(image.size()))) {
        return false;
    }
    if (version != kImageVersion100) {
        uint8_t header[kHeaderSize];
        DecodedHeader(d, version, tableOffset, password, header);
        if (!WriteImageHeader(file, password, header, false)) return false;
    }
    return file.Close();
}

}  // namespace fuzz
