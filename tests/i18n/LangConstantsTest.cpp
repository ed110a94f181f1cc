#include <gtest/gtest.h>

#include "StreamBuilder.h"
#include "i18n/LangConstants.h"
#include "i18n/LangError.h"
#include "platform/Text.h"

namespace i18n {
namespace {

using testing::StreamBuilder;

std::u16string ErrorOf(const std::vector<std::uint8_t>& stream) {
    TLangConstants table;
    try {
        table.LoadFromStream(stream);
    } catch (const ELangError& e) {
        return e.Message();
    }
    return u"<no error>";
}

const std::vector<std::pair<std::u16string, std::u16string>> kPairs = {
    {u"Warning", u"Warning"}, {u"at_key", u"at key"}, {u"Reg_value_desc", u"Value \"%s\" at %s\\%s"}};

class StreamVersions : public ::testing::TestWithParam<int> {};

TEST_P(StreamVersions, ReadsNamesAndTextsSortedWithoutCase) {
    TLangConstants table([] { return os::LANGID{1033}; });
    table.LoadFromStream(StreamBuilder::Table(GetParam(), kPairs));
    ASSERT_EQ(table.Count(), 3u);
    EXPECT_EQ(table[0].wsName, u"at_key");
    EXPECT_EQ(table[1].wsName, u"Reg_value_desc");
    EXPECT_EQ(table[2].wsName, u"Warning");
    ASSERT_NE(table.Find(u"REG_VALUE_DESC"), nullptr);
    EXPECT_EQ(table.Find(u"reg_value_desc")->wsValue, u"Value \"%s\" at %s\\%s");
    EXPECT_EQ(table.Find(u"AT_KEY")->wsDefValue, u"at key");
    EXPECT_TRUE(table.AutoSaveLangSource());
}

INSTANTIATE_TEST_SUITE_P(AllVersions, StreamVersions, ::testing::Values(0, 1, 2, 3));

TEST(LangConstantsStream, OldVersionsTakeTheFlagFromTheVersionByte) {
    TLangConstants table;
    table.LoadFromStream(StreamBuilder::Table(0, kPairs, /*autoSave=*/false));
    EXPECT_FALSE(table.AutoSaveLangSource());
    EXPECT_EQ(table.Count(), 3u);
}

TEST(LangConstantsStream, TrailingBytesAfterTheLastPairAreIgnored) {
    auto stream = StreamBuilder::Table(3, kPairs);
    stream.push_back(0);
    stream.push_back(0);
    TLangConstants table;
    table.LoadFromStream(stream);
    EXPECT_EQ(table.Count(), 3u);
}

TEST(LangConstantsStream, NewerVersionIsRefused) {
    auto stream = StreamBuilder::Table(3, kPairs);
    for (int version : {4, 255}) {
        stream[0] = static_cast<std::uint8_t>(version);
        EXPECT_EQ(ErrorOf(stream), u"Stream version (" + text::FromAscii(std::to_string(version)) +
                                       u") is greater than the current one (3)");
    }
}

TEST(LangConstantsStream, EveryTruncationIsAReadErrorAndKeepsTheTable) {
    auto full = StreamBuilder::Table(3, kPairs);
    TLangConstants table;
    table.Add(u"Kept", u"kept text");
    for (std::size_t size = 0; size < full.size(); ++size) {
        std::vector<std::uint8_t> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size));
        try {
            table.LoadFromStream(cut);
            ADD_FAILURE() << "truncated at " << size << " bytes was accepted";
        } catch (const ELangError& e) {
            EXPECT_EQ(e.Message(), u"Stream read error") << "at " << size;
        }
        ASSERT_EQ(table.Count(), 1u);
        EXPECT_EQ(table[0].wsName, u"Kept");
    }
}

TEST(LangConstantsStream, HugeCountsAndLengthsNeedTheBytesToBeThere) {
    // A count of two billion pairs, then nothing: must fail fast, not allocate.
    EXPECT_EQ(ErrorOf(StreamBuilder().Byte(3).Byte(1).Int32(0x7FFFFFFF).bytes), u"Stream read error");
    // A name claiming 65535 units with four bytes behind it.
    EXPECT_EQ(ErrorOf(StreamBuilder().Byte(3).Byte(1).Int32(1).Word(0xFFFF).Word('a').Word('b').bytes),
              u"Stream read error");
}

TEST(LangConstantsStream, NegativeCountIsAnEmptyTable) {
    TLangConstants table;
    table.LoadFromStream(StreamBuilder().Byte(3).Byte(0).Int32(-5).bytes);
    EXPECT_EQ(table.Count(), 0u);
}

TEST(LangConstantsStream, BadAndDuplicateNamesAreRefused) {
    EXPECT_EQ(ErrorOf(StreamBuilder::Table(3, {{u"9lives", u"x"}})), u"Invalid constant name (\"9lives\")");
    EXPECT_EQ(ErrorOf(StreamBuilder::Table(3, {{u"", u"x"}})), u"Invalid constant name (\"\")");
    EXPECT_EQ(ErrorOf(StreamBuilder::Table(3, {{u"has space", u"x"}})), u"Invalid constant name (\"has space\")");
    EXPECT_EQ(ErrorOf(StreamBuilder::Table(3, {{u"Empty_key", u"a"}, {u"EMPTY_KEY", u"b"}})),
              u"Duplicate constant name (\"EMPTY_KEY\")");
}

TEST(LangConstants, IdentifiersAndAsciiOnlyFolding) {
    EXPECT_TRUE(IsValidIdent(u"_x1"));
    EXPECT_TRUE(IsValidIdent(u"Invalid_data_"));
    EXPECT_FALSE(IsValidIdent(u"a-b"));
    EXPECT_FALSE(IsValidIdent(u"\u00e9t\u00e9"));
    EXPECT_EQ(CompareNameNoCase(u"ABC", u"abc"), 0);
    // Only A-Z fold: non-ASCII letters keep their case.
    EXPECT_NE(CompareNameNoCase(u"\u00c9", u"\u00e9"), 0);
    // Underscore sorts between the cases as it does after folding to lower.
    EXPECT_LT(CompareNameNoCase(u"Reg_value", u"Registry"), 0);
}

}  // namespace
}  // namespace i18n
