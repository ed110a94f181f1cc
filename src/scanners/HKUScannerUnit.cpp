#include "scanners/HKUScannerUnit.h"

#include "platform/RegistryAccess.h"
#include "scanners/SoftwareHive.h"

namespace scanners {

void THKUScanner::Scan() {
    platform::StringList hives;
    platform::RegistryGetKeyNames(os::HKEY_USERS, u"", hives);
    for (const auto& hive : hives) {
        // The classes hives mirror HKEY_CLASSES_ROOT, and the default and
        // service profiles belong to the system, not to a person.
        if (hive.find(u"_Classes") != std::u16string::npos) continue;
        if (hive == u".DEFAULT" || hive == u"S-1-5-18" || hive == u"S-1-5-19" || hive == u"S-1-5-20") continue;
        ScanUserSoftware(os::HKEY_USERS, hive);
    }
}

void THKUScanner::ScanUserSoftware(os::HKEY root, const std::u16string& hive) {
    std::u16string prefix = hive;
    if (prefix.empty() || prefix.back() != u'\\') prefix += u'\\';
    ScanSoftwareKey(*this, root, prefix);
}

}  // namespace scanners
