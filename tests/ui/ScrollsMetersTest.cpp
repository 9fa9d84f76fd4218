// Scrolls, knobs, meters and bars of the test skin.
#include <gtest/gtest.h>

#include "ui/BLMeters.h"
#include "ui/BLScrolls.h"
#include "ui/TestSkin.h"

namespace {

using namespace testskin;
using T = plat::Event::Type;

class ScrollsMeters : public SkinTest {
protected:
    void SetUp() override
    {
        SkinTest::SetUp();
        refreshAll();
    }
    // Presses at (x, y), moves to (mx, my), releases there.
    void drag(int16_t x, int16_t y, int mx, int my)
    {
        stage.mouse(T::MouseMove, mx, my, 10);
        stage.mouse(T::MouseUp, mx, my, 10);
        stage.pressAt(x, y);
    }
    int countColour(const kelRect& r, uint16_t colour) const
    {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) n += stage.composed(x, y) == colour;
        return n;
    }
};

constexpr uint16_t kWhite = 0x7FFF;

TEST_F(ScrollsMeters, ARoundScrollPutsItsMiddleValueStraightUpAndFollowsTheTurn)
{
    auto* knob = controlAs<BLRoundScroll>(kRoundItem);
    ASSERT_NE(knob, nullptr);
    // Centre: the frame's middle (70, 90) moved by aux 6, 7 = (0, 20); radius 20.
    EXPECT_EQ(knob->centre.h, 70);
    EXPECT_EQ(knob->centre.v, 110);
    EXPECT_EQ(knob->radius, 20);
    knob->set(int16_t{50});  // 135 + 270 / 2 = 270 degrees
    EXPECT_EQ(knob->thumbRect, kelRect(65, 85, 75, 95));
    EXPECT_EQ(stage.shown(70, 90), kWhite);

    // The thumb follows the turn from where it was pressed: from straight up
    // (270 degrees, value 50) to straight left (180 degrees, value 16).
    drag(70, 90, 50, 110);
    EXPECT_EQ(knob->get(), 16);
    ASSERT_FALSE(panel.items.empty());
    EXPECT_EQ(panel.items.back(), kRoundItem);
    // Reported during the drag, then once more as a finished change.
    ASSERT_GE(panel.live.size(), 2u);
    EXPECT_EQ(panel.live[panel.live.size() - 2], 1);
    EXPECT_EQ(panel.live.back(), 0);
    EXPECT_GT(panel.idles, 0);
    EXPECT_EQ(panel.liveChange, 0);

    // A press beside the thumb is not taken.
    const size_t reports = panel.items.size();
    kelGlo.ticks += 100;
    drag(90, 110, 95, 110);
    EXPECT_EQ(knob->get(), 16);
    EXPECT_EQ(panel.items.size(), reports);
}

TEST_F(ScrollsMeters, AStraightScrollPlacesItsThumbByValueAndDragsFromThePress)
{
    auto* scroll = controlAs<BLScroll>(kScrollItem);
    ASSERT_NE(scroll, nullptr);
    ASSERT_TRUE(scroll->vertical());
    scroll->set(int16_t{40});  // 100 high, thumb 20, range 0..80: 40 pixels down
    EXPECT_EQ(scroll->thumbRect, kelRect(10, 100, 20, 120));
    EXPECT_EQ(stage.shown(15, 110), kWhite);
    EXPECT_EQ(stage.shown(15, 99), kBackColour0);
    drag(15, 110, 15, 130);  // 20 pixels down: 20 x 80 / 80 = 20 more
    EXPECT_EQ(scroll->get(), 60);
    EXPECT_EQ(scroll->thumbRect.top, 120);
    scroll->set(int16_t{200});
    EXPECT_EQ(scroll->get(), 80);
    scroll->set(kelPropMaximum, 200);
    scroll->set(int16_t{200});
    EXPECT_EQ(scroll->get(), 200);
}

TEST_F(ScrollsMeters, AKnobFilmTurnsUpWhenDraggedDownOnItsRightHalf)
{
    kelPanelControl* knob = panel.control(kRotaryItem);
    knob->set(int16_t{10});
    drag(440, 65, 440, 70);
    EXPECT_EQ(knob->get(), 15);
    knob->set(int16_t{10});
    kelGlo.ticks += 100;
    drag(432, 65, 432, 70);
    EXPECT_EQ(knob->get(), 5);
    knob->set(int16_t{99});
    EXPECT_EQ(knob->get(), 63);
}

TEST(ProScroll, AScaleOfOneFollowsTheMousePixelForPixel)
{
    Stage stage;
    Skin skin;
    KelLayout layout;
    layout.Set(&skin.casts, 1);
    layout.Load();
    kelPanelPro pro;
    pro.attachLayout(&layout, 0);
    auto* scroll = dynamic_cast<panProScrollControl*>(pro.control(kProScrollItem));
    ASSERT_NE(scroll, nullptr);
    EXPECT_DOUBLE_EQ(scroll->scale, 1.0);  // (110 - 10) / (100 - 0)
    scroll->set(int16_t{30});
    EXPECT_EQ(scroll->thumbRect.left, 30);
    EXPECT_EQ(scroll->own.getPixel(35, 5), static_cast<int16_t>(kWhite));
    EXPECT_NE(scroll->own.getPixel(29, 5), static_cast<int16_t>(kWhite));
    stage.mouse(T::MouseMove, 347, 305, 10);
    stage.mouse(T::MouseUp, 347, 305, 10);
    kelGlo.mouseX = 335;
    kelGlo.mouseY = 305;
    kelGlo.buttonDown = 1;
    EXPECT_TRUE(scroll->click());
    EXPECT_EQ(scroll->get(), 42);
    scroll->set(int16_t{150});
    EXPECT_EQ(scroll->get(), 100);
}

TEST_F(ScrollsMeters, AMeterLightsItsSegmentsByValueAndFaintlyUpToThePeak)
{
    kelPanelControl* meter = panel.control(kLevelItem);
    meter->set(int16_t{45});
    meter->set(kelPropLevel, 70);
    auto segment = [&](int i) { return stage.shown(120 + 10 * i + 4, 62); };
    for (int i = 0; i < 4; ++i) EXPECT_EQ(segment(i), kWhite) << i;
    EXPECT_EQ(segment(4), 0x294A);  // level 63 over the background's (2, 2, 2)
    for (int i = 5; i < 8; ++i) EXPECT_EQ(segment(i), 0x18C6) << i;  // level 32
    EXPECT_EQ(segment(8), kBackColour0);
    EXPECT_EQ(segment(9), kBackColour0);
    meter->set(int16_t{150});
    EXPECT_EQ(meter->get(), 99);
}

TEST_F(ScrollsMeters, BarsShowTheirLeftmostColumns)
{
    kelPanelControl* progress = panel.control(kProgressItem);
    progress->set(int16_t{50});  // 200 wide: 100 columns
    EXPECT_EQ(stage.shown(219, 82), kWhite);
    EXPECT_EQ(stage.shown(220, 82), kBackColour0);
    progress->set(int16_t{150});
    EXPECT_EQ(progress->get(), 100);
    EXPECT_EQ(stage.shown(319, 82), kWhite);

    kelPanelControl* bar = panel.control(kImageBarItem);
    bar->set(int16_t{0});  // held at one column
    EXPECT_EQ(stage.shown(10, 242), kWhite);
    EXPECT_EQ(stage.shown(11, 242), kBackColour0);
    bar->set(int16_t{500});  // held at 180
    EXPECT_EQ(stage.shown(189, 242), kWhite);
    EXPECT_EQ(stage.shown(190, 242), kBackColour0);
}

TEST_F(ScrollsMeters, ARotorDrawsItsRunningDashes)
{
    auto* rotor = controlAs<BLRotorControl>(kRotorItem);
    const kelRect area = rotor->rect;
    EXPECT_EQ(rotor->outer, 27);  // 60 / 2 - 3
    EXPECT_EQ(rotor->inner, 7);
    EXPECT_EQ(countColour(area, 0x03FF), 0);
    rotor->set(int16_t{3});
    EXPECT_GE(rotor->dashes[2].period, 1);
    EXPECT_LE(rotor->dashes[2].period, 20);
    EXPECT_EQ(rotor->step, rotor->dashes[2].period);
    refreshAll();
    // A dash at position 0 points right, 2.5 degrees below the horizontal.
    EXPECT_GE(countColour(area, 0x03FF), 19);
    EXPECT_EQ(stage.composed(rotor->centre.h + 10, rotor->centre.v), 0x03FF);
    rotor->set(int16_t{-3});
    EXPECT_EQ(rotor->step, BLRotorControl::kIdleStep);
    refreshAll();
    EXPECT_EQ(countColour(area, 0x03FF), 0);
}

}  // namespace

namespace {

using namespace testskin;

TEST(ProImage, ValuesCountFromImageOneAndTheIndexIsHeldToNine)
{
    Stage stage;
    Skin skin;
    KelLayout layout;
    layout.Set(&skin.casts, 1);
    layout.Load();
    kelPanelPro pro;
    pro.attachLayout(&layout, 0);
    auto* image = dynamic_cast<panProImageControl*>(pro.control(kImageItem));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->imageIndex, 1);
    EXPECT_EQ(image->own.getPixel(10, 10), kButtonColourUp);  // image 1 over nothing
    image->set(int16_t{1});
    EXPECT_EQ(image->imageIndex, 2);
    EXPECT_EQ(image->own.getPixel(10, 10), kButtonColourDown);
    image->set(int16_t{0});
    EXPECT_EQ(image->imageIndex, 1);
    image->set(kelPropImageIndex, 12);
    EXPECT_EQ(image->imageIndex, 9);

    // A hilite button lights up under the mouse and fades when it leaves.
    auto* hilite = dynamic_cast<panProHilButtonControl*>(pro.control(kHiliteItem));
    ASSERT_NE(hilite, nullptr);
    kelGlo.mouseX = 370;
    kelGlo.mouseY = 250;
    for (int i = 0; i < 5; ++i) hilite->idle();
    EXPECT_EQ(hilite->hilite, 255);  // 64 a step, held at 255
    kelGlo.mouseX = 0;
    hilite->idle();
    EXPECT_EQ(hilite->hilite, 191);
}

}  // namespace
