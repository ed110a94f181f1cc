#include "scanners/ShellFolder.h"

#include "platform/os/WinApi.h"

namespace scanners {

std::u16string ShellFolderPath(int csidl) {
    char16_t buffer[os::MAX_PATH + 1] = {};
    // S_FALSE still hands back a usable path; only a failure code leaves none.
    if (os::SHGetFolderPathW(nullptr, csidl, nullptr, 0, buffer) < 0) return {};
    std::u16string path(buffer);
    while (!path.empty() && (path.back() == u'\\' || path.back() == u'/')) path.pop_back();
    return path;
}

}  // namespace scanners
