#include "runtime/Logger.h"

#include <atomic>
#include <mutex>
#include <string>

#include "platform/Handle.h"
#include "platform/Text.h"
#include "runtime/AppFolders.h"

namespace runtime {

namespace {

std::atomic<bool> g_loggingOn{false};
std::mutex g_nameMutex;
std::u16string g_logFileName;

// Lines: one at a time into the file, so that a line is whole whatever the
// system does with concurrent appends (Wine lets them overwrite each other).
// Records: the lines of one record stay together when two threads log at
// once.
std::mutex g_lineMutex;
std::mutex g_recordMutex;

// Set while this thread writes a record. An exception raised inside the
// logger itself (out of memory, a fault) must not try to log again on the
// same thread: it would wait for the lock it holds.
thread_local bool t_inLogger = false;

class LoggerScope {
public:
    LoggerScope() { t_inLogger = true; }
    ~LoggerScope() { t_inLogger = false; }
    LoggerScope(const LoggerScope&) = delete;
    LoggerScope& operator=(const LoggerScope&) = delete;
};

const char16_t kHex[] = u"0123456789ABCDEF";

std::u16string Decimal(long long value) { return text::FromUtf8(std::to_string(value)); }

std::u16string TwoDigits(unsigned value) {
    value %= 100;
    return {static_cast<char16_t>(u'0' + value / 10), static_cast<char16_t>(u'0' + value % 10)};
}

std::u16string HexAtLeast8(std::uintptr_t value) {
    std::u16string hex;
    do {
        hex.insert(hex.begin(), kHex[value & 0xF]);
        value >>= 4;
    } while (value);
    if (hex.size() < 8) hex.insert(0, 8 - hex.size(), u'0');
    return hex;
}

std::string ToAnsi(const std::u16string& text) {
    if (text.empty()) return {};
    auto units = static_cast<int>(text.size());
    int bytes = os::WideCharToMultiByte(os::CP_ACP, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string ansi(static_cast<std::size_t>(bytes), '\0');
    bytes = os::WideCharToMultiByte(os::CP_ACP, 0, text.data(), units, ansi.data(), bytes, nullptr, nullptr);
    ansi.resize(bytes > 0 ? static_cast<std::size_t>(bytes) : 0);
    return ansi;
}

bool IsFilteredClass(const std::u16string& className) {
    // The network library raises these for ordinary connection ends.
    return className == u"EIdConnClosedGracefully" || className == u"EIdSocketError";
}

bool WantsExceptions() { return g_loggingOn.load(std::memory_order_relaxed) && !t_inLogger; }

}  // namespace

void InitLogging(const std::u16string& switchText, const std::vector<std::u16string>& args) {
    {
        std::lock_guard lock(g_nameMutex);
        auto exe = ExecutablePath();
        auto slash = exe.find_last_of(u'\\');
        auto fileName = slash == std::u16string::npos ? exe : exe.substr(slash + 1);
        g_logFileName = GetDataFolder() + fileName + u".log";
    }
    g_loggingOn = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == switchText) {
            g_loggingOn = true;
            break;
        }
    }
}

bool LoggingOn() { return g_loggingOn.load(); }

std::u16string LogFileName() {
    std::lock_guard lock(g_nameMutex);
    return g_logFileName;
}

void WriteLogLine(const std::u16string& line) {
    try {
        auto path = LogFileName();
        if (path.empty()) return;
        auto bytes = ToAnsi(line + u"\r\n");
        std::lock_guard lock(g_lineMutex);
        platform::FileHandle file(os::CreateFileW(path.c_str(), os::FILE_APPEND_DATA,
                                                  os::FILE_SHARE_READ | os::FILE_SHARE_WRITE, nullptr, os::OPEN_ALWAYS,
                                                  os::FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return;
        os::DWORD written = 0;
        os::WriteFile(file.get(), bytes.data(), static_cast<os::DWORD>(bytes.size()), &written, nullptr);
    } catch (...) {
        // The line is lost; the program goes on.
    }
}

void Log(const std::u16string& message) {
    if (!LoggingOn() || t_inLogger) return;
    LoggerScope scope;
    try {
        auto line = LogTimestamp() + u" " + message;
        std::lock_guard lock(g_recordMutex);
        WriteLogLine(line);
    } catch (...) {
    }
}

void LogException(const platform::RaisedException& raised) {
    if (!LoggingOn() || t_inLogger) return;
    if (IsFilteredClass(raised.className)) return;
    LoggerScope scope;
    try {
        auto where = platform::LocateCode(raised.address);
        auto offset = where.module.empty() ? reinterpret_cast<std::uintptr_t>(raised.address) : where.offset;
        std::vector<std::u16string> lines;
        lines.reserve(raised.stack.size() + 3);
        lines.emplace_back();
        lines.push_back(LogTimestamp());
        lines.push_back(FormatExceptionReport(raised.className, where.module, offset, raised.message));
        for (const void* frame : raised.stack) lines.push_back(platform::FormatStackFrame(frame));
        std::lock_guard lock(g_recordMutex);
        for (const auto& line : lines) WriteLogLine(line);
    } catch (...) {
    }
}

void InstallExceptionLogging() {
    platform::InstallExceptionHook();
    platform::AddExceptionNotifier(&LogException, &WantsExceptions);
}

std::u16string SysErrorText(os::DWORD code) {
    char16_t buffer[1024] = {};
    auto chars = os::FormatMessageW(os::FORMAT_MESSAGE_FROM_SYSTEM | os::FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                    0, buffer, static_cast<os::DWORD>(std::size(buffer)), nullptr);
    std::u16string message(buffer, chars < std::size(buffer) ? chars : 0);
    while (!message.empty() && (message.back() <= u' ' || message.back() == u'.')) message.pop_back();
    return u"Error " + Decimal(static_cast<std::int32_t>(code)) + u": " + message;
}

std::u16string FormatLogTimestamp(const os::SYSTEMTIME& t, char16_t sep) {
    auto ms = Decimal(t.wMilliseconds % 1000);
    ms.insert(0, 3 - ms.size(), u'0');
    return Decimal(t.wDay) + u"." + Decimal(t.wMonth) + u"." + TwoDigits(t.wYear) + u" " + TwoDigits(t.wHour) + sep +
           TwoDigits(t.wMinute) + sep + TwoDigits(t.wSecond) + u"." + ms;
}

std::u16string LogTimestamp() {
    os::SYSTEMTIME now{};
    os::GetLocalTime(&now);
    char16_t separator[8] = {};
    int chars = os::GetLocaleInfoW(os::LOCALE_USER_DEFAULT, os::LOCALE_STIME, separator, 8);
    return FormatLogTimestamp(now, chars > 1 && separator[0] ? separator[0] : u':');
}

std::u16string FormatExceptionReport(const std::u16string& className, const std::u16string& module,
                                     std::uintptr_t offset, const std::u16string& message) {
    std::u16string report = u"Exception " + className + u" in module " + module + u" at " + HexAtLeast8(offset) +
                            u".\r\n" + message;
    if (message.empty() || message.back() != u'.') report += u'.';
    report += u"\r\n";
    constexpr std::size_t kLimit = 1024;
    if (report.size() > kLimit) {
        auto cut = kLimit;
        // Never leave half of a surrogate pair behind.
        if (report[cut - 1] >= 0xD800 && report[cut - 1] <= 0xDBFF) --cut;
        report.resize(cut);
    }
    return report;
}

}  // namespace runtime
