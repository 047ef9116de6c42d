// Every core job the monitor runs: one at a time in the process, each under g_jobLock,
// with the front end the program gave the engine.
#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "core/FrontEnd.h"

// Held around every core job; never together with g_watchLock or g_restoredLock.
extern std::mutex g_jobLock;

// The program's message boxes; nullptr (the default) silences the jobs.
void SetEngineFrontEnd(CoreFrontEnd* frontEnd);
CoreFrontEnd* EngineFrontEnd();

enum class EncryptOutcome {
    Encrypted,  // the image holds the file; the plain file is gone when it was to go
    Busy,       // open elsewhere: left for a later pass, silently
    Failed,     // no image was made (the core said why)
    Kept,       // an image was made but could not be shown to hold the file: both stay
};

struct EncryptRequest {
    std::u16string source;
    std::u16string image;
    std::u16string password;
    bool deleteSource = true;
    uint32_t compress = 0;
    bool limitRetry = false;
    uint32_t retryLimit = 0;
    // Asked before the file is touched and again once the job lock is held, when set:
    // false leaves the file as it is (Busy). A job that waited for the lock may find its
    // reason gone by then.
    std::function<bool()> stillWanted;
};

// Encrypts one file into its own image. The plain file is deleted only when, under a
// handle that locks everyone else out, it still has the size and write time it had before
// the job and the same content as a restore of the new image. Messages go to frontEnd.
EncryptOutcome EncryptAndReplace(const EncryptRequest& request, CoreFrontEnd* frontEnd);

int32_t EncryptSingleFile(const std::u16string& source, const std::u16string& image,
                          const std::u16string& password, int32_t deleteSource, uint32_t compress,
                          int32_t limitRetry, uint32_t retryLimit);
// Every file under folder but images (".chy"), through EncryptSingleFile; 1 when all did.
int32_t EncryptFolder(const std::u16string& folder, const std::u16string& password, int32_t deleteSource,
                      uint32_t compress, int32_t limitRetry, uint32_t retryLimit);
// Restores every single-file image under folder next to itself; an image is deleted only
// after its file is really there, whole, with the time the image gave it.
int32_t DecryptFolder(const std::u16string& folder, const std::u16string& password, int32_t deleteImages);

// Ends with ".chy" or ".ary", ignoring letter case.
bool HasExtension(std::u16string_view path, std::u16string_view extension);
