// Wiping secrets (keys, passwords and their ANSI forms) where the compiler cannot drop
// the stores as dead.
#pragma once
#include <cstddef>
#include <string>

namespace platform {

void WipeSecret(void* data, size_t size);

template <typename Char>
void WipeSecret(std::basic_string<Char>& text) {
    WipeSecret(text.data(), text.size() * sizeof(Char));
    text.clear();
}

}  // namespace platform
