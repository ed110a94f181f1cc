// A launch-related string setting that differs from its default. Solving
// writes the default back (as REG_SZ, unexpanded), in each registry view the
// setting was found in.
#pragma once

#include <string>
#include <vector>

#include "findings/ScanProduct.h"
#include "platform/RegistryAccess.h"

namespace findings {

class TRegStrDataProduct : public TScanProduct {
public:
    static constexpr const char16_t* kTypeName = u"TRegStrDataProduct";

    // Found in the process's default view.
    TRegStrDataProduct(os::HKEY ARootKey, std::u16string ASubKey, std::u16string AValue, std::u16string Data,
                       std::u16string RightData);
    // Found holding Data in each of these views (KEY_WOW64_64KEY,
    // KEY_WOW64_32KEY) of 64-bit Windows; the description names them.
    TRegStrDataProduct(os::HKEY ARootKey, std::u16string ASubKey, std::u16string AValue, std::u16string Data,
                       std::u16string RightData, std::vector<platform::RegView> Views);

    // In each view: a value that is gone is skipped; a refused write is
    // repeated once with the key opened up. A second refusal throws
    // ERegistryError once the other views are done.
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
    // Empty for the process's default view.
    const std::vector<platform::RegView>& Views() const { return FViews; }

protected:
    os::HKEY FRootKey;
    std::u16string FKey;
    std::u16string FValue;
    std::u16string FData;
    std::u16string FRightData;
    std::vector<platform::RegView> FViews;

private:
    void SolveIn(platform::RegView view);
};

}  // namespace findings
