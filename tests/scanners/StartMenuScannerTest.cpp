#include "scanners/StartMenuScannerUnit.h"

#include "scanners/ScannerHarness.h"

namespace scanners::testing {
namespace {

#ifndef _WIN32
const std::string kOrder =
    "key HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu2\\Programs\\";
const std::u16string kPrograms = u"C:\\users\\root\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\";

class StartMenuTest : public ScannerHarness {
protected:
    void SetUp() override {
        ScannerHarness::SetUp();
        LoadFixture("startup.reg");
        MakeFolder(kPrograms + u"Good Apps");
        MakeFolder(kPrograms + u"Mixed Case");
    }
    TStartMenuScanner scanner;
};

// Only the gone folder's own subkey is reported; its child and its siblings
// stay, and folder names compare without case.
TEST_F(StartMenuTest, ReportsTheSubkeyOfAGoneFolderAlone) {
    EXPECT_EQ(Run(scanner, kPass64), Lines{kOrder + "gone apps"});
    EXPECT_EQ(Run(scanner, kPass32), Lines{kOrder + "gone apps"});
    EXPECT_EQ(abortChecks, 3);
}

TEST_F(StartMenuTest, StopsBeforeTheNextSubkeyOnceAborted) {
    EXPECT_EQ(Run(scanner, kPass64, 0), Lines{});
    EXPECT_EQ(abortChecks, 1);
    // "gone apps" comes first and is reported; the walk ends before "Good Apps".
    EXPECT_EQ(Run(scanner, kPass64, 1), Lines{kOrder + "gone apps"});
    EXPECT_EQ(abortChecks, 2);
}

TEST_F(StartMenuTest, AMovedProgramsFolderIsFollowed) {
    emul::SetShellFolder(os::CSIDL_PROGRAMS, u"C:\\Apps\\Good\\Menu\\");
    MakeFolder(u"C:\\Apps\\Good\\Menu\\gone apps");
    EXPECT_EQ(Run(scanner, kPass64), (Lines{kOrder + "Good Apps", kOrder + "MIXED case"}));
}

// A shell that names no programs folder must not turn every cached folder
// into a finding.
TEST_F(StartMenuTest, JudgesNothingWithoutAProgramsFolder) {
    emul::SetShellFolder(os::CSIDL_PROGRAMS, u"\\");
    EXPECT_EQ(Run(scanner, kPass64), Lines{});
}

// A roaming profile's folder on a network drive that is not mapped now.
TEST_F(StartMenuTest, JudgesNothingWhenTheProgramsFolderIsOnADriveThatIsNotThere) {
    emul::SetShellFolder(os::CSIDL_PROGRAMS, testsupport::AbsentDrive() + u"\\Profiles\\root\\Programs");
    EXPECT_EQ(Run(scanner, kPass64), Lines{});
}
#endif

}  // namespace
}  // namespace scanners::testing
