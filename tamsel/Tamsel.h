// Tamsel's process-wide objects, defined in main.cpp.
#pragma once
#include "securedelete/SecureDelete.h"

// Erases the temporary folder at logoff.
extern CSecureDelete g_secureDelete;
