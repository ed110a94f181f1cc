// The vendor-subtree, file-type and program-use scanners over one fixture.
#include <gmock/gmock.h>

#include <fstream>

#include "scanners/FileAssociationsScannerUnit.h"
#include "scanners/FileExtensionsScannerUnit.h"
#include "scanners/HKCUScannerUnit.h"
#include "scanners/HKLMScannerUnit.h"
#include "scanners/HKUScannerUnit.h"
#include "scanners/HistoryScannerUnit.h"
#include "scan/UserVariables.h"
#include "scanners/ScannerHarness.h"

namespace scanners::testing {
namespace {

using ::testing::Contains;
using ::testing::Not;

// Unlike the harness, keeps empty-key findings: "empty HKEY_...\sub".
class SoftwareScanners : public ScannerHarness {
protected:
    Lines Collect(scan::TScanner& scanner, os::REGSAM pass) {
        Lines out;
        scanner.SetResultFoundEvent([&out](std::unique_ptr<findings::TCleanerScanProduct> p) {
            if (auto* k = dynamic_cast<const findings::TCleanerRegKeyProduct*>(p.get()))
                out.push_back((k->HasNoValues() ? "empty " : "key ") +
                              text::ToUtf8(platform::RootKeyName(k->RootKey()) + u"\\" + k->SubKey()));
            else if (auto* v = dynamic_cast<const findings::TCleanerRegValueProduct*>(p.get()))
                out.push_back("value " +
                              text::ToUtf8(platform::RootKeyName(v->RootKey()) + u"\\" + v->SubKey() + u"|" + v->Value()));
        });
        platform::RegistryViewFlag = static_cast<std::int32_t>(pass);
        scanner.Scan();
        platform::RegistryViewFlag = 0;
        return out;
    }
};

TEST(Rot13, RoundTripsAndLeavesNonLettersAlone) {
    EXPECT_EQ(Rot13Decode(u"P:\\Nccf\\{7P5}-09.rkr"), u"C:\\Apps\\{7C5}-09.exe");
    const std::u16string mixed = u"Zz Aa \u00e9\u4e2d:\\{}0123";
    EXPECT_EQ(Rot13Decode(Rot13Decode(mixed)), mixed);
    EXPECT_EQ(Rot13Decode(u"\u00e9\u4e2d"), u"\u00e9\u4e2d");
}

TEST(FileAssociations, ClassIdentifierAnywhereCaseSensitiveBraces) {
    TFileAssociationsScanner s;
    EXPECT_TRUE(s.IsCLSID(u"{0B5D7C1E-1111-2222-3333-444444444444}"));
    EXPECT_TRUE(s.IsCLSID(u"C:\\x\\{tm-folder}\\i.ico"));
    EXPECT_FALSE(s.IsCLSID(u"C:\\x\\{}\\i.ico"));
    EXPECT_FALSE(s.IsCLSID(u"C:\\x\\(abc)\\i.ico"));
}

#ifndef _WIN32
TEST_F(SoftwareScanners, VendorKeysInBothViewsSkipSystemSubtrees) {
    LoadFixture("software.reg");
    MakeFile(u"C:\\Apps\\Good\\app.exe");
    THKLMScanner hklm;
    const Lines view64 = Collect(hklm, kPass64);
    EXPECT_THAT(view64, Contains("empty HKEY_LOCAL_MACHINE\\Software\\TmEmptyVendor"));
    EXPECT_THAT(view64, Contains("value HKEY_LOCAL_MACHINE\\Software\\TmVendor\\App|Home"));
    EXPECT_THAT(view64, Not(Contains("value HKEY_LOCAL_MACHINE\\Software\\TmVendor\\App|Fine")));
    EXPECT_THAT(view64, Not(Contains("empty HKEY_LOCAL_MACHINE\\Software\\TmVendor")));
    for (const auto& line : view64) {
        EXPECT_EQ(line.find("TmEmptyInSystem"), std::string::npos) << line;
        EXPECT_EQ(line.find("TmEmpty32"), std::string::npos) << line;
    }
    // The 32-bit pass sees the mirror's content as its own Software key.
    const Lines view32 = Collect(hklm, kPass32);
    EXPECT_THAT(view32, Contains("empty HKEY_LOCAL_MACHINE\\Software\\TmEmpty32"));
    EXPECT_THAT(view32, Not(Contains("empty HKEY_LOCAL_MACHINE\\Software\\TmEmptyVendor")));
}

TEST_F(SoftwareScanners, StoppedWalkReportsNothing) {
    LoadFixture("software.reg");
    THKLMScanner hklm;
    hklm.SetAbortEvent([] { return true; });
    EXPECT_TRUE(Collect(hklm, kPass64).empty());
}

TEST_F(SoftwareScanners, UserHivesSkipClassesAndServiceProfiles) {
    LoadFixture("software.reg");
    THKCUScanner hkcu;
    EXPECT_THAT(Collect(hkcu, kPass64), Contains("empty HKEY_CURRENT_USER\\Software\\TmUserEmpty"));
    THKUScanner hku;
    const Lines users = Collect(hku, kPass64);
    EXPECT_THAT(users, Contains("empty HKEY_USERS\\S-1-5-21-77\\Software\\TmHiveEmpty"));
    for (const auto& line : users) {
        EXPECT_EQ(line.find("TmClassesEmpty"), std::string::npos) << line;
        EXPECT_EQ(line.find("TmServiceEmpty"), std::string::npos) << line;
    }
}

// Texts of other users' hives name those users' folders: %USERPROFILE%
// and the rest are theirs, or, where unknown, the text is not judged.
TEST_F(SoftwareScanners, OtherUsersVariablesAreTheirOwn) {
    LoadFixture("users.reg");
    for (const char16_t* file : {u"C:\\Users\\second\\Documents\\plan.tsp", u"C:\\Users\\second\\AppData\\Roaming\\TmTool\\tool.exe",
                                 u"C:\\Users\\second\\AppData\\Local\\Temp\\tmtool.tmp"})
        MakeFile(file);
    THKUScanner hku;
    const std::string second = "value HKEY_USERS\\S-1-5-21-1-2-3-1001\\Software\\TmTool|";
    const std::string third = "value HKEY_USERS\\S-1-5-21-1-2-3-1002\\Software\\TmTool|";
    Lines found;
    for (const auto& line : Collect(hku, kPass64))
        if (line.find("TmTool") != std::string::npos) found.push_back(line);
    EXPECT_EQ(found, (Lines{second + "Gone", third + "System"}));
}

TEST(UserVariables, PutsInTheUsersOwnAndLeavesTheSystemsForExpansion) {
    scan::TUserVariables owner;
    owner.Set(u"USERPROFILE", u"C:\\Users\\second");
    EXPECT_EQ(owner.Apply(u"%userprofile%\\a %SystemRoot%\\b"), u"C:\\Users\\second\\a %SystemRoot%\\b");
    EXPECT_EQ(owner.Apply(u"%APPDATA%\\x"), std::nullopt);
    EXPECT_EQ(owner.Apply(u"100% sure %TM_OTHER%"), u"100% sure %TM_OTHER%");
    EXPECT_EQ(scan::TUserVariables().Apply(u"C:\\x"), u"C:\\x");
}

TEST_F(SoftwareScanners, FileTypeIconsAndCommands) {
    LoadFixture("software.reg");
    MakeFile(u"C:\\Apps\\Good\\{tm-folder}\\good.exe");
    TFileAssociationsScanner scanner;
    const Lines found = Collect(scanner, kPass64);
    EXPECT_THAT(found, Contains("key HKEY_CLASSES_ROOT\\tmtest.gone\\DefaultIcon"));
    EXPECT_THAT(found, Contains("key HKEY_CLASSES_ROOT\\tmtest.unregistered\\DefaultIcon"));
    EXPECT_THAT(found, Contains("key HKEY_CLASSES_ROOT\\tmtest.lostbraced\\DefaultIcon"));
    EXPECT_THAT(found, Contains("key HKEY_CLASSES_ROOT\\tmtest.lostbracedvar\\DefaultIcon"));
    EXPECT_THAT(found, Contains("value HKEY_CLASSES_ROOT\\tmtest.cmd\\shell\\open\\command|"));
    // A braced folder on the way to an existing icon file is not a class,
    // also when a variable names the drive.
    for (const char* healthy : {"tmtest.good", "tmtest.bare", "tmtest.registered", "tmtest.braced\\", "tmtest.bracedvar\\"})
        for (const auto& line : found) EXPECT_EQ(line.find(healthy), std::string::npos) << line;
}

TEST_F(SoftwareScanners, AnIconHandlerOfEitherViewKeepsTheSharedFileTypeIcon) {
    // The fixture registers its handler class for 64-bit programs only; the
    // 32-bit pass reads the same shared file type through the redirected
    // class list and must not delete a setting 64-bit Explorer uses.
    LoadFixture("software.reg");
    TFileAssociationsScanner scanner;
    const Lines found = Collect(scanner, kPass32);
    EXPECT_THAT(found, Contains("key HKEY_CLASSES_ROOT\\tmtest.unregistered\\DefaultIcon"));
    for (const auto& line : found) EXPECT_EQ(line.find("tmtest.registered"), std::string::npos) << line;
}

TEST_F(SoftwareScanners, FileExtsLeavesTheLastTwoUnvisited) {
    const std::u16string key = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";
    platform::StringList existing;
    platform::RegistryGetKeyNames(os::HKEY_CURRENT_USER, key, existing);
    ASSERT_TRUE(existing.empty()) << "the machine already has extension settings";
    for (const char16_t* ext : {u".tm1", u".tm2", u".tm3", u".tm4", u".tm5"})
        platform::RegistryCreateKey(os::HKEY_CURRENT_USER, key + u"\\" + ext);
    TFileExtensionsScanner scanner;
    const Lines found = Collect(scanner, kPass64);
    const std::string base = "empty HKEY_CURRENT_USER\\" + text::ToUtf8(key) + "\\";
    EXPECT_EQ(found, (Lines{base + ".tm1", base + ".tm2", base + ".tm3"}));
    platform::RegistryDeleteKey(os::HKEY_CURRENT_USER, key + u"\\.tm4");
    platform::RegistryDeleteKey(os::HKEY_CURRENT_USER, key + u"\\.tm5");
    platform::RegistryDeleteKey(os::HKEY_CURRENT_USER, key + u"\\.tm3");
    EXPECT_TRUE(Collect(scanner, kPass64).empty());
}

TEST_F(SoftwareScanners, HistoryReportsRotatedNamesOfGoneDrivePaths) {
    const std::u16string count =
        u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist\\{TM-TEST}\\Count";
    MakeFile(u"C:\\Apps\\Good\\good.exe");
    ASSERT_TRUE(platform::RegistryCreateKey(os::HKEY_CURRENT_USER, count));
    for (const char16_t* plain : {u"C:\\Apps\\Gone\\old.exe", u"C:\\Apps\\Good\\good.exe",
                                  u"{7C5A40EF-A0FB-4BFC-874A-C0F2E0B9FA8E}\\calc.exe", u"UEME_CTLSESSION",
                                  u"A:\\setup.exe"})
        platform::RegistryWriteInteger(os::HKEY_CURRENT_USER, count, Rot13Decode(plain), 1);
    // A program run from a stick that is not plugged in now.
    platform::RegistryWriteInteger(os::HKEY_CURRENT_USER, count,
                                   Rot13Decode(testsupport::AbsentDrive() + u"\\Tools\\run.exe"), 1);
    THistoryScanner scanner;
    EXPECT_EQ(Collect(scanner, kPass64),
              Lines{"value HKEY_CURRENT_USER\\" + text::ToUtf8(count) + "|P:\\Nccf\\Tbar\\byq.rkr"});
}

// A 64-bit program of the 64-bit system folder, which WOW64 hides from the
// 32-bit scanner, was run: its record is not broken, in either pass.
TEST_F(SoftwareScanners, HistoryKeepsProgramsOfThe64BitSystemFolder) {
    const std::u16string count =
        u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist\\{TM-TEST}\\Count";
    std::ofstream(emul::HostPath(u"C:\\Windows\\System32") / "only64.exe") << "x";
    ASSERT_TRUE(platform::RegistryCreateKey(os::HKEY_CURRENT_USER, count));
    platform::RegistryWriteInteger(os::HKEY_CURRENT_USER, count, Rot13Decode(u"C:\\Windows\\System32\\only64.exe"), 1);
    platform::RegistryWriteInteger(os::HKEY_CURRENT_USER, count, Rot13Decode(u"C:\\Windows\\System32\\gone64.exe"), 1);
    THistoryScanner scanner;
    const Lines gone{"value HKEY_CURRENT_USER\\" + text::ToUtf8(count) + "|" +
                     text::ToUtf8(Rot13Decode(u"C:\\Windows\\System32\\gone64.exe"))};
    EXPECT_EQ(Collect(scanner, kPass64), gone);
    EXPECT_EQ(Collect(scanner, kPass32), gone);
}
#endif

}  // namespace
}  // namespace scanners::testing
