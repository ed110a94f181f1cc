#include "scanners/ShellExtensionsScannerUnit.h"

#include <memory>

#include "findings/CleanerRegValueProduct.h"
#include "platform/RegistryAccess.h"

namespace scanners {
namespace {

const std::u16string kApprovedKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

}  // namespace

void TShellExtensionsScanner::Scan() {
    if (!platform::RegistryKeyExists(os::HKEY_LOCAL_MACHINE, kApprovedKey)) return;
    platform::StringList names;
    platform::RegistryGetValueNames(os::HKEY_LOCAL_MACHINE, kApprovedKey, names);
    for (const auto& name : names) {
        scan::TActiveXInfo info;
        if (!GetActivexInfoByCLSID(name, info)) continue;
        if (IsPathInvalid(info.Path))
            ResultFound(std::make_unique<findings::TCleanerRegValueProduct>(os::HKEY_LOCAL_MACHINE, kApprovedKey, name, u""));
    }
}

}  // namespace scanners
