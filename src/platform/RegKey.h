// The one place above the OS seam that talks to the registry: an owning key
// with the operations the program needs, each answering the system's status,
// and the tree walks that must never follow a registry link.
//
// Every open takes a view (the bits OR-ed into the access mask) that
// defaults to the process-wide one of the moment, and ignores one leading
// "\" of the path.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Handle.h"
#include "platform/os/WinApi.h"

namespace platform {

// Extra access bits for every operation left to the current view: 0, or
// KEY_WOW64_64KEY (0x100) while the scan manager runs its 64-bit pass.
// Written only by the scan worker between passes; each operation reads it
// once.
extern std::atomic<std::int32_t> RegistryViewFlag;

// The view bits an operation ORs into its mask.
struct RegView {
    os::REGSAM bits = 0;

    constexpr RegView() = default;
    constexpr explicit RegView(os::REGSAM viewBits) : bits(viewBits) {}
    // The view of the scan pass running now.
    static RegView Current() { return RegView(static_cast<os::REGSAM>(RegistryViewFlag.load())); }
    static constexpr RegView Default() { return RegView(0); }
    static constexpr RegView Wow64_64() { return RegView(os::KEY_WOW64_64KEY); }

    friend constexpr bool operator==(RegView a, RegView b) { return a.bits == b.bits; }
};

// The error the registry code raises. Message() holds the exact text (with
// the key path or value name as the registry spells it); what() is its
// UTF-8 form; Status() the system's code when one caused it (0 otherwise).
class ERegistryError : public std::runtime_error {
public:
    explicit ERegistryError(std::u16string message, os::LSTATUS status = 0);
    const std::u16string& Message() const { return message_; }
    os::LSTATUS Status() const { return status_; }

private:
    std::u16string message_;
    os::LSTATUS status_;
};

using StringList = std::vector<std::u16string>;

// One leading "\" names the same key as the path without it. A pointer into
// `key` rather than a copy: every registry read of a scan opens a key.
inline const char16_t* RelativeKeyPath(const std::u16string& key) {
    return key.c_str() + (!key.empty() && key.front() == u'\\' ? 1 : 0);
}

class RegKey {
public:
    RegKey() = default;

    // `parent` is a root or an open key; `options` may ask for
    // REG_OPTION_OPEN_LINK. On failure the key is left closed.
    os::LSTATUS Open(os::HKEY parent, const std::u16string& path, os::REGSAM access, RegView view = RegView::Current(),
                     os::DWORD options = 0);
    // Creates the key and missing parents, or opens an existing one.
    os::LSTATUS Create(os::HKEY parent, const std::u16string& path, os::REGSAM access,
                       RegView view = RegView::Current(), os::DWORD options = os::REG_OPTION_NON_VOLATILE);

    os::HKEY get() const { return key_.get(); }
    explicit operator bool() const { return static_cast<bool>(key_); }
    void Close() { key_.reset(); }

    // Type and size of a value without its data.
    os::LSTATUS QueryValueInfo(const std::u16string& name, os::DWORD* type, os::DWORD* bytes) const;
    // Type and exact bytes of a value. The value may grow between asking for
    // its size and reading it: then it is asked again, a few times.
    os::LSTATUS QueryValue(const std::u16string& name, os::DWORD& type, std::vector<std::uint8_t>& data) const;
    // Stores exactly `size` bytes. For a string whose last character is not
    // NUL the system counts one character more when the one after the buffer
    // happens to be NUL (it takes it for a forgotten terminator), so the
    // bytes are followed by a non-NUL character here.
    os::LSTATUS SetValue(const std::u16string& name, os::DWORD type, const void* data, std::size_t size) const;
    os::LSTATUS DeleteValue(const std::u16string& name) const;

    // Direct subkeys / value names in enumeration order (a set default value
    // under the empty name). `names` is replaced only on success.
    os::LSTATUS SubKeyNames(StringList& names) const;
    os::LSTATUS ValueNames(StringList& names) const;

    // The key and its subkeys as a hive file of the system (which must not
    // exist yet), and the reverse; both need the backup or restore privilege.
    os::LSTATUS SaveTo(const std::u16string& file) const;
    os::LSTATUS RestoreFrom(const std::u16string& file, os::DWORD flags = 0) const;

    // Deletes the key this handle names, itself and not a link's target:
    // a name lookup from the parent would follow a link.
    os::LSTATUS DeleteSelf() const;

private:
    KeyHandle key_;
};

// How a tree delete treats the children of a key.
enum class DeleteOrder {
    // In enumeration order; a child that stays does not keep the others,
    // and one that does not open is left for its parent's deletion to fail.
    EveryChild,
    // From the last child down, stopping at the first one that stays.
    LastFirstUntilOneStays,
};

// Deletes root\path and everything below it, opened with `access` in
// `view`. Every key on the way is opened with REG_OPTION_OPEN_LINK, so a
// registry link is removed as the link key itself (it has no subkeys) and
// the tree behind its target is never walked. ERROR_SUCCESS when the key is
// gone; otherwise the first failure's status, and when that was a key that
// did not open, its path (below `root`) in `unopened`. An empty path (a
// whole root) is refused with ERROR_INVALID_PARAMETER.
os::LSTATUS DeleteKeyTree(os::HKEY root, const std::u16string& path, os::REGSAM access, DeleteOrder order,
                          RegView view = RegView::Current(), std::u16string* unopened = nullptr);

}  // namespace platform
