// Shell folders and shell open.
#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

#include "platform/emul/SystemInternal.h"

namespace emul {
namespace {

constexpr os::HRESULT kInvalidArg = static_cast<os::HRESULT>(0x80070057);
constexpr int kFolderMask = 0xFF;  // CSIDL_FLAG_CREATE and friends sit above

struct ShellState {
    std::mutex mutex;
    std::map<int, std::u16string> overrides;
    std::vector<std::u16string> opened;
};

ShellState& State() {
    static ShellState state;
    return state;
}

// What a fresh profile answers; under WOW64 the program-files and system
// folders are the 32-bit ones.
bool DefaultFolder(int csidl, std::u16string& path) {
    bool wow64 = detail::IsWow64();
    std::u16string windows(detail::kWindowsDir);
    switch (csidl) {
        case 0x02: path = u"C:\\users\\root\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"; return true;
        case 0x05: path = u"C:\\users\\root\\Documents"; return true;
        case 0x07: path = u"C:\\users\\root\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"; return true;
        case 0x0B: path = u"C:\\users\\root\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu"; return true;
        case 0x14: path = windows + u"\\Fonts"; return true;
        case 0x16: path = u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu"; return true;
        case 0x17: path = u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"; return true;
        case 0x18: path = u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"; return true;
        case 0x1A: path = u"C:\\users\\root\\AppData\\Roaming"; return true;
        case 0x1C: path = u"C:\\users\\root\\AppData\\Local"; return true;
        case 0x23: path = u"C:\\ProgramData"; return true;
        case 0x24: path = windows; return true;
        case 0x25: path = windows + u"\\system32"; return true;
        case 0x26: path = wow64 ? u"C:\\Program Files (x86)" : u"C:\\Program Files"; return true;
        case 0x28: path = u"C:\\users\\root"; return true;
        case 0x29: path = windows + (wow64 ? u"\\syswow64" : u"\\system32"); return true;
        case 0x2A:
            if (!wow64) return false;
            path = u"C:\\Program Files (x86)";
            return true;
        case 0x2B: path = wow64 ? u"C:\\Program Files (x86)\\Common Files" : u"C:\\Program Files\\Common Files"; return true;
        default: return false;
    }
}

}  // namespace

namespace detail {
void ResetShell() {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.overrides.clear();
    state.opened.clear();
}
}  // namespace detail

void SetShellFolder(int csidl, std::u16string_view path) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.overrides[csidl & kFolderMask] = path;
}

std::vector<std::u16string> ShellExecuteLog() {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    return state.opened;
}

}  // namespace emul

namespace os {

HRESULT SHGetFolderPathW(HWND, int folder, HANDLE, DWORD, LPWSTR path) {
    std::u16string value;
    int csidl = folder & emul::kFolderMask;
    {
        auto& state = emul::State();
        std::lock_guard lock(state.mutex);
        auto it = state.overrides.find(csidl);
        if (it != state.overrides.end()) value = it->second;
    }
    if (value.empty() && !emul::DefaultFolder(csidl, value)) return emul::kInvalidArg;
    if (!path) return emul::kInvalidArg;
    // The caller's buffer holds MAX_PATH characters.
    auto length = std::min<std::size_t>(value.size(), MAX_PATH - 1);
    value.copy(path, length);
    path[length] = 0;
    return S_OK;
}

HINSTANCE ShellExecuteW(HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR, int) {
    auto text = [](LPCWSTR s) { return s ? std::u16string(s) : std::u16string(); };
    auto& state = emul::State();
    std::lock_guard lock(state.mutex);
    state.opened.push_back(text(verb) + u"|" + text(file) + u"|" + text(parameters));
    // Anything above 32 reports success.
    return reinterpret_cast<HINSTANCE>(std::uintptr_t{42});
}

}  // namespace os
