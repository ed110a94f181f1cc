// The registry as the scanners and findings see it: free functions that each
// open their own handle, do one thing and close it again; only during a scan
// do the reads of the scan's thread share handles (platform/KeyCache.h).
//
// Every function takes the root key first and the key path second. One
// leading "\" of the path is ignored; an empty path names the root itself.
// A key that does not open is an ordinary outcome (false, empty, untouched
// list, or nothing done); only the failures documented below throw, always
// as ERegistryError.
//
// Each operation takes the view last. Left out, it is the process-wide
// RegistryViewFlag of the moment (the scanners run under it); a finding
// hands in the view it was found in, so that it repairs there whatever the
// flag says later.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/RegKey.h"
#include "platform/os/WinApi.h"

namespace platform {

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
void RegistryGetKeyNames(os::HKEY root, const std::u16string& key, StringList& names,
                         RegView view = RegView::Current());

// Same for value names; a set default value is listed under the empty name.
void RegistryGetValueNames(os::HKEY root, const std::u16string& key, StringList& names,
                           RegView view = RegView::Current());

// One value as the key holds it.
struct TRegValue {
    std::u16string name;
    os::DWORD type = 0;
    std::vector<std::uint8_t> data;
    // The data as text (REG_SZ, REG_EXPAND_SZ unexpanded), cut at the first
    // NUL; an odd last byte is dropped.
    std::u16string Text() const;
};

// Every value of a key with its type and, for strings, its text, in
// enumeration order. The storage is kept from one key to the next: a scan
// reads millions of values, and a string and a buffer apiece would be much
// of what reading them costs. Views stay valid until the next read into it.
class TRegValues {
public:
    std::size_t size() const { return items_.size(); }
    std::u16string_view Name(std::size_t i) const { return {names_.data() + items_[i].name, items_[i].nameLength}; }
    os::DWORD Type(std::size_t i) const { return items_[i].type; }
    // REG_SZ and REG_EXPAND_SZ (unexpanded) data as text, cut at the first
    // NUL, an odd last byte dropped; empty for every other type.
    std::u16string_view Text(std::size_t i) const { return {texts_.data() + items_[i].text, items_[i].textLength}; }

private:
    friend bool RegistryGetValues(os::HKEY, const std::u16string&, TRegValues&, RegView);
    void Clear();
    void Add(const char16_t* name, std::size_t nameLength, os::DWORD type, const std::uint8_t* data, std::size_t bytes);

    struct Item {
        std::size_t name, nameLength;
        os::DWORD type;
        std::size_t text, textLength;
    };
    std::u16string names_, texts_;
    std::vector<Item> items_;
    // What the system writes each value into.
    std::vector<char16_t> nameBuffer_;
    std::vector<std::uint8_t> dataBuffer_;
};

// Every value of the key, read in one pass over it. False, with `values`
// empty, when the key does not open for reading or its values cannot all
// be read.
bool RegistryGetValues(os::HKEY root, const std::u16string& key, TRegValues& values, RegView view = RegView::Current());

// `text` is emptied first. True when the key opened and the value is a
// string (REG_SZ, or REG_EXPAND_SZ unexpanded) or is missing (empty text);
// false for other types and any failure. Cut at the first NUL. Never throws.
bool RegistryReadString(os::HKEY root, const std::u16string& key, const std::u16string& name,
                        std::u16string& text, RegView view = RegView::Current());

// True when the key opens for reading.
bool RegistryKeyExists(os::HKEY root, const std::u16string& key, RegView view = RegView::Current());

// True when the key opens and holds a value of that name ("" = default).
bool RegistryValueExists(os::HKEY root, const std::u16string& key, const std::u16string& name,
                         RegView view = RegView::Current());

// Stores 1 REG_SZ, 2 REG_EXPAND_SZ, 3 REG_BINARY or 4 REG_DWORD in `type`;
// 0 for every other type, a missing value or a key that does not open.
// Always returns true.
bool RegistryGetDataType(os::HKEY root, const std::u16string& key, const std::u16string& name, os::DWORD& type,
                         RegView view = RegView::Current());

// ---------------------------------------------------------------- changes
// Deletes the key and everything below it, children before parents. True
// when the key itself is gone. Symbolic links met on the way are removed as
// links, never followed: their targets lie outside the tree. An empty path
// (a whole root) is refused with false.
bool RegistryDeleteKey(os::HKEY root, const std::u16string& key, RegView view = RegView::Current());

// Creates the key and missing parents, or opens an existing one. Returns
// true; throws ERegistryError "Failed to create key <key>" on failure.
bool RegistryCreateKey(os::HKEY root, const std::u16string& key, RegView view = RegView::Current());

// False when the key does not open; otherwise whether the value was deleted.
bool RegistryDeleteValue(os::HKEY root, const std::u16string& key, const std::u16string& name,
                         RegView view = RegView::Current());

// The plain writes do nothing when the key does not open. When it opened but
// the system refuses the write they throw ERegistryError
// "Failed to set data for '<name>'". Strings are stored with their NUL.
void RegistryWriteBinary(os::HKEY root, const std::u16string& key, const std::u16string& name, const void* data,
                         std::size_t size, RegView view = RegView::Current());
void RegistryWriteString(os::HKEY root, const std::u16string& key, const std::u16string& name,
                         const std::u16string& text, RegView view = RegView::Current());
void RegistryWriteExpandString(os::HKEY root, const std::u16string& key, const std::u16string& name,
                               const std::u16string& text, RegView view = RegView::Current());
void RegistryWriteInteger(os::HKEY root, const std::u16string& key, const std::u16string& name,
                          std::int32_t value, RegView view = RegView::Current());

// Writes REG_SZ (up to the first NUL of `text`) and, unlike the writes
// above, treats a key that does not open as a refused write: throws
// "Failed to set data for '<name>'".
void RegistryPutString(os::HKEY root, const std::u16string& key, const std::u16string& name, const char16_t* text,
                       RegView view = RegView::Current());

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
// key with READ_CONTROL | WRITE_DAC in `view`; never throws.
bool UnlockRegistryKey(os::HKEY root, const std::u16string& key, bool unlock, SavedDescriptor& saved,
                       RegView view = RegView::Current());

// A key opened up for one repair: the saved security goes back when the
// scope ends, whichever way it ends.
class TKeyUnlock {
public:
    TKeyUnlock(os::HKEY root, std::u16string key, RegView view);
    ~TKeyUnlock();
    TKeyUnlock(const TKeyUnlock&) = delete;
    TKeyUnlock& operator=(const TKeyUnlock&) = delete;
    // Whether the key was opened up.
    explicit operator bool() const { return static_cast<bool>(saved_); }

private:
    os::HKEY root_;
    std::u16string key_;
    RegView view_;
    SavedDescriptor saved_;
};
// Gives root\key and every key below it a NULL DACL, for a tree that is
// deleted next: the old security is not kept. Every key is opened with
// REG_OPTION_OPEN_LINK, so a registry link is opened up as the link key
// itself and its target, the keys below it and their security stay as they
// are. A key whose subkeys cannot be listed is passed over, or, with
// `stopAtUnreadable`, ends the walk: its status is returned and its path
// stored in `unreadable`.
os::LSTATUS UnlockKeyTree(os::HKEY root, const std::u16string& key, RegView view, bool stopAtUnreadable,
                          std::u16string* unreadable = nullptr);
// True when the key opens with READ_CONTROL | WRITE_DAC | extraAccess.
bool RegistryCanOpenKey(os::HKEY root, const std::u16string& key, os::REGSAM extraAccess);

}  // namespace platform
