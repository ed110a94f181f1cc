// One owning wrapper for every kind of system handle: closed exactly once,
// on every path out of the scope that holds it. A kind is a traits type
// naming the handle type, the value that means "none" and how to close it.
#pragma once

#include <utility>

#include "platform/os/WinApi.h"

namespace platform {

template <typename Traits>
class UniqueHandle {
public:
    using pointer = typename Traits::pointer;

    UniqueHandle() = default;
    explicit UniqueHandle(pointer handle) : handle_(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    pointer get() const { return handle_; }
    explicit operator bool() const { return Traits::IsValid(handle_); }

    // For an out-parameter of the call that opens the handle; closes what
    // was held before. Whatever the call leaves there on failure is taken
    // for "none" only when the traits say so, so callers check its result.
    pointer* put() {
        reset();
        return &handle_;
    }

    pointer release() { return std::exchange(handle_, Traits::Invalid()); }

    // Closing keeps the thread's last error: a caller that closes on its
    // way out still reports why the operation before failed.
    void reset(pointer handle = Traits::Invalid()) {
        auto old = std::exchange(handle_, handle);
        if (!Traits::IsValid(old)) return;
        auto error = os::GetLastError();
        Traits::Close(old);
        os::SetLastError(error);
    }

    // Closes now: false when the system refused (a write may fail only
    // here), with its reason in the last error.
    bool Close() {
        auto old = release();
        return !Traits::IsValid(old) || Traits::Close(old);
    }

private:
    pointer handle_ = Traits::Invalid();
};

struct KeyTraits {
    using pointer = os::HKEY;
    static pointer Invalid() { return nullptr; }
    // Predefined roots are never closed.
    static bool IsPredefined(pointer key) {
        auto v = os::KeyValue32(key);
        return v >= 0x80000000u && v <= 0x80000006u;
    }
    static bool IsValid(pointer key) { return key != nullptr; }
    static bool Close(pointer key) { return IsPredefined(key) || os::RegCloseKey(key) == os::ERROR_SUCCESS; }
};

// Files and tokens: CreateFileW answers INVALID_HANDLE_VALUE, token calls
// leave NULL; neither is closed.
struct FileTraits {
    using pointer = os::HANDLE;
    static pointer Invalid() { return os::INVALID_HANDLE_VALUE; }
    static bool IsValid(pointer h) { return h != os::INVALID_HANDLE_VALUE && h != nullptr; }
    static bool Close(pointer h) { return os::CloseHandle(h) != os::FALSE; }
};

struct FindTraits {
    using pointer = os::HANDLE;
    static pointer Invalid() { return os::INVALID_HANDLE_VALUE; }
    static bool IsValid(pointer h) { return h != os::INVALID_HANDLE_VALUE && h != nullptr; }
    static bool Close(pointer h) { return os::FindClose(h) != os::FALSE; }
};

using KeyHandle = UniqueHandle<KeyTraits>;
using FileHandle = UniqueHandle<FileTraits>;
using TokenHandle = UniqueHandle<FileTraits>;
using FindHandle = UniqueHandle<FindTraits>;

}  // namespace platform
