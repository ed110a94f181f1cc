// The diagnostic log: off unless the program is started with "-debug".
// Lines go to <data folder><executable file name>.log in the ANSI code page,
// each ended by CR LF, always appended; the file is opened and closed for
// every line so it is complete on disk at any moment.
#pragma once

#include <string>
#include <vector>

#include "platform/ExceptionHook.h"
#include "platform/os/WinApi.h"

namespace runtime {

// Sets the log file name from the data folder and the executable, then turns
// logging on when any argument after args[0] (the program path) equals
// `switchText` exactly, case included.
void InitLogging(const std::u16string& switchText, const std::vector<std::u16string>& args);
bool LoggingOn();
std::u16string LogFileName();

// One message record: the timestamp, a blank, the message. Nothing when
// logging is off.
void Log(const std::u16string& message);

// Appends `line` and CR LF to the log file, whole even when other threads
// write at the same time. A line that cannot be written is lost; nothing is
// shown or raised, and the next line is tried afresh.
void WriteLogLine(const std::u16string& line);

// One exception record when logging is on: an empty line, the timestamp,
// the report, then one line per stack frame. The two socket error classes
// of the network library are left out.
void LogException(const platform::RaisedException& raised);

// Starts exception tracing with LogException as its notifier. The hook is
// installed whether or not logging is on; it captures nothing while it is
// off.
void InstallExceptionLogging();

// "Error <code>: <system message>" without the message's trailing blanks,
// control characters and full stops.
std::u16string SysErrorText(os::DWORD code);

// Formatting pieces, exposed for tests.
// "d.m.yy hh:nn:ss.zzz" with `timeSeparator` for each ":".
std::u16string FormatLogTimestamp(const os::SYSTEMTIME& time, char16_t timeSeparator);
// The local time now, with the user's time separator.
std::u16string LogTimestamp();
// "Exception <class> in module <module> at <offset>.\r\n<message>[.]\r\n",
// cut to 1024 characters; the offset as eight upper-case hex digits.
std::u16string FormatExceptionReport(const std::u16string& className, const std::u16string& module,
                                     std::uintptr_t offset, const std::u16string& message);

}  // namespace runtime
