// Owners of Win32 handles: one class per kind, non-copyable, movable; Close() says whether
// the release worked and Detach() hands the handle over.
#pragma once
#include <windows.h>

#include <utility>

namespace win32 {

// The owning logic every kind shares; Traits names the empty value, what counts as held
// and how a held value is released.
template <class Traits>
class UniqueOwner {
public:
    using Value = typename Traits::Value;

    UniqueOwner() noexcept = default;
    explicit UniqueOwner(Value value) noexcept : m_value(value) {}
    ~UniqueOwner() { Close(); }
    UniqueOwner(const UniqueOwner&) = delete;
    UniqueOwner& operator=(const UniqueOwner&) = delete;
    UniqueOwner(UniqueOwner&& other) noexcept : m_value(other.Detach()) {}
    UniqueOwner& operator=(UniqueOwner&& other) noexcept {
        if (this != &other) Reset(other.Detach());
        return *this;
    }

    bool Valid() const noexcept { return Traits::IsHeld(m_value); }
    Value Get() const noexcept { return m_value; }
    // True when nothing was held or the release worked.
    bool Close() noexcept {
        if (!Valid()) {
            m_value = Traits::kEmpty;
            return true;
        }
        return Traits::Release(std::exchange(m_value, Traits::kEmpty));
    }
    Value Detach() noexcept { return std::exchange(m_value, Traits::kEmpty); }
    void Reset(Value value) noexcept {
        Close();
        m_value = value;
    }
    // For functions that hand a new value back through a pointer.
    Value* Out() noexcept {
        Close();
        return &m_value;
    }

private:
    Value m_value = Traits::kEmpty;
};

struct KernelHandleTraits {
    using Value = HANDLE;
    static constexpr HANDLE kEmpty = nullptr;
    // CreateFileW reports failure as INVALID_HANDLE_VALUE, most others as null.
    static bool IsHeld(HANDLE handle) noexcept { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    static bool Release(HANDLE handle) noexcept { return CloseHandle(handle) != 0; }
};

// A kernel object handle (file, process, thread, event, mapping), closed with CloseHandle.
using Handle = UniqueOwner<KernelHandleTraits>;

}  // namespace win32
