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
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/MainRoutine.h"
#include "app/entry/OfflineRun.h"
#include "platform/Text.h"
#include "platform/TextCodec.h"
#include "platform/emul/EmulRegistry.h"
#include "platform/emul/Machine.h"
#include "ui/headless/HeadlessApp.h"
#include "wizard/ExamplesDir.h"


namespace fs = std::filesystem;

namespace {

struct TUsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

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

// The wizard seen through a terminal.
class TConsoleApp : public ui::THeadlessApp {
public:
    TConsoleApp(bool automatic, bool details) : automatic_(automatic), details_(details) {
        OnShow = [](const ui::TShownMessage& m) {
            std::printf("\n  +-- %s\n  | %s\n  +-- %s\n", m.IsError ? "Error" : U8(m.Caption).c_str(),
                        U8(m.Text).c_str(), m.Buttons == ui::TMsgButtons::YesNo ? "[Yes] [No]" : "[OK]");
        };
        Answer = [this](const ui::TShownMessage& m) {
            if (m.Buttons != ui::TMsgButtons::YesNo) return int(ui::mrOk);
            if (automatic_) return int(ui::mrNo);
            std::string line = Prompt("  Yes or No? [y/n] ");
            return int(!line.empty() && (line[0] == 'y' || line[0] == 'Y') ? ui::mrYes : ui::mrNo);
        };
    }

    void Run(ui::TWidget& form) override {
        form_ = &form;
        notebook_ = form.Find(u"Notebook");
        scanning_ = form.Find(u"ScanningLabel");
        PrintPage();
        if (automatic_) {
            if (Page() == kUndo) {
                Press(u"NextButton");  // Restore: the newest repair is checked
                Terminate();
                return;
            }
            Press(u"NextButton");
            if (details_ && Page() == kResults && form_->Find(u"DetailsLink")->Enabled()) {
                Press(u"DetailsLink");
                Press(u"BackButton");
            }
            if (Page() == kResults) Press(u"NextButton");
            if (Page() == kResults) Press(u"NextButton");  // the step failed once: it runs again on what is left
            Press(u"FinishButton");
            return;
        }
        while (!Terminated()) {
            std::string line = Prompt("\n> ");
            if (!std::cin) break;
            if (line == "n" || line == "r") Press(u"NextButton");
            else if (line == "b") Press(u"BackButton");
            else if (line == "c") Press(u"CancelButton");
            else if (line == "f") Press(u"FinishButton");
            else if (line == "s") Press(u"Label23");
            else if (line == "d") Press(u"DetailsLink");
            else if (line == "u") Press(u"UndoLink");
            else if (!line.empty() && line[0] == 't') Toggle(std::atoi(line.c_str() + 1));
            else if (line == "q") Terminate();
            else
                std::printf("  n Next, b Back, c Cancel, f Finish, t N toggle entry N, d Details (results), "
                            "u Undo (welcome), r Restore (undo), s Contact Support, q quit\n");
        }
    }

private:
    static constexpr int kResults = 1, kUndo = 5;

    int Page() const { return notebook_->ActivePage(); }

    // The check list of the page on show, if it has one.
    ui::TWidget* PageList() const {
        for (const auto& w : notebook_->Children()[static_cast<std::size_t>(Page())]->Children())
            if (w->Kind() == ui::TWidgetKind::CheckList) return w.get();
        return nullptr;
    }

    static std::string Prompt(const char* text) {
        std::fputs(text, stdout);
        std::fflush(stdout);
        std::string line;
        std::getline(std::cin, line);
        return line;
    }

    void Press(const char16_t* name) {
        if (Terminated()) return;
        ui::TWidget* button = form_->Find(name);
        if (!button || !button->Showing() || !button->Enabled()) {
            std::printf("  (%s is not available here)\n", U8(name).c_str());
            return;
        }
        std::printf("\n>> %s\n", U8(button->Caption()).c_str());
        ui::SafeCall(*this, [button] { button->Click(); });
        Settle();
    }

    void Toggle(int number) {
        ui::TWidget* list = PageList();
        if (!list || number < 1 || number > list->Count()) {
            std::printf("  no entry %d\n", number);
            return;
        }
        list->SetChecked(number - 1, !list->Item(number - 1).Checked);
        PrintList(*list);
    }

    // Serves the scan's deliveries while the Results page waits for them,
    // printing the scanning label as it changes; then shows the page.
    void Settle() {
        if (Terminated()) return;
        if (Page() == kResults && !form_->Find(u"NextButton")->Enabled()) {
            PrintPage();
            std::u16string last = scanning_->Caption();
            Loop().RunUntil(
                [&] {
                    if (scanning_->Caption() != last) {
                        last = scanning_->Caption();
                        std::printf("  %s\n", U8(last).c_str());
                    }
                    return Terminated() || Page() != kResults || form_->Find(u"NextButton")->Enabled();
                },
                std::chrono::hours(24));
            PrintPage();
            if (details_ && !automatic_ && Page() == kResults && form_->Find(u"DetailsLink")->Enabled())
                Press(u"DetailsLink");
            return;
        }
        Loop().ProcessMessages();
        PrintPage();
    }

    void PrintPage() {
        ui::TWidget& page = *notebook_->Children()[static_cast<std::size_t>(Page())];
        std::printf("\n==== %s: %s ====\n", U8(form_->Caption()).c_str(), U8(page.Name()).c_str());
        for (const auto& w : page.Children()) {
            if (!w->Showing() || w->Caption().empty()) continue;
            bool link = w->Kind() == ui::TWidgetKind::LinkLabel || w->OnClick;
            if (w->Kind() == ui::TWidgetKind::Label || link)
                std::printf(link ? "  <%s>%s\n" : "  %s%s\n", U8(w->Caption()).c_str(),
                            link && w->OnClick && !w->Enabled() ? " (not yet)" : "");
        }
        if (auto* list = PageList()) PrintList(*list);
        PrintButtons();
    }

    static void PrintList(const ui::TWidget& list) {
        std::printf("  %s:\n", U8(list.Name()).c_str());
        if (list.Count() == 0) std::printf("    (empty)\n");
        for (int i = 0; i < list.Count(); ++i)
            std::printf("    %d. [%c] %s\n", i + 1, list.Item(i).Checked ? 'x' : ' ', U8(list.Item(i).Text).c_str());
    }

    void PrintButtons() {
        std::string line = "  " + U8(form_->Find(u"Label23")->Caption());
        for (const char16_t* name : {u"BackButton", u"NextButton", u"FinishButton", u"CancelButton"}) {
            ui::TWidget* b = form_->Find(name);
            if (!b->Showing()) continue;
            line += "   [" + U8(b->Caption()) + "]" + (b->Enabled() ? "" : " (disabled)");
        }
        std::printf("%s\n", line.c_str());
    }

    bool automatic_, details_;
    ui::TWidget* form_ = nullptr;
    ui::TWidget* notebook_ = nullptr;
    ui::TWidget* scanning_ = nullptr;
};

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
        TConsoleApp application(automatic, details);
        status = app::MainRoutine(args, &application);
        if (!application.Terminated()) status = 1;
    }
    if (lockFd >= 0) ::close(lockFd);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> machines;
    std::map<char16_t, fs::path> drives;
    std::optional<std::string> save;
    bool automatic = false;
    bool scanOnly = false, listBackups = false, details = false, undo = false;
    std::optional<std::string> report, restore;
    std::vector<std::u16string> args{u"C:\\Tallowmend\\tallowmend.exe"};
    emul::Arch arch = emul::Arch::Windows64;
    os::LANGID uiLanguage = 1033;
    struct {
        os::DWORD major, minor, build;
        std::u16string sp;
    } version{6, 1, 7601, u"Service Pack 1"};
    fs::path tempDrive;
    std::optional<fs::path> offline;
    std::optional<std::u16string> user;
    bool shaped = false;  // --windows or --arch: the drive says what it is

    try {
        for (int i = 1; i < argc; ++i) {
            std::string a = argv[i];
            auto value = [&]() -> std::string {
                if (i + 1 >= argc) throw TUsageError(a + " needs a value");
                return argv[++i];
            };
            if (a == "--machine") {
                machines.push_back(value());
            } else if (a == "--drive") {
                std::string v = value();
                if (v.size() < 3 || v[1] != '=' || !std::isalpha(static_cast<unsigned char>(v[0])))
                    throw TUsageError("--drive takes X=DIR");
                fs::path dir = v.substr(2);
                if (!fs::is_directory(dir)) throw TUsageError("not a folder: " + dir.string());
                drives[static_cast<char16_t>(std::toupper(static_cast<unsigned char>(v[0])))] = dir;
            } else if (a == "--windows") {
                shaped = true;
                std::string v = value();
                if (v == "xp") version = {5, 1, 2600, u"Service Pack 3"};
                else if (v == "vista") version = {6, 0, 6002, u"Service Pack 2"};
                else if (v == "7") version = {6, 1, 7601, u"Service Pack 1"};
                else if (v == "8") version = {6, 2, 9200, u""};
                else if (v == "10") version = {10, 0, 19045, u""};
                else throw TUsageError("--windows takes xp, vista, 7, 8 or 10");
            } else if (a == "--arch") {
                shaped = true;
                std::string v = value();
                if (v != "x86" && v != "x64") throw TUsageError("--arch takes x86 or x64");
                arch = v == "x86" ? emul::Arch::Windows32 : emul::Arch::Windows64;
            } else if (a == "--ui-language") {
                std::string v = value();
                char* end = nullptr;
                unsigned long id = std::strtoul(v.c_str(), &end, 0);
                if (v.empty() || *end || id == 0 || id > 0xFFFF)
                    throw TUsageError("--ui-language takes a language identifier such as 1031");
                uiLanguage = static_cast<os::LANGID>(id);
            } else if (a == "--auto") {
                automatic = true;
            } else if (a == "--scan-only") {
                scanOnly = true;
            } else if (a == "--details") {
                details = true;
            } else if (a == "--undo") {
                undo = true;
            } else if (a == "--list-backups") {
                listBackups = true;
            } else if (a == "--report") {
                report = value();
            } else if (a == "--restore") {
                restore = value();
            } else if (a == "--save") {
                save = value();
            } else if (a == "--offline") {
                offline = fs::path(value());
            } else if (a == "--user") {
                user = text::FromUtf8(value());
            } else if (a == "-debug") {
                args.push_back(u"-debug");
            } else {
                throw TUsageError("unknown option " + a);
            }
        }

        if (int(scanOnly) + int(listBackups) + int(restore.has_value()) > 1)
            throw TUsageError("use one of --scan-only, --restore and --list-backups at a time");
        if (report && !scanOnly && !restore && !automatic)
            throw TUsageError("--report goes with --scan-only, --restore or --auto");
        if (undo && (scanOnly || listBackups || restore || report))
            throw TUsageError("--undo opens the wizard's undo page; it goes with no other mode");
        if (user && !offline) throw TUsageError("--user goes with --offline");
        if (offline) {
            if (!machines.empty() || save || undo || listBackups || restore || drives.count(u'C') ||
                drives.count(u'P') || shaped)
                throw TUsageError("--offline takes the machine from the drive: it goes with --user, --drive "
                                  "(other than C:), --scan-only, --auto, --report, --details, --ui-language and -debug");
        }
        if (undo) args.push_back(u"-restore");
        if (scanOnly) args.push_back(u"-scan");
        if (listBackups) args.push_back(u"-list");
        if (restore) {
            args.push_back(u"-restore");
            args.push_back(text::FromUtf8(*restore));
        }
        if (report && automatic) args.push_back(u"-fix");
        if (report) {
            args.push_back(u"-report");
            args.push_back(text::FromUtf8(*report));
        }

        if (offline) {
            entry::TOfflineRequest request{*offline, user, drives, scanOnly, report, uiLanguage};
            return entry::RunOffline(request, args, [&](const std::vector<std::u16string>& a, const fs::path& folder) {
                bool busy = false;
                return RunProgram(a, scanOnly || report, automatic, details, folder, busy);
            });
        }

        fs::path examples = TALLOWMEND_EXAMPLES_DIR;
        if (machines.empty()) machines.push_back((examples / "machine.reg").string());
        std::vector<std::string> regFiles;
        for (const auto& file : machines) regFiles.push_back(ReadFile(file));

        emul::Reset();
        emul::SetArch(arch);
        emul::SetVersion(version.major, version.minor, version.build, 1, version.sp);
        emul::SetUILanguage(uiLanguage);
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
    int status = RunProgram(args, scanOnly || listBackups || restore || report, automatic, details,
                            drives.count(u'P') ? drives[u'P'] : ExecutableFolder(), busy);
    if (busy) {
        if (!tempDrive.empty()) fs::remove_all(tempDrive);
        return status;
    }
    if (save) {
        try {
            SaveRegistry(*save);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tallowmend: %s\n", e.what());
            status = 2;
        }
    }
    if (!tempDrive.empty()) fs::remove_all(tempDrive);
    return status;
}
