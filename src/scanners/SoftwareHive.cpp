#include "scanners/SoftwareHive.h"

#include "platform/RegistryAccess.h"

namespace scanners {

void ScanSoftwareKey(scan::TScanner& scanner, os::HKEY root, const std::u16string& prefix) {
    bool parentHasValues = true;
    platform::StringList names;
    platform::RegistryGetKeyNames(root, prefix + u"Software", names);
    for (const auto& name : names) {
        // Exact spelling only: a vendor that happens to be called "classes" is
        // still a vendor.
        if (name == u"Classes" || name == u"Microsoft" || name == u"Wow6432Node") continue;
        scanner.ScanKeyTree(root, prefix + u"Software\\" + name, parentHasValues);
    }
}

}  // namespace scanners
