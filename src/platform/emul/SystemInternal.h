// Shared pieces of the emulated machine outside the registry. Each area
// (files, environment, token, ...) keeps its own state in its own file and
// exposes only what another area needs here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/emul/EmulSystem.h"
#include "platform/os/WinApi.h"

namespace emul::detail {

// Per-area resets, called by ResetSystem in this order.
void ResetVersion();
void ResetEnvironment();
void ResetLocale();
void ResetFiles();
void ResetDrives();
void ResetToken();
void ResetProcess();
void ResetShell();

// The program runs as a WOW64 process on 64-bit Windows.
bool IsWow64();
// File-system redirection is in force on the calling thread.
bool RedirectionActive();

// "C:\windows": every derived system path starts here.
inline constexpr std::u16string_view kWindowsDir = u"C:\\windows";

// Environment variables (names compare without case).
bool LookupEnv(std::u16string_view name, std::u16string& value);
void ResetEnvironmentForArch();

// Copies a file the way CopyFileW does, for the emulated cmd.exe.
// `redirect` says whether the path is seen by a 32-bit process.
bool CopyFileAs(std::u16string_view source, std::u16string_view target, bool failIfExists, bool redirect);

// Kernel objects behind HANDLE values: files, searches, tokens. One table
// so CloseHandle serves all of them and a stale handle is detected.
struct KernelObject {
    enum class Kind { File, Find, Token };
    explicit KernelObject(Kind k) : kind(k) {}
    virtual ~KernelObject() = default;
    const Kind kind;
};
os::HANDLE AddHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> FindHandle(os::HANDLE handle, KernelObject::Kind kind);
bool RemoveHandle(os::HANDLE handle, KernelObject::Kind kind);
bool RemoveAnyHandle(os::HANDLE handle);

// Copies text into a caller's buffer the way the Get...DirectoryW family
// does: the length without NUL when it fits, the size needed (with NUL)
// when it does not.
os::UINT CopyOut(std::u16string_view text, os::LPWSTR buffer, os::UINT chars);

}  // namespace emul::detail
