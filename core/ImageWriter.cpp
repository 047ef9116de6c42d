#include "core/ImageWriter.h"

int32_t EncryptToImage(const CEncryptInfo&) { return 0; }
