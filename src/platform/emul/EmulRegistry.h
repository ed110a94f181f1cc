// Configuration of the emulated registry (native build only).
// Key paths here name the raw (64-bit, unredirected) namespace, as
// `reg import /reg:64` would: "HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\X".
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/emul/RegText.h"
#include "platform/os/WinApi.h"

namespace emul {

// Loads ".reg" text (REGEDIT4 or version 5.00) into the registry. On bad
// input throws RegFormatError naming the line, and nothing is applied.
void LoadRegText(std::u16string_view text);
// The same from a file's bytes, decoded as regedit decodes them: UTF-16LE
// or UTF-8 by their byte-order mark, ANSI (code page 1252) without one.
void LoadRegFile(std::string_view bytes);
// Exports the subtree at fullKeyPath ("HKEY_CURRENT_USER\Software\X") as
// version 5.00 text; an empty result when the key does not exist.
std::u16string SaveRegText(std::u16string_view fullKeyPath);

// Denies reading and/or writing the key (raw path) to every opener until a
// DACL is written over it with RegSetKeySecurity; a descriptor saved before
// that write puts the denial back.
void DenyKeyAccess(std::u16string_view fullKeyPath, bool denyRead, bool denyWrite);
// Refuses WRITE_DAC on the key (raw path) to every opener, as a key owned by
// the system's installer account refuses administrators; its security then
// cannot be replaced at all.
void DenySecurityChange(std::u16string_view fullKeyPath, bool deny);

// HKEY_CURRENT_USER becomes HKEY_USERS\<sid> (a fresh machine's is
// S-1-5-21-0-0-0-1000; Reset puts that back). Call before opening keys.
void SetCurrentUserSid(std::u16string_view sid);

// The raw full name of the key that HKEY_CLASSES_ROOT\subKey opens in the
// view (os::KEY_WOW64_32KEY, os::KEY_WOW64_64KEY or 0): the current user's
// classes key ("HKEY_USERS\<SID>_Classes\.txt") or the machine's; empty
// when it opens none.
std::u16string ClassesKeyName(std::u16string_view subKey, os::REGSAM view);

// Handles returned by RegOpenKeyExW / RegCreateKeyExW and not yet closed.
std::size_t OpenKeyHandleCount();

// Number of keys and values held, for benchmarks and memory checks.
std::size_t KeyCount();
std::size_t ValueCount();

}  // namespace emul
