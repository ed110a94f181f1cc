// A key that a setting check wants gone as a whole (a service whose program
// is missing). Solving deletes the tree in the process's default view.
#pragma once

#include <string>

#include "findings/ScanProduct.h"
#include "platform/RegistryAccess.h"

namespace findings {

class TRegKeyProduct : public TScanProduct {
public:
    static constexpr const char16_t* kTypeName = u"TRegKeyProduct";

    TRegKeyProduct(os::HKEY ARootKey, std::u16string ASubKey, bool Compromised);

    // Throws ERegistryError when a key of the tree cannot be listed (before
    // anything is deleted) or deleted.
    void Solve() override;
    // The journal entry and the hive file; false when the hive file could
    // not be written.
    bool Backup(backups::TBackupsManager& BackupsManager) override;
    // Loads the entry's key back (hive, or its text where the system's key
    // restore loads nothing; the key is created first) and removes the entry.
    // An entry whose files could not be loaded stays in the journal and the
    // ERegistryError reaches the caller; one with no file at all goes.
    static void RestoreBackup(backups::TBackupsManager& BackupsManager, int Index);
    std::u16string GetBackupDescription() const override { return GetDescription(); }
    std::u16string GetDescription() const override;
    std::u16string GetType() const override;
    int GetIcon() const override { return 1; }

    os::HKEY RootKey() const { return FRootKey; }
    void SetRootKey(os::HKEY v) { FRootKey = v; }
    const std::u16string& Key() const { return FKey; }
    void SetKey(std::u16string v) { FKey = std::move(v); }
    bool Compromised() const { return FCompromised; }
    void SetCompromised(bool v) { FCompromised = v; }

protected:
    os::HKEY FRootKey;
    std::u16string FKey;
    bool FCompromised;

private:
    static void UnlockKeyTree(os::HKEY Root, const std::u16string& Key);
    bool SaveKeyToFile(const std::u16string& BackupPath) const;
};

}  // namespace findings
