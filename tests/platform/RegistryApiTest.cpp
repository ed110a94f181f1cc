// Registry calls as later code relies on them: paths, names, enumeration
// order, value bytes, buffer sizes, error codes, handles. The same cases run
// over the emulated machine and, under Wine, over a real implementation.
#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include "platform/RegistryAccess.h"
#include "platform/Text.h"
#include "platform/os/WinApi.h"
#include "support/SeamTest.h"
#include "RegistryTestKit.h"
#ifndef _WIN32
#include "platform/emul/Machine.h"
#endif

using namespace regtest;

namespace {

const auto HKCU = os::HKEY_CURRENT_USER;
os::LSTATUS Rc(os::DWORD code) { return static_cast<os::LSTATUS>(code); }

class RegistryApiTest : public testsupport::SeamTest {
protected:
    std::u16string Sub(std::u16string_view name) const { return ScratchKey() + u"\\" + std::u16string(name); }
    Key Scratch(os::REGSAM sam = os::KEY_ALL_ACCESS) {
        Key key;
        EXPECT_EQ(Open(HKCU, ScratchKey(), sam, key), os::ERROR_SUCCESS);
        return key;
    }
};

// ---------------------------------------------------------------- paths

struct PathCase {
    const char* label;
    const char16_t* path;  // relative to the scratch key, which holds A\B
    os::LSTATUS open;
};

class RegistryPathTest : public RegistryApiTest, public ::testing::WithParamInterface<PathCase> {};

TEST_P(RegistryPathTest, OpensAsWindowsDoes) {
    MustCreate(HKCU, Sub(u"A\\B"));
    Key scratch = Scratch();
    Key key;
    EXPECT_EQ(Open(scratch.get(), GetParam().path, os::KEY_READ, key), GetParam().open);
    EXPECT_EQ(static_cast<bool>(key), GetParam().open == os::ERROR_SUCCESS) << "result handle on failure";
}

INSTANTIATE_TEST_SUITE_P(Table, RegistryPathTest,
                         ::testing::Values(PathCase{"Nested", u"A\\B", 0},  //
                                           PathCase{"OtherCase", u"a\\b", 0},
                                           PathCase{"EmptyIsTheKeyItself", u"", 0},
                                           PathCase{"TrailingBackslash", u"A\\B\\", 0},
                                           PathCase{"DoubledBackslash", u"A\\\\B", 0},
                                           PathCase{"LeadingBackslash", u"\\A", Rc(os::ERROR_BAD_PATHNAME)},
                                           PathCase{"Missing", u"A\\C", Rc(os::ERROR_FILE_NOT_FOUND)},
                                           PathCase{"MissingParent", u"X\\B", Rc(os::ERROR_FILE_NOT_FOUND)}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(RegistryApiTest, CreateMakesMissingParentsAndReportsWhatItDid) {
    os::DWORD disposition = 0;
    Key key;
    ASSERT_EQ(os::RegCreateKeyExW(HKCU, Sub(u"P\\Q\\R").c_str(), 0, nullptr, 0, os::KEY_ALL_ACCESS, nullptr, key.put(),
                                  &disposition),
              os::ERROR_SUCCESS);
    EXPECT_EQ(disposition, os::REG_CREATED_NEW_KEY);
    EXPECT_TRUE(Exists(HKCU, Sub(u"P\\Q")));
    ASSERT_EQ(os::RegCreateKeyExW(HKCU, Sub(u"p\\q\\r").c_str(), 0, nullptr, 0, os::KEY_ALL_ACCESS, nullptr,
                                  key.put(), &disposition),
              os::ERROR_SUCCESS);
    EXPECT_EQ(disposition, os::REG_OPENED_EXISTING_KEY);
}

TEST_F(RegistryApiTest, KeyNamesUpTo255CharactersOnly) {
    std::u16string longest(255, u'k');
    EXPECT_TRUE(MustCreate(HKCU, Sub(longest)));
    EXPECT_TRUE(Exists(HKCU, Sub(longest)));
    SKIP_ON_WINE("accepts a 256-character key name; Windows refuses it");
    Key key;
    EXPECT_EQ(os::RegCreateKeyExW(HKCU, Sub(longest + u"k").c_str(), 0, nullptr, 0, os::KEY_ALL_ACCESS, nullptr,
                                  key.put(), nullptr),
              Rc(os::ERROR_INVALID_PARAMETER));
}

// ---------------------------------------------------------------- names and order

TEST_F(RegistryApiTest, NamesKeepTheirFirstSpellingAndMatchInAnyCase) {
    MustCreate(HKCU, Sub(u"MixedCase"));
    MustCreate(HKCU, Sub(u"MIXEDCASE\\Child"));
    Key scratch = Scratch();
    EXPECT_EQ(SubkeyNames(scratch.get()), std::vector<std::u16string>{u"MixedCase"});

    ASSERT_EQ(SetBytes(scratch.get(), u"ValueName", os::REG_BINARY, {1}), os::ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(scratch.get(), u"VALUENAME", os::REG_BINARY, {2}), os::ERROR_SUCCESS);
    EXPECT_EQ(ValueNames(scratch.get()), std::vector<std::u16string>{u"ValueName"});
    std::uint8_t byte = 0;
    os::DWORD bytes = 1;
    EXPECT_EQ(os::RegQueryValueExW(scratch.get(), u"valuename", nullptr, nullptr, &byte, &bytes), os::ERROR_SUCCESS);
    EXPECT_EQ(byte, 2);
}

// A key with many subkeys finds them by name however they were made,
// removed and made again, in any spelling.
TEST_F(RegistryApiTest, ManySiblingsAreFoundAfterEveryChange) {
    auto name = [](int i) { return u"Child" + text::FromAscii(std::to_string(i)); };
    auto other = [&](int i) { return text::UpCase(name(i)); };
    for (int i = 0; i < 200; ++i) MustCreate(HKCU, Sub(name(i)));
    for (int i = 0; i < 200; i += 7) EXPECT_TRUE(Exists(HKCU, Sub(other(i)))) << i;
    for (int i = 0; i < 200; i += 2) ASSERT_EQ(os::RegDeleteKeyW(HKCU, Sub(name(i)).c_str()), os::ERROR_SUCCESS);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(Exists(HKCU, Sub(other(i))), i % 2 == 1) << i;
    MustCreate(HKCU, Sub(u"CHILD4\\Below"));
    EXPECT_TRUE(Exists(HKCU, Sub(u"child4\\below")));
    Key scratch = Scratch();
    auto names = SubkeyNames(scratch.get());
    EXPECT_EQ(names.size(), 101u);
    EXPECT_NE(std::find(names.begin(), names.end(), u"CHILD4"), names.end()) << "made again in its new spelling";
    ASSERT_TRUE(platform::RegistryDeleteKey(HKCU, ScratchKey()));
    MustCreate(HKCU, Sub(name(1)));
    for (int i = 1; i < 200; i += 2) EXPECT_EQ(Exists(HKCU, Sub(other(i))), i == 1) << i;
}

TEST_F(RegistryApiTest, SubkeysEnumerateSortedWithoutCase) {
    for (auto name : {u"zeta", u"gamma2", u"Alpha", u"\u00c4rger", u"beta", u"Gamma10", u"\u00e9mile", u"9lives"})
        MustCreate(HKCU, Sub(name));
    Key scratch = Scratch();
    // Compared unit by unit without case: digits first, "GAMMA1" before
    // "GAMMA2", non-ASCII letters after 'Z'.
    std::vector<std::u16string> expected{u"9lives", u"Alpha", u"beta",       u"Gamma10",
                                         u"gamma2", u"zeta",  u"\u00c4rger", u"\u00e9mile"};
    EXPECT_EQ(SubkeyNames(scratch.get()), expected);
}

TEST_F(RegistryApiTest, SubkeysCompareUpperCased) {
    SKIP_ON_WINE("compares names lower-cased, so '_' sorts before the letters; hives compare upper-cased");
    for (auto name : {u"_under", u"Zulu", u"alpha"}) MustCreate(HKCU, Sub(name));
    Key scratch = Scratch();
    EXPECT_EQ(SubkeyNames(scratch.get()), (std::vector<std::u16string>{u"alpha", u"Zulu", u"_under"}));
}

TEST_F(RegistryApiTest, ValuesEnumerateInCreationOrderAndKeepTheirPlace) {
    SKIP_ON_WINE("returns values sorted by name; Windows keeps creation order");
    Key scratch = Scratch();
    for (auto name : {u"b", u"a", u"C", u""}) SetBytes(scratch.get(), name, os::REG_DWORD, {0, 0, 0, 0});
    SetBytes(scratch.get(), u"A", os::REG_DWORD, {1, 0, 0, 0});  // set again: stays second
    EXPECT_EQ(ValueNames(scratch.get()), (std::vector<std::u16string>{u"b", u"a", u"C", u""}));
    ASSERT_EQ(os::RegDeleteValueW(scratch.get(), u"a"), os::ERROR_SUCCESS);
    SetBytes(scratch.get(), u"a", os::REG_DWORD, {2, 0, 0, 0});  // new again: goes last
    EXPECT_EQ(ValueNames(scratch.get()), (std::vector<std::u16string>{u"b", u"C", u"", u"a"}));
}

// ---------------------------------------------------------------- value data

struct DataCase {
    const char* label;
    os::DWORD type;
    std::vector<std::uint8_t> bytes;
    bool wineAltersIt;
};

class RegistryDataTest : public RegistryApiTest, public ::testing::WithParamInterface<DataCase> {};

TEST_P(RegistryDataTest, ComesBackByteForByte) {
    const auto& param = GetParam();
    // Only Wine's 64-bit advapi32 does; the 32-bit one keeps the bytes as
    // Windows does.
    if (param.wineAltersIt && !testsupport::ProcessIsWow64())
        SKIP_ON_WINE("appends a NUL to string data stored without one");
    Key scratch = Scratch();
    ASSERT_EQ(SetBytes(scratch.get(), u"v", param.type, param.bytes), os::ERROR_SUCCESS);

    os::DWORD type = 0, bytes = 0;
    ASSERT_EQ(os::RegQueryValueExW(scratch.get(), u"v", nullptr, &type, nullptr, &bytes), os::ERROR_SUCCESS);
    EXPECT_EQ(type, param.type);
    ASSERT_EQ(bytes, param.bytes.size());
    std::vector<std::uint8_t> data(bytes + 2, 0xEE);
    ASSERT_EQ(os::RegQueryValueExW(scratch.get(), u"v", nullptr, &type, data.data(), &bytes), os::ERROR_SUCCESS);
    EXPECT_EQ(std::vector<std::uint8_t>(data.begin(), data.begin() + bytes), param.bytes);
    EXPECT_EQ(data[bytes], 0xEE) << "wrote past the value";

    char16_t name[8];
    os::DWORD chars = 8;
    bytes = static_cast<os::DWORD>(data.size());
    ASSERT_EQ(os::RegEnumValueW(scratch.get(), 0, name, &chars, nullptr, &type, data.data(), &bytes),
              os::ERROR_SUCCESS);
    EXPECT_EQ(type, param.type);
    EXPECT_EQ(std::vector<std::uint8_t>(data.begin(), data.begin() + bytes), param.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RegistryDataTest,
    ::testing::Values(DataCase{"SzWithNul", os::REG_SZ, Utf16Bytes(std::u16string_view(u"ab", 3)), false},
                      DataCase{"SzWithoutNul", os::REG_SZ, Utf16Bytes(u"abc"), true},
                      DataCase{"SzWithTwoNuls", os::REG_SZ, Utf16Bytes(std::u16string_view(u"a\0\0", 3)), false},
                      DataCase{"ExpandSz", os::REG_EXPAND_SZ, Utf16Bytes(std::u16string_view(u"%TEMP%\\x", 9)), false},
                      DataCase{"MultiSz", os::REG_MULTI_SZ, Utf16Bytes(std::u16string_view(u"a\0bc\0\0", 6)), false},
                      DataCase{"EmptyBinary", os::REG_BINARY, {}, false},
                      DataCase{"Binary", os::REG_BINARY, {0, 255, 0, 7, 9}, false},
                      DataCase{"Dword", os::REG_DWORD, {0x78, 0x56, 0x34, 0x12}, false},
                      DataCase{"ShortDword", os::REG_DWORD, {1, 2}, false},
                      DataCase{"Qword", os::REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}, false},
                      DataCase{"None", os::REG_NONE, {9, 8, 7}, false},
                      DataCase{"OddTypeCode", 0x12345, {1, 2, 3}, false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(RegistryApiTest, DefaultValueIsTheEmptyName) {
    Key scratch = Scratch();
    os::DWORD bytes = 0;
    EXPECT_EQ(os::RegQueryValueExW(scratch.get(), nullptr, nullptr, nullptr, nullptr, &bytes),
              Rc(os::ERROR_FILE_NOT_FOUND));
    ASSERT_EQ(SetBytes(scratch.get(), u"", os::REG_SZ, Utf16Bytes(std::u16string_view(u"d", 2))), os::ERROR_SUCCESS);
    EXPECT_EQ(os::RegQueryValueExW(scratch.get(), nullptr, nullptr, nullptr, nullptr, &bytes), os::ERROR_SUCCESS);
    EXPECT_EQ(bytes, 4u);
    EXPECT_EQ(ValueNames(scratch.get()), std::vector<std::u16string>{u""});
}

// ---------------------------------------------------------------- buffers

TEST_F(RegistryApiTest, BuffersThatAreTooSmallAskForMore) {
    MustCreate(HKCU, Sub(u"child"));
    Key scratch = Scratch();
    auto data = Utf16Bytes(std::u16string_view(u"abcdef", 7));
    SetBytes(scratch.get(), u"value", os::REG_SZ, data);

    std::uint8_t buffer[64];
    os::DWORD bytes = 2, type = 0;
    EXPECT_EQ(os::RegQueryValueExW(scratch.get(), u"value", nullptr, &type, buffer, &bytes),
              Rc(os::ERROR_MORE_DATA));
    EXPECT_EQ(bytes, data.size());
    EXPECT_EQ(os::RegQueryValueExW(scratch.get(), u"value", nullptr, &type, buffer, nullptr),
              Rc(os::ERROR_INVALID_PARAMETER));

    char16_t name[16];
    os::DWORD chars = 5;  // "child" needs 6 with its NUL
    EXPECT_EQ(os::RegEnumKeyExW(scratch.get(), 0, name, &chars, nullptr, nullptr, nullptr, nullptr),
              Rc(os::ERROR_MORE_DATA));
    chars = 6;
    EXPECT_EQ(os::RegEnumKeyExW(scratch.get(), 0, name, &chars, nullptr, nullptr, nullptr, nullptr),
              os::ERROR_SUCCESS);
    EXPECT_EQ(chars, 5u);
    EXPECT_EQ(os::RegEnumKeyExW(scratch.get(), 1, name, &chars, nullptr, nullptr, nullptr, nullptr),
              Rc(os::ERROR_NO_MORE_ITEMS));

    chars = 5;  // "value" without room for the NUL
    bytes = sizeof buffer;
    EXPECT_EQ(os::RegEnumValueW(scratch.get(), 0, name, &chars, nullptr, &type, buffer, &bytes),
              Rc(os::ERROR_MORE_DATA));
    chars = 6;
    bytes = 2;  // name fits, data does not: the name still comes back
    EXPECT_EQ(os::RegEnumValueW(scratch.get(), 0, name, &chars, nullptr, &type, buffer, &bytes),
              Rc(os::ERROR_MORE_DATA));
    EXPECT_EQ(chars, 5u);
    EXPECT_EQ(bytes, data.size());
    chars = 6;
    EXPECT_EQ(os::RegEnumValueW(scratch.get(), 1, name, &chars, nullptr, nullptr, nullptr, nullptr),
              Rc(os::ERROR_NO_MORE_ITEMS));
}

TEST_F(RegistryApiTest, QueryInfoReportsCountsAndLongestNamesWithoutTheNul) {
    MustCreate(HKCU, Sub(u"ABCDEFGHIJKLMNOPQRST"));  // 20
    MustCreate(HKCU, Sub(u"zeta"));
    Key scratch = Scratch();
    SetBytes(scratch.get(), u"LongValueName_0123456789", os::REG_BINARY, std::vector<std::uint8_t>(3));  // 24
    SetBytes(scratch.get(), u"m", os::REG_BINARY, std::vector<std::uint8_t>(40));

    os::DWORD subKeys = 0, maxSubKey = 0, values = 0, maxValueName = 0, maxValue = 0;
    ASSERT_EQ(os::RegQueryInfoKeyW(scratch.get(), nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr, &values,
                                   &maxValueName, &maxValue, nullptr, nullptr),
              os::ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 2u);
    EXPECT_EQ(maxSubKey, 20u);
    EXPECT_EQ(values, 2u);
    EXPECT_EQ(maxValueName, 24u);
    EXPECT_EQ(maxValue, 40u);
}

// ---------------------------------------------------------------- changes

TEST_F(RegistryApiTest, DeleteKeyRefusesWhatWindowsRefuses) {
    MustCreate(HKCU, Sub(u"Parent\\Child"));
    EXPECT_EQ(os::RegDeleteKeyW(HKCU, Sub(u"Parent").c_str()), Rc(os::ERROR_ACCESS_DENIED)) << "has a subkey";
    EXPECT_EQ(os::RegDeleteKeyW(HKCU, Sub(u"Nothing").c_str()), Rc(os::ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(os::RegDeleteKeyW(HKCU, nullptr), Rc(os::ERROR_INVALID_PARAMETER));
    EXPECT_EQ(os::RegDeleteKeyW(HKCU, u""), Rc(os::ERROR_ACCESS_DENIED)) << "a hive root";
    EXPECT_EQ(os::RegDeleteKeyW(os::HKEY_LOCAL_MACHINE, u"SOFTWARE"), Rc(os::ERROR_ACCESS_DENIED));
    EXPECT_EQ(os::RegDeleteKeyW(HKCU, Sub(u"parent\\CHILD").c_str()), os::ERROR_SUCCESS);
    EXPECT_EQ(os::RegDeleteKeyW(HKCU, Sub(u"Parent").c_str()), os::ERROR_SUCCESS);
    EXPECT_FALSE(Exists(HKCU, Sub(u"Parent")));
}

TEST_F(RegistryApiTest, AnEmptySubkeyDeletesTheHandlesOwnKey) {
    Key self = MustCreate(HKCU, Sub(u"Self"), os::KEY_READ);
    EXPECT_EQ(os::RegDeleteKeyW(self.get(), u""), os::ERROR_SUCCESS);
    EXPECT_FALSE(Exists(HKCU, Sub(u"Self")));
}

TEST_F(RegistryApiTest, AHandleToADeletedKeyAnswersKeyDeleted) {
    Key doomed = MustCreate(HKCU, Sub(u"Doomed"));
    ASSERT_EQ(os::RegDeleteKeyW(HKCU, Sub(u"Doomed").c_str()), os::ERROR_SUCCESS);
    const os::LSTATUS deleted = Rc(os::ERROR_KEY_DELETED);
    EXPECT_EQ(SetBytes(doomed.get(), u"v", os::REG_BINARY, {1}), deleted);
    os::DWORD bytes = 0;
    EXPECT_EQ(os::RegQueryValueExW(doomed.get(), u"v", nullptr, nullptr, nullptr, &bytes), deleted);
    char16_t name[8];
    os::DWORD chars = 8;
    EXPECT_EQ(os::RegEnumKeyExW(doomed.get(), 0, name, &chars, nullptr, nullptr, nullptr, nullptr), deleted);
    // Re-creating the name makes a new key; the old handle stays dead.
    MustCreate(HKCU, Sub(u"Doomed"));
    EXPECT_EQ(SetBytes(doomed.get(), u"v", os::REG_BINARY, {1}), deleted);
    EXPECT_EQ(os::RegCloseKey(doomed.release()), os::ERROR_SUCCESS);
}

TEST_F(RegistryApiTest, AHandleAllowsOnlyWhatItWasOpenedFor) {
    MustCreate(HKCU, Sub(u"K"));
    Key reader, writer;
    ASSERT_EQ(Open(HKCU, ScratchKey(), os::KEY_READ, reader), os::ERROR_SUCCESS);
    ASSERT_EQ(Open(HKCU, ScratchKey(), os::KEY_SET_VALUE, writer), os::ERROR_SUCCESS);
    EXPECT_EQ(SetBytes(reader.get(), u"v", os::REG_BINARY, {1}), Rc(os::ERROR_ACCESS_DENIED));
    EXPECT_EQ(os::RegDeleteValueW(reader.get(), u"v"), Rc(os::ERROR_ACCESS_DENIED));
    EXPECT_EQ(SetBytes(writer.get(), u"v", os::REG_BINARY, {1}), os::ERROR_SUCCESS);
    os::DWORD bytes = 0;
    EXPECT_EQ(os::RegQueryValueExW(writer.get(), u"v", nullptr, nullptr, nullptr, &bytes),
              Rc(os::ERROR_ACCESS_DENIED));
    char16_t name[8];
    os::DWORD chars = 8;
    EXPECT_EQ(os::RegEnumKeyExW(writer.get(), 0, name, &chars, nullptr, nullptr, nullptr, nullptr),
              Rc(os::ERROR_ACCESS_DENIED));
    EXPECT_EQ(os::RegQueryValueExW(reader.get(), u"v", nullptr, nullptr, nullptr, &bytes), os::ERROR_SUCCESS);
}

TEST_F(RegistryApiTest, BadArgumentsAreRefused) {
    Key scratch = Scratch();
    EXPECT_EQ(os::RegSetValueExW(scratch.get(), u"v", 0, os::REG_BINARY, nullptr, 4), Rc(os::ERROR_NOACCESS));
    EXPECT_EQ(os::RegDeleteValueW(scratch.get(), u"missing"), Rc(os::ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(os::RegOpenKeyExW(HKCU, ScratchKey().c_str(), 0, os::KEY_READ, nullptr),
              Rc(os::ERROR_INVALID_PARAMETER));
    os::HKEY closed = scratch.release();
    EXPECT_EQ(os::RegCloseKey(closed), os::ERROR_SUCCESS);
    EXPECT_EQ(os::RegCloseKey(closed), Rc(os::ERROR_INVALID_HANDLE));
    EXPECT_EQ(os::RegCloseKey(HKCU), os::ERROR_SUCCESS) << "predefined keys need no closing";
}

// ---------------------------------------------------------------- links

TEST_F(RegistryApiTest, ALinkRedirectsOpensUnlessOpenedAsALink) {
    Key target = MustCreate(HKCU, Sub(u"Target"));
    SetBytes(target.get(), u"where", os::REG_BINARY, {7});
    Key link;
    ASSERT_EQ(os::RegCreateKeyExW(HKCU, Sub(u"Link").c_str(), 0, nullptr, os::REG_OPTION_CREATE_LINK,
                                  os::KEY_ALL_ACCESS | os::KEY_CREATE_LINK, nullptr, link.put(), nullptr),
              os::ERROR_SUCCESS);
    auto kernelPath = u"\\REGISTRY\\USER\\S-1-5-21-0-0-0-1000\\" + Sub(u"Target");
    ASSERT_EQ(SetBytes(link.get(), u"SymbolicLinkValue", os::REG_LINK, Utf16Bytes(kernelPath)), os::ERROR_SUCCESS);
    link.reset();

    EXPECT_EQ(Dump(HKCU, Sub(u"Link")), Dump(HKCU, Sub(u"Target")));
    EXPECT_EQ(Dump(HKCU, Sub(u"Link\\")), Dump(HKCU, Sub(u"Target")));
    Key asLink;
    ASSERT_EQ(Open(HKCU, Sub(u"Link"), os::KEY_READ, asLink, os::REG_OPTION_OPEN_LINK),
              os::ERROR_SUCCESS);
    EXPECT_EQ(ValueNames(asLink.get()), std::vector<std::u16string>{u"SymbolicLinkValue"});

    // Deleting the key a link handle names removes the link, never its target.
    EXPECT_EQ(os::RegDeleteKeyW(asLink.get(), u""), os::ERROR_SUCCESS);
    EXPECT_FALSE(Exists(HKCU, Sub(u"Link")));
    EXPECT_TRUE(Exists(HKCU, Sub(u"Target")));
}

// ---------------------------------------------------------------- emulator only

#ifndef _WIN32
TEST_F(RegistryApiTest, EveryOpenHandleIsCountedUntilClosed) {
    auto before = emul::OpenKeyHandleCount();
    {
        Key a = Scratch(), b = Scratch();
        Key root;
        ASSERT_EQ(Open(HKCU, u"", os::KEY_READ, root), os::ERROR_SUCCESS);
        EXPECT_EQ(emul::OpenKeyHandleCount(), before + 3);
        Key failed;
        EXPECT_NE(Open(HKCU, Sub(u"missing"), os::KEY_READ, failed), os::ERROR_SUCCESS);
        EXPECT_EQ(emul::OpenKeyHandleCount(), before + 3);
    }
    EXPECT_EQ(emul::OpenKeyHandleCount(), before);
}

TEST_F(RegistryApiTest, ReadersAndAWriterShareTheRegistrySafely) {
    for (int i = 0; i < 50; ++i) MustCreate(HKCU, Sub(u"Fixed\\k" + text::FromAscii(std::to_string(i))));
    std::atomic<bool> stop{false};
    std::atomic<int> badWalks{0};
    std::thread writer([&] {
        for (int i = 0; !stop; ++i) {
            auto path = Sub(u"Churn\\c" + text::FromAscii(std::to_string(i % 40)));
            Key key = MustCreate(HKCU, path);
            SetBytes(key.get(), u"v", os::REG_DWORD, {1, 0, 0, 0});
            key.reset();
            os::RegDeleteKeyW(HKCU, path.c_str());
        }
    });
    std::vector<std::thread> readers;
    for (int r = 0; r < 2; ++r)
        readers.emplace_back([&] {
            for (int round = 0; round < 200; ++round) {
                Key fixed;
                if (Open(HKCU, Sub(u"Fixed"), os::KEY_READ, fixed) != os::ERROR_SUCCESS ||
                    SubkeyNames(fixed.get()).size() != 50)
                    ++badWalks;
                Key churn;
                if (Open(HKCU, Sub(u"Churn"), os::KEY_READ, churn) == os::ERROR_SUCCESS) SubkeyNames(churn.get());
            }
        });
    for (auto& t : readers) t.join();
    stop = true;
    writer.join();
    EXPECT_EQ(badWalks, 0);
}
#endif

}  // namespace
