#include "platform/Privileges.h"

#include "platform/Handle.h"

namespace platform {

os::DWORD EnablePrivilege(const char16_t* name, bool enable, bool& wasEnabled) {
    wasEnabled = true;
    // The Windows 9x family sets the top bit and has no token privileges.
    if (os::GetVersion() > 0x80000000u) return 0;

    TokenHandle token;
    if (!os::OpenProcessToken(os::GetCurrentProcess(), os::MAXIMUM_ALLOWED, token.put())) {
        token.release();  // whatever the failed call left there is no handle
        return os::GetLastError();
    }

    os::LUID luid{};
    if (!os::LookupPrivilegeValueW(nullptr, name, &luid)) return os::GetLastError();

    os::TOKEN_PRIVILEGES request{};
    request.PrivilegeCount = 1;
    request.Privileges[0].Luid = luid;
    request.Privileges[0].Attributes = enable ? os::SE_PRIVILEGE_ENABLED : 0;

    os::TOKEN_PRIVILEGES previous{};
    os::DWORD returned = 0;
    if (!os::AdjustTokenPrivileges(token.get(), os::FALSE, &request, sizeof previous, &previous, &returned))
        return os::GetLastError();

    // No entry means the adjustment changed nothing: the state before the
    // call was the requested one.
    wasEnabled = enable;
    for (os::DWORD i = 0; i < previous.PrivilegeCount && i < 1; ++i) {
        const auto& entry = previous.Privileges[i];
        if (entry.Luid.LowPart == luid.LowPart && entry.Luid.HighPart == luid.HighPart)
            wasEnabled = (entry.Attributes & os::SE_PRIVILEGE_ENABLED) != 0;
    }
    return 0;
}

TPrivilegeScope::TPrivilegeScope(const char16_t* name) : name_(name) {
    enabled_ = EnablePrivilege(name_, true, wasEnabled_) == 0;
}

TPrivilegeScope::~TPrivilegeScope() {
    if (enabled_ && !wasEnabled_) {
        bool ignored = true;
        EnablePrivilege(name_, false, ignored);
    }
}

}  // namespace platform
