#include "ui/Widgets.h"

#include <exception>
#include <stdexcept>

#include "platform/Text.h"

namespace ui {

TWidget::TWidget(TWidgetKind kind, std::u16string name, TWidget* parent, TBounds bounds, std::u16string caption)
    : kind_(kind), name_(std::move(name)), parent_(parent), bounds_(bounds), caption_(std::move(caption)) {}

TWidget& TWidget::AddChild(TWidgetKind kind, std::u16string name, TBounds bounds, std::u16string caption) {
    children_.push_back(std::make_unique<TWidget>(kind, std::move(name), this, bounds, std::move(caption)));
    return *children_.back();
}

TWidget* TWidget::Find(std::u16string_view name) {
    if (text::EqualNoCase(name_, name)) return this;
    for (auto& child : children_)
        if (TWidget* found = child->Find(name)) return found;
    return nullptr;
}

void TWidget::Changed() {
    const TWidget* root = this;
    while (root->parent_) root = root->parent_;
    if (root->peer_) root->peer_->WidgetChanged(*this);
}

void TWidget::SetCaption(std::u16string caption) {
    if (caption == caption_) return;
    caption_ = std::move(caption);
    Changed();
}

void TWidget::SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    Changed();
}

void TWidget::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Changed();
}

bool TWidget::Showing() const {
    for (const TWidget* w = this; w; w = w->parent_) {
        if (!w->visible_) return false;
        const TWidget* p = w->parent_;
        if (p && p->kind_ == TWidgetKind::PageStack) {
            int index = p->activePage_;
            if (index < 0 || index >= static_cast<int>(p->children_.size()) ||
                p->children_[static_cast<std::size_t>(index)].get() != w)
                return false;
        }
    }
    return true;
}

bool TWidget::Click() {
    if (!Showing() || !enabled_ || !OnClick) return false;
    OnClick();
    return true;
}

int TWidget::AddItem(std::u16string text, bool checked, void* data) {
    items_.push_back({std::move(text), checked, data});
    Changed();
    return Count() - 1;
}

void TWidget::SetItemText(int index, std::u16string text) {
    items_.at(static_cast<std::size_t>(index)).Text = std::move(text);
    Changed();
}

void TWidget::SetChecked(int index, bool checked) {
    items_.at(static_cast<std::size_t>(index)).Checked = checked;
    Changed();
}

void TWidget::DeleteItem(int index) {
    if (index < 0 || index >= Count()) throw std::out_of_range("list index out of bounds");
    items_.erase(items_.begin() + index);
    Changed();
}

void TWidget::ClearItems() {
    items_.clear();
    Changed();
}

void TWidget::SetActivePage(int index) {
    if (index < 0 || index >= static_cast<int>(children_.size())) throw std::out_of_range("page index out of bounds");
    if (index == activePage_) return;
    activePage_ = index;
    Changed();
    if (OnPageChanged) OnPageChanged();
}

void SafeCall(TApplication& app, const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        try {
            app.ShowException(text::FromUtf8(e.what()));
        } catch (...) {
        }
    } catch (...) {
        try {
            app.ShowException(u"Unknown error");
        } catch (...) {
        }
    }
}

}  // namespace ui
