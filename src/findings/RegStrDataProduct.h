// A launch-related string setting that differs from its default. Solving
// writes the default back (as REG_SZ, unexpanded).
#pragma once

#include <string>

#include "findings/ScanProduct.h"
#include "platform/RegistryAccess.h"

namespace findings {

class TRegStrDataProduct : public TScanProduct {
public:
    static constexpr const char16_t* kTypeName = u"TRegStrDataProduct";

    TRegStrDataProduct(os::HKEY ARootKey, std::u16string ASubKey, std::u16string AValue, std::u16string Data,
                       std::u16string RightData);

    // A value that is gone is skipped. A refused write is repeated once with
    // the key opened up; that second refusal throws ERegistryError.
    void Solve() override;
    bool Backup(backups::TBackupsManager& BackupsManager) override;
    // Writes the entry's "Data" back, then removes the entry. A write that
    // fails throws and leaves the entry in the journal.
    static void RestoreBackup(backups::TBackupsManager& ABackuper, int Index);
    std::u16string GetBackupDescription() const override { return GetDescription(); }
    std::u16string GetDescription() const override;
    std::u16string GetType() const override;
    int GetIcon() const override { return 1; }

    os::HKEY RootKey() const { return FRootKey; }
    void SetRootKey(os::HKEY v) { FRootKey = v; }
    const std::u16string& Key() const { return FKey; }
    void SetKey(std::u16string v) { FKey = std::move(v); }
    const std::u16string& Value() const { return FValue; }
    void SetValue(std::u16string v) { FValue = std::move(v); }
    const std::u16string& Data() const { return FData; }
    void SetData(std::u16string v) { FData = std::move(v); }
    const std::u16string& RightData() const { return FRightData; }
    void SetRightData(std::u16string v) { FRightData = std::move(v); }

protected:
    os::HKEY FRootKey;
    std::u16string FKey;
    std::u16string FValue;
    std::u16string FData;
    std::u16string FRightData;
};

}  // namespace findings
