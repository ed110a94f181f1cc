// HKEY_CLASSES_ROOT of the emulated machine (native build only) as Windows
// builds it for the current user: the user's classes laid over the
// machine's, in both views of a 64-bit machine.
#ifndef _WIN32
#include <algorithm>

#include "platform/emul/EmulRegistry.h"
#include "platform/emul/Machine.h"
#include "platform/os/WinApi.h"
#include "support/SeamTest.h"
#include "RegistryTestKit.h"

using namespace regtest;

namespace {

const auto HKCR = os::HKEY_CLASSES_ROOT;
constexpr os::REGSAM k64 = os::KEY_WOW64_64KEY;
constexpr os::REGSAM k32 = os::KEY_WOW64_32KEY;

// Where the user's classes are loaded: HKCU\Software\Classes as a key of
// its own, or as Windows has it, a link to the SID_Classes key.
struct TPlacement {
    const char* name;
    std::u16string_view prefix;
    bool link;
};

void PrintTo(const TPlacement& p, std::ostream* os) { *os << p.name; }

const TPlacement kPlacements[] = {
    {"UnderCurrentUser", u"HKEY_CURRENT_USER\\Software\\Classes", false},
    {"LinkedToTheSidsClassesKey", u"HKEY_USERS\\S-1-5-21-0-0-0-1000_Classes", true},
};

constexpr std::u16string_view kMachine =
    u"Windows Registry Editor Version 5.00\r\n\r\n"
    u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.both]\r\n@=\"machine.both\"\r\n\r\n"
    u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.both\\ShellNew]\r\n\"Machine\"=\"1\"\r\n\r\n"
    u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.machine]\r\n@=\"machine\"\r\n\r\n"
    u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{c1}]\r\n@=\"machine64\"\r\n\r\n"
    u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{c1}]\r\n@=\"machine32\"\r\n\r\n";

// The user's part, with `prefix` standing for their classes key.
std::u16string UserClasses(std::u16string_view prefix) {
    std::u16string p(prefix);
    return u"Windows Registry Editor Version 5.00\r\n\r\n"
           u"[" + p + u"\\.BOTH]\r\n@=\"user.both\"\r\n\r\n"
           u"[" + p + u"\\.BOTH\\OpenWithProgids]\r\n\r\n"
           u"[" + p + u"\\.user]\r\n@=\"user\"\r\n\r\n"
           u"[" + p + u"\\CLSID\\{c2}]\r\n@=\"user64\"\r\n\r\n"
           u"[" + p + u"\\Wow6432Node\\CLSID\\{c3}]\r\n@=\"user32\"\r\n\r\n";
}

std::u16string DefaultValue(os::HKEY root, const std::u16string& path, os::REGSAM view) {
    Key key;
    if (Open(root, path, os::KEY_READ | view, key) != os::ERROR_SUCCESS) return u"<missing>";
    char16_t buffer[64] = {};
    os::DWORD bytes = sizeof buffer - 2;
    if (os::RegQueryValueExW(key.get(), nullptr, nullptr, nullptr, reinterpret_cast<os::BYTE*>(buffer), &bytes) !=
        os::ERROR_SUCCESS)
        return u"<no value>";
    return buffer;
}

std::vector<std::u16string> Names(const std::u16string& path, os::REGSAM view) {
    Key key;
    if (Open(HKCR, path, os::KEY_READ | view, key) != os::ERROR_SUCCESS) return {u"<missing>"};
    return SubkeyNames(key.get());
}

class ClassesRootTest : public testsupport::SeamTest, public ::testing::WithParamInterface<TPlacement> {
protected:
    void SetUp() override {
        SeamTest::SetUp();
        emul::SetArch(emul::Arch::Windows64);
        emul::LoadRegText(kMachine);
        emul::LoadRegText(UserClasses(GetParam().prefix));
        if (GetParam().link) {
            Key link = MustCreate(os::HKEY_CURRENT_USER, u"Software\\Classes", os::KEY_ALL_ACCESS | os::KEY_CREATE_LINK,
                                  os::REG_OPTION_CREATE_LINK | os::REG_OPTION_VOLATILE);
            std::u16string target = u"\\REGISTRY\\USER\\S-1-5-21-0-0-0-1000_Classes";
            ASSERT_EQ(SetBytes(link.get(), u"SymbolicLinkValue", os::REG_LINK, Utf16Bytes(target)), os::ERROR_SUCCESS);
        }
    }
    std::u16string User(std::u16string_view below) const { return std::u16string(GetParam().prefix) + u"\\" + std::u16string(below); }
    bool UserHas(std::u16string_view below) const { return !emul::SaveRegText(User(below)).empty(); }
    bool MachineHas(std::u16string_view below) const {
        return !emul::SaveRegText(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\" + std::u16string(below)).empty();
    }
};

struct TOpenCase {
    os::REGSAM view;
    const char16_t* path;
    const char16_t* value;  // the default value read through the key that opens
};

TEST_P(ClassesRootTest, AKeyOpensAsTheUsersWhereTheyHaveItElseAsTheMachines) {
    const TOpenCase cases[] = {
        {k64, u".both", u"user.both"},
        {k32, u".both", u"user.both"},
        {k64, u".machine", u"machine"},
        {k64, u".user", u"user"},
        // A subkey only the machine has, below a key the user has too.
        {k64, u".both\\ShellNew", u"<no value>"},
        {k64, u"CLSID\\{c1}", u"machine64"},
        {k32, u"CLSID\\{c1}", u"machine32"},
        // The user's classes keep the 32-bit view's classes below their own
        // Wow6432Node, as the machine's do.
        {k64, u"CLSID\\{c2}", u"user64"},
        {k32, u"CLSID\\{c2}", u"<missing>"},
        {k32, u"CLSID\\{c3}", u"user32"},
        {k64, u"CLSID\\{c3}", u"<missing>"},
        {k64, u"Wow6432Node\\CLSID\\{c3}", u"user32"},
        {k64, u".nowhere", u"<missing>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(text::ToUtf8(DefaultValue(HKCR, c.path, c.view)), text::ToUtf8(c.value))
            << text::ToUtf8(c.path) << (c.view == k32 ? " (32-bit)" : " (64-bit)");
    // The key names where it lives.
    EXPECT_EQ(emul::ClassesKeyName(u".both", k64), u"HKEY_USERS\\S-1-5-21-0-0-0-1000" +
                                                        std::u16string(GetParam().link ? u"_Classes\\.BOTH"
                                                                                       : u"\\Software\\Classes\\.BOTH"));
    EXPECT_EQ(emul::ClassesKeyName(u".machine", k64), u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.machine");
    EXPECT_EQ(emul::ClassesKeyName(u"CLSID\\{c1}", k32), u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{c1}");
    EXPECT_EQ(emul::ClassesKeyName(u".nowhere", k64), u"");
}

TEST_P(ClassesRootTest, SubkeysAreTheUnionSpelledAsTheUserSpellsThem) {
    struct {
        os::REGSAM view;
        const char16_t* path;
        std::vector<std::u16string> names;
    } const cases[] = {
        {k64, u".both", {u"OpenWithProgids", u"ShellNew"}},
        {k64, u"CLSID", {u"{c1}", u"{c2}"}},
        {k32, u"CLSID", {u"{c1}", u"{c3}"}},
        {k64, u".user", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Names(c.path, c.view), c.names) << text::ToUtf8(c.path);
        Key key;
        ASSERT_EQ(Open(HKCR, c.path, os::KEY_READ | c.view, key), os::ERROR_SUCCESS);
        os::DWORD count = 99;
        ASSERT_EQ(os::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                                       nullptr, nullptr, nullptr, nullptr),
                  os::ERROR_SUCCESS);
        EXPECT_EQ(count, c.names.size()) << text::ToUtf8(c.path);
    }
    for (os::REGSAM view : {k64, k32}) {
        auto root = Names(u"", view);
        EXPECT_EQ(std::count(root.begin(), root.end(), u".BOTH"), 1);
        EXPECT_EQ(std::count_if(root.begin(), root.end(), [](auto& n) { return text::EqualNoCase(n, u".both"); }), 1);
        EXPECT_EQ(std::count(root.begin(), root.end(), u".user"), 1);
        EXPECT_EQ(std::count(root.begin(), root.end(), u".machine"), 1);
        EXPECT_EQ(std::count(root.begin(), root.end(), u"CLSID"), 1);
    }
}

TEST_P(ClassesRootTest, ValuesGoToTheKeyThatOpensAndNewKeysToTheMachine) {
    auto set = [](const std::u16string& path, const std::u16string& name) {
        Key key;
        ASSERT_EQ(Open(HKCR, path, os::KEY_SET_VALUE | k64, key), os::ERROR_SUCCESS) << text::ToUtf8(path);
        ASSERT_EQ(SetBytes(key.get(), name, os::REG_SZ, Utf16Bytes(u"x")), os::ERROR_SUCCESS);
    };
    set(u".both", u"Written");
    EXPECT_NE(emul::SaveRegText(User(u".both")).find(u"\"Written\""), std::u16string::npos);
    EXPECT_EQ(emul::SaveRegText(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.both").find(u"\"Written\""),
              std::u16string::npos);
    set(u".machine", u"Written");
    EXPECT_NE(emul::SaveRegText(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.machine").find(u"\"Written\""),
              std::u16string::npos);

    // A new key is the machine's, even below a key only the user has; the
    // merged listing shows it there.
    MustCreate(HKCR, u".new", os::KEY_ALL_ACCESS | k64);
    MustCreate(HKCR, u".user\\Added", os::KEY_ALL_ACCESS | k64);
    EXPECT_TRUE(MachineHas(u".new"));
    EXPECT_TRUE(MachineHas(u".user\\Added"));
    EXPECT_FALSE(UserHas(u".new"));
    EXPECT_FALSE(UserHas(u".user\\Added"));
    EXPECT_EQ(Names(u".user", k64), std::vector<std::u16string>{u"Added"});
    // Creating a key that exists opens it where it lives.
    os::DWORD disposition = 0;
    Key both;
    ASSERT_EQ(os::RegCreateKeyExW(HKCR, u".both\\OpenWithProgids", 0, nullptr, 0, os::KEY_ALL_ACCESS | k64, nullptr,
                                  both.put(), &disposition),
              os::ERROR_SUCCESS);
    EXPECT_EQ(disposition, os::REG_OPENED_EXISTING_KEY);
    EXPECT_FALSE(MachineHas(u".both\\OpenWithProgids"));
}

TEST_P(ClassesRootTest, ADeleteRemovesTheKeyThatOpensAndNothingOfTheOtherSide) {
    EXPECT_EQ(os::RegDeleteKeyExW(HKCR, u".both\\OpenWithProgids", k64, 0), os::ERROR_SUCCESS);
    EXPECT_FALSE(UserHas(u".both\\OpenWithProgids"));
    EXPECT_EQ(os::RegDeleteKeyExW(HKCR, u".both", k64, 0), os::ERROR_SUCCESS);
    EXPECT_FALSE(UserHas(u".BOTH"));
    // The machine's key of that name shows again, whole.
    EXPECT_EQ(DefaultValue(HKCR, u".both", k64), u"machine.both");
    EXPECT_TRUE(MachineHas(u".both\\ShellNew"));
    EXPECT_EQ(os::RegDeleteKeyExW(HKCR, u"CLSID\\{c3}", k32, 0), os::ERROR_SUCCESS);
    EXPECT_FALSE(UserHas(u"Wow6432Node\\CLSID\\{c3}"));
    EXPECT_TRUE(MachineHas(u"Wow6432Node\\CLSID\\{c1}"));
}

INSTANTIATE_TEST_SUITE_P(UserClasses, ClassesRootTest, ::testing::ValuesIn(kPlacements),
                         [](const auto& info) { return std::string(info.param.name); });

// Without classes of the user's, or with an empty key for them,
// HKEY_CLASSES_ROOT is the machine's classes, down to where its own values go.
class ClassesRootWithoutUserTest : public testsupport::SeamTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ClassesRootWithoutUserTest, IsTheMachinesClassesAlone) {
    emul::SetArch(emul::Arch::Windows64);
    emul::LoadRegText(kMachine);
    if (GetParam()) emul::LoadRegText(u"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Classes]\r\n");
    for (os::REGSAM view : {k64, k32}) {
        Key machine;
        ASSERT_EQ(Open(os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes", os::KEY_READ | view, machine), os::ERROR_SUCCESS);
        EXPECT_EQ(Names(u"", view), SubkeyNames(machine.get()));
    }
    ASSERT_EQ(SetBytes(HKCR, u"RootValue", os::REG_SZ, Utf16Bytes(u"x")), os::ERROR_SUCCESS);
    EXPECT_NE(emul::SaveRegText(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes").find(u"\"RootValue\""), std::u16string::npos);
    EXPECT_EQ(emul::ClassesKeyName(u".both", k64), u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.both");
}

INSTANTIATE_TEST_SUITE_P(NoneOrEmpty, ClassesRootWithoutUserTest, ::testing::Bool());

}  // namespace
#endif
