// ".reg" text: REGEDIT4 and "Windows Registry Editor Version 5.00", read into
// a neutral model and written from one. The emulated registry loads and
// saves through it; tests keep their fixtures as readable .reg files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os/WinApi.h"

namespace emul {

// Bad input: the message names the line ("line 12: ...").
class RegFormatError : public std::runtime_error {
public:
    RegFormatError(std::size_t line, const std::string& what);
    std::size_t line() const { return line_; }

private:
    std::size_t line_;
};

namespace regtext {

struct Value {
    std::u16string name;  // empty = default value ("@")
    os::DWORD type = os::REG_SZ;
    std::vector<std::uint8_t> data;  // exactly the bytes the registry holds
    bool remove = false;             // "name"=-

    bool operator==(const Value&) const = default;
};

struct Key {
    std::u16string path;  // full path starting with the root name, e.g. HKEY_LOCAL_MACHINE\SOFTWARE\X
    bool remove = false;  // [-path]
    std::vector<Value> values;
    std::size_t line = 0;  // where the block starts, for messages

    // Content only: where a block stood in its file does not matter.
    bool operator==(const Key& o) const { return path == o.path && remove == o.remove && values == o.values; }
};

struct Document {
    bool regedit4 = false;
    std::vector<Key> keys;
};

// Text already decoded to UTF-16. Throws RegFormatError. Root names come back
// in full ("HKEY_CURRENT_USER\..."), strings as UTF-16 with their NUL. In a
// REGEDIT4 document hex(1), hex(2) and hex(7) data holds ANSI bytes; they are
// decoded with ansiCodePage and stored as UTF-16, as the importer does.
Document Parse(std::u16string_view text, os::UINT ansiCodePage = 1252);
// File bytes: UTF-16LE with BOM, UTF-8 with BOM, or ANSI in the given code
// page (1252 by default). Throws RegFormatError.
Document ParseBytes(std::string_view bytes, os::UINT ansiCodePage = 1252);

// Hard limit on one value's data; larger values are reported as bad input.
constexpr std::size_t kMaxValueBytes = std::size_t{16} << 20;

// Version 5.00 text, keys in the order given, CR LF line ends. Throws
// std::invalid_argument for what the format cannot express (an unknown root,
// an empty path component, CR, LF or NUL in a key path, NUL in a value name,
// values under a key marked for removal); the registry never holds those.
std::u16string Write(const std::vector<Key>& keys);
// Write() as UTF-16LE with BOM, the form regedit exports.
std::string WriteBytes(const std::vector<Key>& keys);

}  // namespace regtext
}  // namespace emul
