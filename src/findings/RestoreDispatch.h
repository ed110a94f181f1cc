// Restoring is class-level: the class that reads a journal entry is the one
// named by the entry's "Type".
#pragma once

#include "backups/BackupsManagerUnit.h"

namespace findings {

// Calls RestoreBackup of the class the entry at position Index names; false
// (nothing done) for a type no finding class has. Errors of the restore
// reach the caller.
bool RestoreBackupEntry(backups::TBackupsManager& BackupsManager, int Index);

}  // namespace findings
