#include "i18n/LangConstants.h"

#include <algorithm>

#include "i18n/CodePage.h"
#include "i18n/Format.h"
#include "i18n/LangError.h"
#include "i18n/StreamReader.h"
#include "platform/TextCodec.h"

namespace i18n {

namespace {

char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool IsIdentStart(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_'; }

// 16-bit byte count, then bytes in an ANSI code page.
std::u16string ReadAnsi(StreamReader& in, os::UINT codePage) { return text::DecodeAnsi(in.Bytes(in.Word()), codePage); }

}  // namespace

bool IsValidIdent(std::u16string_view name) {
    if (name.empty() || !IsIdentStart(name[0])) return false;
    return std::all_of(name.begin() + 1, name.end(),
                       [](char16_t c) { return IsIdentStart(c) || (c >= u'0' && c <= u'9'); });
}

int CompareNameNoCase(std::u16string_view a, std::u16string_view b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        char16_t x = FoldAscii(a[i]), y = FoldAscii(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

TLangConstants::TLangConstants(TGetLangIDCallback getLangId) : getLangId_(std::move(getLangId)) {}

std::vector<TLangConstant>::iterator TLangConstants::LowerBound(std::u16string_view name) {
    return std::lower_bound(items_.begin(), items_.end(), name, [](const TLangConstant& c, std::u16string_view n) {
        return CompareNameNoCase(c.wsName, n) < 0;
    });
}

void TLangConstants::Add(std::u16string_view name, std::u16string_view value) {
    if (!IsValidIdent(name)) throw ELangError(Format(u"Invalid constant name (\"%s\")", {name}));
    auto it = LowerBound(name);
    if (it != items_.end() && CompareNameNoCase(it->wsName, name) == 0)
        throw ELangError(Format(u"Duplicate constant name (\"%s\")", {name}));
    items_.insert(it, TLangConstant{std::u16string(name), std::u16string(value), std::u16string(value), 0});
}

TLangConstant* TLangConstants::Find(std::u16string_view name) {
    auto it = LowerBound(name);
    return (it != items_.end() && CompareNameNoCase(it->wsName, name) == 0) ? &*it : nullptr;
}

const TLangConstant* TLangConstants::Find(std::u16string_view name) const {
    return const_cast<TLangConstants*>(this)->Find(name);
}

void TLangConstants::LoadFromStream(std::span<const std::uint8_t> data) {
    StreamReader in(data);
    int version = in.Byte();
    if (version > kLangConstsStreamVersion)
        throw ELangError(Format(u"Stream version (%d) is greater than the current one (%d)",
                                {version, kLangConstsStreamVersion}));
    // Versions 0 and 1 had no version byte: that byte was the flag itself.
    bool autoSave = version < 2 ? version != 0 : in.Byte() != 0;
    std::int32_t count = in.Int32();

    os::UINT oldTextCodePage = 0;
    if (version < 2) oldTextCodePage = LanguageCodePage(getLangId_ ? getLangId_() : os::LANGID{1033});

    TLangConstants loaded(getLangId_);
    for (std::int32_t i = 0; i < count; ++i) {
        std::u16string name = version == 3 ? in.Wide() : ReadAnsi(in, os::CP_ACP);
        std::u16string text = version >= 2 ? in.Wide() : ReadAnsi(in, oldTextCodePage);
        loaded.Add(name, text);
    }
    items_ = std::move(loaded.items_);
    autoSave_ = autoSave;
}

}  // namespace i18n
