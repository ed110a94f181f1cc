// Pieces every finding's backup and restore share: reading roots, views and
// folders back from a journal entry that may have been edited by hand, and
// holding a token privilege for one scope.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/RegistryAccess.h"

namespace findings {

// Only the seven predefined roots come back from a journal: any other
// number would be used as a handle of this process.
bool JournalRoot(std::int32_t stored, os::HKEY& root);
// The view bits of "View"; unknown bits read as the default view.
platform::RegView JournalView(std::int32_t stored);
// "View" of a finding that may stand for both views of 64-bit Windows:
// KEY_WOW64_64KEY | KEY_WOW64_32KEY gives both, in that order; anything
// else reads as JournalView does.
std::vector<platform::RegView> JournalViews(std::int32_t stored);
// Data folder + "backuped\" + folder + "\" (the "backuped" folder itself for
// an empty name). False for a name that would lead out of it.
bool JournalBackupPath(const std::u16string& folder, std::u16string& path);

// Saves the key (opened with MAXIMUM_ALLOWED in `view`) into `file` with
// SeBackupPrivilege held; true when the file was written.
bool SaveKeyHive(os::HKEY root, const std::u16string& key, platform::RegView view, const std::u16string& file);
// Loads `file` over the key with SeRestorePrivilege held (the caller holds
// SeBackupPrivilege); whether the system reported success.
bool RestoreKeyHive(os::HKEY root, const std::u16string& key, platform::RegView view, const std::u16string& file);

// The names of a key backup's two files in its entry's folder: the hive the
// system writes, and the same tree as registry-editor text.
inline constexpr const char16_t* kKeyHiveFile = u"backuped_key.dat";
inline constexpr const char16_t* kKeyTextFile = u"backuped_key.reg";

// Writes both files of a key backup into `folder` (ending in "\"); true
// when at least one of them was written, so that the key can come back.
bool SaveKeyBackup(os::HKEY root, const std::u16string& key, platform::RegView view, const std::u16string& folder);
// Puts the key back from the files in `folder`: the hive where the system's
// key restore loads it, and the text otherwise (some systems answer success
// and load nothing, so the result is compared with the text). The key is
// created first when missing. The caller holds SeBackupPrivilege. Throws
// ERegistryError when neither file brings the key back.
void RestoreKeyBackup(os::HKEY root, const std::u16string& key, platform::RegView view, const std::u16string& folder);

}  // namespace findings
