// Key security as the repair code uses it: read a key's DACL, open the key
// up with a NULL DACL, put the saved DACL back; and denied keys.
#include <cstring>

#include "platform/RegistryAccess.h"
#include "platform/os/WinApi.h"
#include "support/SeamTest.h"
#include "RegistryTestKit.h"
#ifndef _WIN32
#include "platform/emul/Machine.h"
#endif

using namespace regtest;

namespace {

const auto HKCU = os::HKEY_CURRENT_USER;
constexpr os::REGSAM kSecurityOnly = os::READ_CONTROL | os::WRITE_DAC;
constexpr os::REGSAM kDelete = os::DELETE_ACCESS;
os::LSTATUS Rc(os::DWORD code) { return static_cast<os::LSTATUS>(code); }

class RegistrySecurityTest : public testsupport::SeamTest {
protected:
    std::u16string Sub(std::u16string_view name) const { return ScratchKey() + u"\\" + std::u16string(name); }

    std::vector<std::uint8_t> GetDacl(const std::u16string& path) {
        Key key;
        EXPECT_EQ(Open(HKCU, path, kSecurityOnly, key), os::ERROR_SUCCESS);
        os::DWORD bytes = 0;
        EXPECT_EQ(os::RegGetKeySecurity(key.get(), os::DACL_SECURITY_INFORMATION, nullptr, &bytes),
                  Rc(os::ERROR_INSUFFICIENT_BUFFER));
        // As the unlock code does: a little more than asked for, zero-filled.
        std::vector<std::uint8_t> sd(bytes + 4, 0);
        os::DWORD size = bytes + 4;
        EXPECT_EQ(os::RegGetKeySecurity(key.get(), os::DACL_SECURITY_INFORMATION, sd.data(), &size),
                  os::ERROR_SUCCESS);
        EXPECT_EQ(size, bytes);
        sd.resize(size);
        return sd;
    }

    os::LSTATUS SetDacl(const std::u16string& path, void* sd) {
        Key key;
        if (auto rc = Open(HKCU, path, kSecurityOnly, key)) return rc;
        return os::RegSetKeySecurity(key.get(), os::DACL_SECURITY_INFORMATION, sd);
    }

    // A NULL DACL in exactly the 20 zeroed bytes a 32-bit caller allocates.
    os::LSTATUS OpenUp(const std::u16string& path) {
        std::uint8_t sd[os::SECURITY_DESCRIPTOR_MIN_LENGTH] = {};
        EXPECT_TRUE(os::InitializeSecurityDescriptor(sd, os::SECURITY_DESCRIPTOR_REVISION));
        EXPECT_TRUE(os::SetSecurityDescriptorDacl(sd, os::TRUE, nullptr, os::FALSE));
        return SetDacl(path, sd);
    }

    os::LSTATUS OpenWith(const std::u16string& path, os::REGSAM sam) {
        Key key;
        return Open(HKCU, path, sam, key);
    }
};

TEST_F(RegistrySecurityTest, ANullDaclAndTheSavedDescriptorRoundTrip) {
    auto path = Sub(u"Key");
    MustCreate(HKCU, path);
    auto before = GetDacl(path);
    ASSERT_FALSE(before.empty());

    ASSERT_EQ(OpenUp(path), os::ERROR_SUCCESS);
    EXPECT_NE(GetDacl(path), before);
    EXPECT_EQ(OpenWith(path, os::KEY_ALL_ACCESS), os::ERROR_SUCCESS);

    ASSERT_EQ(SetDacl(path, before.data()), os::ERROR_SUCCESS);
    EXPECT_EQ(GetDacl(path), before);
}

TEST_F(RegistrySecurityTest, AnEmptyDaclLocksEverybodyOutButTheOwnerCanStillRewriteIt) {
    auto path = Sub(u"Key");
    MustCreate(HKCU, path);
    std::uint8_t acl[8] = {2, 0, 8, 0, 0, 0, 0, 0};  // revision 2, 8 bytes, no entries
    std::uint8_t sd[os::SECURITY_DESCRIPTOR_MIN_LENGTH] = {};
    ASSERT_TRUE(os::InitializeSecurityDescriptor(sd, os::SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(os::SetSecurityDescriptorDacl(sd, os::TRUE, acl, os::FALSE));
    ASSERT_EQ(SetDacl(path, sd), os::ERROR_SUCCESS);

    EXPECT_EQ(OpenWith(path, os::KEY_READ), Rc(os::ERROR_ACCESS_DENIED));
    EXPECT_EQ(OpenWith(path, os::KEY_SET_VALUE), Rc(os::ERROR_ACCESS_DENIED));
    EXPECT_EQ(OpenWith(path, kSecurityOnly), os::ERROR_SUCCESS);

    ASSERT_EQ(OpenUp(path), os::ERROR_SUCCESS);
    EXPECT_EQ(OpenWith(path, os::KEY_READ), os::ERROR_SUCCESS);
}

TEST_F(RegistrySecurityTest, DescriptorCallsCheckTheirArguments) {
    std::uint8_t sd[os::SECURITY_DESCRIPTOR_MIN_LENGTH] = {};
    os::SetLastError(0);
    EXPECT_FALSE(os::InitializeSecurityDescriptor(sd, 2));
    EXPECT_EQ(os::GetLastError(), 1305u);  // ERROR_UNKNOWN_REVISION
    Key key;
    ASSERT_EQ(Open(HKCU, ScratchKey(), os::KEY_READ, key), os::ERROR_SUCCESS);
    os::DWORD bytes = 0;
    EXPECT_EQ(os::RegGetKeySecurity(key.get(), os::DACL_SECURITY_INFORMATION, nullptr, &bytes),
              Rc(os::ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(OpenUp(ScratchKey()), os::ERROR_SUCCESS);
    // A valid descriptor, so only the handle's rights can refuse it.
    ASSERT_TRUE(os::InitializeSecurityDescriptor(sd, os::SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(os::SetSecurityDescriptorDacl(sd, os::TRUE, nullptr, os::FALSE));
    EXPECT_EQ(os::RegSetKeySecurity(key.get(), os::DACL_SECURITY_INFORMATION, sd), Rc(os::ERROR_ACCESS_DENIED))
        << "KEY_READ carries no WRITE_DAC";
}

#ifndef _WIN32
struct DenyCase {
    const char* label;
    bool denyRead, denyWrite;
    os::REGSAM sam;
    os::LSTATUS open;
};

class RegistryDenyTest : public RegistrySecurityTest, public ::testing::WithParamInterface<DenyCase> {};

TEST_P(RegistryDenyTest, OpensOnlyWithRightsTheKeyAllows) {
    auto path = Sub(u"Denied");
    MustCreate(HKCU, path);
    emul::DenyKeyAccess(u"HKEY_CURRENT_USER\\" + path, GetParam().denyRead, GetParam().denyWrite);
    EXPECT_EQ(OpenWith(path, GetParam().sam), GetParam().open);
}

constexpr os::LSTATUS kDenied = static_cast<os::LSTATUS>(os::ERROR_ACCESS_DENIED);
INSTANTIATE_TEST_SUITE_P(
    Table, RegistryDenyTest,
    ::testing::Values(DenyCase{"ReadDeniedRead", true, false, os::KEY_READ, kDenied},
                      DenyCase{"ReadDeniedQuery", true, false, os::KEY_QUERY_VALUE, kDenied},
                      DenyCase{"ReadDeniedEnumerate", true, false, os::KEY_ENUMERATE_SUB_KEYS, kDenied},
                      DenyCase{"ReadDeniedNotify", true, false, os::KEY_NOTIFY, kDenied},
                      DenyCase{"ReadDeniedWrite", true, false, os::KEY_SET_VALUE, 0},
                      DenyCase{"ReadDeniedGenericRead", true, false, 0x80000000, kDenied},
                      DenyCase{"WriteDeniedWrite", false, true, os::KEY_WRITE, kDenied},
                      DenyCase{"WriteDeniedDelete", false, true, kDelete, kDenied},
                      DenyCase{"WriteDeniedCreate", false, true, os::KEY_CREATE_SUB_KEY, kDenied},
                      DenyCase{"WriteDeniedRead", false, true, os::KEY_READ, 0},
                      DenyCase{"BothDeniedSecurity", true, true, kSecurityOnly, 0},
                      DenyCase{"BothDeniedMaximum", true, true, os::MAXIMUM_ALLOWED, 0},
                      DenyCase{"BothDeniedAll", true, true, os::KEY_ALL_ACCESS, kDenied}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(RegistrySecurityTest, MaximumAllowedGrantsWhatIsLeft) {
    auto path = Sub(u"Denied");
    MustCreate(HKCU, path);
    emul::DenyKeyAccess(u"HKEY_CURRENT_USER\\" + path, false, true);
    Key key;
    ASSERT_EQ(Open(HKCU, path, os::MAXIMUM_ALLOWED, key), os::ERROR_SUCCESS);
    os::DWORD bytes = 0;
    EXPECT_EQ(os::RegQueryValueExW(key.get(), u"x", nullptr, nullptr, nullptr, &bytes), Rc(os::ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(SetBytes(key.get(), u"x", os::REG_BINARY, {1}), kDenied);
}

TEST_F(RegistrySecurityTest, AWriteDeniedKeyCanNeitherBeDeletedNorGrow) {
    auto path = Sub(u"Denied");
    MustCreate(HKCU, path);
    emul::DenyKeyAccess(u"HKEY_CURRENT_USER\\" + path, false, true);
    EXPECT_EQ(os::RegDeleteKeyW(HKCU, path.c_str()), kDenied);
    Key child;
    EXPECT_EQ(os::RegCreateKeyExW(HKCU, (path + u"\\Child").c_str(), 0, nullptr, 0, os::KEY_ALL_ACCESS, nullptr,
                                  child.put(), nullptr),
              kDenied);
    EXPECT_TRUE(Exists(HKCU, path));
}

// A key owned by another account (the system's installer) keeps even an
// administrator from changing its security: it can be read, never unlocked.
TEST_F(RegistrySecurityTest, AKeyThatRefusesWriteDacCannotBeUnlocked) {
    auto path = Sub(u"Owned");
    MustCreate(HKCU, path);
    emul::DenySecurityChange(u"HKEY_CURRENT_USER\\" + path, true);
    EXPECT_EQ(OpenWith(path, os::KEY_READ | os::READ_CONTROL), os::ERROR_SUCCESS);
    EXPECT_EQ(OpenWith(path, kSecurityOnly), kDenied);
    EXPECT_EQ(OpenUp(path), kDenied);
    // Asking for everything that is left does not bring WRITE_DAC back.
    Key key;
    ASSERT_EQ(Open(HKCU, path, os::MAXIMUM_ALLOWED, key), os::ERROR_SUCCESS);
    std::uint8_t sd[os::SECURITY_DESCRIPTOR_MIN_LENGTH] = {};
    ASSERT_TRUE(os::InitializeSecurityDescriptor(sd, os::SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(os::SetSecurityDescriptorDacl(sd, os::TRUE, nullptr, os::FALSE));
    EXPECT_EQ(os::RegSetKeySecurity(key.get(), os::DACL_SECURITY_INFORMATION, sd), kDenied);
    platform::SavedDescriptor saved;
    EXPECT_FALSE(platform::UnlockRegistryKey(HKCU, path, true, saved));
    EXPECT_FALSE(platform::RegistryCanOpenKey(HKCU, path, 0));
}

TEST_F(RegistrySecurityTest, UnlockOpensADeniedKeyAndTheSavedDescriptorDeniesAgain) {
    auto path = Sub(u"Denied");
    MustCreate(HKCU, path);
    emul::DenyKeyAccess(u"HKEY_CURRENT_USER\\" + path, true, true);
    auto saved = GetDacl(path);
    ASSERT_EQ(OpenUp(path), os::ERROR_SUCCESS);
    EXPECT_EQ(OpenWith(path, os::KEY_ALL_ACCESS), os::ERROR_SUCCESS);
    ASSERT_EQ(SetDacl(path, saved.data()), os::ERROR_SUCCESS);
    EXPECT_EQ(OpenWith(path, os::KEY_READ), kDenied);
    EXPECT_EQ(OpenWith(path, os::KEY_SET_VALUE), kDenied);
    EXPECT_EQ(GetDacl(path), saved);
}
#endif

}  // namespace
