// A list box whose entries carry a check box. Its parent receives the
// drawing messages of the owner-drawn list and hands them to DrawItem. A
// click on an entry's box or the space bar asks to toggle the entry, a
// double click asks to activate it; the owner decides what either means and
// sets the entries again, so what the list shows is always the owner's.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <windows.h>

namespace ui {

class TCheckList {
public:
    struct TItem {
        std::wstring Text;
        bool Checked = false;
    };
    // For the parent's WM_MEASUREITEM.
    static constexpr int kItemHeight = 13;

    TCheckList() = default;
    TCheckList(const TCheckList&) = delete;
    TCheckList& operator=(const TCheckList&) = delete;
    // A list still open gets its own procedure back.
    ~TCheckList();

    bool Create(HWND parent, int x, int y, int width, int height);
    HWND Handle() const { return hwnd_; }

    // Replaces the entries; the selection and the scrolled position stay
    // where they were while the entries reach that far.
    void SetItems(std::vector<TItem> items);
    int Count() const { return static_cast<int>(items_.size()); }
    // The selected entry, -1 when none.
    int Selection() const;

    // Draws one of this list's entries; false when it is none of them.
    bool DrawItem(const DRAWITEMSTRUCT& item) const;

    // What a toggle of an entry means.
    std::function<void(int index)> OnToggle;
    // What activating an entry means; false when it means nothing.
    std::function<bool(int index)> OnActivate;
    // Asks for an entry's activation (a double click, or Enter from the
    // owner's keyboard handling); whether something happened.
    bool Activate(int index);

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    void Toggle(int index);
    void Detach();

    HWND hwnd_ = nullptr;
    WNDPROC listProc_ = nullptr;
    std::vector<TItem> items_;
};

}  // namespace ui
