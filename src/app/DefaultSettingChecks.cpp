#include "app/DefaultSettingChecks.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "app/MainFormUnit.h"
#include "findings/RegKeyProduct.h"
#include "findings/RegStrDataProduct.h"
#include "findings/SettingRegistry.h"
#include "platform/RegKey.h"
#include "platform/Wow64.h"
#include "platform/Text.h"
#include "scan/PathChecks.h"

namespace app {
namespace {

const char16_t kServices[] = u"SYSTEM\\CurrentControlSet\\Services";
const char16_t kWinlogon[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char16_t kOpenAll[] = u"\"%1\" %*";

struct TValueRow {
    const char16_t* key;
    const char16_t* value;
    const char16_t* expected;
};

// Rows of HKEY_CLASSES_ROOT checked before the script commands.
const TValueRow kProgramCommands[] = {
    {u"batfile\\shell\\Open\\Command", u"", kOpenAll},
    {u"exefile\\shell\\Open\\Command", u"", kOpenAll},
    {u"comfile\\shell\\Open\\Command", u"", kOpenAll},
    {u"scrfile\\shell\\Open\\Command", u"", u"\"%1\" /S"},
    {u"webpnpFile\\shell\\Open\\Command", u"", u"%SystemRoot%\\system32\\wpnpinst.exe %1"},
    {u"piffile\\shell\\Open\\Command", u"", kOpenAll},
};

const char16_t* const kScriptClasses[] = {u"JSFile", u"jsefile", u"vbefile", u"wshfile", u"vbsfile", u"wsffile"};

// Rows of HKEY_CLASSES_ROOT checked after the Winlogon values.
const TValueRow kClassEntries[] = {
    {u".bat", u"", u"batfile"},
    {u".bat\\PersistentHandler", u"", u"{5e941d80-bf96-11cd-b579-08002b30bfeb}"},
    {u".exe", u"", u"exefile"},
    {u".exe", u"Content Type", u"application/x-msdownload"},
    {u".exe\\PersistentHandler", u"", u"{098f2470-bae0-11cd-b579-08002b30bfeb}"},
};

std::u16string SystemFolder() {
    std::vector<char16_t> buffer(os::MAX_PATH + 1);
    for (;;) {
        auto chars = os::GetSystemDirectoryW(buffer.data(), static_cast<os::UINT>(buffer.size()));
        if (chars == 0) return {};
        if (chars < buffer.size()) return std::u16string(buffer.data(), chars);
        buffer.resize(chars + 1);
    }
}

bool Contains(const std::u16string& text, std::u16string_view part) { return text.find(part) != std::u16string::npos; }

}  // namespace

std::vector<os::REGSAM> SettingViews() {
    // A 64-bit build of the program is not a WOW64 process, but it too runs
    // on 64-bit Windows only.
    if (platform::IsWindows64() || sizeof(void*) == 8) return {os::KEY_WOW64_64KEY, os::KEY_WOW64_32KEY};
    return {0};
}

std::u16string ReadSettingText(os::HKEY root, const std::u16string& key, const std::u16string& name,
                               os::REGSAM view) {
    platform::RegKey handle;
    if (handle.Open(root, key, os::KEY_READ, platform::RegView(view)) != os::ERROR_SUCCESS) return {};
    std::vector<std::uint8_t> data;
    os::DWORD type = 0;
    if (handle.QueryValue(name, type, data) != os::ERROR_SUCCESS) return {};
    if (type != os::REG_SZ && type != os::REG_EXPAND_SZ && type != os::REG_BINARY) return {};
    // An odd last byte is not a character.
    std::u16string text(data.size() / sizeof(char16_t), u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    // Only a terminating null goes: a string stored without one keeps its
    // last character rather than being reported as something it is not.
    if (!text.empty() && text.back() == u'\0') text.pop_back();
    return text;
}

std::u16string NormalisedSetting(std::u16string_view text) { return text::AsciiLower(scan::ExpandEnvVars(text)); }

std::u16string ExtractCommandPath(std::u16string_view commandLine) {
    if (commandLine.empty()) return {};
    std::u16string text(commandLine);
    text += u' ';
    if (text.front() == u'"') {
        auto close = text.find(u'"', 1);
        if (close == std::u16string::npos) return {};
        return text.substr(1, close - 1);
    }
    return text.substr(0, text.find(u' '));
}

bool TDefaultSettingChecks::CheckStringValue(os::HKEY root, const std::u16string& key, const std::u16string& value,
                                             const std::u16string& expected) {
    return CheckInViews(root, key, value, [&expected](os::REGSAM) { return expected; });
}

bool TDefaultSettingChecks::CheckInViews(os::HKEY root, const std::u16string& key, const std::u16string& value,
                                         const std::function<std::u16string(os::REGSAM)>& expected) {
    const auto views = SettingViews();
    const bool named = views.size() > 1;
    struct TDeviation {
        std::u16string data;
        std::u16string right;
        std::vector<platform::RegView> views;
    };
    std::vector<TDeviation> deviations;
    bool anySet = false;
    for (os::REGSAM view : views) {
        std::u16string data = ReadSettingText(root, key, value, view);
        if (data.empty()) continue;
        anySet = true;
        std::u16string right = expected(view);
        if (NormalisedSetting(data) == NormalisedSetting(right)) continue;
        auto same = std::find_if(deviations.begin(), deviations.end(),
                                 [&](const TDeviation& d) { return d.data == data && d.right == right; });
        if (same == deviations.end()) same = deviations.insert(deviations.end(), TDeviation{std::move(data), right, {}});
        if (named) same->views.push_back(platform::RegView(view));
    }
    for (auto& d : deviations)
        FForm.AddResult(std::make_unique<findings::TRegStrDataProduct>(root, key, value, std::move(d.data),
                                                                       std::move(d.right), std::move(d.views)));
    return anySet && deviations.empty();
}

bool TDefaultSettingChecks::DefaultValueEquals(const std::u16string& key, const std::u16string& text, os::REGSAM view) {
    std::u16string data = ReadSettingText(os::HKEY_CLASSES_ROOT, key, u"", view);
    if (data.empty() && !text.empty()) return false;
    return NormalisedSetting(data) == NormalisedSetting(text);
}

void TDefaultSettingChecks::CheckScriptCommand(const std::u16string& key, const std::u16string& program,
                                               const std::u16string& arguments) {
    std::u16string quoted = u"\"" + program + u"\" " + arguments;
    std::u16string unquoted = program + u" " + arguments;
    CheckInViews(os::HKEY_CLASSES_ROOT, key, u"",
                 [&](os::REGSAM view) { return DefaultValueEquals(key, quoted, view) ? quoted : unquoted; });
}

bool TDefaultSettingChecks::IsProgramFile(const std::u16string& path) const {
    // A 32-bit process does not see the 64-bit system folder: a service
    // program kept there is not missing just because WOW64 hides it. On a
    // drive that is not there now nothing can be known: counted as there.
    return !scan::DriveCanBeJudged(path) || scan::InEitherView(path, scan::SafeFileExists);
}

void TDefaultSettingChecks::CheckServices() {
    const std::u16string services = kServices;
    for (const auto& name : findings::setting::SubKeys(os::HKEY_LOCAL_MACHINE, services)) {
        const std::u16string key = services + u"\\" + name;
        const std::u16string parameters = key + u"\\Parameters";
        std::u16string image = ExtractCommandPath(ReadSettingText(os::HKEY_LOCAL_MACHINE, key, u"ImagePath"));
        std::u16string dll;
        if (findings::setting::ValueExists(os::HKEY_LOCAL_MACHINE, parameters, u"ServiceDll"))
            dll = ExtractCommandPath(ReadSettingText(os::HKEY_LOCAL_MACHINE, parameters, u"ServiceDll"));

        if (!image.empty() && Contains(image, u".exe") && Contains(image, u":") && !IsProgramFile(image) &&
            FForm.IsRundllPath(image))
            FForm.AddResult(std::make_unique<findings::TRegKeyProduct>(os::HKEY_LOCAL_MACHINE, key, false));
        if (!dll.empty() && Contains(dll, u".exe") && Contains(dll, u":") && !IsProgramFile(dll))
            FForm.AddResult(std::make_unique<findings::TRegKeyProduct>(os::HKEY_LOCAL_MACHINE, key, false));
    }
}

void TDefaultSettingChecks::Run() {
    for (const auto& row : kProgramCommands) CheckStringValue(os::HKEY_CLASSES_ROOT, row.key, row.value, row.expected);

    for (const char16_t* type : kScriptClasses) {
        const std::u16string shell = std::u16string(type) + u"\\shell\\";
        CheckScriptCommand(shell + u"Open\\Command", u"%SystemRoot%\\System32\\WScript.exe", u"\"%1\" %*");
        CheckScriptCommand(shell + u"Open2\\Command", u"%SystemRoot%\\System32\\CScript.exe", u"\"%1\" %*");
    }

    CheckStringValue(os::HKEY_LOCAL_MACHINE, kWinlogon, u"UserInit", SystemFolder() + u"\\userinit.exe,");
    CheckStringValue(os::HKEY_LOCAL_MACHINE, kWinlogon, u"UIHost", u"logonui.exe");
    CheckStringValue(os::HKEY_LOCAL_MACHINE, kWinlogon, u"Shell", u"Explorer.exe");

    for (const auto& row : kClassEntries) CheckStringValue(os::HKEY_CLASSES_ROOT, row.key, row.value, row.expected);

    CheckServices();
}

}  // namespace app
