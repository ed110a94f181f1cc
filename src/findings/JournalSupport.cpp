#include "findings/JournalSupport.h"

#include "app/AppFolders.h"
#include "platform/KeyHandle.h"
#include "platform/Privileges.h"

namespace findings {

bool JournalRoot(std::int32_t stored, os::HKEY& root) {
    auto value = static_cast<std::uint32_t>(stored);
    if (value < 0x80000000u || value > 0x80000006u) return false;
    root = os::PredefinedKey(value);
    return true;
}

platform::RegView JournalView(std::int32_t stored) {
    auto bits = static_cast<os::REGSAM>(stored);
    if (bits == os::KEY_WOW64_64KEY || bits == os::KEY_WOW64_32KEY) return platform::RegView(bits);
    return platform::RegView::Default();
}

std::vector<platform::RegView> JournalViews(std::int32_t stored) {
    if (static_cast<os::REGSAM>(stored) == (os::KEY_WOW64_64KEY | os::KEY_WOW64_32KEY))
        return {platform::RegView::Wow64_64(), platform::RegView(os::KEY_WOW64_32KEY)};
    return {JournalView(stored)};
}

bool JournalBackupPath(const std::u16string& folder, std::u16string& path) {
    if (folder.find_first_of(u"\\/:") != std::u16string::npos || folder == u"." || folder == u"..") return false;
    path = app::GetDataFolder() + u"backuped\\" + folder + u"\\";
    if (folder.empty()) path.pop_back();
    return true;
}

TPrivilegeScope::TPrivilegeScope(const char16_t* name) : name_(name) {
    enabled_ = platform::EnablePrivilege(name_, true, wasEnabled_) == 0;
}

TPrivilegeScope::~TPrivilegeScope() {
    if (enabled_ && !wasEnabled_) {
        bool ignored = true;
        platform::EnablePrivilege(name_, false, ignored);
    }
}

bool SaveKeyHive(os::HKEY root, const std::u16string& key, platform::RegView view, const std::u16string& file) {
    TPrivilegeScope backup(u"SeBackupPrivilege");
    if (!backup.Enabled()) return false;
    platform::KeyHandle handle;
    if (os::RegOpenKeyExW(root, key.c_str(), 0, os::MAXIMUM_ALLOWED | view.bits, handle.put()) != os::ERROR_SUCCESS)
        return false;
    return os::RegSaveKeyW(handle.get(), file.c_str(), nullptr) == os::ERROR_SUCCESS;
}

void RestoreKeyHive(os::HKEY root, const std::u16string& key, platform::RegView view, const std::u16string& file) {
    platform::KeyHandle handle;
    if (os::RegOpenKeyExW(root, key.c_str(), 0, os::MAXIMUM_ALLOWED | view.bits, handle.put()) != os::ERROR_SUCCESS)
        return;
    os::RegRestoreKeyW(handle.get(), file.c_str(), 0);
}

}  // namespace findings
