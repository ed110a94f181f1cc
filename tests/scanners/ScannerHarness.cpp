#include "scanners/ScannerHarness.h"

#ifndef _WIN32
#include <fstream>
#include <sstream>

namespace scanners::testing {

void ScannerHarness::LoadFixture(const std::string& name) {
    std::ifstream in(std::string(TALLOWMEND_FIXTURES_DIR) + "/scanners/" + name, std::ios::binary);
    ASSERT_TRUE(in) << name;
    std::stringstream text;
    text << in.rdbuf();
    emul::LoadRegText(text::FromUtf8(text.str()));
    MakeFolder(u"C:\\Apps\\Good");
    for (const char16_t* file : {u"good.exe", u"good.dll", u"good.ttf", u"shared.dll", u"menu.htm", u"server.exe"})
        MakeFile(std::u16string(u"C:\\Apps\\Good\\") + file);
}

void ScannerHarness::MakeFile(const std::u16string& windowsPath) {
    MakeFolder(windowsPath.substr(0, windowsPath.rfind(u'\\')));
    os::HANDLE file = os::CreateFileW(windowsPath.c_str(), os::GENERIC_WRITE, 0, nullptr, os::CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, os::INVALID_HANDLE_VALUE) << text::ToUtf8(windowsPath);
    os::CloseHandle(file);
}

void ScannerHarness::MakeFolder(const std::u16string& windowsPath) {
    // Parents first: the folder API makes one level at a time.
    for (std::size_t at = windowsPath.find(u'\\', 3); at != std::u16string::npos; at = windowsPath.find(u'\\', at + 1))
        os::CreateDirectoryW(windowsPath.substr(0, at).c_str(), nullptr);
    os::CreateDirectoryW(windowsPath.c_str(), nullptr);
}

TEST_P(ScannerTable, ReportsExactlyTheBrokenEntriesInOrder) {
    const Case& c = GetParam();
    LoadFixture(c.fixture);
    auto scanner = c.make();
    EXPECT_EQ(Run(*scanner, c.pass), c.expected);
    // A second pass over the same object starts afresh.
    EXPECT_EQ(Run(*scanner, c.pass), c.expected);
}

}  // namespace scanners::testing
#endif
