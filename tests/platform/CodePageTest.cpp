// Conversions between UTF-16 and the ANSI code pages the program meets:
// 1252 with its best-fit fallbacks, 932 with double-byte characters, UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "platform/os/WinApi.h"
#include "support/SeamTest.h"

#ifndef _WIN32
#include "platform/emul/Machine.h"
#endif

namespace {

class CodePageTest : public testsupport::SeamTest {};

std::string ToAnsi(os::UINT codePage, std::u16string_view text, os::DWORD flags = 0, const char* defaultChar = nullptr,
                   os::BOOL* usedDefault = nullptr) {
    auto n = os::WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                     defaultChar, usedDefault);
    std::string out(static_cast<std::size_t>(n), '\0');
    EXPECT_EQ(os::WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), out.data(), n,
                                      defaultChar, usedDefault),
              n);
    return out;
}

std::u16string FromAnsi(os::UINT codePage, std::string_view bytes, os::DWORD flags = 0) {
    auto n = os::MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::u16string out(static_cast<std::size_t>(n > 0 ? n : 0), u'\0');
    if (n > 0) {
        EXPECT_EQ(os::MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), out.data(), n),
                  n);
    }
    return out;
}

constexpr char16_t kMixed[] = u"A\u00E9\u0141\u0101\u20AC\u4E2D\u2013\u201CZ";  // A é Ł ā € 中 – “ Z

TEST_F(CodePageTest, Western1252UsesBestFitAndReportsTheRest) {
    os::BOOL usedDefault = os::FALSE;
    EXPECT_EQ(ToAnsi(1252, kMixed, 0, nullptr, &usedDefault), "A\xE9La\x80?\x96\x93Z");
    EXPECT_TRUE(usedDefault);
    EXPECT_EQ(ToAnsi(1252, kMixed, os::WC_NO_BEST_FIT_CHARS), "A\xE9??\x80?\x96\x93Z");
    EXPECT_EQ(ToAnsi(1252, kMixed, 0, "#"), "A\xE9La\x80#\x96\x93Z");
    EXPECT_EQ(ToAnsi(1252, u"plain", 0, nullptr, &usedDefault), "plain");
    EXPECT_FALSE(usedDefault);
}

TEST_F(CodePageTest, Western1252RoundTripsEveryByte) {
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    auto wide = FromAnsi(1252, all);
    ASSERT_EQ(wide.size(), all.size());
    EXPECT_EQ(wide[0x80 - 1], u'\u20AC');
    EXPECT_EQ(wide[0x9F - 1], u'\u0178');
    EXPECT_EQ(wide[0xE9 - 1], u'\u00E9');
    EXPECT_EQ(ToAnsi(1252, wide, os::WC_NO_BEST_FIT_CHARS), all);
}

TEST_F(CodePageTest, SizesFollowWindows) {
    // -1: up to and including the terminator, which is counted.
    EXPECT_EQ(os::WideCharToMultiByte(1252, 0, u"abc", -1, nullptr, 0, nullptr, nullptr), 4);
    char out[8] = "zzzzzzz";
    EXPECT_EQ(os::WideCharToMultiByte(1252, 0, u"abc", -1, out, 8, nullptr, nullptr), 4);
    EXPECT_STREQ(out, "abc");
    EXPECT_EQ(os::WideCharToMultiByte(1252, 0, u"abcdef", 6, out, 3, nullptr, nullptr), 0);
    EXPECT_EQ(os::GetLastError(), os::ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(os::WideCharToMultiByte(1252, 0, u"abc", 0, out, 8, nullptr, nullptr), 0);
    EXPECT_EQ(os::GetLastError(), os::ERROR_INVALID_PARAMETER);

    EXPECT_EQ(os::MultiByteToWideChar(1252, 0, "abc", -1, nullptr, 0), 4);
    char16_t wide[2];
    EXPECT_EQ(os::MultiByteToWideChar(1252, 0, "abc", 3, wide, 2), 0);
    EXPECT_EQ(os::GetLastError(), os::ERROR_INSUFFICIENT_BUFFER);
}

TEST_F(CodePageTest, UnpairedSurrogatesBecomeTheDefaultCharacter) {
    os::BOOL usedDefault = os::FALSE;
    const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00, 0};
    EXPECT_EQ(ToAnsi(1252, lone, 0, nullptr, &usedDefault), "a?b?");
    EXPECT_TRUE(usedDefault);
    // UTF-8 cannot carry them either: U+FFFD takes their place.
    EXPECT_EQ(ToAnsi(os::CP_UTF8, lone), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
    EXPECT_EQ(ToAnsi(os::CP_UTF8, u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST_F(CodePageTest, Japanese932HandlesDoubleBytes) {
    EXPECT_EQ(ToAnsi(932, u"\u65E5\u672C\\A"), "\x93\xFA\x96\x7B\\A");
    EXPECT_EQ(ToAnsi(932, u"\uFF71"), "\xB1");  // half-width katakana: one byte
    os::BOOL usedDefault = os::FALSE;
    EXPECT_EQ(ToAnsi(932, u"x\uAC00y", 0, nullptr, &usedDefault), "x?y");  // Hangul is not in 932
    EXPECT_TRUE(usedDefault);
    EXPECT_EQ(FromAnsi(932, "\x93\xFA\x96\x7B\xB1" "a"), u"\u65E5\u672C\uFF71a");
    // A lead byte without its trail byte is not a character.
    EXPECT_EQ(os::MultiByteToWideChar(932, os::MB_ERR_INVALID_CHARS, "a\x93", 2, nullptr, 0), 0);
    EXPECT_EQ(os::GetLastError(), os::ERROR_NO_UNICODE_TRANSLATION);
}

TEST_F(CodePageTest, Utf8RejectsMalformedInputOnRequest) {
    EXPECT_EQ(FromAnsi(os::CP_UTF8, "\xC3\xA9"), u"\u00E9");
    EXPECT_EQ(os::MultiByteToWideChar(os::CP_UTF8, os::MB_ERR_INVALID_CHARS, "a\xC3", 2, nullptr, 0), 0);
    EXPECT_EQ(os::GetLastError(), os::ERROR_NO_UNICODE_TRANSLATION);
    EXPECT_EQ(FromAnsi(os::CP_UTF8, "a\xC3"), u"a\uFFFD");
}

#ifndef _WIN32
TEST_F(CodePageTest, AnsiCodePageFollowsTheMachine) {
    EXPECT_EQ(ToAnsi(os::CP_ACP, u"\u00E9"), "\xE9");
    emul::SetCodePage(932);
    EXPECT_EQ(ToAnsi(os::CP_ACP, u"\u65E5"), "\x93\xFA");
    EXPECT_EQ(ToAnsi(os::CP_ACP, u"\u0141"), "?");
    EXPECT_EQ(FromAnsi(os::CP_ACP, "\x93\xFA"), u"\u65E5");
}
#endif

}  // namespace
