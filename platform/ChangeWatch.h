// Notice of changes below a folder, so that a folder nobody touched need not be listed
// again. Where the system gives no notice (the POSIX backend, some network shares) Start
// fails and the caller lists every time.
#pragma once
#include <string>

namespace platform {

class ChangeWatch {
public:
    ChangeWatch() = default;
    ~ChangeWatch();
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // Names, sizes, write times and attributes in the folder and every folder below it.
    bool Start(const std::u16string& folder);
    // Whether anything changed since Start or the previous call; also true when nothing is
    // watched. The watch is armed again before it returns, so no later change is missed.
    bool TakeChanges();

private:
    void Stop();
    void* m_handle = nullptr;
};

}  // namespace platform
