// Buttons, checks, radios, pictures and backgrounds of the test skin: their
// values, their clicks and what they compose on the screen.
#include <gtest/gtest.h>

#include <vector>

#include "ui/PWPanelCtrls.h"
#include "ui/TestSkin.h"

namespace {

using namespace testskin;
using T = plat::Event::Type;

std::vector<int16_t> gPhases;
int16_t gCode = kelTrackGoOn;
uint16_t gLookWhileHeld = 0;

int16_t recordPhase(kelPanelControl*, int16_t phase)
{
    gPhases.push_back(phase);
    if (phase == 2 && gLookWhileHeld == 0)
        gLookWhileHeld = static_cast<uint16_t>(PWScreen.image.getPixel(20, 20));
    return phase == 1 ? gCode : kelTrackGoOn;
}

class SkinnedControls : public SkinTest {
protected:
    void SetUp() override
    {
        SkinTest::SetUp();
        gPhases.clear();
        gCode = kelTrackGoOn;
        gLookWhileHeld = 0;
        refreshAll();
    }
    // A click whose button stays down for `holdMs`, released at (rx, ry).
    void clickHeld(int16_t x, int16_t y, int rx, int ry, uint32_t holdMs = 30)
    {
        stage.mouse(T::MouseMove, x + 1, y, holdMs / 2);
        stage.mouse(T::MouseUp, rx, ry, holdMs / 2);
        stage.pressAt(x, y);
    }
    void key(uint8_t c)
    {
        kelGlo.what = kelKeyDown;
        kelGlo.keyChar = c;
        panel.events();
    }
};

TEST_F(SkinnedControls, AButtonTracksTheMouseAndReportsOnlyAReleaseInside)
{
    auto* button = controlAs<PWPanelButtonControl>(kButtonItem);
    ASSERT_NE(button, nullptr);
    button->setValue(int16_t{kelPropCallback}, reinterpret_cast<long>(&recordPhase));
    EXPECT_EQ(stage.composed(20, 20), kButtonColourUp);

    clickHeld(20, 20, 21, 21);
    EXPECT_EQ(panel.items, std::vector<int16_t>{kButtonItem});
    ASSERT_GE(gPhases.size(), 3u);
    EXPECT_EQ(gPhases.front(), 0);
    EXPECT_EQ(gPhases[1], 2);
    EXPECT_EQ(gPhases.back(), 1);
    EXPECT_EQ(gLookWhileHeld, kButtonColourDown);  // pressed look while held
    EXPECT_EQ(stage.composed(20, 20), kButtonColourUp);
    EXPECT_EQ(stage.shown(20, 20), kButtonColourUp);

    // Dragged off and released outside: the callback hears the release, the panel nothing.
    gPhases.clear();
    kelGlo.ticks += 100;
    clickHeld(20, 20, 60, 60);
    EXPECT_EQ(panel.items.size(), 1u);
    EXPECT_EQ(gPhases.back(), 1);

    // A callback that answers 6 at the release keeps the click to itself.
    gCode = kelTrackNoReport;
    clickHeld(20, 20, 20, 20);
    EXPECT_EQ(panel.items.size(), 1u);
}

TEST_F(SkinnedControls, AMaskedButtonIgnoresClicksOnItsTransparentCorners)
{
    stage.mouse(T::MouseUp, 10, 10, 10);
    stage.pressAt(10, 10);  // the disc's corner
    EXPECT_TRUE(panel.items.empty());
    EXPECT_EQ(panel.hitItem, -1);
}

TEST_F(SkinnedControls, ADisabledButtonShowsDimmed)
{
    panel.control(kButtonItem)->disable();
    // Red 31 blended at level 63 over the background's (2, 2, 2).
    EXPECT_EQ(stage.shown(20, 20), 0x2842);
    panel.control(kButtonItem)->enable();
    EXPECT_EQ(stage.shown(20, 20), kButtonColourUp);
}

TEST_F(SkinnedControls, ACheckTogglesOnClickAndOnTheRightArrowOnly)
{
    kelPanelControl* check = panel.control(kCheckItem);
    clickHeld(130, 20, 130, 20, 4);
    EXPECT_EQ(check->get(), 1);
    EXPECT_EQ(stage.shown(130, 20), kButtonColourDown);
    EXPECT_EQ(panel.focus, kCheckItem);
    key(' ');
    EXPECT_EQ(check->get(), 1);
    key(kelArrowLeft);
    EXPECT_EQ(check->get(), 1);
    key(kelArrowRight);
    EXPECT_EQ(check->get(), 0);
    EXPECT_EQ(stage.shown(130, 20), kButtonColourUp);
}

TEST_F(SkinnedControls, RadiosOfAGroupReportOnceThroughTheirRadioOfValueZero)
{
    clickHeld(210, 20, 210, 20, 4);  // the radio of value 2
    EXPECT_EQ(panel.items, std::vector<int16_t>{kRadioA});
    EXPECT_EQ(panel.control(kRadioA)->get(), 2);
    EXPECT_EQ(stage.shown(160, 20), kButtonColourUp);  // off
    EXPECT_EQ(stage.shown(185, 20), kButtonColourUp);
    EXPECT_EQ(stage.shown(210, 20), kButtonColourDown);  // on
    kelGlo.ticks += 100;
    clickHeld(210, 20, 210, 20, 4);  // already on: nothing
    EXPECT_EQ(panel.items.size(), 1u);
    panel.control(kRadioB)->set(int16_t{1});
    EXPECT_EQ(panel.control(kRadioC)->get(), 1);
    EXPECT_EQ(stage.shown(185, 20), kButtonColourDown);
    EXPECT_EQ(stage.shown(210, 20), kButtonColourUp);
}

TEST_F(SkinnedControls, PictureControlsChooseTheirImagesAndBlend)
{
    kelPanelControl* image = panel.control(kImageItem);
    EXPECT_EQ(stage.shown(100, 20), kBackColour0);  // image 0 names no picture
    image->set(kelPropImageIndex, 2);
    EXPECT_EQ(stage.shown(100, 20), kButtonColourDown);
    image->set(kelPropLevel, 128);
    // Green 31 over the background at half level.
    EXPECT_NE(stage.shown(100, 20), kButtonColourDown);
    EXPECT_EQ(stage.shown(100, 20) & 0x1F, 1);  // the background's blue, scaled by half (2 -> 1)

    kelPanelControl* title = panel.control(kStaticCastItem);
    EXPECT_EQ(stage.shown(45, 12), kTitleColour);
    title->set(int16_t{1});
    EXPECT_EQ(stage.shown(49, 19), kButtonColourUp);  // image 1, the disc
    EXPECT_EQ(panel.layouts[0]->work[kStaticCastItem].usedIndex, 1);
}

TEST_F(SkinnedControls, ColourSchemesSwapTheBackgroundPicture)
{
    PWScreen.changeAllColors(1);
    EXPECT_EQ(stage.shown(300, 400), kBackColour1);
    const int16_t first = skin.casts.MPixIDtoIndex(kBack0);
    EXPECT_EQ(skin.casts.castAt(first)->imageLoaded, 0);  // the old scheme's picture unloaded
    PWScreen.changeAllColors(2);  // a smaller picture with a shadow: its mask is the hit mask
    EXPECT_EQ(stage.shown(50, 50), kFloatColour);
    EXPECT_TRUE(panel.backgroundHit(50, 50));
    EXPECT_FALSE(panel.backgroundHit(197, 50));  // the faint shadow
    PWScreen.changeAllColors(0);
    EXPECT_EQ(stage.shown(300, 400), kBackColour0);
    PWScreen.changeAllColors(0);  // the same scheme again changes nothing
    EXPECT_EQ(skin.casts.castAt(first)->imageLoaded, 1);
}

}  // namespace
