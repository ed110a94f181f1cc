// The table of translatable constants: name -> current and built-in text,
// kept sorted by name (ASCII letters compared without case) for binary
// search, and its binary stream format (versions 0 to 3).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os/WinApi.h"

namespace i18n {

enum TLangTranState : unsigned { ltsUntranslated = 1, ltsAutotranslated = 2 };

struct TLangConstant {
    std::u16string wsName;
    std::u16string wsValue;     // current text
    std::u16string wsDefValue;  // built-in text
    unsigned TranStates = 0;
};

// A letter or underscore, then letters, digits or underscores (ASCII).
bool IsValidIdent(std::u16string_view name);
// Compares with A-Z folded onto a-z only: <0, 0, >0.
int CompareNameNoCase(std::u16string_view a, std::u16string_view b);

class TLangConstants {
public:
    // Asked for the current language when an old stream stores its texts
    // in that language's ANSI code page.
    using TGetLangIDCallback = std::function<os::LANGID()>;

    explicit TLangConstants(TGetLangIDCallback getLangId = {});

    // Inserts at the sorted place with current and built-in text both set;
    // ELangError for a bad or duplicate name.
    void Add(std::u16string_view name, std::u16string_view value);
    const TLangConstant* Find(std::u16string_view name) const;
    TLangConstant* Find(std::u16string_view name);
    void Clear() { items_.clear(); }

    std::size_t Count() const { return items_.size(); }
    const TLangConstant& operator[](std::size_t i) const { return items_[i]; }
    std::vector<TLangConstant>::iterator begin() { return items_.begin(); }
    std::vector<TLangConstant>::iterator end() { return items_.end(); }
    std::vector<TLangConstant>::const_iterator begin() const { return items_.begin(); }
    std::vector<TLangConstant>::const_iterator end() const { return items_.end(); }

    bool AutoSaveLangSource() const { return autoSave_; }

    // Replaces the table with the stream's content. On any error (ELangError:
    // newer version, truncated data, bad or duplicate name) the table is left
    // as it was.
    void LoadFromStream(std::span<const std::uint8_t> data);

private:
    std::vector<TLangConstant>::iterator LowerBound(std::u16string_view name);

    TGetLangIDCallback getLangId_;
    std::vector<TLangConstant> items_;
    bool autoSave_ = false;
};

inline constexpr int kLangConstsStreamVersion = 3;

}  // namespace i18n
