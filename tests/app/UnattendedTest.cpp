// The program without a window: the report, the exit codes, the journal
// session it leaves and the faults that must stop it before it repairs
// anything. These run the real checks and scanners over the whole registry,
// so they need the emulated machine: a Wine prefix's own entries would be
// found as well.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "app/JournalSessions.h"
#include "app/RepairRun.h"
#include "app/Unattended.h"
#include "backups/BackupsManagerUnit.h"
#include "findings/CleanerRegValueProduct.h"
#include "platform/Handle.h"
#include "platform/Text.h"
#include "runtime/LogTestSupport.h"

namespace apptest {
namespace {

const char16_t kRun[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

class Unattended : public LogTest {
protected:
    void SetUp() override {
        LogTest::SetUp();
        if (!testsupport::Native()) GTEST_SKIP() << "scans the whole registry; needs the emulated machine";
        // The scratch key would be walked as a vendor of its own.
        testsupport::DeleteTree(os::HKEY_CURRENT_USER, u"Software\\TallowmendTests", 0);
        SetRun(u"Gone", u"C:\\Nowhere\\gone.exe /start");
        report = ScratchFolder() + u"\\report.json";
    }

    void SetRun(const std::u16string& name, const std::u16string& data) {
        platform::RegistryCreateKey(os::HKEY_CURRENT_USER, kRun);
        platform::RegistryWriteString(os::HKEY_CURRENT_USER, kRun, name, data);
    }
    std::u16string Run(const std::u16string& name) {
        std::u16string text;
        if (!platform::RegistryValueExists(os::HKEY_CURRENT_USER, kRun, name)) return u"<missing>";
        platform::RegistryReadString(os::HKEY_CURRENT_USER, kRun, name, text);
        return text;
    }

    int Go(app::TUnattendedOptions::TMode mode, const std::u16string& session = {}) {
        app::TUnattendedOptions options;
        options.Mode = mode;
        options.Session = session;
        options.Report = report;
        app::TUnattendedIO io;
        io.Print = [this](const std::u16string& line) { printed += text::ToUtf8(line) + "\n"; };
        return app::RunUnattended(options, io);
    }
    nlohmann::json Report() { return nlohmann::json::parse(ReadAll(report)); }

    std::u16string report;
    std::string printed;
};

TEST_F(Unattended, ScanReportsEachFindingWithoutRepairingAndExitsOne) {
    // A shell hijacked only where 64-bit Windows reads it.
    const std::u16string winlogon = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    platform::RegistryCreateKey(os::HKEY_LOCAL_MACHINE, winlogon, platform::RegView::Wow64_64());
    platform::RegistryWriteString(os::HKEY_LOCAL_MACHINE, winlogon, u"Shell", u"explorer.exe C:\\Nowhere\\hook.exe",
                                  platform::RegView::Wow64_64());
    ASSERT_EQ(Go(app::TUnattendedOptions::Scan), app::kExitProblemsFound) << printed;
    auto j = Report();
    EXPECT_EQ(j["format"], 1);
    EXPECT_EQ(j["mode"], "scan");
    EXPECT_EQ(j["exit_code"], 1);
    EXPECT_TRUE(j["error"].is_null());
    EXPECT_EQ(j["windows"]["architecture"], "x64");
    nlohmann::json gone;
    for (const auto& f : j["findings"])
        if (f["value"] == "Gone") gone = f;
    ASSERT_FALSE(gone.is_null()) << j.dump(1);
    EXPECT_EQ(gone["kind"], "scanner");
    EXPECT_EQ(gone["class"], "TCleanerRegValueProduct");
    EXPECT_EQ(gone["root"], "HKEY_CURRENT_USER");
    EXPECT_EQ(gone["key"], text::ToUtf8(kRun));
    EXPECT_EQ(gone["data"], "C:\\Nowhere\\gone.exe /start");
    EXPECT_FALSE(gone.contains("outcome"));
    EXPECT_EQ(Run(u"Gone"), u"C:\\Nowhere\\gone.exe /start");
    nlohmann::json shell;
    for (const auto& f : j["findings"])
        if (f["value"] == "Shell") shell = f;
    ASSERT_FALSE(shell.is_null()) << j.dump(1);
    EXPECT_EQ(shell["kind"], "setting");
    EXPECT_EQ(shell["view"], "64-bit") << "the view the deviation was found in";
}

TEST_F(Unattended, FixRepairsEverythingAndRestoreLastPutsItBack) {
    ASSERT_EQ(Go(app::TUnattendedOptions::Fix), app::kExitProblemsFound) << printed;
    EXPECT_EQ(Run(u"Gone"), u"<missing>");
    auto j = Report();
    ASSERT_FALSE(j["session"].is_null());
    // HKEY_CURRENT_USER is one key in both views: its second finding is
    // repaired by the first.
    std::size_t repaired = 0;
    for (const auto& f : j["findings"]) {
        if (f["outcome"] == "skipped") {
            EXPECT_EQ(f["reason"], "repaired above: the same entry, found in both registry views") << f.dump();
            continue;
        }
        ++repaired;
        EXPECT_EQ(f["outcome"], "repaired") << f.dump();
        EXPECT_EQ(f["journal_entry"]["session"], j["session"]);
    }

    ASSERT_EQ(Go(app::TUnattendedOptions::Restore, u"last"), app::kExitNothingFound) << printed;
    EXPECT_EQ(Run(u"Gone"), u"C:\\Nowhere\\gone.exe /start");
    auto r = Report();
    EXPECT_EQ(r["mode"], "restore");
    EXPECT_EQ(r["session"], j["session"]);
    EXPECT_EQ(r["restored"].size(), repaired);
    for (const auto& e : r["restored"]) EXPECT_EQ(e["outcome"], "restored") << e.dump();

    // Again: what came back is there now, so each entry is skipped and said so.
    SetRun(u"Gone", u"C:\\New\\again.exe");
    ASSERT_EQ(Go(app::TUnattendedOptions::Restore, text::FromUtf8(j["session"].get<std::string>())),
              app::kExitProblemsFound)
        << printed;
    EXPECT_EQ(Run(u"Gone"), u"C:\\New\\again.exe");
    bool saidSo = false;
    auto again = Report();
    for (const auto& e : again["restored"])
        saidSo = saidSo || (e["outcome"] == "skipped" &&
                            e["reason"].get<std::string>().find("exists again") != std::string::npos);
    EXPECT_TRUE(saidSo) << printed;
}

// Faults that must stop the run with exit code 2 before anything is
// repaired: the broken entry stays as it was.
enum class Fault { ReportInAMissingFolder, JournalCannotBeWritten };
struct FaultCase {
    const char* label;
    Fault fault;
    const char* message;
};

class UnattendedFault : public Unattended, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(UnattendedFault, StopsBeforeAnyRepair) {
    if (GetParam().fault == Fault::ReportInAMissingFolder) report = ScratchFolder() + u"\\no such folder\\report.json";
    // A folder where the journal's file must go: it cannot be saved.
    if (GetParam().fault == Fault::JournalCannotBeWritten) {
        ASSERT_TRUE(os::CreateDirectoryW((ScratchFolder() + u"\\backups.ini.tmp").c_str(), nullptr));
    }
    EXPECT_EQ(Go(app::TUnattendedOptions::Fix), app::kExitError);
    EXPECT_EQ(Run(u"Gone"), u"C:\\Nowhere\\gone.exe /start");
    EXPECT_NE(printed.find(GetParam().message), std::string::npos) << printed;
}

INSTANTIATE_TEST_SUITE_P(Faults, UnattendedFault,
                         ::testing::Values(FaultCase{"ReportInAMissingFolder", Fault::ReportInAMissingFolder,
                                                     "Cannot create the report file"},
                                           FaultCase{"JournalCannotBeWritten", Fault::JournalCannotBeWritten,
                                                     "the backup journal cannot be written"}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(Unattended, ADamagedJournalListsWhatItCanAndRestoresTheReadableEntries) {
    ASSERT_EQ(Go(app::TUnattendedOptions::Fix), app::kExitProblemsFound) << printed;
    // Hand-edited: an entry of an unknown kind, one whose files are gone, and
    // lines that are no INI at all.
    auto ini = ReadAll(ScratchFolder() + u"\\backups.ini");
    ini +=
        "garbage "
        "line\r\n[900]\r\nType=TSomethingElse\r\nSession=1\r\n\r\n[901]"
        "\r\nType=TCleanerRegKeyProduct\r\n"
        "Session=1\r\nRootKey=-2147483647\r\nKey="
        "Software\\Lost\r\nBackupFolder=901\r\n\r\n";
    WriteAll(ScratchFolder() + u"\\backups.ini", ini);

    backups::TBackupsManager journal;
    auto sessions = app::ListSessions(journal);
    const auto* session = app::FindSession(sessions, u"1");
    ASSERT_NE(session, nullptr);
    std::map<std::u16string, std::u16string> problems;
    for (const auto& e : session->Entries) problems[e.Name] = e.Problem;
    EXPECT_EQ(problems[u"900"], u"unknown kind of backup \"TSomethingElse\"");
    EXPECT_EQ(problems[u"901"], u"the key's backup files are missing");

    EXPECT_EQ(Go(app::TUnattendedOptions::Restore, u"1"), app::kExitError);
    EXPECT_EQ(Run(u"Gone"), u"C:\\Nowhere\\gone.exe /start");
    int failed = 0;
    auto r = Report();
    for (const auto& e : r["restored"]) failed += e["outcome"] == "failed";
    EXPECT_EQ(failed, 2) << r.dump(1);
}

TEST_F(Unattended, OnlyTheNewestSessionsAreKept) {
    WriteAll(ScratchFolder() + u"\\backups.ini", "[Count]\r\nKeepSessions=2\r\n\r\n");
    for (int run = 0; run < 3; ++run) {
        SetRun(u"Gone", u"C:\\Nowhere\\gone.exe /start");
        app::TFixRun fix;
        findings::TCleanerRegValueProduct finding(os::HKEY_CURRENT_USER, kRun, u"Gone", u"r",
                                                  platform::RegView::Default());
        EXPECT_EQ(fix.Repair(finding).Kind, app::TRepairOutcome::Repaired);
    }
    backups::TBackupsManager journal;
    std::vector<std::u16string> ids;
    for (const auto& s : app::ListSessions(journal)) ids.push_back(s.Id);
    EXPECT_EQ(ids, (std::vector<std::u16string>{u"3", u"2"}));
    EXPECT_FALSE(Exists(ScratchFolder() + u"\\backuped\\0"));
}

class InstanceLock : public LogTest {};

TEST_F(InstanceLock, ASecondHolderIsTurnedAwayAndNothingStaysBehind) {
    {
        app::TInstanceLock first;
        ASSERT_TRUE(first.Held());
        EXPECT_FALSE(app::TInstanceLock().Held());
    }
    EXPECT_FALSE(Exists(ScratchFolder() + u"\\tallowmend.lock"));
    EXPECT_TRUE(app::TInstanceLock().Held());
}

}  // namespace
}  // namespace apptest
