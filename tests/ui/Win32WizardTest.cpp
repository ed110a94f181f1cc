// The real wizard window under Windows (Wine): it opens on the welcome page
// with the designed client size and fixed border, and Esc there ends it.
#ifdef _WIN32
#include "platform/os/WinApi.h"
#include "app/MainFormUnit.h"
#include "ui/win32/Win32App.h"

#include "support/WizardWindow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

TEST(Win32Wizard, OpensOnTheWelcomePageAndEscEndsIt) {
    auto application = ui::CreateWin32Application();
    app::TMainForm form(*application);
    std::atomic<bool> seen{false};
    RECT client{};
    LONG_PTR style = 0;
    std::thread driver([&] {
        HWND hwnd = testsupport::WaitForWizardWindow();
        if (!hwnd) return;
        for (int i = 0; i < 100 && !IsWindowVisible(hwnd); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        seen = IsWindowVisible(hwnd) != FALSE;
        GetClientRect(hwnd, &client);
        style = GetWindowLongPtrW(hwnd, GWL_STYLE);
        PostMessageW(hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
    });
    application->Run(form.Form());
    driver.join();
    EXPECT_TRUE(seen);
    EXPECT_EQ(client.right, 536);
    EXPECT_EQ(client.bottom, 374);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_TRUE(application->Terminated());
    EXPECT_EQ(form.Page(), app::TMainForm::pgDefault);
}

}  // namespace
#endif
