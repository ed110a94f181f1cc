#include "scanners/AddRemoveScannerUnit.h"

#include <memory>

#include "findings/CleanerRegKeyProduct.h"
#include "platform/RegistryAccess.h"

namespace scanners {
namespace {

const std::u16string kUninstallKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

}  // namespace

void TAddRemoveScanner::Scan() {
    platform::StringList names;
    platform::RegistryGetKeyNames(os::HKEY_LOCAL_MACHINE, kUninstallKey, names);
    const std::u16string progressPrefix = platform::RootKeyName(os::HKEY_LOCAL_MACHINE) + u"\\" + kUninstallKey;
    for (const auto& name : names) {
        Progress(progressPrefix + name);
        const std::u16string entryKey = kUninstallKey + name;
        std::u16string location;
        platform::RegistryReadString(os::HKEY_LOCAL_MACHINE, entryKey, u"InstallLocation", location);
        if (IsPathInvalid(location))
            ResultFound(std::make_unique<findings::TCleanerRegKeyProduct>(os::HKEY_LOCAL_MACHINE, entryKey, u"", false));
        // Checked after the entry so the entry just announced is always judged.
        if (Aborted()) return;
    }
}

}  // namespace scanners
