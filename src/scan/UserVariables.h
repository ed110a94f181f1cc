// The environment of another user than the one running the program. Texts
// in that user's hive (HKEY_USERS\<SID>) that use %USERPROFILE%, %APPDATA%
// and the like name that user's folders, not ours.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace scan {

class TUserVariables {
public:
    // No variables known: every per-user reference is unknown.
    TUserVariables() = default;

    // The user's variables of the hive below HKEY_USERS: the profile folder
    // from ProfileList (".DEFAULT" is the local system's), the hive's
    // Volatile Environment, its shell folders for %APPDATA% and
    // %LOCALAPPDATA%, and its own Environment key. Read through the registry
    // layer in the current view.
    static TUserVariables OfHive(const std::u16string& hive);

    // The text with this user's variables put in. The system's variables
    // (%SystemRoot%, %ProgramFiles%, ...) stay as references for the usual
    // expansion. nullopt when the text uses a per-user variable this user's
    // value of which is unknown: such a text cannot be judged.
    std::optional<std::u16string> Apply(std::u16string_view text) const;

    // For tests and for building: sets a variable (its value expanded).
    void Set(std::u16string name, std::u16string value);
    const std::u16string* Find(std::u16string_view name) const;

private:
    std::vector<std::pair<std::u16string, std::u16string>> FValues;
};

}  // namespace scan
