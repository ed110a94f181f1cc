#include "i18n/LangFile.h"

#include <limits>

#include "i18n/CodePage.h"
#include "i18n/Format.h"
#include "i18n/LangError.h"
#include "platform/Handle.h"
#include "platform/Text.h"

namespace i18n {

namespace {

bool IsBlank(char16_t c) { return c <= 32; }

std::u16string_view Trim(std::u16string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Decimal with an optional sign, fitting 32 bits; nothing else is a number.
std::optional<std::int32_t> ParseInt(std::u16string_view s) {
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == u'-' || s[i] == u'+')) negative = s[i++] == u'-';
    if (i >= s.size()) return std::nullopt;
    std::int64_t v = 0;
    for (; i < s.size(); ++i) {
        if (!IsDigit(s[i])) return std::nullopt;
        v = v * 10 + (s[i] - u'0');
        if (v > static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1) return std::nullopt;
    }
    if (negative) v = -v;
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(v);
}

[[noreturn]] void ReadFailed(const std::u16string& fileName, os::DWORD error) {
    throw ELangError(Format(u"Cannot read file \"%s\" (error %d)", {fileName, static_cast<std::int64_t>(error)}));
}

}  // namespace

const TLangPropTranslation* TLangCompTranslation::Find(int id) const {
    for (const auto& item : Items)
        if (item.iID == id) return &item;
    return nullptr;
}

std::optional<std::u16string> TLangCompTranslations::Param(std::u16string_view name) const {
    for (const auto& [n, v] : FParams)
        if (text::EqualNoCase(n, name)) return v;
    return std::nullopt;
}

const TLangCompTranslation* TLangCompTranslations::FindSection(std::u16string_view name) const {
    for (const auto& section : FSections)
        if (text::EqualNoCase(section.FComponentName, name)) return &section;
    return nullptr;
}

os::LANGID TLangCompTranslations::LangID() const {
    auto value = Param(u"LANGID");
    if (!value) return 0;
    auto number = ParseInt(*value);
    return number ? static_cast<os::LANGID>(static_cast<std::uint32_t>(*number) & 0xFFFF) : 0;
}

std::u16string UnescapeLangText(std::u16string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char16_t c = s[i];
        if (c != u'\\' || i + 1 >= s.size()) {
            out.push_back(c);
            continue;
        }
        char16_t n = s[i + 1];
        if (n == u'\\') {
            out.push_back(u'\\');
            ++i;
        } else if (n == u'n') {
            out += u"\r\n";
            ++i;
        } else if (n == u't') {
            out.push_back(u'\t');
            ++i;
        } else if (IsDigit(n) && i + 2 < s.size() && IsDigit(s[i + 2])) {
            out.push_back(static_cast<char16_t>((n - u'0') * 10 + (s[i + 2] - u'0')));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::u16string DecodeLangFileBytes(std::span<const std::uint8_t> bytes) {
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        return text::FromUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()) + 3, bytes.size() - 3));
    if (bytes.size() >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
        bool little = bytes[0] == 0xFF;
        std::u16string out;
        out.reserve((bytes.size() - 2) / 2);
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            unsigned lo = little ? bytes[i] : bytes[i + 1];
            unsigned hi = little ? bytes[i + 1] : bytes[i];
            out.push_back(static_cast<char16_t>(lo | (hi << 8)));
        }
        return out;
    }
    return DecodeAnsi(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), os::CP_ACP);
}

void ParseLangText(std::u16string_view text, bool paramsOnly, TLangCompTranslations& out) {
    enum class Section { Params, Constants, Component, None };
    Section section = Section::Params;
    TLangCompTranslation* component = nullptr;

    std::size_t pos = 0;
    for (int lineIndex = 0; pos < text.size(); ++lineIndex) {
        // Lines end at CR LF, LF or a lone CR.
        std::size_t end = text.find_first_of(u"\r\n", pos);
        if (end == std::u16string_view::npos) end = text.size();
        std::u16string_view line = Trim(text.substr(pos, end - pos));
        pos = end;
        if (pos < text.size()) pos += (text[pos] == u'\r' && pos + 1 < text.size() && text[pos + 1] == u'\n') ? 2 : 1;

        if (line.empty() || line[0] == u';') continue;
        try {
            if (line[0] == u'[') {
                if (paramsOnly) return;
                if (line.size() > 2 && line.back() == u']') {
                    std::u16string_view name = Trim(line.substr(1, line.size() - 2));
                    if (text::EqualNoCase(name, u"$CONSTANTS")) {
                        section = Section::Constants;
                    } else {
                        section = Section::Component;
                        component = nullptr;
                        for (auto& existing : out.FSections)
                            if (text::EqualNoCase(existing.FComponentName, name)) component = &existing;
                        if (!component) {
                            out.FSections.push_back(TLangCompTranslation{std::u16string(name), {}});
                            component = &out.FSections.back();
                        }
                    }
                }
                continue;
            }
            std::size_t eq = line.find(u'=');
            if (eq == std::u16string_view::npos) continue;
            std::u16string_view name = Trim(line.substr(0, eq));
            std::u16string_view value = Trim(line.substr(eq + 1));
            if (name.empty()) continue;

            switch (section) {
            case Section::Params: {
                auto it = out.FParams.begin();
                while (it != out.FParams.end() && !text::EqualNoCase(it->first, name)) ++it;
                if (value.empty()) {
                    if (it != out.FParams.end()) out.FParams.erase(it);
                } else if (it != out.FParams.end()) {
                    it->second = std::u16string(value);
                } else {
                    out.FParams.emplace_back(std::u16string(name), std::u16string(value));
                }
                break;
            }
            case Section::Constants:
                out.FConstants.Add(name, UnescapeLangText(value));
                break;
            case Section::Component: {
                auto id = ParseInt(name);
                if (!id) throw ELangError(u"'" + std::u16string(name) + u"' is not a valid integer value");
                if (*id <= 0) break;
                std::u16string translated = UnescapeLangText(value);
                bool replaced = false;
                for (auto& item : component->Items)
                    if (item.iID == *id) item.wsText = translated, replaced = true;
                if (!replaced) component->Items.push_back(TLangPropTranslation{*id, std::move(translated), 0});
                break;
            }
            case Section::None:
                break;
            }
        } catch (const ELangError& e) {
            throw ELangError(Format(u"Loading translations failed.\r\nLine %d: %s", {lineIndex, e.Message()}));
        }
    }
}

std::vector<std::uint8_t> ReadLangFileBytes(const std::u16string& fileName) {
    platform::FileHandle file(os::CreateFileW(fileName.c_str(), os::GENERIC_READ, os::FILE_SHARE_READ, nullptr,
                              os::OPEN_EXISTING, os::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        throw ELangError(Format(u"Cannot open file \"%s\" (error %d)",
                                {fileName, static_cast<std::int64_t>(os::GetLastError())}));
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[16 * 1024];
    for (;;) {
        os::DWORD got = 0;
        if (!os::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr)) ReadFailed(fileName, os::GetLastError());
        if (got == 0) break;
        if (bytes.size() + got > kMaxLangFileBytes)
            throw ELangError(Format(u"Language file \"%s\" is too large", {fileName}));
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return bytes;
}

std::unique_ptr<TLangCompTranslations> LoadLangFile(const std::u16string& fileName, bool paramsOnly) {
    auto bytes = ReadLangFileBytes(fileName);
    auto result = std::make_unique<TLangCompTranslations>();
    ParseLangText(DecodeLangFileBytes(bytes), paramsOnly, *result);
    return result;
}

}  // namespace i18n
