#include "findings/RegStrDataProduct.h"

#include <exception>

#include "backups/BackupsManagerUnit.h"
#include "findings/JournalSupport.h"
#include "findings/SettingRegistry.h"
#include "i18n/LanguageManager.h"

namespace findings {

TRegStrDataProduct::TRegStrDataProduct(os::HKEY ARootKey, std::u16string ASubKey, std::u16string AValue,
                                       std::u16string Data, std::u16string RightData)
    : TRegStrDataProduct(ARootKey, std::move(ASubKey), std::move(AValue), std::move(Data), std::move(RightData), {}) {}

TRegStrDataProduct::TRegStrDataProduct(os::HKEY ARootKey, std::u16string ASubKey, std::u16string AValue,
                                       std::u16string Data, std::u16string RightData,
                                       std::vector<platform::RegView> Views)
    : FRootKey(ARootKey),
      FKey(std::move(ASubKey)),
      FValue(std::move(AValue)),
      FData(std::move(Data)),
      FRightData(std::move(RightData)),
      FViews(std::move(Views)) {}

std::u16string TRegStrDataProduct::GetDescription() const {
    std::u16string text = i18n::LangConst(u"Invalid_data") + u" " + FValue + u" = \"" + FData + u"\" " +
                          i18n::LangConst(u"at_key") + u" " + platform::RootKeyName(FRootKey) + u"\\" + FKey;
    if (FViews.size() > 1) return text + u" " + i18n::LangConst(u"In_both_views");
    if (FViews.size() == 1 && FViews[0] == platform::RegView::Wow64_64())
        return text + u" " + i18n::LangConst(u"In_64_bit_view");
    if (FViews.size() == 1 && FViews[0] == platform::RegView(os::KEY_WOW64_32KEY))
        return text + u" " + i18n::LangConst(u"In_32_bit_view");
    return text;
}

std::u16string TRegStrDataProduct::GetType() const { return i18n::LangConst(u"Registry_str_data"); }

void TRegStrDataProduct::SolveIn(platform::RegView view) {
    if (!setting::ValueExists(FRootKey, FKey, FValue, view.bits)) return;
    try {
        setting::WriteString(FRootKey, FKey, FValue, FRightData, view.bits);
        return;
    } catch (const platform::ERegistryError&) {
    }
    platform::TKeyUnlock unlock(FRootKey, FKey, view);
    if (unlock) setting::WriteString(FRootKey, FKey, FValue, FRightData, view.bits);
}

void TRegStrDataProduct::Solve() {
    if (FViews.empty()) return SolveIn(platform::RegView::Default());
    // A refusal in one view must not leave the other view unrepaired.
    std::exception_ptr failure;
    for (auto view : FViews) {
        try {
            SolveIn(view);
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    }
    if (failure) std::rethrow_exception(failure);
}

bool TRegStrDataProduct::Backup(backups::TBackupsManager& BackupsManager) {
    BackupsManager.NewEntry(kTypeName, GetBackupDescription());
    BackupsManager.BackupInteger(u"RootKey", static_cast<std::int32_t>(os::KeyValue32(FRootKey)));
    BackupsManager.BackupString(u"Key", FKey);
    BackupsManager.BackupString(u"Value", FValue);
    BackupsManager.BackupString(u"Data", FData);
    os::REGSAM views = 0;
    for (auto view : FViews) views |= view.bits;
    if (views != 0) BackupsManager.BackupInteger(u"View", static_cast<std::int32_t>(views));
    return true;
}

void TRegStrDataProduct::RestoreBackup(backups::TBackupsManager& ABackuper, int Index) {
    os::HKEY root = nullptr;
    if (!JournalRoot(ABackuper.GetBackupedInteger(Index, u"RootKey"), root))
        throw platform::ERegistryError(u"Backup entry names no registry root");
    for (auto view : JournalViews(ABackuper.GetBackupedInteger(Index, u"View")))
        setting::WriteString(root, ABackuper.GetBackupedString(Index, u"Key"),
                             ABackuper.GetBackupedString(Index, u"Value"), ABackuper.GetBackupedString(Index, u"Data"),
                             view.bits);
    ABackuper.DeleteEntry(Index);
}

}  // namespace findings
