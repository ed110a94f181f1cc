// The native command: the wizard, headless, over an emulated Windows
// machine, printing what a user would see and answering for the user from
// the terminal (or on its own with --auto).
//
//   --machine FILE.reg  registry in its physical layout (repeatable, later
//                       files win); default: the example machine
//   --drive X=DIR       drive letter mapped to a host folder (repeatable)
//   --windows xp|vista|7|8|10   (default 7)
//   --arch x86|x64      (default x64: 64-bit Windows, WOW64 process)
//   --ui-language ID    the user's Windows language (e.g. 1031 German; the
//                       wizard shows it when a language file matches)
//   --auto              Next, wait for the scan, Next, Finish
//   --save FILE.reg     the whole registry after the run
//   -debug              the log, beside this executable
//
// Without the wizard (exit codes 0 nothing found, 1 problems found, 2 an
// error, 3 another run holds this folder):
//   --scan-only             scan and print what was found
//   --auto --report FILE    scan, repair everything (journaled), report
//   --report FILE           with --scan-only or --restore: the JSON report
//   --restore SESSION|last  put a fix run back from the backup journal
//   --list-backups          the journal's sessions and entries
//
// A real Windows drive (see OfflineRun.h): --offline DIR [--user NAME], with
// the wizard, --auto, --scan-only and --report as above.
//
// In the wizard: --details opens the list behind "Registry problems" once the
// scan is done (t N unchecks a problem, b goes back); --undo starts on the
// undo page (with --auto it puts the newest repair back).
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "app/MainRoutine.h"
#include "app/entry/CommandLine.h"
#include "app/entry/ConsoleWizard.h"
#include "app/entry/OfflineRun.h"
#include "platform/Text.h"
#include "platform/TextCodec.h"
#include "platform/emul/EmulRegistry.h"
#include "platform/emul/Machine.h"
#include "wizard/ExamplesDir.h"

namespace fs = std::filesystem;

namespace {

using entry::TUsageError;

std::string U8(const std::u16string& s) { return text::ToUtf8(s); }

std::string ReadFile(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw TUsageError("cannot read " + file);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The whole registry as one version 5.00 file, in the physical layout
// --machine reads back.
void SaveRegistry(const std::string& file) {
    std::u16string all;
    for (const char16_t* root : {u"HKEY_LOCAL_MACHINE", u"HKEY_USERS"}) {
        std::u16string part = emul::SaveRegText(root);
        if (!all.empty()) {
            auto body = part.find(u"\r\n\r\n");
            part = body == std::u16string::npos ? std::u16string() : part.substr(body + 4);
        }
        all += part;
    }
    auto bytes = text::EncodeUtf16(all);
    std::ofstream out(file, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw TUsageError("cannot write " + file);
}

// The report of the unattended modes, at a path of this machine.
class THostReportFile : public app::IReportFile {
public:
    explicit THostReportFile(std::u16string path) : path_(U8(path)) {}
    bool Prepare(std::u16string& error) override { return Put({}, error); }
    bool Write(const std::string& bytes, std::u16string& error) override { return Put(bytes, error); }

private:
    bool Put(const std::string& bytes, std::u16string& error) {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (out) return true;
        error = text::FromUtf8("Cannot write the report file " + path_);
        return false;
    }
    std::string path_;
};

// One run at a time per program folder: the emulated machine's files are
// this process's own, so the lock is the host's.
bool LockFolder(const fs::path& folder, int& fd) {
    fd = ::open((folder / "tallowmend.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return true;
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
}

fs::path ExecutableFolder() {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : self.parent_path();
}

// Windows folders are found without case on the emulated drive; the
// example's own files are copied so that a run never changes them.
fs::path FreshDriveFolder(const fs::path& from) {
    fs::path folder = fs::temp_directory_path() / ("tallowmend-c-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    if (!from.empty()) fs::copy(from, folder, fs::copy_options::recursive);
    return folder;
}

// The program proper, over the machine as configured: the wizard in the
// terminal, or an unattended mode. `busy`: another run holds the folder.
int RunProgram(const std::vector<std::u16string>& args, bool unattended, bool automatic, bool details,
               const fs::path& programFolder, bool& busy) {
    int status = 0;
    int lockFd = -1;
    busy = !LockFolder(programFolder, lockFd);
    if (busy) {
        std::fprintf(stderr, "tallowmend: another run is using this program folder\n");
        return app::kExitAlreadyRunning;
    }
    if (unattended) {
        app::TUnattendedIO io;
        io.Print = [](const std::u16string& line) { std::printf("%s\n", U8(line).c_str()); };
        io.OpenReport = [](const std::u16string& path) { return std::make_unique<THostReportFile>(path); };
        status = app::MainRoutine(args, nullptr, io);
    } else {
        entry::TConsoleApp application(automatic, details);
        status = app::MainRoutine(args, &application);
        if (!application.Terminated()) status = 1;
    }
    if (lockFd >= 0) ::close(lockFd);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    entry::TCommandLine line;
    std::vector<std::u16string> args;
    std::vector<std::string> machines;
    std::map<char16_t, fs::path> drives;
    fs::path tempDrive;

    try {
        line = entry::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        args = entry::ProgramArguments(line, u"C:\\Tallowmend\\tallowmend.exe");
        machines = line.Machines;
        drives = line.Drives;

        if (line.Offline) {
            entry::TOfflineRequest request{*line.Offline, line.User, drives, line.ScanOnly, line.Report,
                                           line.UiLanguage};
            return entry::RunOffline(request, args, [&](const std::vector<std::u16string>& a, const fs::path& folder) {
                bool busy = false;
                return RunProgram(a, line.Unattended(), line.Automatic, line.Details, folder, busy);
            });
        }

        fs::path examples = TALLOWMEND_EXAMPLES_DIR;
        if (machines.empty()) machines.push_back((examples / "machine.reg").string());
        std::vector<std::string> regFiles;
        for (const auto& file : machines) regFiles.push_back(ReadFile(file));

        emul::Reset();
        emul::SetArch(line.Arch);
        emul::SetVersion(line.Version.Major, line.Version.Minor, line.Version.Build, 1, line.Version.ServicePack);
        emul::SetUILanguage(line.UiLanguage);
        if (!drives.count(u'C')) {
            tempDrive = FreshDriveFolder(machines.size() == 1 && machines[0] == (examples / "machine.reg").string()
                                             ? examples / "drive-c"
                                             : fs::path());
            drives[u'C'] = tempDrive;
        }
        // The standard folders go only into the drive made for this run: a
        // folder the user maps is theirs, and holds what they put there.
        if (!tempDrive.empty()) emul::MapStandardSystemDrive(tempDrive);
        for (const auto& [letter, dir] : drives)
            if (dir != tempDrive) emul::MapDrive(letter, dir);
        // The program's folder (its log, the shipped copies of rundll32) is
        // the folder of this executable, seen as drive P:.
        if (!drives.count(u'P')) {
            emul::MapDrive(u'P', ExecutableFolder());
            args[0] = u"P:\\tallowmend.exe";
            emul::SetModuleFileName(args[0]);
        }
        for (std::size_t i = 0; i < regFiles.size(); ++i) {
            try {
                emul::LoadRegFile(regFiles[i]);
            } catch (const std::exception& e) {
                throw TUsageError(machines[i] + ": " + e.what());
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tallowmend: %s\n", e.what());
        if (!tempDrive.empty()) fs::remove_all(tempDrive);
        return 2;
    }

    bool busy = false;
    int status = RunProgram(args, line.Unattended(), line.Automatic, line.Details,
                            drives.count(u'P') ? drives[u'P'] : ExecutableFolder(), busy);
    if (busy) {
        if (!tempDrive.empty()) fs::remove_all(tempDrive);
        return status;
    }
    if (line.Save) {
        try {
            SaveRegistry(*line.Save);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tallowmend: %s\n", e.what());
            status = 2;
        }
    }
    if (!tempDrive.empty()) fs::remove_all(tempDrive);
    return status;
}
