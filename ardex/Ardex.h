// Ardex, the console program: one job per run, given entirely on the command line.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/Format.h"
#include "core/FrontEnd.h"
#include "core/ImageCatalog.h"
#include "core/JobRecords.h"
#include "securedelete/SecureDelete.h"

// The process-wide job state, used by the one job of a run.
extern CEncryptInfo g_encryptInfo;
extern DecryptParams g_decryptParams;
extern CSecureDelete g_secureDelete;
extern int32_t g_secureDeleteRequested;
extern int32_t g_deleteMethod;

// Ardex's string table (English). Unknown ids give an empty text.
std::u16string_view ArdexString(int id);

// Formats string-table entry id and writes it as one console line.
void PrintString(int id, std::initializer_list<FormatArg> args = {});

// 0 invalid, 1 encryption, 2 decryption; fills the job state.
int32_t ParseArguments(const std::vector<std::u16string>& arguments);
// 1 when a password was read from the file (a Windows-form path), else 0.
int32_t ReadPasswordFile(const std::u16string& path);
// 1 when the job may start, else 0 after one message (or the core's).
int32_t CheckEncryptJob(const CEncryptInfo& info);
int32_t CheckDecryptJob(DecryptParams& params);
void PrintUsage();

// A path the way the user knows it: the -I, -E or -D value exactly as typed when the
// path is one of those, else the platform's user form.
std::u16string DisplayPath(const std::u16string& path);

// The core's messages and overwrite questions on the console.
class ArdexFrontEnd : public CoreFrontEnd {
public:
    void ShowCoreMessage(CoreMessage role, const CoreMessageArgs& args) override;
    // Asks until "Y" or "N" (any case); No at end of input, never Cancel.
    OverwriteAnswer AskOverwrite(const std::u16string& path) override;
    void FileStarted(const std::u16string& path) override;
};

// The secure delete engine's start line, console bar and out-of-memory line.
class ArdexDeleteReporter : public SecureDeleteReporter {
public:
    void RunStarted(const std::u16string& path) override;
    void OutOfMemory() override;
    bool UsesConsoleBar() const override { return true; }
    void BarStep() override;
    void BarEnd() override;
};

// What -S may erase after an encryption: the files the finished image lists, with the size
// and last-write time they had when they were read, and the folders it lists. The image
// and its table file never, wherever they lie.
class ImageSelection : public SecureDeleteFilter {
public:
    // 0 when the image's table cannot be read; nothing is then selected.
    int32_t Load(const std::u16string& imagePath, std::u16string_view password);
    bool MayErase(const std::u16string& path, const platform::FindData& found) const override;

private:
    std::unordered_map<std::u16string, CatalogEntry> m_entries;  // by stored path
    std::u16string m_imagePath;
    std::u16string m_tablePath;
};

// How a run ended; main maps it to the exit code.
enum class RunOutcome {
    Succeeded,             // 0
    InitialisationFailed,  // 1
    InvalidCommand,        // 2: the command line, or a check before the job
    JobFailed,             // 3: failed, declined or cancelled
};

// The whole run after the arguments were decoded; main maps the outcome to the exit code.
RunOutcome RunArdex(const std::vector<std::u16string>& arguments);
