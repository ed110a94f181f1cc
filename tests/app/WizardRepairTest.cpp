// The whole wizard over the emulated 64-bit machine with real findings of
// every class (a broken value and a broken key of the scanners, an empty
// vendor key, an altered launch setting, a service whose rundll host is
// gone), each beside a healthy twin: Next, the scan, Next, and then the
// registry itself must show every broken entry repaired and every healthy
// one kept.
#include <gtest/gtest.h>

#ifndef _WIN32
#include "WizardTestSupport.h"
#include "app/DefaultSettingChecks.h"
#include "platform/RegistryAccess.h"
#include "platform/Wow64.h"
#include "platform/emul/Machine.h"

namespace apptest {
namespace {

using platform::RegView;

const char kMachine[] = R"(Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run]
"TmGone"="C:\\Apps\\Gone\\agent.exe -tray"
"TmHere"="C:\\Apps\\Good\\good.exe -tray"

[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{7E570000-0000-0000-0000-0000000000E1}\InprocServer32]
@="C:\\Apps\\Gone\\server.dll"

[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{7E570000-0000-0000-0000-0000000000E2}\InprocServer32]
@="C:\\Apps\\Good\\good.dll"

[HKEY_CURRENT_USER\Software\TmEmptyVendor\Settings]

[HKEY_CURRENT_USER\Software\TmVendor]
"Home"="C:\\Apps\\Good"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon]
"Shell"="explorer.exe C:\\Apps\\Gone\\hook.exe"

[HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\Microsoft\Windows NT\CurrentVersion\Winlogon]
"Shell"="explorer.exe"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\TmRundllGone]
"ImagePath"="C:\\Apps\\Gone\\rundll32.exe host"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\TmHealthy]
"ImagePath"="C:\\Apps\\Good\\good.exe"
)";

class WizardRepairTest : public WizardTest {
protected:
    void SetUp() override {
        WizardTest::SetUp();
        // The test's scratch key would be one more empty vendor.
        testsupport::DeleteTree(os::HKEY_CURRENT_USER, u"Software\\TallowmendTests", 0);
        emul::LoadRegText(text::FromUtf8(kMachine));
        os::CreateDirectoryW(u"C:\\Apps", nullptr);
        os::CreateDirectoryW(u"C:\\Apps\\Good", nullptr);
        for (const char16_t* file : {u"C:\\Apps\\Good\\good.exe", u"C:\\Apps\\Good\\good.dll"}) {
            auto h = os::CreateFileW(file, os::GENERIC_WRITE, 0, nullptr, os::CREATE_ALWAYS, 0, nullptr);
            ASSERT_NE(h, os::INVALID_HANDLE_VALUE);
            os::CloseHandle(h);
        }
        platform::InitWindows64();
    }
};

TEST_F(WizardRepairTest, NextRepairsEveryKindOfFindingAndKeepsTheHealthyTwins) {
    ASSERT_TRUE(platform::IsWindows64());
    form = std::make_unique<app::TMainForm>(*app);
    ToResults();
    auto entries = Entries();
    ASSERT_EQ(entries.size(), 3u) << "two setting entries and the scan's";
    EXPECT_NE(entries[0].find(u"Winlogon (64-bit view)"), std::u16string::npos);
    EXPECT_NE(entries[1].find(u"Services\\TmRundllGone"), std::u16string::npos);
    ASSERT_TRUE(form->NextButton->Click());
    EXPECT_EQ(form->Page(), app::TMainForm::pgSuccess);

    const auto hklm = os::HKEY_LOCAL_MACHINE, hkcu = os::HKEY_CURRENT_USER;
    const auto v64 = RegView::Wow64_64(), v32 = RegView(os::KEY_WOW64_32KEY);
    const std::u16string run = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    EXPECT_FALSE(platform::RegistryValueExists(hklm, run, u"TmGone", v64));
    EXPECT_TRUE(platform::RegistryValueExists(hklm, run, u"TmHere", v64));
    EXPECT_FALSE(platform::RegistryKeyExists(hklm, u"SOFTWARE\\Classes\\CLSID\\{7E570000-0000-0000-0000-0000000000E1}", v64));
    EXPECT_TRUE(platform::RegistryKeyExists(hklm, u"SOFTWARE\\Classes\\CLSID\\{7E570000-0000-0000-0000-0000000000E2}", v64));
    EXPECT_FALSE(platform::RegistryKeyExists(hkcu, u"Software\\TmEmptyVendor", v64));
    EXPECT_TRUE(platform::RegistryValueExists(hkcu, u"Software\\TmVendor", u"Home", v64));
    const std::u16string winlogon = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    EXPECT_EQ(app::ReadSettingText(hklm, winlogon, u"Shell", v64.bits), u"Explorer.exe");
    EXPECT_EQ(app::ReadSettingText(hklm, winlogon, u"Shell", v32.bits), u"explorer.exe");
    const std::u16string services = u"SYSTEM\\CurrentControlSet\\Services\\";
    EXPECT_FALSE(platform::RegistryKeyExists(hklm, services + u"TmRundllGone", v64));
    EXPECT_TRUE(platform::RegistryKeyExists(hklm, services + u"TmHealthy", v64));

    // A new scan finds nothing left of it.
    ASSERT_TRUE(form->BackButton->Click());
    app->Loop().RunUntil([this] { return form->Page() == app::TMainForm::pgFailed; }, std::chrono::seconds(20));
    EXPECT_EQ(form->Page(), app::TMainForm::pgFailed);
    for (const auto& entry : Entries()) ADD_FAILURE() << "left after the fix: " << text::ToUtf8(entry);
}

}  // namespace
}  // namespace apptest
#endif
