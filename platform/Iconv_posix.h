// Owner of one iconv conversion descriptor (POSIX backend only).
#pragma once
#include <iconv.h>

#include <cstddef>
#include <string>

namespace platform {

class Iconv {
public:
    Iconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Iconv();
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool Valid() const { return m_cd != Invalid(); }
    // Converts in as far as it can; returns false at an input sequence the target cannot
    // take (in then points at it) and true when all input is consumed.
    bool Convert(const char*& in, size_t& inLeft, std::string& out);
    void Reset();

private:
    static iconv_t Invalid() { return reinterpret_cast<iconv_t>(-1); }
    iconv_t m_cd;
};

}  // namespace platform
