// The Win32 end of Synchronize: calls posted to the hidden window are
// served by whatever message loop the UI thread is in, including the modal
// loop of a message box.
#ifdef _WIN32
#include "platform/os/WinApi.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "ui/WorkerThread.h"
#include "ui/win32/SyncWindow.h"

namespace ui {
namespace {

HWND FindBox(const std::wstring& caption) { return FindWindowW(L"#32770", caption.c_str()); }

TEST(SyncWindow, CallsAreServedInsideAModalMessageBox) {
    TSyncWindow window;
    auto target = window.Target();
    const DWORD uiThread = GetCurrentThreadId();
    const std::wstring caption = L"tallowmend sync test " + std::to_wstring(GetCurrentProcessId());
    std::atomic<bool> stop{false};
    std::atomic<bool> servedWhileBoxOpen{false};
    std::atomic<bool> ranOnUiThread{false};

    std::thread worker([&] {
        for (int i = 0; i < 1000 && !FindBox(caption) && !stop; ++i) Sleep(10);
        target->Synchronize([&] {
            ranOnUiThread = GetCurrentThreadId() == uiThread;
            if (HWND box = FindBox(caption)) {
                servedWhileBoxOpen = true;
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
        });
    });
    // If the box's loop never serves the call the test must fail, not hang.
    std::thread watchdog([&] {
        for (int i = 0; i < 2000 && !stop; ++i) Sleep(10);
        if (HWND box = FindBox(caption)) PostMessageW(box, WM_COMMAND, IDOK, 0);
    });

    int answer = MessageBoxW(nullptr, L"Waiting for a worker", caption.c_str(), MB_OK);
    stop = true;
    TSyncWindow::ProcessMessages();  // serves a call the box did not
    worker.join();
    watchdog.join();
    if (answer == 0) GTEST_SKIP() << "no message box could be shown (no display)";
    EXPECT_TRUE(servedWhileBoxOpen);
    EXPECT_TRUE(ranOnUiThread);
}

TEST(SyncWindow, PlainMessageLoopServesCallsAndErrorsGoBack) {
    TSyncWindow window;
    auto target = window.Target();
    std::atomic<bool> done{false};
    int calls = 0;
    bool errorCameBack = false;
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i) target->Synchronize([&] { ++calls; });
        try {
            target->Synchronize([] { throw std::runtime_error("from the window procedure"); });
        } catch (const std::runtime_error&) {
            errorCameBack = true;
        }
        done = true;
    });
    for (int i = 0; i < 5000 && !done; ++i) {
        TSyncWindow::ProcessMessages();
        Sleep(1);
    }
    worker.join();
    EXPECT_EQ(calls, 100);
    EXPECT_TRUE(errorCameBack);
}

}  // namespace
}  // namespace ui
#endif
