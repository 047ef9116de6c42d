// How the core speaks to the user: each program installs its own CoreFrontEnd, which maps
// a message role to its own string table and shows it its own way.
#pragma once
#include <cstdint>
#include <string>

enum class CoreMessage {
    ImageCreateFailed,    // no arguments
    SourceFileFailed,     // path
    OutOfMemory,          // no arguments
    WrongPassword,        // no arguments
    ErrorLimitReached,    // numbers[0] = maxErrorCount
    DecryptLimitReached,  // numbers[0] = decryptLimit
    ImageExpired,         // numbers = year, month, day
};

struct CoreMessageArgs {
    std::u16string path;
    int32_t numbers[3] = {0, 0, 0};
};

enum class OverwriteAnswer { Yes, No, Cancel };

class CoreFrontEnd {
public:
    virtual ~CoreFrontEnd() = default;
    virtual void ShowCoreMessage(CoreMessage role, const CoreMessageArgs& args) = 0;
    virtual OverwriteAnswer AskOverwrite(const std::u16string& path) = 0;
    // A file starts being encrypted or restored (Ardex prints its path).
    virtual void FileStarted(const std::u16string& /*path*/) {}
};

// The front end stays owned by the caller; nullptr silences the core and answers No.
void SetCoreFrontEnd(CoreFrontEnd* frontEnd);

void ShowCoreMessage(CoreMessage role, const CoreMessageArgs& args = {});
OverwriteAnswer AskOverwrite(const std::u16string& path);
void ReportFileStarted(const std::u16string& path);
