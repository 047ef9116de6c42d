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
    // Why a restore failed; each is shown once, before the job returns 0.
    ImageOpenFailed,      // path of the image
    ImageDamaged,         // path of the image: shorter than its header or table says
    NotAnImage,           // path: no image header (or a version-512 image's wrong password)
    NoTempFolder,         // no arguments: no temporary folder for the table copy
    TableCopyFailed,      // path of the table copy
    EntryUnsafePath,      // stored path: not a plain path below the target
    EntryDeviceName,      // stored path: a name is a device name
    EntryTooLong,         // stored path: its target is longer than 259 characters; or the
                          // target, when a file next to it would be (replacing it needs one)
    EntryThroughLink,     // target path: a link or junction below the target folder
    EntryDataDamaged,     // target path: a chunk is short, oversized or does not inflate
    TargetNotAFile,       // target path: exists as a folder, FIFO, socket or device
    TargetCreateFailed,   // target path: the file or a folder cannot be created
    TargetWriteFailed,    // target path: cannot be written or put in place
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
