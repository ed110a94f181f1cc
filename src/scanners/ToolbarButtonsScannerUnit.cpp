#include "scanners/ToolbarButtonsScannerUnit.h"

#include <memory>

#include "findings/CleanerRegValueProduct.h"
#include "platform/RegistryAccess.h"

namespace scanners {
namespace {

const std::u16string kToolbarKey = u"SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar";

}  // namespace

void TToolbarButtonsScanner::Scan() {
    if (!platform::RegistryKeyExists(os::HKEY_LOCAL_MACHINE, kToolbarKey)) return;
    platform::StringList names;
    platform::RegistryGetValueNames(os::HKEY_LOCAL_MACHINE, kToolbarKey, names);
    for (const auto& name : names) {
        scan::TActiveXInfo info;
        GetActivexInfoByCLSID(name, info);
        if (IsPathInvalid(info.Path))
            ResultFound(std::make_unique<findings::TCleanerRegValueProduct>(os::HKEY_LOCAL_MACHINE, kToolbarKey, name, u""));
    }
}

}  // namespace scanners
