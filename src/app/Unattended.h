// The program without a window, for administrators' remote tools:
//   -scan [-report FILE]           scan as the wizard does, report
//   -fix [-report FILE]            the same, then repair everything found
//   -restore SESSION|last [-report FILE]   put a fix run back
//   -list                          the journal's sessions and entries
// Exit codes: 0 nothing found (restore: all put back), 1 problems found
// (restore: some entries skipped), 2 an error (the report says which),
// 3 another instance is running.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Handle.h"

namespace app {

constexpr int kExitNothingFound = 0;
constexpr int kExitProblemsFound = 1;
constexpr int kExitError = 2;
constexpr int kExitAlreadyRunning = 3;

struct TUnattendedOptions {
    enum TMode { None, Scan, Fix, Restore, List } Mode = None;
    std::u16string Session;  // Restore: an Id or "last"
    std::u16string Report;   // empty: no report file
    // "-restore" without a session: the wizard opens on its undo page.
    bool OpenUndoPage = false;
};

// False with a message for arguments that do not go together.
bool ParseUnattendedArgs(const std::vector<std::u16string>& args, TUnattendedOptions& options, std::u16string& error);

// Where the report goes: the Windows program writes through the system's
// files, the Linux command to a host path.
class IReportFile {
public:
    virtual ~IReportFile() = default;
    // Creates (or empties) the file; false with the reason when it cannot.
    virtual bool Prepare(std::u16string& error) = 0;
    virtual bool Write(const std::string& bytes, std::u16string& error) = 0;
};
std::unique_ptr<IReportFile> OpenSystemReportFile(const std::u16string& path);

struct TUnattendedIO {
    std::function<void(const std::u16string&)> Print;  // one line to the console, if any
    std::function<std::unique_ptr<IReportFile>(const std::u16string&)> OpenReport = OpenSystemReportFile;
};

// Runs the mode; the process's exit code.
int RunUnattended(const TUnattendedOptions& options, const TUnattendedIO& io);

// Held while the program runs: a second instance cannot take it.
class TInstanceLock {
public:
    TInstanceLock();
    ~TInstanceLock();
    TInstanceLock(const TInstanceLock&) = delete;
    TInstanceLock& operator=(const TInstanceLock&) = delete;
    bool Held() const { return held_; }

private:
    std::u16string path_;
    platform::FileHandle handle_;
    bool held_ = false;
};

}  // namespace app
