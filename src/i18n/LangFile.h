// Language files (".lng"): text lines with an optional parameter part,
// a "$CONSTANTS" section and one section per component whose lines map a
// property identifier to its translated text.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "i18n/LangConstants.h"

namespace i18n {

struct TLangPropTranslation {
    int iID = 0;
    std::u16string wsText;
    unsigned TranStates = 0;
};

struct TLangCompTranslation {
    std::u16string FComponentName;
    std::vector<TLangPropTranslation> Items;

    const TLangPropTranslation* Find(int id) const;
};

class TLangCompTranslations {
public:
    // Parameters before the first section; names compare without case.
    std::vector<std::pair<std::u16string, std::u16string>> FParams;
    TLangConstants FConstants;
    std::vector<TLangCompTranslation> FSections;

    std::optional<std::u16string> Param(std::u16string_view name) const;
    const TLangCompTranslation* FindSection(std::u16string_view name) const;
    // The "LANGID" parameter: decimal, 0 when absent or not a number, taken
    // modulo 65536.
    os::LANGID LangID() const;
};

// Language files larger than this are refused: no real translation comes
// near it, and reading one whole must not exhaust memory.
inline constexpr std::size_t kMaxLangFileBytes = 16u << 20;

// "\\" -> backslash, "\n" -> CR LF, "\t" -> tab, "\" + two decimal digits ->
// that character code; any other backslash stays as written.
std::u16string UnescapeLangText(std::u16string_view s);

// File bytes to text: a byte-order mark selects UTF-8 or UTF-16 (either
// byte order), anything else is the system ANSI code page.
std::u16string DecodeLangFileBytes(std::span<const std::uint8_t> bytes);

// Parses decoded text. paramsOnly stops at the first line beginning with
// "[". An error in a line raises ELangError
// "Loading translations failed.\r\nLine %d: %s" (zero-based line index).
void ParseLangText(std::u16string_view text, bool paramsOnly, TLangCompTranslations& out);

// Reads a whole file through the OS seam; ELangError when it cannot be
// opened or read or is larger than kMaxLangFileBytes.
std::vector<std::uint8_t> ReadLangFileBytes(const std::u16string& fileName);

std::unique_ptr<TLangCompTranslations> LoadLangFile(const std::u16string& fileName, bool paramsOnly);

}  // namespace i18n
