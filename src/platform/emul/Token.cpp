// The process token: which privileges it holds and which are enabled, with
// the LUIDs Windows assigns them.
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/Text.h"
#include "platform/emul/SystemInternal.h"

namespace emul {
namespace {

struct Privilege {
    std::u16string_view name;
    os::DWORD luid;
    bool heldByAdmin;
    bool enabledByDefault;
};

// The elevated administrator token of Windows 7.
constexpr Privilege kPrivileges[] = {
    {u"SeCreateTokenPrivilege", 2, false, false},
    {u"SeAssignPrimaryTokenPrivilege", 3, false, false},
    {u"SeLockMemoryPrivilege", 4, false, false},
    {u"SeIncreaseQuotaPrivilege", 5, true, false},
    {u"SeMachineAccountPrivilege", 6, false, false},
    {u"SeTcbPrivilege", 7, false, false},
    {u"SeSecurityPrivilege", 8, true, false},
    {u"SeTakeOwnershipPrivilege", 9, true, false},
    {u"SeLoadDriverPrivilege", 10, true, false},
    {u"SeSystemProfilePrivilege", 11, true, false},
    {u"SeSystemtimePrivilege", 12, true, false},
    {u"SeProfileSingleProcessPrivilege", 13, true, false},
    {u"SeIncreaseBasePriorityPrivilege", 14, true, false},
    {u"SeCreatePagefilePrivilege", 15, true, false},
    {u"SeCreatePermanentPrivilege", 16, false, false},
    {u"SeBackupPrivilege", 17, true, false},
    {u"SeRestorePrivilege", 18, true, false},
    {u"SeShutdownPrivilege", 19, true, false},
    {u"SeDebugPrivilege", 20, true, false},
    {u"SeAuditPrivilege", 21, false, false},
    {u"SeSystemEnvironmentPrivilege", 22, true, false},
    {u"SeChangeNotifyPrivilege", 23, true, true},
    {u"SeRemoteShutdownPrivilege", 24, true, false},
    {u"SeUndockPrivilege", 25, true, false},
    {u"SeSyncAgentPrivilege", 26, false, false},
    {u"SeEnableDelegationPrivilege", 27, false, false},
    {u"SeManageVolumePrivilege", 28, true, false},
    {u"SeImpersonatePrivilege", 29, true, true},
    {u"SeCreateGlobalPrivilege", 30, true, true},
    {u"SeTrustedCredManAccessPrivilege", 31, false, false},
    {u"SeRelabelPrivilege", 32, false, false},
    {u"SeIncreaseWorkingSetPrivilege", 33, true, false},
    {u"SeTimeZonePrivilege", 34, true, false},
    {u"SeCreateSymbolicLinkPrivilege", 35, true, false},
};
constexpr std::size_t kCount = sizeof(kPrivileges) / sizeof(kPrivileges[0]);

struct TokenEntry {
    bool held = false;
    os::DWORD attributes = 0;  // SE_PRIVILEGE_ENABLED[_BY_DEFAULT]
};

struct TokenState {
    std::mutex mutex;
    TokenEntry entries[kCount];
};

TokenState& State() {
    static TokenState state;
    return state;
}

const Privilege* ByName(std::u16string_view name) {
    for (const auto& p : kPrivileges)
        if (text::EqualNoCase(p.name, name)) return &p;
    return nullptr;
}

std::size_t IndexOf(os::LUID luid) {
    if (luid.HighPart != 0) return kCount;
    for (std::size_t i = 0; i < kCount; ++i)
        if (kPrivileges[i].luid == luid.LowPart) return i;
    return kCount;
}

struct TokenObject : detail::KernelObject {
    explicit TokenObject(os::DWORD a) : KernelObject(Kind::Token), access(a) {}
    os::DWORD access;
};

}  // namespace

namespace detail {
void ResetToken() {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    for (std::size_t i = 0; i < kCount; ++i) {
        state.entries[i].held = kPrivileges[i].heldByAdmin;
        state.entries[i].attributes = kPrivileges[i].enabledByDefault
                                          ? os::SE_PRIVILEGE_ENABLED | os::SE_PRIVILEGE_ENABLED_BY_DEFAULT
                                          : 0;
    }
}
}  // namespace detail

void SetPrivilege(std::u16string_view name, bool held, bool enabled) {
    auto* privilege = ByName(name);
    if (!privilege) return;
    auto& state = State();
    std::lock_guard lock(state.mutex);
    auto& entry = state.entries[privilege - kPrivileges];
    entry.held = held;
    auto byDefault = entry.attributes & os::SE_PRIVILEGE_ENABLED_BY_DEFAULT;
    entry.attributes = held ? (byDefault | (enabled ? os::SE_PRIVILEGE_ENABLED : 0)) : 0;
}

bool PrivilegeEnabled(std::u16string_view name) {
    auto* privilege = ByName(name);
    if (!privilege) return false;
    auto& state = State();
    std::lock_guard lock(state.mutex);
    const auto& entry = state.entries[privilege - kPrivileges];
    return entry.held && (entry.attributes & os::SE_PRIVILEGE_ENABLED);
}

}  // namespace emul

namespace os {

BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token) {
    if (!token) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (process != GetCurrentProcess()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // MAXIMUM_ALLOWED grants whatever the caller may have: the process owns
    // its token, so every right.
    if (access & MAXIMUM_ALLOWED) access |= TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY;
    *token = emul::detail::AddHandle(std::make_shared<emul::TokenObject>(access));
    return TRUE;
}

BOOL LookupPrivilegeValueW(LPCWSTR, LPCWSTR name, LUID* luid) {
    auto* privilege = name ? emul::ByName(name) : nullptr;
    if (!privilege) {
        SetLastError(ERROR_NO_SUCH_PRIVILEGE);
        return FALSE;
    }
    if (luid) *luid = LUID{privilege->luid, 0};
    return TRUE;
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState, DWORD bufferBytes,
                           TOKEN_PRIVILEGES* previousState, DWORD* returnBytes) {
    auto object = emul::detail::FindHandle(token, emul::detail::KernelObject::Kind::Token);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto access = static_cast<emul::TokenObject&>(*object).access;
    if (!(access & TOKEN_ADJUST_PRIVILEGES) || (previousState && !(access & TOKEN_QUERY))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!disableAll && !newState) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }

    auto& state = emul::State();
    std::lock_guard lock(state.mutex);
    struct Change {
        std::size_t index;
        DWORD newAttributes;
    };
    std::vector<Change> changes;
    bool notAll = false;
    auto plan = [&](std::size_t index, bool enable) {
        auto& entry = state.entries[index];
        auto next = (entry.attributes & ~SE_PRIVILEGE_ENABLED) | (enable ? SE_PRIVILEGE_ENABLED : 0);
        if (next == entry.attributes) return;
        for (auto& change : changes)
            if (change.index == index) {
                change.newAttributes = next;
                return;
            }
        changes.push_back({index, next});
    };
    if (disableAll) {
        for (std::size_t i = 0; i < emul::kCount; ++i)
            if (state.entries[i].held) plan(i, false);
    } else {
        for (DWORD i = 0; i < newState->PrivilegeCount; ++i) {
            const auto& wanted = newState->Privileges[i];
            auto index = emul::IndexOf(wanted.Luid);
            if (index >= emul::kCount || !state.entries[index].held) {
                notAll = true;
                continue;
            }
            plan(index, wanted.Attributes & SE_PRIVILEGE_ENABLED);
        }
    }

    // Only the privileges whose state changes are reported, so feeding the
    // previous state back undoes exactly this call.
    auto needed = static_cast<DWORD>(offsetof(TOKEN_PRIVILEGES, Privileges) + changes.size() * sizeof(LUID_AND_ATTRIBUTES));
    if (previousState) {
        if (returnBytes) *returnBytes = needed;
        if (bufferBytes < needed) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        previousState->PrivilegeCount = static_cast<DWORD>(changes.size());
        for (std::size_t i = 0; i < changes.size(); ++i) {
            auto* slot = &previousState->Privileges[0] + i;
            slot->Luid = LUID{emul::kPrivileges[changes[i].index].luid, 0};
            slot->Attributes = state.entries[changes[i].index].attributes;
        }
    }
    for (const auto& change : changes) state.entries[change.index].attributes = change.newAttributes;
    SetLastError(notAll ? ERROR_NOT_ALL_ASSIGNED : ERROR_SUCCESS);
    return TRUE;
}

}  // namespace os
