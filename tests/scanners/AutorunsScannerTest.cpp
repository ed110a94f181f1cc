#include "scanners/AutorunsScannerUnit.h"

#include <algorithm>
#include <fstream>
#include <utility>
#include <vector>

#include "scanners/ScannerHarness.h"

namespace scanners::testing {
namespace {

const char* const kRun = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

#ifndef _WIN32
// Both passes see the user, service-profile and policy keys; only the
// machine's Run key differs between the views. Bare names, integers, nested
// keys and other users' hives are never judged.
const Lines kShared = {
    "value HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce|C:\\Apps\\Gone\\named.exe",
    "value HKEY_USERS\\.DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Run|Default (data)",
    "value HKEY_USERS\\S-1-5-20\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServiceOnce|Network (data)",
    "value HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\Explorer\\Run|Policy (data)",
};

Lines With(Lines first) {
    first.insert(first.end(), kShared.begin(), kShared.end());
    return first;
}

INSTANTIATE_TEST_SUITE_P(
    Autoruns, ScannerTable,
    ::testing::Values(
        Case{"Pass64", Make<TAutorunsScanner>, "startup.reg", kPass64,
             // A command line in quotes is not a drive path, so the path judge
             // leaves it alone.
             With({"value HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run|GoneSwitches (data)"})},
        Case{"Pass32", Make<TAutorunsScanner>, "startup.reg", kPass32,
             With({"value HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run|Gone32 (data)"})}),
    CaseName);

// Every start-up key, in the order the scanner visits them: one broken
// entry in each must come out once, in this order.
TEST_F(ScannerHarness, AutorunsVisitsAllThirtyOneStartUpKeysInOrder) {
    const std::string cv = "\\Microsoft\\Windows\\CurrentVersion\\";
    const char* const names[] = {"Run", "RunOnce", "RunOnceEx", "RunService", "RunServiceOnce"};
    std::vector<std::pair<std::string, std::string>> table;  // root, key as the scanner names it
    for (const char* name : names) table.emplace_back("HKEY_LOCAL_MACHINE", "SOFTWARE" + cv + name);
    for (const char* name : names) table.emplace_back("HKEY_CURRENT_USER", "SOFTWARE" + cv + name);
    for (const char* profile : {".DEFAULT", "S-1-5-18", "S-1-5-19", "S-1-5-20"})
        for (const char* name : names)
            table.emplace_back("HKEY_USERS",
                               profile + std::string(name == names[0] ? "\\Software" : "\\SOFTWARE") + cv + name);
    table.emplace_back("HKEY_LOCAL_MACHINE", "SOFTWARE" + cv + "policies\\Explorer\\Run");
    ASSERT_EQ(table.size(), 31u);

    std::string reg = "Windows Registry Editor Version 5.00\r\n";
    Lines expected;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const auto& [root, key] = table[i];
        const std::string name = "Tm" + std::to_string(i + 1);
        reg += "\r\n[" + root + "\\" + key + "]\r\n\"" + name + "\"=\"C:\\\\Apps\\\\Gone\\\\" + name + ".exe\"\r\n";
        expected.push_back("value " + root + "\\" + key + "|" + name + " (data)");
    }
    emul::LoadRegText(text::FromUtf8(reg));
    TAutorunsScanner scanner;
    EXPECT_EQ(Run(scanner, kPass64), expected);
}

// A 32-bit process sees the 64-bit system folder only through redirection;
// a 64-bit start-up entry for a program that lives only there is healthy.
TEST_F(ScannerHarness, AutorunsKeepsA64BitProgramOfThe64BitSystemFolder) {
    LoadFixture("startup.reg");
    std::ofstream(emul::HostPath(u"C:\\windows\\system32") / "only64.exe") << "x";
    platform::RegistryWriteString(os::HKEY_LOCAL_MACHINE, text::FromUtf8(kRun), u"Native",
                                  u"C:\\Windows\\System32\\only64.exe /service",
                                  platform::RegView(os::KEY_WOW64_64KEY));
    TAutorunsScanner scanner;
    Lines found = Run(scanner, kPass64);
    EXPECT_EQ(std::count_if(found.begin(), found.end(),
                            [](const std::string& f) { return f.find("|Native") != std::string::npos; }),
              0);
    EXPECT_EQ(found.size(), 5u);
}
#endif

// Seeded under unique names in the user's own Run key, so it also runs
// against a real registry that holds entries of its own.
TEST_F(ScannerHarness, AutorunsReportsAGoneProgramOfTheUsersRunKey) {
    const std::u16string gone = ScratchFolder() + u"\\gone.exe";
    const std::u16string present = ScratchFolder() + u"\\present.exe";
    const std::u16string tag = ScratchFolder().substr(ScratchFolder().rfind(u'\\') + 1);
    const std::u16string runKey = text::FromUtf8(kRun);
    platform::RegistryCreateKey(os::HKEY_CURRENT_USER, runKey);
    platform::RegistryWriteString(os::HKEY_CURRENT_USER, runKey, tag + u"-gone", gone + u" /min");
    platform::RegistryWriteString(os::HKEY_CURRENT_USER, runKey, tag + u"-present", present);
    os::HANDLE file = os::CreateFileW(present.c_str(), os::GENERIC_WRITE, 0, nullptr, os::CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, os::INVALID_HANDLE_VALUE);
    os::CloseHandle(file);

    TAutorunsScanner scanner;
    Lines found = Run(scanner, kPass64);
    platform::RegistryDeleteValue(os::HKEY_CURRENT_USER, runKey, tag + u"-gone");
    platform::RegistryDeleteValue(os::HKEY_CURRENT_USER, runKey, tag + u"-present");

    const std::string prefix = "value HKEY_CURRENT_USER\\" + std::string(kRun) + "|" + text::ToUtf8(tag);
    EXPECT_EQ(std::count(found.begin(), found.end(), prefix + "-gone (data)"), 1);
    EXPECT_EQ(std::count_if(found.begin(), found.end(), [&](const std::string& f) { return f.rfind(prefix + "-present", 0) == 0; }),
              0);
    // The walk makes no progress texts and ignores the abort event.
    EXPECT_TRUE(progress.empty());
    EXPECT_EQ(abortChecks, 0);
}

}  // namespace
}  // namespace scanners::testing
