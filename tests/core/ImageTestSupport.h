// Shared by the image writer, reader and hostile-image tests: a recording front end,
// an image decoder built on the format functions, and a builder for crafted images.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "core/Cipher.h"
#include "core/FrontEnd.h"
#include "core/ImageFormat.h"
#include "core/ImageReader.h"
#include "core/ImageWriter.h"
#include "core/JobRecords.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace image_test {

namespace fs = std::filesystem;
using testing_support::NativePath;
using testing_support::ReadAll;
using testing_support::ScratchDir;
using testing_support::WinPath;
using testing_support::WriteAll;

// Records what the core shows and answers overwrite questions from a script; an empty
// script answers No, as a console does at the end of its input.
class RecordingFrontEnd : public CoreFrontEnd {
public:
    struct Message {
        CoreMessage role;
        CoreMessageArgs args;
    };

    RecordingFrontEnd() { SetCoreFrontEnd(this); }
    ~RecordingFrontEnd() override { SetCoreFrontEnd(nullptr); }
    RecordingFrontEnd(const RecordingFrontEnd&) = delete;
    RecordingFrontEnd& operator=(const RecordingFrontEnd&) = delete;

    void ShowCoreMessage(CoreMessage role, const CoreMessageArgs& args) override {
        messages.push_back({role, args});
    }
    OverwriteAnswer AskOverwrite(const std::u16string& path) override {
        questions.push_back(path);
        if (answers.empty()) return OverwriteAnswer::No;
        const OverwriteAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void FileStarted(const std::u16string& path) override { started.push_back(path); }

    int Count(CoreMessage role) const {
        int n = 0;
        for (const auto& m : messages) n += m.role == role ? 1 : 0;
        return n;
    }

    std::vector<Message> messages;
    std::vector<std::u16string> questions;
    std::vector<std::u16string> started;
    std::deque<OverwriteAnswer> answers;
};

inline std::string Narrow(const std::u16string& text) { return platform::ToUtf8(text); }

// One chunk as found in the image, payload decrypted.
struct DecodedChunk {
    ChunkHeader header;
    std::vector<uint8_t> payload;
};

struct DecodedEntry {
    ImageEntry entry;
    std::vector<DecodedChunk> chunks;  // the file's chunks, read from dataOffset
};

// A version-768 image taken apart with the format functions.
struct DecodedImage {
    int32_t version = 0;
    std::vector<uint8_t> header = std::vector<uint8_t>(kHeaderSize);
    std::vector<std::u16string> sources;
    TableHeader table{};
    std::vector<DecodedEntry> entries;
    uint64_t fileLength = 0;
};

inline bool ReadAtMost(platform::File& file, void* buffer, uint32_t size) {
    uint32_t done = 0;
    return file.Read(buffer, size, done) && done == size;
}

inline DecodedImage DecodeImage(const std::u16string& path, const std::u16string& password) {
    DecodedImage image;
    platform::File file;
    EXPECT_TRUE(file.Open(path, platform::Access::Read, platform::Share::ReadWrite,
                          platform::Disposition::OpenExisting));
    image.version = ReadImageHeader(file, password, image.header.data());
    file.Size(image.fileLength);
    file.Seek(kHeaderSize);
    SourceListHead head{};
    EXPECT_TRUE(ReadAtMost(file, &head, sizeof head));
    for (uint32_t i = 0; i < head.count && i < 1000; ++i) {
        char16_t record[kPathChars];
        EXPECT_TRUE(ReadAtMost(file, record, sizeof record));
        DecryptItem(password, record, sizeof record);
        image.sources.push_back(FieldText(record, kPathChars));
    }
    file.Seek(HeaderTableOffset(image.header.data(), image.version));
    EXPECT_TRUE(ReadAtMost(file, &image.table, sizeof image.table));
    for (uint32_t i = 0; i < image.table.entryCount; ++i) {
        DecodedEntry decoded;
        EXPECT_TRUE(ReadAtMost(file, &decoded.entry, sizeof decoded.entry));
        DecryptItem(password, &decoded.entry, sizeof decoded.entry);
        image.entries.push_back(decoded);
    }
    for (auto& decoded : image.entries) {
        if (decoded.entry.attributes & platform::kAttrDirectory) continue;
        uint64_t remaining = decoded.entry.size;
        file.Seek(decoded.entry.dataOffset);
        while (remaining > 0) {
            DecodedChunk chunk;
            if (!ReadAtMost(file, &chunk.header, sizeof chunk.header)) break;
            if (chunk.header.storedSize > kChunkStoredMax || chunk.header.plainSize == 0) break;
            chunk.payload.resize(chunk.header.storedSize);
            if (!ReadAtMost(file, chunk.payload.data(), chunk.header.storedSize)) break;
            DecryptItem(password, chunk.payload.data(), chunk.payload.size());
            remaining -= std::min<uint64_t>(remaining, chunk.header.plainSize);
            decoded.chunks.push_back(std::move(chunk));
        }
    }
    return image;
}

inline DecryptParams MakeParams(const std::u16string& image, const std::u16string& password,
                                const std::u16string& target) {
    DecryptParams params;
    std::memset(&params, 0, sizeof params);
    CopyToField(params.imagePath, kPathChars, image);
    CopyToField(params.password, kPasswordChars, password);
    CopyToField(params.targetDir, kPathChars, target);
    params.restoreMode = 1;
    return params;
}

// ReadImageInfo, then DecryptImage when it succeeded; the result of the last call made.
inline int32_t ReadAndDecrypt(DecryptParams& params) {
    uint32_t fileCount = 0;
    std::u16string first;
    if (!ReadImageInfo(params, fileCount, first)) return 0;
    return DecryptImage(params);
}

inline int32_t Encrypt(const std::vector<std::u16string>& sources, const std::u16string& image,
                       const std::u16string& password, int32_t level,
                       const ImageOptions* options = nullptr) {
    CEncryptInfo info;
    info.m_sources = sources;
    info.m_imagePath = image;
    info.m_password = password;
    info.m_compressLevel = level;
    if (options) info.m_options = *options;
    encryptCancel = 0;  // the job keeps a cancel that came before it; an earlier case may have left one
    return EncryptToImage(info);
}

// Where restore mode 1 puts a stored path: target + the path without its drive prefix.
inline fs::path RestoredPath(const fs::path& target, const std::u16string& stored) {
    return NativePath(WinPath(target) + u"\\" + stored.substr(3));
}

// Builds an image by hand in the documented layout: header, no sources, chunks as given,
// table header and entries. Every field can be set to anything.
class ImageBuilder {
public:
    explicit ImageBuilder(std::u16string password) : m_password(std::move(password)) {}

    // Appends a chunk (payload given plain, encrypted here) and returns its offset.
    uint64_t AddChunk(ChunkHeader header, std::vector<uint8_t> payload) {
        const uint64_t offset = kHeaderSize + sizeof(SourceListHead) + m_data.size();
        EncryptItem(m_password, payload.data(), payload.size());
        const auto* h = reinterpret_cast<const uint8_t*>(&header);
        m_data.insert(m_data.end(), h, h + sizeof header);
        m_data.insert(m_data.end(), payload.begin(), payload.end());
        return offset;
    }
    // A file whose content goes into plain chunks of the usual size.
    uint64_t AddPlainContent(const std::vector<uint8_t>& content) {
        const uint64_t offset = kHeaderSize + sizeof(SourceListHead) + m_data.size();
        for (size_t at = 0; at < content.size(); at += kPiecePlainMax) {
            const size_t n = std::min<size_t>(kPiecePlainMax, content.size() - at);
            ChunkHeader header{static_cast<uint32_t>(n), 0, static_cast<uint32_t>(n), 0};
            AddChunk(header, std::vector<uint8_t>(content.begin() + at, content.begin() + at + n));
        }
        return offset;
    }
    void AddEntry(const std::u16string& path, uint32_t attributes, uint64_t size,
                  uint64_t dataOffset) {
        ImageEntry entry{};
        entry.sequence = static_cast<uint32_t>(m_entries.size());
        CopyToField(entry.path, kPathChars, path);
        entry.attributes = attributes;
        entry.size = size;
        entry.dataOffset = dataOffset;
        entry.creationTime = entry.accessTime = entry.writeTime = 132000000000000000ULL;
        AddRawEntry(entry);
    }
    void AddRawEntry(ImageEntry entry) {
        EncryptItem(m_password, &entry, sizeof entry);
        m_entries.push_back(entry);
    }
    std::optional<uint32_t> entryCount;  // overrides the real count

    // Writes the version-768 image; returns the table offset.
    uint64_t Write(const std::u16string& path, const ImageOptions& options = {}) {
        platform::File file;
        EXPECT_TRUE(file.Open(path, platform::Access::ReadWrite, platform::Share::ReadWrite,
                              platform::Disposition::CreateAlways));
        EXPECT_TRUE(WriteNewImageHeader(file, m_password, 1, options));
        const SourceListHead head{};
        EXPECT_TRUE(file.Seek(kHeaderSize) && file.Write(&head, sizeof head));
        if (!m_data.empty()) {
            EXPECT_TRUE(file.Write(m_data.data(), static_cast<uint32_t>(m_data.size())));
        }
        const uint64_t tableOffset = kHeaderSize + sizeof head + m_data.size();
        EXPECT_TRUE(SetImageTableOffset(file, m_password, tableOffset));
        TableHeader table{};
        table.entryCount = entryCount.value_or(static_cast<uint32_t>(m_entries.size()));
        EXPECT_TRUE(file.SeekToEnd() && file.Write(&table, sizeof table));
        for (const auto& entry : m_entries) EXPECT_TRUE(file.Write(&entry, sizeof entry));
        EXPECT_TRUE(file.Close());
        return tableOffset;
    }

private:
    std::u16string m_password;
    std::vector<uint8_t> m_data;
    std::vector<ImageEntry> m_entries;
};

// Every regular file below root, relative path to content.
inline std::map<std::string, std::vector<uint8_t>> TreeContents(const fs::path& root) {
    std::map<std::string, std::vector<uint8_t>> files;
    if (!fs::exists(root)) return files;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        if (item.is_regular_file()) {
            const std::u8string name = fs::relative(item.path(), root).generic_u8string();
            files[std::string(name.begin(), name.end())] = ReadAll(item.path());
        }
    }
    return files;
}

}  // namespace image_test
