// The registry as the scanners and findings see it: free functions that each
// open their own handle, do one thing and close it again. Nothing is cached.
//
// Every function takes the root key first and the key path second. One
// leading "\" of the path is ignored; an empty path names the root itself.
// A key that does not open is an ordinary outcome (false, empty, untouched
// list, or nothing done); only the failures documented below throw, always
// as ERegistryError.
//
// Each operation comes in two forms. The plain form ORs the process-wide
// RegistryViewFlag into its access mask (the scanners run under it). The
// form with a trailing RegView uses the view it is given instead, so that a
// finding repairs in the view it was found in, whatever the flag says later.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/os/WinApi.h"

namespace platform {

// Extra access bits for every plain-form operation: 0, or KEY_WOW64_64KEY
// (0x100) while the scan manager runs its 64-bit pass. Written only by the
// scan worker between passes; each operation reads it once.
extern std::atomic<std::int32_t> RegistryViewFlag;

// The view bits an explicit-view operation ORs into its mask.
struct RegView {
    os::REGSAM bits = 0;

    constexpr RegView() = default;
    constexpr explicit RegView(os::REGSAM viewBits) : bits(viewBits) {}
    // The view the plain forms would use right now.
    static RegView Current() { return RegView(static_cast<os::REGSAM>(RegistryViewFlag.load())); }
    static constexpr RegView Default() { return RegView(0); }
    static constexpr RegView Wow64_64() { return RegView(os::KEY_WOW64_64KEY); }

    friend constexpr bool operator==(RegView a, RegView b) { return a.bits == b.bits; }
};

// The error the layer raises. Message() holds the exact text (with the key
// path or value name as the registry spells it); what() is its UTF-8 form.
class ERegistryError : public std::runtime_error {
public:
    explicit ERegistryError(std::u16string message);
    const std::u16string& Message() const { return message_; }

private:
    std::u16string message_;
};

using StringList = std::vector<std::u16string>;

// Access masks of the layer, before the view bits are added.
constexpr os::REGSAM kReadMask = os::KEY_READ;                    // 0x20019
constexpr os::REGSAM kWriteMask = os::KEY_READ | os::KEY_WRITE;   // 0x2001F
constexpr os::REGSAM kQueryMask = os::KEY_QUERY_VALUE;            // 0x1
constexpr os::REGSAM kExistsMask = os::READ_CONTROL | os::KEY_QUERY_VALUE | os::KEY_ENUMERATE_SUB_KEYS;
constexpr os::REGSAM kCreateMask = os::KEY_ALL_ACCESS;            // 0xF003F
constexpr os::REGSAM kSecurityMask = os::READ_CONTROL | os::WRITE_DAC;  // 0x60000

// ---------------------------------------------------------------- reads
// Fills `names` with the direct subkeys in enumeration order. When the key
// does not open, `names` is left exactly as it was.
void RegistryGetKeyNames(os::HKEY root, const std::u16string& key, StringList& names);
void RegistryGetKeyNames(os::HKEY root, const std::u16string& key, StringList& names, RegView view);

// Same for value names; a set default value is listed under the empty name.
void RegistryGetValueNames(os::HKEY root, const std::u16string& key, StringList& names);
void RegistryGetValueNames(os::HKEY root, const std::u16string& key, StringList& names, RegView view);

// `text` is emptied first. True when the key opened and the value is a
// string (REG_SZ, or REG_EXPAND_SZ unexpanded) or is missing (empty text);
// false for other types and any failure. Cut at the first NUL. Never throws.
bool RegistryReadString(os::HKEY root, const std::u16string& key, const std::u16string& name,
                        std::u16string& text);
bool RegistryReadString(os::HKEY root, const std::u16string& key, const std::u16string& name,
                        std::u16string& text, RegView view);

// True when the key opens for reading.
bool RegistryKeyExists(os::HKEY root, const std::u16string& key);
bool RegistryKeyExists(os::HKEY root, const std::u16string& key, RegView view);

// True when the key opens and holds a value of that name ("" = default).
bool RegistryValueExists(os::HKEY root, const std::u16string& key, const std::u16string& name);
bool RegistryValueExists(os::HKEY root, const std::u16string& key, const std::u16string& name, RegView view);

// Stores 1 REG_SZ, 2 REG_EXPAND_SZ, 3 REG_BINARY or 4 REG_DWORD in `type`;
// 0 for every other type, a missing value or a key that does not open.
// Always returns true.
bool RegistryGetDataType(os::HKEY root, const std::u16string& key, const std::u16string& name, os::DWORD& type);
bool RegistryGetDataType(os::HKEY root, const std::u16string& key, const std::u16string& name, os::DWORD& type,
                         RegView view);

// ---------------------------------------------------------------- changes
// Deletes the key and everything below it, children before parents. True
// when the key itself is gone. Symbolic links met on the way are removed as
// links, never followed: their targets lie outside the tree. An empty path
// (a whole root) is refused with false.
bool RegistryDeleteKey(os::HKEY root, const std::u16string& key);
bool RegistryDeleteKey(os::HKEY root, const std::u16string& key, RegView view);

// Creates the key and missing parents, or opens an existing one. Returns
// true; throws ERegistryError "Failed to create key <key>" on failure.
bool RegistryCreateKey(os::HKEY root, const std::u16string& key);
bool RegistryCreateKey(os::HKEY root, const std::u16string& key, RegView view);

// False when the key does not open; otherwise whether the value was deleted.
bool RegistryDeleteValue(os::HKEY root, const std::u16string& key, const std::u16string& name);
bool RegistryDeleteValue(os::HKEY root, const std::u16string& key, const std::u16string& name, RegView view);

// The plain writes do nothing when the key does not open. When it opened but
// the system refuses the write they throw ERegistryError
// "Failed to set data for '<name>'". Strings are stored with their NUL.
void RegistryWriteBinary(os::HKEY root, const std::u16string& key, const std::u16string& name, const void* data,
                         std::size_t size);
void RegistryWriteBinary(os::HKEY root, const std::u16string& key, const std::u16string& name, const void* data,
                         std::size_t size, RegView view);
void RegistryWriteString(os::HKEY root, const std::u16string& key, const std::u16string& name,
                         const std::u16string& text);
void RegistryWriteString(os::HKEY root, const std::u16string& key, const std::u16string& name,
                         const std::u16string& text, RegView view);
void RegistryWriteExpandString(os::HKEY root, const std::u16string& key, const std::u16string& name,
                               const std::u16string& text);
void RegistryWriteExpandString(os::HKEY root, const std::u16string& key, const std::u16string& name,
                               const std::u16string& text, RegView view);
void RegistryWriteInteger(os::HKEY root, const std::u16string& key, const std::u16string& name,
                          std::int32_t value);
void RegistryWriteInteger(os::HKEY root, const std::u16string& key, const std::u16string& name,
                          std::int32_t value, RegView view);

// Writes REG_SZ (up to the first NUL of `text`) and, unlike the writes
// above, treats a key that does not open as a refused write: throws
// "Failed to set data for '<name>'".
void RegistryPutString(os::HKEY root, const std::u16string& key, const std::u16string& name, const char16_t* text);
void RegistryPutString(os::HKEY root, const std::u16string& key, const std::u16string& name, const char16_t* text,
                       RegView view);

// "HKEY_CLASSES_ROOT" ... "HKEY_DYN_DATA" for the seven predefined roots;
// for any other value the hexadecimal handle value ("0x12345678").
std::u16string RootKeyName(os::HKEY root);

// ---------------------------------------------------------------- key security
// A key's previous DACL as a self-relative security descriptor on the
// process heap. Released when the holder goes away, so a caller that never
// restores cannot leak it.
struct HeapFreeDeleter {
    void operator()(void* p) const;
};
using SavedDescriptor = std::unique_ptr<void, HeapFreeDeleter>;

// unlock = true: saves the key's DACL into `saved` and gives the key a NULL
// DACL (full access for everyone). unlock = false: puts `saved` back as the
// DACL and releases it (`saved` is empty afterwards once the key opened).
// False on any failure; a failed unlock hands back no descriptor. Opens the
// key with READ_CONTROL | WRITE_DAC and no view bits; never throws.
bool UnlockRegistryKey(os::HKEY root, const std::u16string& key, bool unlock, SavedDescriptor& saved);
// The same with the caller's extra access bits (0 or KEY_WOW64_64KEY).
bool UnlockRegistryKeyEx(os::HKEY root, const std::u16string& key, os::REGSAM extraAccess, SavedDescriptor& saved,
                         bool unlock);
// True when the key opens with READ_CONTROL | WRITE_DAC | extraAccess.
bool RegistryCanOpenKey(os::HKEY root, const std::u16string& key, os::REGSAM extraAccess);

}  // namespace platform
