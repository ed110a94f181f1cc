// ANSI code pages: 1252 from its own tables (with the best-fit fallbacks
// Windows applies when converting from UTF-16), 932 through the host's
// iconv, and UTF-8.
#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <string>

#include "platform/Text.h"
#include "platform/emul/SystemInternal.h"

namespace emul {
namespace {

constexpr os::UINT kOemCodePage = 1;
constexpr os::DWORD kNoUnicodeTranslation = 1113;
constexpr os::DWORD kWcErrInvalidChars = 0x80;

std::atomic<os::UINT> g_codePage{1252};

// 0x80..0x9F of 1252; the five holes map to the same C1 control, as
// Windows round-trips them.
constexpr char16_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Base letters of Latin Extended-A (U+0100..U+017F); '?' where there is
// none. Characters 1252 holds itself never reach this table.
constexpr char kLatinExtendedA[] =
    "AaAaAaCcCcCcCcDd"
    "DdEeEeEeEeEeGgGg"
    "GgGgHhHhIiIiIiIi"
    "Ii??JjKkkLlLlLlL"
    "lLlNnNnNnn??OoOo"
    "Oo??RrRrRrSsSsSs"
    "??TtTtTtUuUuUuUu"
    "UuUuWwYy?ZzZz???";
// U+01CD..U+01DC: pinyin vowels with carons and the u-umlaut family.
constexpr char kPinyin[] = "AaIiOoUuUuUuUuUu";

// Best fit for 1252, 0 when there is none.
char BestFit1252(char16_t c) {
    if (c >= 0x100 && c <= 0x17F) return kLatinExtendedA[c - 0x100] == '?' ? 0 : kLatinExtendedA[c - 0x100];
    if (c >= 0x1CD && c <= 0x1DC) return kPinyin[c - 0x1CD];
    if (c >= 0xFF01 && c <= 0xFF5E) return static_cast<char>(c - 0xFF01 + 0x21);  // fullwidth ASCII
    if (c >= 0x2000 && c <= 0x2006) return ' ';
    if (c >= 0x2010 && c <= 0x2011) return '-';
    if (c == 0x2032) return '\'';
    if (c == 0x2033) return '"';
    if (c == 0x2215) return '/';
    return 0;
}

// The 1252 byte for c, or -1.
int To1252(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
    for (int i = 0; i < 32; ++i)
        if (k1252High[i] == c) return 0x80 + i;
    return -1;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
    ~Iconv() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) ::iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    // Converts one character; false when the target cannot hold it.
    bool Convert(const char* in, std::size_t inBytes, std::string& out) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) return false;
        std::lock_guard lock(mutex_);
        ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char buffer[8];
        auto* src = const_cast<char*>(in);
        char* dst = buffer;
        std::size_t outLeft = sizeof(buffer);
        if (::iconv(cd_, &src, &inBytes, &dst, &outLeft) == static_cast<std::size_t>(-1) || inBytes != 0) return false;
        out.assign(buffer, dst);
        return true;
    }

private:
    iconv_t cd_;
    std::mutex mutex_;
};

Iconv& ToCp932() {
    static Iconv cd("CP932", "UTF-16LE");
    return cd;
}
Iconv& FromCp932() {
    static Iconv cd("UTF-16LE", "CP932");
    return cd;
}

bool IsLead932(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

std::string Utf16Bytes(const char16_t* units, std::size_t count) {
    std::string bytes;
    for (std::size_t i = 0; i < count; ++i) {
        bytes.push_back(static_cast<char>(units[i] & 0xFF));
        bytes.push_back(static_cast<char>(units[i] >> 8));
    }
    return bytes;
}

os::UINT Effective(os::UINT codePage) {
    if (codePage == os::CP_ACP || codePage == kOemCodePage) return g_codePage;
    return codePage;
}

bool Supported(os::UINT codePage) { return codePage == 1252 || codePage == 932 || codePage == os::CP_UTF8; }

// UTF-16 -> bytes of the code page. `usedDefault` reports any character
// replaced by the default character.
std::string Encode(os::UINT codePage, os::DWORD flags, std::u16string_view in, std::string_view defaultChar,
                   bool& usedDefault) {
    std::string out;
    usedDefault = false;
    bool bestFit = !(flags & os::WC_NO_BEST_FIT_CHARS);
    for (std::size_t i = 0; i < in.size(); ++i) {
        char16_t c = in[i];
        bool pair = IsHighSurrogate(c) && i + 1 < in.size() && IsLowSurrogate(in[i + 1]);
        if (codePage == os::CP_UTF8) {
            if (pair) {
                out += text::ToUtf8(in.substr(i, 2));
                ++i;
            } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
                out += "\xEF\xBF\xBD";  // U+FFFD, as Vista and later write
                usedDefault = true;
            } else {
                out += text::ToUtf8(in.substr(i, 1));
            }
            continue;
        }
        if (codePage == 1252) {
            int b = To1252(c);
            if (b < 0 && bestFit && !pair) b = static_cast<unsigned char>(BestFit1252(c));
            if (b > 0 || c == 0) {
                out.push_back(static_cast<char>(b));
                continue;
            }
        } else {
            std::string bytes;
            if (!IsHighSurrogate(c) && !IsLowSurrogate(c) && ToCp932().Convert(Utf16Bytes(&c, 1).data(), 2, bytes)) {
                out += bytes;
                continue;
            }
        }
        if (pair) ++i;  // a character outside the BMP becomes one default character
        out += defaultChar;
        usedDefault = true;
    }
    return out;
}

// Bytes of the code page -> UTF-16; `invalid` reports bytes that do not
// form a character.
std::u16string Decode(os::UINT codePage, std::string_view in, bool& invalid) {
    std::u16string out;
    invalid = false;
    if (codePage == os::CP_UTF8) {
        // The UTF-8 reader of Text.h keeps unpaired surrogates; Windows
        // refuses them, so check well-formedness first.
        std::size_t i = 0;
        while (i < in.size()) {
            auto b = static_cast<unsigned char>(in[i]);
            std::size_t len = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
            bool ok = len > 0 && i + len <= in.size();
            for (std::size_t k = 1; ok && k < len; ++k) ok = (static_cast<unsigned char>(in[i + k]) & 0xC0) == 0x80;
            std::u16string decoded;
            if (ok) {
                decoded = text::FromUtf8(in.substr(i, len));
                char32_t first = decoded.empty() ? 0 : decoded[0];
                bool overlong = (len == 2 && b < 0xC2) || (len == 3 && decoded.size() == 1 && first < 0x800) ||
                                (len == 4 && decoded.size() != 2);
                if (overlong || (len == 3 && first >= 0xD800 && first <= 0xDFFF)) ok = false;
            }
            if (!ok) {
                out.push_back(u'\uFFFD');
                invalid = true;
                i += 1;
                continue;
            }
            out += decoded;
            i += len;
        }
        return out;
    }
    for (std::size_t i = 0; i < in.size(); ++i) {
        auto b = static_cast<unsigned char>(in[i]);
        if (codePage == 1252) {
            out.push_back(b >= 0x80 && b <= 0x9F ? k1252High[b - 0x80] : static_cast<char16_t>(b));
            continue;
        }
        if (b < 0x80) {
            out.push_back(b);
            continue;
        }
        std::size_t len = IsLead932(b) ? 2 : 1;
        std::string utf16;
        if (len == 2 && i + 1 < in.size() && FromCp932().Convert(in.data() + i, 2, utf16) && utf16.size() == 2) {
            out.push_back(static_cast<char16_t>(static_cast<unsigned char>(utf16[0]) |
                                                (static_cast<unsigned char>(utf16[1]) << 8)));
            ++i;
        } else if (len == 1 && b >= 0xA1 && b <= 0xDF) {
            out.push_back(static_cast<char16_t>(0xFF61 + (b - 0xA1)));  // half-width katakana
        } else if (len == 1 && (b == 0x80 || b == 0xA0 || b >= 0xFD)) {
            // Single bytes Windows maps to fixed code points.
            out.push_back(b == 0x80 ? u'\u0080' : static_cast<char16_t>(b == 0xA0 ? 0xF8F0 : 0xF8F1 + (b - 0xFD)));
        } else {
            out.push_back(u'\u30FB');  // Windows' default character for 932
            invalid = true;
            if (len == 2 && i + 1 < in.size() && static_cast<unsigned char>(in[i + 1]) >= 0x40) ++i;
        }
    }
    return out;
}

}  // namespace

void SetCodePage(os::UINT codePage) { g_codePage = codePage; }

}  // namespace emul

namespace os {

UINT GetACP() { return emul::g_codePage; }

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideChars, LPSTR multi, int multiBytes,
                        LPCSTR defaultChar, BOOL* usedDefault) {
    codePage = emul::Effective(codePage);
    if (!emul::Supported(codePage) || !wide || wideChars == 0 || wideChars < -1 || multiBytes < 0 ||
        (!multi && multiBytes != 0) ||
        (codePage == CP_UTF8 && (defaultChar || usedDefault || (flags & ~emul::kWcErrInvalidChars)))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string_view in = wideChars == -1 ? std::u16string_view(wide, std::char_traits<char16_t>::length(wide) + 1)
                                             : std::u16string_view(wide, static_cast<std::size_t>(wideChars));
    bool replaced = false;
    std::string fallback = defaultChar ? std::string(defaultChar, defaultChar[0] ? 1 : 0) : std::string("?");
    if (codePage == 932 && defaultChar && emul::IsLead932(static_cast<unsigned char>(defaultChar[0])) && defaultChar[1])
        fallback = std::string(defaultChar, 2);
    auto out = emul::Encode(codePage, flags, in, fallback, replaced);
    if (codePage == CP_UTF8 && replaced && (flags & emul::kWcErrInvalidChars)) {
        SetLastError(emul::kNoUnicodeTranslation);
        return 0;
    }
    if (usedDefault) *usedDefault = replaced ? TRUE : FALSE;
    if (multiBytes == 0) return static_cast<int>(out.size());
    if (out.size() > static_cast<std::size_t>(multiBytes)) {
        out.copy(multi, static_cast<std::size_t>(multiBytes));
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    out.copy(multi, out.size());
    return static_cast<int>(out.size());
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multi, int multiBytes, LPWSTR wide, int wideChars) {
    codePage = emul::Effective(codePage);
    if (!emul::Supported(codePage) || !multi || multiBytes == 0 || multiBytes < -1 || wideChars < 0 ||
        (!wide && wideChars != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string_view in = multiBytes == -1 ? std::string_view(multi, std::char_traits<char>::length(multi) + 1)
                                           : std::string_view(multi, static_cast<std::size_t>(multiBytes));
    bool invalid = false;
    auto out = emul::Decode(codePage, in, invalid);
    if (invalid && (flags & MB_ERR_INVALID_CHARS)) {
        SetLastError(emul::kNoUnicodeTranslation);
        return 0;
    }
    if (wideChars == 0) return static_cast<int>(out.size());
    if (out.size() > static_cast<std::size_t>(wideChars)) {
        out.copy(wide, static_cast<std::size_t>(wideChars));
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    out.copy(wide, out.size());
    return static_cast<int>(out.size());
}

}  // namespace os
