// The emulated machine as a whole: reset, architecture, the per-thread
// redirection switch, the last-error slot and the kernel handle table.
#include "platform/emul/Machine.h"

#include <atomic>
#include <map>
#include <mutex>

#include "platform/emul/SeamCalls.h"
#include "platform/emul/SystemInternal.h"

namespace emul {
namespace {

std::atomic<Arch> g_arch{Arch::Windows64};

// Windows keeps the redirection switch per thread; a thread that never
// touched it sees redirection in force.
thread_local bool t_redirectionDisabled = false;
thread_local os::DWORD t_lastError = 0;

struct HandleTable {
    std::mutex mutex;
    std::map<std::uintptr_t, std::shared_ptr<detail::KernelObject>> objects;
    // Handle values are multiples of 4 as on Windows and never reused within
    // a process, so a handle closed twice is reported instead of hitting a
    // newer object.
    std::uintptr_t next = 0x1000;
};

HandleTable& Handles() {
    static HandleTable table;
    return table;
}

}  // namespace

void Reset() {
    ResetSeamCalls();
    ResetRegistry();
    ResetSystem();
}

void ResetSystem() {
    g_arch = Arch::Windows64;
    t_redirectionDisabled = false;
    detail::ResetVersion();
    detail::ResetEnvironment();
    detail::ResetLocale();
    detail::ResetFiles();
    detail::ResetToken();
    detail::ResetProcess();
    detail::ResetShell();
}

void SetArch(Arch arch) {
    g_arch = arch;
    // The environment a process sees is derived from the architecture; a
    // switch starts again from that machine's defaults.
    detail::ResetEnvironmentForArch();
}

Arch GetArch() { return g_arch; }

std::size_t OpenHandleCount() {
    auto& table = Handles();
    std::lock_guard lock(table.mutex);
    return table.objects.size();
}

namespace detail {

bool IsWow64() { return g_arch == Arch::Windows64; }
bool RedirectionActive() { return IsWow64() && !t_redirectionDisabled; }

os::HANDLE AddHandle(std::shared_ptr<KernelObject> object) {
    auto& table = Handles();
    std::lock_guard lock(table.mutex);
    auto value = table.next;
    table.next += 4;
    table.objects.emplace(value, std::move(object));
    return reinterpret_cast<os::HANDLE>(value);
}

std::shared_ptr<KernelObject> FindHandle(os::HANDLE handle, KernelObject::Kind kind) {
    auto& table = Handles();
    std::lock_guard lock(table.mutex);
    auto it = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == table.objects.end() || it->second->kind != kind) return nullptr;
    return it->second;
}

bool RemoveHandle(os::HANDLE handle, KernelObject::Kind kind) {
    std::shared_ptr<KernelObject> dropped;  // destroyed outside the lock
    auto& table = Handles();
    std::lock_guard lock(table.mutex);
    auto it = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == table.objects.end() || it->second->kind != kind) return false;
    dropped = std::move(it->second);
    table.objects.erase(it);
    return true;
}

bool RemoveAnyHandle(os::HANDLE handle) {
    std::shared_ptr<KernelObject> dropped;
    auto& table = Handles();
    std::lock_guard lock(table.mutex);
    auto it = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == table.objects.end()) return false;
    dropped = std::move(it->second);
    table.objects.erase(it);
    return true;
}

os::UINT CopyOut(std::u16string_view text, os::LPWSTR buffer, os::UINT chars) {
    auto length = static_cast<os::UINT>(text.size());
    if (!buffer || chars <= length) return length + 1;
    text.copy(buffer, text.size());
    buffer[length] = 0;
    return length;
}

}  // namespace detail
}  // namespace emul

namespace os {

DWORD GetLastError() { return emul::t_lastError; }
void SetLastError(DWORD error) { emul::t_lastError = error; }

BOOL Wow64DisableWow64FsRedirection(void** oldValue) {
    if (!emul::detail::IsWow64()) {
        // 32-bit Windows has no redirector: kernel32 answers as for a
        // function it does not implement.
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    if (oldValue) *oldValue = reinterpret_cast<void*>(static_cast<std::uintptr_t>(emul::t_redirectionDisabled));
    emul::t_redirectionDisabled = true;
    return TRUE;
}

BOOL Wow64RevertWow64FsRedirection(void* oldValue) {
    if (!emul::detail::IsWow64()) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    emul::t_redirectionDisabled = reinterpret_cast<std::uintptr_t>(oldValue) != 0;
    return TRUE;
}

}  // namespace os
