// The launch-related settings compared with their known defaults before each
// scan: open commands of program and script file types, three Winlogon
// values, the ".bat" and ".exe" class entries, and the program paths of the
// services. Every deviation goes into the results list at once.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os/WinApi.h"

namespace app {

class TMainForm;

// Reads in the process's default view (or the view of `view`'s bits),
// never failing: strings and expandable strings as stored (not expanded),
// binary data as UTF-16 text, without the terminating null. A missing key or
// value, or any other type, reads as empty.
std::u16string ReadSettingText(os::HKEY root, const std::u16string& key, const std::u16string& name,
                               os::REGSAM view = 0);

// The registry views the settings are read in: on 64-bit Windows the 64-bit
// view (the one the system itself starts programs from) and the 32-bit one,
// each of which has its own copy of a redirected key; elsewhere the
// process's own view (no bits).
std::vector<os::REGSAM> SettingViews();

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

    // Reads the value in every view of SettingViews and adds a finding when
    // it is set and does not match `expected`: one per distinct text found,
    // naming the views that hold it, so that a key both views share (or two
    // copies holding the same text) makes one entry whose repair covers
    // every view it was seen in. True only when set values were found and
    // all matched.
    bool CheckStringValue(os::HKEY root, const std::u16string& key, const std::u16string& value,
                          const std::u16string& expected);
    // Whether the default value of the class key matches `text`, in the
    // process's default view or the view of `view`'s bits.
    bool DefaultValueEquals(const std::u16string& key, const std::u16string& text, os::REGSAM view = 0);
    void CheckServices();

private:
    // CheckStringValue with the expected text chosen per view.
    bool CheckInViews(os::HKEY root, const std::u16string& key, const std::u16string& value,
                      const std::function<std::u16string(os::REGSAM)>& expected);
    // Script open commands are set up with the program path quoted or not;
    // either is the default, but a finding names the unquoted one.
    void CheckScriptCommand(const std::u16string& key, const std::u16string& program, const std::u16string& arguments);
    bool IsProgramFile(const std::u16string& path) const;

    TMainForm& FForm;
};

}  // namespace app
