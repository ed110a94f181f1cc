// Process start: the copy command line of the rundll32 restoration, started
// with WinExec. Windows runs it asynchronously, so the tests wait for it.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "FileHelpers.h"
#include "platform/Text.h"
#include "platform/os/WinApi.h"
#include "support/SeamTest.h"

#ifndef _WIN32
#include "platform/emul/Machine.h"
#endif

namespace {

using namespace platformtest;

std::string Ansi(const std::u16string& text) {
    int n = os::WideCharToMultiByte(os::CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    os::WideCharToMultiByte(os::CP_ACP, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(n - 1));
    return out;
}

// The content once the started command has written it (empty after 20 s).
std::string WaitForFile(const std::u16string& path, const std::string& expected) {
    for (int i = 0; i < 200; ++i) {
        if (Exists(path)) {
            auto content = ReadText(path);
            if (content == expected) return content;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return Exists(path) ? ReadText(path) : std::string();
}

class ProcessTest : public testsupport::SeamTest {
protected:
    // cmd /c "copy /y "<source>" <target>" exactly as the fix step builds it.
    static std::string CopyCommand(const std::u16string& source, const std::u16string& target) {
        return Ansi(u"cmd /c \"copy /y \"" + source + u"\" " + target + u"\"");
    }
};

TEST_F(ProcessTest, CopyCommandCopiesTheFile) {
    auto source = ScratchFolder() + u"\\with space\\r7.dat";
    ASSERT_TRUE(os::CreateDirectoryW((ScratchFolder() + u"\\with space").c_str(), nullptr));
    WriteText(source, "rundll32 image");
    auto target = ScratchFolder() + u"\\rundll32.exe";
    WriteText(target, "broken");
    EXPECT_GT(os::WinExec(CopyCommand(source, target).c_str(), os::SW_HIDE), 31u);
    EXPECT_EQ(WaitForFile(target, "rundll32 image"), "rundll32 image");
}

// Where the copy command's target in System32 lands in a WOW64 process: the
// fix step leaves redirection in force, so the 32-bit cmd of SysWOW64 runs
// and the copy goes to SysWOW64; a thread that has switched redirection off
// finds System32's 64-bit cmd instead, and the copy goes to System32.
struct CopyLanding {
    bool redirectionOff;
    const char16_t* landsIn;
    const char16_t* notIn;
};

class CopyCommandLanding : public ProcessTest, public ::testing::WithParamInterface<CopyLanding> {};

TEST_P(CopyCommandLanding, FollowsTheCallingThreadsRedirection) {
    if (!testsupport::ProcessIsWow64()) GTEST_SKIP() << "not a WOW64 process";
    auto source = ScratchFolder() + u"\\rv.dat";
    WriteText(source, "image");
    auto name = u"tm-exec-" + ScratchFolder().substr(ScratchFolder().rfind(u'\\') + 1) + u".tmp";
    void* old = nullptr;
    if (GetParam().redirectionOff) {
        ASSERT_TRUE(os::Wow64DisableWow64FsRedirection(&old));
    }
    EXPECT_GT(os::WinExec(CopyCommand(source, u"C:\\windows\\system32\\" + name).c_str(), os::SW_HIDE), 31u);
    if (GetParam().redirectionOff) os::Wow64RevertWow64FsRedirection(old);
    // Both real folders, whatever this thread's switch.
    ASSERT_TRUE(os::Wow64DisableWow64FsRedirection(&old));
    auto landed = WaitForFile(u"C:\\windows\\" + std::u16string(GetParam().landsIn) + u"\\" + name, "image");
    bool inOther = Exists(u"C:\\windows\\" + std::u16string(GetParam().notIn) + u"\\" + name);
    os::DeleteFileW((u"C:\\windows\\syswow64\\" + name).c_str());
    os::DeleteFileW((u"C:\\windows\\system32\\" + name).c_str());
    os::Wow64RevertWow64FsRedirection(old);
    EXPECT_EQ(landed, "image");
    EXPECT_FALSE(inOther);
}

INSTANTIATE_TEST_SUITE_P(Wow64, CopyCommandLanding,
                         ::testing::Values(CopyLanding{false, u"syswow64", u"system32"},
                                           CopyLanding{true, u"system32", u"syswow64"}),
                         [](const auto& info) { return info.param.redirectionOff ? "RedirectionOff" : "RedirectionInForce"; });

TEST_F(ProcessTest, MissingProgramIsReported) {
    auto program = ScratchFolder() + u"\\no-such-program.exe";
    EXPECT_EQ(os::WinExec(Ansi(program).c_str(), os::SW_HIDE), os::ERROR_FILE_NOT_FOUND);
}

#ifndef _WIN32
TEST_F(ProcessTest, CommandLinesAreRecordedInOrder) {
    EXPECT_EQ(os::WinExec("notepad.exe readme.txt", os::SW_SHOWNORMAL), 33u);
    EXPECT_EQ(os::WinExec("cmd /c \"echo x\"", os::SW_HIDE), 33u);
    EXPECT_EQ(emul::WinExecLog(), (std::vector<std::string>{"notepad.exe readme.txt", "cmd /c \"echo x\""}));
    emul::ResetSystem();
    EXPECT_TRUE(emul::WinExecLog().empty());
}

TEST_F(ProcessTest, CommandLineIsReadInTheAnsiCodePage) {
    auto source = ScratchFolder() + u"\\caf\u00E9.dat";
    WriteText(source, "accent");
    auto target = ScratchFolder() + u"\\out.dat";
    auto line = CopyCommand(source, target);
    EXPECT_NE(line.find('\xE9'), std::string::npos);
    os::WinExec(line.c_str(), os::SW_HIDE);
    EXPECT_EQ(ReadText(target), "accent");
}
#endif

}  // namespace
