// The in-memory widget tree both toolkits share: what counts as showing,
// when the page-changed event fires, list entries across text changes, and
// failures that reach the toolkit.
#include <gtest/gtest.h>

#include <stdexcept>

#include "ui/Widgets.h"
#include "ui/headless/HeadlessApp.h"

namespace {

using ui::TWidget;
using ui::TWidgetKind;

class WidgetsTest : public ::testing::Test {
protected:
    WidgetsTest() : root(TWidgetKind::Form, u"Form", nullptr, {0, 0, 100, 100}) {
        stack = &root.AddChild(TWidgetKind::PageStack, u"Stack", {});
        first = &stack->AddChild(TWidgetKind::Page, u"First", {});
        second = &stack->AddChild(TWidgetKind::Page, u"Second", {});
        button = &second->AddChild(TWidgetKind::Button, u"Button", {}, u"Go");
        stack->OnPageChanged = [this] { ++changes; };
        button->OnClick = [this] { ++clicks; };
    }
    TWidget root;
    TWidget *stack, *first, *second, *button;
    int changes = 0, clicks = 0;
};

TEST_F(WidgetsTest, OnlyTheActivePageAndItsVisibleChildrenShow) {
    EXPECT_FALSE(first->Showing());  // no page yet
    stack->SetActivePage(1);
    EXPECT_TRUE(button->Showing());
    EXPECT_FALSE(first->Showing());
    button->SetVisible(false);
    EXPECT_FALSE(button->Showing());
    button->SetVisible(true);
    stack->SetVisible(false);
    EXPECT_FALSE(button->Showing());
    EXPECT_EQ(root.Find(u"button"), button);
}

TEST_F(WidgetsTest, PageChangedFiresOnlyOnAChange) {
    stack->SetActivePage(0);
    stack->SetActivePage(0);
    stack->SetActivePage(1);
    EXPECT_EQ(changes, 2);
    EXPECT_THROW(stack->SetActivePage(2), std::out_of_range);
}

TEST_F(WidgetsTest, ClicksReachOnlyShowingEnabledWidgets) {
    stack->SetActivePage(0);
    EXPECT_FALSE(button->Click());
    stack->SetActivePage(1);
    button->SetEnabled(false);
    EXPECT_FALSE(button->Click());
    button->SetEnabled(true);
    EXPECT_TRUE(button->Click());
    EXPECT_EQ(clicks, 1);
}

TEST_F(WidgetsTest, EntriesKeepCheckAndDataWhenTheirTextChanges) {
    TWidget& list = first->AddChild(TWidgetKind::CheckList, u"List", {});
    int data = 0;
    list.AddItem(u"a", true, &data);
    list.AddItem(u"b", true, nullptr);
    list.SetChecked(0, false);
    list.SetItemText(0, u"A");
    EXPECT_EQ(list.Item(0).Text, u"A");
    EXPECT_FALSE(list.Item(0).Checked);
    EXPECT_EQ(list.Item(0).Data, &data);
    list.DeleteItem(0);
    EXPECT_EQ(list.Item(0).Text, u"b");
    EXPECT_THROW(list.DeleteItem(3), std::out_of_range);
}

TEST(SafeCallTest, AFailureIsReportedAndGoesNoFurther) {
    ui::THeadlessApp app;
    ui::SafeCall(app, [] { throw std::runtime_error("broken"); });
    ASSERT_EQ(app.Shown.size(), 1u);
    EXPECT_TRUE(app.Shown[0].IsError);
    EXPECT_EQ(app.Shown[0].Text, u"broken");
}

}  // namespace
