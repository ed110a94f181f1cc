// The Win32 end of Synchronize: a hidden message-only window on the UI
// thread. Workers post to the window, not to the thread, so every message
// loop of the thread serves their calls, including the modal loop of a
// message box or dialog that is open at the time.
#pragma once

#include <memory>

#include "platform/os/WinApi.h"
#include "ui/SyncQueue.h"

namespace ui {

class TSyncWindow {
public:
    // Creates the window on the calling thread, which becomes the thread
    // that serves the calls. Throws ESynchronizeError when the window cannot
    // be created.
    TSyncWindow();
    // Fails calls still waiting (their workers go on), then destroys the
    // window. Must run on the creating thread.
    ~TSyncWindow();
    TSyncWindow(const TSyncWindow&) = delete;
    TSyncWindow& operator=(const TSyncWindow&) = delete;

    std::shared_ptr<TSyncTarget> Target() const { return queue_; }
    void RegisterAsMain();
    os::HWND Handle() const { return hwnd_; }

    // Dispatches the thread's waiting messages without blocking; false once
    // WM_QUIT was seen.
    static bool ProcessMessages();

private:
    os::HWND hwnd_ = nullptr;
    std::shared_ptr<TSyncQueue> queue_;
    bool registered_ = false;
};

}  // namespace ui
