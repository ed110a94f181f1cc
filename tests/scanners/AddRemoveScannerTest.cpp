#include "scanners/AddRemoveScannerUnit.h"

#include "scanners/ScannerHarness.h"

namespace scanners::testing {
namespace {

#ifndef _WIN32
const std::string kUninstall = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

class AddRemoveTest : public ScannerHarness {
protected:
    void SetUp() override {
        ScannerHarness::SetUp();
        LoadFixture("startup.reg");
    }
    TAddRemoveScanner scanner;
};

// Entries without a location, or with an empty one, are left alone; each
// view has its own uninstall list.
TEST_F(AddRemoveTest, ReportsTheWholeEntryOfAGoneInstallFolder) {
    EXPECT_EQ(Run(scanner, kPass64), Lines{"key " + kUninstall + "{Gone}"});
    EXPECT_EQ(progress, (Lines{kUninstall + "EmptyLocation", kUninstall + "NoLocation", kUninstall + "{Gone}",
                               kUninstall + "{Good}"}));
    EXPECT_EQ(Run(scanner, kPass32), Lines{"key " + kUninstall + "Gone32"});
    EXPECT_EQ(progress, Lines{kUninstall + "Gone32"});
}

TEST_F(AddRemoveTest, FinishesTheAnnouncedEntryBeforeStopping) {
    EXPECT_EQ(Run(scanner, kPass32, 0), Lines{"key " + kUninstall + "Gone32"});
    EXPECT_EQ(Run(scanner, kPass64, 2), Lines{"key " + kUninstall + "{Gone}"});
    EXPECT_EQ(progress.size(), 3u);
}
#endif

}  // namespace
}  // namespace scanners::testing
