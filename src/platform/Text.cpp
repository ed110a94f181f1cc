#include "platform/Text.h"

namespace text {

std::u16string FromUtf8(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    std::size_t i = 0;
    auto cont = [&](std::size_t k) -> unsigned {
        return (i + k < s.size() && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80)
                   ? static_cast<unsigned char>(s[i + k]) & 0x3F
                   : 0x100;
    };
    while (i < s.size()) {
        unsigned c = static_cast<unsigned char>(s[i]);
        char32_t cp;
        std::size_t len;
        if (c < 0x80) {
            cp = c;
            len = 1;
        } else if ((c & 0xE0) == 0xC0 && cont(1) < 0x100) {
            cp = ((c & 0x1F) << 6) | cont(1);
            len = 2;
        } else if ((c & 0xF0) == 0xE0 && cont(1) < 0x100 && cont(2) < 0x100) {
            cp = ((c & 0x0F) << 12) | (cont(1) << 6) | cont(2);
            len = 3;
        } else if ((c & 0xF8) == 0xF0 && cont(1) < 0x100 && cont(2) < 0x100 && cont(3) < 0x100) {
            cp = ((c & 0x07) << 18) | (cont(1) << 12) | (cont(2) << 6) | cont(3);
            len = 4;
        } else {
            cp = 0xFFFD;
            len = 1;
        }
        i += len;
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else if (cp > 0x10FFFF) {
            out.push_back(u'\uFFFD');
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string ToUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

char16_t UpCase(char16_t c) {
    // A fixed table rather than the C library's towupper: the answer must
    // not depend on the host's locale or on the build.
    if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        // Latin Extended-A pairs upper/lower on even/odd, shifted by one in
        // the 0x139..0x148 and 0x179..0x17E runs; 0x131 and 0x138 stand alone.
        if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        bool oddRun = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddRun) return (c % 2 == 0) ? static_cast<char16_t>(c - 1) : c;
        return (c % 2 == 1) ? static_cast<char16_t>(c - 1) : c;
    }
    if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
    if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0x20);  // fullwidth a-z
    return c;
}

std::u16string UpCase(std::u16string_view s) {
    std::u16string out(s);
    for (auto& c : out) c = UpCase(c);
    return out;
}

std::u16string AsciiLower(std::u16string_view s) {
    std::u16string out(s);
    for (auto& c : out)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    return out;
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
    std::size_t n = a.size() < b.size() ? a.size() : b.size();
    // Equal units need no folding, and sibling keys share long prefixes
    // ("{0000...}", "Vendor0001..."): the registry compares names all the time.
    std::size_t i = 0;
    while (i < n && a[i] == b[i]) ++i;
    for (; i < n; ++i) {
        char16_t x = UpCase(a[i]), y = UpCase(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::u16string FromAscii(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

}  // namespace text
