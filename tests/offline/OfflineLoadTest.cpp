// Hive files read into the emulated machine as the Windows on that drive
// would have them loaded.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "TestDrive.h"
#include "offline/Hive.h"
#include "offline/HiveLoad.h"
#include "offline/OfflineMachine.h"
#include "offline/WriteBack.h"
#include "platform/RegistryAccess.h"
#include "platform/Text.h"
#include "platform/emul/Machine.h"
#include "platform/os/WinApi.h"

namespace fs = std::filesystem;
using namespace offline_test;

namespace {

#define REQUIRE_HIVES()                                                                      \
    if (!fs::exists(SharedHives() / "SYSTEM.xz")) GTEST_SKIP() << "no shared hives at " << SharedHives()

struct THiveCase {
    const char* name;
    std::size_t keys, values;
};

void PrintTo(const THiveCase& c, std::ostream* os) { *os << c.name; }

class SharedHive : public ::testing::TestWithParam<THiveCase> {};

// The counts are those the hives' README gives.
TEST_P(SharedHive, LoadsEveryKeyAndValue) {
    REQUIRE_HIVES();
    TTempDir dir;
    fs::path file = dir.path / GetParam().name;
    Decompress(GetParam().name, file);
    TCounts counts = CountHive(file);
    EXPECT_EQ(counts.keys, GetParam().keys);
    EXPECT_EQ(counts.values, GetParam().values);

    emul::Reset();
    std::size_t keysBefore = emul::KeyCount(), valuesBefore = emul::ValueCount();
    offline::THive hive(file, offline::THive::Mode::Read);
    auto loaded = offline::LoadHive(hive, false, u"S-1-5-21-9-9-9-1001");
    EXPECT_EQ(loaded.keys, GetParam().keys);
    EXPECT_EQ(loaded.values, GetParam().values);
    EXPECT_EQ(emul::KeyCount() - keysBefore, GetParam().keys);
    EXPECT_EQ(emul::ValueCount() - valuesBefore, GetParam().values);
    // Nothing the emulated machine holds differs from the file just read.
    EXPECT_TRUE(offline::CompareHive(hive, false, u"S-1-5-21-9-9-9-1001", loaded.loaderKeys).Empty());
}

INSTANTIATE_TEST_SUITE_P(Readme, SharedHive,
                         ::testing::Values(THiveCase{"NTUSER.DAT", 1812, 4094},
                                           THiveCase{"NTUSER_with_winscp.DAT", 5328, 12014},
                                           THiveCase{"UsrClass.dat", 6205, 12369},
                                           THiveCase{"SYSTEM", 30756, 73456},
                                           THiveCase{"SYSTEM_WIN_10_1709", 43211, 90307},
                                           THiveCase{"ntuser_software_partial", 6396, 19990}),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (auto& c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

TEST(OfflineHive, DamagedHiveIsRefusedNamingTheFile) {
    REQUIRE_HIVES();
    TTempDir dir;
    fs::path file = dir.path / "corrupted_system_hive";
    Decompress("corrupted_system_hive", file);
    try {
        offline::THive hive(file, offline::THive::Mode::Read);
        FAIL() << "a damaged hive was opened";
    } catch (const offline::THiveError& e) {
        EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
    }
}

class OfflineDrive : public ::testing::TestWithParam<Spelling> {
protected:
    void SetUp() override { REQUIRE_HIVES(); }
};

std::u16string ReadString(os::HKEY root, const char16_t* key, const char16_t* value) {
    std::u16string text;
    platform::RegistryReadString(root, key, value, text, platform::RegView::Wow64_64());
    return text;
}

TEST_P(OfflineDrive, BuildsTheMachineTheHivesDescribe) {
    TTestDrive drive({GetParam()});
    offline::TOfflineMachine machine({drive.Root(), std::nullopt, {}});
    EXPECT_EQ(machine.User().name, u"Alice");
    EXPECT_EQ(machine.Facts().major, 6u);
    EXPECT_EQ(machine.Facts().minor, 1u);
    EXPECT_EQ(machine.Facts().build, 7601u);
    EXPECT_TRUE(machine.Facts().windows64);

    os::OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(os::GetVersionExW(&info));
    EXPECT_EQ(info.dwBuildNumber, 7601u);

    // The current control set is the one Select\Current names.
    os::HKEY key = nullptr;
    EXPECT_EQ(os::RegOpenKeyExW(os::HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services", 0, os::KEY_READ, &key),
              os::ERROR_SUCCESS);
    if (key) os::RegCloseKey(key);
    // HKEY_USERS holds the hives of the drive and nothing else.
    platform::StringList users;
    platform::RegistryGetKeyNames(os::HKEY_USERS, u"", users);
    std::sort(users.begin(), users.end());
    EXPECT_EQ(std::vector<std::u16string>(users.begin(), users.end()), (std::vector<std::u16string>{u".DEFAULT", u"S-1-5-21-111-222-333-1001",
                                                  u"S-1-5-21-111-222-333-1001_Classes"}));
    // HKCU is Alice's hive, its classes her own.
    key = nullptr;
    EXPECT_EQ(os::RegOpenKeyExW(os::HKEY_CURRENT_USER, u"Software\\Microsoft", 0, os::KEY_READ, &key),
              os::ERROR_SUCCESS);
    if (key) os::RegCloseKey(key);
    key = nullptr;
    EXPECT_EQ(os::RegOpenKeyExW(os::HKEY_USERS, u"S-1-5-21-111-222-333-1001_Classes", 0, os::KEY_READ, &key),
              os::ERROR_SUCCESS);
    if (key) os::RegCloseKey(key);
    EXPECT_EQ(ReadString(os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", u"TestGone"),
              u"C:\\Program Files\\Gone\\gone.exe");

    char16_t buffer[260];
    os::DWORD n = os::ExpandEnvironmentStringsW(u"%USERPROFILE%|%ProgramFiles%|%ProgramW6432%", buffer, 260);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(std::u16string(buffer), u"C:\\Users\\Alice|C:\\Program Files (x86)|C:\\Program Files");
    // Drive C: is the folder, in whatever case it spells its names; other
    // letters are not judged.
    EXPECT_NE(os::GetFileAttributesW(u"C:\\Program Files\\Present\\app.exe"), os::INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(os::GetFileAttributesW(u"D:\\x.exe"), os::INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(os::GetLastError(), os::ERROR_NOT_READY);

    // Hive files are named as the drive spells them.
    auto same = [](std::u16string_view a, std::u16string_view b) { return text::EqualNoCase(a, b); };
    EXPECT_PRED2(same, machine.HiveOf(u"HKEY_CURRENT_USER", u"Software\\Classes\\.txt"),
                 u"C:\\Users\\Alice\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat");
    EXPECT_PRED2(same, machine.HiveOf(u"HKEY_USERS", u"S-1-5-21-111-222-333-1001\\Software\\Classes\\CLSID"),
                 u"C:\\Users\\Alice\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat");
    EXPECT_PRED2(same, machine.HiveOf(u"HKEY_CURRENT_USER", u"Software\\X"), u"C:\\Users\\Alice\\NTUSER.DAT");
    EXPECT_PRED2(same, machine.HiveOf(u"HKEY_CLASSES_ROOT", u"CLSID\\{x}"),
                 u"C:\\Windows\\System32\\config\\SOFTWARE");
    // Through HKEY_CLASSES_ROOT, a key of Alice's classes is hers.
    EXPECT_PRED2(same, machine.HiveOf(u"HKEY_CLASSES_ROOT", u"Local Settings\\MuiCache", u"32-bit"),
                 u"C:\\Users\\Alice\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat");
    EXPECT_PRED2(same, machine.HiveOf(u"HKEY_LOCAL_MACHINE", u"SYSTEM\\CurrentControlSet\\Services"),
                 u"C:\\Windows\\System32\\config\\SYSTEM");
    EXPECT_PRED2(same, machine.HiveOf(u"HKEY_USERS", u".DEFAULT\\Software"),
                 u"C:\\Windows\\System32\\config\\DEFAULT");
    emul::Reset();
}

INSTANTIATE_TEST_SUITE_P(Spellings, OfflineDrive, ::testing::Values(Spelling::Windows, Spelling::Other));

struct TChoiceCase {
    const char* what;
    TDriveLayout layout;
    std::optional<std::u16string> user;
    const char* expected;  // in the message; null: loads
    fs::path (*corrupt)(const TTestDrive&);
};

void PrintTo(const TChoiceCase& c, std::ostream* os) { *os << c.what; }

class OfflineChoice : public ::testing::TestWithParam<TChoiceCase> {};

TEST_P(OfflineChoice, ChoosesTheUserOrSaysWhy) {
    REQUIRE_HIVES();
    const auto& c = GetParam();
    TTestDrive drive(c.layout);
    fs::path root = c.corrupt ? c.corrupt(drive) : drive.Root();
    try {
        offline::TOfflineMachine machine({root, c.user, {}});
        EXPECT_EQ(c.expected, nullptr) << c.what;
        if (c.user) {
            EXPECT_TRUE(text::EqualNoCase(machine.User().name, *c.user));
        }
    } catch (const std::exception& e) {
        ASSERT_NE(c.expected, nullptr) << c.what << ": " << e.what();
        EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << c.what << ": " << e.what();
    }
    emul::Reset();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OfflineChoice,
    ::testing::Values(
        TChoiceCase{"two users, none chosen", {Spelling::Windows, true, true}, std::nullopt, "--user NAME:\n  Alice", nullptr},
        TChoiceCase{"two users, Bob chosen", {Spelling::Other, true, true}, u"Bob", nullptr, nullptr},
        TChoiceCase{"Bob's hive missing", {Spelling::Windows, true, false}, u"bob", "NTUSER.DAT: the user's registry hive is missing", nullptr},
        TChoiceCase{"no such user", {}, u"Carol", "no user profile named Carol", nullptr},
        TChoiceCase{"not a Windows drive", {}, std::nullopt, "not a Windows system drive",
                    [](const TTestDrive& d) { return d.Root() / "Users"; }},
        TChoiceCase{"SYSTEM hive missing", {}, std::nullopt, "SYSTEM: the registry hive is missing",
                    [](const TTestDrive& d) { fs::remove(d.System()); return d.Root(); }},
        TChoiceCase{"damaged SOFTWARE hive", {}, std::nullopt, "SOFTWARE: not a readable registry hive",
                    [](const TTestDrive& d) { Decompress("corrupted_system_hive", d.Software()); return d.Root(); }}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

}  // namespace
