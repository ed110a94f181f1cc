#include <gtest/gtest.h>

#include "backups/BackupsManagerUnit.h"
#include "backups/JournalTestSupport.h"
#include "platform/Text.h"
#include "runtime/AppFolders.h"
#include "support/SeamTest.h"

using backups::TBackupsManager;
using journaltest::Exists;
using journaltest::ReadBytes;
using journaltest::WriteBytes;

namespace {

class JournalTest : public testsupport::SeamTest {
protected:
    void SetUp() override {
        SeamTest::SetUp();
        runtime::SetDataFolder(ScratchFolder());
    }
    std::u16string Data() const { return ScratchFolder() + u"\\"; }
    std::string File() const { return ReadBytes(Data() + u"backups.ini"); }
};

TEST_F(JournalTest, FreshJournalCountsMinusOneAndItsSectionListLagsUntilTheCountRuleReloads) {
    TBackupsManager journal;
    EXPECT_TRUE(Exists(Data() + u"backuped"));
    EXPECT_EQ(journal.BackupsCount(), -1);

    journal.NewEntry(u"TRegStrDataProduct", u"first");
    EXPECT_EQ(File(), "[Count]\r\nCount=0\r\nLastCode=1\r\n\r\n[0]\r\nType=TRegStrDataProduct\r\nDesc=first\r\n\r\n");
    EXPECT_EQ(journal.GetBackupedString(0, u"Type"), u"");  // the list holds only "0" yet
    EXPECT_EQ(journal.BackupsCount(), 1);
    EXPECT_EQ(journal.GetBackupedString(0, u"Type"), u"TRegStrDataProduct");

    journal.NewEntry(u"TRegKeyProduct", u"second");
    EXPECT_EQ(File(),
              "[Count]\r\nCount=2\r\nLastCode=2\r\n\r\n[0]\r\nType=TRegStrDataProduct\r\nDesc=first\r\n\r\n"
              "[1]\r\nType=TRegKeyProduct\r\nDesc=second\r\n\r\n");
    EXPECT_EQ(journal.BackupsCount(), 2);
}

TEST_F(JournalTest, DeletedEntriesLeaveGapsAndPositionsShift) {
    {
        TBackupsManager journal;
        for (auto desc : {u"a", u"b"}) {
            journal.NewEntry(u"TRegKeyProduct", desc);
            std::u16string path, folder;
            journal.CreateBackupFolder(path, folder);
            ASSERT_TRUE(WriteBytes(path + u"backuped_key.dat", "hive"));
        }
    }
    TBackupsManager journal;  // reloaded: the list matches the file
    ASSERT_EQ(journal.BackupsCount(), 2);
    journal.DeleteEntry(0);
    EXPECT_FALSE(Exists(Data() + u"backuped\\0"));
    EXPECT_TRUE(Exists(Data() + u"backuped\\1\\backuped_key.dat"));
    EXPECT_EQ(journal.BackupsCount(), 1);
    EXPECT_EQ(journal.GetBackupedString(0, u"Desc"), u"b");

    journal.NewEntry(u"TRegStrDataProduct", u"c");
    EXPECT_NE(File().find("[2]\r\nType=TRegStrDataProduct"), std::string::npos);
    EXPECT_EQ(File().find("[0]"), std::string::npos);
}

TEST_F(JournalTest, ReadsStripBlanksIgnoreCaseAndNeverThrow) {
    ASSERT_TRUE(WriteBytes(Data() + u"backups.ini",
                           "stray=1\r\n; comment\r\n  [count]  \r\ncount = 1\r\nlastcode=8\r\n\r\n"
                           "[ 7 ]\r\n  Type =  TRegStrDataProduct \r\nRootKey=-2147483647\r\nBad=12x\r\nNoEquals\r\n"));
    TBackupsManager journal;
    EXPECT_EQ(journal.BackupsCount(), 1);
    EXPECT_EQ(journal.GetBackupedString(0, u"TYPE"), u"TRegStrDataProduct");
    EXPECT_EQ(journal.GetBackupedInteger(0, u"RootKey"), -2147483647);
    EXPECT_EQ(journal.GetBackupedInteger(0, u"Bad"), 0);
    EXPECT_EQ(journal.GetBackupedString(0, u"Missing"), u"");
    EXPECT_EQ(journal.GetBackupedString(5, u"Type"), u"");
    EXPECT_EQ(journal.GetBackupedInteger(-1, u"RootKey"), 0);

    journal.BackupString(u"Data", u"  padded  ");  // entry 7 is the current one
    TBackupsManager again;
    again.BackupsCount();
    EXPECT_EQ(again.GetBackupedString(0, u"Data"), u"padded");
}

TEST_F(JournalTest, WritesBeforeAnyEntryLandInSectionMinusOne) {
    TBackupsManager journal;
    journal.BackupString(u"Key", u"x");
    EXPECT_EQ(File(), "[-1]\r\nKey=x\r\n\r\n");
}

TEST_F(JournalTest, DeleteEntryOutsideTheJournalThrowsAndLeavesTheFile) {
    TBackupsManager journal;
    journal.NewEntry(u"TRegStrDataProduct", u"a");
    auto before = File();
    EXPECT_THROW(journal.DeleteEntry(3), backups::EJournalIndexError);
    EXPECT_EQ(File(), before);
}

TEST_F(JournalTest, TextsOutsideTheCodePageSwitchTheFileToUtf8AndSurvive) {
    {
        TBackupsManager journal;
        journal.NewEntry(u"TRegStrDataProduct", u"caf\u00e9");
        EXPECT_EQ(File().substr(0, 3), "[Co");  // ANSI while everything fits
        journal.BackupString(u"Key", u"Software\\\u4e2d\u6587");
        EXPECT_EQ(File().substr(0, 3), "\xEF\xBB\xBF");
    }
    TBackupsManager journal;
    journal.BackupsCount();
    EXPECT_EQ(journal.GetBackupedString(0, u"Key"), u"Software\\\u4e2d\u6587");
    EXPECT_EQ(journal.GetBackupedString(0, u"Desc"), u"caf\u00e9");
    journal.BackupString(u"Data", u"plain");
    EXPECT_EQ(File().substr(0, 3), "\xEF\xBB\xBF");  // a marked file keeps its encoding
}

TEST_F(JournalTest, Utf16FileIsReadAndWrittenBackAsUtf16) {
    std::u16string text = u"[Count]\r\nCount=1\r\nLastCode=1\r\n\r\n[0]\r\nType=T\r\n\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    ASSERT_TRUE(WriteBytes(Data() + u"backups.ini", bytes));
    TBackupsManager journal;
    EXPECT_EQ(journal.GetBackupedString(0, u"Type"), u"T");
    journal.BackupString(u"Desc", u"d");
    auto after = File();
    EXPECT_EQ(after.substr(0, 4), std::string("\xFF\xFE[\0", 4));
}

TEST_F(JournalTest, ALineBreakCannotForgeEntries) {
    TBackupsManager journal;
    journal.NewEntry(u"TCleanerRegValueProduct", u"d");
    auto before = File();
    EXPECT_THROW(journal.BackupString(u"Value", u"x\r\n[Count]\r\nCount=99"), backups::EIniTextError);
    EXPECT_EQ(File(), before);
}

TEST_F(JournalTest, AFailedSaveLeavesTheOldFileWholeAndTheChangeGoesOutNextTime) {
    TBackupsManager journal;
    journal.NewEntry(u"TRegStrDataProduct", u"a");
    auto before = File();
    // A folder where the temporary file goes makes the save fail.
    ASSERT_TRUE(os::CreateDirectoryW((Data() + u"backups.ini.tmp").c_str(), nullptr));
    EXPECT_THROW(journal.BackupString(u"Data", u"kept"), backups::EJournalWriteError);
    EXPECT_EQ(File(), before);
    os::RemoveDirectoryW((Data() + u"backups.ini.tmp").c_str());
    journal.BackupString(u"Value", u"v");
    EXPECT_NE(File().find("Data=kept\r\nValue=v\r\n"), std::string::npos);
    EXPECT_FALSE(Exists(Data() + u"backups.ini.tmp"));
}

TEST_F(JournalTest, AnExistingEntryFolderIsReportedAndUsed) {
    TBackupsManager journal;
    journal.NewEntry(u"TRegKeyProduct", u"a");
    ASSERT_TRUE(os::CreateDirectoryW((Data() + u"backuped\\0").c_str(), nullptr));
    std::u16string path, folder;
    journal.CreateBackupFolder(path, folder);
    EXPECT_EQ(folder, u"0");
    EXPECT_EQ(path, Data() + u"backuped\\0\\");
}

TEST_F(JournalTest, DeleteEntryNeverLeavesTheBackupFolder) {
    ASSERT_TRUE(WriteBytes(Data() + u"backups.ini", "[Count]\r\nCount=1\r\n[..]\r\nType=T\r\n"));
    ASSERT_TRUE(WriteBytes(Data() + u"keep.txt", "x"));
    TBackupsManager journal;
    journal.DeleteEntry(0);
    EXPECT_TRUE(Exists(Data() + u"keep.txt"));
    EXPECT_TRUE(Exists(Data() + u"backuped"));
}

struct IntCase {
    const char16_t* text;
    bool ok;
    std::int32_t value;
};
class JournalIntegerTest : public ::testing::TestWithParam<IntCase> {};
TEST_P(JournalIntegerTest, Parses) {
    std::int32_t v = 0;
    EXPECT_EQ(backups::ParseJournalInteger(GetParam().text, v), GetParam().ok);
    if (GetParam().ok) {
        EXPECT_EQ(v, GetParam().value);
    }
}
INSTANTIATE_TEST_SUITE_P(Table, JournalIntegerTest,
                         ::testing::Values(IntCase{u"0", true, 0}, IntCase{u"-2147483648", true, INT32_MIN},
                                           IntCase{u"2147483647", true, INT32_MAX},
                                           IntCase{u"2147483648", false, 0}, IntCase{u"-", false, 0},
                                           IntCase{u"", false, 0}, IntCase{u"1 2", false, 0},
                                           IntCase{u"0x10", false, 0}, IntCase{u"+5", true, 5}));

}  // namespace
