#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <thread>

#include "platform/Text.h"
#include "runtime/LogTestSupport.h"
#ifndef _WIN32
#include "platform/emul/Machine.h"
#endif

using namespace runtime;
using apptest::LogTest;

namespace {

const char* const kStamp = R"(\d{1,2}\.\d{1,2}\.\d\d \d\d:\d\d:\d\d\.\d\d\d)";

struct SwitchCase {
    const char* label;
    std::vector<std::u16string> args;  // args[0] is the program path
    bool on;
};

class DebugSwitchTest : public LogTest, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(DebugSwitchTest, OnlyTheExactSwitchTurnsLoggingOn) {
    InitLogging(u"-debug", GetParam().args);
    EXPECT_EQ(LoggingOn(), GetParam().on);
    Log(u"probe");
    EXPECT_EQ(Exists(LogFileName()), GetParam().on) << "the log file must exist exactly when logging is on";
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, DebugSwitchTest,
    ::testing::Values(SwitchCase{"none", {u"C:\\p\\tallowmend.exe"}, false},
                      SwitchCase{"no_args_at_all", {}, false},
                      SwitchCase{"exact", {u"C:\\p\\tallowmend.exe", u"-debug"}, true},
                      SwitchCase{"last_of_several", {u"C:\\p\\tallowmend.exe", u"x", u"/y", u"-debug"}, true},
                      SwitchCase{"capitals", {u"C:\\p\\tallowmend.exe", u"-DEBUG"}, false},
                      SwitchCase{"slash", {u"C:\\p\\tallowmend.exe", u"/debug"}, false},
                      SwitchCase{"two_dashes", {u"C:\\p\\tallowmend.exe", u"--debug"}, false},
                      SwitchCase{"with_blank", {u"C:\\p\\tallowmend.exe", u"-debug "}, false},
                      SwitchCase{"program_path_itself", {u"-debug"}, false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(LogTest, LogFileIsTheExecutableNameWithLogBesideTheDataFolder) {
    auto exe = ExecutablePath();
    auto name = exe.substr(exe.find_last_of(u'\\') + 1);
    EXPECT_EQ(LogFileName(), ScratchFolder() + u"\\" + name + u".log");
}

TEST_F(LogTest, MessageRecordIsTimestampBlankMessageInTheAnsiCodePage) {
    TurnOn();
    Log(u"Found \u00e9 \u4e2d");
    auto lines = Lines(ReadAll(LogFileName()));
    ASSERT_EQ(lines.size(), 1u);
    // é is 0xE9 in code page 1252; a character it cannot hold becomes "?".
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(std::string(kStamp) + " Found \xE9 \\?"))) << lines[0];
}

TEST_F(LogTest, AnEarlierLogIsAppendedToNeverCleared) {
    WriteAll(LogFileName(), "earlier run\r\n");
    TurnOn();
    Log(u"now");
    auto lines = Lines(ReadAll(LogFileName()));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "earlier run");
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(std::string(kStamp) + " now"))) << lines[1];
}

TEST_F(LogTest, ConcurrentWritersNeverInterleaveInsideALine) {
    TurnOn();
    constexpr int kThreads = 4, kLines = 150;
    const std::string padding(120, 'x');
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t, &padding] {
            for (int i = 0; i < kLines; ++i)
                WriteLogLine(text::FromUtf8("T" + std::to_string(t) + "-" + std::to_string(i) + "-" + padding));
        });
    for (auto& thread : threads) thread.join();

    auto lines = Lines(ReadAll(LogFileName()));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
    std::set<std::string> seen;
    for (const auto& line : lines) {
        ASSERT_TRUE(std::regex_match(line, std::regex("T[0-3]-\\d+-x{120}"))) << line;
        seen.insert(line);
    }
    EXPECT_EQ(seen.size(), lines.size());
}

TEST_F(LogTest, AFailedWriteLosesOnlyThatLine) {
    TurnOn();
    Log(u"first");
#ifndef _WIN32
    emul::SetFileLocked(LogFileName(), true);
    Log(u"lost");
    emul::SetFileLocked(LogFileName(), false);
#else
    // Held open without sharing, as another program might.
    auto holder = os::CreateFileW(LogFileName().c_str(), os::GENERIC_READ, 0, nullptr, os::OPEN_EXISTING,
                                  os::FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, os::INVALID_HANDLE_VALUE);
    Log(u"lost");
    os::CloseHandle(holder);
#endif
    Log(u"third");
    auto data = ReadAll(LogFileName());
    EXPECT_EQ(Lines(data).size(), 2u) << data;
    EXPECT_EQ(data.find("lost"), std::string::npos);
    EXPECT_NE(data.find(" third\r\n"), std::string::npos);
}

TEST_F(LogTest, AnUnwritableLogFolderIsNotAnError) {
    SetDataFolder(u"Q:\\no-such-drive\\folder");
    TurnOn();
    EXPECT_NO_THROW(Log(u"nowhere"));
    EXPECT_NO_THROW(WriteLogLine(u"nowhere"));
}

#ifndef _WIN32
TEST_F(LogTest, TimestampUsesTheLocaleTimeSeparator) {
    emul::SetLocaleSeparators(u'/', u'.');
    TurnOn();
    Log(u"m");
    auto lines = Lines(ReadAll(LogFileName()));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\d{1,2}\.\d{1,2}\.\d\d \d\d\.\d\d\.\d\d\.\d\d\d m)")))
        << lines[0];
}
#endif

TEST(LogFormat, Timestamp) {
    const struct {
        os::SYSTEMTIME time;
        char16_t separator;
        std::u16string expected;
    } cases[] = {
        {{2026, 12, 3, 9, 7, 5, 3, 45}, u':', u"9.12.26 07:05:03.045"},
        {{2000, 1, 6, 31, 23, 59, 59, 999}, u':', u"31.1.00 23:59:59.999"},
        {{2009, 10, 0, 1, 0, 0, 0, 0}, u'.', u"1.10.09 00.00.00.000"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatLogTimestamp(c.time, c.separator), c.expected);
}

TEST(LogFormat, ExceptionReportAddsAFullStopOnlyWhenMissing) {
    const struct {
        std::u16string message;
        std::u16string expected;
    } cases[] = {
        {u"Boom", u"Exception EFoo in module app.exe at 0000ABCD.\r\nBoom.\r\n"},
        {u"Boom.", u"Exception EFoo in module app.exe at 0000ABCD.\r\nBoom.\r\n"},
        {u"Done...", u"Exception EFoo in module app.exe at 0000ABCD.\r\nDone...\r\n"},
        {u"Really?", u"Exception EFoo in module app.exe at 0000ABCD.\r\nReally?.\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatExceptionReport(u"EFoo", u"app.exe", 0xABCD, c.message), c.expected);
}

TEST(LogFormat, ExceptionReportIsCutTo1024Characters) {
    auto report = FormatExceptionReport(u"EFoo", u"app.exe", 0x1000, std::u16string(3000, u'm'));
    EXPECT_EQ(report.size(), 1024u);
    EXPECT_EQ(report.substr(0, 44), u"Exception EFoo in module app.exe at 00001000");
}

TEST_F(LogTest, SysErrorTextDropsTrailingFullStopAndLineBreak) {
    auto text = text::ToUtf8(SysErrorText(2));
    ASSERT_EQ(text.rfind("Error 2: ", 0), 0u) << text;
    EXPECT_GT(text.size(), 9u);
    auto last = text.back();
    EXPECT_TRUE(last != '.' && last != '\n' && last != '\r' && last != ' ') << text;
    if (testsupport::Native()) {
        EXPECT_EQ(text, "Error 2: The system cannot find the file specified");
    }
    EXPECT_EQ(text::ToUtf8(SysErrorText(0x80070005u)).rfind("Error -2147024891: ", 0), 0u);
}

}  // namespace
