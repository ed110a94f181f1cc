// Base of the findings a scanner makes: one registry key or value to
// remove. Each finding can describe itself, repair the registry, and back
// itself up into a journal first when the caller hands one in.
#pragma once

#include <string>

#include "platform/RegistryAccess.h"

namespace backups {
class TBackupsManager;
}

namespace findings {

class TCleanerScanProduct {
public:
    virtual ~TCleanerScanProduct() = default;
    TCleanerScanProduct(const TCleanerScanProduct&) = delete;
    TCleanerScanProduct& operator=(const TCleanerScanProduct&) = delete;

    // Repairs the registry; with a journal (not null) it backs the finding
    // up into it first. Never throws.
    virtual void Solve(backups::TBackupsManager* BackupsManager) = 0;
    // One line for the results list and the log.
    virtual std::u16string GetDescription() const = 0;

    // Restoring needs no finding object: each concrete class has a static
    // RestoreBackup(TBackupsManager&, int Index), and RestoreBackupEntry
    // (findings/RestoreDispatch.h) picks it by the entry's "Type".

    const std::u16string& Reason() const { return FReason; }
    // The registry view the finding was made in; every registry call of its
    // repair, backup and restore uses it.
    platform::RegView View() const { return FView; }

protected:
    TCleanerScanProduct(std::u16string AReason, platform::RegView AView)
        : FReason(std::move(AReason)), FView(AView) {}

    // "short date" + " " + "long time" of the local time now, in the user's
    // locale format, as the journal's "Time" records it.
    static std::u16string BackupTimeText();

    // A key named through HKEY_CLASSES_ROOT that the current user's classes
    // hold is the user's alone: HKEY_CLASSES_ROOT shows it in place of a
    // machine key of that name, lists the machine key's subkeys beside its
    // own, and opens a subkey only the machine has as the machine's. So its
    // repair names it where it lives, HKEY_CURRENT_USER\Software\Classes,
    // and reaches nothing of the machine's. Other keys are left as named.
    static void NameClassesKeyByPlace(os::HKEY& root, std::u16string& key, platform::RegView view);

    std::u16string FReason;
    platform::RegView FView;
};

}  // namespace findings
