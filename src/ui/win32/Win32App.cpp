#include "ui/win32/Win32App.h"

#include "platform/os/WinApi.h"
#include "ui/win32/GdiHandles.h"
#include "ui/win32/SyncWindow.h"

// After the drawing objects' handles: these read <windows.h>, whose macros
// would hide the seam's constants from the handle template.
#include "ui/win32/CheckList.h"
#include "ui/win32/Window.h"

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
// Fonts are sized for 96 dpi whatever the screen says: the layout is in
// fixed pixels and must not grow around them.
constexpr int kDesignDpi = 96;

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

FontHandle MakeFont(const wchar_t* face, int points, bool underline) {
    return FontHandle(CreateFontW(-MulDiv(points, kDesignDpi, 72), 0, 0, 0, FW_NORMAL, FALSE, underline, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face));
}

class TWin32App : public TApplication, public IWidgetPeer, public TWindow {
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
    ~TWin32App() override { Destroy(); }

    int ShowMessage(const std::u16string& text, const std::u16string& caption, TMsgButtons buttons,
                   bool owned) override {
        UINT type = buttons == TMsgButtons::YesNo ? MB_YESNO : MB_OK;
        return MessageBoxW(owned ? Handle() : nullptr, W(text), W(caption), type);
    }

    void ShowException(const std::u16string& message) override {
        std::u16string caption = form_ ? form_->Caption() : std::u16string(u"Error");
        MessageBoxW(Handle(), W(message), W(caption), MB_OK | MB_ICONERROR);
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
        ShowWindow(Handle(), SW_SHOWNORMAL);
        UpdateWindow(Handle());
        MSG msg;
        while (!terminated_ && GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE) &&
                (msg.hwnd == Handle() || IsChild(Handle(), msg.hwnd)) && HandleKey(msg.hwnd, msg.wParam))
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        terminated_ = true;
        form.SetPeer(nullptr);
        Destroy();
    }

    void WidgetChanged(TWidget& widget) override {
        auto it = handles_.find(&widget);
        if (it != handles_.end()) {
            if (widget.Kind() == TWidgetKind::CheckList) {
                if (TCheckList* list = ListOf(it->second)) FillList(widget, *list);
            } else {
                SetWindowTextW(it->second, W(widget.Caption()));
                if (IsOneLine(widget) && widget.Kind() != TWidgetKind::Button) {
                    SIZE size = OneLineSize(widget, reinterpret_cast<HFONT>(SendMessageW(it->second, WM_GETFONT, 0, 0)));
                    RECT before;
                    GetWindowRect(it->second, &before);
                    MapWindowPoints(HWND_DESKTOP, Handle(), reinterpret_cast<POINT*>(&before), 2);
                    SetWindowPos(it->second, nullptr, 0, 0, size.cx, size.cy,
                                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
                    // What a longer text covered is the window's to paint again.
                    InvalidateRect(Handle(), &before, TRUE);
                    InvalidateRect(it->second, nullptr, TRUE);
                }
            }
        }
        if (&widget == form_) SetWindowTextW(Handle(), W(widget.Caption()));
        SyncStates();
    }

private:
    struct TControl {
        TWidget* Widget;
        HWND Handle;
        bool InPanel;
    };

    bool HandleKey(HWND focus, WPARAM key) {
        wchar_t cls[16] = {};
        GetClassNameW(focus, cls, 16);
        bool onButton = lstrcmpiW(cls, L"Button") == 0;
        TCheckList* list = ListOf(focus);
        if (key == VK_RETURN && list && list->Activate(list->Selection())) return true;
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
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hbrBackground = white_.get();
        wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(1));
        wc.lpszClassName = kClassName;

        DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
        RECT r{0, 0, kClientWidth, kClientHeight};
        AdjustWindowRectEx(&r, style, FALSE, 0);
        int w = r.right - r.left, h = r.bottom - r.top;
        int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
        if (!Create(wc, 0, W(form_->Caption()), style, RECT{x, y, x + w, y + h}, nullptr)) return false;
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
                    h = CreateWindowExW(0, L"STATIC", W(w.Caption()), st, x, y, width, height, Handle(), nullptr,
                                        nullptr, nullptr);
                    break;
                }
                case TWidgetKind::Button:
                    h = CreateWindowExW(0, L"BUTTON", W(w.Caption()),
                                        WS_CHILD | WS_TABSTOP |
                                            (w.Role == TButtonRole::Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
                                        x, y, b.Width, b.Height, Handle(), nullptr, nullptr, nullptr);
                    break;
                case TWidgetKind::CheckList:
                    h = CreateList(w, x, y);
                    break;
                default:
                    break;
            }
            if (h) {
                SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
                SetWindowLongPtrW(h, GWLP_ID, static_cast<LONG_PTR>(1000 + controls_.size()));
                controls_.push_back({&w, h, inPanel});
                handles_[&w] = h;
                if (TCheckList* list = ListOf(h)) FillList(w, *list);
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
            auto dc = GetWindowDc(Handle());
            auto selected = Select(dc.get().dc, font);
            GetTextExtentPoint32W(dc.get().dc, W(w.Caption()), static_cast<int>(w.Caption().size()), &size);
        }
        const TBounds& b = w.Bounds();
        return {std::max(b.Width, static_cast<int>(size.cx)), b.Height == 0 ? size.cy : b.Height};
    }

    // A check list's box toggles the widget's entry, and activating an entry
    // runs the widget's action when it has one; the list then shows the
    // widget's entries again.
    HWND CreateList(TWidget& w, int x, int y) {
        auto list = std::make_unique<TCheckList>();
        if (!list->Create(Handle(), x, y, w.Bounds().Width, w.Bounds().Height)) return nullptr;
        TWidget* widget = &w;
        list->OnToggle = [this, widget](int index) {
            SafeCall(*this, [widget, index] { widget->SetChecked(index, !widget->Item(index).Checked); });
        };
        list->OnActivate = [this, widget](int index) {
            if (!widget->OnItemActivate) return false;
            SafeCall(*this, [widget, index] { widget->OnItemActivate(index); });
            return true;
        };
        lists_.push_back(std::move(list));
        return lists_.back()->Handle();
    }

    static void FillList(const TWidget& w, TCheckList& list) {
        std::vector<TCheckList::TItem> items;
        items.reserve(static_cast<std::size_t>(w.Count()));
        for (int i = 0; i < w.Count(); ++i) {
            const TListEntry& e = w.Item(i);
            items.push_back({std::wstring(e.Text.begin(), e.Text.end()), e.Checked});
        }
        list.SetItems(std::move(items));
    }

    TCheckList* ListOf(HWND h) {
        if (!h) return nullptr;
        for (auto& list : lists_)
            if (list->Handle() == h) return list.get();
        return nullptr;
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

    bool OnPaint() override {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(Handle(), &ps);
        PaintBanner(dc);
        RECT panel{0, 320, kClientWidth + 1, kClientHeight + 1};
        FillRect(dc, &panel, GetSysColorBrush(COLOR_BTNFACE));
        DrawEdge(dc, &panel, BDR_SUNKENOUTER, BF_RECT);
        EndPaint(Handle(), &ps);
        return true;
    }

    HBRUSH OnCtlColorStatic(HDC dc, HWND control) override {
        TControl* c = ControlOf(control);
        SetBkMode(dc, TRANSPARENT);
        if (c && (c->Widget->Kind() == TWidgetKind::LinkLabel || c->Widget->OnClick)) {
            bool navy =
                c->Widget->Kind() == TWidgetKind::LinkLabel && (c->Handle == hovered_ || visited_.count(c->Handle));
            SetTextColor(dc, navy ? RGB(0, 0, 128) : RGB(0, 0, 255));
        }
        return c && c->InPanel ? GetSysColorBrush(COLOR_BTNFACE) : white_.get();
    }

    bool OnSetCursor(HWND over) override {
        TControl* c = ControlOf(over);
        if (c && (c->Widget->Kind() == TWidgetKind::LinkLabel || c->Widget->OnClick) &&
            c->Widget->Kind() != TWidgetKind::Button) {
            SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)));
            if (hovered_ != c->Handle) {
                HWND old = hovered_;
                hovered_ = c->Handle;
                InvalidateRect(c->Handle, nullptr, TRUE);
                if (old) InvalidateRect(old, nullptr, TRUE);
            }
            return true;
        }
        if (hovered_) {
            HWND old = hovered_;
            hovered_ = nullptr;
            InvalidateRect(old, nullptr, TRUE);
        }
        return false;
    }

    bool OnCommand(HWND control, WORD code) override {
        TControl* c = ControlOf(control);
        if (!c) return false;
        if ((c->Widget->Kind() == TWidgetKind::Button && code == BN_CLICKED) ||
            (c->Widget->Kind() != TWidgetKind::Button && code == STN_CLICKED)) {
            if (c->Widget->Kind() == TWidgetKind::LinkLabel) {
                visited_[c->Handle] = true;
                InvalidateRect(c->Handle, nullptr, TRUE);
            }
            TWidget* w = c->Widget;
            SafeCall(*this, [w] { w->Click(); });
            return true;
        }
        return false;
    }

    bool OnMeasureItem(MEASUREITEMSTRUCT& item) override {
        item.itemHeight = TCheckList::kItemHeight;
        return true;
    }

    bool OnDrawItem(const DRAWITEMSTRUCT& item) override {
        TCheckList* list = ListOf(item.hwndItem);
        return list && list->DrawItem(item);
    }

    bool OnClose() override {
        // The close box and Alt+F4 end the program without asking.
        Terminate();
        return true;
    }

    void OnDestroy() override { Terminate(); }

    TSyncWindow sync_;
    TWidget* form_ = nullptr;
    HWND hovered_ = nullptr;
    std::map<HWND, bool> visited_;
    std::vector<TControl> controls_;
    std::map<TWidget*, HWND> handles_;
    std::vector<std::unique_ptr<TCheckList>> lists_;
    FontHandle normal_, link_, title_, scanning_;
    BrushHandle white_;
    BitmapHandle banner_;
    bool terminated_ = false;
};

}  // namespace

std::unique_ptr<TApplication> CreateWin32Application() { return std::make_unique<TWin32App>(); }

}  // namespace ui
