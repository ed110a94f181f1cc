// The launch-related settings compared with their known defaults before each
// scan: open commands of program and script file types, three Winlogon
// values, the ".bat" and ".exe" class entries, and the program paths of the
// services. Every deviation goes into the results list at once.
#pragma once

#include <string>
#include <string_view>

#include "platform/os/WinApi.h"

namespace app {

class TMainForm;

// Reads under the process's default view, never failing: strings and
// expandable strings as stored (not expanded), binary data as UTF-16 text,
// without the terminating null. A missing key or value, or any other type,
// reads as empty.
std::u16string ReadSettingText(os::HKEY root, const std::u16string& key, const std::u16string& name);

// The form in which a setting is compared: environment references expanded,
// blanks and control characters trimmed from both ends, A-Z in lower case.
std::u16string NormalisedSetting(std::u16string_view text);

// The program at the head of a command line: the text between a leading
// pair of double quotes, otherwise everything before the first blank.
std::u16string ExtractCommandPath(std::u16string_view commandLine);

class TDefaultSettingChecks {
public:
    explicit TDefaultSettingChecks(TMainForm& form) : FForm(form) {}

    // The value checks in their fixed order, then the service check. Throws
    // ERegistryError when the services key cannot be listed; the findings
    // made before that stay in the list.
    void Run();

    // Adds a finding when the value is set and does not match `expected`.
    // True only when a set value matched.
    bool CheckStringValue(os::HKEY root, const std::u16string& key, const std::u16string& value,
                          const std::u16string& expected);
    // Whether the default value of the class key matches `text`.
    bool DefaultValueEquals(const std::u16string& key, const std::u16string& text);
    void CheckServices();

private:
    // Script open commands are set up with the program path quoted or not;
    // either is the default, but a finding names the unquoted one.
    void CheckScriptCommand(const std::u16string& key, const std::u16string& program, const std::u16string& arguments);
    bool IsProgramFile(const std::u16string& path) const;

    TMainForm& FForm;
};

}  // namespace app
