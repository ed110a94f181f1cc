#include "i18n/Format.h"

#include <cstddef>

#include "i18n/LangError.h"

namespace i18n {

namespace {

[[noreturn]] void Invalid(std::u16string_view format) {
    throw ELangError(u"Format '" + std::u16string(format) + u"' invalid or incompatible with argument");
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Reads a decimal number; capped so a hostile width cannot ask for gigabytes.
std::size_t ReadNumber(std::u16string_view f, std::size_t& i) {
    std::size_t n = 0;
    while (i < f.size() && IsDigit(f[i])) {
        n = n * 10 + static_cast<std::size_t>(f[i] - u'0');
        if (n > 4096) n = 4096;
        ++i;
    }
    return n;
}

std::u16string Digits(std::uint64_t v, unsigned base) {
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string out;
    do {
        out.insert(out.begin(), kDigits[v % base]);
        v /= base;
    } while (v != 0);
    return out;
}

}  // namespace

std::u16string Format(std::u16string_view format, std::span<const FormatArg> args) {
    std::u16string out;
    std::size_t next = 0;
    std::size_t i = 0;
    while (i < format.size()) {
        char16_t c = format[i++];
        if (c != u'%') {
            out.push_back(c);
            continue;
        }
        if (i < format.size() && format[i] == u'%') {
            out.push_back(u'%');
            ++i;
            continue;
        }
        // Optional "index:" - a number followed by a colon.
        std::size_t save = i;
        if (i < format.size() && IsDigit(format[i])) {
            std::size_t index = ReadNumber(format, i);
            if (i < format.size() && format[i] == u':')
                next = index, ++i;
            else
                i = save;
        }
        bool left = false;
        if (i < format.size() && format[i] == u'-') left = true, ++i;
        std::size_t width = ReadNumber(format, i);
        bool hasPrecision = false;
        std::size_t precision = 0;
        if (i < format.size() && format[i] == u'.') {
            ++i;
            hasPrecision = true;
            precision = ReadNumber(format, i);
        }
        if (i >= format.size() || next >= args.size()) Invalid(format);
        char16_t type = format[i++];
        const FormatArg& arg = args[next++];
        std::u16string piece;
        switch (type) {
        case u's':
        case u'S':
            if (!arg.Text()) Invalid(format);
            piece = *arg.Text();
            if (hasPrecision && piece.size() > precision) piece.resize(precision);
            break;
        case u'd':
        case u'D':
        case u'u':
        case u'U':
        case u'x':
        case u'X': {
            if (!arg.Number()) Invalid(format);
            std::int64_t v = *arg.Number();
            bool negative = false;
            std::uint64_t magnitude;
            if (type == u'd' || type == u'D') {
                negative = v < 0;
                magnitude = negative ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
            } else {
                // Unsigned and hex placeholders show the 32-bit pattern, as
                // Windows error codes and handles are usually printed.
                magnitude = static_cast<std::uint32_t>(v);
            }
            piece = Digits(magnitude, (type == u'x' || type == u'X') ? 16 : 10);
            if (hasPrecision && piece.size() < precision) piece.insert(0, precision - piece.size(), u'0');
            if (negative) piece.insert(piece.begin(), u'-');
            break;
        }
        default:
            Invalid(format);
        }
        if (piece.size() < width) {
            if (left)
                piece.append(width - piece.size(), u' ');
            else
                piece.insert(0, width - piece.size(), u' ');
        }
        out += piece;
    }
    return out;
}

}  // namespace i18n
