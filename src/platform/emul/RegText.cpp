#include "platform/emul/RegText.h"

#include <array>
#include <climits>
#include <stdexcept>

#include "platform/Text.h"
#include "platform/TextCodec.h"

// Reading follows what the system's importer accepts, with one difference:
// the importer skips whatever it does not understand, and a fixture that is
// silently half-applied is worse than one that fails loudly, so every line
// here is either understood or reported.
//
// Accepted beyond the bare grammar, because real files contain it:
//   - blanks before any line, around '=' and between hex bytes;
//   - whole-line ';' comments, and a ';' comment after a key line or after
//     any value (the importer allows it after strings, dwords and hex data);
//   - lines broken at CR LF, LF or a lone CR;
//   - root abbreviations HKLM, HKCU, HKCR, HKU, HKCC (written back in full);
//   - escapes \\ \" \n \r in quoted names and strings;
//   - blank and comment lines between the continuation lines of hex data,
//     and the end of the file right after a trailing '\'.

namespace emul {

RegFormatError::RegFormatError(std::size_t line, const std::string& what)
    : std::runtime_error("line " + std::to_string(line) + ": " + what), line_(line) {}

namespace regtext {
namespace {

constexpr std::u16string_view kHeader5 = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kHeader4 = u"REGEDIT4";

struct Root {
    std::u16string_view full;
    std::u16string_view shortName;
};
constexpr std::array<Root, 5> kRoots{{
    {u"HKEY_LOCAL_MACHINE", u"HKLM"},
    {u"HKEY_CURRENT_USER", u"HKCU"},
    {u"HKEY_CLASSES_ROOT", u"HKCR"},
    {u"HKEY_USERS", u"HKU"},
    {u"HKEY_CURRENT_CONFIG", u"HKCC"},
}};

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// A short, printable piece of the input for messages.
std::string Quote(std::u16string_view s, std::size_t max = 24) {
    std::string out = text::ToUtf8(s.substr(0, max));
    if (s.size() > max) out += "...";
    return "'" + out + "'";
}

// Result of checking a key path: the canonical path, or why it is not one.
struct PathCheck {
    std::u16string path;
    std::string error;
};

// Root spelled in full, any trailing '\' dropped (the system's key creation
// ignores it); an empty component would address no key at all.
PathCheck CanonicalPath(std::u16string_view path) {
    std::size_t sep = path.find(u'\\');
    std::u16string_view rootName = path.substr(0, sep);
    const Root* root = nullptr;
    for (const Root& r : kRoots)
        if (text::EqualNoCase(rootName, r.full) || text::EqualNoCase(rootName, r.shortName)) root = &r;
    if (!root) return {{}, "unknown root key " + Quote(rootName)};

    std::u16string out(root->full);
    if (sep == std::u16string_view::npos) return {out, {}};
    std::u16string_view rest = path.substr(sep + 1);
    while (!rest.empty() && rest.back() == u'\\') rest.remove_suffix(1);
    if (rest.empty()) return {out, {}};
    if (rest.front() == u'\\' || rest.find(u"\\\\") != std::u16string_view::npos)
        return {{}, "empty key name in path " + Quote(path, 60)};
    out += u'\\';
    out += rest;
    return {out, {}};
}

void AppendUtf16(std::vector<std::uint8_t>& out, std::u16string_view s) {
    for (char16_t c : s) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
}

// Windows-1252. The five bytes it leaves undefined map to the C1 controls
// of the same number, as the system's own table does, so every byte decodes.
constexpr std::array<char16_t, 32> kCp1252High{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// 1252, the usual case, is decoded here. Other code pages go through the
// emulated machine's own conversion; one it does not know reads as 1252.
std::u16string DecodeAnsi(std::string_view bytes, os::UINT codePage) {
    if (codePage != 1252 && !bytes.empty() && bytes.size() <= static_cast<std::size_t>(INT_MAX)) {
        int size = static_cast<int>(bytes.size());
        int units = os::MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
        if (units > 0) {
            std::u16string out(static_cast<std::size_t>(units), u'\0');
            if (os::MultiByteToWideChar(codePage, 0, bytes.data(), size, out.data(), units) == units) return out;
        }
    }
    std::u16string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        auto b = static_cast<unsigned char>(ch);
        out.push_back(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : static_cast<char16_t>(b));
    }
    return out;
}

// Lines end at CR LF, LF or a lone CR; a break at the very end of the text
// closes the last line rather than opening an empty one.
class LineReader {
public:
    explicit LineReader(std::u16string_view text) : text_(text) {}

    bool Next(std::u16string_view& line) {
        if (done_) return false;
        ++line_;
        std::size_t end = text_.find_first_of(u"\r\n", pos_);
        if (end == std::u16string_view::npos) {
            line = text_.substr(pos_);
            done_ = true;
            return true;
        }
        line = text_.substr(pos_, end - pos_);
        pos_ = end + ((text_[end] == u'\r' && end + 1 < text_.size() && text_[end + 1] == u'\n') ? 2 : 1);
        done_ = pos_ == text_.size();
        return true;
    }
    std::size_t line() const { return line_; }

private:
    std::u16string_view text_;
    std::size_t pos_ = 0;
    std::size_t line_ = 0;
    bool done_ = false;
};

// The number of the line holding text[pos].
std::size_t LineOf(std::u16string_view text, std::size_t pos) {
    std::size_t line = 1;
    for (std::size_t i = 0; i < pos && i < text.size(); ++i) {
        if (text[i] == u'\n' || (text[i] == u'\r' && (i + 1 >= text.size() || text[i + 1] != u'\n'))) ++line;
    }
    return line;
}

class Parser {
public:
    Parser(std::u16string_view text, os::UINT codePage) : reader_(text), codePage_(codePage) {}

    Document Run() {
        std::u16string_view line;
        if (!reader_.Next(line)) Fail("missing header");
        ParseHeader(line);
        Key* current = nullptr;
        while (reader_.Next(line)) {
            std::size_t i = 0;
            SkipBlanks(line, i);
            if (i == line.size() || line[i] == u';') continue;
            if (line[i] == u'[') {
                current = ParseKeyLine(line.substr(i + 1));
            } else if (line[i] == u'"' || line[i] == u'@') {
                if (!current) Fail(doc_.keys.empty() ? "value line outside a key" : "value line under a key being removed");
                current->values.push_back(ParseValue(line, i));
            } else {
                Fail("unexpected text " + Quote(line.substr(i)));
            }
        }
        return std::move(doc_);
    }

private:
    [[noreturn]] void Fail(const std::string& what) const { throw RegFormatError(reader_.line(), what); }

    static void SkipBlanks(std::u16string_view s, std::size_t& i) {
        while (i < s.size() && IsBlank(s[i])) ++i;
    }

    // Only blanks or a comment may follow what a line holds.
    void ExpectEnd(std::u16string_view s, std::size_t i, const char* after) const {
        SkipBlanks(s, i);
        if (i < s.size() && s[i] != u';') Fail(std::string("junk after ") + after + ": " + Quote(s.substr(i)));
    }

    void ParseHeader(std::u16string_view line) {
        std::size_t i = 0;
        if (!line.empty() && line[0] == u'\uFEFF') i = 1;
        SkipBlanks(line, i);
        line = line.substr(i);
        if (line == kHeader5) {
            doc_.regedit4 = false;
        } else if (line == kHeader4) {
            doc_.regedit4 = true;
        } else {
            Fail("missing or unknown header " + Quote(line, 40) + "; expected \"" + text::ToUtf8(kHeader5) +
                 "\" or \"REGEDIT4\"");
        }
    }

    // The name runs to the last ']' of the line: key names may hold ']'.
    Key* ParseKeyLine(std::u16string_view rest) {
        std::size_t close = rest.rfind(u']');
        if (close == std::u16string_view::npos) Fail("unterminated key line (no closing ']')");
        ExpectEnd(rest, close + 1, "key line");
        std::u16string_view name = rest.substr(0, close);
        Key key;
        key.line = reader_.line();
        if (!name.empty() && name[0] == u'-') {
            key.remove = true;
            name.remove_prefix(1);
        }
        PathCheck checked = CanonicalPath(name);
        if (!checked.error.empty()) Fail(checked.error);
        key.path = std::move(checked.path);
        doc_.keys.push_back(std::move(key));
        return doc_.keys.back().remove ? nullptr : &doc_.keys.back();
    }

    // Reads a quoted string whose opening quote is at s[i]; leaves i after
    // the closing quote.
    std::u16string Unquote(std::u16string_view s, std::size_t& i) const {
        std::u16string out;
        for (++i; i < s.size(); ++i) {
            char16_t c = s[i];
            if (c == u'"') {
                ++i;
                return out;
            }
            if (c != u'\\') {
                out.push_back(c);
                continue;
            }
            if (++i == s.size()) break;
            switch (s[i]) {
                case u'\\': out.push_back(u'\\'); break;
                case u'"': out.push_back(u'"'); break;
                case u'n': out.push_back(u'\n'); break;
                case u'r': out.push_back(u'\r'); break;
                default: Fail("bad escape " + Quote(s.substr(i - 1, 2)) + " in quoted text");
            }
        }
        Fail("unterminated quoted text");
    }

    Value ParseValue(std::u16string_view line, std::size_t i) {
        Value v;
        if (line[i] == u'@')
            ++i;
        else
            v.name = Unquote(line, i);
        SkipBlanks(line, i);
        if (i == line.size() || line[i] != u'=') Fail("expected '=' after the value name");
        ++i;
        SkipBlanks(line, i);
        std::u16string_view rest = line.substr(i);

        if (rest.starts_with(u"-")) {
            v.remove = true;
            ExpectEnd(rest, 1, "'-'");
        } else if (rest.starts_with(u"\"")) {
            std::size_t j = 0;
            std::u16string s = Unquote(rest, j);
            ExpectEnd(rest, j, "the string");
            s.push_back(u'\0');
            CheckSize(s.size() * 2);
            v.type = os::REG_SZ;
            AppendUtf16(v.data, s);
        } else if (rest.starts_with(u"dword:")) {
            v.type = os::REG_DWORD;
            v.data = ParseDword(rest, 6);
        } else if (rest.starts_with(u"hex:")) {
            v.type = os::REG_BINARY;
            v.data = ParseHex(rest, 4);
        } else if (rest.starts_with(u"hex(")) {
            std::size_t j = 4;
            v.type = ParseHexType(rest, j);
            v.data = ParseHex(rest, j);
            if (doc_.regedit4 && (v.type == os::REG_SZ || v.type == os::REG_EXPAND_SZ || v.type == os::REG_MULTI_SZ))
                v.data = AnsiToUtf16(v.data);
        } else {
            Fail("unknown value type " + Quote(rest));
        }
        return v;
    }

    void CheckSize(std::size_t bytes) const {
        if (bytes > kMaxValueBytes) Fail("value data larger than 16 MiB");
    }

    std::vector<std::uint8_t> ParseDword(std::u16string_view s, std::size_t i) const {
        SkipBlanks(s, i);
        std::size_t start = i;
        std::uint32_t n = 0;
        while (i < s.size() && HexDigit(s[i]) >= 0) {
            if (i - start == 8) Fail("dword with more than 8 hex digits");
            n = (n << 4) | static_cast<std::uint32_t>(HexDigit(s[i]));
            ++i;
        }
        if (i == start) Fail("dword needs 1 to 8 hex digits, got " + Quote(s.substr(start)));
        ExpectEnd(s, i, "the dword");
        return {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n >> 16),
                static_cast<std::uint8_t>(n >> 24)};
    }

    // "hex(N):" with N in hex, any 32-bit type; i is just past "hex(".
    os::DWORD ParseHexType(std::u16string_view s, std::size_t& i) const {
        std::size_t start = i;
        std::uint64_t n = 0;
        while (i < s.size() && HexDigit(s[i]) >= 0) {
            n = (n << 4) | static_cast<std::uint64_t>(HexDigit(s[i]));
            if (n > 0xFFFFFFFFu) Fail("value type in hex(...) larger than 32 bits");
            ++i;
        }
        if (i == start || i + 1 >= s.size() || s[i] != u')' || s[i + 1] != u':')
            Fail("bad value type " + Quote(s.substr(0, i + 2)) + "; expected hex(N): with N in hex");
        i += 2;
        return static_cast<os::DWORD>(n);
    }

    // Comma-separated bytes of one or two hex digits. A '\' after a comma
    // (or straight after the type) continues the data on the next line.
    std::vector<std::uint8_t> ParseHex(std::u16string_view s, std::size_t i) {
        std::vector<std::uint8_t> data;
        for (;;) {
            bool more = false;
            SkipBlanks(s, i);
            while (i < s.size() && s[i] != u';') {
                if (s[i] == u'\\') {
                    ExpectEnd(s, i + 1, "'\\'");
                    more = true;
                    break;
                }
                std::size_t start = i;
                unsigned byte = 0;
                while (i < s.size() && i - start < 3 && HexDigit(s[i]) >= 0) byte = byte * 16 + HexDigit(s[i++]);
                bool separated = i == s.size() || s[i] == u',' || s[i] == u';' || s[i] == u'\\' || IsBlank(s[i]);
                if (i == start || i - start > 2 || !separated) Fail("bad hex byte " + Quote(HexToken(s, start)));
                std::u16string_view digits = s.substr(start, i - start);
                data.push_back(static_cast<std::uint8_t>(byte));
                CheckSize(data.size());
                SkipBlanks(s, i);
                if (i == s.size() || s[i] == u';') break;
                if (s[i] != u',')
                    Fail("expected ',' after hex byte " + Quote(digits) + ", got " + Quote(s.substr(i)));
                ++i;
                SkipBlanks(s, i);
            }
            if (!more || !NextHexLine(s, i)) return data;
        }
    }

    static std::u16string_view HexToken(std::u16string_view s, std::size_t start) {
        std::size_t end = start;
        while (end < s.size() && s[end] != u',' && !IsBlank(s[end]) && end - start < 12) ++end;
        return s.substr(start, end == start ? 1 : end - start);
    }

    // The line continuing hex data; blank and comment lines in between are
    // passed over. False at the end of the file, which ends the data.
    bool NextHexLine(std::u16string_view& s, std::size_t& i) {
        while (reader_.Next(s)) {
            i = 0;
            SkipBlanks(s, i);
            if (i == s.size() || s[i] == u';') continue;
            if (HexDigit(s[i]) < 0) Fail("expected hex data continuing the previous line, got " + Quote(s.substr(i)));
            return true;
        }
        return false;
    }

    // REGEDIT4 string data is in the ANSI code page; the registry holds
    // UTF-16, terminated as the importer terminates it.
    std::vector<std::uint8_t> AnsiToUtf16(const std::vector<std::uint8_t>& ansi) const {
        if (ansi.empty()) return {};
        std::string bytes(ansi.begin(), ansi.end());
        if (bytes.back() != '\0') bytes.push_back('\0');
        std::u16string wide = DecodeAnsi(bytes, codePage_);
        CheckSize(wide.size() * 2);
        std::vector<std::uint8_t> out;
        out.reserve(wide.size() * 2);
        AppendUtf16(out, wide);
        return out;
    }

    LineReader reader_;
    os::UINT codePage_;
    Document doc_;
};

// ---- writing ----

void AppendEscaped(std::u16string& out, std::u16string_view s) {
    for (char16_t c : s) {
        switch (c) {
            case u'\\': out += u"\\\\"; break;
            case u'"': out += u"\\\""; break;
            case u'\n': out += u"\\n"; break;
            case u'\r': out += u"\\r"; break;
            default: out.push_back(c);
        }
    }
}

// Data a quoted string reproduces exactly: whole UTF-16 units, one NUL, last.
bool IsPlainString(const std::vector<std::uint8_t>& d) {
    if (d.size() < 2 || d.size() % 2 != 0) return false;
    for (std::size_t i = 0; i + 2 < d.size(); i += 2)
        if (d[i] == 0 && d[i + 1] == 0) return false;
    return d[d.size() - 2] == 0 && d[d.size() - 1] == 0;
}

void AppendHexNumber(std::u16string& out, std::uint32_t n, int minDigits) {
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    char16_t buf[8];
    int len = 0;
    do {
        buf[len++] = kDigits[n & 0xF];
        n >>= 4;
    } while (n != 0 || len < minDigits);
    while (len > 0) out.push_back(buf[--len]);
}

// Lines stay within 80 columns: a line is broken after the comma that takes
// it to 77 or more, and continues indented by two.
void AppendHexData(std::u16string& out, std::size_t column, const std::vector<std::uint8_t>& data) {
    constexpr std::size_t kBreakColumn = 77;
    for (std::size_t i = 0; i < data.size(); ++i) {
        AppendHexNumber(out, data[i], 2);
        if (i + 1 == data.size()) break;
        out.push_back(u',');
        column += 3;
        if (column >= kBreakColumn) {
            out += u"\\\r\n  ";
            column = 2;
        }
    }
}

void AppendValue(std::u16string& out, const Value& v) {
    std::size_t lineStart = out.size();
    if (v.name.empty()) {
        out.push_back(u'@');
    } else {
        if (v.name.find(u'\0') != std::u16string::npos)
            throw std::invalid_argument("value name with a NUL cannot be written as .reg text");
        out.push_back(u'"');
        AppendEscaped(out, v.name);
        out.push_back(u'"');
    }
    out.push_back(u'=');
    if (v.remove) {
        out.push_back(u'-');
    } else if (v.type == os::REG_SZ && IsPlainString(v.data)) {
        std::u16string s;
        for (std::size_t i = 0; i + 2 < v.data.size(); i += 2)
            s.push_back(static_cast<char16_t>(v.data[i] | (v.data[i + 1] << 8)));
        out.push_back(u'"');
        AppendEscaped(out, s);
        out.push_back(u'"');
    } else if (v.type == os::REG_DWORD && v.data.size() == 4) {
        out += u"dword:";
        AppendHexNumber(out,
                        static_cast<std::uint32_t>(v.data[0]) | (static_cast<std::uint32_t>(v.data[1]) << 8) |
                            (static_cast<std::uint32_t>(v.data[2]) << 16) |
                            (static_cast<std::uint32_t>(v.data[3]) << 24),
                        8);
    } else {
        if (v.type == os::REG_BINARY) {
            out += u"hex:";
        } else {
            out += u"hex(";
            AppendHexNumber(out, v.type, 1);
            out += u"):";
        }
        AppendHexData(out, out.size() - lineStart, v.data);
    }
    out += u"\r\n";
}

}  // namespace

Document Parse(std::u16string_view text, os::UINT ansiCodePage) {
    // A NUL would end the line early for any reader working on C strings;
    // refuse it rather than guess what the file meant.
    std::size_t nul = text.find(u'\0');
    if (nul != std::u16string_view::npos) throw RegFormatError(LineOf(text, nul), "NUL character in the text");
    return Parser(text, ansiCodePage).Run();
}

Document ParseBytes(std::string_view bytes, os::UINT ansiCodePage) {
    // Only the marks regedit writes: a big-endian mark is read as ANSI text
    // and fails on its header like any other foreign file.
    switch (text::DetectEncoding(bytes)) {
        case text::TextEncoding::Utf16LeBom: {
            auto decoded = text::DecodeText(bytes);
            if (decoded.oddByteCount)
                throw RegFormatError(LineOf(decoded.text, decoded.text.size()),
                                     "UTF-16 file ends in half a character (odd byte count)");
            return Parse(decoded.text, ansiCodePage);
        }
        case text::TextEncoding::Utf8Bom: return Parse(text::DecodeText(bytes).text, ansiCodePage);
        default: return Parse(DecodeAnsi(bytes, ansiCodePage), ansiCodePage);
    }
}

std::u16string Write(const std::vector<Key>& keys) {
    std::u16string out(kHeader5);
    out += u"\r\n";
    for (const Key& key : keys) {
        if (key.path.find_first_of(std::u16string_view(u"\r\n\0", 3)) != std::u16string::npos)
            throw std::invalid_argument("key path with CR, LF or NUL cannot be written as .reg text");
        PathCheck checked = CanonicalPath(key.path);
        if (!checked.error.empty()) throw std::invalid_argument(checked.error);
        if (key.remove && !key.values.empty())
            throw std::invalid_argument("a key marked for removal cannot carry values");
        out += u"\r\n[";
        if (key.remove) out.push_back(u'-');
        out += checked.path;
        out += u"]\r\n";
        for (const Value& v : key.values) AppendValue(out, v);
    }
    out += u"\r\n";
    return out;
}

std::string WriteBytes(const std::vector<Key>& keys) { return text::EncodeUtf16(Write(keys)); }

}  // namespace regtext
}  // namespace emul
