#include "app/Unattended.h"

#include <chrono>

#include "app/JournalSessions.h"
#include "app/MainFormUnit.h"
#include "app/Report.h"
#include "backups/BackupsManagerUnit.h"
#include "platform/Handle.h"
#include "platform/Text.h"
#include "runtime/AppFolders.h"
#include "runtime/Logger.h"
#include "ui/headless/HeadlessApp.h"

namespace app {
namespace {

bool Is(const std::u16string& arg, const char16_t* name) { return text::EqualNoCase(arg, name); }

class TSystemReportFile : public IReportFile {
public:
    explicit TSystemReportFile(std::u16string path) : path_(std::move(path)) {}

    bool Prepare(std::u16string& error) override { return Put({}, error); }
    bool Write(const std::string& bytes, std::u16string& error) override { return Put(bytes, error); }

private:
    bool Put(const std::string& bytes, std::u16string& error) {
        platform::FileHandle file(os::CreateFileW(path_.c_str(), os::GENERIC_WRITE, 0, nullptr, os::CREATE_ALWAYS,
                                                  os::FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            error = u"Cannot create the report file " + path_ + u": " + runtime::SysErrorText(os::GetLastError());
            return false;
        }
        os::DWORD done = 0;
        bool ok = bytes.empty() ||
                  (os::WriteFile(file.get(), bytes.data(), static_cast<os::DWORD>(bytes.size()), &done, nullptr) &&
                   done == bytes.size());
        ok = os::FlushFileBuffers(file.get()) && ok;
        auto code = os::GetLastError();
        ok = file.Close() && ok;
        if (!ok) error = u"Cannot write the report file " + path_ + u": " + runtime::SysErrorText(code);
        return ok;
    }

    std::u16string path_;
};

std::u16string Count(std::size_t n, const char16_t* one, const char16_t* many) {
    return text::FromAscii(std::to_string(n)) + u" " + (n == 1 ? one : many);
}

class TRun {
public:
    TRun(const TUnattendedOptions& options, const TUnattendedIO& io) : options_(options), io_(io) {}

    int Go() {
        if (!options_.Report.empty()) {
            report_ = io_.OpenReport(options_.Report);
            std::u16string error;
            // A report that cannot be written must stop the run before it
            // repairs anything: nobody would learn what it did.
            if (!report_ || !report_->Prepare(error)) {
                Print(error.empty() ? u"Cannot write the report file " + options_.Report : error);
                return kExitError;
            }
        }
        if (options_.Mode == TUnattendedOptions::List) return List();
        result_.Mode = options_.Mode == TUnattendedOptions::Scan  ? u"scan"
                       : options_.Mode == TUnattendedOptions::Fix ? u"fix"
                                                                  : u"restore";
        try {
            if (options_.Mode == TUnattendedOptions::Restore)
                Restore();
            else
                ScanAndFix();
        } catch (const std::exception& e) {
            Fail(text::FromUtf8(e.what()));
        }
        return Finish();
    }

private:
    void Print(const std::u16string& line) {
        if (io_.Print) io_.Print(line);
    }

    void Fail(const std::u16string& message) {
        if (result_.Error.empty()) result_.Error = message;
        runtime::Log(message);
    }

    void ScanAndFix() {
        ui::THeadlessApp application;
        application.Answer = [](const ui::TShownMessage& m) {
            return m.Buttons == ui::TMsgButtons::YesNo ? int(ui::mrNo) : int(ui::mrOk);
        };
        TMainForm form(application);
        form.NextButton->Click();
        application.Loop().RunUntil(
            [&] { return form.ScanningLabel->Caption() == u"Scan completed" || form.Page() == TMainForm::pgFailed; },
            std::chrono::hours(12));
        result_.Findings = CollectFindings(form);
        for (const auto& f : result_.Findings) Print(u"  found: " + f.Description);
        Print(u"Scan: " + Count(result_.Findings.size(), u"problem", u"problems") + u" found");
        if (options_.Mode == TUnattendedOptions::Fix && form.ResultsListBox->Count() > 0) {
            try {
                form.FixProblems(false);
            } catch (const backups::EJournalWriteError& e) {
                Fail(u"Nothing was repaired: the backup journal cannot be written: " + text::FromUtf8(e.what()));
            }
            outcomes_ = form.LastOutcomes();
            result_.Outcomes = &outcomes_;
            result_.Session = form.LastSession();
            std::size_t repaired = 0, failed = 0;
            for (const auto& f : result_.Findings) {
                auto it = outcomes_.find(f.Finding);
                if (it == outcomes_.end()) continue;
                if (it->second.Kind == TRepairOutcome::Repaired) ++repaired;
                if (it->second.Kind == TRepairOutcome::Failed) {
                    ++failed;
                    Print(u"  failed: " + f.Description + u": " + it->second.Reason);
                }
            }
            if (result_.Error.empty())
                Print(u"Fix: " + Count(repaired, u"repair", u"repairs") + u", " +
                      Count(failed, u"failure", u"failures") + u"; undo with -restore " + result_.Session);
            if (failed && result_.Error.empty()) Fail(Count(failed, u"repair", u"repairs") + u" failed");
        }
        // The scan's worker hands its last calls over after its completion.
        application.Loop().RunUntil([] { return false; }, std::chrono::milliseconds(50));
    }

    void Restore() {
        backups::TBackupsManager journal;
        auto sessions = ListSessions(journal);
        const auto* session = FindSession(sessions, options_.Session);
        if (!session) {
            Fail(u"The backup journal holds no session \"" + options_.Session + u"\"");
            return;
        }
        result_.Session = session->Id;
        result_.Restored = RestoreSession(journal, *session, nullptr);
        std::size_t restored = 0, skipped = 0, failed = 0;
        for (const auto& r : result_.Restored) {
            if (r.Outcome == TRestoreOutcome::Restored) ++restored;
            if (r.Outcome == TRestoreOutcome::Skipped) ++skipped;
            if (r.Outcome == TRestoreOutcome::Failed) ++failed;
            if (r.Outcome != TRestoreOutcome::Restored)
                Print(u"  not put back: " + r.Entry.Description + u": " + r.Reason);
        }
        Print(u"Restore of session " + session->Id + u": " + Count(restored, u"entry", u"entries") + u" put back, " +
              text::FromAscii(std::to_string(skipped)) + u" skipped, " + text::FromAscii(std::to_string(failed)) +
              u" failed");
        if (failed) Fail(Count(failed, u"entry", u"entries") + u" could not be put back");
    }

    int List() {
        backups::TBackupsManager journal;
        for (const auto& s : ListSessions(journal)) {
            Print(s.Id.empty() ? std::u16string(u"Entries outside any session:")
                               : u"Session " + s.Id + u"  " + s.Time + u"  Windows " + s.Windows + u"  (" +
                                     Count(s.Entries.size(), u"entry", u"entries") + u")");
            for (const auto& e : s.Entries) {
                std::u16string line = u"  " + e.Name + u"  " + e.Description;
                if (!e.Restored.empty()) line += u"  [put back " + e.Restored + u"]";
                if (!e.Problem.empty()) line += u"  [unreadable: " + e.Problem + u"]";
                Print(line);
            }
        }
        return kExitNothingFound;
    }

    int Finish() {
        int code = kExitNothingFound;
        if (!result_.Error.empty()) {
            code = kExitError;
        } else if (options_.Mode == TUnattendedOptions::Restore) {
            for (const auto& r : result_.Restored)
                if (r.Outcome != TRestoreOutcome::Restored) code = kExitProblemsFound;
        } else if (!result_.Findings.empty()) {
            code = kExitProblemsFound;
        }
        result_.ExitCode = code;
        if (!result_.Error.empty()) Print(u"Error: " + result_.Error);
        if (report_) {
            std::u16string error;
            if (!report_->Write(ReportJson(result_), error)) {
                Print(error);
                return kExitError;
            }
        }
        return code;
    }

    const TUnattendedOptions& options_;
    const TUnattendedIO& io_;
    std::unique_ptr<IReportFile> report_;
    TReport result_;
    std::map<const void*, TRepairOutcome> outcomes_;
};

}  // namespace

bool ParseUnattendedArgs(const std::vector<std::u16string>& args, TUnattendedOptions& options, std::u16string& error) {
    options = {};
    int modes = 0;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const auto& a = args[i];
        if (Is(a, u"-scan")) {
            options.Mode = TUnattendedOptions::Scan, ++modes;
        } else if (Is(a, u"-fix")) {
            options.Mode = TUnattendedOptions::Fix, ++modes;
        } else if (Is(a, u"-list")) {
            options.Mode = TUnattendedOptions::List, ++modes;
        } else if (Is(a, u"-restore")) {
            ++modes;
            if (i + 1 < args.size() && !args[i + 1].empty() && args[i + 1][0] != u'-') {
                options.Mode = TUnattendedOptions::Restore;
                options.Session = args[++i];
            } else {
                options.OpenUndoPage = true;
            }
        } else if (Is(a, u"-report")) {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                error = u"-report needs a file name";
                return false;
            }
            options.Report = args[++i];
        }
    }
    if (modes > 1) {
        error = u"Use one of -scan, -fix, -restore and -list at a time";
        return false;
    }
    if (!options.Report.empty() &&
        (options.Mode == TUnattendedOptions::None || options.Mode == TUnattendedOptions::List)) {
        error = u"-report goes with -scan, -fix or -restore SESSION";
        return false;
    }
    return true;
}

std::unique_ptr<IReportFile> OpenSystemReportFile(const std::u16string& path) {
    return std::make_unique<TSystemReportFile>(path);
}

int RunUnattended(const TUnattendedOptions& options, const TUnattendedIO& io) { return TRun(options, io).Go(); }

TInstanceLock::TInstanceLock() : path_(runtime::GetDataFolder() + u"tallowmend.lock") {
    auto file = os::CreateFileW(path_.c_str(), os::GENERIC_WRITE, 0, nullptr, os::OPEN_ALWAYS, os::FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (file != os::INVALID_HANDLE_VALUE) {
        handle_.reset(file);
        held_ = true;
        return;
    }
    // Only another holder says "running"; a folder that cannot take the file
    // must not keep the program from starting.
    held_ = os::GetLastError() != os::ERROR_SHARING_VIOLATION;
}

TInstanceLock::~TInstanceLock() {
    if (!handle_) return;
    handle_.reset();
    // Nothing of the lock stays in the program's folder (an uninstall would
    // find it); a run that took the lock meanwhile holds the file open, and
    // then it stays.
    os::DeleteFileW(path_.c_str());
}

}  // namespace app
