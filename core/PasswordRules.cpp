#include "core/PasswordRules.h"

#include <string>

#include "platform/Text.h"

bool PasswordFitsCodePage(std::u16string_view password) {
    std::string ansi;
    const bool fits = platform::ToAnsiExact(password, ansi);
    // The ANSI form is key material; volatile keeps the compiler from skipping the wipe.
    volatile char* bytes = ansi.data();
    for (size_t i = 0; i < ansi.size(); ++i) bytes[i] = '\0';
    return fits;
}
