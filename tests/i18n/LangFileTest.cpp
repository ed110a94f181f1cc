#include <gtest/gtest.h>

#include "i18n/LangError.h"
#include "i18n/LangFile.h"
#include "platform/Text.h"

namespace i18n {
namespace {

TLangCompTranslations Parse(std::u16string_view text, bool paramsOnly = false) {
    TLangCompTranslations t;
    ParseLangText(text, paramsOnly, t);
    return t;
}

std::u16string ErrorOf(std::u16string_view text) {
    try {
        Parse(text);
    } catch (const ELangError& e) {
        return e.Message();
    }
    return u"<no error>";
}

constexpr std::u16string_view kRussian =
    u"; translation\r\n"
    u"LANGID = 1049\r\n"
    u"Author=someone\n"
    u"author = \n"  // an empty value removes the parameter
    u"\r\n"
    u"[$Constants]\r\n"
    u"Empty_key = Pusto\\t\\\\x\\n\r"
    u"  [ MainForm ]  \r\n"
    u"1=Title\r\n"
    u"0=ignored\r\n"
    u"-3=ignored\r\n"
    u"no equals sign\r\n"
    u"=no name\r\n"
    u"[x\r\n"  // not a header: stays in MainForm
    u"7 = Seven = with equals\r\n"
    u"[Other]\r\n"
    u"2=other\r\n"
    u"[MAINFORM]\r\n"
    u"8=merged\r\n";

TEST(LangFileText, SectionsParametersAndConstants) {
    auto t = Parse(kRussian);
    EXPECT_EQ(t.LangID(), 1049);
    EXPECT_EQ(t.Param(u"langid"), u"1049");
    EXPECT_FALSE(t.Param(u"Author").has_value());
    ASSERT_EQ(t.FConstants.Count(), 1u);
    EXPECT_EQ(t.FConstants.Find(u"EMPTY_KEY")->wsValue, u"Pusto\t\\x\r\n");
    ASSERT_EQ(t.FSections.size(), 2u);
    const auto* form = t.FindSection(u"mainform");
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(form->Items.size(), 3u);
    EXPECT_EQ(form->Find(1)->wsText, u"Title");
    EXPECT_EQ(form->Find(7)->wsText, u"Seven = with equals");
    EXPECT_EQ(form->Find(8)->wsText, u"merged");
    EXPECT_EQ(form->Find(0), nullptr);
    EXPECT_EQ(t.FindSection(u"Other")->Find(2)->wsText, u"other");
}

TEST(LangFileText, ParameterPartStopsAtAnyBracketLine) {
    auto t = Parse(u"LANGID=1049\r\n[not a header\r\nLANGID=1031\r\n[$CONSTANTS]\r\n9bad=x\r\n", true);
    EXPECT_EQ(t.LangID(), 1049);
    EXPECT_TRUE(t.FConstants.Count() == 0);
}

TEST(LangFileText, LangIdValues) {
    const std::pair<const char16_t*, os::LANGID> cases[] = {
        {u"LANGID=1049", 1049}, {u"LANGID=abc", 0},           {u"", 0},
        {u"LANGID=66585", 1049}, {u"LANGID=-1", 65535},        {u"LANGID=99999999999", 0},
        {u"langid = 1031 ", 1031}, {u"LANGID=1049\nLANGID=1031", 1031},
    };
    for (const auto& [text, id] : cases) EXPECT_EQ(Parse(text).LangID(), id) << text::ToUtf8(text);
}

TEST(LangFileText, Unescaping) {
    const std::vector<std::pair<std::u16string, std::u16string>> cases = {
        {u"a\\\\b", u"a\\b"}, {u"\\n", u"\r\n"},     {u"\\t", u"\t"},       {u"\\65\\09", u"A\t"},
        {u"\\6x", u"\\6x"},   {u"\\x", u"\\x"},      {u"end\\", u"end\\"}, {u"\\\\n", u"\\n"},
        {u"\\00", std::u16string(1, u'\0')},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(UnescapeLangText(in), out) << text::ToUtf8(in);
}

TEST(LangFileText, LineErrorsNameTheZeroBasedLine) {
    EXPECT_EQ(ErrorOf(u"LANGID=1049\r\n[$CONSTANTS]\r\n\r\n9lives=x\r\n"),
              u"Loading translations failed.\r\nLine 3: Invalid constant name (\"9lives\")");
    EXPECT_EQ(ErrorOf(u"[$CONSTANTS]\nA=1\na=2\n"),
              u"Loading translations failed.\r\nLine 2: Duplicate constant name (\"a\")");
    EXPECT_EQ(ErrorOf(u"[MainForm]\r\nCaption=x\r\n"),
              u"Loading translations failed.\r\nLine 1: 'Caption' is not a valid integer value");
}

TEST(LangFileBytes, ByteOrderMarksSelectTheEncoding) {
    const std::vector<std::uint8_t> utf8 = {0xEF, 0xBB, 0xBF, 'A', '=', 0xD0, 0x96};
    const std::vector<std::uint8_t> utf16le = {0xFF, 0xFE, 'A', 0, '=', 0, 0x16, 0x04};
    const std::vector<std::uint8_t> utf16be = {0xFE, 0xFF, 0, 'A', 0, '=', 0x04, 0x16, 0x00};  // odd byte dropped
    EXPECT_EQ(DecodeLangFileBytes(utf8), u"A=\u0416");
    EXPECT_EQ(DecodeLangFileBytes(utf16le), u"A=\u0416");
    EXPECT_EQ(DecodeLangFileBytes(utf16be), u"A=\u0416");
    EXPECT_EQ(DecodeLangFileBytes(std::vector<std::uint8_t>{'x', '=', 'y'}), u"x=y");
    EXPECT_EQ(DecodeLangFileBytes({}), u"");
}

}  // namespace
}  // namespace i18n
