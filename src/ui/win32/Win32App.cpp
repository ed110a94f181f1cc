#include "ui/win32/Win32App.h"

#include "platform/os/WinApi.h"
#include "ui/win32/GdiHandles.h"
#include "ui/win32/SyncWindow.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace ui {
namespace {

const wchar_t kClassName[] = L"TallowmendWizardWindow";
constexpr int kClientWidth = 536;
constexpr int kClientHeight = 374;
constexpr int kCheckWidth = 14;
// Fonts are sized for 96 dpi whatever the screen says: the layout is in
// fixed pixels and must not grow around them.
constexpr int kDesignDpi = 96;

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

FontHandle MakeFont(const wchar_t* face, int points, bool underline) {
    return FontHandle(CreateFontW(-MulDiv(points, kDesignDpi, 72), 0, 0, 0, FW_NORMAL, FALSE, underline, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face));
}

class TWin32App : public TApplication, public IWidgetPeer {
public:
    TWin32App() {
        sync_.RegisterAsMain();
        normal_ = MakeFont(L"Tahoma", 8, false);
        link_ = MakeFont(L"Tahoma", 8, true);
        title_ = MakeFont(L"Tahoma", 14, false);
        scanning_ = MakeFont(L"Segoe UI", 9, false);
        white_ = BrushHandle(CreateSolidBrush(RGB(255, 255, 255)));
        banner_ = BitmapHandle(static_cast<HBITMAP>(
            LoadImageW(GetModuleHandleW(nullptr), L"TALLOWMEND_BANNER", IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    }
    ~TWin32App() override {
        if (hwnd_) DestroyWindow(hwnd_);
    }

    int ShowMessage(const std::u16string& text, const std::u16string& caption, TMsgButtons buttons,
                   bool owned) override {
        UINT type = buttons == TMsgButtons::YesNo ? MB_YESNO : MB_OK;
        return MessageBoxW(owned ? hwnd_ : nullptr, W(text), W(caption), type);
    }

    void ShowException(const std::u16string& message) override {
        std::u16string caption = form_ ? form_->Caption() : std::u16string(u"Error");
        MessageBoxW(hwnd_, W(message), W(caption), MB_OK | MB_ICONERROR);
    }

    void Terminate() override {
        if (!terminated_) PostQuitMessage(0);
        terminated_ = true;
    }
    bool Terminated() const override { return terminated_; }

    void Run(TWidget& form) override {
        form_ = &form;
        if (!CreateWindows()) return;
        form.SetPeer(this);
        ShowWindow(hwnd_, SW_SHOWNORMAL);
        UpdateWindow(hwnd_);
        MSG msg;
        while (!terminated_ && GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE) &&
                (msg.hwnd == hwnd_ || IsChild(hwnd_, msg.hwnd)) && HandleKey(msg.hwnd, msg.wParam))
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        terminated_ = true;
        form.SetPeer(nullptr);
        if (hwnd_) DestroyWindow(hwnd_);
        hwnd_ = nullptr;
    }

    void WidgetChanged(TWidget& widget) override {
        auto it = handles_.find(&widget);
        if (it != handles_.end()) {
            if (widget.Kind() == TWidgetKind::CheckList) {
                FillList(widget, it->second);
            } else {
                SetWindowTextW(it->second, W(widget.Caption()));
                if (IsOneLine(widget) && widget.Kind() != TWidgetKind::Button) {
                    SIZE size = OneLineSize(widget, reinterpret_cast<HFONT>(SendMessageW(it->second, WM_GETFONT, 0, 0)));
                    RECT before;
                    GetWindowRect(it->second, &before);
                    MapWindowPoints(HWND_DESKTOP, hwnd_, reinterpret_cast<POINT*>(&before), 2);
                    SetWindowPos(it->second, nullptr, 0, 0, size.cx, size.cy,
                                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
                    // What a longer text covered is the window's to paint again.
                    InvalidateRect(hwnd_, &before, TRUE);
                    InvalidateRect(it->second, nullptr, TRUE);
                }
            }
        }
        if (&widget == form_) SetWindowTextW(hwnd_, W(widget.Caption()));
        SyncStates();
    }

private:
    struct TControl {
        TWidget* Widget;
        HWND Handle;
        bool InPanel;
    };

    static LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<TWin32App*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (msg == WM_NCCREATE) {
            self = static_cast<TWin32App*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
        // No exception may unwind through the system's dispatch code.
        try {
            if (self) {
                LRESULT result = 0;
                if (self->HandleFormMessage(hwnd, msg, wp, lp, result)) return result;
            }
        } catch (...) {
        }
        return DefWindowProcW(hwnd, msg, wp, lp);
    }

    static LRESULT CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<TWin32App*>(GetPropW(hwnd, L"TallowmendApp"));
        try {
            if (self && (msg == WM_LBUTTONDOWN || (msg == WM_KEYDOWN && wp == VK_SPACE))) {
                LRESULT result = CallWindowProcW(self->listProc_, hwnd, msg, wp, lp);
                int index = static_cast<int>(SendMessageW(hwnd, LB_GETCURSEL, 0, 0));
                bool onBox = true;
                if (msg == WM_LBUTTONDOWN) {
                    LRESULT hit = SendMessageW(hwnd, LB_ITEMFROMPOINT, 0, lp);
                    int scroll = GetScrollPos(hwnd, SB_HORZ);
                    onBox = HIWORD(hit) == 0 && GET_X_LPARAM_(lp) + scroll < kCheckWidth;
                    index = LOWORD(hit);
                }
                if (onBox) self->ToggleItem(hwnd, index);
                return result;
            }
            if (self && msg == WM_LBUTTONDBLCLK) {
                LRESULT hit = SendMessageW(hwnd, LB_ITEMFROMPOINT, 0, lp);
                if (HIWORD(hit) == 0) self->ActivateItem(hwnd, LOWORD(hit));
                return 0;
            }
            if (self) return CallWindowProcW(self->listProc_, hwnd, msg, wp, lp);
        } catch (...) {
            return 0;
        }
        return DefWindowProcW(hwnd, msg, wp, lp);
    }

    static int GET_X_LPARAM_(LPARAM lp) { return static_cast<int>(static_cast<short>(LOWORD(lp))); }

    void ToggleItem(HWND list, int index) {
        for (auto& c : controls_) {
            if (c.Handle != list) continue;
            if (index < 0 || index >= c.Widget->Count()) return;
            TWidget* w = c.Widget;
            SafeCall(*this, [w, index] { w->SetChecked(index, !w->Item(index).Checked); });
        }
    }

    // Double click or Enter on a list entry: the list's own action, when it
    // has one.
    bool ActivateItem(HWND list, int index) {
        for (auto& c : controls_) {
            if (c.Handle != list || !c.Widget->OnItemActivate) continue;
            if (index < 0 || index >= c.Widget->Count()) return false;
            TWidget* w = c.Widget;
            SafeCall(*this, [w, index] { w->OnItemActivate(index); });
            return true;
        }
        return false;
    }

    bool HandleKey(HWND focus, WPARAM key) {
        wchar_t cls[16] = {};
        GetClassNameW(focus, cls, 16);
        bool onButton = lstrcmpiW(cls, L"Button") == 0;
        if (key == VK_RETURN && lstrcmpiW(cls, L"ListBox") == 0 &&
            ActivateItem(focus, static_cast<int>(SendMessageW(focus, LB_GETCURSEL, 0, 0))))
            return true;
        if (key == VK_RETURN && onButton) {
            SendMessageW(focus, BM_CLICK, 0, 0);
            return true;
        }
        TButtonRole role = key == VK_RETURN ? TButtonRole::Default : TButtonRole::Cancel;
        for (auto& c : controls_) {
            TWidget* w = c.Widget;
            if (w->Role == role && w->Showing() && w->Enabled()) {
                SafeCall(*this, [w] { w->Click(); });
                return true;
            }
        }
        return key == VK_ESCAPE;
    }

    bool CreateWindows() {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = FormProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hbrBackground = white_.get();
        wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(1));
        wc.lpszClassName = kClassName;
        if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

        DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
        RECT r{0, 0, kClientWidth, kClientHeight};
        AdjustWindowRectEx(&r, style, FALSE, 0);
        int w = r.right - r.left, h = r.bottom - r.top;
        int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
        hwnd_ = CreateWindowExW(0, kClassName, W(form_->Caption()), style, x, y, w, h, nullptr, nullptr,
                                wc.hInstance, this);
        if (!hwnd_) return false;
        CreateChildren(*form_, 0, 0, false);
        SyncStates();
        return true;
    }

    void CreateChildren(TWidget& parent, int ox, int oy, bool inPanel) {
        for (auto& child : parent.Children()) {
            TWidget& w = *child;
            const TBounds& b = w.Bounds();
            int x = ox + b.Left, y = oy + b.Top;
            HWND h = nullptr;
            HFONT font = w.Font == TFontRole::Title      ? title_.get()
                         : w.Font == TFontRole::Scanning ? scanning_.get()
                                                         : normal_.get();
            switch (w.Kind()) {
                case TWidgetKind::Label:
                case TWidgetKind::LinkLabel: {
                    bool link = w.Kind() == TWidgetKind::LinkLabel || w.OnClick;
                    if (link) font = link_.get();
                    DWORD st = WS_CHILD | (w.WordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP) | SS_NOPREFIX | (link ? SS_NOTIFY : 0);
                    int width = b.Width, height = b.Height;
                    bool oneLine = IsOneLine(w);
                    if (oneLine) {
                        st = (st & ~SS_LEFT) | SS_LEFTNOWORDWRAP;
                        SIZE size = OneLineSize(w, font);
                        width = size.cx;
                        height = size.cy;
                    }
                    h = CreateWindowExW(0, L"STATIC", W(w.Caption()), st, x, y, width, height, hwnd_, nullptr,
                                        nullptr, nullptr);
                    break;
                }
                case TWidgetKind::Button:
                    h = CreateWindowExW(0, L"BUTTON", W(w.Caption()),
                                        WS_CHILD | WS_TABSTOP |
                                            (w.Role == TButtonRole::Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
                                        x, y, b.Width, b.Height, hwnd_, nullptr, nullptr, nullptr);
                    break;
                case TWidgetKind::CheckList:
                    h = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"",
                                        WS_CHILD | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_OWNERDRAWFIXED |
                                            LBS_HASSTRINGS | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                                        x, y, b.Width, b.Height, hwnd_, nullptr, nullptr, nullptr);
                    if (h) {
                        SendMessageW(h, LB_SETITEMHEIGHT, 0, 13);
                        SendMessageW(h, LB_SETHORIZONTALEXTENT, 760, 0);
                        SetPropW(h, L"TallowmendApp", this);
                        listProc_ = reinterpret_cast<WNDPROC>(
                            SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ListProc)));
                    }
                    break;
                default:
                    break;
            }
            if (h) {
                SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
                SetWindowLongPtrW(h, GWLP_ID, static_cast<LONG_PTR>(1000 + controls_.size()));
                controls_.push_back({&w, h, inPanel});
                handles_[&w] = h;
                if (w.Kind() == TWidgetKind::CheckList) FillList(w, h);
            }
            CreateChildren(w, x, y, inPanel || w.Kind() == TWidgetKind::Panel);
        }
    }

    static bool IsOneLine(const TWidget& w) { return w.Bounds().Height <= 15; }

    // A one-line label grows to its text, never below its designed box: the
    // substitute fonts of some systems run wider than the design's, and so
    // do translations.
    SIZE OneLineSize(const TWidget& w, HFONT font) {
        SIZE size{};
        {
            auto dc = GetWindowDc(hwnd_);
            auto selected = Select(dc.get().dc, font);
            GetTextExtentPoint32W(dc.get().dc, W(w.Caption()), static_cast<int>(w.Caption().size()), &size);
        }
        const TBounds& b = w.Bounds();
        return {std::max(b.Width, static_cast<int>(size.cx)), b.Height == 0 ? size.cy : b.Height};
    }

    void FillList(TWidget& w, HWND h) {
        int top = static_cast<int>(SendMessageW(h, LB_GETTOPINDEX, 0, 0));
        int sel = static_cast<int>(SendMessageW(h, LB_GETCURSEL, 0, 0));
        SendMessageW(h, WM_SETREDRAW, FALSE, 0);
        SendMessageW(h, LB_RESETCONTENT, 0, 0);
        for (int i = 0; i < w.Count(); ++i)
            SendMessageW(h, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(w.Item(i).Text)));
        if (sel >= 0 && sel < w.Count()) SendMessageW(h, LB_SETCURSEL, sel, 0);
        if (top > 0 && top < w.Count()) SendMessageW(h, LB_SETTOPINDEX, top, 0);
        SendMessageW(h, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(h, nullptr, TRUE);
    }

    void SyncStates() {
        for (auto& c : controls_) {
            bool show = c.Widget->Showing();
            if (static_cast<bool>(IsWindowVisible(c.Handle)) != show) ShowWindow(c.Handle, show ? SW_SHOWNA : SW_HIDE);
            if (static_cast<bool>(IsWindowEnabled(c.Handle)) != c.Widget->Enabled())
                EnableWindow(c.Handle, c.Widget->Enabled());
        }
    }

    TControl* ControlOf(HWND h) {
        for (auto& c : controls_)
            if (c.Handle == h) return &c;
        return nullptr;
    }

    void PaintBanner(HDC dc) {
        if (banner_) {
            MemoryDcHandle mem(CreateCompatibleDC(dc));
            auto selected = Select(mem.get(), banner_.get());
            BitBlt(dc, 0, 0, 198, 320, mem.get(), 0, 0, SRCCOPY);
        } else {
            PaintPlainBanner(dc);
        }
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 255));
        auto selected = Select(dc, title_.get());
        RECT text{24, 28, 198, 60};
        DrawTextW(dc, W(form_->Caption()), -1, &text, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    }

    // Without the picture (a build without its resources): the same colours.
    void PaintPlainBanner(HDC dc) {
        for (int y = 0; y < 320; y += 4) {
            int t = y * 255 / 320;
            BrushHandle band(CreateSolidBrush(RGB(20 + t / 6, 60 + t / 4, 140 + t / 3)));
            RECT r{0, y, 198, y + 4};
            FillRect(dc, &r, band.get());
        }
        BrushHandle accent(CreateSolidBrush(RGB(255, 196, 64)));
        RECT bar{24, 64, 174, 67};
        FillRect(dc, &bar, accent.get());
    }

    bool HandleFormMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
        switch (msg) {
            case WM_PAINT: {
                PAINTSTRUCT ps;
                HDC dc = BeginPaint(hwnd, &ps);
                PaintBanner(dc);
                RECT panel{0, 320, kClientWidth + 1, kClientHeight + 1};
                FillRect(dc, &panel, GetSysColorBrush(COLOR_BTNFACE));
                DrawEdge(dc, &panel, BDR_SUNKENOUTER, BF_RECT);
                EndPaint(hwnd, &ps);
                return true;
            }
            case WM_CTLCOLORSTATIC: {
                TControl* c = ControlOf(reinterpret_cast<HWND>(lp));
                HDC dc = reinterpret_cast<HDC>(wp);
                SetBkMode(dc, TRANSPARENT);
                if (c && (c->Widget->Kind() == TWidgetKind::LinkLabel || c->Widget->OnClick)) {
                    bool navy = c->Widget->Kind() == TWidgetKind::LinkLabel &&
                                (c->Handle == hovered_ || visited_.count(c->Handle));
                    SetTextColor(dc, navy ? RGB(0, 0, 128) : RGB(0, 0, 255));
                }
                result = reinterpret_cast<LRESULT>(c && c->InPanel ? GetSysColorBrush(COLOR_BTNFACE) : white_.get());
                return true;
            }
            case WM_SETCURSOR: {
                TControl* c = ControlOf(reinterpret_cast<HWND>(wp));
                if (c && (c->Widget->Kind() == TWidgetKind::LinkLabel || c->Widget->OnClick) &&
                    c->Widget->Kind() != TWidgetKind::Button) {
                    SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)));
                    if (hovered_ != c->Handle) {
                        HWND old = hovered_;
                        hovered_ = c->Handle;
                        InvalidateRect(c->Handle, nullptr, TRUE);
                        if (old) InvalidateRect(old, nullptr, TRUE);
                    }
                    result = TRUE;
                    return true;
                }
                if (hovered_) {
                    HWND old = hovered_;
                    hovered_ = nullptr;
                    InvalidateRect(old, nullptr, TRUE);
                }
                return false;
            }
            case WM_COMMAND: {
                TControl* c = ControlOf(reinterpret_cast<HWND>(lp));
                if (!c) return false;
                WORD code = HIWORD(wp);
                if ((c->Widget->Kind() == TWidgetKind::Button && code == BN_CLICKED) ||
                    (c->Widget->Kind() != TWidgetKind::Button && code == STN_CLICKED)) {
                    if (c->Widget->Kind() == TWidgetKind::LinkLabel) {
                        visited_[c->Handle] = true;
                        InvalidateRect(c->Handle, nullptr, TRUE);
                    }
                    TWidget* w = c->Widget;
                    SafeCall(*this, [w] { w->Click(); });
                    result = 0;
                    return true;
                }
                return false;
            }
            case WM_MEASUREITEM: {
                auto* mi = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
                mi->itemHeight = 13;
                result = TRUE;
                return true;
            }
            case WM_DRAWITEM: {
                auto* di = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
                TControl* c = ControlOf(di->hwndItem);
                if (!c || di->itemID == static_cast<UINT>(-1)) return false;
                int index = static_cast<int>(di->itemID);
                if (index >= c->Widget->Count()) return false;
                const TListEntry& e = c->Widget->Item(index);
                bool selected = (di->itemState & ODS_SELECTED) != 0;
                FillRect(di->hDC, &di->rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
                RECT box{di->rcItem.left + 1, di->rcItem.top, di->rcItem.left + 1 + 13, di->rcItem.top + 13};
                DrawFrameControl(di->hDC, &box, DFC_BUTTON,
                                 DFCS_BUTTONCHECK | DFCS_FLAT | (e.Checked ? DFCS_CHECKED : 0));
                SetBkMode(di->hDC, TRANSPARENT);
                SetTextColor(di->hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
                RECT text = di->rcItem;
                text.left += kCheckWidth + 2;
                DrawTextW(di->hDC, W(e.Text), -1, &text, DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
                result = TRUE;
                return true;
            }
            case WM_CLOSE:
                // The close box and Alt+F4 end the program without asking.
                Terminate();
                result = 0;
                return true;
            case WM_DESTROY:
                if (hwnd == hwnd_) {
                    hwnd_ = nullptr;
                    Terminate();
                }
                return false;
            default:
                return false;
        }
    }

    TSyncWindow sync_;
    TWidget* form_ = nullptr;
    HWND hwnd_ = nullptr;
    HWND hovered_ = nullptr;
    std::map<HWND, bool> visited_;
    std::vector<TControl> controls_;
    std::map<TWidget*, HWND> handles_;
    WNDPROC listProc_ = nullptr;
    FontHandle normal_, link_, title_, scanning_;
    BrushHandle white_;
    BitmapHandle banner_;
    bool terminated_ = false;
};

}  // namespace

std::unique_ptr<TApplication> CreateWin32Application() { return std::make_unique<TWin32App>(); }

}  // namespace ui
