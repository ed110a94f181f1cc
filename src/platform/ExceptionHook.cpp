// The part of the exception hook both builds share: notifier table, class
// names and messages of thrown objects, frame text.
#include "platform/ExceptionHook.h"

#include <cxxabi.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <typeinfo>

#include "platform/Text.h"

namespace platform {

namespace {

struct Slot {
    std::atomic<ExceptionNotifier> notifier{nullptr};
    std::atomic<ExceptionWanted> wanted{nullptr};
};

// Fixed slots read without a lock: a throw may happen on any thread at any
// time, including while another thread registers.
std::array<Slot, 8> g_slots;
std::mutex g_slotsMutex;
std::atomic<bool> g_installed{false};

// Set while this thread runs the hook, so an exception raised by a notifier
// (or a fault inside one) does not recurse into it.
thread_local bool t_inHook = false;

class HookScope {
public:
    HookScope() { t_inHook = true; }
    ~HookScope() { t_inHook = false; }
    HookScope(const HookScope&) = delete;
    HookScope& operator=(const HookScope&) = delete;
};

void Dispatch(const RaisedException& raised) {
    for (auto& slot : g_slots) {
        auto notifier = slot.notifier.load();
        if (!notifier) continue;
        auto wanted = slot.wanted.load();
        if (wanted && !wanted()) continue;
        try {
            notifier(raised);
        } catch (...) {
            // A notifier must not change the fate of the exception it saw.
        }
    }
}

std::string Demangle(const char* mangled) {
    int status = 0;
    char* plain = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    if (status != 0 || !plain) return mangled;
    std::string result(plain);
    std::free(plain);
    return result;
}

std::u16string MessageOf(void* object, const std::type_info* type) {
    // The same test a `catch (const std::exception&)` makes, with the
    // pointer adjusted to the std::exception base.
    void* adjusted = object;
    if (object && typeid(std::exception).__do_catch(type, &adjusted, 1))
        return text::FromUtf8(static_cast<const std::exception*>(adjusted)->what());
    return {};
}

}  // namespace

void InstallExceptionHook() {
    bool expected = false;
    if (g_installed.compare_exchange_strong(expected, true)) hook_detail::InstallPlatformHook();
}

void AddExceptionNotifier(ExceptionNotifier notifier, ExceptionWanted wanted) {
    std::lock_guard lock(g_slotsMutex);
    for (auto& slot : g_slots)
        if (slot.notifier.load() == notifier) return;
    for (auto& slot : g_slots) {
        if (slot.notifier.load()) continue;
        slot.wanted.store(wanted);
        slot.notifier.store(notifier);
        return;
    }
}

void RemoveExceptionNotifier(ExceptionNotifier notifier) {
    std::lock_guard lock(g_slotsMutex);
    for (auto& slot : g_slots) {
        if (slot.notifier.load() != notifier) continue;
        slot.notifier.store(nullptr);
        slot.wanted.store(nullptr);
    }
}

std::u16string UnqualifiedClassName(std::string_view name) {
    // The last "::" outside template arguments starts the class's own name.
    std::size_t start = 0;
    int depth = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (c == '<' || c == '(') ++depth;
        else if ((c == '>' || c == ')') && depth > 0) --depth;
        else if (c == ':' && depth == 0 && i + 1 < name.size() && name[i + 1] == ':') {
            start = i + 2;
            ++i;
        }
    }
    return text::FromUtf8(name.substr(start));
}

std::u16string FormatStackFrame(const void* address) {
    static const char digits[] = "0123456789ABCDEF";
    auto value = reinterpret_cast<std::uintptr_t>(address);
    std::u16string line = u"[";
    for (int shift = static_cast<int>(sizeof value * 8) - 4; shift >= 0; shift -= 4)
        line += static_cast<char16_t>(digits[(value >> shift) & 0xF]);
    line += u"]";
    auto where = LocateCode(address);
    if (!where.module.empty()) {
        line += u" " + where.module + u"+";
        std::u16string hex;
        auto offset = where.offset;
        do {
            hex.insert(hex.begin(), static_cast<char16_t>(digits[offset & 0xF]));
            offset >>= 4;
        } while (offset);
        line += u"0x" + hex;
    }
    if (!where.routine.empty()) line += u" " + where.routine;
    return line;
}

namespace hook_detail {

std::u16string Demangle(const char* mangled) { return text::FromUtf8(platform::Demangle(mangled)); }

bool Wanted() {
    if (t_inHook || !g_installed.load(std::memory_order_relaxed)) return false;
    for (auto& slot : g_slots) {
        if (!slot.notifier.load()) continue;
        auto wanted = slot.wanted.load();
        if (!wanted || wanted()) return true;
    }
    return false;
}

void ReportThrow(void* object, const void* type, const void* throwSite, std::vector<const void*> stack) {
    if (t_inHook) return;
    HookScope scope;
    try {
        RaisedException raised;
        auto info = static_cast<const std::type_info*>(type);
        raised.className = info ? UnqualifiedClassName(platform::Demangle(info->name())) : u"";
        raised.message = info ? MessageOf(object, info) : u"";
        raised.address = throwSite;
        raised.stack = std::move(stack);
        Dispatch(raised);
    } catch (...) {
    }
}

void ReportFault(std::u16string className, std::u16string message, const void* address,
                 std::vector<const void*> stack) {
    if (t_inHook) return;
    HookScope scope;
    try {
        RaisedException raised;
        raised.className = std::move(className);
        raised.message = std::move(message);
        raised.address = address;
        raised.stack = std::move(stack);
        Dispatch(raised);
    } catch (...) {
    }
}

}  // namespace hook_detail

}  // namespace platform
