// Process start. Nothing is really started: command lines are recorded,
// and the one command the program depends on, cmd's "copy /y", is carried
// out on the mapped drives so its effect can be checked.
#include <filesystem>
#include <mutex>
#include <vector>

#include "platform/Text.h"
#include "platform/emul/PathResolver.h"
#include "platform/emul/SystemInternal.h"

namespace emul {
namespace {

struct ProcessState {
    std::mutex mutex;
    std::vector<std::string> started;
};

ProcessState& State() {
    static ProcessState state;
    return state;
}

std::u16string FromAnsi(std::string_view s) {
    if (s.empty()) return {};
    int n = os::MultiByteToWideChar(os::CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::u16string out(static_cast<std::size_t>(n > 0 ? n : 0), u'\0');
    if (n > 0) os::MultiByteToWideChar(os::CP_ACP, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

void SkipBlanks(std::u16string_view s, std::size_t& i) {
    while (i < s.size() && (s[i] == u' ' || s[i] == u'\t')) ++i;
}

// One argument as cmd reads it: quoted (quotes dropped) or up to a blank.
std::u16string NextToken(std::u16string_view s, std::size_t& i) {
    SkipBlanks(s, i);
    std::u16string token;
    bool quoted = false;
    for (; i < s.size(); ++i) {
        if (s[i] == u'"') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && (s[i] == u' ' || s[i] == u'\t')) break;
        token.push_back(s[i]);
    }
    return token;
}

bool IsCmd(std::u16string_view program) {
    auto slash = program.find_last_of(u"\\/");
    auto name = slash == std::u16string_view::npos ? program : program.substr(slash + 1);
    return text::EqualNoCase(name, u"cmd") || text::EqualNoCase(name, u"cmd.exe");
}

// cmd /c "<command>": cmd drops the first quote and the last one, then runs
// what is left. Only "copy" is carried out.
void RunCmd(std::u16string_view arguments) {
    std::size_t i = 0;
    auto option = NextToken(arguments, i);
    if (!text::EqualNoCase(option, u"/c") && !text::EqualNoCase(option, u"/k")) return;
    SkipBlanks(arguments, i);
    std::u16string command(arguments.substr(i));
    if (command.starts_with(u'"')) {
        command.erase(0, 1);
        auto last = command.rfind(u'"');
        if (last != std::u16string::npos) command.erase(last, 1);
    }
    std::size_t j = 0;
    if (!text::EqualNoCase(NextToken(command, j), u"copy")) return;
    std::vector<std::u16string> paths;
    while (j < command.size()) {
        auto token = NextToken(command, j);
        if (token.empty()) continue;
        if (token.starts_with(u'/')) continue;  // /y, /b, ...
        paths.push_back(token);
    }
    if (paths.size() != 2) return;
    auto target = paths[1];
    // "cmd" is looked up in the system folder as this thread sees it: with
    // redirection in force that finds SysWOW64's 32-bit cmd, which sees the
    // redirected folder too; with it switched off, System32's 64-bit cmd
    // starts, and nothing redirects its copy.
    bool redirect = detail::RedirectionActive();
    auto resolved = detail::ResolvePath(target, redirect);
    std::error_code ec;
    if (!resolved.error && resolved.exists && std::filesystem::is_directory(resolved.host, ec)) {
        auto slash = paths[0].find_last_of(u"\\/");
        target += u"\\" + (slash == std::u16string::npos ? paths[0] : paths[0].substr(slash + 1));
    }
    detail::CopyFileAs(paths[0], target, false, redirect);
}

}  // namespace

namespace detail {
void ResetProcess() {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.started.clear();
}
}  // namespace detail

std::vector<std::string> WinExecLog() {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    return state.started;
}

}  // namespace emul

namespace os {

UINT WinExec(LPCSTR commandLine, UINT) {
    if (!commandLine) return 0;  // out of resources, as Windows answers a null line
    {
        auto& state = emul::State();
        std::lock_guard lock(state.mutex);
        state.started.emplace_back(commandLine);
    }
    auto line = emul::FromAnsi(commandLine);
    std::size_t i = 0;
    auto program = emul::NextToken(line, i);
    if (program.empty()) return ERROR_FILE_NOT_FOUND;
    constexpr UINT kStarted = 33;
    if (emul::IsCmd(program)) {
        emul::RunCmd(std::u16string_view(line).substr(i));
        return kStarted;
    }
    // A program named by path must be there; bare names are taken as
    // programs on the search path.
    if (program.find_first_of(u"\\/:") == std::u16string::npos) return kStarted;
    auto attributes = GetFileAttributesW(program.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES && program.find(u'.', program.find_last_of(u"\\/") + 1) == std::u16string::npos)
        attributes = GetFileAttributesW((program + u".exe").c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_PATH_NOT_FOUND ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ERROR_ACCESS_DENIED;
    return kStarted;
}

}  // namespace os
