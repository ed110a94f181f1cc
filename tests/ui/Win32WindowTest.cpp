// The window wrappers under Windows (Wine): whatever a handler throws stays
// on this side of the system's dispatcher, and the message still gets the
// handling it would have had without the handler.
#ifdef _WIN32
#include "ui/win32/CheckList.h"
#include "ui/win32/Window.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

class TThrowingWindow : public ui::TWindow {
public:
    bool Open() {
        WNDCLASSEXW wc{};
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TallowmendTestWindow";
        return Create(wc, 0, L"test", WS_OVERLAPPED, RECT{0, 0, 200, 200}, nullptr);
    }
    int Closes = 0;
    bool Destroyed = false;

protected:
    bool OnClose() override {
        ++Closes;
        throw std::runtime_error("close handler failed");
    }
    void OnDestroy() override { Destroyed = true; }
};

TEST(Win32Window, AThrowingHandlerLeavesTheMessageToTheDefaultProcedure) {
    TThrowingWindow window;
    ASSERT_TRUE(window.Open());
    HWND hwnd = window.Handle();
    // The default procedure answers WM_CLOSE by destroying the window.
    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(window.Closes, 1);
    EXPECT_TRUE(window.Destroyed);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(window.Handle(), nullptr);
}

TEST(Win32Window, AThrowingToggleOfTheCheckListStaysInTheList) {
    TThrowingWindow parent;
    ASSERT_TRUE(parent.Open());
    ui::TCheckList list;
    ASSERT_TRUE(list.Create(parent.Handle(), 0, 0, 150, 100));
    list.SetItems({{L"first", true}, {L"second", false}});
    int toggles = 0;
    list.OnToggle = [&](int index) {
        ++toggles;
        EXPECT_EQ(index, 1);
        throw std::runtime_error("toggle handler failed");
    };
    SendMessageW(list.Handle(), LB_SETCURSEL, 1, 0);
    SendMessageW(list.Handle(), WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(toggles, 1);
    EXPECT_EQ(list.Selection(), 1);
    parent.Destroy();
    EXPECT_EQ(list.Handle(), nullptr);
}

}  // namespace
#endif
