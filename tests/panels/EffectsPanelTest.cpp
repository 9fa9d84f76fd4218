// The effects panel on the real skin, where the end-to-end session cannot
// look: what it shows follows changes it did not make (MIDI, undo), and a
// plugin with more controls than knobs is paged through.
#include "audio/fx/FxCatalog.h"
#include "audio/fx/FxKnob.h"
#include "control/BLGrooveController.h"
#include "panels/BrowserHarness.h"
#include "panels/effects/BLEffectsPanel.h"

namespace {

using Fx = BLEffectsPanel;

class EffectsPanel : public browsertest::BrowserProgram {
protected:
    Fx* fx() const { return dynamic_cast<Fx*>(PWfloatPanelPtr[kPWEffectsPanel]); }
    std::string text(int16_t item) const
    {
        char t[256] = {};
        fx()->control(item)->getValue(t);
        return t;
    }
    int16_t value(int16_t item) const { return fx()->control(item)->get(); }
    void open(int16_t rack)
    {
        start();
        PWScreen.hide(kPWLoadPanel);
        ASSERT_NE(fx(), nullptr);
        fx()->openFor(rack);
        idleFor(50);
        ASSERT_TRUE(PWScreen.isVisible(kPWEffectsPanel));
    }
};

TEST_F(EffectsPanel, ShowsWhatMidiAndUndoDidToItsRack)
{
    open(2);
    EXPECT_EQ(text(Fx::kItemTitle), "Effects: track 3");
    EXPECT_EQ(text(Fx::item(0, Fx::kChooser)), "none");
    EXPECT_FALSE(fx()->control(Fx::item(0, Fx::kKnob))->visible);

    blGroove->setEffect(2, 0, "filter", BLOrigin::midi);
    blGroove->setEffectParam(2, 0, "cutoff", 500.0f, BLOrigin::midi);
    blGroove->setEffectBypass(2, 0, true, BLOrigin::midi);
    idleFor(50);  // the panel's idle pass looks at the groove
    const FxParamInfo& cutoff = Fx_Find("filter")->params[1];
    EXPECT_EQ(text(Fx::item(0, Fx::kChooser)), "Filter");
    EXPECT_EQ(text(Fx::item(0, Fx::kCaption + 1)), "Cutoff");
    EXPECT_EQ(text(Fx::item(0, Fx::kValue + 1)), "500 Hz");
    EXPECT_EQ(text(Fx::item(0, Fx::kValue)), "low-pass");
    EXPECT_EQ(value(Fx::item(0, Fx::kKnob + 1)), std::lround(Fx_PlaceOf(cutoff, 500.0f) * Fx::kKnobRange));
    EXPECT_EQ(value(Fx::item(0, Fx::kBypass)), 1);
    EXPECT_FALSE(fx()->control(Fx::item(0, Fx::kKnob + 3))->visible) << "the filter has three controls";

    blGroove->undoWork();  // the bypass
    blGroove->undoWork();  // the cutoff
    idleFor(50);           // the panel's idle pass looks at the groove
    EXPECT_EQ(value(Fx::item(0, Fx::kBypass)), 0);
    EXPECT_EQ(text(Fx::item(0, Fx::kValue + 1)), "1000 Hz");
    blGroove->undoWork();
    idleFor(50);  // the panel's idle pass looks at the groove
    EXPECT_EQ(text(Fx::item(0, Fx::kChooser)), "none");
    EXPECT_FALSE(fx()->control(Fx::item(0, Fx::kKnob))->visible);

    // A turn, then a double click: the default exactly, not the knob's step near it.
    blGroove->setEffect(2, 0, "filter");
    idleFor(50);
    const kelRect k = fx()->control(Fx::item(0, Fx::kKnob + 1))->rect;
    const int x = (k.left + k.right) / 2, y = (k.top + k.bottom) / 2;
    script(testsupport::join("drag ", x, " ", y, " ", x, " ", y - 30, " 3\nwait 100\n"));
    ASSERT_NE(blGroove->effectSlot(2, 0).param("cutoff"), nullptr);
    EXPECT_GT(*blGroove->effectSlot(2, 0).param("cutoff"), 1500.0f);
    // Past the double-click time from the drag's press, so the pair is the double click.
    script(testsupport::join("wait 700\nclick ", x, " ", y, "\nwait 60\nclick ", x, " ", y, "\n"));
    EXPECT_EQ(*blGroove->effectSlot(2, 0).param("cutoff"), 1000.0f);
    EXPECT_EQ(text(Fx::item(0, Fx::kValue + 1)), "1000 Hz");

    // While MIDI learn waits, a click on a knob picks it and moves nothing.
    blGroove->learnKey();
    ASSERT_TRUE(blGroove->learning());
    script(testsupport::join("wait 700\ndrag ", x, " ", y, " ", x, " ", y - 30, " 3\n"));
    EXPECT_TRUE(blGroove->learnPicked());
    EXPECT_EQ(*blGroove->effectSlot(2, 0).param("cutoff"), 1000.0f);
    blGroove->learnCancel();
}

TEST_F(EffectsPanel, APluginsControlsPastTheSixKnobsAreOnItsNextPages)
{
    open(kFxMain);
    EXPECT_EQ(text(Fx::kItemTitle), "Effects: main mix");
    const FxEffectInfo* many = nullptr;
    for (const FxEffectInfo& e : Fx_Plugins())
        if (e.unusable.empty() && e.params.size() > Fx::kKnobs) {
            many = &e;
            break;
        }
    ASSERT_NE(many, nullptr) << "mda-lv2 and swh-lv2 have plugins of more than six controls";
    blGroove->setEffect(kFxMain, 1, many->name);
    idleFor(50);  // the panel's idle pass looks at the groove
    const int16_t pages = static_cast<int16_t>((many->params.size() + Fx::kKnobs - 1) / Fx::kKnobs);
    ASSERT_TRUE(fx()->control(Fx::item(1, Fx::kPage))->visible);
    EXPECT_EQ(text(Fx::item(1, Fx::kPageWords)), testsupport::join("Page 1 of ", pages));
    EXPECT_EQ(fx()->knobParam(1, 0), &many->params[0]);
    EXPECT_FALSE(fx()->control(Fx::item(0, Fx::kPage))->visible);

    const kelRect r = fx()->control(Fx::item(1, Fx::kPage))->rect;
    script(testsupport::join("click ", (r.left + r.right) / 2, " ", (r.top + r.bottom) / 2, "\n"));
    EXPECT_EQ(text(Fx::item(1, Fx::kPageWords)), testsupport::join("Page 2 of ", pages));
    ASSERT_EQ(fx()->knobParam(1, 0), &many->params[Fx::kKnobs]);
    EXPECT_EQ(text(Fx::item(1, Fx::kCaption)), many->params[Fx::kKnobs].label);
    // The wheel over the first knob of this page moves that control.
    const kelRect k = fx()->control(Fx::item(1, Fx::kKnob))->rect;
    const int16_t before = value(Fx::item(1, Fx::kKnob));
    script(testsupport::join("wheel ", (k.left + k.right) / 2, " ", (k.top + k.bottom) / 2,
                             before > 0 ? " -1\n" : " 1\n"));
    const int16_t after = value(Fx::item(1, Fx::kKnob));
    EXPECT_NE(after, before);
    const FxParamInfo& p = many->params[Fx::kKnobs];
    const float* set = blGroove->effectSlot(kFxMain, 1).param(p.name);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(*set, Fx_ValueAt(p, static_cast<double>(after) / (Fx_StepCount(p) > 1
                                                                    ? (Fx_StepCount(p) - 1) * Fx::kStepUnits
                                                                    : Fx::kKnobRange)));
}

}  // namespace
