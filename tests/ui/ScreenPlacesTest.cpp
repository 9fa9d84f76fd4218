// Where the screen puts panels: centred over the main panel, dragged within
// the stage, moved with the stage when the window changes size.
#include <gtest/gtest.h>

#include "ui/TestSkin.h"

namespace {

using namespace testskin;
using T = plat::Event::Type;

constexpr int16_t kFloating = 4;

class ScreenPlaces : public ::testing::Test {
protected:
    void SetUp() override
    {
        PWFont.setup(&skin.casts, kFont);
        main.attachLayouts(1, -1, -1, &skin.casts, &PWScreen.stage);
        floating.attachLayouts(2, -1, -1, &skin.casts, &PWScreen.stage);
        PWScreen.connect(&main, 0, 0);
        PWScreen.setProps(0, 0, 0, 0, 0);
        PWScreen.connect(&floating, kFloating, 1);
        PWScreen.setProps(kFloating, 100, 100, 1, 0);
        PWScreen.resized();  // as the window's own size report does
        PWScreen.show(kFloating);
    }
    void TearDown() override { PWFont.reset(); }
    kelRect back() const { return floating.background()->rect; }
    void dragFrom(int16_t x, int16_t y, std::initializer_list<std::pair<int, int>> moves)
    {
        for (auto [mx, my] : moves) stage.mouse(T::MouseMove, mx, my, 5);
        const auto last = *(moves.end() - 1);
        stage.mouse(T::MouseUp, last.first, last.second, 5);
        kelGlo.ticks += 100;
        stage.pressAt(x, y);
    }

    Stage stage{800, 600};
    Skin skin;
    TestPanel main;
    TestPanel floating;
};

TEST_F(ScreenPlaces, PanelsArePlacedRelativeToTheCentredStage)
{
    EXPECT_EQ(PWScreen.origin.h, 80);
    EXPECT_EQ(PWScreen.origin.v, 60);
    EXPECT_EQ(main.background()->rect, kelRect(80, 60, 720, 540));
    EXPECT_EQ(main.control(kButtonItem)->rect, kelRect(90, 70, 110, 90));
    EXPECT_EQ(back(), kelRect(180, 160, 380, 260));  // (100, 100) on the stage
    PWScreen.setPanelPositionCentered(kFloating);
    // (640 / 2 - 200 / 2, 480 / 2 - 100 / 2) on the stage.
    EXPECT_EQ(back(), kelRect(300, 250, 500, 350));
    EXPECT_EQ(floating.control(1)->rect, kelRect(476, 254, 496, 274));
    // Only draggable panels are placed this way.
    const kelRect somewhere(0, 0, 10, 10);
    PWScreen.setPosition(0, &somewhere);
    EXPECT_EQ(main.background()->rect, kelRect(80, 60, 720, 540));
}

TEST_F(ScreenPlaces, ADraggedPanelFollowsTheMouseButStaysOnTheStage)
{
    PWScreen.setPanelPositionCentered(kFloating);
    const kelRect whole(0, 0, 800, 600);
    PWScreen.update(&whole);
    dragFrom(350, 300, {{370, 320}});
    EXPECT_EQ(back(), kelRect(320, 270, 520, 370));
    EXPECT_EQ(stage.shown(330, 280), kFloatColour);
    EXPECT_EQ(stage.shown(310, 260), kBackColour0);  // what it uncovered
    dragFrom(350, 300, {{600, 500}, {2000, 2000}});
    EXPECT_EQ(back(), kelRect(520, 440, 720, 540));  // the stage's corner
    dragFrom(600, 500, {{-500, -500}});
    EXPECT_EQ(back(), kelRect(80, 60, 280, 160));
    EXPECT_EQ(stage.shown(85, 65), kFloatColour);
    EXPECT_EQ(stage.shown(75, 55), 0);  // outside the stage: black
    // A press on one of its controls does not drag it.
    dragFrom(262, 70, {{300, 300}});
    EXPECT_EQ(back(), kelRect(80, 60, 280, 160));
}

TEST_F(ScreenPlaces, APressOnAFloatingPanelsShadowGoesToThePanelBelow)
{
    const kelRect before = back();
    stage.mouse(T::MouseUp, 377, 200, 5);
    stage.pressAt(377, 200);  // shadow columns 194 to 199 of the picture
    EXPECT_NE(main.lastClickTicks, 0u);
    EXPECT_EQ(floating.lastClickTicks, 0u);
    EXPECT_EQ(back(), before);
    stage.mouse(T::MouseUp, 300, 200, 5);
    stage.pressAt(300, 200);
    EXPECT_NE(floating.lastClickTicks, 0u);
}

TEST_F(ScreenPlaces, ANewWindowSizeMovesTheStageWithItsFloatingPanels)
{
    dragFrom(300, 200, {{2000, 2000}});
    EXPECT_EQ(back(), kelRect(520, 440, 720, 540));
    kelGlo.screenWidth = 700;
    kelGlo.screenHeight = 500;
    kelGlo.what = kelResizeEvt;
    PWScreen.events();
    EXPECT_EQ(PWScreen.origin.h, 30);
    EXPECT_EQ(PWScreen.origin.v, 10);
    EXPECT_EQ(main.background()->rect, kelRect(30, 10, 670, 490));
    EXPECT_EQ(back(), kelRect(470, 390, 670, 490));  // where it was on the stage
    kelGlo.what = kelUpdateEvt;
    PWScreen.events();
    EXPECT_EQ(stage.shown(29, 100), 0);
    EXPECT_EQ(stage.shown(30, 100), kBackColour0);
    EXPECT_EQ(stage.shown(669, 20), kBackColour0);
    EXPECT_EQ(stage.shown(670, 20), 0);
    EXPECT_EQ(stage.shown(500, 450), kFloatColour);
    // Placed where it would stick out of the stage, it is moved back onto it.
    PWScreen.setPanelPosition(kFloating, 600, 420);
    EXPECT_EQ(back(), kelRect(470, 390, 670, 490));
}

}  // namespace
