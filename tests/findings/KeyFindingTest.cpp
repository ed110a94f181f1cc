#include <gtest/gtest.h>

#include <string>

#include "platform/Text.h"

#include "backups/BackupsManagerUnit.h"
#include "findings/CleanerRegKeyProduct.h"
#include "findings/FindingTestSupport.h"
#include "findings/ListScanProduct.h"
#include "findings/RegKeyProduct.h"
#include "findings/RegStrDataProduct.h"
#include "platform/Wow64.h"
#ifndef _WIN32
#include "platform/emul/EmulRegistry.h"
#endif
#include "findings/RestoreDispatch.h"

using namespace findings;
using findingtest::Utf16Bytes;
using journaltest::Exists;
using journaltest::ReadBytes;

namespace {

class KeyFinding : public findingtest::FindingTest {
protected:
    // Example\A (value a), Example\A\Deep (value d), Example\B, and a value on Example.
    std::u16string MakeTree() {
        auto root = ScratchKey() + u"\\Example";
        SetValue(os::HKEY_CURRENT_USER, root, u"top", os::REG_DWORD, std::string("\x07\0\0\0", 4));
        SetValue(os::HKEY_CURRENT_USER, root + u"\\A", u"a", os::REG_SZ, Utf16Bytes(std::u16string(u"x\0", 2)));
        SetValue(os::HKEY_CURRENT_USER, root + u"\\A\\Deep", u"d", os::REG_BINARY, "\x01\x02");
        SetValue(os::HKEY_CURRENT_USER, root + u"\\B", u"", os::REG_SZ, Utf16Bytes(std::u16string(u"y\0", 2)));
        return root;
    }
    void ExpectTree(const std::u16string& root) {
        EXPECT_EQ(GetValue(os::HKEY_CURRENT_USER, root, u"top").second, std::string("\x07\0\0\0", 4));
        EXPECT_EQ(GetValue(os::HKEY_CURRENT_USER, root + u"\\A", u"a").first, os::REG_SZ);
        EXPECT_EQ(GetValue(os::HKEY_CURRENT_USER, root + u"\\A\\Deep", u"d").second, "\x01\x02");
        EXPECT_EQ(GetValue(os::HKEY_CURRENT_USER, root + u"\\B", u"").first, os::REG_SZ);
    }
};

TEST_F(KeyFinding, JournalFileMatchesTheDocumentedLayoutByteForByte) {
    auto root = MakeTree();
    backups::TBackupsManager journal;
    TCleanerRegKeyProduct finding(os::HKEY_CURRENT_USER, root, u"r", false, platform::RegView::Default());
    finding.Solve(&journal);
    EXPECT_FALSE(KeyExists(os::HKEY_CURRENT_USER, root));
    EXPECT_TRUE(Exists(Data() + u"backuped\\0\\backuped_key.dat"));
    journal.BackupsCount();
    auto time = text::ToUtf8(journal.GetBackupedString(0, u"Time"));
    auto path = text::ToUtf8(root);
    EXPECT_EQ(ReadBytes(Data() + u"backups.ini"),
              "[Count]\r\nCount=0\r\nLastCode=1\r\n\r\n[0]\r\nType=TCleanerRegKeyProduct\r\n"
              "Desc=HKEY_CURRENT_USER\\" + path + "\r\nTime=" + time + "\r\nBackupFolder=0\r\n"
              "RootKey=-2147483647\r\nKey=" + path + "\r\n\r\n");
}

// Under Wine, whose key restore answers success and loads nothing, the text
// beside the hive brings the key back.
TEST_F(KeyFinding, TreeRoundTripBringsBackEveryValueAndSubkey) {
    auto root = MakeTree();
    backups::TBackupsManager journal;
    TCleanerRegKeyProduct(os::HKEY_CURRENT_USER, root, u"r", false, platform::RegView::Default()).Solve(&journal);
    ASSERT_FALSE(KeyExists(os::HKEY_CURRENT_USER, root));
    journal.BackupsCount();  // a fresh journal's list learns of "Count" here
    ASSERT_TRUE(RestoreBackupEntry(journal, 0));
    ExpectTree(root);
    EXPECT_EQ(journal.BackupsCount(), 1);
    ASSERT_TRUE(RestoreBackupEntry(journal, 0));  // again, over the existing key
    ExpectTree(root);
}

TEST_F(KeyFinding, TheTextBesideTheHiveIsARegistryEditorFileAndStandsInForAMissingHive) {
    auto root = MakeTree();
    backups::TBackupsManager journal;
    TCleanerRegKeyProduct(os::HKEY_CURRENT_USER, root, u"r", false, platform::RegView::Default()).Solve(&journal);
    auto text = ReadBytes(Data() + u"backuped\\0\\backuped_key.reg");
    EXPECT_EQ(text.substr(0, 2 + 2 * 36), "\xFF\xFE" + Utf16Bytes(u"Windows Registry Editor Version 5.00"));
    EXPECT_NE(text.find(Utf16Bytes(u"[HKEY_CURRENT_USER\\" + root + u"\\A\\Deep]")), std::string::npos);

    ASSERT_TRUE(os::DeleteFileW((Data() + u"backuped\\0\\backuped_key.dat").c_str()));
    journal.BackupsCount();
    ASSERT_TRUE(RestoreBackupEntry(journal, 0));
    ExpectTree(root);
}

TEST_F(KeyFinding, AMissingKeyRecordsNothingAndAnUnwrittenHiveKeepsTheKey) {
    backups::TBackupsManager journal;
    TCleanerRegKeyProduct gone(os::HKEY_CURRENT_USER, ScratchKey() + u"\\Nope", u"r", true,
                               platform::RegView::Default());
    gone.Solve(&journal);
    EXPECT_FALSE(Exists(Data() + u"backups.ini"));

    auto root = MakeTree();
    testsupport::RemoveFolderTree(Data() + u"backuped");
    TCleanerRegKeyProduct(os::HKEY_CURRENT_USER, root, u"r", false, platform::RegView::Default()).Solve(&journal);
    ExpectTree(root);
}

TEST_F(KeyFinding, The64BitViewFindingDeletesOnlyThe64BitKey) {
    auto key = MachineScratchKey() + u"\\Twin";
    SetValue(os::HKEY_LOCAL_MACHINE, key, u"v", os::REG_SZ, Utf16Bytes(std::u16string(u"a\0", 2)), os::KEY_WOW64_64KEY);
    SetValue(os::HKEY_LOCAL_MACHINE, key, u"v", os::REG_SZ, Utf16Bytes(std::u16string(u"a\0", 2)), os::KEY_WOW64_32KEY);
    backups::TBackupsManager journal;
    TCleanerRegKeyProduct(os::HKEY_LOCAL_MACHINE, key, u"r", false, platform::RegView::Wow64_64()).Solve(&journal);
    EXPECT_FALSE(KeyExists(os::HKEY_LOCAL_MACHINE, key, os::KEY_WOW64_64KEY));
    EXPECT_TRUE(KeyExists(os::HKEY_LOCAL_MACHINE, key, os::KEY_WOW64_32KEY));
    journal.BackupsCount();
    EXPECT_EQ(journal.GetBackupedInteger(0, u"View"), 0x100);
}

#ifndef _WIN32
// HKEY_CLASSES_ROOT shows a key of the user's classes in place of the
// machine's and lists the machine key's subkeys beside it. Natively only:
// the emulated machine builds that view as Windows does; Wine is not asked.
TEST_F(KeyFinding, AUsersClassesKeyIsRepairedWhereItLivesAndTheMachinesKeyStays) {
    emul::LoadRegText(u"REGEDIT4\r\n\r\n"
                      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.tmfind\\ShellNew]\r\n\"m\"=\"1\"\r\n\r\n"
                      u"[HKEY_CURRENT_USER\\Software\\Classes\\.tmfind\\DefaultIcon]\r\n@=\"C:\\\\gone.ico\"\r\n");
    TCleanerRegKeyProduct users(os::HKEY_CLASSES_ROOT, u".tmfind", u"r", false, platform::RegView::Wow64_64());
    EXPECT_EQ(users.GetDescription(), u"HKEY_CURRENT_USER\\Software\\Classes\\.tmfind");
    // A subkey only the machine has is the machine's, and keeps its name.
    TCleanerRegKeyProduct machines(os::HKEY_CLASSES_ROOT, u".tmfind\\ShellNew", u"r", false,
                                   platform::RegView::Wow64_64());
    EXPECT_EQ(machines.GetDescription(), u"HKEY_CLASSES_ROOT\\.tmfind\\ShellNew");

    backups::TBackupsManager journal;
    users.Solve(&journal);
    EXPECT_EQ(emul::SaveRegText(u"HKEY_CURRENT_USER\\Software\\Classes\\.tmfind"), u"");
    EXPECT_TRUE(KeyExists(os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\.tmfind\\ShellNew", os::KEY_WOW64_64KEY));
    // Undone, it is the user's again.
    journal.BackupsCount();
    TCleanerRegKeyProduct::RestoreBackup(journal, 0);
    EXPECT_NE(emul::SaveRegText(u"HKEY_CURRENT_USER\\Software\\Classes\\.tmfind\\DefaultIcon"), u"");
    EXPECT_FALSE(KeyExists(os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\.tmfind\\DefaultIcon", os::KEY_WOW64_64KEY));
}
#endif

TEST_F(KeyFinding, RegKeyProductRemovesALinkWhoseTargetIsGoneWithTheTree) {
    auto root = MakeTree();
    // A link whose target is missing cannot be opened through; as itself it can.
    platform::RegKey link;
    ASSERT_EQ(link.Create(os::HKEY_CURRENT_USER, root + u"\\C", os::KEY_ALL_ACCESS | os::KEY_CREATE_LINK,
                          platform::RegView(), os::REG_OPTION_CREATE_LINK),
              os::ERROR_SUCCESS);
    std::u16string target = u"\\REGISTRY\\MACHINE\\SOFTWARE\\TallowmendNoSuchKey";
    ASSERT_EQ(link.SetValue(u"SymbolicLinkValue", os::REG_LINK, target.data(), target.size() * 2), os::ERROR_SUCCESS);
    link.Close();
    TRegKeyProduct finding(os::HKEY_CURRENT_USER, root, false);
    EXPECT_NO_THROW(finding.Solve());
    EXPECT_FALSE(KeyExists(os::HKEY_CURRENT_USER, root));
    EXPECT_FALSE(KeyExists(os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\TallowmendNoSuchKey"));
}

TEST_F(KeyFinding, RegKeyProductRemovesTheWholeTreeAndItsBackupComesBack) {
    auto root = MakeTree();
    backups::TBackupsManager journal;
    TRegKeyProduct finding(os::HKEY_CURRENT_USER, root, false);
    EXPECT_TRUE(finding.Backup(journal));
    finding.Solve();
    EXPECT_FALSE(KeyExists(os::HKEY_CURRENT_USER, root));
    journal.BackupsCount();
    TRegKeyProduct::RestoreBackup(journal, 0);
    ExpectTree(root);
    EXPECT_EQ(journal.BackupsCount(), 0);
    EXPECT_FALSE(Exists(Data() + u"backuped\\0"));
}

TEST_F(KeyFinding, RegKeyProductWithoutAHiveRecreatesTheKeyEmptyAndDropsTheEntry) {
    backups::TBackupsManager journal;
    auto key = ScratchKey() + u"\\Svc";
    TRegKeyProduct(os::HKEY_CURRENT_USER, key, false).Backup(journal);  // key missing: no hive
    journal.BackupsCount();
    TRegKeyProduct::RestoreBackup(journal, 0);
    EXPECT_TRUE(KeyExists(os::HKEY_CURRENT_USER, key));
    EXPECT_EQ(journal.BackupsCount(), 0);
}

// A key finding deletes a tree that holds a registry link: the link goes as
// a link; the key it leads to, its subkeys and their security stay.
struct LinkCase {
    const char* name;
    void (*solve)(const std::u16string& key, backups::TBackupsManager& journal);
};

class KeyFindingWithLink : public KeyFinding, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(KeyFindingWithLink, RemovesTheLinkAndLeavesItsTargetAsItWas) {
    auto target = ScratchKey() + u"\\Target";
    SetValue(os::HKEY_CURRENT_USER, target, u"v", os::REG_SZ, Utf16Bytes(std::u16string(u"precious\0", 9)));
    SetValue(os::HKEY_CURRENT_USER, target + u"\\" + TargetProbe(), u"c", os::REG_DWORD, std::string("\1\0\0\0", 4));
    auto tree = MakeTree();
    if (!MakeUserLink(tree + u"\\A\\Link", target)) GTEST_SKIP() << "registry links are not followed here";
    auto child = target + u"\\" + TargetProbe();
    auto targetDacl = Dacl(os::HKEY_CURRENT_USER, target);
    auto childDacl = Dacl(os::HKEY_CURRENT_USER, child);
    ASSERT_FALSE(targetDacl.empty());

    backups::TBackupsManager journal;
    GetParam().solve(tree, journal);

    EXPECT_FALSE(KeyExists(os::HKEY_CURRENT_USER, tree));
    EXPECT_EQ(GetValue(os::HKEY_CURRENT_USER, target, u"v").second, Utf16Bytes(std::u16string(u"precious\0", 9)));
    EXPECT_EQ(GetValue(os::HKEY_CURRENT_USER, child, u"c").second, std::string("\1\0\0\0", 4));
    EXPECT_EQ(Dacl(os::HKEY_CURRENT_USER, target), targetDacl);
    EXPECT_EQ(Dacl(os::HKEY_CURRENT_USER, child), childDacl);
}

INSTANTIATE_TEST_SUITE_P(
    Findings, KeyFindingWithLink,
    ::testing::Values(LinkCase{"ServiceKey",
                               [](const std::u16string& key, backups::TBackupsManager& journal) {
                                   TRegKeyProduct finding(os::HKEY_CURRENT_USER, key, false);
                                   ASSERT_TRUE(finding.Backup(journal));
                                   finding.Solve();
                               }},
                      LinkCase{"ScannerKey",
                               [](const std::u16string& key, backups::TBackupsManager& journal) {
                                   TCleanerRegKeyProduct(os::HKEY_CURRENT_USER, key, u"r", false,
                                                         platform::RegView::Default())
                                       .Solve(&journal);
                               }}),
    [](const auto& info) { return std::string(info.param.name); });

class WizardFinding : public findingtest::FindingTest {};

TEST_F(WizardFinding, DescriptionsIdsAndTheComposite) {
    auto first = TScanProduct::NextProductId;
    TListScanProduct list;
    TRegKeyProduct key(os::HKEY_LOCAL_MACHINE, u"SYSTEM\\X", true);
    EXPECT_EQ(list.Id(), first);
    EXPECT_EQ(key.Id(), first + 1);
    EXPECT_EQ(key.GetDescription(), u"Compromised registry key HKEY_LOCAL_MACHINE\\SYSTEM\\X");
    EXPECT_EQ(key.GetType(), u"Registry key");
    TRegStrDataProduct str(os::HKEY_LOCAL_MACHINE, u"K", u"", u"Explorer.exe", u"x");
    EXPECT_EQ(str.GetDescription(), u"Invalid data  = \"Explorer.exe\" at key HKEY_LOCAL_MACHINE\\K");

    list.Add(std::make_unique<TCleanerRegKeyProduct>(os::HKEY_CURRENT_USER, ScratchKey() + u"\\Gone", u"r", true));
    list.Add(nullptr);
    EXPECT_EQ(list.GetDescription(), u"Registry problems: 2 problems");
    EXPECT_NO_THROW(list.Solve());
    backups::TBackupsManager journal;
    EXPECT_FALSE(list.Backup(journal));
    EXPECT_FALSE(Exists(Data() + u"backups.ini"));
}

TEST_F(WizardFinding, StringSettingWritesUnexpandedAndRestoresFromTheJournal) {
    auto key = ScratchKey() + u"\\Winlogon";
    SetValue(os::HKEY_CURRENT_USER, key, u"Shell", os::REG_EXPAND_SZ, Utf16Bytes(std::u16string(u"evil.exe\0", 9)));
    TRegStrDataProduct finding(os::HKEY_CURRENT_USER, key, u"Shell", u"evil.exe", u"%SystemRoot%\\explorer.exe");
    backups::TBackupsManager journal;
    EXPECT_TRUE(finding.Backup(journal));
    finding.Solve();
    EXPECT_EQ(GetValue(os::HKEY_CURRENT_USER, key, u"Shell").first, os::REG_SZ);
    EXPECT_EQ(GetValue(os::HKEY_CURRENT_USER, key, u"Shell").second,
              Utf16Bytes(std::u16string(u"%SystemRoot%\\explorer.exe\0", 26)));
    journal.BackupsCount();
    ASSERT_TRUE(RestoreBackupEntry(journal, 0));
    EXPECT_EQ(GetValue(os::HKEY_CURRENT_USER, key, u"Shell").second, Utf16Bytes(std::u16string(u"evil.exe\0", 9)));
    EXPECT_EQ(journal.BackupsCount(), 0);

    TRegStrDataProduct gone(os::HKEY_CURRENT_USER, key, u"Missing", u"a", u"b");
    gone.Solve();
    EXPECT_EQ(GetValue(os::HKEY_CURRENT_USER, key, u"Missing").first, 0u);
}

// Below HKLM\SOFTWARE each view of 64-bit Windows has its own key: a
// setting found in both is repaired and restored in both, and nowhere else.
TEST_F(WizardFinding, StringSettingOfBothViewsRepairsAndRestoresEach) {
    if (!platform::IsWindows64() && sizeof(void*) != 8) GTEST_SKIP() << "32-bit Windows has one registry view";
    const auto key = MachineScratchKey() + u"\\Winlogon";
    const os::REGSAM k64 = os::KEY_WOW64_64KEY, k32 = os::KEY_WOW64_32KEY;
    const auto evil = Utf16Bytes(std::u16string(u"evil.exe\0", 9));
    for (auto view : {k64, k32}) SetValue(os::HKEY_LOCAL_MACHINE, key, u"Shell", os::REG_SZ, evil, view);
    TRegStrDataProduct finding(os::HKEY_LOCAL_MACHINE, key, u"Shell", u"evil.exe", u"Explorer.exe",
                               {platform::RegView(k64), platform::RegView(k32)});
    EXPECT_TRUE(finding.GetDescription().ends_with(u"Winlogon (64-bit and 32-bit views)"));
    backups::TBackupsManager journal;
    EXPECT_TRUE(finding.Backup(journal));
    finding.Solve();
    for (auto view : {k64, k32})
        EXPECT_EQ(GetValue(os::HKEY_LOCAL_MACHINE, key, u"Shell", view).second,
                  Utf16Bytes(std::u16string(u"Explorer.exe\0", 13)));
    journal.BackupsCount();
    ASSERT_TRUE(RestoreBackupEntry(journal, 0));
    for (auto view : {k64, k32}) EXPECT_EQ(GetValue(os::HKEY_LOCAL_MACHINE, key, u"Shell", view).second, evil);

    // Found in the 64-bit view only: the 32-bit copy is not touched.
    TRegStrDataProduct only64(os::HKEY_LOCAL_MACHINE, key, u"Shell", u"evil.exe", u"Explorer.exe",
                              {platform::RegView(k64)});
    EXPECT_TRUE(only64.GetDescription().ends_with(u"Winlogon (64-bit view)"));
    only64.Solve();
    EXPECT_EQ(GetValue(os::HKEY_LOCAL_MACHINE, key, u"Shell", k64).second,
              Utf16Bytes(std::u16string(u"Explorer.exe\0", 13)));
    EXPECT_EQ(GetValue(os::HKEY_LOCAL_MACHINE, key, u"Shell", k32).second, evil);
}

}  // namespace
