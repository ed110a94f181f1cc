#include "findings/RegStrDataProduct.h"

#include "backups/BackupsManagerUnit.h"
#include "findings/JournalSupport.h"
#include "findings/SettingRegistry.h"
#include "i18n/LanguageManager.h"

namespace findings {

TRegStrDataProduct::TRegStrDataProduct(os::HKEY ARootKey, std::u16string ASubKey, std::u16string AValue,
                                       std::u16string Data, std::u16string RightData)
    : FRootKey(ARootKey),
      FKey(std::move(ASubKey)),
      FValue(std::move(AValue)),
      FData(std::move(Data)),
      FRightData(std::move(RightData)) {}

std::u16string TRegStrDataProduct::GetDescription() const {
    return i18n::LangConst(u"Invalid_data") + u" " + FValue + u" = \"" + FData + u"\" " + i18n::LangConst(u"at_key") +
           u" " + platform::RootKeyName(FRootKey) + u"\\" + FKey;
}

std::u16string TRegStrDataProduct::GetType() const { return i18n::LangConst(u"Registry_str_data"); }

void TRegStrDataProduct::Solve() {
    if (!setting::ValueExists(FRootKey, FKey, FValue)) return;
    try {
        setting::WriteString(FRootKey, FKey, FValue, FRightData);
        return;
    } catch (const platform::ERegistryError&) {
    }
    platform::SavedDescriptor previous;
    if (!platform::UnlockRegistryKey(FRootKey, FKey, true, previous)) return;
    try {
        setting::WriteString(FRootKey, FKey, FValue, FRightData);
    } catch (...) {
        platform::UnlockRegistryKey(FRootKey, FKey, false, previous);
        throw;
    }
    platform::UnlockRegistryKey(FRootKey, FKey, false, previous);
}

bool TRegStrDataProduct::Backup(backups::TBackupsManager& BackupsManager) {
    BackupsManager.NewEntry(kTypeName, GetBackupDescription());
    BackupsManager.BackupInteger(u"RootKey", static_cast<std::int32_t>(os::KeyValue32(FRootKey)));
    BackupsManager.BackupString(u"Key", FKey);
    BackupsManager.BackupString(u"Value", FValue);
    BackupsManager.BackupString(u"Data", FData);
    return true;
}

void TRegStrDataProduct::RestoreBackup(backups::TBackupsManager& ABackuper, int Index) {
    os::HKEY root = nullptr;
    if (!JournalRoot(ABackuper.GetBackupedInteger(Index, u"RootKey"), root))
        throw platform::ERegistryError(u"Backup entry names no registry root");
    setting::WriteString(root, ABackuper.GetBackupedString(Index, u"Key"), ABackuper.GetBackupedString(Index, u"Value"),
                         ABackuper.GetBackupedString(Index, u"Data"));
    ABackuper.DeleteEntry(Index);
}

}  // namespace findings
