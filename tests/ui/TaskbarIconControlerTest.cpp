#include "app/FormFixture.h"
#include "ui/TaskbarIconControler.h"

#include <gtest/gtest.h>

namespace halcyra {
namespace {

TEST(TaskbarIconControler, AddsAndDeletesOnlyOnChange)
{
    test::TFakeTray tray;
    TTaskbarIconControler icon(nullptr, std::make_unique<test::TFakeTrayShell>(tray));
    icon.SetVisible(false);
    EXPECT_EQ(tray.deletes, 0);
    icon.SetVisible(true);
    icon.SetVisible(true);
    EXPECT_EQ(tray.adds, 1);
    EXPECT_TRUE(icon.Visible());
    icon.SetVisible(false);
    EXPECT_EQ(tray.deletes, 1);
    EXPECT_FALSE(icon.Visible());
}

TEST(TaskbarIconControler, RefusedAddRaisesAndLeavesItHidden)
{
    test::TFakeTray tray;
    tray.available = false;
    TTaskbarIconControler icon(nullptr, std::make_unique<test::TFakeTrayShell>(tray));
    try {
        icon.SetVisible(true);
        FAIL() << "no error";
    } catch (const ETaskbarError& e) {
        EXPECT_STREQ(e.what(), "Exception: Could not Add Icon");
    }
    EXPECT_FALSE(icon.Visible());
}

TEST(TaskbarIconControler, HintIsSentOnlyWhenItChangesAndCutTo63)
{
    test::TFakeTray tray;
    TTaskbarIconControler icon(nullptr, std::make_unique<test::TFakeTrayShell>(tray));
    icon.SetHint("Collecting");
    icon.SetHint("Collecting");
    EXPECT_EQ(tray.modifies, 1);
    icon.SetHint(QString(80, 'x'));
    EXPECT_EQ(icon.ToolTip().size(), 63);
}

TEST(TaskbarIconControler, ClicksGiveDownUpClickAndDoubleClickOnlyItself)
{
    test::TFakeTray tray;
    TTaskbarIconControler icon(nullptr, std::make_unique<test::TFakeTrayShell>(tray));
    std::vector<std::string> events;
    icon.OnMouseDown = [&](TMouseButton b) { events.push_back(b == TMouseButton::Right ? "down-right" : "down"); };
    icon.OnMouseUp = [&](TMouseButton b) { events.push_back(b == TMouseButton::Right ? "up-right" : "up"); };
    icon.OnClick = [&] { events.push_back("click"); };
    icon.OnDblClk = [&] { events.push_back("dbl"); };
    icon.ButtonClicked(TMouseButton::Right);
    EXPECT_EQ(events, (std::vector<std::string>{"down-right", "up-right", "click"}));
    events.clear();
    icon.DoubleClicked();
    EXPECT_EQ(events, std::vector<std::string>{"dbl"});
}

}  // namespace
}  // namespace halcyra
