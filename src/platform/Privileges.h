// Switching one privilege of the process token, as hive save and restore
// need (SeBackupPrivilege, SeRestorePrivilege).
#pragma once

#include "platform/os/WinApi.h"

namespace platform {

// Enables or disables `name` in the process token. Returns 0 on success or
// the Windows error code of the failing step (token open, name lookup,
// adjustment); never throws. A privilege the token does not hold still
// gives 0.
//
// `wasEnabled` tells the caller whether the privilege was enabled before
// the call, so it disables it again afterwards only when it was not. It is
// true on every failure and on the Windows 9x family, so such a caller
// leaves the token alone. When the adjustment changed nothing (already in
// the requested state, or not held) the system lists no previous state; the
// state before was then the requested one, and `wasEnabled` reports that:
// an enabling caller never disables a privilege that was on before it came.
os::DWORD EnablePrivilege(const char16_t* name, bool enable, bool& wasEnabled);

// Enables a privilege for the scope and puts it back to its earlier state.
class TPrivilegeScope {
public:
    explicit TPrivilegeScope(const char16_t* name);
    ~TPrivilegeScope();
    TPrivilegeScope(const TPrivilegeScope&) = delete;
    TPrivilegeScope& operator=(const TPrivilegeScope&) = delete;
    bool Enabled() const { return enabled_; }

private:
    const char16_t* name_;
    bool enabled_ = false;
    bool wasEnabled_ = true;
};

}  // namespace platform
