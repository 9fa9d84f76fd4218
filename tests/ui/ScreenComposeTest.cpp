// The screen composes visible panels' controls into its image, clipped to the
// refreshed area, and shows the result in the window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/kelCore.h"
#include "platform/PlatHeadless.h"
#include "ui/PWPanel.h"
#include "ui/PWScreen.h"

namespace {

std::vector<std::string> gDrawn;

// A control that paints its rectangle in one colour when the screen asks.
class SolidControl : public kelPanelControl {
public:
    SolidControl(kelRect r, int16_t colour, std::string name) : name_(std::move(name))
    {
        rect = r;
        picture_.allocate(1, r.width(), r.height(), -1);
        picture_.fill(&picture_.bounds, colour);
    }
    void setValue(int16_t property, int16_t) override
    {
        if (property != 1400) return;
        gDrawn.push_back(name_);
        PWScreen.copyToUpdate(&picture_, &picture_.bounds, &rect);
    }

private:
    kelOffmap picture_;
    std::string name_;
};

class ScreenCompose : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto b = std::make_unique<plat::HeadlessBackend>(800, 600);
        backend = b.get();
        plat::setBackend(std::move(b));
        kelGlo = kelGloRec{};
        kelGlo.running = 1;
        kelGlo.screenWidth = 640;
        kelGlo.screenHeight = 480;
        gDrawn.clear();
        PWScreen.reset();
        ASSERT_TRUE(PWScreen.setup());
        for (int16_t i = 0; i < PWScreenClass::kPanelCount; ++i) PWScreen.connect(&panels[i], i, 0);
        backend->openWindow(1, 800, 600, "t");
        kelGlo.screenWidth = 800;
        kelGlo.screenHeight = 600;
        PWScreen.resized();
        PWScreen.drawable = 1;
    }
    void TearDown() override
    {
        PWScreen.reset();
        plat::clearBackend();
    }
    uint16_t shown(int x, int y) const { return backend->screen().row(y)[x]; }

    plat::HeadlessBackend* backend = nullptr;
    PWPanelClass panels[PWScreenClass::kPanelCount];
};

TEST_F(ScreenCompose, TheStageIsCentredAndTheOutsideBlack)
{
    // The stage sits at (80, 60); the main panel's control covers it all.
    panels[0].newCtrl(0, new SolidControl(kelRect(80, 60, 720, 540), 0x03E0, "green"));
    PWScreen.image.fill(&PWScreen.image.bounds, 0x7FFF);  // stale white everywhere
    const kelRect whole(0, 0, 800, 600);
    PWScreen.update(&whole);
    EXPECT_EQ(shown(79, 300), 0);      // outside the stage: black
    EXPECT_EQ(shown(80, 60), 0x03E0);  // the stage: the panel
    EXPECT_EQ(shown(719, 539), 0x03E0);
    EXPECT_EQ(shown(720, 539), 0);
}

TEST_F(ScreenCompose, OnlyControlsMeetingTheAreaDrawAndLaterPanelsCoverEarlierOnes)
{
    panels[0].newCtrl(0, new SolidControl(kelRect(80, 60, 720, 540), 0x001F, "back"));
    panels[0].newCtrl(1, new SolidControl(kelRect(600, 400, 700, 500), 0x03E0, "far"));
    panels[4].newCtrl(0, new SolidControl(kelRect(100, 100, 200, 200), 0x7C00, "floating"));
    PWScreen.show(4);
    gDrawn.clear();
    const kelRect area(150, 150, 250, 250);
    PWScreen.update(&area);
    EXPECT_EQ(gDrawn, (std::vector<std::string>{"back", "floating"}));
    EXPECT_EQ(shown(199, 199), 0x7C00);  // the higher panel on top
    EXPECT_EQ(shown(200, 200), 0x001F);
    EXPECT_EQ(shown(90, 90), 0);  // never refreshed: nothing shown there yet
}

TEST_F(ScreenCompose, TheLastControlDrawsLastAndAlways)
{
    panels[0].newCtrl(0, new SolidControl(kelRect(80, 60, 720, 540), 0x001F, "back"));
    panels[0].newCtrl(1, new SolidControl(kelRect(300, 300, 310, 310), 0x7C00, "bar"));
    panels[0].newCtrl(2, new SolidControl(kelRect(90, 90, 100, 100), 0x03E0, "small"));
    PWScreen.lastControl = 0;
    const kelRect area(300, 300, 305, 305);
    PWScreen.update(&area);
    EXPECT_EQ(gDrawn, (std::vector<std::string>{"bar", "back"}));
    EXPECT_EQ(shown(302, 302), 0x001F);  // the background drawn over the bar
}

TEST_F(ScreenCompose, CopiesAreCutToTheRefreshedArea)
{
    panels[0].newCtrl(0, new SolidControl(kelRect(100, 100, 300, 300), 0x7FFF, "white"));
    const kelRect area(150, 160, 170, 180);
    PWScreen.update(&area);
    EXPECT_EQ(shown(150, 160), 0x7FFF);
    EXPECT_EQ(shown(169, 179), 0x7FFF);
    EXPECT_EQ(shown(170, 179), 0);
    EXPECT_EQ(shown(149, 160), 0);
    // An area beyond the window is clamped to it; an empty one draws nothing.
    gDrawn.clear();
    const kelRect outside(900, 700, 1000, 800);
    PWScreen.update(&outside);
    EXPECT_TRUE(gDrawn.empty());
}

TEST_F(ScreenCompose, HidingAPanelShowsWhatLayBelow)
{
    panels[0].newCtrl(0, new SolidControl(kelRect(80, 60, 720, 540), 0x001F, "back"));
    panels[6].newCtrl(0, new SolidControl(kelRect(200, 200, 300, 300), 0x7C00, "browser"));
    PWScreen.show(6);
    EXPECT_EQ(shown(250, 250), 0x7C00);
    PWScreen.hide(6);
    EXPECT_EQ(shown(250, 250), 0x001F);
}

TEST_F(ScreenCompose, AGrowingWindowGrowsTheScreenImage)
{
    kelGlo.screenWidth = 1500;
    kelGlo.screenHeight = 500;
    PWScreen.resized();
    EXPECT_GE(PWScreen.image.size.h, 1500);
    EXPECT_GE(PWScreen.image.size.v, 600);  // never shrunk
    EXPECT_EQ(PWScreen.origin.h, 430);
    EXPECT_EQ(PWScreen.origin.v, 10);
}

}  // namespace
