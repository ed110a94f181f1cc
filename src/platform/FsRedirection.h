#pragma once
// Turns off WOW64 file-system redirection on this thread for its lifetime.
// Fails (and changes nothing) where there is no WOW64: 32-bit Windows, or a
// 64-bit process.

#include "platform/os/WinApi.h"

namespace platform {

class TRedirectionOff {
public:
    TRedirectionOff() : ok_(os::Wow64DisableWow64FsRedirection(&old_) != 0) {}
    ~TRedirectionOff() {
        if (ok_) os::Wow64RevertWow64FsRedirection(old_);
    }
    TRedirectionOff(const TRedirectionOff&) = delete;
    TRedirectionOff& operator=(const TRedirectionOff&) = delete;
    bool ok() const { return ok_; }

private:
    void* old_ = nullptr;
    bool ok_;
};

}  // namespace platform
