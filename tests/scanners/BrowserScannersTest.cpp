// Helper objects, toolbar entries, context-menu extensions and approved
// shell extensions: judged by the server of the class each one names.
#include "scanners/BHOScannerUnit.h"
#include "scanners/ContextMenuScannerUnit.h"
#include "scanners/ScannerHarness.h"
#include "scanners/ShellExtensionsScannerUnit.h"
#include "scanners/ToolbarButtonsScannerUnit.h"

namespace scanners::testing {
namespace {

#ifndef _WIN32
const std::string kBho =
    "key HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\"
    "{00000000-0000-0000-0000-0000000000";
const std::string kToolbar =
    "value HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar|{00000000-0000-0000-0000-0000000000";
const std::string kApproved =
    "value HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved|"
    "{00000000-0000-0000-0000-0000000000";
const std::string kMenuExt = "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\MenuExt";

// Unregistered classes (F0) and names that are no class at all are never
// reported; the class lookup ignores the case of the identifier (a4).
INSTANTIATE_TEST_SUITE_P(
    Browser, ScannerTable,
    ::testing::Values(Case{"Bho64", Make<TBHOScanner>, "com.reg", kPass64, {kBho + "A2}", kBho + "a4}"}},
                      Case{"Bho32", Make<TBHOScanner>, "com.reg", kPass32, {}},
                      Case{"Toolbar64", Make<TToolbarButtonsScanner>, "com.reg", kPass64, {kToolbar + "A2}"}},
                      Case{"Approved64", Make<TShellExtensionsScanner>, "com.reg", kPass64,
                           {kApproved + "A2}", kApproved + "A4}"}},
                      // res:// addresses do not begin with a drive.
                      Case{"MenuExt64", Make<TContextMenuScanner>, "com.reg", kPass64,
                           {"value " + kMenuExt + "\\&Gone| (data)"}},
                      Case{"MenuExt32", Make<TContextMenuScanner>, "com.reg", kPass32,
                           {"value " + kMenuExt + "\\&Gone| (data)"}}),
    CaseName);

TEST_F(ScannerHarness, ContextMenuWalkAnnouncesEveryKeyAndHonoursTheAbortEvent) {
    LoadFixture("com.reg");
    TContextMenuScanner scanner;
    Run(scanner, kPass64);
    EXPECT_EQ(progress, (Lines{kMenuExt, kMenuExt + "\\&Gone", kMenuExt + "\\&Good", kMenuExt + "\\&Resource"}));
    EXPECT_EQ(Run(scanner, kPass64, 0), Lines{});
}

// The helper-object list is per view: a 32-bit registration is judged by
// the 32-bit class of the same identifier.
TEST_F(ScannerHarness, HelperObjectsOfThe32BitViewUseThe32BitClasses) {
    LoadFixture("com.reg");
    emul::LoadRegText(
        u"Windows Registry Editor Version 5.00\n\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\"
        u"{00000000-0000-0000-0000-0000000000B2}]\n\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\"
        u"{00000000-0000-0000-0000-0000000000A2}]\n");
    TBHOScanner scanner;
    EXPECT_EQ(Run(scanner, kPass32), Lines{kBho + "B2}"});
}
#endif

}  // namespace
}  // namespace scanners::testing
