// Configuring the emulated registry (native build only): .reg fixtures in
// and out, the raw namespace, counts, reset.
#ifndef _WIN32
#include "platform/emul/Machine.h"
#include "platform/os/WinApi.h"
#include "support/SeamTest.h"
#include "RegistryTestKit.h"

using namespace regtest;

namespace {

class RegistryEmulTest : public testsupport::SeamTest {};

constexpr char16_t kFixture[] =
    u"Windows Registry Editor Version 5.00\r\n"
    u"\r\n"
    u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Vendor32]\r\n"
    u"\"Path\"=\"C:\\\\Program Files (x86)\\\\Vendor\"\r\n"
    u"\r\n"
    u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor64]\r\n"
    u"@=dword:00000001\r\n"
    u"\r\n"
    u"[HKEY_CLASSES_ROOT\\.tmend]\r\n"
    u"@=\"tmend.file\"\r\n"
    u"\r\n"
    u"[HKEY_CURRENT_USER\\Software\\Fixture]\r\n"
    u"\"b\"=hex(b):01,00,00,00,00,00,00,00\r\n"
    u"\"a\"=hex(0):\r\n";

TEST_F(RegistryEmulTest, FixturesNameTheRawKeysAndAreSeenThroughTheViews) {
    auto keys = emul::KeyCount(), values = emul::ValueCount();
    emul::LoadRegText(kFixture);
    EXPECT_EQ(emul::KeyCount(), keys + 4);
    EXPECT_EQ(emul::ValueCount(), values + 5);
    EXPECT_TRUE(Exists(os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor32"));
    EXPECT_FALSE(Exists(os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor64"));
    EXPECT_TRUE(Exists(os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor64", os::KEY_WOW64_64KEY));
    EXPECT_TRUE(Exists(os::HKEY_CLASSES_ROOT, u".tmend"));
    Key fixture;
    ASSERT_EQ(Open(os::HKEY_CURRENT_USER, u"Software\\Fixture", os::KEY_READ, fixture), os::ERROR_SUCCESS);
    EXPECT_EQ(ValueNames(fixture.get()), (std::vector<std::u16string>{u"b", u"a"}));
}

TEST_F(RegistryEmulTest, SavedTextLoadsBackIntoTheSameRegistry) {
    emul::LoadRegText(kFixture);
    emul::LoadRegText(u"REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor64]\r\n\r\n"
                      u"[HKEY_CURRENT_USER\\Software\\Fixture]\r\n\"b\"=-\r\n");
    EXPECT_FALSE(Exists(os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor64", os::KEY_WOW64_64KEY));
    auto machine = emul::SaveRegText(u"HKEY_LOCAL_MACHINE");
    auto user = emul::SaveRegText(u"HKEY_CURRENT_USER\\Software\\Fixture");
    EXPECT_NE(user.find(u"\"a\"=hex(0):"), std::u16string::npos);
    EXPECT_EQ(user.find(u"\"b\""), std::u16string::npos);
    EXPECT_EQ(emul::SaveRegText(u"HKEY_CURRENT_USER\\Software\\Missing"), u"");

    emul::Reset();
    emul::LoadRegText(machine);
    emul::LoadRegText(user);
    EXPECT_EQ(emul::SaveRegText(u"HKEY_LOCAL_MACHINE"), machine);
    EXPECT_EQ(emul::SaveRegText(u"HKEY_CURRENT_USER\\Software\\Fixture"), user);
}

TEST_F(RegistryEmulTest, BadFixturesApplyNothing) {
    auto keys = emul::KeyCount();
    EXPECT_THROW(emul::LoadRegText(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Ok]\r\n"
                                   u"\r\n[HKEY_NOWHERE\\X]\r\n"),
                 emul::RegFormatError);
    EXPECT_EQ(emul::KeyCount(), keys);
    EXPECT_FALSE(Exists(os::HKEY_CURRENT_USER, u"Software\\Ok"));
    EXPECT_THROW(emul::DenyKeyAccess(u"HKEY_CURRENT_USER\\Software\\Missing", true, true), std::invalid_argument);
}

TEST_F(RegistryEmulTest, ResetLeavesOnlyTheStandardKeysAndNoHandles) {
    emul::LoadRegText(kFixture);
    os::HKEY leaked = nullptr;
    ASSERT_EQ(os::RegOpenKeyExW(os::HKEY_CURRENT_USER, u"Software\\Fixture", 0, os::KEY_READ, &leaked),
              os::ERROR_SUCCESS);
    emul::Reset();
    EXPECT_EQ(emul::OpenKeyHandleCount(), 0u);
    EXPECT_EQ(os::RegCloseKey(leaked), static_cast<os::LSTATUS>(os::ERROR_INVALID_HANDLE));
    EXPECT_FALSE(Exists(os::HKEY_CURRENT_USER, u"Software\\Fixture"));
    Key users;
    ASSERT_EQ(Open(os::HKEY_USERS, u"", os::KEY_READ, users), os::ERROR_SUCCESS);
    EXPECT_EQ(SubkeyNames(users.get()), (std::vector<std::u16string>{u".DEFAULT", u"S-1-5-21-0-0-0-1000"}));
    EXPECT_TRUE(Exists(os::HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services"));
    EXPECT_EQ(emul::ValueCount(), 0u);
}

TEST_F(RegistryEmulTest, ManyKeysEnumerateInOrderWithoutRescanning) {
    // A key with many subkeys walked by index, as the scanners walk: the
    // cursor keeps this linear (quadratic would take far longer than the
    // test's budget at this size).
    std::u16string text = u"Windows Registry Editor Version 5.00\r\n\r\n";
    for (int i = 0; i < 20000; ++i)
        text += u"[HKEY_CURRENT_USER\\Software\\Big\\k" + text::FromAscii(std::to_string(100000 + i)) + u"]\r\n";
    emul::LoadRegText(text);
    Key big;
    ASSERT_EQ(Open(os::HKEY_CURRENT_USER, u"Software\\Big", os::KEY_READ, big), os::ERROR_SUCCESS);
    auto names = SubkeyNames(big.get());
    ASSERT_EQ(names.size(), 20000u);
    EXPECT_EQ(names.front(), u"k100000");
    EXPECT_EQ(names.back(), u"k119999");
}

}  // namespace
#endif
