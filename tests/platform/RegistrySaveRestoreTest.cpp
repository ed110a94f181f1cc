// Saving a key tree to a file and restoring it over a key, as the backups of
// registry findings do.
#include "platform/Privileges.h"
#include "platform/os/WinApi.h"
#include "support/SeamTest.h"
#include "RegistryTestKit.h"
#ifndef _WIN32
#include <filesystem>
#include <fstream>

#include "platform/emul/Machine.h"
#endif

using namespace regtest;

namespace {

const auto HKCU = os::HKEY_CURRENT_USER;
os::LSTATUS Rc(os::DWORD code) { return static_cast<os::LSTATUS>(code); }

void Privilege(const char16_t* name, bool on) {
#ifdef _WIN32
    bool was = false;
    platform::EnablePrivilege(name, on, was);
#else
    emul::SetPrivilege(name, true, on);
#endif
}

class RegistrySaveRestoreTest : public testsupport::SeamTest {
protected:
    void TearDown() override {
        Privilege(u"SeBackupPrivilege", false);
        Privilege(u"SeRestorePrivilege", false);
        SeamTest::TearDown();
    }
    std::u16string Sub(std::u16string_view name) const { return ScratchKey() + u"\\" + std::u16string(name); }
    std::u16string File(std::u16string_view name) const { return ScratchFolder() + u"\\" + std::u16string(name); }

    // A tree with every kind of value, a default value and nested keys.
    void MakeTree(const std::u16string& path) {
        Key top = MustCreate(HKCU, path);
        SetBytes(top.get(), u"", os::REG_SZ, Utf16Bytes(std::u16string_view(u"default", 8)));
        SetBytes(top.get(), u"dw", os::REG_DWORD, {42, 0, 0, 0});
        SetBytes(top.get(), u"multi", os::REG_MULTI_SZ, Utf16Bytes(std::u16string_view(u"a\0b\0\0", 5)));
        SetBytes(top.get(), u"bin", os::REG_BINARY, {0, 1, 254, 255});
        SetBytes(top.get(), u"q", os::REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8});
        Key child = MustCreate(HKCU, path + u"\\Child\\Grand Child");
        SetBytes(child.get(), u"exp", os::REG_EXPAND_SZ, Utf16Bytes(std::u16string_view(u"%WINDIR%", 9)));
        MustCreate(HKCU, path + u"\\Empty");
    }

    os::LSTATUS Save(const std::u16string& path, const std::u16string& file) {
        Key key;
        if (auto rc = Open(HKCU, path, os::MAXIMUM_ALLOWED, key)) return rc;
        return os::RegSaveKeyW(key.get(), file.c_str(), nullptr);
    }

    os::LSTATUS Restore(const std::u16string& path, const std::u16string& file, os::DWORD flags = 0) {
        Key key;
        if (auto rc = Open(HKCU, path, os::MAXIMUM_ALLOWED, key)) return rc;
        return os::RegRestoreKeyW(key.get(), file.c_str(), flags);
    }
};

TEST_F(RegistrySaveRestoreTest, SavingNeedsTheBackupPrivilege) {
    MakeTree(Sub(u"Tree"));
    EXPECT_EQ(Save(Sub(u"Tree"), File(u"denied.dat")), Rc(os::ERROR_PRIVILEGE_NOT_HELD));
    Privilege(u"SeBackupPrivilege", true);
    EXPECT_EQ(Save(Sub(u"Tree"), File(u"saved.dat")), os::ERROR_SUCCESS);
    EXPECT_NE(os::GetFileAttributesW(File(u"saved.dat").c_str()), os::INVALID_FILE_ATTRIBUTES);
}

TEST_F(RegistrySaveRestoreTest, SavingNeverOverwritesAFile) {
    SKIP_ON_WINE("RegSaveKeyW overwrites an existing file; Windows refuses");
    MakeTree(Sub(u"Tree"));
    Privilege(u"SeBackupPrivilege", true);
    ASSERT_EQ(Save(Sub(u"Tree"), File(u"saved.dat")), os::ERROR_SUCCESS);
    MustCreate(HKCU, Sub(u"Tree\\Later"));
    EXPECT_EQ(Save(Sub(u"Tree"), File(u"saved.dat")), Rc(os::ERROR_ALREADY_EXISTS));
}

TEST_F(RegistrySaveRestoreTest, RestoreBringsBackTheSavedTreeExactly) {
    SKIP_ON_WINE("RegRestoreKeyW is a stub that changes nothing");
    auto tree = Sub(u"Tree");
    MakeTree(tree);
    auto original = Dump(HKCU, tree);
    Privilege(u"SeBackupPrivilege", true);
    ASSERT_EQ(Save(tree, File(u"saved.dat")), os::ERROR_SUCCESS);

    // Change it every way a repair could: values, subkeys, nesting.
    {
        Key top = MustCreate(HKCU, tree);
        SetBytes(top.get(), u"dw", os::REG_DWORD, {7, 0, 0, 0});
        os::RegDeleteValueW(top.get(), u"bin");
        SetBytes(top.get(), u"added", os::REG_SZ, Utf16Bytes(u"x"));
    }
    os::RegDeleteKeyW(HKCU, (tree + u"\\Child\\Grand Child").c_str());
    MustCreate(HKCU, tree + u"\\Extra\\Deeper");
    ASSERT_NE(Dump(HKCU, tree), original);

    EXPECT_EQ(Restore(tree, File(u"saved.dat")), Rc(os::ERROR_PRIVILEGE_NOT_HELD));
    Privilege(u"SeRestorePrivilege", true);
    ASSERT_EQ(Restore(tree, File(u"saved.dat")), os::ERROR_SUCCESS);
    EXPECT_EQ(Dump(HKCU, tree), original);
}

TEST_F(RegistrySaveRestoreTest, ASavedTreeRestoresOverAnotherKey) {
    SKIP_ON_WINE("RegRestoreKeyW is a stub that changes nothing");
    MakeTree(Sub(u"Tree"));
    MustCreate(HKCU, Sub(u"Other\\Unrelated"));
    Privilege(u"SeBackupPrivilege", true);
    Privilege(u"SeRestorePrivilege", true);
    ASSERT_EQ(Save(Sub(u"Tree"), File(u"saved.dat")), os::ERROR_SUCCESS);
    ASSERT_EQ(Restore(Sub(u"Other"), File(u"saved.dat")), os::ERROR_SUCCESS);
    EXPECT_EQ(Dump(HKCU, Sub(u"Other")), Dump(HKCU, Sub(u"Tree")));
}

#ifndef _WIN32
TEST_F(RegistrySaveRestoreTest, ABadOrMissingFileChangesNothing) {
    auto tree = Sub(u"Tree");
    MakeTree(tree);
    auto before = Dump(HKCU, tree);
    Privilege(u"SeRestorePrivilege", true);
    EXPECT_EQ(Restore(tree, File(u"missing.dat")), Rc(os::ERROR_FILE_NOT_FOUND));
    {
        std::ofstream bad(emul::HostPath(File(u"bad.dat")), std::ios::binary);
        bad << "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\X]\r\n\"v\"=dword:xyz\r\n";
    }
    EXPECT_EQ(Restore(tree, File(u"bad.dat")), Rc(os::ERROR_BADDB));
    EXPECT_EQ(Dump(HKCU, tree), before);
}

TEST_F(RegistrySaveRestoreTest, RestoreWaitsForOpenSubkeysUnlessForced) {
    auto tree = Sub(u"Tree");
    MakeTree(tree);
    Privilege(u"SeBackupPrivilege", true);
    Privilege(u"SeRestorePrivilege", true);
    ASSERT_EQ(Save(tree, File(u"saved.dat")), os::ERROR_SUCCESS);
    Key held = MustCreate(HKCU, tree + u"\\Child");
    EXPECT_EQ(Restore(tree, File(u"saved.dat")), Rc(os::ERROR_ACCESS_DENIED));
    EXPECT_EQ(Restore(tree, File(u"saved.dat"), os::REG_FORCE_RESTORE), os::ERROR_SUCCESS);
    // The handle named a key that the restore replaced.
    EXPECT_EQ(SetBytes(held.get(), u"v", os::REG_BINARY, {1}), Rc(os::ERROR_KEY_DELETED));
}

TEST_F(RegistrySaveRestoreTest, VolatileKeysAreNotSaved) {
    auto tree = Sub(u"Tree");
    MustCreate(HKCU, tree);
    MustCreate(HKCU, tree + u"\\InMemory", os::KEY_ALL_ACCESS, os::REG_OPTION_VOLATILE);
    Privilege(u"SeBackupPrivilege", true);
    Privilege(u"SeRestorePrivilege", true);
    ASSERT_EQ(Save(tree, File(u"saved.dat")), os::ERROR_SUCCESS);
    ASSERT_EQ(Restore(tree, File(u"saved.dat")), os::ERROR_SUCCESS);
    EXPECT_FALSE(Exists(HKCU, tree + u"\\InMemory"));
}
#endif

}  // namespace
