#include "scanners/FileAssociationsScannerUnit.h"

#include <memory>

#include "findings/CleanerRegKeyProduct.h"
#include "platform/RegistryAccess.h"
#include "platform/Wow64.h"
#include "scan/PathChecks.h"

namespace scanners {

TFileAssociationsScanner::TFileAssociationsScanner() : FIsCLSID(R"(\{[\w-]+\})", scan::TRegex::None) {}

bool TFileAssociationsScanner::IsCLSID(std::u16string_view text) const { return FIsCLSID.MatchAnsi(text).has_value(); }

void TFileAssociationsScanner::Scan() {
    ScanFileTypes();
    ScanValues(os::HKEY_CLASSES_ROOT, u"Local Settings\\Software\\Microsoft\\Windows\\Shell\\MuiCache");
    ScanSubKeys(os::HKEY_CLASSES_ROOT, u"Installer");
}

namespace {

// On 64-bit Windows both views share the file types but not the classes: an
// icon handler registered for 64-bit programs only still draws the icons
// Explorer shows. Only a class missing from both views makes the setting bad.
bool ClassInEitherView(const std::u16string& clsid) {
    if (!platform::IsWindows64()) return false;
    const std::u16string classKey = u"CLSID\\" + clsid;
    for (os::REGSAM view : {os::KEY_WOW64_64KEY, os::KEY_WOW64_32KEY})
        if (platform::RegistryKeyExists(os::HKEY_CLASSES_ROOT, classKey, platform::RegView(view))) return true;
    return false;
}

}  // namespace

void TFileAssociationsScanner::ScanFileTypes() {
    if (Aborted()) return;
    platform::StringList types;
    platform::RegistryGetKeyNames(os::HKEY_CLASSES_ROOT, u"", types);
    for (const auto& type : types) {
        // Not file types: classes and the installer are walked elsewhere, the
        // rest are views onto other parts of the registry.
        if (type == u"CLSID" || type == u"Local Settings" || type == u"Installer" || type == u"Wow6432Node" ||
            type == u"VirtualStore")
            continue;
        if (Aborted()) return;
        const std::u16string iconKey = type + u"\\DefaultIcon";
        if (platform::RegistryKeyExists(os::HKEY_CLASSES_ROOT, iconKey)) {
            std::u16string icon;
            if (!platform::RegistryReadString(os::HKEY_CLASSES_ROOT, iconKey, u"", icon)) icon.clear();
            scan::TActiveXInfo info;
            bool bad;
            // A text that begins with a drive path, once its variables are
            // expanded, is an icon file, even when a folder on the way has a
            // braced name (%SystemRoot%\Installer\{...}\app.ico): looking such
            // a text up as a class would always fail and delete a working
            // icon setting.
            if (IsCLSID(icon) && !WindowsPathRegEx().MatchAnsi(scan::ExpandEnvVars(icon)))
                bad = !GetActivexInfoByCLSID(icon, info) && !ClassInEitherView(icon);
            else
                bad = IsPathInvalid(icon);
            if (bad)
                ResultFound(std::make_unique<findings::TCleanerRegKeyProduct>(os::HKEY_CLASSES_ROOT, iconKey, u"", false));
        }
        const std::u16string shellKey = type + u"\\shell";
        if (platform::RegistryKeyExists(os::HKEY_CLASSES_ROOT, shellKey)) ScanSubKeys(os::HKEY_CLASSES_ROOT, shellKey);
    }
}

}  // namespace scanners
