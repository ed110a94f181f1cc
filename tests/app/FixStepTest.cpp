// The fix step: which shipped copy replaces rundll32 on which Windows, the
// guard against replacing it with something that is not a program, and the
// order in which the checked entries are solved.
#include <gtest/gtest.h>

#include "WizardTestSupport.h"
#include "app/FixStep.h"

#if !defined(_WIN32)
#include "platform/emul/Machine.h"
#endif

namespace apptest {
namespace {

using app::TRundllVersion;

struct VersionCase {
    const char* name;
    os::DWORD platform, major, minor;
    os::BYTE product;
    TRundllVersion expected;
};

class ClassifyTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(ClassifyTest, PicksTheCopyForTheVersion) {
    const auto& c = GetParam();
    os::OSVERSIONINFOEXW info{};
    info.dwPlatformId = c.platform;
    info.dwMajorVersion = c.major;
    info.dwMinorVersion = c.minor;
    info.wProductType = c.product;
    EXPECT_EQ(app::ClassifyWindowsVersion(info), c.expected);
}

constexpr os::DWORD NT = os::VER_PLATFORM_WIN32_NT;
INSTANTIATE_TEST_SUITE_P(
    Versions, ClassifyTest,
    ::testing::Values(VersionCase{"XP", NT, 5, 1, os::VER_NT_WORKSTATION, TRundllVersion::WindowsXP},
                      VersionCase{"Vista", NT, 6, 0, os::VER_NT_WORKSTATION, TRundllVersion::WindowsVista},
                      VersionCase{"Seven", NT, 6, 1, os::VER_NT_WORKSTATION, TRundllVersion::Windows7},
                      VersionCase{"Server2008", NT, 6, 0, os::VER_NT_SERVER, TRundllVersion::None},
                      VersionCase{"Server2008R2", NT, 6, 1, os::VER_NT_DOMAIN_CONTROLLER, TRundllVersion::None},
                      VersionCase{"Win2000", NT, 5, 0, os::VER_NT_WORKSTATION, TRundllVersion::None},
                      VersionCase{"Server2003", NT, 5, 2, os::VER_NT_SERVER, TRundllVersion::None},
                      VersionCase{"Eight", NT, 6, 2, os::VER_NT_WORKSTATION, TRundllVersion::None},
                      VersionCase{"Ten", NT, 10, 0, os::VER_NT_WORKSTATION, TRundllVersion::None},
                      VersionCase{"Nine", 1, 4, 10, 0, TRundllVersion::None}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FixStepCommand, IsTheExactCopyLine) {
    EXPECT_EQ(app::RundllCopyCommand(u"C:\\Prog\\r7.dat", u"C:\\Windows\\system32\\rundll32.exe"),
              u"cmd /c \"copy /y \"C:\\Prog\\r7.dat\" C:\\Windows\\system32\\rundll32.exe\"");
}

// A minimal image header: MZ, the PE offset, the PE signature and a machine.
std::string Image(unsigned machine, bool mz = true, bool pe = true) {
    std::string data(512, '\0');
    if (mz) data[0] = 'M', data[1] = 'Z';
    data[0x3C] = static_cast<char>(0x80);
    if (pe) data.replace(0x80, 4, std::string("PE\0\0", 4));
    data[0x84] = static_cast<char>(machine & 0xFF);
    data[0x85] = static_cast<char>(machine >> 8);
    return data;
}

class ImageCheckTest : public LogTest {};

TEST_F(ImageCheckTest, AcceptsOnlyI386Images) {
    struct {
        const char* name;
        std::string data;
        bool ok;
    } cases[] = {
        {"i386", Image(0x014C), true},
        {"x64", Image(0x8664), false},
        {"noMZ", Image(0x014C, false), false},
        {"noPE", Image(0x014C, true, false), false},
        {"empty", "", false},
        {"headerOnly", "MZ", false},
        {"offsetPastEnd", Image(0x014C).substr(0, 0x82), false},
    };
    for (const auto& c : cases) {
        std::u16string path = ScratchFolder() + u"\\" + text::FromUtf8(c.name) + u".dat";
        WriteAll(path, c.data);
        EXPECT_EQ(app::IsI386ExecutableImage(path), c.ok) << c.name;
    }
    EXPECT_FALSE(app::IsI386ExecutableImage(ScratchFolder() + u"\\missing.dat"));
}

#if !defined(_WIN32)
// The restoration on the emulated machine: the program lives in the
// scratch folder with its shipped copies.
struct RestoreCase {
    const char* name;
    os::DWORD major, minor;
    os::BYTE product;
    const char* source;  // the copy that must land, or null for none
};

class RestoreTest : public WizardTest, public ::testing::WithParamInterface<RestoreCase> {
protected:
    void SetUp() override {
        WizardTest::SetUp();
        emul::SetModuleFileName(ScratchFolder() + u"\\tallowmend.exe");
        target = app::RundllTargetPath();
        WriteAll(target, original);
        for (const char* name : {"rxp.dat", "rv.dat", "r7.dat"}) {
            std::string image = Image(0x014C) + name;
            WriteAll(ScratchFolder() + u"\\" + text::FromUtf8(name), image);
        }
    }
    std::u16string target;
    const std::string original = Image(0x014C) + "original";
};

TEST_P(RestoreTest, NextRestoresTheCopyForTheVersionAndSolvesAll) {
    const auto& c = GetParam();
    emul::SetVersion(c.major, c.minor, 7601, c.product);
    Make({u"one"}, {u"a"});
    ToResults();
    ASSERT_TRUE(form->NextButton->Click());
    EXPECT_EQ(form->Page(), app::TMainForm::pgSuccess);
    EXPECT_EQ(ReadAll(target), c.source ? Image(0x014C) + c.source : original);
    auto execs = emul::WinExecLog();
    bool viaCommand = c.source && std::string(c.source) != "rxp.dat";
    EXPECT_EQ(execs.size(), viaCommand ? 1u : 0u);
    EXPECT_EQ(form->ResultsListBox->Count(), 0);
    ASSERT_FALSE(SolvedLog().empty());
    EXPECT_EQ(SolvedLog().back(), u"one");  // the composite, lower down, went first
}

INSTANTIATE_TEST_SUITE_P(Versions, RestoreTest,
                         ::testing::Values(RestoreCase{"XP", 5, 1, os::VER_NT_WORKSTATION, "rxp.dat"},
                                           RestoreCase{"Vista", 6, 0, os::VER_NT_WORKSTATION, "rv.dat"},
                                           RestoreCase{"Seven", 6, 1, os::VER_NT_WORKSTATION, "r7.dat"},
                                           RestoreCase{"Eight", 6, 2, os::VER_NT_WORKSTATION, nullptr},
                                           RestoreCase{"Server", 6, 1, os::VER_NT_SERVER, nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

class BadSourceTest : public RestoreTest {};

TEST_F(BadSourceTest, AMissingEmptyOrForeignCopyChangesNothing) {
    for (auto [major, minor, file] : {std::tuple{5u, 1u, "rxp.dat"}, std::tuple{6u, 1u, "r7.dat"}}) {
        emul::SetVersion(major, minor, 7601, os::VER_NT_WORKSTATION);
        for (const std::string& content : {std::string(), Image(0x8664), std::string("not a program")}) {
            WriteAll(ScratchFolder() + u"\\" + text::FromUtf8(file), content);
            app::RestoreRundll32();
            EXPECT_EQ(ReadAll(target), original) << file;
        }
        os::DeleteFileW((ScratchFolder() + u"\\" + text::FromUtf8(file)).c_str());
        app::RestoreRundll32();
        EXPECT_EQ(ReadAll(target), original) << file;
    }
    EXPECT_TRUE(emul::WinExecLog().empty());
}
#endif

class FixOrderTest : public WizardTest {};

TEST_F(FixOrderTest, SolvesCheckedEntriesBottomUpAndKeepsUncheckedOnes) {
    Make({u"one", u"two", u"three"}, {u"a"});
    ToResults();
    ASSERT_EQ(form->ResultsListBox->Count(), 4);
    form->ResultsListBox->SetChecked(1, false);
    ASSERT_TRUE(form->NextButton->Click());
    EXPECT_EQ(form->Page(), app::TMainForm::pgSuccess);
    ASSERT_GE(SolvedLog().size(), 3u);
    EXPECT_EQ(SolvedLog().front(), u"a");
    EXPECT_EQ(SolvedLog()[SolvedLog().size() - 2], u"three");
    EXPECT_EQ(SolvedLog().back(), u"one");
    EXPECT_EQ(Entries(), std::vector<std::u16string>{u"[ ] setting two"});
}

TEST_F(FixOrderTest, AFailingSolveRemovesItsEntryAndStopsTheStep) {
    Make({u"one", u"fails", u"three"}, {});
    ToResults();
    ASSERT_TRUE(form->NextButton->Click());
    EXPECT_EQ(form->Page(), app::TMainForm::pgResults);
    EXPECT_TRUE(app->Shown.empty());
    EXPECT_EQ(SolvedLog(), (std::vector<std::u16string>{u"three", u"fails"}));
    EXPECT_EQ(Entries(), std::vector<std::u16string>{u"[x] setting one"});
    // Next again runs the step on what is left.
    ASSERT_TRUE(form->NextButton->Click());
    EXPECT_EQ(form->Page(), app::TMainForm::pgSuccess);
    EXPECT_EQ(form->ResultsListBox->Count(), 0);
}

TEST_F(FixOrderTest, AnEmptyListStillLeadsToSuccess) {
    Make({u"fails"}, {});
    ToResults();
    ASSERT_TRUE(form->NextButton->Click());
    ASSERT_EQ(form->ResultsListBox->Count(), 0);
    ASSERT_TRUE(form->NextButton->Click());
    EXPECT_EQ(form->Page(), app::TMainForm::pgSuccess);
}

}  // namespace
}  // namespace apptest
