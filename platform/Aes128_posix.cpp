// AES-128-ECB through OpenSSL's EVP layer, which picks AES-NI (or another hardware path)
// at run time when the CPU has it.
#include "platform/Aes128.h"
#include "platform/Secret.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <climits>
#include <cstring>

namespace platform {

namespace {

// Fetched once: the implicit fetch behind EVP_aes_128_ecb() would repeat a provider
// lookup on every context initialisation.
const EVP_CIPHER* EcbCipher() {
    static EVP_CIPHER* const cipher = EVP_CIPHER_fetch(nullptr, "AES-128-ECB", nullptr);
    return cipher;
}

// EVP counts in int; stay well below it and on a block boundary.
constexpr size_t kMaxBlocksPerUpdate = (INT_MAX / 2) / Aes128::kBlockSize;

}  // namespace

struct Aes128::State {
    EVP_CIPHER_CTX* encrypt = nullptr;
    EVP_CIPHER_CTX* decrypt = nullptr;
    uint8_t key[kKeySize] = {};
    bool haveKey = false;
    // Each direction expands the key lazily, the first time it is used after SetKey.
    bool encryptReady = false;
    bool decryptReady = false;
    bool encryptCipherSet = false;
    bool decryptCipherSet = false;
};

Aes128::Aes128() : m_state(new State) {
    m_state->encrypt = EVP_CIPHER_CTX_new();
    m_state->decrypt = EVP_CIPHER_CTX_new();
}

Aes128::~Aes128() {
    EVP_CIPHER_CTX_free(m_state->encrypt);
    EVP_CIPHER_CTX_free(m_state->decrypt);
    WipeSecret(m_state->key, sizeof m_state->key);
    delete m_state;
}

bool Aes128::SetKey(const uint8_t key[kKeySize]) {
    if (FaultInjected()) {
        m_state->haveKey = false;
        return false;
    }
    std::memcpy(m_state->key, key, kKeySize);
    m_state->haveKey = true;
    m_state->encryptReady = false;
    m_state->decryptReady = false;
    return true;
}

namespace {

bool Prepare(EVP_CIPHER_CTX* ctx, bool encrypt, const uint8_t* key, bool& cipherSet) {
    if (ctx == nullptr || EcbCipher() == nullptr) return false;
    const int enc = encrypt ? 1 : 0;
    if (!cipherSet) {
        if (EVP_CipherInit_ex(ctx, EcbCipher(), nullptr, nullptr, nullptr, enc) != 1) return false;
        EVP_CIPHER_CTX_set_padding(ctx, 0);
        cipherSet = true;
    }
    // Only the key changes: the cipher and the padding setting stay in the context.
    return EVP_CipherInit_ex(ctx, nullptr, nullptr, key, nullptr, enc) == 1;
}

bool Run(EVP_CIPHER_CTX* ctx, const uint8_t* in, uint8_t* out, size_t blocks) {
    while (blocks > 0) {
        const size_t now = blocks < kMaxBlocksPerUpdate ? blocks : kMaxBlocksPerUpdate;
        const int bytes = static_cast<int>(now * Aes128::kBlockSize);
        int done = 0;
        if (EVP_CipherUpdate(ctx, out, &done, in, bytes) != 1 || done != bytes) return false;
        in += bytes;
        out += bytes;
        blocks -= now;
    }
    return true;
}

}  // namespace

bool Aes128::EncryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks) {
    if (FaultInjected() || !m_state->haveKey) return false;
    if (!m_state->encryptReady) {
        if (!Prepare(m_state->encrypt, true, m_state->key, m_state->encryptCipherSet)) return false;
        m_state->encryptReady = true;
    }
    return Run(m_state->encrypt, in, out, blocks);
}

bool Aes128::DecryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks) {
    if (FaultInjected() || !m_state->haveKey) return false;
    if (!m_state->decryptReady) {
        if (!Prepare(m_state->decrypt, false, m_state->key, m_state->decryptCipherSet)) return false;
        m_state->decryptReady = true;
    }
    return Run(m_state->decrypt, in, out, blocks);
}

}  // namespace platform
