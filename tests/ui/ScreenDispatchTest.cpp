// How the screen routes events between the panels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/kelCore.h"
#include "platform/PlatHeadless.h"
#include "ui/PWPanel.h"
#include "ui/PWScreen.h"

namespace {

std::vector<std::string> gLog;

class LogPanel : public PWPanelClass {
public:
    explicit LogPanel(int id, kelRect area = kelRect(0, 0, 640, 480)) : id_(id) { background()->rect = area; }
    void events() override
    {
        gLog.push_back("events" + std::to_string(id_) + ":" + std::to_string(kelGlo.what));
        PWPanelClass::events();
    }
    void onKey() override { gLog.push_back("key" + std::to_string(id_)); }
    void onItem_Load() override { gLog.push_back("load" + std::to_string(id_)); }
    void onItem_Save() override { gLog.push_back("save" + std::to_string(id_)); }
    void beforeShow() override { gLog.push_back("beforeShow" + std::to_string(id_)); }
    void beforeHide() override { gLog.push_back("beforeHide" + std::to_string(id_)); }
    void afterHide() override { gLog.push_back("afterHide" + std::to_string(id_)); }
    void connected() override { gLog.push_back("connected" + std::to_string(id_)); }

private:
    int id_;
};

class HelpLog : public PWHelpHooks {
public:
    void idle() override { gLog.push_back("helpIdle"); }
    void toggle(int16_t on) override { gLog.push_back("helpToggle" + std::to_string(on)); }
};

class ScreenDispatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto b = std::make_unique<plat::HeadlessBackend>();
        backend = b.get();
        plat::setBackend(std::move(b));
        gLog.clear();
        kelGlo = kelGloRec{};
        kelGlo.running = 1;
        for (int i = 0; i < PWScreenClass::kPanelCount; ++i) {
            panels.push_back(std::make_unique<LogPanel>(i));
            screen.connect(panels.back().get(), static_cast<int16_t>(i), 0);
        }
        screen.help = &help;
        gLog.clear();
    }
    void TearDown() override { plat::clearBackend(); }
    void send(int16_t what)
    {
        kelGlo.what = what;
        screen.events();
    }

    plat::HeadlessBackend* backend = nullptr;
    PWScreenClass screen;
    HelpLog help;
    std::vector<std::unique_ptr<LogPanel>> panels;
};

TEST_F(ScreenDispatch, ConnectShowsOnlyTheFirstPanel)
{
    EXPECT_TRUE(screen.isVisible(0));
    for (int16_t i = 1; i < PWScreenClass::kPanelCount; ++i) EXPECT_FALSE(screen.isVisible(i));
    EXPECT_EQ(screen.count, PWScreenClass::kPanelCount);
    screen.show(3);
    screen.show(3);  // already visible: no second beforeShow
    screen.hide(3);
    EXPECT_EQ(gLog, (std::vector<std::string>{"beforeShow3", "beforeHide3", "afterHide3"}));
}

TEST_F(ScreenDispatch, NullEventsGoToVisiblePanelsHighestFirst)
{
    screen.show(4);
    screen.show(9);
    gLog.clear();
    send(kelNullEvent);
    EXPECT_EQ(gLog, (std::vector<std::string>{"helpIdle", "events9:0", "events4:0", "events0:0"}));
}

TEST_F(ScreenDispatch, AClickGoesOnlyToTheHighestPanelUnderTheMouse)
{
    panels[6]->background()->rect = kelRect(100, 100, 300, 300);
    panels[8]->background()->rect = kelRect(200, 200, 400, 400);
    screen.show(6);
    screen.show(8);
    gLog.clear();
    kelGlo.mouseX = 250;
    kelGlo.mouseY = 250;  // covered by 0, 6 and 8
    send(kelMouseDown);
    kelGlo.mouseX = 150;
    kelGlo.mouseY = 150;  // covered by 0 and 6
    send(kelMouseDown);
    kelGlo.mouseX = 500;
    kelGlo.mouseY = 50;  // only the main panel
    send(kelMouseDown);
    EXPECT_EQ(gLog, (std::vector<std::string>{"events8:1", "events6:1", "events0:1"}));
}

TEST_F(ScreenDispatch, AModalPanelTakesEveryClickAndKeyWhileShownAndEscapeClosesIt)
{
    panels[6]->background()->rect = kelRect(100, 100, 300, 300);
    panels[6]->modal = 1;
    panels[7]->modal = 1;
    screen.setProps(8, 0, 0, 1, 0);
    screen.show(8);
    screen.show(6);  // a browser shown over a floating panel
    EXPECT_EQ(screen.modalPanel, 6);
    gLog.clear();
    kelGlo.mouseX = 500;  // outside the modal panel: nobody gets it
    kelGlo.mouseY = 400;
    send(kelMouseDown);
    kelGlo.mouseX = 150;
    kelGlo.mouseY = 150;
    send(kelMouseDown);
    kelGlo.keyChar = 0x0D;  // Return: the browser's, not a groove stored behind it
    send(kelKeyDown);
    EXPECT_EQ(gLog, (std::vector<std::string>{"events6:1", "key6"}));
    // A modal panel over another: closing it gives the keys back to the one below.
    screen.show(7);
    EXPECT_EQ(screen.modalPanel, 7);
    screen.hide(7);
    EXPECT_EQ(screen.modalPanel, 6);
    // Escape closes the panel on top, one at a time, and goes no further.
    gLog.clear();
    kelGlo.keyChar = 0;
    kelGlo.specialKey = 20;
    kelGlo.escapeKey = 1;
    send(kelKeyDown);
    EXPECT_FALSE(screen.isVisible(6));
    EXPECT_EQ(screen.modalPanel, -1);
    send(kelKeyDown);
    EXPECT_FALSE(screen.isVisible(8));
    send(kelKeyDown);  // nothing floats any more: the groove panel gets it
    EXPECT_EQ(gLog,
              (std::vector<std::string>{"beforeHide6", "afterHide6", "beforeHide8", "afterHide8", "key0"}));
    // Page Up shares Escape's code but closes nothing.
    screen.show(8);
    kelGlo.escapeKey = 0;
    send(kelKeyDown);
    EXPECT_TRUE(screen.isVisible(8));
}

TEST_F(ScreenDispatch, KeysGoToTheVirtualMixWhenItCoversTheGroovePanelAndEscapeClosesIt)
{
    screen.show(1);
    screen.show(10);  // a mix in progress is not closed by Escape
    gLog.clear();
    kelGlo.keyChar = ' ';
    send(kelKeyDown);
    kelGlo.keyChar = 0;
    kelGlo.specialKey = 20;
    kelGlo.escapeKey = 1;
    send(kelKeyDown);
    EXPECT_EQ(gLog, (std::vector<std::string>{"key1", "beforeHide1", "afterHide1"}));
    EXPECT_TRUE(screen.isVisible(10));
}

TEST_F(ScreenDispatch, KeysGoToTheSynthPanelWhenShownElseTheGroovePanel)
{
    kelGlo.keyChar = '5';
    send(kelKeyDown);
    screen.show(2);
    gLog.clear();
    send(kelAutoKey);
    EXPECT_EQ(gLog, (std::vector<std::string>{"key2"}));
    EXPECT_EQ(screen.keyHeld['5'], 2);
    send(kelKeyUp);
    EXPECT_EQ(screen.keyHeld['5'], 0);
}

TEST_F(ScreenDispatch, F1TogglesHelpAndGoesNoFurther)
{
    kelGlo.specialKey = 1;
    send(kelKeyDown);
    EXPECT_EQ(gLog, (std::vector<std::string>{"helpToggle1"}));
    gLog.clear();
    send(kelAutoKey);  // a held F1 is an ordinary key
    EXPECT_EQ(gLog, (std::vector<std::string>{"key0"}));
}

TEST_F(ScreenDispatch, CommandsReachTheGroovePanelAndTheInformationPanel)
{
    kelGlo.menuID = 129;
    kelGlo.menuItem = 1;
    send(kelCommandEvt);
    kelGlo.menuItem = 4;
    send(kelCommandEvt);
    kelGlo.menuItem = 3;
    send(kelCommandEvt);
    EXPECT_EQ(gLog, (std::vector<std::string>{"load0", "save0"}));
    kelGlo.menuID = 128;
    kelGlo.menuItem = 1;
    send(kelCommandEvt);
    EXPECT_TRUE(screen.isVisible(9));
}

TEST_F(ScreenDispatch, QuitAsksAndOnlyYesStopsTheLoop)
{
    kelGlo.menuID = 129;
    kelGlo.menuItem = 6;
    send(kelCommandEvt);  // unanswered: the default No
    EXPECT_EQ(kelGlo.running, 1);
    backend->queueBoxAnswer(1);
    send(kelCloseEvt);
    EXPECT_EQ(kelGlo.running, 0);
    const auto boxes = backend->boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].buttons, 1);
    EXPECT_EQ(boxes[0].answer, 2);
}

TEST_F(ScreenDispatch, ResizeCentresTheStageButNeverBelowZero)
{
    kelGlo.screenWidth = 1025;
    kelGlo.screenHeight = 769;
    send(kelResizeEvt);
    EXPECT_EQ(screen.origin.h, 192);
    EXPECT_EQ(screen.origin.v, 144);
    EXPECT_EQ(screen.stage, kelRect(192, 144, 832, 624));
    EXPECT_EQ(screen.links[3].limit, screen.stage);  // floating panels stay on the stage
    kelGlo.screenWidth = 600;
    kelGlo.screenHeight = 400;
    send(kelResizeEvt);
    EXPECT_EQ(screen.origin.h, 0);
    EXPECT_EQ(screen.origin.v, 0);
}

}  // namespace
