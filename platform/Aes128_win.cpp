// AES-128-ECB through Windows CNG. The algorithm provider is opened once per process;
// each Aes128 owns the buffer its key object lives in, so setting a key allocates nothing.
#include "platform/Aes128.h"
#include "platform/Secret.h"

#include <windows.h>
#include <bcrypt.h>

#include <climits>
#include <cstring>

namespace platform {

namespace {

bool Ok(NTSTATUS status) { return status >= 0; }

class AesProvider {
public:
    AesProvider() {
        BCRYPT_ALG_HANDLE handle = nullptr;
        if (!Ok(BCryptOpenAlgorithmProvider(&handle, BCRYPT_AES_ALGORITHM, nullptr, 0))) return;
        auto* mode = reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_ECB));
        const ULONG modeBytes = static_cast<ULONG>(sizeof(BCRYPT_CHAIN_MODE_ECB));
        DWORD objectLength = 0;
        ULONG got = 0;
        if (!Ok(BCryptSetProperty(handle, BCRYPT_CHAINING_MODE, mode, modeBytes, 0)) ||
            !Ok(BCryptGetProperty(handle, BCRYPT_OBJECT_LENGTH,
                                  reinterpret_cast<PUCHAR>(&objectLength), sizeof objectLength,
                                  &got, 0))) {
            BCryptCloseAlgorithmProvider(handle, 0);
            return;
        }
        m_handle = handle;
        m_objectLength = objectLength;
    }
    ~AesProvider() {
        if (m_handle != nullptr) BCryptCloseAlgorithmProvider(m_handle, 0);
    }
    AesProvider(const AesProvider&) = delete;
    AesProvider& operator=(const AesProvider&) = delete;

    BCRYPT_ALG_HANDLE Handle() const { return m_handle; }
    DWORD ObjectLength() const { return m_objectLength; }

private:
    BCRYPT_ALG_HANDLE m_handle = nullptr;
    DWORD m_objectLength = 0;
};

const AesProvider& Provider() {
    static const AesProvider provider;
    return provider;
}

// CNG counts in ULONG; stay well below it and on a block boundary.
constexpr size_t kMaxBlocksPerCall = (ULONG_MAX / 2) / Aes128::kBlockSize;

}  // namespace

struct Aes128::State {
    BCRYPT_KEY_HANDLE key = nullptr;
    PUCHAR object = nullptr;  // key object storage, sized once by the provider
    ULONG objectLength = 0;

    void DestroyKey() {
        if (key != nullptr) BCryptDestroyKey(key);
        key = nullptr;
    }
};

Aes128::Aes128() : m_state(new State) {
    const AesProvider& provider = Provider();
    if (provider.Handle() != nullptr && provider.ObjectLength() > 0) {
        m_state->objectLength = provider.ObjectLength();
        m_state->object = new UCHAR[m_state->objectLength];
    }
}

Aes128::~Aes128() {
    m_state->DestroyKey();
    if (m_state->object != nullptr) WipeSecret(m_state->object, m_state->objectLength);
    delete[] m_state->object;
    delete m_state;
}

bool Aes128::SetKey(const uint8_t key[kKeySize]) {
    m_state->DestroyKey();
    if (FaultInjected() || m_state->object == nullptr) return false;
    BCRYPT_KEY_HANDLE handle = nullptr;
    if (!Ok(BCryptGenerateSymmetricKey(Provider().Handle(), &handle, m_state->object,
                                       m_state->objectLength, const_cast<PUCHAR>(key),
                                       static_cast<ULONG>(kKeySize), 0))) {
        return false;
    }
    m_state->key = handle;
    return true;
}

namespace {

template <typename Fn>
bool Run(Fn fn, BCRYPT_KEY_HANDLE key, const uint8_t* in, uint8_t* out, size_t blocks) {
    if (key == nullptr) return false;
    while (blocks > 0) {
        const size_t now = blocks < kMaxBlocksPerCall ? blocks : kMaxBlocksPerCall;
        const ULONG bytes = static_cast<ULONG>(now * Aes128::kBlockSize);
        ULONG done = 0;
        if (!Ok(fn(key, const_cast<PUCHAR>(in), bytes, nullptr, nullptr, 0, out, bytes, &done, 0)) ||
            done != bytes) {
            return false;
        }
        in += bytes;
        out += bytes;
        blocks -= now;
    }
    return true;
}

}  // namespace

bool Aes128::EncryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks) {
    if (FaultInjected()) return false;
    return Run(BCryptEncrypt, m_state->key, in, out, blocks);
}

bool Aes128::DecryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks) {
    if (FaultInjected()) return false;
    return Run(BCryptDecrypt, m_state->key, in, out, blocks);
}

}  // namespace platform
