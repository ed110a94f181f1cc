// Shared between the emulated registry's files: raw-path navigation, the
// standard keys of a fresh machine, security descriptors, tree export and
// import. Callers hold the store's mutex as noted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/emul/RegText.h"
#include "platform/emul/RegistryStore.h"
#include "platform/emul/RegistryViews.h"
#include "platform/os/WinApi.h"

namespace emul::reg {

// HKEY_CURRENT_USER is this user's hive below HKEY_USERS: the SID Wine uses
// unless emul::SetCurrentUserSid chose another (a real disk's user).
inline constexpr std::u16string_view kDefaultCurrentUserSid = u"S-1-5-21-0-0-0-1000";
std::u16string_view CurrentUserSid();
// HKEY_CURRENT_USER's key below HKEY_USERS, as a path of one name.
const Path& CurrentUserPath();
// Back to the default SID; the caller lays the standard keys out again.
void ResetCurrentUserSid();

// Rights a denial takes away. READ_CONTROL always remains, and WRITE_DAC
// too unless the key says otherwise: administrators own nearly every key,
// but not those of the system's installer account.
inline constexpr os::REGSAM kReadRights = os::KEY_QUERY_VALUE | os::KEY_ENUMERATE_SUB_KEYS | os::KEY_NOTIFY;
inline constexpr os::REGSAM kDeleteRight = 0x00010000;
inline constexpr os::REGSAM kWriteRights =
    os::KEY_SET_VALUE | os::KEY_CREATE_SUB_KEY | os::KEY_CREATE_LINK | kDeleteRight;
os::REGSAM DeniedRights(const Node* node);

Node* RootNode(Root root);
// "\REGISTRY\MACHINE" -> Machine etc.; a link's target names keys this way.
std::u16string_view RootName(Root root);

// "HKEY_LOCAL_MACHINE\SOFTWARE\X" (or HKLM\...) in the raw namespace.
// HKEY_CURRENT_USER and HKEY_CLASSES_ROOT resolve to where they live.
bool ParseFullPath(std::u16string_view full, Root& root, Path& raw);
// The raw full name of a key, as ParseFullPath accepts it.
std::u16string FullName(const Node* node);

// Follows raw names from `from`. Links are followed on the way, and at the
// last name too unless openLink. Null when a key is missing. Needs the lock.
Node* WalkRaw(Node* from, const std::vector<std::u16string>& names, std::size_t begin, bool openLink);
// The key a link points at, or null (missing target, loop).
Node* LinkTarget(const Node* link, int depth = 0);

// Adds what a fresh machine of the current architecture holds; run with
// the lock held exclusively, and again whenever the architecture changes.
void EnsureStandardKeys(bool windows64);
// Brings the standard keys in line with emul::GetArch(); takes the lock
// itself, so call it before locking.
void SyncArch();
// Forgets the layout, so the next SyncArch lays the standard keys out again.
void ForgetLayout();

// Security descriptors in the emulation's own encoding (see RegistrySecurity).
std::vector<std::uint8_t> DescribeSecurity(const Node* node, os::SECURITY_INFORMATION info);
os::LSTATUS ApplySecurity(Node* node, os::SECURITY_INFORMATION info, const void* sd);

// The subtree as .reg keys: parents before children, subkeys sorted,
// values in creation order. Paths start with `base`.
void ExportTree(const Node* node, const std::u16string& base, std::vector<regtext::Key>& out,
                bool skipVolatile = false);

}  // namespace emul::reg
