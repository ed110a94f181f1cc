// Exception records written by the hook as exceptions are raised.
#include <gtest/gtest.h>

#include <regex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "TallowmendVersion.h"
#include "app/MainRoutine.h"
#include "platform/ExceptionHook.h"
#include "platform/RegistryAccess.h"
#include "platform/Text.h"
#include "runtime/LogTestSupport.h"

using namespace app;
using namespace runtime;
using apptest::LogTest;

namespace {

const char* const kStamp = R"(\d{1,2}\.\d{1,2}\.\d\d \d\d:\d\d:\d\d\.\d\d\d)";

class EIdSocketError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class EIdConnClosedGracefully : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class EIdSocketErrorLike : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ExceptionLogTest : public LogTest {
protected:
    void SetUp() override {
        LogTest::SetUp();
        InstallExceptionLogging();
    }

    static std::string ModuleOfThisTest() {
        auto where = platform::LocateCode(reinterpret_cast<const void*>(&ModuleOfThisTest));
        return text::ToUtf8(where.module);
    }

    // The lines of the first record whose report names `className`.
    static std::vector<std::string> RecordOf(const std::vector<std::string>& lines, const std::string& className) {
        for (std::size_t i = 2; i < lines.size(); ++i) {
            if (lines[i].rfind("Exception " + className + " in module ", 0) != 0) continue;
            std::vector<std::string> record(lines.begin() + static_cast<long>(i - 2), lines.end());
            for (std::size_t j = 5; j < record.size(); ++j)
                if (record[j].empty()) {
                    record.resize(j);
                    break;
                }
            return record;
        }
        return {};
    }
};

TEST_F(ExceptionLogTest, AThrowCaughtInsideAWorkerThreadLeavesARecord) {
    TurnOn();
    std::thread worker([] {
        try {
            throw platform::ERegistryError(u"Failed to create key Software\\X");
        } catch (const platform::ERegistryError&) {
            // swallowed, as a scanner swallows its own errors
        }
    });
    worker.join();

    auto record = RecordOf(Lines(ReadAll(LogFileName())), "ERegistryError");
    ASSERT_GE(record.size(), 6u) << ReadAll(LogFileName());
    EXPECT_EQ(record[0], "");
    EXPECT_TRUE(std::regex_match(record[1], std::regex(kStamp))) << record[1];
    EXPECT_TRUE(std::regex_match(record[2], std::regex("Exception ERegistryError in module " + ModuleOfThisTest() +
                                                       " at [0-9A-F]{8}\\.")))
        << record[2];
    EXPECT_EQ(record[3], "Failed to create key Software\\X.");
    EXPECT_EQ(record[4], "") << "the report's own line break leaves an empty line";
    for (std::size_t i = 5; i < record.size(); ++i)
        EXPECT_TRUE(std::regex_match(record[i], std::regex(R"(\[[0-9A-F]+\].*)"))) << record[i];
}

TEST_F(ExceptionLogTest, ThrowsInsideTheStandardLibraryAreSeenToo) {
    TurnOn();
    std::vector<int> empty;
    try {
        (void)empty.at(3);
    } catch (const std::out_of_range&) {
    }
    auto record = RecordOf(Lines(ReadAll(LogFileName())), "out_of_range");
    ASSERT_GE(record.size(), 4u) << ReadAll(LogFileName());
    EXPECT_NE(record[3].find("vector"), std::string::npos) << record[3];
}

TEST_F(ExceptionLogTest, TheTwoSocketClassesAreLeftOutOthersAreNot) {
    TurnOn();
    try {
        throw EIdSocketError("socket");
    } catch (...) {
    }
    try {
        throw EIdConnClosedGracefully("closed");
    } catch (...) {
    }
    EXPECT_FALSE(Exists(LogFileName())) << ReadAll(LogFileName());
    try {
        throw EIdSocketErrorLike("similar name");
    } catch (...) {
    }
    EXPECT_FALSE(RecordOf(Lines(ReadAll(LogFileName())), "EIdSocketErrorLike").empty());
}

TEST_F(ExceptionLogTest, NothingIsRecordedWhileLoggingIsOff) {
    try {
        throw std::runtime_error("quiet");
    } catch (...) {
    }
    EXPECT_FALSE(Exists(LogFileName()));
}

TEST_F(ExceptionLogTest, RecordsOfConcurrentThrowsStayWhole) {
    TurnOn();
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 20; ++i) try {
                    throw std::runtime_error("concurrent");
                } catch (...) {
                }
        });
    for (auto& thread : threads) thread.join();
    auto lines = Lines(ReadAll(LogFileName()));
    // Every report is preceded by its timestamp and an empty line, and
    // followed by its message: no record was cut by another.
    int reports = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind("Exception runtime_error", 0) != 0) continue;
        ++reports;
        ASSERT_GE(i, 2u);
        EXPECT_EQ(lines[i - 2], "");
        EXPECT_TRUE(std::regex_match(lines[i - 1], std::regex(kStamp)));
        ASSERT_LT(i + 2, lines.size());
        EXPECT_EQ(lines[i + 1], "concurrent.");
        EXPECT_EQ(lines[i + 2], "");
    }
    EXPECT_EQ(reports, 60);
}

TEST(ExceptionHookNames, UnqualifiedClassName) {
    EXPECT_EQ(platform::UnqualifiedClassName("platform::ERegistryError"), u"ERegistryError");
    EXPECT_EQ(platform::UnqualifiedClassName("std::out_of_range"), u"out_of_range");
    EXPECT_EQ(platform::UnqualifiedClassName("EPlain"), u"EPlain");
    EXPECT_EQ(platform::UnqualifiedClassName("a::Outer<b::C>::EInner"), u"EInner");
    EXPECT_EQ(platform::UnqualifiedClassName("a::EBox<b::C>"), u"EBox<b::C>");
}

#ifndef _WIN32
// A fault in a forked child: the record is on disk before the child dies.
TEST_F(ExceptionLogTest, AnAccessViolationLeavesARecord) {
    GTEST_FLAG_SET(death_test_style, "fast");
    TurnOn();
    EXPECT_DEATH(
        {
            volatile int* nowhere = nullptr;
            *nowhere = 1;
        },
        "");
    auto record = RecordOf(Lines(ReadAll(LogFileName())), "EAccessViolation");
    ASSERT_GE(record.size(), 4u) << ReadAll(LogFileName());
    EXPECT_NE(record[3].find("Access violation"), std::string::npos) << record[3];
}
#endif

TEST_F(ExceptionLogTest, MainRoutineLogsOnlyWithTheSwitch) {
    auto exe = ExecutablePath();
    auto folder = exe.substr(0, exe.find_last_of(u'\\') + 1);
    auto log = folder + exe.substr(folder.size()) + u".log";
    os::DeleteFileW(log.c_str());

    EXPECT_EQ(MainRoutine({exe}), 0);
    EXPECT_EQ(GetDataFolder(), folder);
    EXPECT_FALSE(LoggingOn());
    EXPECT_FALSE(Exists(log));

    EXPECT_EQ(MainRoutine({exe, u"-debug"}), 0);
    EXPECT_TRUE(LoggingOn());
    EXPECT_EQ(LogFileName(), log);
    auto lines = Lines(ReadAll(log));
    ASSERT_EQ(lines.size(), 1u);
    // The start-up line names the build's version.
    std::string version = std::regex_replace(TALLOWMEND_VERSION_TEXT, std::regex("\\."), "\\.");
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(std::string(kStamp) + " Tallowmend " + version + " started on .*")))
        << lines[0];
    os::DeleteFileW(log.c_str());
}

}  // namespace
