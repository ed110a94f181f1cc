// The wizard's single line for every scanner finding of a scan: it owns
// them, and solving it solves each one in the order added.
#pragma once

#include <memory>
#include <vector>

#include "findings/CleanerScanProduct.h"
#include "findings/ScanProduct.h"

namespace findings {

class TListScanProduct : public TScanProduct {
public:
    TListScanProduct() = default;

    // Appended as given; a null finding counts but is never solved.
    void Add(std::unique_ptr<TCleanerScanProduct> ScanProduct);
    std::size_t Count() const { return FList.size(); }
    TCleanerScanProduct* Item(std::size_t i) const { return FList[i].get(); }
    // Each finding's own check box in the details list: an unchecked one is
    // neither repaired nor backed up. Checked when added.
    bool Checked(std::size_t i) const { return FChecked[i]; }
    void SetChecked(std::size_t i, bool checked) { FChecked[i] = checked; }

    // Solves every finding without a journal; each swallows its own errors.
    void Solve() override;
    bool Backup(backups::TBackupsManager& BackupsManager) override;
    static void RestoreBackup(backups::TBackupsManager& BackupsManager, int Index);
    std::u16string GetBackupDescription() const override { return {}; }
    // "Registry problems: %d problems" (not translated).
    std::u16string GetDescription() const override;
    std::u16string GetType() const override { return {}; }
    int GetIcon() const override { return 0; }

    // Index of the composite's line in the results list; the wizard's.
    int Position = 0;

private:
    std::vector<std::unique_ptr<TCleanerScanProduct>> FList;
    std::vector<bool> FChecked;
};

}  // namespace findings
