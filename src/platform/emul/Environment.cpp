// Environment variables of the emulated process. Their defaults are what a
// 32-bit program sees: under WOW64 the ProgramFiles family points at the
// x86 folders and the native ones appear as ...W6432.
#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/Text.h"
#include "platform/emul/SystemInternal.h"

namespace emul {
namespace {

struct Variable {
    std::u16string name;
    std::u16string value;
};

struct EnvironmentState {
    std::mutex mutex;
    std::vector<Variable> variables;
};

EnvironmentState& State() {
    static EnvironmentState state;
    return state;
}

std::vector<Variable> Defaults(bool wow64) {
    std::vector<Variable> v = {
        {u"ALLUSERSPROFILE", u"C:\\ProgramData"},
        {u"APPDATA", u"C:\\users\\root\\AppData\\Roaming"},
        {u"COMPUTERNAME", u"TALLOWMEND-PC"},
        {u"ComSpec", u"C:\\windows\\system32\\cmd.exe"},
        {u"HOMEDRIVE", u"C:"},
        {u"HOMEPATH", u"\\users\\root"},
        {u"LOCALAPPDATA", u"C:\\users\\root\\AppData\\Local"},
        {u"NUMBER_OF_PROCESSORS", u"2"},
        {u"OS", u"Windows_NT"},
        {u"PATH", u"C:\\windows\\system32;C:\\windows;C:\\windows\\system32\\wbem"},
        {u"PATHEXT", u".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC"},
        {u"PROCESSOR_ARCHITECTURE", u"x86"},
        {u"ProgramData", u"C:\\ProgramData"},
        {u"PUBLIC", u"C:\\users\\Public"},
        {u"SystemDrive", u"C:"},
        {u"SystemRoot", u"C:\\windows"},
        {u"TEMP", u"C:\\users\\root\\Temp"},
        {u"TMP", u"C:\\users\\root\\Temp"},
        {u"USERDOMAIN", u"TALLOWMEND-PC"},
        {u"USERNAME", u"root"},
        {u"USERPROFILE", u"C:\\users\\root"},
        {u"windir", u"C:\\windows"},
    };
    if (wow64) {
        v.push_back({u"CommonProgramFiles", u"C:\\Program Files (x86)\\Common Files"});
        v.push_back({u"CommonProgramFiles(x86)", u"C:\\Program Files (x86)\\Common Files"});
        v.push_back({u"CommonProgramW6432", u"C:\\Program Files\\Common Files"});
        v.push_back({u"PROCESSOR_ARCHITEW6432", u"AMD64"});
        v.push_back({u"ProgramFiles", u"C:\\Program Files (x86)"});
        v.push_back({u"ProgramFiles(x86)", u"C:\\Program Files (x86)"});
        v.push_back({u"ProgramW6432", u"C:\\Program Files"});
    } else {
        v.push_back({u"CommonProgramFiles", u"C:\\Program Files\\Common Files"});
        v.push_back({u"ProgramFiles", u"C:\\Program Files"});
    }
    return v;
}

}  // namespace

namespace detail {

void ResetEnvironment() { ResetEnvironmentForArch(); }

void ResetEnvironmentForArch() {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.variables = Defaults(IsWow64());
}

bool LookupEnv(std::u16string_view name, std::u16string& value) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    for (const auto& v : state.variables)
        if (text::EqualNoCase(v.name, name)) {
            value = v.value;
            return true;
        }
    return false;
}

}  // namespace detail

void SetEnv(std::u16string_view name, std::u16string_view value) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    for (auto& v : state.variables)
        if (text::EqualNoCase(v.name, name)) {
            v.value = value;
            return;
        }
    state.variables.push_back({std::u16string(name), std::u16string(value)});
}

void UnsetEnv(std::u16string_view name) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    std::erase_if(state.variables, [&](const Variable& v) { return text::EqualNoCase(v.name, name); });
}

}  // namespace emul

namespace os {

DWORD ExpandEnvironmentStringsW(LPCWSTR source, LPWSTR dest, DWORD destChars) {
    if (!source) source = u"";
    std::u16string_view in(source);
    std::u16string out;
    std::size_t i = 0;
    while (i < in.size()) {
        auto c = in[i];
        auto close = c == u'%' ? in.find(u'%', i + 1) : std::u16string_view::npos;
        if (close == std::u16string_view::npos) {
            out.push_back(c);
            ++i;
            continue;
        }
        auto name = in.substr(i + 1, close - i - 1);
        std::u16string value;
        if (!name.empty() && emul::detail::LookupEnv(name, value))
            out += value;
        else
            out += in.substr(i, close - i + 1);  // unknown references stay as written
        i = close + 1;
    }
    auto needed = static_cast<DWORD>(out.size() + 1);
    if (dest && destChars > 0) {
        // A short buffer gets the prefix that fits, still terminated.
        auto copied = std::min<std::size_t>(out.size(), destChars - 1);
        out.copy(dest, copied);
        dest[copied] = 0;
    }
    if (destChars < needed) SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return needed;
}

}  // namespace os
