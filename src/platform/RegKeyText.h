// A registry key tree as registry-editor text (".reg", version 5.00,
// UTF-16LE): written beside a key's hive file when it is backed up, so that
// a user can read and import it by hand, and read back where the system's
// own key restore does not work.
#pragma once

#include <string>
#include <vector>

#include "platform/RegistryAccess.h"
#include "platform/emul/RegText.h"

namespace platform {

using RegTextKey = emul::regtext::Key;

// The key and everything below it, read in `view`, parents before children,
// paths starting with the root's full name. Throws ERegistryError when the
// key or one of its subkeys cannot be read: a partial copy is no backup.
std::vector<RegTextKey> ReadKeyTree(os::HKEY root, const std::u16string& key, RegView view);

// ReadKeyTree written to `file` (replaced). False, with the reason in
// `error`, when the tree cannot be read or the file cannot be written whole.
bool SaveKeyText(os::HKEY root, const std::u16string& key, RegView view, const std::u16string& file,
                 std::u16string& error);

// The tree a file of SaveKeyText holds, its paths made relative to its first
// key (which stands for the key that was saved; "" for that key itself).
// Throws ERegistryError for a file that cannot be read or is not such a tree.
std::vector<RegTextKey> LoadKeyText(const std::u16string& file);

// Whether root\key in `view` holds exactly `tree` (relative paths as
// LoadKeyText gives them): the same subkeys, and every value with the same
// type and bytes, in the same order. False when the key cannot be read.
bool KeyTreeEquals(os::HKEY root, const std::u16string& key, RegView view, const std::vector<RegTextKey>& tree);

// Makes root\key in `view` hold exactly `tree`: creates the key, removes
// what it holds now, then writes every subkey and value. Throws
// ERegistryError naming the key or value the registry refused.
void WriteKeyTree(os::HKEY root, const std::u16string& key, RegView view, const std::vector<RegTextKey>& tree);

}  // namespace platform
