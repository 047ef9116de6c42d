// Ownership of the handle is the same on every platform; only Open and Close differ.
#include "platform/File.h"

#include <utility>

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

}  // namespace platform
