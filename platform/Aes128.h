// AES-128 in ECB use, bound to the platform's library: OpenSSL libcrypto on POSIX,
// Windows CNG (bcrypt) on Windows. Both use the CPU's AES instructions where present.
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform {

class Aes128 {
public:
    static constexpr size_t kKeySize = 16;
    static constexpr size_t kBlockSize = 16;

    Aes128();
    ~Aes128();
    Aes128(const Aes128&) = delete;
    Aes128& operator=(const Aes128&) = delete;

    // Expands the key once; later calls reuse it for any number of blocks.
    bool SetKey(const uint8_t key[kKeySize]);
    // in and out may be the same buffer.
    bool EncryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks);
    bool DecryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks);

    // Test seam for a library that fails: operations (SetKey and each block call) are
    // counted from 0 after this call, and operation failAt fails as a missing provider
    // would, alone, so that each failure has to stop its caller by itself. A negative
    // failAt turns the fault off. Process-wide.
    static void SetFaultForTests(int64_t failAt);
    // The operations counted since the last SetFaultForTests.
    static int64_t OperationsForTests();

private:
    // Counts one operation; true when the test seam makes it fail.
    static bool FaultInjected();

    struct State;
    State* m_state = nullptr;
};

}  // namespace platform
