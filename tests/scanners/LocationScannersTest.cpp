// The library-count, help-folder and font lists: one judgement per value,
// no progress, no abort checks.
#include "scanners/FontsScannerUnit.h"
#include "scanners/HelpFilePathesScannerUnit.h"
#include "scanners/ScannerHarness.h"
#include "scanners/SharedDllsScannerUnit.h"

namespace scanners::testing {
namespace {

#ifndef _WIN32
const char* const kFonts = "value HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts|Gone (TrueType)";

INSTANTIATE_TEST_SUITE_P(
    Locations, ScannerTable,
    ::testing::Values(
        // The library paths are the value names: a bare name is never judged.
        Case{"SharedDlls64", Make<TSharedDllsScanner>, "startup.reg", kPass64,
             {"value HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls|C:\\Apps\\Gone\\shared.dll"}},
        Case{"SharedDlls32", Make<TSharedDllsScanner>, "startup.reg", kPass32, {}},
        Case{"Help64", Make<THelpFilePathesScanner>, "startup.reg", kPass64,
             {"value HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\Help|gone.chm (data)"}},
        // The font list is one key for both views: the same finding per pass.
        // Bare file names and non-string data are never reported.
        Case{"Fonts64", Make<TFontsScanner>, "startup.reg", kPass64, {kFonts}},
        Case{"Fonts32", Make<TFontsScanner>, "startup.reg", kPass32, {kFonts}}),
    CaseName);

TEST_F(ScannerHarness, FontsNeverReportAFileOfTheFontsFolderNamedBare) {
    LoadFixture("startup.reg");
    MakeFile(u"C:\\windows\\Fonts\\arial.ttf");
    TFontsScanner scanner;
    EXPECT_EQ(Run(scanner, kPass64, 0), Lines{kFonts});
    EXPECT_EQ(abortChecks, 0);
    EXPECT_TRUE(progress.empty());
}
#endif

}  // namespace
}  // namespace scanners::testing
