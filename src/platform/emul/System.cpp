// Version, modules and their exports, system folders, heap and clock of the
// emulated machine.
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>

#include "platform/Text.h"
#include "platform/emul/SystemInternal.h"

namespace emul {
namespace {

constexpr os::DWORD kModNotFound = 126;
constexpr os::DWORD kProcNotFound = 127;

struct VersionState {
    std::mutex mutex;
    os::DWORD major = 6, minor = 1, build = 7601;
    os::BYTE productType = os::VER_NT_WORKSTATION;
    std::u16string servicePack = u"Service Pack 1";
    std::u16string moduleFileName = u"C:\\Tallowmend\\tallowmend.exe";
    bool isWow64ProcessAvailable = true;
};

VersionState& State() {
    static VersionState state;
    return state;
}

// Fixed, distinct module handles; only their identity matters.
os::HMODULE const kExe = reinterpret_cast<os::HMODULE>(std::uintptr_t{0x00400000});
os::HMODULE const kKernel32 = reinterpret_cast<os::HMODULE>(std::uintptr_t{0x7B810000});
os::HMODULE const kNtdll = reinterpret_cast<os::HMODULE>(std::uintptr_t{0x7BC10000});
os::HMODULE const kAdvapi32 = reinterpret_cast<os::HMODULE>(std::uintptr_t{0x7E3A0000});
os::HMODULE const kShell32 = reinterpret_cast<os::HMODULE>(std::uintptr_t{0x7D8F0000});
os::HMODULE const kUser32 = reinterpret_cast<os::HMODULE>(std::uintptr_t{0x7E8C0000});

struct KnownModule {
    std::u16string_view name;
    os::HMODULE handle;
};
const KnownModule kModules[] = {
    {u"kernel32", kKernel32}, {u"ntdll", kNtdll}, {u"advapi32", kAdvapi32},
    {u"shell32", kShell32},   {u"user32", kUser32},
};

os::BOOL OS_WINAPI IsWow64ProcessExport(os::HANDLE process, os::BOOL* wow64) {
    if (!wow64 || (process != os::GetCurrentProcess() && !process)) {
        os::SetLastError(os::ERROR_INVALID_PARAMETER);
        return os::FALSE;
    }
    *wow64 = detail::IsWow64() ? os::TRUE : os::FALSE;
    return os::TRUE;
}

template <typename Fn>
os::FARPROC Export(Fn fn) {
    return reinterpret_cast<os::FARPROC>(reinterpret_cast<void*>(fn));
}

}  // namespace

namespace detail {
void ResetVersion() {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.major = 6;
    state.minor = 1;
    state.build = 7601;
    state.productType = os::VER_NT_WORKSTATION;
    state.servicePack = u"Service Pack 1";
    state.moduleFileName = u"C:\\Tallowmend\\tallowmend.exe";
    state.isWow64ProcessAvailable = true;
}
}  // namespace detail

void SetVersion(os::DWORD major, os::DWORD minor, os::DWORD build, os::BYTE productType,
                std::u16string_view servicePack) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.major = major;
    state.minor = minor;
    state.build = build;
    state.productType = productType;
    state.servicePack = servicePack;
}

void SetModuleFileName(std::u16string_view path) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.moduleFileName = path;
}

void SetIsWow64ProcessAvailable(bool available) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.isWow64ProcessAvailable = available;
}

}  // namespace emul

namespace os {

HMODULE GetModuleHandleW(LPCWSTR moduleName) {
    if (!moduleName) return emul::kExe;
    std::u16string name(moduleName);
    auto slash = name.find_last_of(u"\\/");
    if (slash != std::u16string::npos) name.erase(0, slash + 1);
    if (name.size() > 4 && text::EqualNoCase(std::u16string_view(name).substr(name.size() - 4), u".dll"))
        name.resize(name.size() - 4);
    for (const auto& module : emul::kModules)
        if (text::EqualNoCase(name, module.name)) return module.handle;
    SetLastError(emul::kModNotFound);
    return nullptr;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
    std::string_view name = procName ? procName : "";
    FARPROC found = nullptr;
    if (module == emul::kKernel32) {
        bool available;
        {
            auto& state = emul::State();
            std::lock_guard lock(state.mutex);
            available = state.isWow64ProcessAvailable;
        }
        if (name == "IsWow64Process" && available) found = emul::Export(&emul::IsWow64ProcessExport);
        if (name == "Wow64DisableWow64FsRedirection") found = emul::Export(&Wow64DisableWow64FsRedirection);
        if (name == "Wow64RevertWow64FsRedirection") found = emul::Export(&Wow64RevertWow64FsRedirection);
        if (name == "GetSystemWow64DirectoryW") found = emul::Export(&GetSystemWow64DirectoryW);
    } else if (module == emul::kAdvapi32) {
        if (name == "RegDeleteKeyExW") found = emul::Export(&RegDeleteKeyExW);
    }
    // ntdll exports nothing the program asks for: in particular no
    // "wine_get_version", which is how tests tell Wine from this machine.
    if (!found) SetLastError(emul::kProcNotFound);
    return found;
}

DWORD GetVersion() {
    auto& state = emul::State();
    std::lock_guard lock(state.mutex);
    // Low byte major, next byte minor, high word build; the top bit stays
    // clear on the NT family.
    return (state.major & 0xFF) | ((state.minor & 0xFF) << 8) | ((state.build & 0x7FFF) << 16);
}

BOOL GetVersionExW(OSVERSIONINFOEXW* info) {
    constexpr DWORD kShortSize = offsetof(OSVERSIONINFOEXW, wServicePackMajor);
    if (!info || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXW) && info->dwOSVersionInfoSize != kShortSize)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    auto& state = emul::State();
    std::lock_guard lock(state.mutex);
    info->dwMajorVersion = state.major;
    info->dwMinorVersion = state.minor;
    info->dwBuildNumber = state.build;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    auto sp = std::u16string_view(state.servicePack).substr(0, 127);
    std::fill(std::begin(info->szCSDVersion), std::end(info->szCSDVersion), u'\0');
    sp.copy(info->szCSDVersion, sp.size());
    if (info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXW)) {
        // "Service Pack N" carries its number into the extended fields.
        WORD spMajor = 0;
        if (sp.starts_with(u"Service Pack ") && sp.size() > 13 && sp[13] >= u'0' && sp[13] <= u'9')
            spMajor = static_cast<WORD>(sp[13] - u'0');
        info->wServicePackMajor = spMajor;
        info->wServicePackMinor = 0;
        info->wSuiteMask = 0x100;  // VER_SUITE_SINGLEUSERTS, as a workstation reports
        info->wProductType = state.productType;
        info->wReserved = 0;
    }
    return TRUE;
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD chars) {
    std::u16string path;
    if (!module || module == emul::kExe) {
        auto& state = emul::State();
        std::lock_guard lock(state.mutex);
        path = state.moduleFileName;
    } else {
        std::u16string_view name;
        for (const auto& known : emul::kModules)
            if (known.handle == module) name = known.name;
        if (name.empty()) {
            SetLastError(emul::kModNotFound);
            return 0;
        }
        path = std::u16string(emul::detail::kWindowsDir) +
               (emul::detail::IsWow64() ? u"\\syswow64\\" : u"\\system32\\") + std::u16string(name) + u".dll";
    }
    if (!fileName || chars == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() >= chars) {
        // Truncated to the buffer, NUL included, as Vista and later do.
        path.copy(fileName, chars - 1);
        fileName[chars - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return chars;
    }
    path.copy(fileName, path.size());
    fileName[path.size()] = 0;
    return static_cast<DWORD>(path.size());
}

UINT GetSystemDirectoryW(LPWSTR buffer, UINT chars) {
    return emul::detail::CopyOut(std::u16string(emul::detail::kWindowsDir) + u"\\system32", buffer, chars);
}

UINT GetSystemWow64DirectoryW(LPWSTR buffer, UINT chars) {
    if (!emul::detail::IsWow64()) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }
    return emul::detail::CopyOut(std::u16string(emul::detail::kWindowsDir) + u"\\syswow64", buffer, chars);
}

UINT GetWindowsDirectoryW(LPWSTR buffer, UINT chars) {
    return emul::detail::CopyOut(emul::detail::kWindowsDir, buffer, chars);
}

HANDLE GetCurrentProcess() { return INVALID_HANDLE_VALUE; }

DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }

BOOL CloseHandle(HANDLE handle) {
    // The pseudo handle of the current process may be closed at will.
    if (handle == GetCurrentProcess()) return TRUE;
    if (!emul::detail::RemoveAnyHandle(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

HANDLE GetProcessHeap() { return reinterpret_cast<HANDLE>(std::uintptr_t{0x00150000}); }

void* HeapAlloc(HANDLE, DWORD flags, std::size_t bytes) {
    // Zero bytes still gives a distinct block, as the Windows heap does.
    if (bytes == 0) bytes = 1;
    return (flags & HEAP_ZERO_MEMORY) ? std::calloc(1, bytes) : std::malloc(bytes);
}

BOOL HeapFree(HANDLE, DWORD, void* mem) {
    std::free(mem);
    return TRUE;
}

void GetLocalTime(SYSTEMTIME* time) {
    timeval now{};
    ::gettimeofday(&now, nullptr);
    std::tm local{};
    time_t seconds = now.tv_sec;
    ::localtime_r(&seconds, &local);
    time->wYear = static_cast<WORD>(local.tm_year + 1900);
    time->wMonth = static_cast<WORD>(local.tm_mon + 1);
    time->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    time->wDay = static_cast<WORD>(local.tm_mday);
    time->wHour = static_cast<WORD>(local.tm_hour);
    time->wMinute = static_cast<WORD>(local.tm_min);
    time->wSecond = static_cast<WORD>(local.tm_sec > 59 ? 59 : local.tm_sec);
    time->wMilliseconds = static_cast<WORD>(now.tv_usec / 1000);
}

}  // namespace os
