// Native half of the exception hook. The executable defines __cxa_throw, so
// every throw in the process, also those raised inside the shared
// libstdc++, comes here first; faults arrive as signals.
#include <dlfcn.h>
#include <execinfo.h>
#include <signal.h>
#include <ucontext.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/ExceptionHook.h"
#include "platform/Text.h"

// Declared without <cxxabi.h>, whose declaration carries a std::type_info*.
extern "C" [[noreturn]] void __cxa_throw(void* object, void* type, void (*destroy)(void*));
// A sanitizer runtime linked statically defines its own __cxa_throw, which
// ours replaces; it must still hear that the stack is about to unwind.
extern "C" void __asan_handle_no_return() __attribute__((weak));

namespace platform {

namespace {

constexpr int kMaxFrames = 64;

using CxaThrowFn = void (*)(void*, void*, void (*)(void*));

CxaThrowFn RealThrow() {
    static const auto real = reinterpret_cast<CxaThrowFn>(dlsym(RTLD_NEXT, "__cxa_throw"));
    return real;
}

// The stack from `from` outwards: the frames the unwinder reports, starting
// at the first one equal to `from`, or after `skip` frames of our own.
std::vector<const void*> CaptureFrom(const void* from, int skip) {
    std::array<void*, kMaxFrames> frames{};
    int count = backtrace(frames.data(), kMaxFrames);
    int first = -1;
    for (int i = 0; i < count; ++i)
        if (frames[i] == from) {
            first = i;
            break;
        }
    std::vector<const void*> result;
    if (first < 0) {
        result.push_back(from);
        first = skip;
    }
    for (int i = first; i < count; ++i) result.push_back(frames[i]);
    return result;
}

struct FaultSignal {
    int number;
    const char16_t* className;
    const char16_t* description;
};
constexpr FaultSignal kFaults[] = {
    {SIGSEGV, u"EAccessViolation", u"Access violation"},
    {SIGBUS, u"EBusError", u"Bus error"},
    {SIGFPE, u"EArithmeticFault", u"Arithmetic fault"},
    {SIGILL, u"EIllegalInstruction", u"Illegal instruction"},
};
struct sigaction g_previous[std::size(kFaults)];

std::u16string Hex(std::uintptr_t value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%016llX", static_cast<unsigned long long>(value));
    return text::FromUtf8(buffer);
}

void OnFault(int number, siginfo_t* info, void* context) {
    std::size_t index = 0;
    while (index < std::size(kFaults) && kFaults[index].number != number) ++index;
    if (index == std::size(kFaults)) return;

    if (hook_detail::Wanted()) {
        const void* pc = nullptr;
#if defined(__x86_64__)
        pc = reinterpret_cast<const void*>(static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
#elif defined(__i386__)
        pc = reinterpret_cast<const void*>(static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_EIP]);
#else
        (void)context;
#endif
        std::u16string message = kFaults[index].description;
        if (pc) message += u" at address " + Hex(reinterpret_cast<std::uintptr_t>(pc));
        if (number == SIGSEGV || number == SIGBUS)
            message += u", access of address " + Hex(reinterpret_cast<std::uintptr_t>(info->si_addr));
        hook_detail::ReportFault(kFaults[index].className, message, pc, CaptureFrom(pc, 2));
    }

    // Hand the fault on as if we had not been there: to the handler before
    // us, or back to the default action, which the retried instruction meets.
    const auto& previous = g_previous[index];
    if (previous.sa_flags & SA_SIGINFO) {
        if (previous.sa_sigaction) {
            previous.sa_sigaction(number, info, context);
            return;
        }
    } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN && previous.sa_handler) {
        previous.sa_handler(number);
        return;
    }
    signal(number, SIG_DFL);
}

}  // namespace

CodeLocation LocateCode(const void* address) {
    CodeLocation where;
    Dl_info info{};
    if (!address || !dladdr(address, &info) || !info.dli_fname) return where;
    std::string file = info.dli_fname;
    auto slash = file.find_last_of('/');
    where.module = text::FromUtf8(slash == std::string::npos ? file : file.substr(slash + 1));
    where.offset = reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(info.dli_fbase);
    if (info.dli_sname) where.routine = hook_detail::Demangle(info.dli_sname);
    return where;
}

namespace hook_detail {

void InstallPlatformHook() {
    for (std::size_t i = 0; i < std::size(kFaults); ++i) {
        struct sigaction action {};
        action.sa_sigaction = OnFault;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        sigaction(kFaults[i].number, &action, &g_previous[i]);
    }
}

}  // namespace hook_detail

}  // namespace platform

extern "C" void __cxa_throw(void* object, void* type, void (*destroy)(void*)) {
    if (platform::hook_detail::Wanted()) {
        const void* site = __builtin_return_address(0);
        platform::hook_detail::ReportThrow(object, type, site, platform::CaptureFrom(site, 1));
    }
    if (__asan_handle_no_return) __asan_handle_no_return();
    platform::RealThrow()(object, type, destroy);
    __builtin_unreachable();
}
