// Base of the wizard's findings: one line of the results list each, solved
// by the fix step. Numbered from one process-wide counter.
#pragma once

#include <cstdint>
#include <string>

namespace backups {
class TBackupsManager;
}

namespace findings {

class TScanProduct {
public:
    // Takes the current NextProductId and advances it.
    TScanProduct();
    virtual ~TScanProduct() = default;
    TScanProduct(const TScanProduct&) = delete;
    TScanProduct& operator=(const TScanProduct&) = delete;

    virtual void Solve() = 0;
    // Records a journal entry (and backup file); true when recorded.
    virtual bool Backup(backups::TBackupsManager& BackupsManager) = 0;
    virtual std::u16string GetBackupDescription() const = 0;
    virtual std::u16string GetDescription() const = 0;
    virtual std::u16string GetType() const = 0;
    virtual int GetIcon() const = 0;
    // Restoring is class-level: a static RestoreBackup(TBackupsManager&,
    // int Index) per concrete class, picked by RestoreBackupEntry.

    std::uint32_t Id() const { return FId; }
    void SetId(std::uint32_t value) { FId = value; }

    // The counter, used on the user-interface thread only.
    static std::uint32_t NextProductId;

private:
    std::uint32_t FId;
};

}  // namespace findings
