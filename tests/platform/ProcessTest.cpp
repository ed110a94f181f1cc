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

TEST_F(ProcessTest, CopyCommandSeesTheRedirectedSystemFolder) {
    if (!testsupport::ProcessIsWow64()) GTEST_SKIP() << "not a WOW64 process";
    auto source = ScratchFolder() + u"\\rv.dat";
    WriteText(source, "32-bit image");
    auto name = u"tm-exec-" + ScratchFolder().substr(ScratchFolder().rfind(u'\\') + 1) + u".tmp";
    void* old = nullptr;
    // The started cmd is a new 32-bit process: this thread's switch does
    // not reach it.
    ASSERT_TRUE(os::Wow64DisableWow64FsRedirection(&old));
    EXPECT_GT(os::WinExec(CopyCommand(source, u"C:\\windows\\system32\\" + name).c_str(), os::SW_HIDE), 31u);
    auto landed = WaitForFile(u"C:\\windows\\syswow64\\" + name, "32-bit image");
    bool inNative = Exists(u"C:\\windows\\system32\\" + name);
    os::DeleteFileW((u"C:\\windows\\syswow64\\" + name).c_str());
    os::DeleteFileW((u"C:\\windows\\system32\\" + name).c_str());
    os::Wow64RevertWow64FsRedirection(old);
    EXPECT_EQ(landed, "32-bit image");
    EXPECT_FALSE(inNative);
}

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
