// The native command's options: what each asks the program for, and the
// mistakes that stop the command before it sets up a machine.
#include "app/entry/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using entry::ParseCommandLine;
using entry::ProgramArguments;
using entry::TCommandLine;
using Args = std::vector<std::string>;
using ProgramArgs = std::vector<std::u16string>;

const std::u16string kProgram = u"C:\\Tallowmend\\tallowmend.exe";

struct TAccepted {
    const char* Name;
    Args Options;
    ProgramArgs Expected;  // after the program's path
};

class AcceptedOptions : public testing::TestWithParam<TAccepted> {};

TEST_P(AcceptedOptions, AskTheProgramForTheirModes) {
    ProgramArgs expected{kProgram};
    expected.insert(expected.end(), GetParam().Expected.begin(), GetParam().Expected.end());
    EXPECT_EQ(ProgramArguments(ParseCommandLine(GetParam().Options), kProgram), expected);
}

// Stable test names: ctest finds the cases by them.
template <typename T>
std::string CaseName(const testing::TestParamInfo<T>& info) {
    return info.param.Name;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, AcceptedOptions,
    testing::Values(TAccepted{"Wizard", {"--auto", "--details"}, {}},
                    TAccepted{"UndoPage", {"--auto", "-debug", "--undo"}, {u"-debug", u"-restore"}},
                    TAccepted{"ScanReport", {"--report", "r.json", "--scan-only"}, {u"-scan", u"-report", u"r.json"}},
                    TAccepted{"FixReport", {"--auto", "--report", "r.json"}, {u"-fix", u"-report", u"r.json"}},
                    TAccepted{"Restore",
                              {"--restore", "last", "--report", "r.json"},
                              {u"-restore", u"last", u"-report", u"r.json"}},
                    TAccepted{"List", {"--list-backups", "-debug"}, {u"-debug", u"-list"}}),
    CaseName<TAccepted>);

TEST(CommandLine, ReadsTheMachineItDescribes) {
    TCommandLine line = ParseCommandLine({"--windows", "xp", "--arch", "x86", "--ui-language", "0x407", "--drive",
                                          "d=/", "--machine", "a.reg", "--machine", "b.reg", "--save", "out.reg"});
    EXPECT_EQ(line.Version.Major, 5u);
    EXPECT_EQ(line.Version.Build, 2600u);
    EXPECT_EQ(line.Version.ServicePack, u"Service Pack 3");
    EXPECT_EQ(line.Arch, emul::Arch::Windows32);
    EXPECT_TRUE(line.Shaped);
    EXPECT_EQ(line.UiLanguage, 1031);
    ASSERT_EQ(line.Drives.count(u'D'), 1u);
    EXPECT_EQ(line.Drives.at(u'D'), "/");
    EXPECT_EQ(line.Machines, (Args{"a.reg", "b.reg"}));
    EXPECT_EQ(line.Save, "out.reg");
    EXPECT_FALSE(line.Unattended());
}

struct TRefused {
    const char* Name;
    Args Options;
    std::string Error;  // a part of the message
};

class RefusedOptions : public testing::TestWithParam<TRefused> {};

TEST_P(RefusedOptions, SayWhatIsWrong) {
    try {
        ParseCommandLine(GetParam().Options);
        FAIL() << "accepted";
    } catch (const entry::TUsageError& e) {
        EXPECT_NE(std::string(e.what()).find(GetParam().Error), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, RefusedOptions,
    testing::Values(
        TRefused{"Unknown", {"--auto", "--bogus"}, "unknown option --bogus"},
        TRefused{"MachineWithoutValue", {"--auto", "--machine"}, "--machine needs a value"},
        TRefused{"ReportWithoutValue", {"--report"}, "--report needs a value"},
        TRefused{"Windows", {"--windows", "95"}, "--windows takes xp, vista, 7, 8 or 10"},
        TRefused{"Arch", {"--arch", "arm"}, "--arch takes x86 or x64"},
        TRefused{"LanguageNotANumber", {"--ui-language", "12x"}, "--ui-language takes"},
        TRefused{"LanguageTooLarge", {"--ui-language", "0x10000"}, "--ui-language takes"},
        TRefused{"DriveForm", {"--drive", "C:/"}, "--drive takes X=DIR"},
        TRefused{"DriveFolder", {"--drive", "C=/no/such/folder/here"}, "not a folder: /no/such/folder/here"},
        TRefused{"TwoModes", {"--scan-only", "--list-backups"}, "use one of"},
        TRefused{"ReportAlone", {"--report", "r.json"}, "--report goes with"},
        TRefused{"UndoWithMode", {"--undo", "--scan-only"}, "--undo opens the wizard's undo page"},
        TRefused{"UserAlone", {"--user", "bob"}, "--user goes with --offline"},
        TRefused{"OfflineShaped", {"--offline", "/", "--windows", "7"}, "--offline takes the machine from the drive"},
        TRefused{"OfflineDriveC", {"--offline", "/", "--drive", "c=/"}, "--offline takes the machine from the drive"}),
    CaseName<TRefused>);

}  // namespace
