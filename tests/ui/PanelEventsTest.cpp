// A panel's dispatch of the event record to its controls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/kelCore.h"
#include "ui/kelPanel.h"

namespace {

std::vector<std::string> gLog;

class LogControl : public kelPanelControl {
public:
    LogControl(kelRect r, bool takesClicks, bool takesDouble = false)
        : takes_(takesClicks), double_(takesDouble)
    {
        rect = r;
    }
    bool click() override
    {
        gLog.push_back("click" + std::to_string(index));
        return takes_;
    }
    bool doubleClick() override
    {
        gLog.push_back("double" + std::to_string(index));
        return double_;
    }
    bool key() override { return false; }

private:
    bool takes_, double_;
};

class LogPanel : public kelPanel {
public:
    void onItem() override { gLog.push_back("item" + std::to_string(hitItem)); }
    void onClick() override { gLog.push_back("onClick"); }
    void onKey() override { gLog.push_back("onKey"); }
    void onStandardExitButtonsItems() override { gLog.push_back("exit"); }
};

class PanelEvents : public ::testing::Test {
protected:
    void SetUp() override
    {
        gLog.clear();
        kelGlo = kelGloRec{};
        kelGlo.running = 1;
    }
    // Handled `late` ticks after the press: a slow pass, or a drag's tracking.
    void clickAt(int16_t x, int16_t y, uint32_t ticks, uint32_t late = 0)
    {
        kelGlo.what = kelMouseDown;
        kelGlo.mouseX = x;
        kelGlo.mouseY = y;
        kelGlo.pressTicks = ticks;
        kelGlo.ticks = ticks + late;
        panel.events();
    }
    LogPanel panel;
};

TEST_F(PanelEvents, OverlappingControlsGiveTheClickToTheLowerIndex)
{
    panel.newCtrl(4, new LogControl(kelRect(0, 0, 100, 100), true));
    panel.newCtrl(7, new LogControl(kelRect(50, 50, 150, 150), true));
    EXPECT_EQ(panel.controlCount, 8);
    clickAt(60, 60, 1000);
    EXPECT_EQ(gLog, (std::vector<std::string>{"click4", "item4"}));
    EXPECT_EQ(panel.hitItem, 4);
}

TEST_F(PanelEvents, DoubleClicksWithinThirtyTicks)
{
    panel.newCtrl(3, new LogControl(kelRect(0, 0, 100, 100), true, true));
    clickAt(10, 10, 1000);
    clickAt(10, 10, 1029);  // 29 ticks later: a double click
    clickAt(10, 10, 1058);  // measured from the last single click, 1000: not double
    clickAt(10, 10, 1088);  // 30 after that single click: single again
    // Press to press, whenever each was handled.
    clickAt(10, 10, 2000, 40);
    clickAt(10, 10, 2029, 0);
    clickAt(10, 10, 3000, 0);
    clickAt(10, 10, 3031, 0);
    EXPECT_EQ(gLog, (std::vector<std::string>{"click3", "item3", "double3", "item3", "click3", "item3",
                                              "click3", "item3", "click3", "item3", "double3", "item3",
                                              "click3", "item3", "click3", "item3"}));
}

TEST_F(PanelEvents, AClickNoControlTakesCallsOnClickAndNoItem)
{
    panel.newCtrl(1, new LogControl(kelRect(0, 0, 100, 100), false));
    clickAt(10, 10, 1000);
    clickAt(300, 300, 2000);
    EXPECT_EQ(gLog, (std::vector<std::string>{"click1", "onClick", "onClick"}));
    EXPECT_EQ(panel.hitItem, -1);
}

TEST_F(PanelEvents, TabMovesTheFocusAndWraps)
{
    for (int16_t i : {2, 5, 9}) {
        panel.newCtrl(i, new LogControl(kelRect(0, 0, 1, 1), false));
        panel.control(i)->focusable = 1;
    }
    auto tab = [this](bool shift) {
        kelGlo.what = kelKeyDown;
        kelGlo.keyChar = 9;
        kelGlo.shiftDown = shift;
        panel.events();
    };
    tab(false);  // nothing focused: Tab moves nothing
    EXPECT_EQ(panel.focus, -1);
    panel.select(9);
    tab(false);
    EXPECT_EQ(panel.focus, 2);
    tab(true);
    EXPECT_EQ(panel.focus, 9);
    tab(true);
    EXPECT_EQ(panel.focus, 5);
    EXPECT_EQ(panel.control(5)->focused, 1);
    EXPECT_EQ(panel.control(9)->focused, 0);
}

TEST_F(PanelEvents, ReplacedControlsAreLiveAndPlaceholdersAreNot)
{
    EXPECT_FALSE(panel.control(0)->live());
    panel.newCtrl(0, new LogControl(kelRect(0, 0, 10, 10), true));
    EXPECT_TRUE(panel.control(0)->live());
    EXPECT_EQ(panel.control(0)->panel, &panel);
    panel.newCtrl(12, nullptr);  // changes nothing
    EXPECT_EQ(panel.controlCount, 1);
}

}  // namespace
