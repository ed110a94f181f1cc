// Version, modules, environment, locale, system messages, shell folders,
// resources and heap through the seam.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/Text.h"
#include "platform/os/WinApi.h"
#include "support/SeamTest.h"

#ifndef _WIN32
#include "platform/emul/Machine.h"
#endif

namespace {

using testsupport::SeamTest;

std::u16string Expand(std::u16string_view text) {
    std::u16string source(text);
    auto needed = os::ExpandEnvironmentStringsW(source.c_str(), nullptr, 0);
    std::u16string out(needed, u'\0');
    EXPECT_EQ(os::ExpandEnvironmentStringsW(source.c_str(), out.data(), needed), needed);
    out.resize(needed ? needed - 1 : 0);
    return out;
}

// ------------------------------------------------------------ version

class VersionTest : public SeamTest {};

TEST_F(VersionTest, DefaultIsWindows7ServicePack1Workstation) {
    os::OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(os::GetVersionExW(&info));
    EXPECT_EQ(info.dwMajorVersion, 6u);
    EXPECT_EQ(info.dwMinorVersion, 1u);
    EXPECT_EQ(info.dwBuildNumber, 7601u);
    EXPECT_EQ(info.dwPlatformId, os::VER_PLATFORM_WIN32_NT);
    EXPECT_EQ(info.wProductType, os::VER_NT_WORKSTATION);
    EXPECT_EQ(info.wServicePackMajor, 1u);
    EXPECT_EQ(std::u16string(info.szCSDVersion), u"Service Pack 1");
}

TEST_F(VersionTest, GetVersionPacksTheSameNumbers) {
    os::OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(os::GetVersionExW(&info));
    auto packed = os::GetVersion();
    EXPECT_EQ(packed & 0xFF, info.dwMajorVersion);
    EXPECT_EQ((packed >> 8) & 0xFF, info.dwMinorVersion);
    EXPECT_EQ(packed >> 16, info.dwBuildNumber);  // top bit clear: the NT family
}

TEST_F(VersionTest, WrongStructureSizeIsRefused) {
    os::OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = 12;
    EXPECT_FALSE(os::GetVersionExW(&info));
}

#ifndef _WIN32
TEST_F(VersionTest, ConfiguredVersionIsReported) {
    emul::SetVersion(5, 1, 2600, os::VER_NT_WORKSTATION, u"Service Pack 3");
    EXPECT_EQ(os::GetVersion(), 0x0A280105u);
    emul::SetVersion(6, 0, 6002, os::VER_NT_SERVER);
    os::OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(os::GetVersionExW(&info));
    EXPECT_EQ(info.dwMajorVersion, 6u);
    EXPECT_EQ(info.dwMinorVersion, 0u);
    EXPECT_EQ(info.wProductType, os::VER_NT_SERVER);
    EXPECT_EQ(info.wServicePackMajor, 0u);
    EXPECT_EQ(std::u16string(info.szCSDVersion), u"");
}
#endif

// ------------------------------------------------------------ modules

class ModuleTest : public SeamTest {};

TEST_F(ModuleTest, IsWow64ProcessIsFoundAndAnswers) {
    auto kernel = os::GetModuleHandleW(u"KERNEL32.DLL");
    ASSERT_NE(kernel, nullptr);
    EXPECT_EQ(os::GetModuleHandleW(u"kernel32"), kernel);
    EXPECT_NE(os::GetModuleHandleW(u"ntdll.dll"), kernel);
    EXPECT_EQ(os::GetModuleHandleW(u"no-such-module.dll"), nullptr);
    auto fn = reinterpret_cast<os::IsWow64ProcessFn>(reinterpret_cast<void*>(os::GetProcAddress(kernel, "IsWow64Process")));
    ASSERT_NE(fn, nullptr);
    os::BOOL wow64 = 7;
    EXPECT_TRUE(fn(os::GetCurrentProcess(), &wow64));
    EXPECT_TRUE(wow64 == os::TRUE || wow64 == os::FALSE);
    EXPECT_EQ(os::GetProcAddress(kernel, "NoSuchExport"), nullptr);
}

TEST_F(ModuleTest, ModuleFileNameTruncatesLikeVista) {
    char16_t full[os::MAX_PATH];
    auto length = os::GetModuleFileNameW(nullptr, full, os::MAX_PATH);
    ASSERT_GT(length, 3u);
    EXPECT_EQ(std::u16string(full).size(), length);
    EXPECT_TRUE(text::EqualNoCase(std::u16string_view(full).substr(length - 4), u".exe"));

    char16_t small[os::MAX_PATH];
    os::SetLastError(0);
    EXPECT_EQ(os::GetModuleFileNameW(nullptr, small, length), length);
    EXPECT_EQ(os::GetLastError(), os::ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(os::GetModuleFileNameW(nullptr, small, length + 1), length);
}

TEST_F(ModuleTest, TruncatedModuleFileNameIsTerminated) {
    SKIP_ON_WINE("Wine fills a short buffer without the terminator, as Windows XP did");
    char16_t full[os::MAX_PATH];
    auto length = os::GetModuleFileNameW(nullptr, full, os::MAX_PATH);
    char16_t small[os::MAX_PATH];
    std::fill(std::begin(small), std::end(small), u'#');
    EXPECT_EQ(os::GetModuleFileNameW(nullptr, small, length), length);
    EXPECT_EQ(std::u16string(small), std::u16string(full, length - 1));
}

#ifndef _WIN32
TEST_F(ModuleTest, ConfiguredModuleAndArchitecture) {
    char16_t path[os::MAX_PATH];
    EXPECT_EQ(os::GetModuleFileNameW(nullptr, path, os::MAX_PATH), 28u);
    EXPECT_EQ(std::u16string(path), u"C:\\Tallowmend\\tallowmend.exe");

    auto kernel = os::GetModuleHandleW(u"kernel32.dll");
    auto fn = reinterpret_cast<os::IsWow64ProcessFn>(reinterpret_cast<void*>(os::GetProcAddress(kernel, "IsWow64Process")));
    os::BOOL wow64 = os::FALSE;
    ASSERT_TRUE(fn(os::GetCurrentProcess(), &wow64));
    EXPECT_EQ(wow64, os::TRUE);
    emul::SetArch(emul::Arch::Windows32);
    ASSERT_TRUE(fn(os::GetCurrentProcess(), &wow64));
    EXPECT_EQ(wow64, os::FALSE);
    emul::SetIsWow64ProcessAvailable(false);
    EXPECT_EQ(os::GetProcAddress(kernel, "IsWow64Process"), nullptr);
    EXPECT_EQ(os::GetProcAddress(os::GetModuleHandleW(u"ntdll.dll"), "wine_get_version"), nullptr);
    EXPECT_NE(os::GetProcAddress(os::GetModuleHandleW(u"advapi32.dll"), "RegDeleteKeyExW"), nullptr);
}
#endif

// ------------------------------------------------------------ environment

class EnvironmentTest : public SeamTest {};

TEST_F(EnvironmentTest, SizeIncludesTheTerminator) {
    auto expected = Expand(u"%SystemRoot%\\x");
    ASSERT_TRUE(text::EqualNoCase(expected, u"C:\\windows\\x")) << text::ToUtf8(expected);
    auto needed = static_cast<os::DWORD>(expected.size() + 1);
    EXPECT_EQ(os::ExpandEnvironmentStringsW(u"%SystemRoot%\\x", nullptr, 0), needed);

    // One unit short: the size is still reported and nothing is written
    // past the buffer.
    char16_t buffer[32];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    os::SetLastError(0);
    EXPECT_EQ(os::ExpandEnvironmentStringsW(u"%SystemRoot%\\x", buffer, needed - 1), needed);
    EXPECT_EQ(buffer[needed - 1], u'#');
    EXPECT_EQ(os::GetLastError(), os::ERROR_INSUFFICIENT_BUFFER);
}

struct ExpansionCase {
    const char* label;
    const char16_t* input;
    const char16_t* expected;
};

class Expansion : public SeamTest, public ::testing::WithParamInterface<ExpansionCase> {};

TEST_P(Expansion, FollowsWindows) {
    auto result = Expand(GetParam().input);
    EXPECT_TRUE(text::EqualNoCase(result, GetParam().expected)) << text::ToUtf8(result);
}

INSTANTIATE_TEST_SUITE_P(
    Seam, Expansion,
    ::testing::Values(ExpansionCase{"Empty", u"", u""},
                      ExpansionCase{"UnknownStays", u"%TallowmendNoSuchVar%\\a", u"%TallowmendNoSuchVar%\\a"},
                      ExpansionCase{"NameWithoutCase", u"%systemroot%", u"C:\\windows"},
                      ExpansionCase{"LonePercent", u"100% sure", u"100% sure"},
                      ExpansionCase{"TwoInARow", u"%SystemDrive%%SystemDrive%", u"C:C:"},
                      // The closing % of an unknown name does not open a new reference.
                      ExpansionCase{"UnknownThenText", u"%TallowmendNoSuchVar%SystemDrive%",
                                    u"%TallowmendNoSuchVar%SystemDrive%"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(EnvironmentTest, Wow64ProcessSeesThe32BitProgramFolders) {
    if (!testsupport::ProcessIsWow64()) GTEST_SKIP() << "not a WOW64 process";
    EXPECT_EQ(Expand(u"%ProgramFiles%|%ProgramW6432%|%ProgramFiles(x86)%"),
              u"C:\\Program Files (x86)|C:\\Program Files|C:\\Program Files (x86)");
    EXPECT_EQ(Expand(u"%CommonProgramFiles%|%CommonProgramW6432%"),
              u"C:\\Program Files (x86)\\Common Files|C:\\Program Files\\Common Files");
    EXPECT_EQ(Expand(u"%PROCESSOR_ARCHITECTURE%/%PROCESSOR_ARCHITEW6432%"), u"x86/AMD64");
}

#ifndef _WIN32
TEST_F(EnvironmentTest, ThirtyTwoBitWindowsHasNoWow64Variables) {
    emul::SetArch(emul::Arch::Windows32);
    EXPECT_EQ(Expand(u"%ProgramFiles%"), u"C:\\Program Files");
    EXPECT_EQ(Expand(u"%ProgramW6432%"), u"%ProgramW6432%");
    EXPECT_EQ(Expand(u"%ProgramFiles(x86)%"), u"%ProgramFiles(x86)%");
    EXPECT_EQ(Expand(u"%PROCESSOR_ARCHITEW6432%"), u"%PROCESSOR_ARCHITEW6432%");
}

TEST_F(EnvironmentTest, SetAndUnsetReplaceByNameWithoutCase) {
    emul::SetEnv(u"TEMP", u"D:\\tmp");
    EXPECT_EQ(Expand(u"%temp%"), u"D:\\tmp");
    emul::SetEnv(u"NewOne", u"v");
    EXPECT_EQ(Expand(u"[%NEWONE%]"), u"[v]");
    emul::UnsetEnv(u"newone");
    EXPECT_EQ(Expand(u"%NewOne%"), u"%NewOne%");
}
#endif

// ------------------------------------------------------------ locale and messages

class LocaleTest : public SeamTest {};

std::u16string LocaleText(os::LCTYPE type, os::LCID locale = os::LOCALE_USER_DEFAULT) {
    auto needed = os::GetLocaleInfoW(locale, type, nullptr, 0);
    if (needed <= 0) return u"<none>";
    std::u16string out(static_cast<std::size_t>(needed), u'\0');
    EXPECT_EQ(os::GetLocaleInfoW(locale, type, out.data(), needed), needed);
    out.resize(static_cast<std::size_t>(needed - 1));
    return out;
}

TEST_F(LocaleTest, UsEnglishDefaults) {
    EXPECT_EQ(LocaleText(os::LOCALE_IDEFAULTANSICODEPAGE, 1033), u"1252");
    EXPECT_EQ(LocaleText(os::LOCALE_STIME), u":");
    EXPECT_EQ(LocaleText(os::LOCALE_SDATE), u"/");
    EXPECT_EQ(LocaleText(os::LOCALE_SSHORTDATE), u"M/d/yyyy");
    EXPECT_EQ(LocaleText(os::LOCALE_STIMEFORMAT), u"h:mm:ss tt");
    EXPECT_EQ(os::GetACP(), 1252u);

    char16_t tiny[2];
    EXPECT_EQ(os::GetLocaleInfoW(1033, os::LOCALE_IDEFAULTANSICODEPAGE, tiny, 2), 0);
    EXPECT_EQ(os::GetLastError(), os::ERROR_INSUFFICIENT_BUFFER);
}

#ifndef _WIN32
TEST_F(LocaleTest, ConfiguredSeparatorsAndCodePage) {
    emul::SetLocaleSeparators(u'.', u'.');
    EXPECT_EQ(LocaleText(os::LOCALE_STIME), u".");
    EXPECT_EQ(LocaleText(os::LOCALE_SSHORTDATE), u"M.d.yyyy");
    emul::SetCodePage(932);
    EXPECT_EQ(LocaleText(os::LOCALE_IDEFAULTANSICODEPAGE), u"932");
    EXPECT_EQ(os::GetACP(), 932u);
    emul::Reset();
    EXPECT_EQ(os::GetACP(), 1252u);
    EXPECT_EQ(LocaleText(os::LOCALE_STIME), u":");
}
#endif

std::u16string Message(os::DWORD code) {
    char16_t buffer[512];
    auto n = os::FormatMessageW(os::FORMAT_MESSAGE_FROM_SYSTEM | os::FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                buffer, 512, nullptr);
    return std::u16string(buffer, n);
}

TEST_F(LocaleTest, SystemMessagesEndWithLineBreak) {
    for (os::DWORD code : {2u, 3u, 5u, 32u, 122u, 183u, 1314u}) {
        auto text = Message(code);
        EXPECT_GT(text.size(), 2u) << code;
        EXPECT_TRUE(text.ends_with(u".\r\n")) << code << ": " << text::ToUtf8(text);
    }
}

TEST_F(LocaleTest, SystemMessagesUseWindowsWording) {
    SKIP_ON_WINE("Wine words its system messages differently");
    EXPECT_EQ(Message(2), u"The system cannot find the file specified.\r\n");
    EXPECT_EQ(Message(3), u"The system cannot find the path specified.\r\n");
    EXPECT_EQ(Message(5), u"Access is denied.\r\n");
    EXPECT_EQ(Message(1300), u"Not all privileges or groups referenced are assigned to the caller.\r\n");
    EXPECT_EQ(Message(1314), u"A required privilege is not held by the client.\r\n");
}

TEST_F(LocaleTest, UnknownMessageFails) {
    char16_t buffer[64];
    EXPECT_EQ(os::FormatMessageW(os::FORMAT_MESSAGE_FROM_SYSTEM | os::FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 0x3FFF1,
                                 0, buffer, 64, nullptr),
              0u);
    EXPECT_EQ(os::GetLastError(), os::ERROR_MR_MID_NOT_FOUND);
}

TEST_F(LocaleTest, LocalTimeIsPlausible) {
    os::SYSTEMTIME now{};
    os::GetLocalTime(&now);
    EXPECT_GE(now.wYear, 2024);
    EXPECT_GE(now.wMonth, 1);
    EXPECT_LE(now.wMonth, 12);
    EXPECT_LE(now.wHour, 23);
    EXPECT_LE(now.wMilliseconds, 999);
}

// ------------------------------------------------------------ shell

class ShellTest : public SeamTest {};

std::u16string Folder(int csidl, os::HRESULT* result = nullptr) {
    char16_t path[os::MAX_PATH] = {};
    auto hr = os::SHGetFolderPathW(nullptr, csidl, nullptr, os::SHGFP_TYPE_CURRENT, path);
    if (result) *result = hr;
    return path;
}

TEST_F(ShellTest, FoldersOfAFreshProfile) {
    EXPECT_TRUE(text::EqualNoCase(Folder(os::CSIDL_PROGRAMS),
                                  u"C:\\users\\root\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs") ||
                testsupport::OnWine());
    EXPECT_TRUE(text::EqualNoCase(Folder(os::CSIDL_COMMON_PROGRAMS),
                                  u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"));
    EXPECT_TRUE(text::EqualNoCase(Folder(os::CSIDL_FONTS), u"C:\\windows\\Fonts"));
    os::HRESULT hr = 0;
    Folder(0x7F, &hr);
    EXPECT_EQ(hr, static_cast<os::HRESULT>(0x80070057));
}

#ifndef _WIN32
TEST_F(ShellTest, ConfiguredFolderAndOpenLog) {
    emul::SetShellFolder(os::CSIDL_FONTS, u"D:\\Fonts");
    EXPECT_EQ(Folder(os::CSIDL_FONTS), u"D:\\Fonts");
    auto result = os::ShellExecuteW(nullptr, u"open", u"https://example.invalid/support/", nullptr, nullptr,
                                    static_cast<int>(os::SW_SHOWNORMAL));
    EXPECT_GT(reinterpret_cast<std::uintptr_t>(result), 32u);
    EXPECT_EQ(emul::ShellExecuteLog(), std::vector<std::u16string>{u"open|https://example.invalid/support/|"});
    emul::Reset();
    EXPECT_TRUE(emul::ShellExecuteLog().empty());
    EXPECT_EQ(Folder(os::CSIDL_FONTS), u"C:\\windows\\Fonts");
}

// ------------------------------------------------------------ resources

TEST(Resources, RegisteredOnceAndKeptAcrossReset) {
    emul::RegisterResource(u"TM_TEST_BLOB", os::RT_RCDATA, std::string("\x01\x02\x03", 3));
    emul::Reset();
    auto found = os::FindResourceW(nullptr, u"tm_test_blob", os::RT_RCDATA);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(os::SizeofResource(nullptr, found), 3u);
    auto* bytes = static_cast<const unsigned char*>(os::LockResource(os::LoadResource(nullptr, found)));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(bytes[2], 3);

    EXPECT_EQ(os::FindResourceW(nullptr, u"TM_NO_SUCH", os::RT_RCDATA), nullptr);
    EXPECT_EQ(os::GetLastError(), os::ERROR_RESOURCE_NAME_NOT_FOUND);
    emul::RegisterResource(u"#205", os::RT_RCDATA, "numbered");
    auto numbered = os::FindResourceW(nullptr, reinterpret_cast<os::LPCWSTR>(std::uintptr_t{205}), os::RT_RCDATA);
    ASSERT_NE(numbered, nullptr);
    EXPECT_EQ(os::SizeofResource(nullptr, numbered), 8u);

    auto otherType = reinterpret_cast<os::LPCWSTR>(std::uintptr_t{77});
    EXPECT_EQ(os::FindResourceW(nullptr, u"TM_TEST_BLOB", otherType), nullptr);
    EXPECT_EQ(os::GetLastError(), os::ERROR_RESOURCE_TYPE_NOT_FOUND);
}
#endif

TEST(Heap, ZeroedAllocation) {
    auto heap = os::GetProcessHeap();
    auto* block = static_cast<unsigned char*>(os::HeapAlloc(heap, os::HEAP_ZERO_MEMORY, 64));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(block[i], 0) << i;
    EXPECT_TRUE(os::HeapFree(heap, 0, block));
}

}  // namespace
