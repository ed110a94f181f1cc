#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "i18n/Format.h"
#include "i18n/LangError.h"
#include "platform/Text.h"

namespace i18n {
namespace {

struct FormatCase {
    const char16_t* format;
    std::vector<FormatArg> args;
    const char16_t* expected;
};

class FormatTable : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatTable, Formats) {
    const auto& c = GetParam();
    EXPECT_EQ(text::ToUtf8(Format(c.format, std::span<const FormatArg>(c.args))), text::ToUtf8(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Placeholders, FormatTable,
    ::testing::Values(FormatCase{u"Value \"%s\" at %s\\%s", {u"name", u"HKEY_LOCAL_MACHINE", u"SOFTWARE\\X"},
                                 u"Value \"name\" at HKEY_LOCAL_MACHINE\\SOFTWARE\\X"},
                      FormatCase{u"Registry problems: %d problems", {42}, u"Registry problems: 42 problems"},
                      FormatCase{u"%d%%", {-7}, u"-7%"}, FormatCase{u"100%%", {}, u"100%"},
                      // An argument's own percent signs are data, not placeholders.
                      FormatCase{u"Invalid data: %s", {u"50%s%d"}, u"Invalid data: 50%s%d"},
                      FormatCase{u"%1:s-%0:s-%s", {u"a", u"b"}, u"b-a-b"},
                      FormatCase{u"[%5s|%-4d|%.3d|%.2s]", {u"ab", 7, 5, u"xyz"}, u"[   ab|7   |005|xy]"},
                      FormatCase{u"%x %u", {255, -1}, u"FF 4294967295"}));

TEST(Format, BadPlaceholdersRaiseInsteadOfPrintingGarbage) {
    const std::vector<std::pair<const char16_t*, std::vector<FormatArg>>> bad = {
        {u"%s %s", {u"only one"}},  // too few arguments
        {u"%d", {u"text"}},         // wrong kind
        {u"%s", {5}},
        {u"%q", {u"x"}},  // unknown type
        {u"50%", {1}},    // dangling percent
    };
    for (const auto& [format, args] : bad) {
        try {
            Format(format, std::span<const FormatArg>(args));
            ADD_FAILURE() << "no error for " << text::ToUtf8(format);
        } catch (const ELangError& e) {
            EXPECT_EQ(e.Message(), u"Format '" + std::u16string(format) + u"' invalid or incompatible with argument");
        }
    }
}

}  // namespace
}  // namespace i18n
