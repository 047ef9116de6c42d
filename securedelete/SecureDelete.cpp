#include "securedelete/SecureDelete.h"

CSecureDelete::CSecureDelete() = default;
CSecureDelete::~CSecureDelete() = default;

int32_t CSecureDelete::Run(const std::u16string&, int32_t) { return 0; }
