#include "scanners/StartMenuScannerUnit.h"

#include <memory>

#include "findings/CleanerRegKeyProduct.h"
#include "platform/RegistryAccess.h"
#include "scan/PathChecks.h"
#include "scanners/ShellFolder.h"

namespace scanners {
namespace {

const std::u16string kOrderKey =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu2\\Programs";

}  // namespace

void TStartMenuScanner::Scan() {
    if (!platform::RegistryKeyExists(os::HKEY_CURRENT_USER, kOrderKey)) return;
    // Without the programs folder every name would be looked up below the
    // drive root and judged gone; judging nothing is the only safe answer.
    const std::u16string programs = ShellFolderPath(os::CSIDL_PROGRAMS);
    if (programs.empty() || !scan::DriveCanBeJudged(programs)) return;
    const std::u16string prefix = programs + u"\\";
    platform::StringList names;
    platform::RegistryGetKeyNames(os::HKEY_CURRENT_USER, kOrderKey, names);
    for (const auto& name : names) {
        if (Aborted()) return;
        if (!scan::SafeDirectoryExists(prefix + name))
            ResultFound(std::make_unique<findings::TCleanerRegKeyProduct>(os::HKEY_CURRENT_USER,
                                                                          kOrderKey + u"\\" + name, u"", false));
    }
}

}  // namespace scanners
