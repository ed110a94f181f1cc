// Windows builds only: the real wizard window as another thread of a test
// finds it. Include after the program's headers (they declare the Win32
// subset before <windows.h> may).
#pragma once

#include <windows.h>

#include <chrono>
#include <thread>

namespace testsupport {

// This process's wizard window once it exists, polled for up to ten
// seconds; null when it never appears. Other tests' wizards may be open on
// the same desktop at the same time.
inline HWND WaitForWizardWindow() {
    for (int i = 0; i < 200; ++i) {
        HWND hwnd = nullptr;
        while ((hwnd = FindWindowExW(nullptr, hwnd, L"TallowmendWizardWindow", nullptr))) {
            DWORD pid = 0;
            GetWindowThreadProcessId(hwnd, &pid);
            if (pid == GetCurrentProcessId()) return hwnd;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return nullptr;
}

}  // namespace testsupport
