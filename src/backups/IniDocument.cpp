#include "backups/IniDocument.h"

#include <algorithm>

#include "platform/Text.h"
#include "platform/TextCodec.h"
#include "platform/os/WinApi.h"

namespace backups {
namespace {

bool IsBlankOrControl(char16_t c) { return c <= 0x20; }

bool HasLineBreak(std::u16string_view s) {
    return s.find_first_of(u"\r\n") != std::u16string_view::npos;
}

// Empty result with ok = false when a character has no exact form in the
// code page (best-fit substitutes would silently rename keys).
std::string EncodeAnsi(std::u16string_view text, bool& ok) {
    ok = true;
    if (text.empty()) return {};
    int wideChars = static_cast<int>(text.size());
    os::BOOL usedDefault = os::FALSE;
    int bytes = os::WideCharToMultiByte(os::CP_ACP, os::WC_NO_BEST_FIT_CHARS, text.data(), wideChars, nullptr, 0,
                                        nullptr, &usedDefault);
    if (bytes <= 0 || usedDefault) {
        ok = false;
        return {};
    }
    std::string out(static_cast<std::size_t>(bytes), '\0');
    bytes = os::WideCharToMultiByte(os::CP_ACP, os::WC_NO_BEST_FIT_CHARS, text.data(), wideChars, out.data(), bytes,
                                    nullptr, &usedDefault);
    if (bytes <= 0 || usedDefault) {
        ok = false;
        return {};
    }
    out.resize(static_cast<std::size_t>(bytes));
    auto back = text::DecodeAnsi(out, os::CP_ACP);
    ok = back == text;
    return ok ? out : std::string{};
}

}  // namespace

std::u16string_view StripIniText(std::u16string_view s) {
    std::size_t begin = 0, end = s.size();
    while (begin < end && IsBlankOrControl(s[begin])) ++begin;
    while (end > begin && IsBlankOrControl(s[end - 1])) --end;
    return s.substr(begin, end - begin);
}

TIniDocument TIniDocument::Parse(std::span<const std::uint8_t> bytes) {
    TIniDocument doc;
    auto decoded = text::DecodeText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    doc.encoding_ = decoded.encoding;
    const std::u16string& content = decoded.text;

    TSection* current = nullptr;
    std::size_t pos = 0;
    while (pos <= content.size()) {
        auto end = content.find_first_of(u"\r\n", pos);
        if (end == std::u16string::npos) end = content.size();
        auto line = StripIniText(std::u16string_view(content).substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == u';') continue;
        if (line.front() == u'[' && line.back() == u']' && line.size() >= 2) {
            doc.sections_.push_back({std::u16string(StripIniText(line.substr(1, line.size() - 2))), {}});
            current = &doc.sections_.back();
            continue;
        }
        if (!current) continue;
        auto eq = line.find(u'=');
        if (eq == std::u16string_view::npos) continue;
        current->Keys.push_back(
            {std::u16string(StripIniText(line.substr(0, eq))), std::u16string(StripIniText(line.substr(eq + 1)))});
    }
    return doc;
}

bool TIniDocument::FitsAnsi() const {
    bool ok = true;
    for (const auto& section : sections_) {
        EncodeAnsi(section.Name, ok);
        if (!ok) return false;
        for (const auto& key : section.Keys) {
            EncodeAnsi(key.Name, ok);
            if (!ok) return false;
            EncodeAnsi(key.Value, ok);
            if (!ok) return false;
        }
    }
    return true;
}

std::vector<std::uint8_t> TIniDocument::Serialize() {
    if (encoding_ == TIniEncoding::Ansi && !FitsAnsi()) encoding_ = TIniEncoding::Utf8Bom;

    std::u16string content;
    for (const auto& section : sections_) {
        content += u"[" + section.Name + u"]\r\n";
        for (const auto& key : section.Keys) content += key.Name + u"=" + key.Value + u"\r\n";
        content += u"\r\n";
    }

    std::vector<std::uint8_t> out;
    switch (encoding_) {
        case TIniEncoding::Ansi: {
            bool ok = true;
            auto bytes = EncodeAnsi(content, ok);
            out.assign(bytes.begin(), bytes.end());
            break;
        }
        case TIniEncoding::Utf8Bom: {
            out = {0xEF, 0xBB, 0xBF};
            auto bytes = text::ToUtf8(content);
            out.insert(out.end(), bytes.begin(), bytes.end());
            break;
        }
        case TIniEncoding::Utf16LeBom:
        case TIniEncoding::Utf16BeBom: {
            auto bytes = text::EncodeUtf16(content, encoding_ == TIniEncoding::Utf16BeBom);
            out.assign(bytes.begin(), bytes.end());
            break;
        }
    }
    return out;
}

TIniDocument::TSection* TIniDocument::FindSection(std::u16string_view name) {
    auto it = std::find_if(sections_.begin(), sections_.end(),
                           [&](const TSection& s) { return text::EqualNoCase(s.Name, name); });
    return it == sections_.end() ? nullptr : &*it;
}

const TIniDocument::TSection* TIniDocument::FindSection(std::u16string_view name) const {
    return const_cast<TIniDocument*>(this)->FindSection(name);
}

const std::u16string* TIniDocument::Find(std::u16string_view section, std::u16string_view key) const {
    const auto* s = FindSection(section);
    if (!s) return nullptr;
    for (const auto& k : s->Keys)
        if (text::EqualNoCase(k.Name, key)) return &k.Value;
    return nullptr;
}

void TIniDocument::Write(std::u16string_view section, std::u16string_view key, std::u16string_view value) {
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value))
        throw EIniTextError("a journal text must not hold a line break");
    auto* s = FindSection(section);
    if (!s) {
        sections_.push_back({std::u16string(section), {}});
        s = &sections_.back();
    }
    for (auto& k : s->Keys) {
        if (text::EqualNoCase(k.Name, key)) {
            k.Value = value;
            return;
        }
    }
    s->Keys.push_back({std::u16string(key), std::u16string(value)});
}

bool TIniDocument::EraseSection(std::u16string_view section) {
    auto it = std::find_if(sections_.begin(), sections_.end(),
                           [&](const TSection& s) { return text::EqualNoCase(s.Name, section); });
    if (it == sections_.end()) return false;
    sections_.erase(it);
    return true;
}

std::vector<std::u16string> TIniDocument::SectionNames() const {
    std::vector<std::u16string> names;
    names.reserve(sections_.size());
    for (const auto& s : sections_) names.push_back(s.Name);
    return names;
}

}  // namespace backups
