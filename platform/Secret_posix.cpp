#include "platform/Secret.h"

#include <openssl/crypto.h>

namespace platform {

void WipeSecret(void* data, size_t size) { OPENSSL_cleanse(data, size); }

}  // namespace platform
