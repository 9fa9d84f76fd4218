// The help mode over the real skin and its help table, with the tick clock
// in the test's hands: the delays of roll-over help, the tour and the
// tooltip, switching between the modes, and a table with nothing in it.
#include <filesystem>

#include "control/BLPlayer.h"
#include "core/BLInternational.h"
#include "library/BLprefs.h"
#include "panels/BrowserHarness.h"
#include "panels/groove/BLGrooveItems.h"
#include "panels/help/BLHelps.h"
#include "support/TestSupport.h"
#include "ui/kelPanProCtrls.h"

namespace {

using browsertest::BrowserProgram;

class Helps : public BrowserProgram {
protected:
    void SetUp() override
    {
        BrowserProgram::SetUp();
        start();
        PWScreen.hide(kPWLoadPanel);
        blPrefs.tooltips = 1;
    }
    BLHelps& help() { return *blHelpp; }
    // The mouse on the middle of a control, at tick `t`, and one idle pass.
    void at(int16_t panel, int16_t item, uint32_t t)
    {
        const kelRect r = PWfloatPanelPtr[panel]->control(item)->rect;
        kelGlo.mouseX = static_cast<int16_t>((r.left + r.right) / 2);
        kelGlo.mouseY = static_cast<int16_t>((r.top + r.bottom) / 2);
        tick(t);
    }
    void tick(uint32_t t)
    {
        kelGlo.ticks = t;
        help().idle();
    }
    int16_t entryOf(int16_t panel, int16_t item, bool rollover) const
    {
        for (int16_t i = 0; i < blHelpp->count; ++i) {
            const BLHelps::Entry& e = blHelpp->entries[i];
            if (e.panel == panel && e.item == item && (e.rollover != 0) == rollover) return i;
        }
        return -1;
    }
    int16_t helpButtonImage() const
    {
        const auto* c = dynamic_cast<const panProImageControl*>(
            PWfloatPanelPtr[kPWGroovePanel]->control(grooveitem::help));
        return c ? c->imageIndex : -1;
    }
    bool overlay()
    {
        kelRect r;
        return help().overlayRect(r);
    }
};

TEST_F(Helps, RollOverWaitsSixtyTicksThenFollowsEveryTwenty)
{
    const int16_t play = entryOf(kPWGroovePanel, grooveitem::play, true);
    const int16_t tap = entryOf(kPWGroovePanel, grooveitem::tap, true);
    ASSERT_GE(play, 0);
    ASSERT_GE(tap, 0);

    at(kPWGroovePanel, grooveitem::play, 1000);
    help().toggle(1);
    EXPECT_TRUE(help().on && help().rollover);
    EXPECT_EQ(blPlayer->helpModeDisplay, 1);
    tick(1059);
    EXPECT_EQ(help().current, -1);
    EXPECT_FALSE(overlay());
    tick(1060);
    EXPECT_EQ(help().current, play);
    EXPECT_TRUE(overlay());
    // Over another control: the bubble follows once 20 ticks have passed.
    at(kPWGroovePanel, grooveitem::tap, 1079);
    EXPECT_EQ(help().current, play);
    at(kPWGroovePanel, grooveitem::tap, 1080);
    EXPECT_EQ(help().current, tap);
    // Off every control: no bubble.
    kelGlo.mouseX = static_cast<int16_t>(PWScreen.stage.left + 630);
    kelGlo.mouseY = static_cast<int16_t>(PWScreen.stage.top + 470);
    tick(1100);
    EXPECT_EQ(help().current, -1);

    // A control under another panel explains nothing: the browser covers it.
    PWScreen.show(kPWLoadPanel);
    const kelRect browser = PWfloatPanelPtr[kPWLoadPanel]->background()->rect;
    const int16_t under =
        BLHelps::panelAt(static_cast<int16_t>(browser.left + 40), static_cast<int16_t>(browser.top + 60));
    EXPECT_EQ(under, kPWLoadPanel);
    at(kPWLoadPanel, BLLoadPanel::kItemLoad, 1200);
    EXPECT_EQ(help().current, entryOf(kPWLoadPanel, BLLoadPanel::kItemLoad, true));
}

TEST_F(Helps, ToggleSwitchesOffOrBetweenModes)
{
    help().toggle(1);
    help().toggle(1);  // the same key again: off
    EXPECT_FALSE(help().on);
    EXPECT_EQ(blPlayer->helpModeDisplay, -1);
    help().toggle(1);
    help().toggleTour(kPWGroovePanel);  // the other way: the tour at once
    EXPECT_TRUE(help().on);
    EXPECT_FALSE(help().rollover);
    EXPECT_EQ(blPlayer->helpModeDisplay, 0);
    help().toggle(1);  // and back to roll-over
    EXPECT_TRUE(help().on && help().rollover);
    help().toggle(1);
    EXPECT_FALSE(help().on);
    // The groove panel's help button lights while help is on.
    help().toggleTour(kPWGroovePanel);
    EXPECT_EQ(helpButtonImage(), 2);
    BL_HelpButton(kPWGroovePanel);
    EXPECT_FALSE(help().on);
    EXPECT_EQ(helpButtonImage(), 1);
}

TEST_F(Helps, TheTourMovesOnSixtyTicksAfterTheExplainedClick)
{
    kelGlo.ticks = 5000;
    help().toggleTour(kPWGroovePanel);
    ASSERT_EQ(help().current, 0);
    const BLHelps::Entry first = help().entries[0];
    EXPECT_EQ(first.rollover, 0);
    // The step's panel is shown for it: the song browser and its Load button.
    EXPECT_EQ(first.panel, kPWLoadPanel);
    EXPECT_EQ(first.item, BLLoadPanel::kItemLoad);
    EXPECT_TRUE(PWScreen.isVisible(kPWLoadPanel));
    EXPECT_TRUE(overlay());

    help().hit(kPWLoadPanel, BLLoadPanel::kItemFirstLine);  // not the explained control
    EXPECT_EQ(help().timer, 0u);
    help().hit(kPWLoadPanel, BLLoadPanel::kItemLoad);
    EXPECT_EQ(help().timer, 5060u);
    kelGlo.ticks = 5030;
    help().hit(kPWLoadPanel, BLLoadPanel::kItemLoad);  // again before the delay: nothing
    EXPECT_EQ(help().timer, 5060u);
    tick(5059);
    EXPECT_EQ(help().current, 0);
    tick(5060);
    EXPECT_EQ(help().current, 1);
    EXPECT_EQ(help().timer, 0u);

    // The last step of a tour leads nowhere: the next entry is another tour's.
    int16_t last = help().current;
    while (last + 1 < help().count && !help().entries[last + 1].rollover &&
           help().entries[last + 1].tour == help().entries[last].tour)
        ++last;
    help().current = last;
    help().hit(help().entries[last].panel, help().entries[last].item);
    EXPECT_EQ(help().timer, 0u);

    // The virtual mix's button starts the virtual mix's own tour.
    help().stop();
    PWScreen.show(kPWVMixPanel);
    help().toggleTour(kPWVMixPanel);
    ASSERT_GE(help().current, 0);
    EXPECT_EQ(help().entries[help().current].tour, kPWVMixPanel);
    EXPECT_EQ(help().entries[help().current].panel, kPWVMixPanel);
}

TEST_F(Helps, TooltipAfterASecondAtRestUnlessThePreferencesSayNo)
{
    PWScreen.show(kPWLoadPanel);
    const int16_t load = entryOf(kPWLoadPanel, BLLoadPanel::kItemLoad, true);
    at(kPWLoadPanel, BLLoadPanel::kItemLoad, 2000);
    tick(2059);
    EXPECT_EQ(help().tooltip, -1);
    tick(2060);
    EXPECT_EQ(help().tooltip, load);
    EXPECT_TRUE(overlay());
    // A click takes it away until the mouse has rested again.
    help().hit(kPWLoadPanel, BLLoadPanel::kItemLoad);
    tick(2200);
    EXPECT_EQ(help().tooltip, -1);
    at(kPWLoadPanel, BLLoadPanel::kItemDelete, 2300);
    tick(2360);
    EXPECT_EQ(help().tooltip, entryOf(kPWLoadPanel, BLLoadPanel::kItemDelete, true));
    // It goes with its panel, the mouse still.
    PWScreen.hide(kPWLoadPanel);
    EXPECT_EQ(help().tooltip, -1);
    EXPECT_FALSE(overlay());
    PWScreen.show(kPWLoadPanel);
    // Help mode has bubbles instead.
    help().toggle(1);
    EXPECT_EQ(help().tooltip, -1);
    help().toggle(1);

    help().setTooltips(false);
    EXPECT_EQ(blPrefs.tooltips, 0);
    at(kPWLoadPanel, BLLoadPanel::kItemLoad, 3000);
    tick(3500);
    EXPECT_EQ(help().tooltip, -1);
    EXPECT_FALSE(overlay());
    help().setTooltips(true);

    // The groove panel's hint line names its controls: no tooltip there.
    PWScreen.hide(kPWLoadPanel);
    at(kPWGroovePanel, grooveitem::tap, 4000);
    tick(4100);
    EXPECT_EQ(help().tooltip, -1);
}

TEST_F(Helps, TheHintLineSaysHowHelpModeWorksWhileItIsOn)
{
    PWPanelClass* groove = PWfloatPanelPtr[kPWGroovePanel];
    auto hint = [&] {
        groove->onIdle();
        char text[512] = {};
        groove->control(grooveitem::hint)->getValue(text);
        return std::string(text);
    };
    at(kPWGroovePanel, grooveitem::tap, 100);
    const std::string tap = hint();
    EXPECT_EQ(tap.rfind("Tap four times", 0), 0u) << tap;
    help().toggle(1);
    EXPECT_EQ(hint(), blIntl.message(279).c_str());
    help().toggleTour(kPWGroovePanel);
    EXPECT_EQ(hint(), blIntl.message(280).c_str());
    // Escape ends help mode, and the line names the control again.
    EXPECT_TRUE(help().escape());
    EXPECT_FALSE(help().on);
    EXPECT_FALSE(help().escape());
    PWScreen.hide(kPWLoadPanel);  // shown for the tour's first step
    EXPECT_EQ(hint(), tap);
}

TEST_F(Helps, APageOfBLHelpsXrsStandsForAnEntrysText)
{
    // Any resource file with a cast numbered 1000 + entry will do: the
    // skin's own holds 1000, the page of entry 0.
    std::filesystem::copy_file(testsupport::programDir() + "/Beatloom.xrs", "BLHelps.xrs");
    help().init(&PWCasts, 0);
    ASSERT_EQ(help().pagesOpen, 1);
    help().toggleTour(kPWGroovePanel);
    ASSERT_EQ(help().current, 0);
    kelRect bubble, control;
    kelPoint text;
    ASSERT_TRUE(help().placeOf(0, bubble, text, control));
    PWScreen.update(&PWScreen.windowRect);
    KelOneCast* page = PWCasts.castAt(PWCasts.MPixIDtoIndex(BLHelps::kPageBase));
    ASSERT_NE(page, nullptr);
    page->LoadAvailable();
    EXPECT_EQ(PWScreen.image.getPixel(static_cast<int16_t>(text.h + 20), static_cast<int16_t>(text.v + 20)),
              page->image.getPixel(20, 20));
}

TEST_F(Helps, AnEmptyTableShowsNothingInEitherMode)
{
    EXPECT_FALSE(help().loadTable("", 0));
    EXPECT_EQ(help().count, 0);
    at(kPWGroovePanel, grooveitem::play, 100);
    help().toggle(1);
    tick(400);
    EXPECT_EQ(help().current, -1);
    EXPECT_FALSE(overlay());
    help().toggle(1);
    help().toggleTour(kPWGroovePanel);
    EXPECT_TRUE(help().on);
    EXPECT_EQ(help().current, -1);
    EXPECT_FALSE(overlay());
    help().hit(kPWGroovePanel, grooveitem::play);
    tick(1000);
    EXPECT_FALSE(overlay());
    help().stop();
    at(kPWGroovePanel, grooveitem::play, 2000);
    tick(3000);
    EXPECT_EQ(help().tooltip, -1);

    // Tables by text set, each ended by an empty line; lines that do not
    // parse are left out, and no more than 500 entries are taken.
    const std::string good = "0]110]0]3]-90]20]-82]25]1]0]Play";
    EXPECT_TRUE(help().loadTable(good + "\r\r" + good + "\n" + good + "\r\n\r\n", 1));
    EXPECT_EQ(help().count, 2);
    EXPECT_STREQ(help().entries[1].lines[0], "Play");
    EXPECT_FALSE(help().loadTable(good + "\r\r", 1));
    std::string table = "x]110]0]3\r0]110]99]3]0]0]0]0]1]0]Bad panel\r";
    for (int i = 0; i < 600; ++i) table += good + "\r";
    EXPECT_TRUE(help().loadTable(table, 0));
    EXPECT_EQ(help().count, BLHelps::kMaxEntries);
}

}  // namespace
