// The whole scan over a realistic 64-bit Windows 7 machine: every scanner in
// both views, healthy entries beside broken ones and the traps a real
// registry holds. The expected findings, in order, live beside the fixture
// (tests/fixtures/realistic/expected.txt); the same file is checked under
// Wine by wine-fullscan.sh.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/DefaultSettingChecks.h"
#include "app/JournalSessions.h"
#include "app/MainFormUnit.h"
#include "backups/BackupsManagerUnit.h"
#include "fullscan/FullScan.h"
#include "platform/RegistryAccess.h"
#include "platform/Text.h"
#include "platform/Wow64.h"
#include "platform/emul/EmulRegistry.h"
#include "platform/emul/Machine.h"
#include "platform/emul/RegText.h"
#include "runtime/AppFolders.h"
#include "scan/PathChecks.h"
#include "support/SeamTest.h"
#include "ui/headless/HeadlessApp.h"

namespace fullscan {
namespace {

using namespace std::chrono_literals;

const std::string kFixture = std::string(TALLOWMEND_FIXTURES_DIR) + "/realistic";

std::string Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& line : lines) out += line + "\n";
    return out;
}

class RealisticMachine : public testsupport::SeamTest {
protected:
    void SetUp() override {
        SeamTest::SetUp();
        // The scratch key would be walked as a vendor of its own.
        testsupport::DeleteTree(os::HKEY_CURRENT_USER, u"Software\\TallowmendTests", 0);

        std::ifstream in(kFixture + "/machine.reg", std::ios::binary);
        ASSERT_TRUE(in);
        std::stringstream text;
        text << in.rdbuf();
        emul::LoadRegText(text::FromUtf8(text.str()));

        testsupport::CopyIntoDrive(kFixture + "/drive-c", u"C:");
        platform::InitWindows64();
    }
};

TEST_F(RealisticMachine, FullScanFindsExactlyTheBrokenEntriesOfBothViewsInOrder) {
    ASSERT_TRUE(platform::IsWindows64()) << "the default emulated machine is 64-bit Windows 7";
    auto result = RunFullScan(120s);
    ASSERT_TRUE(result.completed) << "the scan did not complete";
    auto expected = CensusFindings(ReadCensus(kFixture + "/expected.txt"), "native");
    ASSERT_FALSE(expected.empty());
    // One string, so that a mismatch prints as a readable diff.
    EXPECT_EQ(Joined(result.lines), Joined(expected));
}

// Every finding of both censuses is classified, and a "missing" one names
// a path that really is missing on this machine, in either view.
TEST_F(RealisticMachine, EveryCensusLineIsClassifiedAndItsMissingPathIsGone) {
    const std::string files[] = {kFixture + "/expected.txt", std::string(TALLOWMEND_FULLSCAN_DIR) + "/wine-prefix-census.txt"};
    for (const auto& file : files) {
        std::vector<CensusLine> census;
        ASSERT_NO_THROW(census = ReadCensus(file)) << file;
        ASSERT_FALSE(census.empty()) << file;
        for (const auto& line : census) {
            SCOPED_TRACE(file + ": " + line.finding);
            for (const auto& side : line.sides) EXPECT_TRUE(side == "all" || side == "native" || side == "wine") << side;
            const bool onThisMachine = file == files[0] && line.HoldsFor("native");
            if (line.verdict == "empty") {
                EXPECT_TRUE(line.finding.ends_with(" -- Empty key"));
            } else if (line.verdict.starts_with("missing ")) {
                auto path = scan::ExpandEnvVars(text::FromUtf8(line.verdict.substr(8)));
                if (onThisMachine) {
                    EXPECT_FALSE(scan::InEitherView(path, scan::PathExists)) << "it is there";
                }
            } else {
                EXPECT_TRUE(line.verdict.starts_with("harness ")) << line.verdict;
                EXPECT_FALSE(line.HoldsFor("native")) << "the emulated machine runs the program's own passes";
            }
        }
    }
}

// The wizard itself: the checks and the scan fill the list, Next runs the
// fix step (the setting entry and the scan's entry, bottom up), and every
// finding repairs in the view it was found in.
TEST_F(RealisticMachine, TheFixStepLeavesOnlyTheKeysItEmptiedAndKeepsTheHealthyEntries) {
    // The fix step repairs nothing it could not back up first: the journal
    // needs a folder it can write.
    runtime::SetDataFolder(ScratchFolder());
    {
        ui::THeadlessApp application;
        app::TMainForm form(application);
        ASSERT_TRUE(form.NextButton->Click());
        ASSERT_TRUE(application.Loop().RunUntil([&] { return form.NextButton->Enabled(); }, 120s));
        ASSERT_EQ(form.ResultsListBox->Count(), 2);
        EXPECT_EQ(text::ToUtf8(form.ResultsListBox->Item(0).Text),
                  "Invalid data Shell = \"explorer.exe C:\\Users\\root\\AppData\\Local\\GoneChat\\chathook.exe\" at "
                  "key HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon (64-bit view)");
        ASSERT_TRUE(form.NextButton->Click());
        EXPECT_EQ(form.Page(), app::TMainForm::pgSuccess);
        EXPECT_EQ(form.ResultsListBox->Count(), 0);
    }
    const std::u16string winlogon = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    EXPECT_EQ(app::ReadSettingText(os::HKEY_LOCAL_MACHINE, winlogon, u"Shell", os::KEY_WOW64_64KEY), u"Explorer.exe");
    EXPECT_EQ(app::ReadSettingText(os::HKEY_LOCAL_MACHINE, winlogon, u"Shell", os::KEY_WOW64_32KEY), u"explorer.exe");

    // Every key the repair emptied still holds a healthy value: nothing is
    // left for a second scan.
    auto second = RunFullScan(120s);
    ASSERT_TRUE(second.completed);
    EXPECT_EQ(Joined(second.lines), "");

    using platform::RegView;
    const os::HKEY hklm = os::HKEY_LOCAL_MACHINE;
    struct Kept {
        os::HKEY root;
        std::u16string key;
        std::u16string value;
        RegView view;
    };
    const Kept kept[] = {
        // Beside removed values, in each view.
        {hklm, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", u"Only64Tray", RegView::Wow64_64()},
        {hklm, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", u"Writer", RegView::Wow64_64()},
        {hklm, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", u"Tessel", RegView::Default()},
        {hklm, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls", u"C:\\windows\\system32\\only64svc.dll",
         RegView::Wow64_64()},
        {hklm, u"SOFTWARE\\Harborview\\Sync", u"Path", RegView::Default()},
        // Classes whose namesakes in the other view were removed.
        {hklm, u"SOFTWARE\\Classes\\CLSID\\{4C8E2A10-1B3D-4E5F-8A9B-0C1D2E3F4A05}\\InprocServer32", u"",
         RegView::Wow64_64()},
        {hklm, u"SOFTWARE\\Classes\\CLSID\\{7D1F3B20-2C4E-4F60-9B1C-1D2E3F405B07}\\InprocServer32", u"",
         RegView::Default()},
        {os::HKEY_CLASSES_ROOT, u"Tessel.Project\\DefaultIcon", u"", RegView::Default()},
        {os::HKEY_CLASSES_ROOT, u"Quillsoft.Template\\DefaultIcon", u"", RegView::Default()},
        {os::HKEY_CURRENT_USER, u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.zip\\OpenWithList", u"a",
         RegView::Default()},
        // Healthy the way Windows reads them: command lines with arguments,
        // a braced icon folder named through a variable, a file on a drive
        // not there now, another user's own profile, a 64-bit program's
        // history record.
        {hklm, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", u"Spooler", RegView::Wow64_64()},
        {hklm, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", u"WriterAgent", RegView::Wow64_64()},
        {os::HKEY_CLASSES_ROOT, u"Quillsoft.Document\\shell\\openas\\command", u"", RegView::Default()},
        {os::HKEY_CLASSES_ROOT, u"Tessel.Template\\DefaultIcon", u"", RegView::Default()},
        {os::HKEY_CURRENT_USER, u"Software\\Quillsoft\\Writer\\5.0\\Recent File List", u"File3", RegView::Default()},
        {os::HKEY_USERS, u"S-1-5-21-3623811015-3361044348-30300820-1001\\Software\\Tessel", u"Template", RegView::Default()},
        {os::HKEY_CURRENT_USER,
         u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist\\{CEBFF5CD-ACE2-4F4F-9178-9926F41749EA}\\Count",
         u"P:\\Jvaqbjf\\Flfgrz32\\bayl64genl.rkr", RegView::Default()},
    };
    for (const auto& k : kept)
        EXPECT_TRUE(platform::RegistryValueExists(k.root, k.key, k.value, k.view))
            << text::ToUtf8(k.key) << "|" << text::ToUtf8(k.value);
}

// The registry as the system would export it: both hives, both views. A
// value put back is the key's newest, as on Windows, so an export lists it
// last: values are compared by name, everything else as exported.
std::string Export() {
    std::string out;
    for (const char16_t* root : {u"HKEY_LOCAL_MACHINE", u"HKEY_USERS"}) {
        for (auto& key : emul::regtext::Parse(emul::SaveRegText(root)).keys) {
            std::sort(key.values.begin(), key.values.end(),
                      [](const auto& a, const auto& b) { return text::CompareNoCase(a.name, b.name) < 0; });
            out += text::ToUtf8(emul::regtext::Write({key}));
        }
    }
    return out;
}

// Serves the loop until `done`, failing the test on a timeout.
void Serve(ui::THeadlessApp& application, const std::function<bool()>& done) {
    ASSERT_TRUE(application.Loop().RunUntil(done, std::chrono::seconds(120)));
}

TEST_F(RealisticMachine, UndoingTheWizardsFixRunGivesBackTheRegistryItHadBeforeByteForByte) {
    runtime::SetDataFolder(ScratchFolder());
    // Settings for the checks besides the scanners' findings: an altered open
    // command, and a service whose program is gone (a key tree to remove).
    platform::RegistryCreateKey(os::HKEY_CLASSES_ROOT, u"exefile\\shell\\open\\command");
    platform::RegistryWriteString(os::HKEY_CLASSES_ROOT, u"exefile\\shell\\open\\command", u"",
                                  u"\"%1\" %* /also C:\\Temp\\x.exe");
    const std::u16string service = u"SYSTEM\\CurrentControlSet\\Services\\GoneSvc";
    platform::RegistryCreateKey(os::HKEY_LOCAL_MACHINE, service + u"\\Parameters");
    platform::RegistryWriteExpandString(os::HKEY_LOCAL_MACHINE, service, u"ImagePath", u"C:\\Gone\\rundll32svc.exe -k");
    platform::RegistryWriteInteger(os::HKEY_LOCAL_MACHINE, service, u"Start", 2);
    platform::RegistryWriteBinary(os::HKEY_LOCAL_MACHINE, service + u"\\Parameters", u"Blob", "\x01\x00\x02", 3);
    const auto before = Export();
    std::u16string session;
    {
        ui::THeadlessApp application;
        app::TMainForm form(application);
        ASSERT_TRUE(form.NextButton->Click());
        Serve(application, [&] { return form.ScanningLabel->Caption() == u"Scan completed"; });
        std::string entries;
        for (int i = 0; i < form.ResultsListBox->Count(); ++i)
            entries += text::ToUtf8(form.ResultsListBox->Item(i).Text) + "\n";
        // The machine's own hijacked 64-bit Winlogon shell comes with them.
        ASSERT_EQ(form.ResultsListBox->Count(), 4) << "three settings, then the scanners' composite:\n" << entries;
        ASSERT_TRUE(form.NextButton->Click());
        ASSERT_EQ(form.Page(), app::TMainForm::pgSuccess);
        session = form.LastSession();
        for (const auto& [finding, outcome] : form.LastOutcomes())
            EXPECT_NE(outcome.Kind, app::TRepairOutcome::Failed) << text::ToUtf8(outcome.Reason);
        Serve(application, [] { return true; });
    }
    ASSERT_NE(Export(), before) << "the fix changed nothing";

    backups::TBackupsManager journal;
    auto sessions = app::ListSessions(journal);
    const auto* last = app::FindSession(sessions, u"last");
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->Id, session);
    for (const auto& entry : last->Entries) EXPECT_EQ(entry.Problem, u"") << text::ToUtf8(entry.Description);
    auto results = app::RestoreSession(journal, *last, nullptr);
    ASSERT_EQ(results.size(), last->Entries.size());
    for (const auto& r : results)
        EXPECT_EQ(r.Outcome, app::TRestoreOutcome::Restored)
            << text::ToUtf8(r.Entry.Description) << ": " << text::ToUtf8(r.Reason);
    EXPECT_EQ(Export(), before);
}

}  // namespace
}  // namespace fullscan
