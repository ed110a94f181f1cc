// Token privileges and the WOW64 flag.
#include <gtest/gtest.h>

#include "platform/Privileges.h"
#include "platform/Wow64.h"
#include "support/SeamTest.h"
#ifndef _WIN32
#include "platform/emul/Machine.h"
#endif

using namespace platform;

namespace {

class PrivilegesTest : public testsupport::SeamTest {
protected:
    void TearDown() override {
        // The real token outlives the test: leave it as found.
        bool ignored = false;
        EnablePrivilege(u"SeBackupPrivilege", false, ignored);
        SeamTest::TearDown();
    }
};

TEST_F(PrivilegesTest, UnknownNameReportsTheLookupErrorAndLeavesWasEnabledTrue) {
    bool wasEnabled = false;
    EXPECT_EQ(EnablePrivilege(u"SeNoSuchPrivilege", true, wasEnabled), os::ERROR_NO_SUCH_PRIVILEGE);
    EXPECT_TRUE(wasEnabled);
}

// The callers' pattern: enable, work, disable only when it was not enabled
// before. A nested user must not switch it off under the outer one.
TEST_F(PrivilegesTest, NestedEnableNeverDisablesWhatAnOuterCallerEnabled) {
    bool outerWas = true;
    ASSERT_EQ(EnablePrivilege(u"SeBackupPrivilege", true, outerWas), 0u);
    EXPECT_FALSE(outerWas);

    bool innerWas = false;
    ASSERT_EQ(EnablePrivilege(u"SeBackupPrivilege", true, innerWas), 0u);
    EXPECT_TRUE(innerWas) << "an inner caller would disable the outer caller's privilege";

    bool disabledWas = false;
    ASSERT_EQ(EnablePrivilege(u"SeBackupPrivilege", false, disabledWas), 0u);
    EXPECT_TRUE(disabledWas);
#ifndef _WIN32
    EXPECT_FALSE(emul::PrivilegeEnabled(u"SeBackupPrivilege"));
#endif
}

TEST_F(PrivilegesTest, DisablingAnAlreadyDisabledPrivilegeReportsItWasOff) {
    bool wasEnabled = true;
    EXPECT_EQ(EnablePrivilege(u"SeBackupPrivilege", false, wasEnabled), 0u);
    EXPECT_FALSE(wasEnabled);
}

#ifndef _WIN32
TEST_F(PrivilegesTest, APrivilegeTheTokenLacksGivesSuccessAndNothingToUndo) {
    emul::SetPrivilege(u"SeRestorePrivilege", false, false);
    bool wasEnabled = false;
    EXPECT_EQ(EnablePrivilege(u"SeRestorePrivilege", true, wasEnabled), 0u);
    EXPECT_TRUE(wasEnabled);
    EXPECT_FALSE(emul::PrivilegeEnabled(u"SeRestorePrivilege"));
}

#endif

class Wow64Test : public testsupport::SeamTest {
protected:
    void TearDown() override {
#ifndef _WIN32
        emul::Reset();
#endif
        InitWindows64();
        SeamTest::TearDown();
    }
};

TEST_F(Wow64Test, IsWindows64KeepsTheValueTakenAtStartUp) {
    InitWindows64();
    EXPECT_EQ(IsWindows64(), IsWow64());
#ifndef _WIN32
    EXPECT_TRUE(IsWindows64());
    emul::SetArch(emul::Arch::Windows32);
    EXPECT_FALSE(IsWow64());
    EXPECT_TRUE(IsWindows64()) << "must not change after start-up";
    InitWindows64();
    EXPECT_FALSE(IsWindows64());
#endif
}

#ifndef _WIN32
TEST_F(Wow64Test, SystemsWithoutIsWow64ProcessAreNot64Bit) {
    emul::SetIsWow64ProcessAvailable(false);
    EXPECT_FALSE(IsWow64());
}
#endif

}  // namespace
