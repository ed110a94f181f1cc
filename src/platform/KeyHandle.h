// Owning wrapper for a registry key handle: closed exactly once, on every
// path out of the scope that opened it. Predefined roots are never closed.
#pragma once

#include <string>
#include <utility>

#include "platform/os/WinApi.h"

namespace platform {

class KeyHandle {
public:
    KeyHandle() = default;
    explicit KeyHandle(os::HKEY key) : key_(key) {}
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    KeyHandle(KeyHandle&& other) noexcept : key_(other.release()) {}
    KeyHandle& operator=(KeyHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~KeyHandle() { reset(); }

    os::HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }

    // For the out-parameter of RegOpenKeyExW / RegCreateKeyExW; closes
    // whatever the wrapper held before.
    os::HKEY* put() {
        reset();
        return &key_;
    }

    os::HKEY release() { return std::exchange(key_, nullptr); }

    void reset(os::HKEY key = nullptr) {
        auto old = std::exchange(key_, key);
        if (old && !IsPredefined(old)) os::RegCloseKey(old);
    }

    static bool IsPredefined(os::HKEY key) {
        auto v = os::KeyValue32(key);
        return v >= 0x80000000u && v <= 0x80000006u;
    }

private:
    os::HKEY key_ = nullptr;
};

// One leading "\" names the same key as the path without it. A pointer into
// `key` rather than a copy: every registry read of a scan opens a key.
inline const char16_t* RelativeKeyPath(const std::u16string& key) {
    return key.c_str() + (!key.empty() && key.front() == u'\\' ? 1 : 0);
}

}  // namespace platform
