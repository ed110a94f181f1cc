#include "findings/ListScanProduct.h"

#include "platform/Text.h"

namespace findings {

void TListScanProduct::Add(std::unique_ptr<TCleanerScanProduct> ScanProduct) {
    FList.push_back(std::move(ScanProduct));
    FChecked.push_back(true);
}

void TListScanProduct::Solve() {
    for (auto& finding : FList)
        if (finding) finding->Solve(nullptr);
}

bool TListScanProduct::Backup(backups::TBackupsManager&) { return false; }

void TListScanProduct::RestoreBackup(backups::TBackupsManager&, int) {}

std::u16string TListScanProduct::GetDescription() const {
    return u"Registry problems: " + text::FromAscii(std::to_string(FList.size())) + u" problems";
}

}  // namespace findings
