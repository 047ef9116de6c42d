#include "core/PasswordRules.h"

#include <string>

#include "platform/Secret.h"
#include "platform/Text.h"

bool PasswordFitsCodePage(std::u16string_view password) {
    std::string ansi;
    const bool fits = platform::ToAnsiExact(password, ansi);
    platform::WipeSecret(ansi);  // the ANSI form is key material
    return fits;
}
