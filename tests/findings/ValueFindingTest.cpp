#include <gtest/gtest.h>

#include "backups/BackupsManagerUnit.h"
#include "findings/CleanerRegValueProduct.h"
#include "findings/FindingTestSupport.h"
#include "findings/RestoreDispatch.h"
#ifndef _WIN32
#include "platform/emul/Machine.h"
#endif

using namespace findings;
using findingtest::Utf16Bytes;
using journaltest::ReadBytes;

namespace {

struct ValueCase {
    const char* label;
    const char16_t* name;
    os::DWORD type;
    std::string bytes;
};

class ValueRoundTrip : public findingtest::FindingTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(ValueRoundTrip, BackupSolveRestore) {
    const auto& c = GetParam();
    auto key = ScratchKey() + u"\\Run";
    SetValue(os::HKEY_CURRENT_USER, key, c.name, c.type, c.bytes);
    backups::TBackupsManager journal;
    TCleanerRegValueProduct finding(os::HKEY_CURRENT_USER, key, c.name, u"reason", platform::RegView::Default());
    finding.Solve(&journal);
    EXPECT_EQ(GetValue(os::HKEY_CURRENT_USER, key, c.name).first, 0u) << "value still there";

    std::string expected(8, '\0');
    expected[0] = static_cast<char>(c.type);
    expected[4] = static_cast<char>(c.bytes.size());
    EXPECT_EQ(ReadBytes(Data() + u"backuped\\0\\backuped_value.dat"), expected + c.bytes);

    ASSERT_EQ(journal.BackupsCount(), 1);
    EXPECT_EQ(journal.GetBackupedString(0, u"Value"), c.name);
    ASSERT_TRUE(RestoreBackupEntry(journal, 0));
    // Byte for byte, whatever the type: the value as it was deleted.
    auto back = GetValue(os::HKEY_CURRENT_USER, key, c.name);
    EXPECT_EQ(back.first, c.type);
    EXPECT_EQ(back.second, c.bytes);
    EXPECT_EQ(journal.BackupsCount(), 1);  // the entry stays
}

INSTANTIATE_TEST_SUITE_P(
    Types, ValueRoundTrip,
    ::testing::Values(ValueCase{"Sz", u"Bar", os::REG_SZ, Utf16Bytes(std::u16string(u"ab\0", 3))},
                      ValueCase{"DefaultValue", u"", os::REG_SZ, Utf16Bytes(std::u16string(u"x\0", 2))},
                      ValueCase{"SzWithTextAfterItsZeroAndNoTerminator", u"T", os::REG_SZ,
                                Utf16Bytes(std::u16string(u"ab\0cd", 5))},
                      ValueCase{"ExpandStaysUnexpanded", u"E", os::REG_EXPAND_SZ,
                                Utf16Bytes(std::u16string(u"%SystemRoot%\\a.dll\0", 19))},
                      ValueCase{"MultiWhole", u"M", os::REG_MULTI_SZ,
                                Utf16Bytes(std::u16string(u"one\0two\0\0", 9))},
                      ValueCase{"Binary", u"B", os::REG_BINARY, std::string("\x00\x01\xFF\x7F", 4)},
                      ValueCase{"Dword258", u"D", os::REG_DWORD, std::string("\x02\x01\x00\x00", 4)},
                      ValueCase{"Qword", u"Q", os::REG_QWORD, std::string(8, '\x05')},
                      ValueCase{"NoneEmpty", u"N", os::REG_NONE, std::string()}),
    [](const auto& info) { return std::string(info.param.label); });

class ValueFinding : public findingtest::FindingTest {};

TEST_F(ValueFinding, DescriptionAndJournalEntry) {
    backups::TBackupsManager journal;
    auto key = ScratchKey() + u"\\Foo";
    SetValue(os::HKEY_CURRENT_USER, key, u"Bar", os::REG_SZ, Utf16Bytes(std::u16string(u"a\0", 2)));
    TCleanerRegValueProduct finding(os::HKEY_CURRENT_USER, key, u"Bar", u"r", platform::RegView::Default());
    EXPECT_EQ(finding.GetDescription(), u"Value \"Bar\" at HKEY_CURRENT_USER\\" + key);
    finding.Solve(&journal);
    journal.BackupsCount();
    EXPECT_EQ(journal.GetBackupedString(0, u"Type"), u"TCleanerRegValueProduct");
    EXPECT_EQ(journal.GetBackupedString(0, u"BackupFolder"), u"0");
    EXPECT_EQ(journal.GetBackupedInteger(0, u"RootKey"), -2147483647);
    EXPECT_EQ(journal.GetBackupedString(0, u"Key"), key);
    EXPECT_FALSE(journal.GetBackupedString(0, u"Time").empty());
    EXPECT_EQ(journal.GetBackupedString(0, u"View"), u"");  // default view: no key
}

TEST_F(ValueFinding, The64BitViewFindingTouchesOnlyThe64BitValueAndRestoresThere) {
    auto key = MachineScratchKey();
    auto data = Utf16Bytes(std::u16string(u"v\0", 2));
    SetValue(os::HKEY_LOCAL_MACHINE, key, u"Twin", os::REG_SZ, data, os::KEY_WOW64_64KEY);
    SetValue(os::HKEY_LOCAL_MACHINE, key, u"Twin", os::REG_SZ, data, os::KEY_WOW64_32KEY);
    backups::TBackupsManager journal;
    TCleanerRegValueProduct finding(os::HKEY_LOCAL_MACHINE, key, u"Twin", u"r", platform::RegView::Wow64_64());
    platform::RegistryViewFlag = 0;  // the pass ended: the finding keeps its own view
    finding.Solve(&journal);
    EXPECT_EQ(GetValue(os::HKEY_LOCAL_MACHINE, key, u"Twin", os::KEY_WOW64_64KEY).first, 0u);
    EXPECT_EQ(GetValue(os::HKEY_LOCAL_MACHINE, key, u"Twin", os::KEY_WOW64_32KEY).first, os::REG_SZ);

    journal.BackupsCount();
    EXPECT_EQ(journal.GetBackupedInteger(0, u"View"), 0x100);
    platform::RegKey k32;
    ASSERT_EQ(k32.Open(os::HKEY_LOCAL_MACHINE, key, os::KEY_ALL_ACCESS, platform::RegView(os::KEY_WOW64_32KEY)),
              os::ERROR_SUCCESS);
    k32.DeleteValue(u"Twin");
    k32.Close();
    TCleanerRegValueProduct::RestoreBackup(journal, 0);
    EXPECT_EQ(GetValue(os::HKEY_LOCAL_MACHINE, key, u"Twin", os::KEY_WOW64_64KEY).second, data);
    EXPECT_EQ(GetValue(os::HKEY_LOCAL_MACHINE, key, u"Twin", os::KEY_WOW64_32KEY).first, 0u);
}

TEST_F(ValueFinding, TakesTheViewOfThePassItWasMadeIn) {
    platform::RegistryViewFlag = 0x100;
    TCleanerRegValueProduct finding(os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\X", u"v", u"r");
    platform::RegistryViewFlag = 0;
    EXPECT_EQ(finding.View(), platform::RegView::Wow64_64());
}

TEST_F(ValueFinding, AWriteDeniedKeyIsUnlockedForTheDeletionAndLockedAgain) {
    if (!testsupport::Native()) GTEST_SKIP() << "denying a key needs the emulated machine";
#ifndef _WIN32
    auto key = ScratchKey() + u"\\Locked";
    SetValue(os::HKEY_CURRENT_USER, key, u"V", os::REG_SZ, Utf16Bytes(std::u16string(u"a\0", 2)));
    SetValue(os::HKEY_CURRENT_USER, key, u"W", os::REG_SZ, Utf16Bytes(std::u16string(u"a\0", 2)));
    emul::DenyKeyAccess(u"HKEY_CURRENT_USER\\" + key, false, true);
    TCleanerRegValueProduct finding(os::HKEY_CURRENT_USER, key, u"V", u"r", platform::RegView::Default());
    finding.Solve(nullptr);
    EXPECT_EQ(GetValue(os::HKEY_CURRENT_USER, key, u"V").first, 0u);
    // The denial is back: a plain write still fails.
    platform::RegistryDeleteValue(os::HKEY_CURRENT_USER, key, u"W");
    EXPECT_EQ(GetValue(os::HKEY_CURRENT_USER, key, u"W").first, os::REG_SZ);
#endif
}

TEST_F(ValueFinding, AMissingBackupFolderKeepsTheValue) {
    backups::TBackupsManager journal;
    testsupport::RemoveFolderTree(Data() + u"backuped");
    auto key = ScratchKey() + u"\\K";
    SetValue(os::HKEY_CURRENT_USER, key, u"V", os::REG_SZ, Utf16Bytes(std::u16string(u"a\0", 2)));
    TCleanerRegValueProduct finding(os::HKEY_CURRENT_USER, key, u"V", u"r", platform::RegView::Default());
    EXPECT_NO_THROW(finding.Solve(&journal));
    EXPECT_EQ(GetValue(os::HKEY_CURRENT_USER, key, u"V").first, os::REG_SZ);
    EXPECT_EQ(journal.BackupsCount(), 1);  // the entry keeps what was written
}

TEST_F(ValueFinding, ATruncatedValueFileFailsClearlyAndWritesNothing) {
    backups::TBackupsManager journal;
    auto key = ScratchKey() + u"\\K";
    SetValue(os::HKEY_CURRENT_USER, key, u"V", os::REG_SZ, Utf16Bytes(std::u16string(u"abc\0", 4)));
    TCleanerRegValueProduct(os::HKEY_CURRENT_USER, key, u"V", u"r", platform::RegView::Default()).Solve(&journal);
    journal.BackupsCount();
    auto file = Data() + u"backuped\\0\\backuped_value.dat";
    auto bytes = ReadBytes(file);
    for (std::size_t cut : {std::size_t{3}, bytes.size() - 1}) {
        ASSERT_TRUE(journaltest::WriteBytes(file, bytes.substr(0, cut)));
        EXPECT_THROW(TCleanerRegValueProduct::RestoreBackup(journal, 0), EBackupFileError);
        EXPECT_EQ(GetValue(os::HKEY_CURRENT_USER, key, u"V").first, 0u);
    }
}

TEST_F(ValueFinding, RestoringIntoAMissingKeyWritesNothing) {
    backups::TBackupsManager journal;
    auto key = ScratchKey() + u"\\Gone";
    SetValue(os::HKEY_CURRENT_USER, key, u"V", os::REG_SZ, Utf16Bytes(std::u16string(u"a\0", 2)));
    TCleanerRegValueProduct(os::HKEY_CURRENT_USER, key, u"V", u"r", platform::RegView::Default()).Solve(&journal);
    testsupport::DeleteTree(os::HKEY_CURRENT_USER, key, 0);
    EXPECT_NO_THROW(TCleanerRegValueProduct::RestoreBackup(journal, 0));
    EXPECT_FALSE(KeyExists(os::HKEY_CURRENT_USER, key));
}

TEST(BackupedValueFile, DecodeRejectsShortAndLyingHeaders) {
    EXPECT_FALSE(DecodeBackupedValue(std::vector<std::uint8_t>{1, 0, 0}));
    EXPECT_FALSE(DecodeBackupedValue(std::vector<std::uint8_t>{1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0}));
    auto v = DecodeBackupedValue(std::vector<std::uint8_t>{4, 0, 0, 0, 0, 0, 0, 0, 9});
    ASSERT_TRUE(v);
    EXPECT_EQ(v->Type, 4u);
    EXPECT_TRUE(v->Data.empty());
}

}  // namespace
