#include "scanners/FontsScannerUnit.h"

#include <memory>

#include "findings/CleanerRegValueProduct.h"
#include "platform/RegistryAccess.h"
#include "scanners/ShellFolder.h"

namespace scanners {
namespace {

const std::u16string kFontsKey = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";

}  // namespace

void TFontsScanner::Scan() {
    if (!platform::RegistryKeyExists(os::HKEY_LOCAL_MACHINE, kFontsKey)) return;
    const std::u16string prefix = ShellFolderPath(os::CSIDL_FONTS) + u"\\";
    platform::StringList names;
    platform::RegistryGetValueNames(os::HKEY_LOCAL_MACHINE, kFontsKey, names);
    for (const auto& name : names) {
        std::u16string data;
        if (!platform::RegistryReadString(os::HKEY_LOCAL_MACHINE, kFontsKey, name, data)) data.clear();
        // Most entries name a file of the fonts folder by its bare name, which
        // has no drive and so is never judged missing.
        if (IsPathInvalid(data) && IsPathInvalid(prefix + data))
            ResultFound(std::make_unique<findings::TCleanerRegValueProduct>(os::HKEY_LOCAL_MACHINE, kFontsKey, name, u""));
    }
}

}  // namespace scanners
