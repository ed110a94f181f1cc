// The .reg reader and writer live with the emulated machine, which only the
// native build compiles.
#ifndef _WIN32

#include "platform/emul/RegText.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/Text.h"

namespace emul::regtext {

void PrintTo(const Value& v, std::ostream* os) {
    *os << "{\"" << text::ToUtf8(v.name) << "\" type " << v.type << (v.remove ? " remove" : "") << " [";
    for (std::size_t i = 0; i < v.data.size() && i < 64; ++i) *os << (i ? "," : "") << int{v.data[i]};
    *os << (v.data.size() > 64 ? ",...]" : "]") << " (" << v.data.size() << " bytes)}";
}

void PrintTo(const Key& k, std::ostream* os) {
    *os << (k.remove ? "[-" : "[") << text::ToUtf8(k.path) << "]";
    for (const Value& v : k.values) {
        *os << "\n  ";
        PrintTo(v, os);
    }
}

}  // namespace emul::regtext

namespace {

using emul::RegFormatError;
using namespace emul::regtext;

std::vector<std::uint8_t> Utf16Z(std::u16string_view s) {
    std::vector<std::uint8_t> out;
    for (char16_t c : s) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

Value Sz(std::u16string name, std::u16string_view s) { return {std::move(name), os::REG_SZ, Utf16Z(s), false}; }
Value Dw(std::u16string name, std::uint32_t n) {
    return {std::move(name),
            os::REG_DWORD,
            {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n >> 16),
             static_cast<std::uint8_t>(n >> 24)},
            false};
}
Value Raw(std::u16string name, os::DWORD type, std::vector<std::uint8_t> data) {
    return {std::move(name), type, std::move(data), false};
}
Value Del(std::u16string name) { return {std::move(name), os::REG_SZ, {}, true}; }
Key K(std::u16string path, std::vector<Value> values = {}) { return {std::move(path), false, std::move(values), 0}; }
Key Gone(std::u16string path) { return {std::move(path), true, {}, 0}; }

const std::u16string kV5 = u"Windows Registry Editor Version 5.00\r\n\r\n";
const std::u16string kV4 = u"REGEDIT4\r\n\r\n";

std::string ToUtf16LeWithBom(std::u16string_view s) {
    std::string out("\xFF\xFE", 2);
    for (char16_t c : s) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
    return out;
}

std::string ReadFixture(const std::string& name) {
    std::ifstream in(std::string(TALLOWMEND_FIXTURES_DIR) + "/reg/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// ---- what parses, and into what ----

struct GoodCase {
    const char* name;
    std::u16string text;
    std::vector<Key> keys;
    bool regedit4 = false;
};

class RegTextParse : public ::testing::TestWithParam<GoodCase> {};

TEST_P(RegTextParse, GivesTheDocument) {
    const GoodCase& c = GetParam();
    Document doc = Parse(c.text);
    EXPECT_EQ(doc.regedit4, c.regedit4);
    EXPECT_EQ(doc.keys, c.keys);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegTextParse,
    ::testing::Values(
        GoodCase{"HeaderOnly", u"Windows Registry Editor Version 5.00", {}},
        GoodCase{"HeaderAfterBomAndBlanks", u"\uFEFF  \tREGEDIT4\n", {}, true},
        GoodCase{"StringsAndDefault",
                 kV5 + u"[HKEY_CURRENT_USER\\Software\\T]\r\n@=\"d\"\r\n\"a\"=\"x y\"\r\n\"\"=\"also default\"\r\n"
                       u"\"e\"=\"\"\r\n",
                 {K(u"HKEY_CURRENT_USER\\Software\\T",
                    {Sz(u"", u"d"), Sz(u"a", u"x y"), Sz(u"", u"also default"), Sz(u"e", u"")})}},
        GoodCase{"RootsInAnySpelling",
                 kV5 + u"[hklm\\S]\r\n[HKCU]\r\n[HKCR\\.txt]\r\n[Hku\\.DEFAULT]\r\n[HKCC\\x]\r\n"
                       u"[hkey_local_machine\\A\\B\\]\r\n[HKCU\\\\]\r\n",
                 {K(u"HKEY_LOCAL_MACHINE\\S"), K(u"HKEY_CURRENT_USER"), K(u"HKEY_CLASSES_ROOT\\.txt"),
                  K(u"HKEY_USERS\\.DEFAULT"), K(u"HKEY_CURRENT_CONFIG\\x"), K(u"HKEY_LOCAL_MACHINE\\A\\B"),
                  K(u"HKEY_CURRENT_USER")}},
        GoodCase{"KeyNameRunsToLastBracket",
                 kV5 + u"[HKCU\\a]b]\r\n[HKCU\\ spaced ] ; note\r\n",
                 {K(u"HKEY_CURRENT_USER\\a]b"), K(u"HKEY_CURRENT_USER\\ spaced ")}},
        GoodCase{"Escapes",
                 kV5 + u"[HKCU\\K]\r\n\"q\\\"n\\\\b\"=\"a\\\\b\\\"c\\nd\\re\"\r\n\"semi;colon\"=\"x;y\"\r\n",
                 {K(u"HKEY_CURRENT_USER\\K", {Sz(u"q\"n\\b", u"a\\b\"c\nd\re"), Sz(u"semi;colon", u"x;y")})}},
        GoodCase{"Removals",
                 kV5 + u"[-HKLM\\S\\Old]\r\n\r\n[HKCU\\K]\r\n\"v\"=-\r\n@ = -  \r\n",
                 {Gone(u"HKEY_LOCAL_MACHINE\\S\\Old"), K(u"HKEY_CURRENT_USER\\K", {Del(u"v"), Del(u"")})}},
        GoodCase{"Dwords",
                 kV5 + u"[HKCU\\K]\r\n\"a\"=dword:0000002a\r\n\"b\"=dword:2A\r\n\"c\"=dword:ffffffff\r\n"
                       u"\"d\"=dword: 1 ; one\r\n",
                 {K(u"HKEY_CURRENT_USER\\K", {Dw(u"a", 42), Dw(u"b", 42), Dw(u"c", 0xFFFFFFFF), Dw(u"d", 1)})}},
        GoodCase{"HexTypesKeepExactBytes",
                 kV5 + u"[HKCU\\K]\r\n\"e\"=hex:\r\n\"b\"=hex:01,2,ff\r\n\"n\"=hex(0):\r\n\"q\"=hex(b):01,00,00,00,00,"
                       u"00,00,00\r\n\"x\"=hex(FFFFFFFF):00\r\n\"z\"=hex(00000002):41,00\r\n\"o\"=hex(1):41\r\n"
                       u"\"d\"=hex(4):01,02,03\r\n\"c\"=hex:0a ; trailing comment\r\n\"t\"=hex:01,02,\r\n",
                 {K(u"HKEY_CURRENT_USER\\K",
                    {Raw(u"e", os::REG_BINARY, {}), Raw(u"b", os::REG_BINARY, {1, 2, 0xFF}), Raw(u"n", os::REG_NONE, {}),
                     Raw(u"q", os::REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}), Raw(u"x", 0xFFFFFFFF, {0}),
                     Raw(u"z", os::REG_EXPAND_SZ, {0x41, 0}), Raw(u"o", os::REG_SZ, {0x41}),
                     Raw(u"d", os::REG_DWORD, {1, 2, 3}), Raw(u"c", os::REG_BINARY, {10}),
                     Raw(u"t", os::REG_BINARY, {1, 2})})}},
        GoodCase{"HexContinuation",
                 kV5 + u"[HKCU\\K]\r\n\"a\"=hex:01,02,\\\r\n  03,\\\n\t04\r\n\"b\"=hex(7):\\\r\n\r\n; between\r\n"
                       u"  61,00,00,00,00,00\r\n\"c\"=hex:05,\\\r\n",
                 {K(u"HKEY_CURRENT_USER\\K", {Raw(u"a", os::REG_BINARY, {1, 2, 3, 4}),
                                              Raw(u"b", os::REG_MULTI_SZ, {0x61, 0, 0, 0, 0, 0}),
                                              Raw(u"c", os::REG_BINARY, {5})})}},
        GoodCase{"LooseLayout",
                 u"Windows Registry Editor Version 5.00\n; c\n\n   [HKCU\\K]   \n  \"a\" =\t\"b\"  ; c\r"
                 u"\t@=\"d\"\r\r[HKCU\\K]\n",
                 {K(u"HKEY_CURRENT_USER\\K", {Sz(u"a", u"b"), Sz(u"", u"d")}), K(u"HKEY_CURRENT_USER\\K")}},
        GoodCase{"Regedit4StringsBecomeUtf16",
                 kV4 + u"[HKLM\\K]\r\n\"s\"=\"plain\"\r\n\"e\"=hex(2):25,61,25,00\r\n\"n\"=hex(2):41,80\r\n"
                       u"\"m\"=hex(7):61,00,62,00,00\r\n\"z\"=hex(1):\r\n\"b\"=hex:80\r\n",
                 {K(u"HKEY_LOCAL_MACHINE\\K",
                    {Sz(u"s", u"plain"), Raw(u"e", os::REG_EXPAND_SZ, Utf16Z(u"%a%")),
                     Raw(u"n", os::REG_EXPAND_SZ, Utf16Z(u"A\u20AC")),
                     Raw(u"m", os::REG_MULTI_SZ, Utf16Z(std::u16string(u"a\0b\0", 4))), Raw(u"z", os::REG_SZ, {}),
                     Raw(u"b", os::REG_BINARY, {0x80})})},
                 true}),
    [](const ::testing::TestParamInfo<GoodCase>& info) { return std::string(info.param.name); });

TEST(RegTextParse, BlocksRememberTheirLine) {
    Document doc = Parse(kV5 + u"; c\r\n[HKCU\\A]\r\n\"x\"=hex:01,\\\r\n 02\r\n[-HKCU\\B]\r\n");
    ASSERT_EQ(doc.keys.size(), 2u);
    EXPECT_EQ(doc.keys[0].line, 4u);
    EXPECT_EQ(doc.keys[1].line, 7u);
}

// ---- what is refused, and where ----

struct BadCase {
    const char* name;
    std::u16string text;
    std::size_t line;
    const char* fragment;
};

class RegTextReject : public ::testing::TestWithParam<BadCase> {};

TEST_P(RegTextReject, NamesTheLine) {
    const BadCase& c = GetParam();
    try {
        Parse(c.text);
        FAIL() << "parsed without error";
    } catch (const RegFormatError& e) {
        EXPECT_EQ(e.line(), c.line) << e.what();
        std::string what = e.what();
        EXPECT_EQ(what.rfind("line " + std::to_string(c.line) + ": ", 0), 0u) << what;
        EXPECT_NE(what.find(c.fragment), std::string::npos) << what;
    }
}

const std::u16string kK = kV5 + u"[HKCU\\K]\r\n";  // values start on line 4

INSTANTIATE_TEST_SUITE_P(
    Cases, RegTextReject,
    ::testing::Values(
        BadCase{"Empty", u"", 1, "header"}, BadCase{"HeaderTrailingBlank", u"REGEDIT4 \r\n", 1, "header"},
        BadCase{"OtherVersion", u"REGEDIT5\r\n", 1, "header"},
        BadCase{"HeaderNotFirst", u"\r\nREGEDIT4\r\n", 1, "header"},
        BadCase{"HeaderCase", u"windows registry editor version 5.00\r\n", 1, "header"},
        BadCase{"UnknownRoot", kV5 + u"[HKEY_NOWHERE\\x]\r\n", 3, "unknown root key 'HKEY_NOWHERE'"},
        BadCase{"RootPrefixOnly", kV5 + u"[HKEY_CURRENT_USERS\\x]\r\n", 3, "unknown root"},
        BadCase{"BlankBeforeRoot", kV5 + u"[ HKCU\\x]\r\n", 3, "unknown root"},
        BadCase{"UnterminatedKey", kV5 + u"[HKCU\\x\r\n", 3, "unterminated key"},
        BadCase{"JunkAfterKey", kV5 + u"[HKCU\\x] y\r\n", 3, "junk after key line"},
        BadCase{"EmptyComponent", kV5 + u"[HKCU\\a\\\\b]\r\n", 3, "empty key name"},
        BadCase{"ValueBeforeAnyKey", kV5 + u"\"a\"=\"b\"\r\n", 3, "outside a key"},
        BadCase{"ValueUnderRemovedKey", kV5 + u"[-HKCU\\x]\r\n\"a\"=\"b\"\r\n", 4, "removed"},
        BadCase{"UnknownEscape", kK + u"\"a\"=\"\\q\"\r\n", 4, "bad escape '\\q'"},
        BadCase{"NulEscape", kK + u"\"a\\0\"=\"b\"\r\n", 4, "bad escape"},
        BadCase{"UnterminatedString", kK + u"\"a\"=\"abc\r\n\"b\"=\"c\"\r\n", 4, "unterminated"},
        BadCase{"BackslashEndsString", kK + u"\"a\"=\"abc\\\r\n", 4, "unterminated"},
        BadCase{"JunkAfterString", kK + u"\"a\"=\"b\" c\r\n", 4, "junk after the string"},
        BadCase{"MissingEquals", kK + u"\"a\" \"b\"\r\n", 4, "expected '='"},
        BadCase{"JunkAfterRemoval", kK + u"\"a\"=-1\r\n", 4, "junk after"},
        BadCase{"DwordNineDigits", kK + u"\"a\"=dword:000000001\r\n", 4, "more than 8"},
        BadCase{"DwordEmpty", kK + u"\"a\"=dword:\r\n", 4, "1 to 8 hex digits"},
        BadCase{"DwordJunk", kK + u"\"a\"=dword:12g\r\n", 4, "junk after the dword"},
        BadCase{"HexLetters", kK + u"\"a\"=hex:01,zz\r\n", 4, "bad hex byte 'zz'"},
        BadCase{"HexThreeDigits", kK + u"\"a\"=hex:123\r\n", 4, "bad hex byte '123'"},
        BadCase{"HexDoubleComma", kK + u"\"a\"=hex:01,,02\r\n", 4, "bad hex byte"},
        BadCase{"HexNoComma", kK + u"\"a\"=hex:01 02\r\n", 4, "expected ','"},
        BadCase{"BackslashWithoutComma", kK + u"\"a\"=hex:01\\\r\n  02\r\n", 4, "expected ','"},
        BadCase{"ErrorOnContinuationLine", kK + u"\"a\"=hex:01,\\\r\n  02,\\\r\n\r\n  zz\r\n", 7, "expected hex data"},
        BadCase{"BadByteOnContinuationLine", kK + u"\"a\"=hex:01,\\\r\n  02,0g\r\n", 5, "bad hex byte '0g'"},
        BadCase{"ContinuationIntoValue", kK + u"\"a\"=hex:01,\\\r\n\"b\"=dword:1\r\n", 5, "expected hex data"},
        BadCase{"HexTypePrefixed", kK + u"\"a\"=hex(0x2):00\r\n", 4, "bad value type"},
        BadCase{"HexTypeEmpty", kK + u"\"a\"=hex():00\r\n", 4, "bad value type"},
        BadCase{"HexTypeNoColon", kK + u"\"a\"=hex(2)00\r\n", 4, "bad value type"},
        BadCase{"HexTypeTooBig", kK + u"\"a\"=hex(100000000):00\r\n", 4, "32 bits"},
        BadCase{"UpperCaseType", kK + u"\"a\"=HEX:00\r\n", 4, "unknown value type"},
        BadCase{"UnknownType", kK + u"\"a\"=qword:1\r\n", 4, "unknown value type"},
        BadCase{"JunkLine", kK + u"\"a\"=\"b\"\r\nfoo=bar\r\n", 5, "unexpected text 'foo=bar'"},
        BadCase{"HashIsNoComment", kK + u"# note\r\n", 4, "unexpected text"},
        BadCase{"NulInText", kK + u"\"a\"=\"b" + std::u16string(1, u'\0') + u"\"\r\n", 4, "NUL"},
        BadCase{"NulAfterLastBreak", kK + std::u16string(u"\0", 1), 4, "NUL"},
        BadCase{"LoneCrCountsAsBreak", kV5 + u"[HKCU\\K]\r\"a\"=\"b\"\rjunk", 5, "unexpected text 'junk'"}),
    [](const ::testing::TestParamInfo<BadCase>& info) { return std::string(info.param.name); });

// Values up to the cap load; a value past it is bad input, not a huge
// allocation. REGEDIT4 string conversion doubles the bytes, so half the cap
// in ANSI is enough to cross it.
TEST(RegTextLimits, ValuePastTheCapIsRefused) {
    std::u16string text = kV4 + u"[HKCU\\K]\r\n\"a\"=hex(2):";
    std::size_t ansiBytes = kMaxValueBytes / 2;  // + the added NUL crosses the cap
    text.reserve(text.size() + ansiBytes * 2 + 8);
    for (std::size_t i = 0; i < ansiBytes; ++i) text += u"1,";
    text += u"\r\n";
    try {
        Parse(text);
        FAIL() << "parsed without error";
    } catch (const RegFormatError& e) {
        EXPECT_EQ(e.line(), 4u);
        EXPECT_NE(std::string(e.what()).find("16 MiB"), std::string::npos) << e.what();
    }
}

// ---- file bytes ----

TEST(RegTextBytes, Utf16WithBomMatchesTheText) {
    std::u16string text = kV5 + u"[HKCU\\\u4E2D\xD800]\r\n\"\xDC00n\"=\"\u00E9\U0001F600\"\r\n";
    Document doc = ParseBytes(ToUtf16LeWithBom(text));
    EXPECT_EQ(doc.keys, Parse(text).keys);
    ASSERT_EQ(doc.keys.size(), 1u);
    EXPECT_EQ(doc.keys[0].path, u"HKEY_CURRENT_USER\\\u4E2D\xD800");
}

TEST(RegTextBytes, Utf16OddLengthIsRefusedOnItsLine) {
    std::string bytes = ToUtf16LeWithBom(kV5 + u"[HKCU\\K]\r\n\"a\"=\"b\"");
    bytes.push_back('x');
    try {
        ParseBytes(bytes);
        FAIL() << "parsed without error";
    } catch (const RegFormatError& e) {
        EXPECT_EQ(e.line(), 4u) << e.what();
        EXPECT_NE(std::string(e.what()).find("odd"), std::string::npos) << e.what();
    }
}

TEST(RegTextBytes, Utf8WithBom) {
    Document doc = ParseBytes("\xEF\xBB\xBFREGEDIT4\r\n[HKCU\\K]\r\n\"caf\xC3\xA9\"=\"\xE2\x82\xAC\"\r\n");
    EXPECT_TRUE(doc.regedit4);
    EXPECT_EQ(doc.keys, std::vector<Key>{K(u"HKEY_CURRENT_USER\\K", {Sz(u"caf\u00E9", u"\u20AC")})});
}

TEST(RegTextBytes, AnsiUsesWindows1252IncludingItsGaps) {
    Document doc = ParseBytes("REGEDIT4\r\n[HKCU\\K]\r\n\"a\"=\"\x80\x81\x8D\x8F\x90\x9D\x9F\xA0\xE9\xFF\"\r\n");
    EXPECT_EQ(doc.keys, std::vector<Key>{K(u"HKEY_CURRENT_USER\\K",
                                           {Sz(u"a", u"\u20AC\u0081\u008D\u008F\u0090\u009D\u0178\u00A0\u00E9\u00FF")})});
}

TEST(RegTextBytes, Regedit4HexStringsFollowTheCodePage) {
    std::string file = "REGEDIT4\r\n[HKCU\\K]\r\n\"a\"=hex(2):e2,82,ac,00\r\n";
    EXPECT_EQ(ParseBytes(file, 65001).keys[0].values[0].data, Utf16Z(u"\u20AC"));
    EXPECT_EQ(ParseBytes(file, 1252).keys[0].values[0].data, Utf16Z(u"\u00E2\u201A\u00AC"));
    // A double-byte code page: the whole file and the hex data both decode through it.
    Document doc = ParseBytes("REGEDIT4\r\n[HKCU\\K]\r\n\"\x82\xA0\"=hex(2):82,a0\r\n", 932);
    EXPECT_EQ(doc.keys, std::vector<Key>{K(u"HKEY_CURRENT_USER\\K", {Raw(u"\u3042", 2, Utf16Z(u"\u3042"))})});
}

// ---- writing ----

TEST(RegTextWrite, ExportForm) {
    std::vector<Key> keys{
        K(u"HKCU\\Software\\T",
          {Sz(u"", u"d"), Sz(u"q\"\\", u"a\nb\rc"), Dw(u"n", 0x2A), Raw(u"b", os::REG_BINARY, {0, 0xAB}),
           Raw(u"e", os::REG_EXPAND_SZ, Utf16Z(u"%x%")), Raw(u"inner", os::REG_SZ, Utf16Z(std::u16string(u"a\0b", 3))),
           Raw(u"unterminated", os::REG_SZ, {0x41, 0}), Raw(u"odd", os::REG_SZ, {0x41, 0, 0}),
           Raw(u"short", os::REG_DWORD, {1, 2, 3}), Raw(u"big", 0x12AB, {}), Del(u"gone")}),
        Gone(u"HKLM\\SOFTWARE\\Old"),
        K(u"HKEY_USERS\\.DEFAULT"),
    };
    EXPECT_EQ(text::ToUtf8(Write(keys)),
              "Windows Registry Editor Version 5.00\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\T]\r\n"
              "@=\"d\"\r\n"
              "\"q\\\"\\\\\"=\"a\\nb\\rc\"\r\n"
              "\"n\"=dword:0000002a\r\n"
              "\"b\"=hex:00,ab\r\n"
              "\"e\"=hex(2):25,00,78,00,25,00,00,00\r\n"
              "\"inner\"=hex(1):61,00,00,00,62,00,00,00\r\n"
              "\"unterminated\"=hex(1):41,00\r\n"
              "\"odd\"=hex(1):41,00,00\r\n"
              "\"short\"=hex(4):01,02,03\r\n"
              "\"big\"=hex(12ab):\r\n"
              "\"gone\"=-\r\n"
              "\r\n"
              "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\r\n"
              "\r\n"
              "[HKEY_USERS\\.DEFAULT]\r\n"
              "\r\n");
}

TEST(RegTextWrite, LongHexWrapsWithin80Columns) {
    std::vector<std::uint8_t> data(300);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
    std::vector<Key> keys{K(u"HKEY_CURRENT_USER\\K", {Raw(u"Value", os::REG_BINARY, data), Raw(u"", 7, data)})};
    std::string out = text::ToUtf8(Write(keys));
    std::istringstream lines(out);
    std::string line;
    int continued = 0;
    while (std::getline(lines, line)) {
        ASSERT_FALSE(line.empty() || line.back() != '\r') << "line not ended by CR LF";
        line.pop_back();
        EXPECT_LE(line.size(), 80u) << line;
        if (line.starts_with("  ")) ++continued;
        if (line.ends_with("\\")) {
            EXPECT_TRUE(line.ends_with(",\\")) << line;
        }
    }
    EXPECT_GT(continued, 10);
    EXPECT_EQ(Parse(Write(keys)).keys, keys);
}

TEST(RegTextWrite, BytesAreUtf16WithBom) {
    std::vector<Key> keys{K(u"HKCU\\\u4E2D", {Sz(u"a", u"b")})};
    EXPECT_EQ(WriteBytes(keys), ToUtf16LeWithBom(Write(keys)));
}

struct Unwritable {
    const char* name;
    Key key;
};

class RegTextWriteRefuses : public ::testing::TestWithParam<Unwritable> {};

TEST_P(RegTextWriteRefuses, WhatTheFormatCannotHold) {
    EXPECT_THROW(Write({GetParam().key}), std::invalid_argument);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegTextWriteRefuses,
    ::testing::Values(Unwritable{"UnknownRoot", K(u"HKEY_NOWHERE\\x")}, Unwritable{"EmptyPath", K(u"")},
                      Unwritable{"EmptyComponent", K(u"HKCU\\a\\\\b")},
                      Unwritable{"LineBreakInPath", K(u"HKCU\\a\nb")},
                      Unwritable{"NulInPath", K(std::u16string(u"HKCU\\a\0b", 8))},
                      Unwritable{"NulInValueName", K(u"HKCU\\a", {Sz(std::u16string(u"x\0y", 3), u"v")})},
                      Unwritable{"ValuesUnderRemoval", Key{u"HKCU\\a", true, {Sz(u"x", u"v")}, 0}}),
    [](const ::testing::TestParamInfo<Unwritable>& info) { return std::string(info.param.name); });

// ---- round trip: whatever Write produces, Parse gives back ----

std::vector<Key> TrickyDocument() {
    std::vector<std::uint8_t> huge(1 << 20);
    std::uint32_t x = 12345;
    for (auto& b : huge) b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    std::vector<Value> allTypes;
    for (os::DWORD t : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 0x12345678u, 0xFFFFFFFFu})
        allTypes.push_back(Raw(u"t" + text::FromAscii(std::to_string(t)), t, {1, 0, 2}));
    return {
        K(u"HKEY_CURRENT_USER\\Software\\R",
          {Sz(u"", u"default"), Raw(u"inner nuls", os::REG_SZ, Utf16Z(std::u16string(u"a\0\0b\0", 5))),
           Raw(u"odd", os::REG_SZ, {0x41, 0, 0x42}), Raw(u"one byte", os::REG_EXPAND_SZ, {0}),
           Raw(u"empty sz", os::REG_SZ, {}), Sz(u"lone \xD800 high", u"x\xDC00y"),
           Sz(u"\"=]\\;@", u"line\r\nbreaks \"and\" \\slashes\\ ;"), Raw(u"dword 0", os::REG_DWORD, {}),
           Raw(u"dword 5", os::REG_DWORD, {1, 2, 3, 4, 5}), Dw(u"dword", 0x80000001u), Del(u"removed"),
           Raw(u"huge", os::REG_BINARY, huge), Raw(std::u16string(300, u'n'), os::REG_BINARY, {1, 2, 3})}),
        K(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\x]y\\ lead and trail \\\xDBFF", allTypes),
        Gone(u"HKEY_CLASSES_ROOT\\gone"),
        K(u"HKEY_CURRENT_CONFIG"),
        K(u"HKEY_USERS\\S-1-5-18", {Del(u"")}),
    };
}

TEST(RegTextRoundTrip, TextAndBytesGiveBackTheKeys) {
    const std::vector<Key> keys = TrickyDocument();
    Document fromText = Parse(Write(keys));
    EXPECT_FALSE(fromText.regedit4);
    ASSERT_EQ(fromText.keys.size(), keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(fromText.keys[i], keys[i]) << "key " << i;
    EXPECT_EQ(ParseBytes(WriteBytes(keys)).keys, keys);
}

// ---- fixtures as stored on disk ----

TEST(RegTextFixtures, ExportIsExactlyWhatWriteProduces) {
    std::string file = ReadFixture("export-v5.reg");
    Document doc = ParseBytes(file);
    ASSERT_EQ(doc.keys.size(), 3u);
    const Key& k = doc.keys[0];
    ASSERT_EQ(k.values.size(), 10u);
    EXPECT_EQ(k.values[1], Sz(u"Path", u"C:\\Program Files\\Fixture\\app.exe"));
    EXPECT_EQ(k.values[4].data.size(), 32u);
    EXPECT_EQ(k.values[5], Raw(u"Expand", os::REG_EXPAND_SZ, Utf16Z(u"%SystemRoot%\\x")));
    EXPECT_TRUE(doc.keys[1].remove);
    EXPECT_EQ(text::ToUtf8(Write(doc.keys)), file);
    // The same export as regedit saves it: UTF-16LE with a BOM.
    std::string wide = ReadFixture("export-v5-utf16.reg");
    EXPECT_EQ(ParseBytes(wide).keys, doc.keys);
    EXPECT_EQ(WriteBytes(doc.keys), wide);
}

TEST(RegTextFixtures, AnsiRegedit4) {
    Document doc = ParseBytes(ReadFixture("ansi-regedit4.reg"));
    EXPECT_TRUE(doc.regedit4);
    EXPECT_EQ(doc.keys, std::vector<Key>{K(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Tallowmend Fixture",
                                           {Sz(u"Caf\u00E9", u"\u20AC 5"), Raw(u"Expand", 2, Utf16Z(u"%windir%\\a")),
                                            Raw(u"NoNul", 2, Utf16Z(u"ab")),
                                            Raw(u"Multi", 7, Utf16Z(std::u16string(u"a\0b\0", 4))),
                                            Raw(u"Raw", 3, {0x80, 0x81})})});
}

TEST(RegTextFixtures, HandWritten) {
    Document doc = ParseBytes(ReadFixture("hand-written.reg"));
    EXPECT_EQ(doc.keys, std::vector<Key>{K(u"HKEY_CURRENT_USER\\Software\\Tallowmend Fixture\\Hand",
                                           {Sz(u"Spaced", u"value"), Dw(u"", 0x1F),
                                            Raw(u"Wrapped", 3, {1, 2, 3, 4}), Raw(u"Tail", 0, {0xFF})})});
}

}  // namespace

#endif  // _WIN32
