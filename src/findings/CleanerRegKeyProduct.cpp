#include "findings/CleanerRegKeyProduct.h"

#include "backups/BackupsManagerUnit.h"
#include "findings/JournalSupport.h"
#include "platform/Privileges.h"

namespace findings {

TCleanerRegKeyProduct::TCleanerRegKeyProduct(os::HKEY ARootKey, std::u16string ASubKey, std::u16string AReason,
                                             bool HasNoValues)
    : TCleanerRegKeyProduct(ARootKey, std::move(ASubKey), std::move(AReason), HasNoValues,
                            platform::RegView::Current()) {}

TCleanerRegKeyProduct::TCleanerRegKeyProduct(os::HKEY ARootKey, std::u16string ASubKey, std::u16string AReason,
                                             bool HasNoValues, platform::RegView AView)
    : TCleanerScanProduct(std::move(AReason), AView),
      FRootKey(ARootKey),
      FSubKey(std::move(ASubKey)),
      FHasNoValues(HasNoValues) {
    NameClassesKeyByPlace(FRootKey, FSubKey, FView);
}

std::u16string TCleanerRegKeyProduct::GetDescription() const {
    return platform::RootKeyName(FRootKey) + u"\\" + FSubKey;
}

void TCleanerRegKeyProduct::UnlockKeyTree(os::HKEY Root, const std::u16string& Key) const {
    platform::UnlockKeyTree(Root, Key, FView, false);
}

bool TCleanerRegKeyProduct::SaveKeyToFile(const std::u16string& BackupPath) const {
    return SaveKeyBackup(FRootKey, FSubKey, FView, BackupPath);
}

void TCleanerRegKeyProduct::Solve(backups::TBackupsManager* BackupsManager) {
    try {
        if (!platform::RegistryKeyExists(FRootKey, FSubKey, FView)) return;
        UnlockKeyTree(FRootKey, FSubKey);
        if (BackupsManager) {
            BackupsManager->NewEntry(kTypeName, GetDescription());
            std::u16string path, folder;
            BackupsManager->CreateBackupFolder(path, folder);
            BackupsManager->BackupString(u"Time", BackupTimeText());
            BackupsManager->BackupString(u"BackupFolder", folder);
            bool saved = SaveKeyToFile(path);
            BackupsManager->BackupInteger(u"RootKey", static_cast<std::int32_t>(os::KeyValue32(FRootKey)));
            BackupsManager->BackupString(u"Key", FSubKey);
            if (FView.bits != 0) BackupsManager->BackupInteger(u"View", static_cast<std::int32_t>(FView.bits));
            // Deleting a key whose backup was asked for but not written would
            // lose it for good.
            if (!saved) return;
        }
        platform::RegistryDeleteKey(FRootKey, FSubKey, FView);
    } catch (...) {
    }
}

void TCleanerRegKeyProduct::RestoreBackup(backups::TBackupsManager& BackupsManager, int Index) {
    std::u16string path;
    if (!JournalBackupPath(BackupsManager.GetBackupedString(Index, u"BackupFolder"), path)) return;
    platform::TPrivilegeScope backup(u"SeBackupPrivilege");
    if (!backup.Enabled()) return;
    os::HKEY root = nullptr;
    if (!JournalRoot(BackupsManager.GetBackupedInteger(Index, u"RootKey"), root)) return;
    auto key = BackupsManager.GetBackupedString(Index, u"Key");
    auto view = JournalView(BackupsManager.GetBackupedInteger(Index, u"View"));
    RestoreKeyBackup(root, key, view, path);
}

}  // namespace findings
