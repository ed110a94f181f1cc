// The data folder: where the program keeps its log and backups. It is the
// executable's own folder, set once at start-up.
#pragma once

#include <string>

namespace runtime {

// Sets the data folder to the folder that holds the running executable.
void InitAppFolders();
// Stores `folder` with a trailing "\" and creates it with any missing
// parents; a folder that cannot be created is not reported (later file
// operations under it fail on their own terms).
void SetDataFolder(const std::u16string& folder);
// The data folder, ending in "\".
std::u16string GetDataFolder();

// The running executable's full path (empty if the system does not say).
std::u16string ExecutablePath();

}  // namespace runtime
