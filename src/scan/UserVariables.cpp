#include "scan/UserVariables.h"

#include <array>

#include "platform/RegistryAccess.h"
#include "platform/Text.h"
#include "scan/PathChecks.h"

namespace scan {
namespace {

// Variables whose values differ from user to user. A reference to one of
// them whose value for this user is unknown would be filled in with the
// running user's: such a text is not judged at all.
constexpr std::array<std::u16string_view, 13> kPerUser = {
    u"USERPROFILE", u"APPDATA",    u"LOCALAPPDATA",   u"TEMP",        u"TMP",      u"HOMEDRIVE", u"HOMEPATH",
    u"HOMESHARE",   u"USERNAME",   u"USERDOMAIN",     u"USERDNSDOMAIN", u"LOGONSERVER", u"ONEDRIVE",
};

bool IsPerUser(std::u16string_view name) {
    for (auto known : kPerUser)
        if (text::EqualNoCase(name, known)) return true;
    return false;
}

const char16_t kProfileList[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
const char16_t kShellFolders[] = u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

}  // namespace

void TUserVariables::Set(std::u16string name, std::u16string value) {
    for (auto& [known, old] : FValues) {
        if (text::EqualNoCase(known, name)) {
            old = std::move(value);
            return;
        }
    }
    FValues.emplace_back(std::move(name), std::move(value));
}

const std::u16string* TUserVariables::Find(std::u16string_view name) const {
    for (const auto& [known, value] : FValues)
        if (text::EqualNoCase(known, name)) return &value;
    return nullptr;
}

std::optional<std::u16string> TUserVariables::Apply(std::u16string_view text) const {
    return RewriteReferences(text, [this](std::u16string_view name) -> std::optional<std::u16string> {
        if (const std::u16string* value = Find(name)) return *value;
        if (IsPerUser(name)) return std::nullopt;
        return u"%" + std::u16string(name) + u"%";
    });
}

TUserVariables TUserVariables::OfHive(const std::u16string& hive) {
    TUserVariables vars;
    // Fully expanded for this user, or not set at all.
    auto put = [&vars](const std::u16string& name, const std::u16string& raw) {
        if (raw.empty()) return;
        if (auto applied = vars.Apply(raw)) vars.Set(name, ExpandEnvVars(*applied));
    };
    // The default profile's hive is the local system's.
    const std::u16string sid = text::EqualNoCase(hive, u".DEFAULT") ? std::u16string(u"S-1-5-18") : hive;
    std::u16string profile;
    if (platform::RegistryReadString(os::HKEY_LOCAL_MACHINE, kProfileList + sid, u"ProfileImagePath", profile))
        put(u"USERPROFILE", profile);

    auto putAll = [&](const std::u16string& key) {
        platform::StringList names;
        platform::RegistryGetValueNames(os::HKEY_USERS, key, names);
        for (const auto& name : names) {
            std::u16string value;
            if (!name.empty() && platform::RegistryReadString(os::HKEY_USERS, key, name, value)) put(name, value);
        }
    };
    putAll(hive + u"\\Volatile Environment");
    for (auto [folder, variable] : {std::pair{u"AppData", u"APPDATA"}, std::pair{u"Local AppData", u"LOCALAPPDATA"}}) {
        std::u16string value;
        if (!vars.Find(variable) && platform::RegistryReadString(os::HKEY_USERS, hive + kShellFolders, folder, value))
            put(variable, value);
    }
    putAll(hive + u"\\Environment");
    return vars;
}

}  // namespace scan
