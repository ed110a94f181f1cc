#include "scanners/COMActiveXScannerUnit.h"

#include "scanners/ScannerHarness.h"

namespace scanners::testing {
namespace {

#ifndef _WIN32
const std::string kClass = "key HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{00000000-0000-0000-0000-0000000000";
const std::string kTypeLib = "key HKEY_LOCAL_MACHINE\\Software\\Classes\\TypeLib\\{00000000-0000-0000-0000-0000000000";

// A readable in-process server decides alone, even an empty one; a local
// server counts only when the in-process key is missing or not a string,
// and a quoted server command line (A8) is not a drive path.
// Type libraries lose only the help key of the version whose folder is gone.
INSTANTIATE_TEST_SUITE_P(
    COMActiveX, ScannerTable,
    ::testing::Values(Case{"Pass64", Make<TCOMActiveXScanner>, "com.reg", kPass64,
                           {kClass + "A2}", kClass + "A4}", kClass + "A5}", kTypeLib + "C1}\\1.0\\HELPDIR",
                            kTypeLib + "C2}\\1.1\\HELPDIR"}},
                      // Classes have a view of their own, type libraries are shared.
                      Case{"Pass32", Make<TCOMActiveXScanner>, "com.reg", kPass32,
                           {kClass + "B2}", kTypeLib + "C1}\\1.0\\HELPDIR", kTypeLib + "C2}\\1.1\\HELPDIR"}}),
    CaseName);

// A key whose security this program may not change (owned by the system's
// installer account) could be neither backed up whole nor deleted: such a
// class or help key is never reported, whatever its server or folder.
TEST_F(ScannerHarness, COMActiveXLeavesKeysItCannotReSecure) {
    LoadFixture("com.reg");
    emul::DenySecurityChange(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{00000000-0000-0000-0000-0000000000A2}", true);
    emul::DenySecurityChange(
        u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\TypeLib\\{00000000-0000-0000-0000-0000000000C1}\\1.0\\HELPDIR", true);
    TCOMActiveXScanner scanner;
    EXPECT_EQ(Run(scanner, kPass64), (Lines{kClass + "A4}", kClass + "A5}", kTypeLib + "C2}\\1.1\\HELPDIR"}));
}
#endif

}  // namespace
}  // namespace scanners::testing
