// Windows paths to host paths through the drive map: the one place that
// knows about drive letters, per-component case-insensitive lookup and the
// WOW64 file-system redirector.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/os/WinApi.h"

namespace emul::detail {

struct ResolvedPath {
    // Nonzero: the path cannot be reached (the Win32 error to report).
    os::DWORD error = 0;
    // The host path of the whole name, spelled as the host holds it where
    // it exists, as given for a last component that does not.
    std::filesystem::path host;
    // The last component names something on the host (a dangling link
    // counts: the link itself is there).
    bool exists = false;
    // The last component's own status (a link not followed) when the lookup
    // already read it; file_type::none when it did not.
    std::filesystem::file_status status;
    // The name was given with a trailing separator.
    bool trailingSeparator = false;
    // The drive root itself (no component below it).
    bool isRoot = false;
    // With wildcards allowed: the last component, when it holds * or ?;
    // `host` is then the folder it applies to.
    std::u16string pattern;
    char16_t drive = 0;
};

enum class Wildcards { Reject, AllowInLast };

// `redirect`: resolve as the 32-bit process sees it on 64-bit Windows
// (System32 -> SysWOW64, Sysnative -> System32).
ResolvedPath ResolvePath(std::u16string_view windowsPath, bool redirect, Wildcards wildcards = Wildcards::Reject);

// Same host entry, whatever the spelling it was reached by.
std::string HostKey(const std::filesystem::path& host);

// Windows spelling of a host file name (UTF-8 on the host).
std::u16string WindowsName(const std::filesystem::path& hostName);
std::filesystem::path HostName(std::u16string_view windowsName);

// Case-insensitive wildcard match with * and ?, as a directory search does.
bool MatchesPattern(std::u16string_view name, std::u16string_view pattern);

}  // namespace emul::detail
