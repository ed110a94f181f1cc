// Windows half of the exception hook. The static runtime's __cxa_throw is
// wrapped at link time (cmake/parts/exceptions.cmake), which also catches
// throws from inside libstdc++; faults reach a vectored exception handler.
// C++ throws never pass through SEH with the dwarf-2 unwinder, so each
// exception is seen once.
//
// Stacks are captured raw: the thread's stack memory is scanned for values
// that point just behind a call instruction in loaded code, so frames
// without frame pointers (the runtime, system DLLs) are not lost.
#include "platform/win32/Cast.h"

#include <cstdio>
#include <string>
#include <vector>

#include "platform/ExceptionHook.h"
#include "platform/Text.h"

extern "C" void __real___cxa_throw(void* object, void* type, void (*destroy)(void*));

namespace platform {

namespace {

constexpr std::size_t kMaxFrames = 64;
constexpr std::uintptr_t kMaxScanBytes = 256 * 1024;

// Executable image pages, as VirtualQuery reports them; remembered during
// one scan so each region is asked about once.
class CodeRegions {
public:
    bool IsCode(std::uintptr_t address) {
        for (const auto& r : known_)
            if (address >= r.begin && address < r.end) return r.code;
        MEMORY_BASIC_INFORMATION info{};
        if (!::VirtualQuery(reinterpret_cast<const void*>(address), &info, sizeof info)) return false;
        auto begin = reinterpret_cast<std::uintptr_t>(info.BaseAddress);
        constexpr DWORD kExec = PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
        bool code = info.State == MEM_COMMIT && info.Type == MEM_IMAGE && (info.Protect & kExec) &&
                    !(info.Protect & PAGE_GUARD);
        if (known_.size() < 64) known_.push_back({begin, begin + info.RegionSize, code});
        return code;
    }

private:
    struct Region {
        std::uintptr_t begin, end;
        bool code;
    };
    std::vector<Region> known_;
};

// Whether the bytes before `address` end in one of the call forms a
// compiler emits; `address` is then a return address.
bool FollowsCall(CodeRegions& regions, std::uintptr_t address) {
    if (address < 0x10000 || !regions.IsCode(address - 1) || !regions.IsCode(address - 7)) return false;
    auto at = [&](int back) { return *reinterpret_cast<const unsigned char*>(address - back); };
    if (at(5) == 0xE8) return true;  // call rel32
    // call r/m32 is FF /2; the ModRM byte decides the length.
    auto isCallModRm = [](unsigned char modrm) { return ((modrm >> 3) & 7) == 2; };
    if (at(2) == 0xFF && isCallModRm(at(1))) {
        unsigned char mod = at(1) >> 6, rm = at(1) & 7;
        if (mod == 3 || (mod == 0 && rm != 4 && rm != 5)) return true;  // call reg / call [reg]
    }
    if (at(3) == 0xFF && isCallModRm(at(2))) {
        unsigned char mod = at(2) >> 6, rm = at(2) & 7;
        if (mod == 1 && rm != 4) return true;                        // call [reg+disp8]
        if (mod == 0 && rm == 4 && (at(1) & 7) != 5) return true;   // call [sib]
    }
    if (at(4) == 0xFF && isCallModRm(at(3)) && (at(3) >> 6) == 1 && (at(3) & 7) == 4) return true;  // [sib+disp8]
    if (at(6) == 0xFF && isCallModRm(at(5))) {
        unsigned char mod = at(5) >> 6, rm = at(5) & 7;
        if ((mod == 0 && rm == 5) || (mod == 2 && rm != 4)) return true;  // call [disp32] / [reg+disp32]
    }
    if (at(7) == 0xFF && isCallModRm(at(6))) {
        unsigned char mod = at(6) >> 6, rm = at(6) & 7;
        if (rm == 4 && (mod == 2 || (mod == 0 && (at(5) & 7) == 5))) return true;  // [sib+disp32]
    }
    return false;
}

// The top of the current thread's stack: NT_TIB.StackBase, at fs:[4] in a
// 32-bit process and gs:[8] in a 64-bit one (read directly; NtCurrentTeb()
// trips GCC's bounds check).
std::uintptr_t StackBase() {
    std::uintptr_t base;
#if defined(__x86_64__)
    __asm__("movq %%gs:8, %0" : "=r"(base));
#else
    __asm__("movl %%fs:4, %0" : "=r"(base));
#endif
    return base;
}

const void* StackPointer(const CONTEXT* context) {
#if defined(__x86_64__)
    return reinterpret_cast<const void*>(context->Rsp);
#else
    return reinterpret_cast<const void*>(context->Esp);
#endif
}

std::vector<const void*> ScanStack(const void* from, const void* first) {
    std::vector<const void*> frames;
    if (first) frames.push_back(first);
    auto top = StackBase();
    auto cursor = reinterpret_cast<std::uintptr_t>(from) & ~std::uintptr_t(sizeof(std::uintptr_t) - 1);
    if (cursor >= top) return frames;
    if (top - cursor > kMaxScanBytes) top = cursor + kMaxScanBytes;
    CodeRegions regions;
    for (; cursor + sizeof(std::uintptr_t) <= top && frames.size() < kMaxFrames; cursor += sizeof(std::uintptr_t)) {
        auto value = *reinterpret_cast<const std::uintptr_t*>(cursor);
        if (FollowsCall(regions, value)) frames.push_back(reinterpret_cast<const void*>(value));
    }
    return frames;
}

std::u16string Hex8(std::uintptr_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%08X", static_cast<unsigned>(value));
    return text::FromUtf8(buffer);
}

struct FaultName {
    DWORD code;
    const char16_t* className;
    const char16_t* description;
};
constexpr FaultName kFaults[] = {
    {EXCEPTION_ACCESS_VIOLATION, u"EAccessViolation", u"Access violation"},
    {EXCEPTION_IN_PAGE_ERROR, u"EInPageError", u"In-page error"},
    {EXCEPTION_INT_DIVIDE_BY_ZERO, u"EDivByZero", u"Integer division by zero"},
    {EXCEPTION_INT_OVERFLOW, u"EIntOverflow", u"Integer overflow"},
    {EXCEPTION_ILLEGAL_INSTRUCTION, u"EIllegalInstruction", u"Illegal instruction"},
    {EXCEPTION_PRIV_INSTRUCTION, u"EPrivilegedInstruction", u"Privileged instruction"},
    {EXCEPTION_ARRAY_BOUNDS_EXCEEDED, u"ERangeError", u"Array bounds exceeded"},
    {EXCEPTION_FLT_DIVIDE_BY_ZERO, u"EFloatingPointFault", u"Floating point division by zero"},
    {EXCEPTION_FLT_INVALID_OPERATION, u"EFloatingPointFault", u"Invalid floating point operation"},
    {EXCEPTION_FLT_OVERFLOW, u"EFloatingPointFault", u"Floating point overflow"},
    {EXCEPTION_FLT_UNDERFLOW, u"EFloatingPointFault", u"Floating point underflow"},
};

LONG CALLBACK OnVectoredException(EXCEPTION_POINTERS* pointers) {
    const auto* record = pointers->ExceptionRecord;
    DWORD code = record->ExceptionCode;
    // Only system errors: informational codes (debug output, thread names)
    // and application-defined codes are not faults.
    if ((code & 0xE0000000u) != 0xC0000000u) return EXCEPTION_CONTINUE_SEARCH;
    // Nothing can be done safely on an exhausted stack.
    if (code == EXCEPTION_STACK_OVERFLOW) return EXCEPTION_CONTINUE_SEARCH;
    if (!hook_detail::Wanted()) return EXCEPTION_CONTINUE_SEARCH;

    std::u16string className = u"EExternalException";
    std::u16string message = u"External exception " + Hex8(code);
    for (const auto& f : kFaults)
        if (f.code == code) {
            className = f.className;
            message = f.description;
        }
    auto address = reinterpret_cast<std::uintptr_t>(record->ExceptionAddress);
    message += u" at address " + Hex8(address);
    if ((code == EXCEPTION_ACCESS_VIOLATION || code == EXCEPTION_IN_PAGE_ERROR) && record->NumberParameters >= 2) {
        auto kind = record->ExceptionInformation[0];
        message += kind == 1 ? u": write of address " : kind == 8 ? u": execution of address " : u": read of address ";
        message += Hex8(record->ExceptionInformation[1]);
    }
    auto context = pointers->ContextRecord;
    hook_detail::ReportFault(className, message, record->ExceptionAddress,
                             ScanStack(StackPointer(context), record->ExceptionAddress));
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

CodeLocation LocateCode(const void* address) {
    CodeLocation where;
    HMODULE module = nullptr;
    if (!address || !::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                          static_cast<LPCWSTR>(address), &module))
        return where;
    wchar_t path[MAX_PATH + 1] = {};
    DWORD chars = ::GetModuleFileNameW(module, path, MAX_PATH);
    std::u16string file(reinterpret_cast<const char16_t*>(path), chars);
    auto slash = file.find_last_of(u"\\/");
    where.module = slash == std::u16string::npos ? file : file.substr(slash + 1);
    where.offset = reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(module);
    return where;
}

namespace hook_detail {

void InstallPlatformHook() { ::AddVectoredExceptionHandler(1, OnVectoredException); }

}  // namespace hook_detail

}  // namespace platform

extern "C" void __wrap___cxa_throw(void* object, void* type, void (*destroy)(void*)) {
    if (platform::hook_detail::Wanted()) {
        const void* site = __builtin_return_address(0);
        // The scan starts at our own return address, so the throw site is
        // the first frame.
        auto slot = static_cast<const char*>(__builtin_frame_address(0)) + sizeof(void*);
        platform::hook_detail::ReportThrow(object, type, site, platform::ScanStack(slot, nullptr));
    }
    __real___cxa_throw(object, type, destroy);
    __builtin_unreachable();
}
