// A process-wide view of every exception at the moment it is raised, in any
// thread, before any handler runs: C++ throws (also those caught and
// swallowed later) and operating-system faults. Each is handed to the
// registered notifiers with the raising thread's stack.
//
// The build picks the half that sees them: natively the executable
// interposes __cxa_throw and installs signal handlers; on Windows the linker
// wraps __cxa_throw and a vectored exception handler sees the faults.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct RaisedException {
    std::u16string className;  // unqualified: "ERegistryError", "out_of_range"
    std::u16string message;    // what() for std::exception, a description for faults
    const void* address = nullptr;       // throw site or faulting instruction
    std::vector<const void*> stack;      // innermost frame first
};

using ExceptionNotifier = void (*)(const RaisedException&);
// Asked before anything is captured, so an idle notifier costs one call.
using ExceptionWanted = bool (*)();

// Starts the tracking. Idempotent. Nothing is captured until a notifier
// that wants the exception is registered.
void InstallExceptionHook();

// Notifiers run on the raising thread, in registration order. An exception
// raised while a notifier runs on the same thread is not reported again.
void AddExceptionNotifier(ExceptionNotifier notifier, ExceptionWanted wanted = nullptr);
void RemoveExceptionNotifier(ExceptionNotifier notifier);

// Where a code address lies: the file name of its module (no folder), the
// offset from the module's start, and the routine where symbols say so.
struct CodeLocation {
    std::u16string module;
    std::uintptr_t offset = 0;
    std::u16string routine;
};
CodeLocation LocateCode(const void* address);

// "[<address>] <module>+<offset> <routine>" for one stack frame.
std::u16string FormatStackFrame(const void* address);

// "ns::Outer<int>::EInner" -> "EInner"; template arguments are kept.
std::u16string UnqualifiedClassName(std::string_view demangled);

namespace hook_detail {
// Shared by the two platform halves.
bool Wanted();
// A C++ throw: `type` is the thrown std::type_info, `object` the exception.
void ReportThrow(void* object, const void* type, const void* throwSite, std::vector<const void*> stack);
void ReportFault(std::u16string className, std::u16string message, const void* address,
                 std::vector<const void*> stack);
std::u16string Demangle(const char* mangled);
// Implemented by each platform half.
void InstallPlatformHook();
}  // namespace hook_detail

}  // namespace platform
