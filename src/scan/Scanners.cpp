#include "scan/Scanners.h"

#include <utility>
#include <vector>

#include "findings/CleanerRegKeyProduct.h"
#include "findings/CleanerRegValueProduct.h"
#include "i18n/LanguageManager.h"
#include "platform/Handle.h"
#include "platform/RegistryAccess.h"

namespace scan {
namespace {

using platform::StringList;

// Writes the path of `key`'s subkey `name` into `into`, reusing its room.
void JoinChild(std::u16string& into, const std::u16string& key, const std::u16string& name) {
    into.assign(key);
    if (!into.empty() && into.back() != u'\\') into += u'\\';
    into += name;
}

std::u16string ChildPath(const std::u16string& key, const std::u16string& name) {
    std::u16string path;
    JoinChild(path, key, name);
    return path;
}

}  // namespace

TScanner::TScanner() = default;
TScanner::~TScanner() = default;

void TScanner::ResultFound(std::unique_ptr<findings::TCleanerScanProduct> product) {
    if (FResultFoundEvent) FResultFoundEvent(std::move(product));
}

void TScanner::Progress(const std::u16string& text) {
    if (FProgressEvent) FProgressEvent(text);
}

void TScanner::ProgressForKey(os::HKEY root, const std::u16string& key) {
    if (!FProgressEvent) return;
    if (FProgressPrefix.empty() || root != FProgressRoot) {
        FProgressRoot = root;
        FProgressPrefix = platform::RootKeyName(root) + u"\\";
    }
    FProgressText.assign(FProgressPrefix).append(key);
    FProgressEvent(FProgressText);
}

bool TScanner::GetActivexInfoByCLSID(const std::u16string& clsid, TActiveXInfo& info) const {
    info = TActiveXInfo{};
    const std::u16string classKey = u"CLSID\\" + clsid;
    if (!platform::RegistryKeyExists(os::HKEY_CLASSES_ROOT, classKey)) return false;
    platform::RegistryReadString(os::HKEY_CLASSES_ROOT, classKey, u"", info.Name);
    for (const char16_t* server : {u"\\LocalServer32", u"\\InprocServer32"}) {
        const std::u16string serverKey = classKey + server;
        if (platform::RegistryValueExists(os::HKEY_CLASSES_ROOT, serverKey, u"")) {
            platform::RegistryReadString(os::HKEY_CLASSES_ROOT, serverKey, u"", info.Path);
            break;
        }
    }
    return true;
}

void TScanner::ScanValues(os::HKEY root, const std::u16string& key) {
    if (!platform::RegistryKeyExists(root, key)) return;
    ScanValuesOfReadableKey(root, key);
}

bool TScanner::IsPathInvalidAt(os::HKEY root, const std::u16string& key, std::u16string_view text) {
    // Only a reference can take another user's value: text without one
    // reads the same for every user.
    if (root != os::HKEY_USERS || text.find(u'%') == std::u16string_view::npos) return IsPathInvalid(text);
    auto relative = std::u16string_view(platform::RelativeKeyPath(key));
    std::u16string hive(relative.substr(0, relative.find(u'\\')));
    auto owner = FOwners.find(hive);
    if (owner == FOwners.end()) owner = FOwners.emplace(hive, TUserVariables::OfHive(hive)).first;
    return FJudge.IsPathInvalid(text, owner->second);
}

bool TScanner::ReportedByName(os::HKEY root, const std::u16string& key, std::u16string_view name) {
    if (!IsPathInvalidAt(root, key, name)) return false;
    ResultFound(std::make_unique<findings::TCleanerRegValueProduct>(root, key, std::u16string(name), u""));
    return true;
}

void TScanner::CheckText(os::HKEY root, const std::u16string& key, std::u16string_view name, std::u16string_view data) {
    if (IsPathInvalidAt(root, key, data)) {
        ResultFound(std::make_unique<findings::TCleanerRegValueProduct>(
            root, key, std::u16string(name), i18n::LangConstFmt(u"Invalid_data_", {std::u16string(data)})));
    }
}

bool TScanner::ScanValuesOfReadableKey(os::HKEY root, const std::u16string& key) {
    // Names, types and data in one pass over the key: asking for each
    // value's type and text apart would cost two more calls per value.
    if (!platform::RegistryGetValues(root, key, FValues)) return ScanValuesOneByOne(root, key);
    for (std::size_t i = 0; i < FValues.size(); ++i) {
        if (ReportedByName(root, key, FValues.Name(i))) continue;
        const auto type = FValues.Type(i);
        if (type == os::REG_SZ || type == os::REG_EXPAND_SZ) CheckText(root, key, FValues.Name(i), FValues.Text(i));
    }
    return FValues.size() > 0;
}

bool TScanner::ScanValuesOneByOne(os::HKEY root, const std::u16string& key) {
    StringList names;
    platform::RegistryGetValueNames(root, key, names);
    for (const auto& name : names) {
        if (ReportedByName(root, key, name)) continue;
        os::DWORD type = 0;
        platform::RegistryGetDataType(root, key, name, type);
        if (type != os::REG_SZ && type != os::REG_EXPAND_SZ) continue;
        std::u16string data;
        platform::RegistryReadString(root, key, name, data);
        CheckText(root, key, name, data);
    }
    return KeyHasValues(root, key);
}

bool TScanner::KeyHasValues(os::HKEY root, const std::u16string& key) const {
    StringList names;
    platform::RegistryGetValueNames(root, key, names);
    return !names.empty();
}

void TScanner::ScanKeyTree(os::HKEY root, const std::u16string& key, bool& parentHasValues) {
    WalkKeyTree(root, key, parentHasValues);
}

bool TScanner::WalkKeyTree(os::HKEY root, const std::u16string& key, bool& parentHasValues) {
    if (Aborted()) return false;
    ProgressForKey(root, key);
    // A key whose values and subkeys cannot be read is not known to be
    // empty, and neither is anything above it.
    if (!platform::RegistryKeyExists(root, key)) return false;
    bool hasValues = ScanValuesOfReadableKey(root, key);
    bool complete = true;
    StringList subKeys;
    platform::RegistryGetKeyNames(root, key, subKeys);
    // One buffer for the children's paths, its room kept from one to the next.
    std::u16string child;
    for (const auto& name : subKeys) {
        if (Aborted()) {
            complete = false;
            break;
        }
        try {
            JoinChild(child, key, name);
            if (!WalkKeyTree(root, child, hasValues)) complete = false;
        } catch (...) {
            // A failed child ends only its own walk; the siblings still get
            // theirs. What it did not see may hold values, though.
            complete = false;
        }
    }
    if (hasValues) parentHasValues = true;
    if (!hasValues && parentHasValues && complete) {
        ResultFound(std::make_unique<findings::TCleanerRegKeyProduct>(root, key, i18n::LangConst(u"Empty_key"), true));
    }
    return complete;
}

void TScanner::ScanSubKeys(os::HKEY root, const std::u16string& key) {
    ProgressForKey(root, key);
    ScanValues(root, key);
    StringList subKeys;
    platform::RegistryGetKeyNames(root, key, subKeys);
    for (const auto& name : subKeys) {
        if (Aborted()) break;
        try {
            ScanSubKeys(root, ChildPath(key, name));
        } catch (...) {
        }
    }
}

}  // namespace scan
