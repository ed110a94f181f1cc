// The journal's INI text in memory: sections and keys in file order, names
// matched without regard to case, and the exact layout the journal writes
// ("[name]", "key=value" lines, an empty line after each section, CR LF).
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/TextCodec.h"

namespace backups {

// The journal is written back in the encoding it was read in.
using TIniEncoding = text::TextEncoding;

// A name or value that would break the line layout (it holds CR or LF):
// written as is it could forge keys or whole entries.
class EIniTextError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

class TIniDocument {
public:
    struct TKey {
        std::u16string Name;
        std::u16string Value;
    };
    struct TSection {
        std::u16string Name;
        std::vector<TKey> Keys;
    };

    // Reads file bytes: a byte-order mark chooses the encoding, otherwise the
    // ANSI code page. Never throws on malformed content.
    static TIniDocument Parse(std::span<const std::uint8_t> bytes);
    // The file bytes. A document in the ANSI code page turns into UTF-8 with
    // a byte-order mark for good once some text does not fit the code page.
    std::vector<std::uint8_t> Serialize();

    // The value as stored, or null when the section or key is missing. The
    // first match wins. Values read from a file are stripped already.
    const std::u16string* Find(std::u16string_view section, std::u16string_view key) const;
    // Overwrites an existing key in place or appends it; a missing section is
    // appended at the end. Throws EIniTextError for CR or LF in any part.
    void Write(std::u16string_view section, std::u16string_view key, std::u16string_view value);
    // Removes the first section of that name with its keys.
    bool EraseSection(std::u16string_view section);
    std::vector<std::u16string> SectionNames() const;

    TIniEncoding Encoding() const { return encoding_; }
    const std::vector<TSection>& Sections() const { return sections_; }

private:
    TSection* FindSection(std::u16string_view name);
    const TSection* FindSection(std::u16string_view name) const;
    bool FitsAnsi() const;

    std::vector<TSection> sections_;
    TIniEncoding encoding_ = TIniEncoding::Ansi;
};

// Strips leading and trailing blanks and control characters, as the reader
// does with every line, name and value.
std::u16string_view StripIniText(std::u16string_view s);

}  // namespace backups
