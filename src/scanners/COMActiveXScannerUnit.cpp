#include "scanners/COMActiveXScannerUnit.h"

#include <memory>

#include "findings/CleanerRegKeyProduct.h"
#include "platform/RegistryAccess.h"

namespace scanners {
namespace {

const std::u16string kClassesKey = u"Software\\Classes\\CLSID\\";
const std::u16string kTypeLibKey = u"Software\\Classes\\TypeLib\\";

// A key we may not re-secure could not be backed up and deleted anyway.
bool CanRepair(os::HKEY root, const std::u16string& key) {
    return platform::RegistryCanOpenKey(root, key, static_cast<os::REGSAM>(platform::RegistryViewFlag.load()));
}

}  // namespace

void TCOMActiveXScanner::Scan() {
    ScanCLSIDServers();
    ScanTypeLibs();
}

void TCOMActiveXScanner::ScanCLSIDServers() {
    platform::StringList names;
    platform::RegistryGetKeyNames(os::HKEY_LOCAL_MACHINE, kClassesKey, names);
    for (const auto& name : names) {
        const std::u16string classKey = kClassesKey + name;
        if (!CanRepair(os::HKEY_LOCAL_MACHINE, classKey)) continue;
        std::u16string server;
        // The local server only counts when there is no readable in-process one.
        if (!platform::RegistryReadString(os::HKEY_LOCAL_MACHINE, classKey + u"\\InProcServer32", u"", server) &&
            !platform::RegistryReadString(os::HKEY_LOCAL_MACHINE, classKey + u"\\LocalServer32", u"", server))
            continue;
        if (IsPathInvalid(server))
            ResultFound(std::make_unique<findings::TCleanerRegKeyProduct>(os::HKEY_LOCAL_MACHINE, classKey, u"", false));
    }
}

void TCOMActiveXScanner::ScanTypeLibs() {
    platform::StringList names;
    platform::RegistryGetKeyNames(os::HKEY_LOCAL_MACHINE, kTypeLibKey, names);
    for (const auto& name : names) ScanTypeLibHelpDirs(os::HKEY_LOCAL_MACHINE, kTypeLibKey + name);
}

void TCOMActiveXScanner::ScanTypeLibHelpDirs(os::HKEY root, const std::u16string& key) {
    platform::StringList versions;
    platform::RegistryGetKeyNames(root, key, versions);
    for (const auto& version : versions) {
        const std::u16string helpKey = key + u"\\" + version + u"\\HELPDIR";
        std::u16string folder;
        if (!platform::RegistryReadString(root, helpKey, u"", folder)) continue;
        if (CanRepair(root, helpKey) && IsPathInvalid(folder))
            ResultFound(std::make_unique<findings::TCleanerRegKeyProduct>(root, helpKey, u"", false));
    }
}

}  // namespace scanners
