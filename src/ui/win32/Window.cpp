#include "ui/win32/Window.h"

namespace ui {

TWindow::~TWindow() {
    if (!hwnd_) return;
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
}

void TWindow::Destroy() {
    if (hwnd_) DestroyWindow(hwnd_);
}

bool TWindow::Create(WNDCLASSEXW windowClass, DWORD exStyle, const wchar_t* title, DWORD style, const RECT& bounds,
                     HWND parent) {
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = Procedure;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    // The handle arrives with the first message, before this call returns.
    return CreateWindowExW(exStyle, windowClass.lpszClassName, title, style, bounds.left, bounds.top,
                           bounds.right - bounds.left, bounds.bottom - bounds.top, parent, nullptr,
                           windowClass.hInstance, this) != nullptr;
}

LRESULT CALLBACK TWindow::Procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<TWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
        self = static_cast<TWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        if (self) self->hwnd_ = hwnd;
    }
    LRESULT result = 0;
    bool handled = false;
    // No exception may unwind through the system's dispatch code. The
    // exception log recorded it where it was thrown; the message gets the
    // default handling.
    try {
        if (self) handled = self->OnMessage(msg, wp, lp, result);
    } catch (...) {
        handled = false;
    }
    if (msg == WM_NCDESTROY && self) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
    }
    return handled ? result : DefWindowProcW(hwnd, msg, wp, lp);
}

bool TWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    switch (msg) {
        case WM_PAINT: return OnPaint();
        case WM_COMMAND: return OnCommand(reinterpret_cast<HWND>(lp), HIWORD(wp));
        case WM_CTLCOLORSTATIC:
            if (HBRUSH brush = OnCtlColorStatic(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp))) {
                result = reinterpret_cast<LRESULT>(brush);
                return true;
            }
            return false;
        case WM_SETCURSOR:
            if (!OnSetCursor(reinterpret_cast<HWND>(wp))) return false;
            result = TRUE;
            return true;
        case WM_MEASUREITEM:
            if (!OnMeasureItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(lp))) return false;
            result = TRUE;
            return true;
        case WM_DRAWITEM:
            if (!OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp))) return false;
            result = TRUE;
            return true;
        case WM_CLOSE: return OnClose();
        case WM_DESTROY: OnDestroy(); return false;
        default: return false;
    }
}

}  // namespace ui
