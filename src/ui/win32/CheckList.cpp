#include "ui/win32/CheckList.h"

namespace ui {
namespace {

const wchar_t kSelfProperty[] = L"TallowmendCheckList";
// The box and the gap before the text; a click left of this edge toggles.
constexpr int kCheckWidth = 14;
// Wide enough for a registry path with its value: the list scrolls sideways.
constexpr int kScrollWidth = 760;

int XOf(LPARAM lp) { return static_cast<int>(static_cast<short>(LOWORD(lp))); }

}  // namespace

TCheckList::~TCheckList() { Detach(); }

bool TCheckList::Create(HWND parent, int x, int y, int width, int height) {
    hwnd_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"",
                            WS_CHILD | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS |
                                LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                            x, y, width, height, parent, nullptr, nullptr, nullptr);
    if (!hwnd_) return false;
    SendMessageW(hwnd_, LB_SETITEMHEIGHT, 0, kItemHeight);
    SendMessageW(hwnd_, LB_SETHORIZONTALEXTENT, kScrollWidth, 0);
    SetPropW(hwnd_, kSelfProperty, this);
    listProc_ =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Procedure)));
    return true;
}

void TCheckList::Detach() {
    if (!hwnd_) return;
    if (listProc_) SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(listProc_));
    RemovePropW(hwnd_, kSelfProperty);
    hwnd_ = nullptr;
}

void TCheckList::SetItems(std::vector<TItem> items) {
    items_ = std::move(items);
    int top = static_cast<int>(SendMessageW(hwnd_, LB_GETTOPINDEX, 0, 0));
    int sel = Selection();
    SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(hwnd_, LB_RESETCONTENT, 0, 0);
    for (const auto& item : items_) SendMessageW(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.Text.c_str()));
    if (sel >= 0 && sel < Count()) SendMessageW(hwnd_, LB_SETCURSEL, sel, 0);
    if (top > 0 && top < Count()) SendMessageW(hwnd_, LB_SETTOPINDEX, top, 0);
    SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

int TCheckList::Selection() const { return static_cast<int>(SendMessageW(hwnd_, LB_GETCURSEL, 0, 0)); }

bool TCheckList::DrawItem(const DRAWITEMSTRUCT& di) const {
    if (!hwnd_ || di.hwndItem != hwnd_ || di.itemID == static_cast<UINT>(-1)) return false;
    int index = static_cast<int>(di.itemID);
    if (index >= Count()) return false;
    const TItem& item = items_[static_cast<std::size_t>(index)];
    bool selected = (di.itemState & ODS_SELECTED) != 0;
    FillRect(di.hDC, &di.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    RECT box{di.rcItem.left + 1, di.rcItem.top, di.rcItem.left + 1 + 13, di.rcItem.top + 13};
    DrawFrameControl(di.hDC, &box, DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_FLAT | (item.Checked ? DFCS_CHECKED : 0));
    SetBkMode(di.hDC, TRANSPARENT);
    SetTextColor(di.hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    RECT text = di.rcItem;
    text.left += kCheckWidth + 2;
    DrawTextW(di.hDC, item.Text.c_str(), -1, &text, DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    return true;
}

void TCheckList::Toggle(int index) {
    if (index >= 0 && index < Count() && OnToggle) OnToggle(index);
}

bool TCheckList::Activate(int index) { return index >= 0 && index < Count() && OnActivate && OnActivate(index); }

LRESULT CALLBACK TCheckList::Procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = static_cast<TCheckList*>(GetPropW(hwnd, kSelfProperty));
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    // No exception may unwind through the system's dispatch code; the
    // exception log recorded it where it was thrown.
    try {
        return self->OnMessage(msg, wp, lp);
    } catch (...) {
        return 0;
    }
}

LRESULT TCheckList::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    // The list's own procedure may be taken back below, while it runs.
    WNDPROC listProc = listProc_;
    HWND hwnd = hwnd_;
    switch (msg) {
        case WM_LBUTTONDOWN: {
            // The list selects the entry first, then the box under the
            // click toggles.
            LRESULT result = CallWindowProcW(listProc, hwnd, msg, wp, lp);
            LRESULT hit = SendMessageW(hwnd, LB_ITEMFROMPOINT, 0, lp);
            int scroll = GetScrollPos(hwnd, SB_HORZ);
            if (HIWORD(hit) == 0 && XOf(lp) + scroll < kCheckWidth) Toggle(LOWORD(hit));
            return result;
        }
        case WM_KEYDOWN:
            if (wp != VK_SPACE) break;
            {
                LRESULT result = CallWindowProcW(listProc, hwnd, msg, wp, lp);
                Toggle(Selection());
                return result;
            }
        case WM_LBUTTONDBLCLK: {
            LRESULT hit = SendMessageW(hwnd, LB_ITEMFROMPOINT, 0, lp);
            if (HIWORD(hit) == 0) Activate(LOWORD(hit));
            return 0;
        }
        case WM_NCDESTROY: Detach(); break;
        default: break;
    }
    return CallWindowProcW(listProc, hwnd, msg, wp, lp);
}

}  // namespace ui
