// The registry layer against the seam: natively over the emulated machine,
// under Wine against the real API. Data is set up with raw os:: calls so a
// fault in the layer cannot hide itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/RegistryAccess.h"
#include "platform/Text.h"
#include "support/SeamTest.h"
#ifndef _WIN32
#include "platform/emul/Machine.h"
#endif

using namespace platform;

namespace {

class RegistryAccessTest : public testsupport::SeamTest {
protected:
    void TearDown() override {
        RegistryViewFlag = 0;
        SeamTest::TearDown();
    }

    std::u16string Sub(const std::u16string& rel) const { return ScratchKey() + u"\\" + rel; }

    static void MakeKey(os::HKEY root, const std::u16string& path, os::REGSAM view = 0, os::DWORD options = 0) {
        os::HKEY key = nullptr;
        ASSERT_EQ(os::RegCreateKeyExW(root, path.c_str(), 0, nullptr, options, os::KEY_ALL_ACCESS | view, nullptr,
                                      &key, nullptr),
                  os::ERROR_SUCCESS)
            << text::ToUtf8(path);
        os::RegCloseKey(key);
    }

    static void SetRaw(os::HKEY root, const std::u16string& path, const std::u16string& name, os::DWORD type,
                       const void* data, os::DWORD bytes, os::REGSAM view = 0) {
        os::HKEY key = nullptr;
        ASSERT_EQ(os::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, os::KEY_ALL_ACCESS | view, nullptr, &key,
                                      nullptr),
                  os::ERROR_SUCCESS);
        EXPECT_EQ(os::RegSetValueExW(key, name.c_str(), 0, type, static_cast<const os::BYTE*>(data), bytes),
                  os::ERROR_SUCCESS);
        os::RegCloseKey(key);
    }

    static void SetSz(os::HKEY root, const std::u16string& path, const std::u16string& name,
                      const std::u16string& value, os::DWORD type = os::REG_SZ, os::REGSAM view = 0) {
        SetRaw(root, path, name, type, value.c_str(), static_cast<os::DWORD>((value.size() + 1) * 2), view);
    }

    // Type and bytes as the system holds them; type 0xFFFFFFFF when missing.
    static std::pair<os::DWORD, std::string> QueryRaw(os::HKEY root, const std::u16string& path,
                                                      const std::u16string& name, os::REGSAM view = 0) {
        os::HKEY key = nullptr;
        if (os::RegOpenKeyExW(root, path.c_str(), 0, os::KEY_READ | view, &key) != os::ERROR_SUCCESS)
            return {0xFFFFFFFF, {}};
        os::DWORD type = 0;
        os::DWORD bytes = 0;
        std::string data;
        auto status = os::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &bytes);
        if (status == os::ERROR_SUCCESS) {
            data.resize(bytes);
            os::RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<os::BYTE*>(data.data()),
                                 &bytes);
            data.resize(bytes);
        } else {
            type = 0xFFFFFFFF;
        }
        os::RegCloseKey(key);
        return {type, data};
    }

    static std::string Utf16Bytes(const std::u16string& s) {
        std::string bytes(reinterpret_cast<const char*>(s.c_str()), (s.size() + 1) * 2);
        return bytes;
    }
};

TEST_F(RegistryAccessTest, KeyNamesReplaceTheListOnlyWhenTheKeyOpens) {
    MakeKey(os::HKEY_CURRENT_USER, Sub(u"Parent\\beta"));
    MakeKey(os::HKEY_CURRENT_USER, Sub(u"Parent\\Alpha"));
    MakeKey(os::HKEY_CURRENT_USER, Sub(u"Parent\\gamma\\deeper"));
    MakeKey(os::HKEY_CURRENT_USER, Sub(u"Empty"));

    StringList names{u"kept"};
    RegistryGetKeyNames(os::HKEY_CURRENT_USER, Sub(u"Missing"), names);
    EXPECT_EQ(names, StringList{u"kept"});

    RegistryGetKeyNames(os::HKEY_CURRENT_USER, Sub(u"Parent"), names);
    EXPECT_EQ(names, (StringList{u"Alpha", u"beta", u"gamma"}));

    RegistryGetKeyNames(os::HKEY_CURRENT_USER, Sub(u"Empty"), names);
    EXPECT_TRUE(names.empty());
}

TEST_F(RegistryAccessTest, ValueNamesListTheDefaultValueUnderTheEmptyName) {
    SetSz(os::HKEY_CURRENT_USER, ScratchKey(), u"", u"default");
    SetSz(os::HKEY_CURRENT_USER, ScratchKey(), u"Named", u"x");
    StringList names{u"kept"};
    RegistryGetValueNames(os::HKEY_CURRENT_USER, Sub(u"Missing"), names);
    EXPECT_EQ(names, StringList{u"kept"});
    RegistryGetValueNames(os::HKEY_CURRENT_USER, ScratchKey(), names);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (StringList{u"", u"Named"}));
}

TEST_F(RegistryAccessTest, LongNamesAreEnumeratedWhole) {
    std::u16string longName(200, u'k');
    longName += u"end";
    MakeKey(os::HKEY_CURRENT_USER, Sub(longName));
    SetSz(os::HKEY_CURRENT_USER, ScratchKey(), longName, u"v");
    StringList keys, values;
    RegistryGetKeyNames(os::HKEY_CURRENT_USER, ScratchKey(), keys);
    RegistryGetValueNames(os::HKEY_CURRENT_USER, ScratchKey(), values);
    EXPECT_EQ(keys, StringList{longName});
    EXPECT_EQ(values, StringList{longName});
}

TEST_F(RegistryAccessTest, EmptyPathNamesTheRootAndOneLeadingBackslashIsIgnored) {
    StringList users;
    RegistryGetKeyNames(os::HKEY_USERS, u"", users);
    // Wine spells it ".Default"; names compare without case anyway.
    EXPECT_NE(std::find_if(users.begin(), users.end(),
                           [](const std::u16string& name) { return text::EqualNoCase(name, u".DEFAULT"); }),
              users.end());

    SetSz(os::HKEY_CURRENT_USER, ScratchKey(), u"v", u"found");
    std::u16string value;
    EXPECT_TRUE(RegistryReadString(os::HKEY_CURRENT_USER, u"\\" + ScratchKey(), u"v", value));
    EXPECT_EQ(value, u"found");
    EXPECT_TRUE(RegistryKeyExists(os::HKEY_CURRENT_USER, u"\\" + ScratchKey()));
}

struct ReadCase {
    const char* label;
    os::DWORD type;
    std::string bytes;  // stored as is; empty label means "no value"
    bool result;
    std::u16string text;
};

std::string U16(const std::u16string& s, bool withNul = true) {
    return std::string(reinterpret_cast<const char*>(s.c_str()), (s.size() + (withNul ? 1 : 0)) * 2);
}

class ReadStringTest : public RegistryAccessTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadStringTest, ReadsStringsOnlyAndEmptiesTheOutputFirst) {
    const auto& c = GetParam();
    SetRaw(os::HKEY_CURRENT_USER, ScratchKey(), u"v", c.type, c.bytes.data(), static_cast<os::DWORD>(c.bytes.size()));
    std::u16string out = u"stale";
    EXPECT_EQ(RegistryReadString(os::HKEY_CURRENT_USER, ScratchKey(), u"v", out), c.result);
    EXPECT_EQ(out, c.text);
}

const std::int32_t kDword = 42;
INSTANTIATE_TEST_SUITE_P(
    Types, ReadStringTest,
    ::testing::Values(
        ReadCase{"sz", os::REG_SZ, U16(u"C:\\x.exe"), true, u"C:\\x.exe"},
        ReadCase{"expand_sz_unexpanded", os::REG_EXPAND_SZ, U16(u"%SystemRoot%\\a"), true, u"%SystemRoot%\\a"},
        ReadCase{"cut_at_nul", os::REG_SZ, U16(std::u16string(u"ab\0cd", 5)), true, u"ab"},
        ReadCase{"empty_sz", os::REG_SZ, U16(u""), true, u""},
        ReadCase{"dword", os::REG_DWORD, std::string(reinterpret_cast<const char*>(&kDword), 4), false, u""},
        ReadCase{"multi_sz", os::REG_MULTI_SZ, U16(std::u16string(u"a\0b\0", 4)), false, u""},
        ReadCase{"binary", os::REG_BINARY, std::string("\x01\x02", 2), false, u""}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(RegistryAccessTest, ReadStringOfMissingValueIsTrueAndOfMissingKeyFalse) {
    std::u16string out = u"stale";
    EXPECT_TRUE(RegistryReadString(os::HKEY_CURRENT_USER, ScratchKey(), u"absent", out));
    EXPECT_EQ(out, u"");
    out = u"stale";
    EXPECT_FALSE(RegistryReadString(os::HKEY_CURRENT_USER, Sub(u"Missing"), u"absent", out));
    EXPECT_EQ(out, u"");
}

TEST_F(RegistryAccessTest, ReadStringReadsLongData) {
    std::u16string big(5000, u'x');
    big += u"tail";
    SetSz(os::HKEY_CURRENT_USER, ScratchKey(), u"big", big);
    std::u16string out;
    EXPECT_TRUE(RegistryReadString(os::HKEY_CURRENT_USER, ScratchKey(), u"big", out));
    EXPECT_EQ(out, big);
}

TEST_F(RegistryAccessTest, ValueExistsTellsTheDefaultValueApart) {
    EXPECT_FALSE(RegistryValueExists(os::HKEY_CURRENT_USER, ScratchKey(), u""));
    SetSz(os::HKEY_CURRENT_USER, ScratchKey(), u"", u"set");
    EXPECT_TRUE(RegistryValueExists(os::HKEY_CURRENT_USER, ScratchKey(), u""));
    EXPECT_FALSE(RegistryValueExists(os::HKEY_CURRENT_USER, ScratchKey(), u"other"));
    EXPECT_FALSE(RegistryValueExists(os::HKEY_CURRENT_USER, Sub(u"Missing"), u""));
}

TEST_F(RegistryAccessTest, DataTypeReportsTheFourKnownTypesAndZeroOtherwise) {
    const std::uint64_t qword = 1;
    SetSz(os::HKEY_CURRENT_USER, ScratchKey(), u"sz", u"a");
    SetSz(os::HKEY_CURRENT_USER, ScratchKey(), u"ex", u"a", os::REG_EXPAND_SZ);
    SetRaw(os::HKEY_CURRENT_USER, ScratchKey(), u"bin", os::REG_BINARY, "\x01", 1);
    SetRaw(os::HKEY_CURRENT_USER, ScratchKey(), u"dw", os::REG_DWORD, &kDword, 4);
    SetRaw(os::HKEY_CURRENT_USER, ScratchKey(), u"multi", os::REG_MULTI_SZ, u"a\0", 6);
    SetRaw(os::HKEY_CURRENT_USER, ScratchKey(), u"qw", os::REG_QWORD, &qword, 8);
    const std::pair<std::u16string, os::DWORD> expected[] = {
        {u"sz", 1}, {u"ex", 2}, {u"bin", 3}, {u"dw", 4}, {u"multi", 0}, {u"qw", 0}, {u"absent", 0}};
    for (const auto& [name, code] : expected) {
        os::DWORD type = 99;
        EXPECT_TRUE(RegistryGetDataType(os::HKEY_CURRENT_USER, ScratchKey(), name, type));
        EXPECT_EQ(type, code) << text::ToUtf8(name);
    }
    os::DWORD type = 99;
    EXPECT_TRUE(RegistryGetDataType(os::HKEY_CURRENT_USER, Sub(u"Missing"), u"sz", type));
    EXPECT_EQ(type, 0u);
}

TEST_F(RegistryAccessTest, WritesStoreExactTypesAndBytes) {
    RegistryWriteString(os::HKEY_CURRENT_USER, ScratchKey(), u"s", u"text");
    RegistryWriteExpandString(os::HKEY_CURRENT_USER, ScratchKey(), u"e", u"%TEMP%");
    RegistryWriteInteger(os::HKEY_CURRENT_USER, ScratchKey(), u"i", -2);
    const unsigned char blob[] = {0, 1, 2, 0xFF};
    RegistryWriteBinary(os::HKEY_CURRENT_USER, ScratchKey(), u"b", blob, sizeof blob);
    RegistryPutString(os::HKEY_CURRENT_USER, ScratchKey(), u"p", u"put");

    EXPECT_EQ(QueryRaw(os::HKEY_CURRENT_USER, ScratchKey(), u"s"), std::make_pair(os::REG_SZ, Utf16Bytes(u"text")));
    EXPECT_EQ(QueryRaw(os::HKEY_CURRENT_USER, ScratchKey(), u"e"),
              std::make_pair(os::REG_EXPAND_SZ, Utf16Bytes(u"%TEMP%")));
    EXPECT_EQ(QueryRaw(os::HKEY_CURRENT_USER, ScratchKey(), u"i"),
              std::make_pair(os::REG_DWORD, std::string("\xFE\xFF\xFF\xFF", 4)));
    EXPECT_EQ(QueryRaw(os::HKEY_CURRENT_USER, ScratchKey(), u"b"),
              std::make_pair(os::REG_BINARY, std::string(reinterpret_cast<const char*>(blob), 4)));
    EXPECT_EQ(QueryRaw(os::HKEY_CURRENT_USER, ScratchKey(), u"p"), std::make_pair(os::REG_SZ, Utf16Bytes(u"put")));
}

TEST_F(RegistryAccessTest, PlainWritesToAMissingKeyDoNothingWhilePutStringFails) {
    auto missing = Sub(u"Missing");
    RegistryWriteString(os::HKEY_CURRENT_USER, missing, u"s", u"x");
    RegistryWriteInteger(os::HKEY_CURRENT_USER, missing, u"i", 1);
    RegistryWriteBinary(os::HKEY_CURRENT_USER, missing, u"b", "x", 1);
    RegistryWriteExpandString(os::HKEY_CURRENT_USER, missing, u"e", u"x");
    EXPECT_FALSE(RegistryKeyExists(os::HKEY_CURRENT_USER, missing));

    try {
        RegistryPutString(os::HKEY_CURRENT_USER, missing, u"Shell", u"explorer.exe");
        FAIL() << "no error";
    } catch (const ERegistryError& e) {
        EXPECT_EQ(e.Message(), u"Failed to set data for 'Shell'");
    }
    EXPECT_FALSE(RegistryKeyExists(os::HKEY_CURRENT_USER, missing));
}

TEST_F(RegistryAccessTest, CreateKeyMakesParentsAndOpensExistingKeys) {
    auto deep = Sub(u"a\\b\\c");
    EXPECT_TRUE(RegistryCreateKey(os::HKEY_CURRENT_USER, deep));
    EXPECT_TRUE(RegistryKeyExists(os::HKEY_CURRENT_USER, deep));
    RegistryWriteString(os::HKEY_CURRENT_USER, deep, u"v", u"kept");
    EXPECT_TRUE(RegistryCreateKey(os::HKEY_CURRENT_USER, deep));
    std::u16string out;
    EXPECT_TRUE(RegistryReadString(os::HKEY_CURRENT_USER, deep, u"v", out));
    EXPECT_EQ(out, u"kept");
}

TEST_F(RegistryAccessTest, CreateKeyFailureNamesTheKey) {
    // A non-volatile key cannot live below a volatile one, on Windows and
    // Wine alike.
    MakeKey(os::HKEY_CURRENT_USER, Sub(u"Volatile"), 0, os::REG_OPTION_VOLATILE);
    auto child = Sub(u"Volatile\\Child");
    try {
        RegistryCreateKey(os::HKEY_CURRENT_USER, child);
        if (testsupport::Native()) GTEST_SKIP() << "the emulated registry keeps no volatile keys";
        FAIL() << "no error";
    } catch (const ERegistryError& e) {
        EXPECT_EQ(e.Message(), u"Failed to create key " + child);
    }
}

TEST_F(RegistryAccessTest, DeleteValueReportsWhetherSomethingWasDeleted) {
    SetSz(os::HKEY_CURRENT_USER, ScratchKey(), u"v", u"x");
    EXPECT_TRUE(RegistryDeleteValue(os::HKEY_CURRENT_USER, ScratchKey(), u"v"));
    EXPECT_FALSE(RegistryDeleteValue(os::HKEY_CURRENT_USER, ScratchKey(), u"v"));
    EXPECT_FALSE(RegistryDeleteValue(os::HKEY_CURRENT_USER, Sub(u"Missing"), u"v"));
}

TEST_F(RegistryAccessTest, DeleteKeyRemovesTheWholeTree) {
    for (auto path : {u"T\\a\\b\\c", u"T\\a\\d", u"T\\e"}) MakeKey(os::HKEY_CURRENT_USER, Sub(path));
    SetSz(os::HKEY_CURRENT_USER, Sub(u"T\\a\\b"), u"v", u"x");
    EXPECT_TRUE(RegistryDeleteKey(os::HKEY_CURRENT_USER, Sub(u"T")));
    EXPECT_FALSE(RegistryKeyExists(os::HKEY_CURRENT_USER, Sub(u"T")));
    EXPECT_TRUE(RegistryKeyExists(os::HKEY_CURRENT_USER, ScratchKey()));
    EXPECT_FALSE(RegistryDeleteKey(os::HKEY_CURRENT_USER, Sub(u"T")));
}

TEST_F(RegistryAccessTest, DeleteKeyRefusesAWholeRoot) {
    // A regression here would wipe the test prefix's HKEY_CURRENT_USER.
    if (!testsupport::Native()) GTEST_SKIP() << "checked over the emulated machine only";
    EXPECT_FALSE(RegistryDeleteKey(os::HKEY_CURRENT_USER, u""));
    EXPECT_FALSE(RegistryDeleteKey(os::HKEY_CURRENT_USER, u"\\"));
    EXPECT_TRUE(RegistryKeyExists(os::HKEY_CURRENT_USER, ScratchKey()));
}

TEST_F(RegistryAccessTest, DeleteKeyRemovesALinkButNotItsTarget) {
    auto target = Sub(u"Target");
    SetSz(os::HKEY_CURRENT_USER, target, u"v", u"precious");
    MakeKey(os::HKEY_CURRENT_USER, target + u"\\Child");
    MakeKey(os::HKEY_CURRENT_USER, Sub(u"Tree"));

    // A link's value holds the target's native path.
    os::HKEY link = nullptr;
    auto linkPath = Sub(u"Tree\\Link");
    if (os::RegCreateKeyExW(os::HKEY_CURRENT_USER, linkPath.c_str(), 0, nullptr,
                            os::REG_OPTION_CREATE_LINK | os::REG_OPTION_VOLATILE, os::KEY_ALL_ACCESS | os::KEY_CREATE_LINK,
                            nullptr, &link, nullptr) != os::ERROR_SUCCESS)
        GTEST_SKIP() << "symbolic links cannot be created here";
    auto native = u"\\Registry\\User\\S-1-5-21-0-0-0-1000\\" + target;
    os::RegSetValueExW(link, u"SymbolicLinkValue", 0, os::REG_LINK, reinterpret_cast<const os::BYTE*>(native.data()),
                       static_cast<os::DWORD>(native.size() * 2));
    os::RegCloseKey(link);
    std::u16string through;
    if (!RegistryReadString(os::HKEY_CURRENT_USER, linkPath, u"v", through) || through != u"precious") {
        testsupport::DeleteTree(os::HKEY_CURRENT_USER, linkPath, 0);
        GTEST_SKIP() << "symbolic links are not followed here";
    }

    EXPECT_TRUE(RegistryDeleteKey(os::HKEY_CURRENT_USER, Sub(u"Tree")));
    EXPECT_FALSE(RegistryKeyExists(os::HKEY_CURRENT_USER, Sub(u"Tree")));
    std::u16string value;
    EXPECT_TRUE(RegistryReadString(os::HKEY_CURRENT_USER, target, u"v", value));
    EXPECT_EQ(value, u"precious");
    EXPECT_TRUE(RegistryKeyExists(os::HKEY_CURRENT_USER, target + u"\\Child"));
}

TEST_F(RegistryAccessTest, ViewFlagReachesTheSixtyFourBitSoftwareKey) {
    // A 64-bit process already sees the 64-bit key without the flag.
    SKIP_UNLESS_WOW64();
    if (!testsupport::Native()) {
        os::HKEY probe = nullptr;
        if (os::RegOpenKeyExW(os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node", 0, os::KEY_READ | os::KEY_WOW64_64KEY,
                              &probe) != os::ERROR_SUCCESS)
            GTEST_SKIP() << "not a 64-bit prefix";
        os::RegCloseKey(probe);
    }
    SetSz(os::HKEY_LOCAL_MACHINE, MachineScratchKey(), u"v", u"64-bit", os::REG_SZ, os::KEY_WOW64_64KEY);

    std::u16string out;
    RegistryViewFlag = 0;
    EXPECT_FALSE(RegistryKeyExists(os::HKEY_LOCAL_MACHINE, MachineScratchKey()));
    RegistryViewFlag = 0x100;
    EXPECT_TRUE(RegistryReadString(os::HKEY_LOCAL_MACHINE, MachineScratchKey(), u"v", out));
    EXPECT_EQ(out, u"64-bit");

    // The explicit view wins over the flag, both ways.
    EXPECT_FALSE(RegistryKeyExists(os::HKEY_LOCAL_MACHINE, MachineScratchKey(), RegView::Default()));
    RegistryViewFlag = 0;
    EXPECT_TRUE(RegistryValueExists(os::HKEY_LOCAL_MACHINE, MachineScratchKey(), u"v", RegView::Wow64_64()));

    // A finding made in the 64-bit pass repairs there after the flag is back to 0.
    RegistryWriteString(os::HKEY_LOCAL_MACHINE, MachineScratchKey(), u"w", u"fixed", RegView::Wow64_64());
    EXPECT_EQ(QueryRaw(os::HKEY_LOCAL_MACHINE, MachineScratchKey(), u"w", os::KEY_WOW64_64KEY).first, os::REG_SZ);
    EXPECT_TRUE(RegistryDeleteKey(os::HKEY_LOCAL_MACHINE, MachineScratchKey(), RegView::Wow64_64()));
    EXPECT_FALSE(RegistryKeyExists(os::HKEY_LOCAL_MACHINE, MachineScratchKey(), RegView::Wow64_64()));
}

TEST_F(RegistryAccessTest, RootKeyNames) {
    const std::pair<std::uint32_t, std::u16string> names[] = {
        {0x80000000u, u"HKEY_CLASSES_ROOT"},  {0x80000001u, u"HKEY_CURRENT_USER"},
        {0x80000002u, u"HKEY_LOCAL_MACHINE"}, {0x80000003u, u"HKEY_USERS"},
        {0x80000004u, u"HKEY_PERFORMANCE_DATA"}, {0x80000005u, u"HKEY_CURRENT_CONFIG"},
        {0x80000006u, u"HKEY_DYN_DATA"},      {0x80000007u, u"0x80000007"},
    };
    for (const auto& [value, name] : names) EXPECT_EQ(RootKeyName(os::PredefinedKey(value)), name);
}

// ------------------------------------------------------------- key security

std::string Dacl(os::HKEY root, const std::u16string& path) {
    os::HKEY key = nullptr;
    if (os::RegOpenKeyExW(root, path.c_str(), 0, os::READ_CONTROL, &key) != os::ERROR_SUCCESS) return "<closed>";
    os::DWORD bytes = 0;
    os::RegGetKeySecurity(key, os::DACL_SECURITY_INFORMATION, nullptr, &bytes);
    std::string sd(bytes, '\0');
    auto status = os::RegGetKeySecurity(key, os::DACL_SECURITY_INFORMATION, sd.data(), &bytes);
    os::RegCloseKey(key);
    return status == os::ERROR_SUCCESS ? sd : "<failed>";
}

TEST_F(RegistryAccessTest, UnlockThenRestoreLeavesTheDaclAsItWas) {
    auto key = Sub(u"Locked");
    MakeKey(os::HKEY_CURRENT_USER, key);
    auto before = Dacl(os::HKEY_CURRENT_USER, key);
    ASSERT_NE(before, "<failed>");

    SavedDescriptor saved;
    ASSERT_TRUE(UnlockRegistryKey(os::HKEY_CURRENT_USER, key, true, saved));
    ASSERT_TRUE(saved);
    EXPECT_NE(Dacl(os::HKEY_CURRENT_USER, key), before);

    EXPECT_TRUE(UnlockRegistryKey(os::HKEY_CURRENT_USER, key, false, saved));
    EXPECT_FALSE(saved);
    EXPECT_EQ(Dacl(os::HKEY_CURRENT_USER, key), before);
    // Nothing left to restore with.
    EXPECT_FALSE(UnlockRegistryKey(os::HKEY_CURRENT_USER, key, false, saved));
}

TEST_F(RegistryAccessTest, UnlockOfAMissingKeyHandsBackNoDescriptor) {
    SavedDescriptor saved;
    EXPECT_FALSE(UnlockRegistryKey(os::HKEY_CURRENT_USER, Sub(u"Missing"), true, saved));
    EXPECT_FALSE(saved);
    EXPECT_FALSE(UnlockRegistryKey(os::HKEY_CURRENT_USER, Sub(u"Missing"), true, saved, RegView::Wow64_64()));
    EXPECT_FALSE(saved);
    EXPECT_FALSE(RegistryCanOpenKey(os::HKEY_CURRENT_USER, Sub(u"Missing"), 0));
    EXPECT_TRUE(RegistryCanOpenKey(os::HKEY_CURRENT_USER, ScratchKey(), 0));
}

#ifndef _WIN32
TEST_F(RegistryAccessTest, UnlockOpensADeniedKeyForTheRepairAndRestorePutsTheDenialBack) {
    auto key = Sub(u"Denied");
    SetSz(os::HKEY_CURRENT_USER, key, u"bad", u"x");
    emul::DenyKeyAccess(u"HKEY_CURRENT_USER\\" + key, false, true);
    EXPECT_FALSE(RegistryDeleteValue(os::HKEY_CURRENT_USER, key, u"bad"));

    SavedDescriptor saved;
    ASSERT_TRUE(UnlockRegistryKey(os::HKEY_CURRENT_USER, key, true, saved));
    EXPECT_TRUE(RegistryDeleteValue(os::HKEY_CURRENT_USER, key, u"bad"));
    ASSERT_TRUE(UnlockRegistryKey(os::HKEY_CURRENT_USER, key, false, saved));
    RegistryWriteString(os::HKEY_CURRENT_USER, key, u"again", u"x");
    EXPECT_FALSE(RegistryValueExists(os::HKEY_CURRENT_USER, key, u"again"));
}
#endif

}  // namespace
