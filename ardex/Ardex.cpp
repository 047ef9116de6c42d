// The job driver: checks before a job, the job itself, and the result line.
#include <clocale>
#include <cstring>

#include "ardex/Ardex.h"
#include "core/ImageReader.h"
#include "core/ImageWriter.h"
#include "core/PasswordRules.h"
#include "platform/FileSystem.h"
#include "platform/Secret.h"

CEncryptInfo g_encryptInfo;
DecryptParams g_decryptParams;
CSecureDelete g_secureDelete;
int32_t g_secureDeleteRequested = 0;
int32_t g_deleteMethod = 0;

namespace {

ArdexFrontEnd g_frontEnd;
ArdexDeleteReporter g_deleteReporter;

bool PathExists(const std::u16string& path) {
    return !path.empty() && platform::GetAttributes(path) != platform::kInvalidAttributes;
}

// The console input speaks Japanese ("jpn" where the C library knows that name, else
// ja_JP.UTF-8 for the character type where it is installed, else the user's locale);
// the previous locale comes back on every way out of the run.
class ConsoleInputLocale {
public:
    ConsoleInputLocale() {
        if (const char* current = std::setlocale(LC_ALL, nullptr)) {
            m_previous = current;
            m_saved = true;
        }
        if (!std::setlocale(LC_ALL, "jpn")) std::setlocale(LC_CTYPE, "ja_JP.UTF-8");
    }
    ~ConsoleInputLocale() {
        if (m_saved) std::setlocale(LC_ALL, m_previous.c_str());
    }
    ConsoleInputLocale(const ConsoleInputLocale&) = delete;
    ConsoleInputLocale& operator=(const ConsoleInputLocale&) = delete;

private:
    std::string m_previous;
    bool m_saved = false;
};

// The passwords leave memory with the run, whichever way it ends.
class PasswordScrub {
public:
    PasswordScrub() = default;
    ~PasswordScrub() {
        platform::WipeSecret(g_encryptInfo.m_password);
        platform::WipeSecret(g_decryptParams.password, sizeof g_decryptParams.password);
    }
    PasswordScrub(const PasswordScrub&) = delete;
    PasswordScrub& operator=(const PasswordScrub&) = delete;
};

// Binds the core and the engine to the console for the length of the run.
class ConsoleBinding {
public:
    ConsoleBinding() {
        SetCoreFrontEnd(&g_frontEnd);
        g_secureDelete.SetReporter(&g_deleteReporter);
    }
    ~ConsoleBinding() {
        SetCoreFrontEnd(nullptr);
        g_secureDelete.SetReporter(nullptr);
    }
    ConsoleBinding(const ConsoleBinding&) = delete;
    ConsoleBinding& operator=(const ConsoleBinding&) = delete;
};

// -S after a finished encryption: only what the image holds, unchanged since it was read,
// is erased; the rest stays and is counted. False when the image could not be read back
// (then nothing is erased) or the engine had no memory.
bool EraseEncryptedSource() {
    ImageSelection selection;
    const bool listed = selection.Load(g_encryptInfo.m_imagePath, g_encryptInfo.m_password) != 0;
    const bool ran = g_secureDelete.Run(g_encryptInfo.m_sources.front(), g_deleteMethod, &selection) != 0;
    const uint64_t kept = g_secureDelete.KeptCount();
    if (kept != 0) PrintString(53, {static_cast<int64_t>(kept)});
    PrintString(33);
    return listed && ran;
}

RunOutcome RunEncryption() {
    if (!CheckEncryptJob(g_encryptInfo)) return RunOutcome::InvalidCommand;
    const int32_t encrypted = EncryptToImage(g_encryptInfo);
    PrintString(encrypted ? 17 : 16);
    // A failed encryption (a declined overwrite included) leaves the source alone.
    if (!encrypted) return RunOutcome::JobFailed;
    if (g_secureDeleteRequested == 1 && !EraseEncryptedSource()) return RunOutcome::JobFailed;
    return RunOutcome::Succeeded;
}

RunOutcome RunDecryption() {
    if (!CheckDecryptJob(g_decryptParams)) return RunOutcome::InvalidCommand;
    const DecryptParams copy = g_decryptParams;
    const int32_t decrypted = DecryptImage(copy);
    PrintString(decrypted ? 14 : 13);
    return decrypted ? RunOutcome::Succeeded : RunOutcome::JobFailed;
}

}  // namespace

int32_t CheckEncryptJob(const CEncryptInfo& info) {
    if (static_cast<uint32_t>(info.m_compressLevel) > 2) {
        PrintString(9);
        return 0;
    }
    const std::u16string source = info.m_sources.empty() ? std::u16string() : info.m_sources.front();
    if (!PathExists(source)) {
        PrintString(6, {DisplayPath(source)});
        return 0;
    }
    if (info.m_password.size() > kPasswordChars) {
        PrintString(18);
        return 0;
    }
    if (info.m_password.empty()) {
        PrintString(10);
        return 0;
    }
    // Decryption does not ask: images made before this check stay readable.
    if (!PasswordFitsCodePage(info.m_password)) {
        PrintString(54);
        return 0;
    }
    return 1;
}

int32_t CheckDecryptJob(DecryptParams& params) {
    if (!PathExists(FieldText(params.imagePath, kPathChars))) {
        PrintString(12);
        return 0;
    }
    // The record holds at most 60 characters, so the length is judged on the password
    // as given, which the command line stores in both job records.
    if (g_encryptInfo.m_password.size() > kPasswordChars) {
        PrintString(18);
        return 0;
    }
    if (FieldText(params.password, kPasswordChars).empty()) {
        PrintString(10);
        return 0;
    }
    uint32_t fileCount = 0;
    std::u16string firstFile;
    return ReadImageInfo(params, fileCount, firstFile) ? 1 : 0;
}

void PrintUsage() {
    PrintString(2);
    PrintString(3);
    PrintString(4);
}

RunOutcome RunArdex(const std::vector<std::u16string>& arguments) {
    ConsoleInputLocale locale;
    // The initialisation of the program: binding the console to the core and the engine,
    // which cannot fail (no application framework is involved).
    ConsoleBinding binding;
    PasswordScrub scrub;
    std::memset(&g_decryptParams, 0, sizeof(g_decryptParams));

    RunOutcome outcome = RunOutcome::InvalidCommand;
    switch (ParseArguments(arguments)) {
    case 1:
        outcome = RunEncryption();
        break;
    case 2:
        outcome = RunDecryption();
        break;
    default:
        break;
    }
    if (outcome == RunOutcome::InvalidCommand) PrintUsage();
    return outcome;
}
