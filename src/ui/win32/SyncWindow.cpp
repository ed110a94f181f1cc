#include "ui/win32/SyncWindow.h"

#include <windows.h>

namespace ui {
namespace {

constexpr UINT kRunCalls = WM_APP + 0x51;
constexpr wchar_t kClassName[] = L"TallowmendSyncWindow";

HINSTANCE ThisModule() { return GetModuleHandleW(nullptr); }

bool RegisterClassOnce(WNDPROC proc) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(ThisModule(), kClassName, &existing)) return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = proc;
    wc.hInstance = ThisModule();
    wc.lpszClassName = kClassName;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

LRESULT CALLBACK SyncWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    // No exception may unwind through the system's dispatcher.
    try {
        if (msg == kRunCalls) {
            if (auto* queue = reinterpret_cast<TSyncQueue*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)))
                queue->RunPending();
            return 0;
        }
    } catch (...) {
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace

TSyncWindow::TSyncWindow() {
    if (!RegisterClassOnce(&SyncWindowProc)) throw ESynchronizeError("cannot register the synchronization window class");
    HWND hwnd = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(), nullptr);
    if (!hwnd) throw ESynchronizeError("cannot create the synchronization window");
    hwnd_ = reinterpret_cast<os::HWND>(hwnd);
    // The wake runs under the queue's lock on a worker thread; posting never
    // blocks. Once the queue is shut down nothing posts any more, so the
    // handle is never used after the window is gone.
    queue_ = std::make_shared<TSyncQueue>([hwnd] { PostMessageW(hwnd, kRunCalls, 0, 0); });
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(queue_.get()));
}

TSyncWindow::~TSyncWindow() {
    queue_->Shutdown();
    if (registered_ && MainSyncTarget() == queue_) SetMainSyncTarget(nullptr);
    HWND hwnd = reinterpret_cast<HWND>(hwnd_);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    DestroyWindow(hwnd);
}

void TSyncWindow::RegisterAsMain() {
    SetMainSyncTarget(queue_);
    registered_ = true;
}

bool TSyncWindow::ProcessMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

}  // namespace ui
