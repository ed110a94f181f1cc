// A window of this program as an object: the handle's user data points back
// at the object from the window's first message on, and each message goes
// to a virtual handler of the class that owns the window. What no handler
// takes goes to the system's default procedure.
#pragma once

#include <windows.h>

namespace ui {

class TWindow {
public:
    TWindow() = default;
    TWindow(const TWindow&) = delete;
    TWindow& operator=(const TWindow&) = delete;
    // A window still open is destroyed without reaching the handlers: the
    // class that had them is gone by now.
    virtual ~TWindow();

    // Null before Create and once the window is destroyed.
    HWND Handle() const { return hwnd_; }
    void Destroy();

protected:
    // Registers `windowClass` with this type's procedure (a class of that
    // name registered before is used as it is) and creates the window over
    // `bounds`; false when either fails.
    bool Create(WNDCLASSEXW windowClass, DWORD exStyle, const wchar_t* title, DWORD style, const RECT& bounds,
                HWND parent);

    // Every message the window receives: true when handled, `result` then
    // being the procedure's answer. By default the messages below go to
    // their handlers, each of which returns whether it handled its message.
    virtual bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

    virtual bool OnPaint() { return false; }
    virtual bool OnCommand(HWND /*control*/, WORD /*code*/) { return false; }
    // The brush behind a static control, after setting up `dc`; null leaves
    // the control to the default colours.
    virtual HBRUSH OnCtlColorStatic(HDC /*dc*/, HWND /*control*/) { return nullptr; }
    // `over`: the window under the mouse.
    virtual bool OnSetCursor(HWND /*over*/) { return false; }
    virtual bool OnMeasureItem(MEASUREITEMSTRUCT& /*item*/) { return false; }
    virtual bool OnDrawItem(const DRAWITEMSTRUCT& /*item*/) { return false; }
    virtual bool OnClose() { return false; }
    // The window is going; its handle is still valid here.
    virtual void OnDestroy() {}

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

    HWND hwnd_ = nullptr;
};

}  // namespace ui
