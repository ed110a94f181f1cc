// Putting a run's registry changes into the drive's hive files, or saying
// why that would not be safe.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "offline/OfflineMachine.h"

namespace offline {

// Why nothing may be written to the drive (empty: nothing stands in the
// way): hives with transaction logs not replayed, a read-only drive, a
// Windows that is hibernated or was shut down with fast start-up.
std::vector<std::string> WriteRefusals(const TOfflineMachine& machine);

struct TWriteResult {
    std::vector<std::u16string> written;  // hives changed, as Windows names them
    std::filesystem::path backupFolder;   // the originals, empty when nothing changed
};

// Writes every hive whose keys or values the run changed: the original is
// first copied into a new folder below <drive>/TallowmendBackup, the new
// hive is written beside the original under another name, read back, and
// only when every changed hive got that far are they renamed over the
// originals. Throws (THiveError, TOfflineError) before any rename when
// something fails; the originals are then untouched.
TWriteResult WriteBack(const TOfflineMachine& machine);

// The folder a backup of this drive goes to (created by WriteBack).
std::filesystem::path BackupRoot(const std::filesystem::path& drive);

}  // namespace offline
