// Text files: bytes to UTF-16 by their byte-order mark or, without one, by
// an ANSI code page; and UTF-16 back to bytes.
#pragma once

#include <string>
#include <string_view>

#include "platform/os/WinApi.h"

namespace text {

enum class TextEncoding { Ansi, Utf8Bom, Utf16LeBom, Utf16BeBom };

// The encoding a file's first bytes announce; Ansi when they announce none.
TextEncoding DetectEncoding(std::string_view bytes);
// Length of the byte-order mark of `encoding` (0 for Ansi).
std::size_t BomLength(TextEncoding encoding);

// Whole UTF-16 units of `bytes` in the given byte order; a last odd byte is
// not part of any unit and is left out.
std::u16string DecodeUtf16(std::string_view bytes, bool bigEndian);
// Bytes in `codePage` through the system conversion; each byte becomes "?"
// when the system cannot convert them at all.
std::u16string DecodeAnsi(std::string_view bytes, os::UINT codePage);

struct DecodedText {
    std::u16string text;
    TextEncoding encoding = TextEncoding::Ansi;
    // UTF-16 bytes after the mark were an odd number (the last one is lost).
    bool oddByteCount = false;
};
// A whole text file: its byte-order mark selects UTF-8 or UTF-16 (either
// byte order) and is not part of the text; without one the bytes are ANSI
// in `codePage`.
DecodedText DecodeText(std::string_view bytes, os::UINT codePage = os::CP_ACP);

// UTF-16 as bytes in the given byte order, led by its byte-order mark when
// `withBom`.
std::string EncodeUtf16(std::u16string_view text, bool bigEndian = false, bool withBom = true);

}  // namespace text
