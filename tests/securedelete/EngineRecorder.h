// What the secure delete engine did, as seen through its observer and reporter.
#pragma once
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "securedelete/SecureDelete.h"

namespace sdtest {

struct Event {
    enum Kind { Write, FileDone, Sweep, DirectoryRemoved } kind;
    std::u16string path;
    int32_t pass = 0;
    uint32_t bytes = 0;
    std::vector<uint8_t> content;  // FileDone with snapshots on: the file as it is on disk
};

class Recorder : public SecureDeleteObserver {
public:
    bool snapshots = false;
    std::vector<Event> events;
    // Called after each event has been recorded.
    std::function<void(const Event&)> hook;

    void Written(const std::u16string& path, int32_t pass, uint32_t bytes) override {
        Add({Event::Write, path, pass, bytes, {}});
    }
    void FileDone(const std::u16string& path, int32_t pass) override {
        Event event{Event::FileDone, path, pass, 0, {}};
        if (snapshots) event.content = testing_support::ReadAll(testing_support::NativePath(path));
        Add(std::move(event));
    }
    void SweepCreated(const std::u16string& folder) override { Add({Event::Sweep, folder, 0, 0, {}}); }
    void DirectoryRemoved(const std::u16string& path) override {
        Add({Event::DirectoryRemoved, path, 0, 0, {}});
    }

    std::vector<Event> Of(Event::Kind kind) const {
        std::vector<Event> result;
        std::copy_if(events.begin(), events.end(), std::back_inserter(result),
                     [kind](const Event& e) { return e.kind == kind; });
        return result;
    }

private:
    void Add(Event event) {
        events.push_back(std::move(event));
        if (hook) hook(events.back());
    }
};

class BarReporter : public SecureDeleteReporter {
public:
    bool consoleBar = true;
    int steps = 0;
    int ends = 0;
    int stepsAtEnd = -1;
    std::function<void()> onStep;

    bool UsesConsoleBar() const override { return consoleBar; }
    void BarStep() override {
        ++steps;
        if (onStep) onStep();
    }
    void BarEnd() override {
        ++ends;
        stepsAtEnd = steps;
    }
};

// The byte a random pass writes when it starts in the given second.
inline uint8_t RandomByteForSecond(int64_t second) {
    uint32_t state = static_cast<uint32_t>(second);
    state = state * 214013u + 2531011u;
    return static_cast<uint8_t>((state >> 16) & 0x7FFF);
}

// The 52 sweep names: A..Z then Z followed by a..z, padded with dollar signs to 32 characters.
inline std::vector<std::string> SweepNames() {
    std::vector<std::string> names;
    for (char c = 'A'; c <= 'Z'; ++c) names.push_back(c + std::string(31, '$'));
    for (char c = 'a'; c <= 'z'; ++c) names.push_back(std::string("Z") + c + std::string(30, '$'));
    return names;
}

inline std::vector<std::string> Listing(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace sdtest
