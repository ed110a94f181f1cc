// Owning wrapper for a file handle of the seam: closed exactly once, on
// every path out of the scope that opened it.
#pragma once

#include "platform/os/WinApi.h"

namespace platform {

class FileHandle {
public:
    explicit FileHandle(os::HANDLE h) : h_(h) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool Valid() const { return h_ != os::INVALID_HANDLE_VALUE && h_ != nullptr; }
    os::HANDLE get() const { return h_; }
    // Whether the system closed it (a write may fail only here).
    bool Close() {
        bool ok = true;
        if (Valid()) ok = os::CloseHandle(h_) != os::FALSE;
        h_ = os::INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    os::HANDLE h_;
};

}  // namespace platform
