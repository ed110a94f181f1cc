// A registry key (with everything below it) that a scanner found broken or
// empty. Solving deletes the tree; with a journal the key's hive file is
// saved first so that RestoreBackup can load it back.
#pragma once

#include <string>

#include "findings/CleanerScanProduct.h"
#include "platform/RegistryAccess.h"

namespace findings {

class TCleanerRegKeyProduct : public TCleanerScanProduct {
public:
    static constexpr const char16_t* kTypeName = u"TCleanerRegKeyProduct";

    // Made in the view the scan pass runs in (RegistryViewFlag now).
    TCleanerRegKeyProduct(os::HKEY ARootKey, std::u16string ASubKey, std::u16string AReason, bool HasNoValues);
    TCleanerRegKeyProduct(os::HKEY ARootKey, std::u16string ASubKey, std::u16string AReason, bool HasNoValues,
                          platform::RegView AView);

    void Solve(backups::TBackupsManager* BackupsManager) override;
    // Root key name + "\" + subkey.
    std::u16string GetDescription() const override;

    // Loads the key saved by the journal entry at position Index back (hive
    // file, or its text where the system's key restore loads nothing); the
    // key is created first when missing. The entry stays in the journal.
    // Throws ERegistryError when the key cannot be created or neither file
    // brings it back.
    static void RestoreBackup(backups::TBackupsManager& BackupsManager, int Index);

    os::HKEY RootKey() const { return FRootKey; }
    void SetRootKey(os::HKEY value) { FRootKey = value; }
    const std::u16string& SubKey() const { return FSubKey; }
    void SetSubKey(std::u16string value) { FSubKey = std::move(value); }
    bool HasNoValues() const { return FHasNoValues; }

private:
    void UnlockKeyTree(os::HKEY Root, const std::u16string& Key) const;
    // True when the hive file or its text was written.
    bool SaveKeyToFile(const std::u16string& BackupPath) const;

    os::HKEY FRootKey;
    std::u16string FSubKey;
    bool FHasNoValues;
};

}  // namespace findings
