#include "securedelete/SecureDelete.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>

#include "platform/Clock.h"
#include "platform/File.h"

namespace {

constexpr int32_t kUnitSize = 65536;
constexpr int32_t kBlockSize = 512;
constexpr char16_t kMaskName[] = u"$$$$$$$$$$$$$$$$$$$$$$$$$$$$$$$$";
constexpr size_t kMaskLength = std::size(kMaskName) - 1;
constexpr size_t kSweepLetters = 26;

// One pass: a random byte, one byte everywhere, or three bytes laid out per 512-byte block.
struct PassPattern {
    uint8_t a = 0, b = 0, c = 0;
    bool random = false;
    bool uniform = true;
};

constexpr PassPattern Random() { return {0, 0, 0, true, true}; }
constexpr PassPattern Byte(uint8_t value) { return {value, value, value, false, true}; }
constexpr PassPattern Triple(uint8_t a, uint8_t b, uint8_t c) { return {a, b, c, false, false}; }

constexpr PassPattern kFillZero[] = {Byte(0x00)};
constexpr PassPattern kFillFF[] = {Byte(0xFF)};
constexpr PassPattern kFillRandom[] = {Random()};
constexpr PassPattern kNsa[] = {Random(), Random(), Byte(0x00)};
constexpr PassPattern kOldNsa[] = {Byte(0x00), Byte(0xFF), Byte(0x00), Byte(0xFF)};
constexpr PassPattern kDod[] = {Byte(0x00), Byte(0xFF), Triple(0x35, 0xCA, 0x97)};
constexpr PassPattern kNato[] = {Byte(0x00), Byte(0xFF), Byte(0x00), Byte(0xFF),
                                 Byte(0x00), Byte(0xFF), Triple(0x35, 0xCA, 0x97)};
// Gutmann's published 35-pass sequence.
constexpr PassPattern kGutmann[] = {
    Random(),  Random(),  Random(),  Random(),
    Byte(0x55), Byte(0xAA),
    Triple(0x92, 0x49, 0x24), Triple(0x49, 0x24, 0x92), Triple(0x24, 0x92, 0x49),
    Byte(0x00), Byte(0x11), Byte(0x22), Byte(0x33), Byte(0x44), Byte(0x55), Byte(0x66), Byte(0x77),
    Byte(0x88), Byte(0x99), Byte(0xAA), Byte(0xBB), Byte(0xCC), Byte(0xDD), Byte(0xEE), Byte(0xFF),
    Triple(0x92, 0x49, 0x24), Triple(0x49, 0x24, 0x92), Triple(0x24, 0x92, 0x49),
    Triple(0x6D, 0xB6, 0xDB), Triple(0xB6, 0xDB, 0x6D), Triple(0xDB, 0x6D, 0xB6),
    Random(),  Random(),  Random(),  Random(),
};

struct MethodPasses {
    const PassPattern* passes;
    size_t count;
};

constexpr MethodPasses kMethods[] = {
    {kFillZero, std::size(kFillZero)}, {kFillFF, std::size(kFillFF)},
    {kFillRandom, std::size(kFillRandom)}, {kNsa, std::size(kNsa)},
    {kOldNsa, std::size(kOldNsa)}, {kDod, std::size(kDod)},
    {kNato, std::size(kNato)}, {kGutmann, std::size(kGutmann)},
};

// Paths live in buffers of kMaxPath characters; a longer one is skipped, never shortened
// into the name of some other file.
bool Fits(const std::u16string& path) { return path.size() < platform::kMaxPath; }

std::u16string Child(const std::u16string& dir, const std::u16string& name) {
    return dir + u'\\' + name;
}

// The path up to and including its last backslash; empty without one.
std::u16string FolderPart(const std::u16string& path) {
    const size_t slash = path.find_last_of(u'\\');
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1);
}

// A link goes as a link: whatever it points to is never touched.
void RemoveLink(const std::u16string& path, uint32_t attributes) {
    if ((attributes & platform::kAttrDirectory) != 0) {
        if (!platform::RemoveEmptyDirectory(path)) platform::RemoveFile(path);
    } else {
        if (!platform::RemoveFile(path)) platform::RemoveEmptyDirectory(path);
    }
}

uint32_t AttributesOr(const std::u16string& path, uint32_t fallback) {
    const uint32_t attributes = platform::GetAttributes(path);
    return attributes == platform::kInvalidAttributes ? fallback : attributes;
}

// A file with another name shares its data and its attributes with that name, which may
// lie outside the target: only this name may go, and nothing is written or changed.
bool HasOtherNames(const std::u16string& path) {
    uint32_t links = 1;
    return platform::GetLinkCount(path, links) && links > 1;
}

}  // namespace

CSecureDelete::CSecureDelete()
    : m_unitSize(kUnitSize), m_blockSize(kBlockSize), m_maskName{}, m_bytesDone(0), m_bytesTotal(0) {
    std::copy(std::begin(kMaskName), std::end(kMaskName), m_maskName);
    m_percent = 0;
    m_cancel = 0;
}

CSecureDelete::~CSecureDelete() = default;

int32_t CSecureDelete::Run(const std::u16string& path, int32_t method, const SecureDeleteFilter* filter) {
    m_filter = filter;
    const int32_t result = RunPasses(path, method);
    m_filter = nullptr;
    m_chosen.clear();
    return result;
}

int32_t CSecureDelete::RunPasses(const std::u16string& path, int32_t method) {
    if (m_reporter != nullptr) m_reporter->RunStarted(path);
    Prepare(path);

    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[static_cast<size_t>(m_unitSize)]);
    if (!buffer) {
        if (m_reporter != nullptr) m_reporter->OutOfMemory();
        return 0;
    }
    if (method < 0 || method >= static_cast<int32_t>(std::size(kMethods))) return 1;

    const MethodPasses& passes = kMethods[method];
    m_bytesTotal *= passes.count;
    for (size_t i = 0; i < passes.count; ++i) {
        const PassPattern& pattern = passes.passes[i];
        m_pass = static_cast<int32_t>(i + 1);
        FillBuffer(buffer.get(), pattern.a, pattern.b, pattern.c, pattern.random, pattern.uniform);
        if (DeletePass(path, buffer.get(), i + 1 == passes.count) == 0) break;
    }
    m_pass = 0;
    return 1;
}

void CSecureDelete::Prepare(const std::u16string& path) {
    m_cancel = 0;
    m_percent = 0;
    m_bytesDone = 0;
    m_bytesTotal = 0;
    m_kept = 0;
    m_chosen.clear();
    platform::FindData found;
    if (Fits(path) && platform::FindExact(path, found)) Survey(path, found);
}

// The filter is asked here, before any pass: a pass changes the write times it may compare.
void CSecureDelete::Survey(const std::u16string& path, const platform::FindData& found) {
    if (m_filter != nullptr && m_filter->MayErase(path, found)) m_chosen.insert(path);
    if (found.IsLink()) return;
    if (!found.IsDirectory()) {
        if (WillOverwrite(path)) m_bytesTotal += found.size;
        return;
    }
    platform::DirectorySearch search;
    if (!search.Start(path)) return;
    platform::FindData entry;
    while (search.Next(entry)) {
        const std::u16string child = Child(path, entry.name);
        if (Fits(child)) Survey(child, entry);
    }
}

bool CSecureDelete::Chosen(const std::u16string& path) const {
    return m_filter == nullptr || m_chosen.count(path) != 0;
}

bool CSecureDelete::WillOverwrite(const std::u16string& path) const {
    return Chosen(path) && !HasOtherNames(path);
}

uint8_t CSecureDelete::NextRandomByte() {
    m_randomState = m_randomState * 214013u + 2531011u;
    return static_cast<uint8_t>((m_randomState >> 16) & 0x7FFF);
}

void CSecureDelete::FillBuffer(uint8_t* buffer, uint8_t a, uint8_t b, uint8_t c, bool random,
                               bool uniform) {
    if (random) {
        // Reseeded on every random pass: passes starting in the same second write the same byte.
        m_randomState = static_cast<uint32_t>(platform::CurrentTime());
        a = NextRandomByte();
    }
    const size_t unit = static_cast<size_t>(m_unitSize);
    if (uniform) {
        std::memset(buffer, a, unit);
        return;
    }
    // 512 is not a multiple of 3: the pattern restarts at every block boundary.
    std::array<uint8_t, kBlockSize> block{};
    const uint8_t pattern[3] = {a, b, c};
    for (size_t k = 0; k < block.size(); ++k) block[k] = pattern[k % 3];
    const size_t blockSize = static_cast<size_t>(m_blockSize);
    for (size_t offset = 0; offset + blockSize <= unit; offset += blockSize) {
        std::memcpy(buffer + offset, block.data(), blockSize);
    }
}

bool CSecureDelete::IsDirectory(const std::u16string& path) const {
    return platform::IsDirectory(path);
}

void CSecureDelete::DeletePlainly(const std::u16string& path) {
    const uint32_t attributes = platform::GetAttributes(path);
    if (attributes == platform::kInvalidAttributes || !Chosen(path)) return;
    if ((attributes & platform::kAttrReparsePoint) != 0) {
        RemoveLink(path, attributes);
        return;
    }
    if (IsDirectory(path)) return;
    if (!HasOtherNames(path)) platform::SetAttributes(path, platform::kAttrNormal);
    platform::RemoveFile(path);
}

int32_t CSecureDelete::DeletePass(const std::u16string& path, const uint8_t* buffer, bool finalPass) {
    if (m_cancel != 0) {
        DeletePlainly(path);
        return 0;
    }
    WipeTree(path, buffer, finalPass);
    return 1;
}

int32_t CSecureDelete::WipeTree(const std::u16string& path, const uint8_t* buffer, bool finalPass) {
    if (m_cancel != 0) {
        DeletePlainly(path);
        return 0;
    }
    platform::FindData found;
    if (!Fits(path) || !platform::FindExact(path, found)) return 0;
    if (found.IsLink() || !found.IsDirectory()) {
        EraseEntry(path, found, buffer, finalPass);
        return 1;
    }

    platform::DirectorySearch search;
    if (search.Start(path)) {
        platform::FindData entry;
        while (search.Next(entry)) {
            const std::u16string child = Child(path, entry.name);
            // Left in place; the folder then cannot be removed, and neither can its parents.
            if (!Fits(child)) {
                if (finalPass) ++m_kept;
                continue;
            }
            if (entry.IsLink() || !entry.IsDirectory()) {
                EraseEntry(child, entry, buffer, finalPass);
                continue;
            }
            // Without a filter a folder that stays ends its parent's walk, as it always has;
            // with one, kept entries leave folders behind by design and the rest must still go.
            if (WipeTree(child, buffer, finalPass) == 0 && (m_cancel != 0 || m_filter == nullptr)) {
                return 0;
            }
        }
        search.Close();
    }
    if (!finalPass) return 1;
    if (!Chosen(path)) {
        ++m_kept;
        return 0;
    }
    // A folder that stays keeps its attributes.
    const uint32_t attributes = AttributesOr(path, found.attributes);
    platform::SetAttributes(path, platform::kAttrNormal);
    if (!platform::RemoveEmptyDirectory(path)) {
        platform::SetAttributes(path, attributes);
        ++m_kept;
        return 0;
    }
    if (m_observer != nullptr) m_observer->DirectoryRemoved(path);
    SweepNameSlots(FolderPart(path) + m_maskName, true);
    return 1;
}

void CSecureDelete::EraseEntry(const std::u16string& path, const platform::FindData& found,
                               const uint8_t* buffer, bool finalPass) {
    if (Chosen(path)) {
        const bool lastVisit = finalPass || m_cancel != 0;
        if (found.IsLink()) {
            if (lastVisit) RemoveLink(path, found.attributes);
        } else if (HasOtherNames(path)) {
            if (lastVisit) platform::RemoveFile(path);
        } else {
            const uint32_t attributes = AttributesOr(path, found.attributes);
            platform::SetAttributes(path, platform::kAttrNormal);
            if (WipeFile(path, buffer, found.size, finalPass) == 0) {
                platform::SetAttributes(path, attributes);
            }
        }
    }
    if (finalPass && platform::Exists(path)) ++m_kept;
}

int32_t CSecureDelete::WipeFile(const std::u16string& path, const uint8_t* buffer, uint64_t size,
                                bool finalPass) {
    if (m_cancel != 0) {
        DeletePlainly(path);
        return 0;
    }
    platform::File file;
    if (!file.Open(path, platform::Access::ReadWrite, platform::Share::ReadWrite,
                   platform::Disposition::OpenExisting, platform::kAttrNormal)) {
        return 0;
    }
    const uint64_t unit = static_cast<uint64_t>(m_unitSize);
    const uint64_t fullUnits = size / unit;
    const uint32_t remainder = static_cast<uint32_t>(size % unit);
    const uint64_t writes = fullUnits + (remainder != 0 ? 1 : 0);
    for (uint64_t i = 0; i < writes; ++i) {
        const uint32_t bytes = i < fullUnits ? static_cast<uint32_t>(unit) : remainder;
        // A failed write goes unnoticed; the length stays because only `size` bytes are written.
        file.Write(buffer, bytes);
        AddProgress(bytes);
        if (m_observer != nullptr) m_observer->Written(path, m_pass, bytes);
        if (m_cancel != 0) {
            file.Flush();
            file.Close();
            platform::SetAttributes(path, platform::kAttrNormal);
            platform::RemoveFile(path);
            return 0;
        }
    }
    file.Flush();
    file.Close();
    if (m_observer != nullptr) m_observer->FileDone(path, m_pass);

    if (finalPass) {
        const std::u16string maskPath = FolderPart(path) + m_maskName;
        // Only what was renamed is deleted: an existing entry of the mask name is someone else's.
        if (Fits(maskPath) && platform::RenameFile(path, maskPath)) {
            platform::RemoveFile(maskPath);
            SweepNameSlots(maskPath, false);
        }
    }
    return 1;
}

void CSecureDelete::SweepNameSlots(const std::u16string& maskPath, bool directories) {
    if (!Fits(maskPath) || maskPath.size() < kMaskLength) return;
    const size_t first = maskPath.size() - kMaskLength;
    std::u16string name = maskPath;
    // Slot i: first character A+i for i < 26, else Z and second character a+(i-26).
    auto setSlot = [&](size_t i) {
        name = maskPath;
        if (i < kSweepLetters) {
            name[first] = static_cast<char16_t>(u'A' + i);
        } else {
            name[first] = u'Z';
            name[first + 1] = static_cast<char16_t>(u'a' + (i - kSweepLetters));
        }
    };
    // Created new only, so an entry that already had one of these names is left alone.
    std::array<bool, 2 * kSweepLetters> created{};
    for (size_t i = 0; i < created.size(); ++i) {
        setSlot(i);
        if (directories) {
            created[i] = platform::MakeDirectory(name);
        } else {
            platform::File file;
            created[i] = file.Open(name, platform::Access::ReadWrite, platform::Share::ReadWrite,
                                   platform::Disposition::CreateNew, platform::kAttrNormal);
        }
    }
    if (m_observer != nullptr) m_observer->SweepCreated(FolderPart(maskPath));
    for (size_t i = 0; i < created.size(); ++i) {
        if (!created[i]) continue;
        setSlot(i);
        if (directories) {
            platform::RemoveEmptyDirectory(name);
        } else {
            platform::RemoveFile(name);
        }
    }
}

void CSecureDelete::AddProgress(uint32_t bytes) {
    m_bytesDone += bytes;
    const uint64_t total = m_bytesTotal;
    if (m_reporter == nullptr || !m_reporter->UsesConsoleBar()) {
        m_percent = total != 0 ? static_cast<int32_t>(m_bytesDone * 100 / total) : 0;
        return;
    }
    if (total == 0) {
        m_percent = 0;
        return;
    }
    // The bar moves in steps of two once it lags more than two points behind.
    const int64_t p = static_cast<int64_t>(m_bytesDone * 100 / total);
    int64_t position = m_percent;
    if (p != position && p - position > 2 && position < p) {
        while (position < p) {
            m_reporter->BarStep();
            position += 2;
            m_percent = static_cast<int32_t>(position);
        }
    }
    if (p == 100) m_reporter->BarEnd();
}
