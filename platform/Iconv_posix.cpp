#include "platform/Iconv_posix.h"

#include <errno.h>

namespace platform {

Iconv::~Iconv() {
    if (Valid()) iconv_close(m_cd);
}

bool Iconv::Convert(const char*& in, size_t& inLeft, std::string& out) {
    char buffer[1024];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof(buffer);
        const size_t result = iconv(m_cd, const_cast<char**>(&in), &inLeft, &outPtr, &outLeft);
        out.append(buffer, sizeof(buffer) - outLeft);
        if (result == static_cast<size_t>(-1)) {
            if (errno == E2BIG) continue;
            Reset();
            return false;
        }
    }
    char* outPtr = buffer;
    size_t outLeft = sizeof(buffer);
    iconv(m_cd, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, sizeof(buffer) - outLeft);
    return true;
}

void Iconv::Reset() { iconv(m_cd, nullptr, nullptr, nullptr, nullptr); }

}  // namespace platform
