// The registry operations of the setting findings. Unlike the scanner
// findings they report failures with their own texts, and they use the
// process's default view unless handed the view bits of another
// (KEY_WOW64_64KEY or KEY_WOW64_32KEY: a setting found in one view of
// 64-bit Windows is repaired in that view). The key tree operations serve
// the services key, which both views share.
#pragma once

#include <string>

#include "platform/RegistryAccess.h"

namespace findings::setting {

// Root\Key opens for reading and holds the named value.
bool ValueExists(os::HKEY root, const std::u16string& key, const std::u16string& name, os::REGSAM view = 0);
// Writes REG_SZ, creating the key when it does not open for reading. Throws
// ERegistryError "Unable to open key "<root>\<key>" for write".
void WriteString(os::HKEY root, const std::u16string& key, const std::u16string& name, const std::u16string& text,
                 os::REGSAM view = 0);
bool KeyExists(os::HKEY root, const std::u16string& key, os::REGSAM view = 0);
// The system's error code; never throws.
os::LSTATUS CreateKey(os::HKEY root, const std::u16string& key, os::REGSAM view = 0);
// Direct subkeys; throws "Unable to open key "<root>\<key>" for read".
platform::StringList SubKeys(os::HKEY root, const std::u16string& key);
// Opens every key of the tree up for its deletion, never following a
// registry link; throws the "for read" error naming the first key whose
// subkeys cannot be listed.
void UnlockTree(os::HKEY root, const std::u16string& key);
// Deletes the subkeys from the last index down, stopping at the first that
// stays, then the key itself when nothing is left. A registry link is
// deleted as a link, never followed. Throws the "for write" error when a
// key does not open. True when the key is gone.
bool DeleteTree(os::HKEY root, const std::u16string& key);

}  // namespace findings::setting
