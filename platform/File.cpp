// Ownership of the handle is the same on every platform; only Open and Close differ.
#include "platform/File.h"

#include <utility>

#include "platform/Clock.h"

namespace platform {

File::~File() { Close(); }

File::File(File&& other) noexcept : m_handle(std::exchange(other.m_handle, kInvalid)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        m_handle = std::exchange(other.m_handle, kInvalid);
    }
    return *this;
}

bool File::ReadExactly(void* buffer, uint32_t size) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    uint32_t total = 0;
    while (total < size) {
        uint32_t done = 0;
        if (!Read(bytes + total, size - total, done) || done == 0) return false;
        total += done;
    }
    return true;
}

bool OpenUnshared(File& file, const std::u16string& path, Access access, Disposition disposition,
                  uint32_t attributes, int attempts) {
    constexpr uint32_t kRetryMilliseconds = 10;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (attempt > 0) SleepMilliseconds(kRetryMilliseconds);
        if (file.Open(path, access, Share::None, disposition, attributes)) return true;
    }
    return false;
}

}  // namespace platform
