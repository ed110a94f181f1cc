// Registry views of a 32-bit program on 64-bit Windows (and their absence on
// 32-bit Windows): where keys land, what each view lists, which keys both
// views share.
#include "platform/Wow64.h"
#include "platform/os/WinApi.h"
#include "support/SeamTest.h"
#include "RegistryTestKit.h"
#ifndef _WIN32
#include "platform/emul/Machine.h"
#endif

using namespace regtest;

namespace {

const auto HKLM = os::HKEY_LOCAL_MACHINE;
constexpr os::REGSAM k64 = os::KEY_WOW64_64KEY;
constexpr os::REGSAM k32 = os::KEY_WOW64_32KEY;
os::LSTATUS Rc(os::DWORD code) { return static_cast<os::LSTATUS>(code); }

bool Windows64() {
#ifdef _WIN32
    return platform::IsWow64();
#else
    return emul::GetArch() == emul::Arch::Windows64;
#endif
}

// "SOFTWARE\X" -> "SOFTWARE\Wow6432Node\X"
std::u16string Wow(const std::u16string& softwarePath) {
    return u"SOFTWARE\\Wow6432Node" + softwarePath.substr(8);
}

bool Contains(const std::vector<std::u16string>& names, std::u16string_view name) {
    for (const auto& n : names)
        if (text::EqualNoCase(n, name)) return true;
    return false;
}

class RegistryViewsTest : public testsupport::SeamTest {
protected:
    void SetUp() override {
        SeamTest::SetUp();
        if (!Windows64()) GTEST_SKIP() << "needs 64-bit Windows (a WoW64 prefix under Wine)";
    }
    void TearDown() override {
        for (const auto& path : cleanup_) {
            testsupport::DeleteTree(HKLM, path, k64);
            testsupport::DeleteTree(HKLM, path, k32);
        }
        SeamTest::TearDown();
    }
    // A machine key outside the scratch tree, removed from both views after the test.
    std::u16string Outside(const std::u16string& parent) {
        auto path = parent + u"\\TallowmendTest-" + MachineScratchKey().substr(MachineScratchKey().rfind(u'\\') + 1);
        cleanup_.push_back(path);
        return path;
    }
    std::u16string Machine(std::u16string_view name) const {
        return MachineScratchKey() + u"\\" + std::u16string(name);
    }

private:
    std::vector<std::u16string> cleanup_;
};

TEST_F(RegistryViewsTest, TheDefaultViewWritesBelowWow6432Node) {
    MustCreate(HKLM, Machine(u"Probe"));
    EXPECT_TRUE(Exists(HKLM, Machine(u"Probe")));
    EXPECT_TRUE(Exists(HKLM, Machine(u"Probe"), k32));
    EXPECT_FALSE(Exists(HKLM, Machine(u"Probe"), k64));
    EXPECT_TRUE(Exists(HKLM, Wow(Machine(u"Probe")), k64));
    // Naming Wow6432Node from the 32-bit view names the view itself.
    EXPECT_TRUE(Exists(HKLM, Wow(Machine(u"Probe"))));
}

TEST_F(RegistryViewsTest, The64BitViewIsNotRedirected) {
    MustCreate(HKLM, Machine(u"Native"), os::KEY_ALL_ACCESS | k64);
    EXPECT_TRUE(Exists(HKLM, Machine(u"Native"), k64));
    EXPECT_FALSE(Exists(HKLM, Machine(u"Native")));
    EXPECT_EQ(os::RegDeleteKeyExW(HKLM, Machine(u"Native").c_str(), k32, 0), Rc(os::ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(os::RegDeleteKeyExW(HKLM, Machine(u"Native").c_str(), k64, 0), os::ERROR_SUCCESS);
}

TEST_F(RegistryViewsTest, EachViewListsItsOwnSoftwareKey) {
    MustCreate(HKLM, Machine(u"Probe"));
    Key view32, view64;
    ASSERT_EQ(Open(HKLM, u"SOFTWARE", os::KEY_READ, view32), os::ERROR_SUCCESS);
    ASSERT_EQ(Open(HKLM, u"SOFTWARE", os::KEY_READ | k64, view64), os::ERROR_SUCCESS);
    auto names32 = SubkeyNames(view32.get());
    auto names64 = SubkeyNames(view64.get());
    EXPECT_FALSE(Contains(names32, u"Wow6432Node"));
    EXPECT_TRUE(Contains(names64, u"Wow6432Node"));
    EXPECT_TRUE(Contains(names32, u"TallowmendTests"));
    EXPECT_TRUE(Contains(names32, u"Classes")) << "shared, so seen from both views";
    EXPECT_TRUE(Contains(names64, u"Classes"));
}

TEST_F(RegistryViewsTest, ARelativeOpenKeepsTheViewOfItsParentHandle) {
    MustCreate(HKLM, Machine(u"Probe"));
    Key software64;
    ASSERT_EQ(Open(HKLM, u"SOFTWARE", os::KEY_READ | k64, software64), os::ERROR_SUCCESS);
    Key viaWow, direct;
    EXPECT_EQ(Open(software64.get(), Wow(Machine(u"Probe")).substr(9), os::KEY_READ, viaWow), os::ERROR_SUCCESS);
    EXPECT_EQ(Open(software64.get(), Machine(u"Probe").substr(9), os::KEY_READ, direct),
              Rc(os::ERROR_FILE_NOT_FOUND));
    // The flag on the relative open wins over the handle's view.
    EXPECT_EQ(Open(software64.get(), Machine(u"Probe").substr(9), os::KEY_READ | k32, direct), os::ERROR_SUCCESS);
}

TEST_F(RegistryViewsTest, CurrentUserAndSystemAreSharedByBothViews) {
    MustCreate(os::HKEY_CURRENT_USER, ScratchKey() + u"\\Both");
    EXPECT_TRUE(Exists(os::HKEY_CURRENT_USER, ScratchKey() + u"\\Both", k64));
    auto system = Outside(u"SYSTEM");
    MustCreate(HKLM, system);
    EXPECT_TRUE(Exists(HKLM, system, k64));
}

// Keys below HKLM\SOFTWARE that Windows 7 shares between the views.
class RegistrySharedKeyTest : public RegistryViewsTest, public ::testing::WithParamInterface<const char16_t*> {};

TEST_P(RegistrySharedKeyTest, IsOneKeyForBothViews) {
    auto path = Outside(GetParam());
    MustCreate(HKLM, path);
    EXPECT_TRUE(Exists(HKLM, path, k64)) << "went to the 32-bit copy";
    // One key, not two that look alike: what the 64-bit view writes, the
    // default view reads. (Its Wow6432Node twin may be a link to it, as
    // Classes\AppID's is on Windows 7 and Fonts' is under Wine, so that
    // path proves nothing.)
    ASSERT_EQ(SetBytes(MustCreate(HKLM, path, os::KEY_ALL_ACCESS | k64).get(), u"Both", os::REG_SZ, Utf16Bytes(u"x")),
              os::ERROR_SUCCESS);
    Key seen;
    ASSERT_EQ(Open(HKLM, path, os::KEY_READ, seen), os::ERROR_SUCCESS);
    EXPECT_EQ(ValueNames(seen.get()), std::vector<std::u16string>{u"Both"});
}

INSTANTIATE_TEST_SUITE_P(Windows7, RegistrySharedKeyTest,
                         ::testing::Values(u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
                                           u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes",
                                           u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths",
                                           u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies",
                                           u"SOFTWARE\\Classes", u"SOFTWARE\\Classes\\AppID"));

// Below the shared Classes key, COM registrations are redirected again.
class RegistryClassesTest : public RegistryViewsTest, public ::testing::WithParamInterface<const char16_t*> {};

TEST_P(RegistryClassesTest, IsRedirectedInsideClasses) {
    std::u16string sub = std::u16string(GetParam()) + u"\\TallowmendTest-" +
                         MachineScratchKey().substr(MachineScratchKey().rfind(u'\\') + 1);
    auto classes = u"SOFTWARE\\Classes\\" + sub;
    auto redirected = u"SOFTWARE\\Classes\\Wow6432Node\\" + sub;
    Outside(u"SOFTWARE\\Classes\\" + std::u16string(GetParam()));  // cleanup of both views
    MustCreate(HKLM, classes);
    EXPECT_FALSE(Exists(HKLM, classes, k64));
    EXPECT_TRUE(Exists(HKLM, redirected, k64));
    EXPECT_TRUE(Exists(os::HKEY_CLASSES_ROOT, sub));
    EXPECT_FALSE(Exists(os::HKEY_CLASSES_ROOT, sub, k64));
    testsupport::DeleteTree(HKLM, classes, k32);
    EXPECT_FALSE(Exists(HKLM, redirected, k64));
}

INSTANTIATE_TEST_SUITE_P(Windows7, RegistryClassesTest,
                         ::testing::Values(u"CLSID", u"Interface", u"DirectShow", u"Media Type", u"MediaFoundation"));

TEST_F(RegistryViewsTest, ClassesRootShowsMachineClasses) {
    auto ext = Outside(u"SOFTWARE\\Classes");
    MustCreate(HKLM, ext);
    auto name = ext.substr(17);
    EXPECT_TRUE(Exists(os::HKEY_CLASSES_ROOT, name));
    EXPECT_TRUE(Exists(os::HKEY_CLASSES_ROOT, name, k64));
    Key root;
    ASSERT_EQ(Open(os::HKEY_CLASSES_ROOT, u"", os::KEY_READ, root), os::ERROR_SUCCESS);
    EXPECT_TRUE(Contains(SubkeyNames(root.get()), name));
}

#ifndef _WIN32
TEST(RegistryViews32, A32BitMachineHasOneRegistryAndIgnoresTheViewFlags) {
    emul::Reset();
    emul::SetArch(emul::Arch::Windows32);
    {
        Key made = MustCreate(HKLM, u"SOFTWARE\\Vendor\\App");
        EXPECT_TRUE(Exists(HKLM, u"SOFTWARE\\Vendor\\App", k64));
        EXPECT_TRUE(Exists(HKLM, u"SOFTWARE\\Vendor\\App", k32));
        EXPECT_FALSE(Exists(HKLM, u"SOFTWARE\\Wow6432Node", k64));
        Key software;
        ASSERT_EQ(Open(HKLM, u"SOFTWARE", os::KEY_READ | k64, software), os::ERROR_SUCCESS);
        EXPECT_FALSE(Contains(SubkeyNames(software.get()), u"Wow6432Node"));
        EXPECT_EQ(emul::SaveRegText(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node"), u"");
    }
    // Back to 64-bit: the 32-bit view reappears, and the key stays where it was.
    emul::SetArch(emul::Arch::Windows64);
    EXPECT_TRUE(Exists(HKLM, u"SOFTWARE\\Vendor\\App", k64));
    EXPECT_FALSE(Exists(HKLM, u"SOFTWARE\\Vendor\\App"));
    EXPECT_TRUE(Exists(HKLM, u"SOFTWARE\\Wow6432Node", k64));
    EXPECT_EQ(emul::OpenKeyHandleCount(), 0u);
    emul::Reset();
}
#endif

}  // namespace
