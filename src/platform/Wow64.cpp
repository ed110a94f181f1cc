#include "platform/Wow64.h"

#include <atomic>

#include "platform/os/WinApi.h"

namespace platform {

namespace {
// -1 not taken yet, else 0 / 1. Written at start-up before any other thread
// runs; atomic so a late first use from the scan thread is still safe.
std::atomic<int> g_windows64{-1};
}  // namespace

bool IsWow64() {
    auto kernel = os::GetModuleHandleW(u"kernel32.dll");
    auto proc = kernel ? os::GetProcAddress(kernel, "IsWow64Process") : nullptr;
    if (!proc) return false;  // before XP SP2 there is no WOW64 to ask about
    auto isWow64Process = reinterpret_cast<os::IsWow64ProcessFn>(reinterpret_cast<void*>(proc));
    os::BOOL wow64 = os::FALSE;
    if (!isWow64Process(os::GetCurrentProcess(), &wow64)) throw EWow64Error("IsWow64: bad process handle");
    return wow64 != os::FALSE;
}

void InitWindows64() { g_windows64.store(IsWow64() ? 1 : 0); }

bool IsWindows64() {
    auto value = g_windows64.load();
    if (value < 0) {
        InitWindows64();
        value = g_windows64.load();
    }
    return value == 1;
}

}  // namespace platform
