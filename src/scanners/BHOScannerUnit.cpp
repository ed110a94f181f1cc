#include "scanners/BHOScannerUnit.h"

#include <memory>

#include "findings/CleanerRegKeyProduct.h"
#include "platform/RegistryAccess.h"

namespace scanners {
namespace {

const std::u16string kHelpersKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";

}  // namespace

void TBHOScanner::Scan() {
    if (!platform::RegistryKeyExists(os::HKEY_LOCAL_MACHINE, kHelpersKey)) return;
    platform::StringList names;
    platform::RegistryGetKeyNames(os::HKEY_LOCAL_MACHINE, kHelpersKey, names);
    for (const auto& name : names) {
        // An unregistered class leaves the path empty, which is never missing.
        scan::TActiveXInfo info;
        GetActivexInfoByCLSID(name, info);
        if (IsPathInvalid(info.Path))
            ResultFound(std::make_unique<findings::TCleanerRegKeyProduct>(os::HKEY_LOCAL_MACHINE,
                                                                          kHelpersKey + u"\\" + name, u"", false));
    }
}

}  // namespace scanners
