#include "platform/Secret.h"

#include <windows.h>

namespace platform {

void WipeSecret(void* data, size_t size) { SecureZeroMemory(data, size); }

}  // namespace platform
