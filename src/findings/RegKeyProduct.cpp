#include "findings/RegKeyProduct.h"

#include "backups/BackupsManagerUnit.h"
#include "findings/JournalSupport.h"
#include "findings/SettingRegistry.h"
#include "i18n/LanguageManager.h"
#include "platform/Privileges.h"

namespace findings {

TRegKeyProduct::TRegKeyProduct(os::HKEY ARootKey, std::u16string ASubKey, bool Compromised)
    : FRootKey(ARootKey), FKey(std::move(ASubKey)), FCompromised(Compromised) {}

std::u16string TRegKeyProduct::GetDescription() const {
    std::u16string prefix = FCompromised ? i18n::LangConst(u"Compromised_reg_key") + u" " : u"";
    return prefix + platform::RootKeyName(FRootKey) + u"\\" + FKey;
}

std::u16string TRegKeyProduct::GetType() const { return i18n::LangConst(u"Registry_key"); }

void TRegKeyProduct::UnlockKeyTree(os::HKEY Root, const std::u16string& Key) { setting::UnlockTree(Root, Key); }

void TRegKeyProduct::Solve() {
    if (!setting::KeyExists(FRootKey, FKey)) return;
    UnlockKeyTree(FRootKey, FKey);
    setting::DeleteTree(FRootKey, FKey);
}

bool TRegKeyProduct::SaveKeyToFile(const std::u16string& BackupPath) const {
    return SaveKeyBackup(FRootKey, FKey, platform::RegView::Default(), BackupPath);
}

bool TRegKeyProduct::Backup(backups::TBackupsManager& BackupsManager) {
    BackupsManager.NewEntry(kTypeName, GetBackupDescription());
    std::u16string path, folder;
    BackupsManager.CreateBackupFolder(path, folder);
    BackupsManager.BackupString(u"BackupFolder", folder);
    BackupsManager.BackupInteger(u"RootKey", static_cast<std::int32_t>(os::KeyValue32(FRootKey)));
    BackupsManager.BackupString(u"Key", FKey);
    return SaveKeyToFile(path);
}

void TRegKeyProduct::RestoreBackup(backups::TBackupsManager& BackupsManager, int Index) {
    bool keepEntry = false;
    std::u16string path;
    if (JournalBackupPath(BackupsManager.GetBackupedString(Index, u"BackupFolder"), path)) {
        bool hasBackup = false;
        for (const char16_t* name : {kKeyHiveFile, kKeyTextFile})
            hasBackup = hasBackup || os::GetFileAttributesW((path + name).c_str()) != os::INVALID_FILE_ATTRIBUTES;
        platform::TPrivilegeScope backup(u"SeBackupPrivilege");
        os::HKEY root = nullptr;
        // Without the privilege, or with files the system will not load,
        // the entry is the only copy left: keep it.
        if (!backup.Enabled()) {
            keepEntry = hasBackup;
        } else if (JournalRoot(BackupsManager.GetBackupedInteger(Index, u"RootKey"), root)) {
            auto key = BackupsManager.GetBackupedString(Index, u"Key");
            if (!hasBackup) {
                if (!setting::KeyExists(root, key)) setting::CreateKey(root, key);
            } else {
                // A failure keeps the entry: it is the only copy left.
                RestoreKeyBackup(root, key, platform::RegView::Default(), path);
            }
        }
    }
    if (!keepEntry) BackupsManager.DeleteEntry(Index);
}

}  // namespace findings
