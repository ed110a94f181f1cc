#include "findings/RestoreDispatch.h"

#include "findings/CleanerRegKeyProduct.h"
#include "findings/CleanerRegValueProduct.h"
#include "findings/ListScanProduct.h"
#include "findings/RegKeyProduct.h"
#include "findings/RegStrDataProduct.h"
#include "platform/Text.h"

namespace findings {

bool RestoreBackupEntry(backups::TBackupsManager& BackupsManager, int Index) {
    using Restore = void (*)(backups::TBackupsManager&, int);
    static const struct {
        const char16_t* type;
        Restore restore;
    } kClasses[] = {
        {TCleanerRegKeyProduct::kTypeName, &TCleanerRegKeyProduct::RestoreBackup},
        {TCleanerRegValueProduct::kTypeName, &TCleanerRegValueProduct::RestoreBackup},
        {TRegStrDataProduct::kTypeName, &TRegStrDataProduct::RestoreBackup},
        {TRegKeyProduct::kTypeName, &TRegKeyProduct::RestoreBackup},
        {u"TListScanProduct", &TListScanProduct::RestoreBackup},
    };
    auto type = BackupsManager.GetBackupedString(Index, u"Type");
    for (const auto& c : kClasses) {
        if (text::EqualNoCase(type, c.type)) {
            c.restore(BackupsManager, Index);
            return true;
        }
    }
    return false;
}

}  // namespace findings
