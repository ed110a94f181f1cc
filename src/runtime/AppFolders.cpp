#include "runtime/AppFolders.h"

#include <mutex>

#include "platform/os/WinApi.h"

namespace runtime {

namespace {

std::mutex g_mutex;
std::u16string g_dataFolder;

// Creates every folder of `path` from the root down; existing ones and
// failures are passed over.
void ForceFolders(const std::u16string& path) {
    std::size_t start = 0;
    if (path.rfind(u"\\\\", 0) == 0) {
        // \\server\share\ is the root of a UNC path: skip both names.
        auto server = path.find(u'\\', 2);
        start = server == std::u16string::npos ? path.size() : path.find(u'\\', server + 1);
        if (start == std::u16string::npos) start = path.size();
    } else if (path.size() >= 2 && path[1] == u':') {
        start = 2;
    }
    for (auto pos = path.find(u'\\', start + 1); pos != std::u16string::npos; pos = path.find(u'\\', pos + 1)) {
        auto prefix = path.substr(0, pos);
        if (prefix.empty() || prefix.back() == u':') continue;
        os::CreateDirectoryW(prefix.c_str(), nullptr);
    }
}

}  // namespace

std::u16string ExecutablePath() {
    std::u16string buffer(os::MAX_PATH, u'\0');
    for (;;) {
        auto capacity = static_cast<os::DWORD>(buffer.size());
        auto chars = os::GetModuleFileNameW(nullptr, buffer.data(), capacity);
        if (chars == 0) return {};
        if (chars < capacity) {
            buffer.resize(chars);
            return buffer;
        }
        if (buffer.size() >= 32768) return {};  // longer than any Windows path
        buffer.resize(buffer.size() * 2);
    }
}

void InitAppFolders() {
    auto exe = ExecutablePath();
    auto slash = exe.find_last_of(u'\\');
    SetDataFolder(slash == std::u16string::npos ? std::u16string() : exe.substr(0, slash + 1));
}

void SetDataFolder(const std::u16string& folder) {
    auto withSlash = folder;
    if (withSlash.empty() || withSlash.back() != u'\\') withSlash += u'\\';
    {
        std::lock_guard lock(g_mutex);
        g_dataFolder = withSlash;
    }
    ForceFolders(withSlash);
}

std::u16string GetDataFolder() {
    std::lock_guard lock(g_mutex);
    return g_dataFolder;
}

}  // namespace runtime
