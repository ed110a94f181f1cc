// Windows builds only: the real wizard window as another thread of a test
// finds it. Include after the program's headers (they declare the Win32
// subset before <windows.h> may).
#pragma once

#include <windows.h>

#include <chrono>
#include <thread>

namespace testsupport {

// The wizard's window once it exists, polled for up to ten seconds; null
// when it never appears.
inline HWND WaitForWizardWindow() {
    for (int i = 0; i < 200; ++i) {
        if (HWND hwnd = FindWindowW(L"TallowmendWizardWindow", nullptr)) return hwnd;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return nullptr;
}

}  // namespace testsupport
