// Token, process and memory part of the seam: the real kernel32/advapi32.
#include "platform/win32/Cast.h"

namespace os {
using win32::W;

static_assert(sizeof(::LUID) == sizeof(os::LUID));
static_assert(sizeof(::TOKEN_PRIVILEGES) == sizeof(os::TOKEN_PRIVILEGES));
static_assert(sizeof(::OSVERSIONINFOEXW) == sizeof(os::OSVERSIONINFOEXW));

HANDLE GetCurrentProcess() { return ::GetCurrentProcess(); }
DWORD GetCurrentProcessId() { return ::GetCurrentProcessId(); }

BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token) {
    return ::OpenProcessToken(process, access, token);
}

BOOL LookupPrivilegeValueW(LPCWSTR system, LPCWSTR name, LUID* luid) {
    return ::LookupPrivilegeValueW(W(system), W(name), reinterpret_cast<::PLUID>(luid));
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState, DWORD bufferBytes,
                           TOKEN_PRIVILEGES* previousState, DWORD* returnBytes) {
    return ::AdjustTokenPrivileges(token, disableAll, reinterpret_cast<::PTOKEN_PRIVILEGES>(newState), bufferBytes,
                                   reinterpret_cast<::PTOKEN_PRIVILEGES>(previousState), returnBytes);
}

BOOL CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }

HMODULE GetModuleHandleW(LPCWSTR moduleName) { return ::GetModuleHandleW(W(moduleName)); }

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(::GetProcAddress(module, procName)));
}

DWORD GetVersion() { return ::GetVersion(); }

BOOL GetVersionExW(OSVERSIONINFOEXW* info) {
    return ::GetVersionExW(reinterpret_cast<::OSVERSIONINFOW*>(info));
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD chars) {
    return ::GetModuleFileNameW(module, W(fileName), chars);
}

UINT WinExec(LPCSTR commandLine, UINT show) { return ::WinExec(commandLine, show); }

namespace {
// Both are absent from 32-bit XP's kernel32; resolve them at run time.
template <typename Fn>
Fn Kernel32(const char* name) {
    auto kernel = ::GetModuleHandleW(L"kernel32.dll");
    return kernel ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(kernel, name))) : nullptr;
}
using DisableFn = BOOL(WINAPI*)(PVOID*);
using RevertFn = BOOL(WINAPI*)(PVOID);
}  // namespace

BOOL Wow64DisableWow64FsRedirection(void** oldValue) {
    static const auto fn = Kernel32<DisableFn>("Wow64DisableWow64FsRedirection");
    if (!fn) {
        ::SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    return fn(oldValue);
}

BOOL Wow64RevertWow64FsRedirection(void* oldValue) {
    static const auto fn = Kernel32<RevertFn>("Wow64RevertWow64FsRedirection");
    if (!fn) {
        ::SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    return fn(oldValue);
}

DWORD GetLastError() { return ::GetLastError(); }
void SetLastError(DWORD error) { ::SetLastError(error); }

HANDLE GetProcessHeap() { return ::GetProcessHeap(); }
void* HeapAlloc(HANDLE heap, DWORD flags, std::size_t bytes) { return ::HeapAlloc(heap, flags, bytes); }
BOOL HeapFree(HANDLE heap, DWORD flags, void* mem) { return ::HeapFree(heap, flags, mem); }

}  // namespace os
