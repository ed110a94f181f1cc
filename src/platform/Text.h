// UTF-16 text helpers shared by both builds. System text is std::u16string;
// these convert only for the host side (native arguments, test output, files
// the program itself chooses to write as UTF-8).
#pragma once

#include <string>
#include <string_view>

namespace text {

// UTF-8 <-> UTF-16. Unpaired surrogates survive the round trip (encoded as
// three-byte sequences), so no registry name is ever altered on the way.
std::u16string FromUtf8(std::string_view utf8);
std::string ToUtf8(std::u16string_view utf16);

// Upper-cases the way the registry compares names: every BMP letter through
// its simple upper-case mapping, everything else unchanged.
char16_t UpCase(char16_t c);
std::u16string UpCase(std::u16string_view s);
// ASCII-only lower-casing (A-Z), as the settings checks need.
std::u16string AsciiLower(std::u16string_view s);

// Case-insensitive comparison by UpCase, unit by unit: <0, 0, >0.
int CompareNoCase(std::u16string_view a, std::u16string_view b);
inline bool EqualNoCase(std::u16string_view a, std::u16string_view b) { return CompareNoCase(a, b) == 0; }

// Whole-unit helpers for literals in tests and messages.
std::u16string FromAscii(std::string_view ascii);

}  // namespace text
