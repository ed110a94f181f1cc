// Token privileges through the seam: lookup, adjustment and the previous
// state that lets a caller put things back.
#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "platform/os/WinApi.h"
#include "support/SeamTest.h"

#ifndef _WIN32
#include "platform/emul/Machine.h"
#endif

namespace {

os::LUID Luid(const char16_t* name) {
    os::LUID luid{};
    EXPECT_TRUE(os::LookupPrivilegeValueW(nullptr, name, &luid));
    return luid;
}

// A TOKEN_PRIVILEGES with room for `count` entries.
struct PrivilegeBuffer {
    explicit PrivilegeBuffer(std::size_t count)
        : bytes(offsetof(os::TOKEN_PRIVILEGES, Privileges) + count * sizeof(os::LUID_AND_ATTRIBUTES)) {}
    os::TOKEN_PRIVILEGES* get() { return reinterpret_cast<os::TOKEN_PRIVILEGES*>(storage()); }
    os::DWORD size() const { return static_cast<os::DWORD>(bytes); }
    std::size_t bytes;

private:
    void* storage() {
        if (data.empty()) data.resize(bytes / sizeof(os::DWORD) + 1);
        return data.data();
    }
    std::vector<os::DWORD> data;
};

class TokenTest : public testsupport::SeamTest {
protected:
    void SetUp() override {
        SeamTest::SetUp();
        ASSERT_TRUE(os::OpenProcessToken(os::GetCurrentProcess(), os::TOKEN_ADJUST_PRIVILEGES | os::TOKEN_QUERY,
                                         &token_));
    }
    void TearDown() override {
        // The process keeps its token across tests under Wine: leave both
        // privileges disabled again.
        Set({u"SeBackupPrivilege", u"SeRestorePrivilege"}, false);
        EXPECT_TRUE(os::CloseHandle(token_));
        SeamTest::TearDown();
    }

    // Adjusts, returns the previous state as (LUID, attributes) pairs.
    std::vector<os::LUID_AND_ATTRIBUTES> Set(std::initializer_list<const char16_t*> names, bool enable,
                                             os::BOOL* result = nullptr, os::DWORD* error = nullptr) {
        PrivilegeBuffer wanted(names.size());
        wanted.get()->PrivilegeCount = static_cast<os::DWORD>(names.size());
        std::size_t i = 0;
        for (auto* name : names)
            (&wanted.get()->Privileges[0])[i++] = {Luid(name), enable ? os::SE_PRIVILEGE_ENABLED : 0u};
        PrivilegeBuffer previous(names.size());
        os::DWORD returned = 0;
        auto ok = os::AdjustTokenPrivileges(token_, os::FALSE, wanted.get(), previous.size(), previous.get(), &returned);
        if (result) *result = ok;
        if (error) *error = os::GetLastError();
        std::vector<os::LUID_AND_ATTRIBUTES> out;
        for (os::DWORD k = 0; ok && k < previous.get()->PrivilegeCount; ++k)
            out.push_back((&previous.get()->Privileges[0])[k]);
        return out;
    }

    os::HANDLE token_ = nullptr;
};

TEST_F(TokenTest, WellKnownPrivilegesHaveWindowsLuids) {
    EXPECT_EQ(Luid(u"SeBackupPrivilege").LowPart, 17u);
    EXPECT_EQ(Luid(u"SeRestorePrivilege").LowPart, 18u);
    EXPECT_EQ(Luid(u"SeRestorePrivilege").HighPart, 0);
    os::LUID luid{};
    EXPECT_FALSE(os::LookupPrivilegeValueW(nullptr, u"SeNoSuchPrivilege", &luid));
    EXPECT_EQ(os::GetLastError(), os::ERROR_NO_SUCH_PRIVILEGE);
}

TEST_F(TokenTest, EnablingReportsTheDisabledStateAndSucceeds) {
    os::BOOL ok = os::FALSE;
    os::DWORD error = 99;
    auto previous = Set({u"SeBackupPrivilege"}, true, &ok, &error);
    EXPECT_TRUE(ok);
    EXPECT_EQ(error, static_cast<os::DWORD>(os::ERROR_SUCCESS));
    ASSERT_EQ(previous.size(), 1u);
    EXPECT_EQ(previous[0].Luid.LowPart, 17u);
    EXPECT_EQ(previous[0].Attributes & os::SE_PRIVILEGE_ENABLED, 0u);
#ifndef _WIN32
    EXPECT_TRUE(emul::PrivilegeEnabled(u"SeBackupPrivilege"));
    EXPECT_FALSE(emul::PrivilegeEnabled(u"SeRestorePrivilege"));
#endif
}

TEST_F(TokenTest, PreviousStateHoldsOnlyWhatChanged) {
    SKIP_ON_WINE("Wine reports every requested privilege, changed or not");
    Set({u"SeBackupPrivilege"}, true);
    auto previous = Set({u"SeBackupPrivilege", u"SeRestorePrivilege"}, true);
    ASSERT_EQ(previous.size(), 1u);
    EXPECT_EQ(previous[0].Luid.LowPart, 18u);
    EXPECT_TRUE(Set({u"SeBackupPrivilege", u"SeRestorePrivilege"}, true).empty());
}

TEST_F(TokenTest, FeedingThePreviousStateBackRestores) {
    Set({u"SeRestorePrivilege"}, true);
    PrivilegeBuffer wanted(2), previous(2);
    wanted.get()->PrivilegeCount = 2;
    (&wanted.get()->Privileges[0])[0] = {Luid(u"SeBackupPrivilege"), os::SE_PRIVILEGE_ENABLED};
    (&wanted.get()->Privileges[0])[1] = {Luid(u"SeRestorePrivilege"), os::SE_PRIVILEGE_ENABLED};
    os::DWORD returned = 0;
    ASSERT_TRUE(os::AdjustTokenPrivileges(token_, os::FALSE, wanted.get(), previous.size(), previous.get(), &returned));
    ASSERT_TRUE(os::AdjustTokenPrivileges(token_, os::FALSE, previous.get(), 0, nullptr, nullptr));
    // Backup is off again, Restore stays on: exactly the state before.
    auto now = Set({u"SeBackupPrivilege", u"SeRestorePrivilege"}, true);
    bool backupWasOn = false, restoreWasOn = false;
    for (const auto& entry : now) {
        bool on = entry.Attributes & os::SE_PRIVILEGE_ENABLED;
        (entry.Luid.LowPart == 17u ? backupWasOn : restoreWasOn) |= on;
    }
    EXPECT_FALSE(backupWasOn);
    EXPECT_TRUE(restoreWasOn || !testsupport::OnWine());  // Windows omits it: unchanged
    EXPECT_FALSE(now.empty());
}

TEST_F(TokenTest, PrivilegeNotHeldIsNotAllAssigned) {
    os::BOOL ok = os::FALSE;
    os::DWORD error = 0;
    Set({u"SeCreateTokenPrivilege"}, true, &ok, &error);
    EXPECT_TRUE(ok);
    EXPECT_EQ(error, os::ERROR_NOT_ALL_ASSIGNED);
}

TEST_F(TokenTest, ShortPreviousStateBufferChangesNothing) {
    SKIP_ON_WINE("Wine applies the change and returns TRUE with a short buffer");
    PrivilegeBuffer wanted(1);
    wanted.get()->PrivilegeCount = 1;
    wanted.get()->Privileges[0] = {Luid(u"SeBackupPrivilege"), os::SE_PRIVILEGE_ENABLED};
    os::DWORD previous[1] = {};
    os::DWORD returned = 0;
    EXPECT_FALSE(os::AdjustTokenPrivileges(token_, os::FALSE, wanted.get(), sizeof previous,
                                           reinterpret_cast<os::TOKEN_PRIVILEGES*>(previous), &returned));
    EXPECT_EQ(os::GetLastError(), os::ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(returned, 16u);
    // Still disabled: enabling now reports it as changed.
    EXPECT_EQ(Set({u"SeBackupPrivilege"}, true).size(), 1u);
}

TEST_F(TokenTest, TokenWithoutAdjustRightIsRefused) {
    os::HANDLE queryOnly = nullptr;
    ASSERT_TRUE(os::OpenProcessToken(os::GetCurrentProcess(), os::TOKEN_QUERY, &queryOnly));
    PrivilegeBuffer wanted(1);
    wanted.get()->PrivilegeCount = 1;
    wanted.get()->Privileges[0] = {Luid(u"SeBackupPrivilege"), os::SE_PRIVILEGE_ENABLED};
    EXPECT_FALSE(os::AdjustTokenPrivileges(queryOnly, os::FALSE, wanted.get(), 0, nullptr, nullptr));
    EXPECT_EQ(os::GetLastError(), os::ERROR_ACCESS_DENIED);
    EXPECT_TRUE(os::CloseHandle(queryOnly));
    EXPECT_FALSE(os::CloseHandle(queryOnly));
    EXPECT_EQ(os::GetLastError(), os::ERROR_INVALID_HANDLE);
}

#ifndef _WIN32
TEST_F(TokenTest, ConfiguredPrivilegesAndReset) {
    emul::SetPrivilege(u"SeRestorePrivilege", false, false);
    os::BOOL ok = os::FALSE;
    os::DWORD error = 0;
    Set({u"SeRestorePrivilege"}, true, &ok, &error);
    EXPECT_EQ(error, os::ERROR_NOT_ALL_ASSIGNED);
    EXPECT_FALSE(emul::PrivilegeEnabled(u"SeRestorePrivilege"));
    emul::SetPrivilege(u"SeBackupPrivilege", true, true);
    EXPECT_TRUE(emul::PrivilegeEnabled(u"sebackupprivilege"));
    emul::ResetSystem();
    EXPECT_FALSE(emul::PrivilegeEnabled(u"SeBackupPrivilege"));
    Set({u"SeRestorePrivilege"}, true, &ok, &error);
    EXPECT_EQ(error, static_cast<os::DWORD>(os::ERROR_SUCCESS));
}
#endif

}  // namespace
