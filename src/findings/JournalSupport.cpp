#include "findings/JournalSupport.h"

#include "platform/RegKey.h"
#include "platform/Privileges.h"
#include "platform/RegKeyText.h"
#include "runtime/AppFolders.h"
#include "runtime/Logger.h"

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
    path = runtime::GetDataFolder() + u"backuped\\" + folder + u"\\";
    if (folder.empty()) path.pop_back();
    return true;
}

bool SaveKeyHive(os::HKEY root, const std::u16string& key, platform::RegView view, const std::u16string& file) {
    platform::TPrivilegeScope backup(u"SeBackupPrivilege");
    if (!backup.Enabled()) return false;
    platform::RegKey handle;
    if (handle.Open(root, key, os::MAXIMUM_ALLOWED, view) != os::ERROR_SUCCESS) return false;
    return handle.SaveTo(file) == os::ERROR_SUCCESS;
}

bool RestoreKeyHive(os::HKEY root, const std::u16string& key, platform::RegView view, const std::u16string& file) {
    platform::TPrivilegeScope restore(u"SeRestorePrivilege");
    if (!restore.Enabled()) return false;
    platform::RegKey handle;
    if (handle.Open(root, key, os::MAXIMUM_ALLOWED, view) != os::ERROR_SUCCESS) return false;
    return handle.RestoreFrom(file) == os::ERROR_SUCCESS;
}

bool SaveKeyBackup(os::HKEY root, const std::u16string& key, platform::RegView view, const std::u16string& folder) {
    bool hive = SaveKeyHive(root, key, view, folder + kKeyHiveFile);
    std::u16string error;
    bool text = platform::SaveKeyText(root, key, view, folder + kKeyTextFile, error);
    if (!text) runtime::Log(u"Key backup as text failed: " + error);
    return hive || text;
}

void RestoreKeyBackup(os::HKEY root, const std::u16string& key, platform::RegView view, const std::u16string& folder) {
    auto hive = folder + kKeyHiveFile;
    auto text = folder + kKeyTextFile;
    bool hasHive = os::GetFileAttributesW(hive.c_str()) != os::INVALID_FILE_ATTRIBUTES;
    bool hasText = os::GetFileAttributesW(text.c_str()) != os::INVALID_FILE_ATTRIBUTES;
    if (!platform::RegistryKeyExists(root, key, view)) platform::RegistryCreateKey(root, key, view);
    bool loaded = hasHive && RestoreKeyHive(root, key, view, hive);
    if (!hasText) {
        if (!loaded) throw platform::ERegistryError(u"The saved key could not be loaded from " + hive);
        return;
    }
    auto tree = platform::LoadKeyText(text);
    if (loaded && platform::KeyTreeEquals(root, key, view, tree)) return;
    platform::WriteKeyTree(root, key, view, tree);
}

}  // namespace findings
