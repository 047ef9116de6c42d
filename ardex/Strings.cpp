// Ardex's string table (English).
#include <cstdlib>

#include "ardex/Ardex.h"

namespace {

struct StringEntry {
    int id;
    std::u16string_view text;
};

constexpr StringEntry kStrings[] = {
    {2, u"Usage: \n Ardex  -I \"Full path to Image File\" \n     -E/-D \"Full path to source File or "
        u"Directory\" \n     -P \"Password or Password File\" \n    -C CompressLevel \n    [Optinal] -S "
        u"DeleteMethod \n"},
    {3, u"Important:\n / is same with - \n Case insensitive \n eg. -E equals with -e and /E and /e\n"},
    {4, u"-I Image File Name\n-E Encrypt file or Directory\n-D Decrypt File or Directory\n-P Password or "
        u"Password File\n-C CompressLevel 0-No Compress 1-Fast Compress 2-High Compress\n-S Secure delete "
        u"Method 0-Fill Zero 1-Fill FF 2-Fill Random 3-NSA 4-Old NSA 5-Dod 6-Nato 7-Gutmann\n"},
    {6, u"Can not open souce file: %s"},
    {8, u"%s already exist, do you want to overwrite it?(Y/N)"},
    {9, u"Invalid compress level"},
    {10, u"Password can not be empty"},
    {12, u"Invalid image file"},
    {13, u"Decrypt failed"},
    {14, u"Decrypt finished"},
    {15, u"Password not correct"},
    {16, u"Encrypt failed"},
    {17, u"Encrypt finished"},
    {18, u"Password too long"},
    {19, u"Create image error"},
    {20, u"Encrypt file %s error"},
    {21, u"Not enough memory"},
    {25, u"fill zero method"},
    {26, u"fill \"\"FF\"\" method"},
    {27, u"Random fill method"},
    {28, u"NSA method"},
    {29, u"old NSA method"},
    {30, u"DOD stand method"},
    {31, u"Nato method"},
    {32, u"Gutmann method"},
    {33, u"Secure delete finished"},
    {34, u"The image can only be decrypt for %d times, it is already expired."},
    {35, u"The image can not be decrypt after %4.4d/%2.2d%2.2d."},
    {36, u"Start secure delete %s"},
    {37, u"Exceed max error count %d!"},
    // Why a decryption failed, printed before "Decrypt failed".
    {40, u"Can not open image file %s"},
    {41, u"Image file %s is damaged or incomplete"},
    {42, u"%s is not an image file, or the password is not correct"},
    {43, u"Can not find the temporary folder"},
    {44, u"Can not create temporary file %s"},
    {45, u"Can not restore %s: unsafe path"},
    {46, u"Can not restore %s: device name"},
    {47, u"Can not restore %s: path too long"},
    {48, u"Can not restore %s: link below the target folder"},
    {49, u"Can not restore %s: damaged data"},
    {50, u"Can not restore %s: not a regular file"},
    {51, u"Can not create %s"},
    {52, u"Can not write %s"},
    {53, u"%d items were kept: not in the image, changed since, or could not be removed"},
    {54, u"Password has characters the system code page can not hold"},
};

}  // namespace

std::u16string_view ArdexString(int id) {
    for (const auto& entry : kStrings) {
        if (entry.id == id) return entry.text;
    }
    return {};
}
