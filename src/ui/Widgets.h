// The wizard's toolkit: a tree of widgets whose whole state (captions,
// visibility, enabled state, list entries, active page) lives here, in
// memory. The headless UI is just this tree; the Win32 UI mirrors it into
// real controls through a peer and feeds user input back as clicks.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

enum class TWidgetKind { Form, Picture, PageStack, Page, Panel, Label, LinkLabel, Button, CheckList };
enum class TFontRole { Normal, Title, Scanning };
enum class TButtonRole { None, Default, Cancel };

// Pixels relative to the parent's client area; a zero width or height means
// the widget sizes itself to its text.
struct TBounds {
    int Left = 0, Top = 0, Width = 0, Height = 0;
};

struct TListEntry {
    std::u16string Text;
    bool Checked = false;
    void* Data = nullptr;  // owned by whoever added the entry
};

class TWidget;

// What a real window system attaches to a widget tree to follow its changes.
class IWidgetPeer {
public:
    virtual ~IWidgetPeer() = default;
    virtual void WidgetChanged(TWidget& widget) = 0;
};

class TWidget {
public:
    TWidget(TWidgetKind kind, std::u16string name, TWidget* parent, TBounds bounds, std::u16string caption = {});
    TWidget(const TWidget&) = delete;
    TWidget& operator=(const TWidget&) = delete;

    TWidget& AddChild(TWidgetKind kind, std::u16string name, TBounds bounds, std::u16string caption = {});
    // Depth first, by name without case; null when none.
    TWidget* Find(std::u16string_view name);

    TWidgetKind Kind() const { return kind_; }
    const std::u16string& Name() const { return name_; }
    TWidget* Parent() const { return parent_; }
    const TBounds& Bounds() const { return bounds_; }
    const std::vector<std::unique_ptr<TWidget>>& Children() const { return children_; }

    const std::u16string& Caption() const { return caption_; }
    void SetCaption(std::u16string caption);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    // Visible itself, inside visible parents, and on the active page.
    bool Showing() const;

    TFontRole Font = TFontRole::Normal;
    TButtonRole Role = TButtonRole::None;
    bool WordWrap = true;
    // Link labels and the support label: where a click leads (display only).
    std::u16string Url;

    // A user's click: runs OnClick when the widget is showing and enabled;
    // whether it ran.
    bool Click();
    std::function<void()> OnClick;

    // Check list.
    int Count() const { return static_cast<int>(items_.size()); }
    const TListEntry& Item(int index) const { return items_.at(static_cast<std::size_t>(index)); }
    int AddItem(std::u16string text, bool checked, void* data);
    // The entry keeps its check state and data.
    void SetItemText(int index, std::u16string text);
    void SetChecked(int index, bool checked);
    // A user's double click or Enter on an entry of a check list.
    std::function<void(int index)> OnItemActivate;
    void DeleteItem(int index);
    void ClearItems();

    // Page stack: its children are the pages. Changing the page runs
    // OnPageChanged; showing the page already shown does nothing.
    int ActivePage() const { return activePage_; }
    void SetActivePage(int index);
    std::function<void()> OnPageChanged;

    // Set on the root; every widget of the tree reports to it.
    void SetPeer(IWidgetPeer* peer) { peer_ = peer; }

private:
    void Changed();

    TWidgetKind kind_;
    std::u16string name_;
    TWidget* parent_;
    TBounds bounds_;
    std::u16string caption_;
    bool visible_ = true;
    bool enabled_ = true;
    std::vector<std::unique_ptr<TWidget>> children_;
    std::vector<TListEntry> items_;
    int activePage_ = -1;
    IWidgetPeer* peer_ = nullptr;
};

enum class TMsgButtons { OK, YesNo };
enum TMsgResult { mrOk = 1, mrYes = 6, mrNo = 7 };

// The application object: modal message boxes, the message loop and its end.
class TApplication {
public:
    virtual ~TApplication() = default;
    // Modal; `owned` ties the box to the main window (otherwise it has none).
    virtual int ShowMessage(const std::u16string& text, const std::u16string& caption, TMsgButtons buttons,
                           bool owned) = 0;
    // The toolkit's report of a failure that no handler caught.
    virtual void ShowException(const std::u16string& message) = 0;
    // Ends the message loop; the form is destroyed after it.
    virtual void Terminate() = 0;
    virtual bool Terminated() const = 0;
    // Shows the form and serves messages until Terminate or the form closes.
    virtual void Run(TWidget& form) = 0;
};

// Calls a handler the way a window procedure must: whatever it throws is
// reported through the application and never crosses into the caller.
void SafeCall(TApplication& app, const std::function<void()>& handler);

}  // namespace ui
