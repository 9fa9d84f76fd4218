// The loop tuner's knobs as settings and texts, and the panel on the real
// skin: its knobs turned by dragging, a loop loaded, played and silenced.
#include "audio/BLEngine.h"
#include "control/BLPlayer.h"
#include "panels/BrowserHarness.h"
#include "panels/tuner/BLLoopTunerPanel.h"

namespace {

using Tuner = BLLoopTunerPanel;

Tuner::Reading withKnob(int16_t knob, int16_t value, int16_t other = -1, int16_t otherValue = 0)
{
    int16_t k[Tuner::kKnobCount];
    Tuner::restValues(k);
    k[knob] = value;
    if (other >= 0) k[other] = otherValue;
    return Tuner::read(k, true);
}

TEST(LoopTunerKnobs, TurnIntoTheSettingsAndTheirTexts)
{
    // Bars: -50 one bar; 0 just short of index 2, so two; +1 four; +50 eight.
    const std::pair<int16_t, int16_t> bars[] = {{-50, 1}, {-25, 1}, {-24, 2}, {0, 2},
                                                {1, 4},   {25, 4},  {26, 8},  {50, 8}};
    for (const auto& [knob, want] : bars) EXPECT_EQ(withKnob(Tuner::kBars, knob).settings.bars, want) << knob;

    EXPECT_FLOAT_EQ(withKnob(Tuner::kSpeedCoarse, -25).settings.rate, 0.75f);
    EXPECT_FLOAT_EQ(withKnob(Tuner::kSpeedCoarse, 25).settings.rate, 1.5f);
    EXPECT_FLOAT_EQ(withKnob(Tuner::kSpeedCoarse, -50).settings.rate, 0.5f);
    EXPECT_FLOAT_EQ(withKnob(Tuner::kSpeedCoarse, 50).settings.rate, 2.0f);
    EXPECT_STREQ(withKnob(Tuner::kSpeedCoarse, 50).text[Tuner::kSpeedValue], "2.00");

    EXPECT_FLOAT_EQ(withKnob(Tuner::kStartCoarse, -50, Tuner::kStartFine, -50).settings.start, 0.0f);
    EXPECT_FLOAT_EQ(withKnob(Tuner::kEndCoarse, 50, Tuner::kEndFine, 50).settings.end, 100.0f);
    EXPECT_NEAR(withKnob(Tuner::kStartCoarse, -40, Tuner::kStartFine, 25).settings.start, 10.25f, 1e-4);
    // Offset runs over one period: a whole one at +50 with 8 bars.
    EXPECT_FLOAT_EQ(withKnob(Tuner::kOffset, 50, Tuner::kBars, 50).settings.offset, 8.0f);

    // At rest: 1 bar, offset 0, the whole sound, its own speed, half volume.
    int16_t k[Tuner::kKnobCount];
    Tuner::restValues(k);
    const Tuner::Reading r = Tuner::read(k, false);
    EXPECT_EQ(r.settings.enabled, 0);
    EXPECT_EQ(r.settings.bars, 1);
    EXPECT_FLOAT_EQ(r.settings.offset, 0.0f);
    EXPECT_FLOAT_EQ(r.settings.start, 0.0f);
    EXPECT_FLOAT_EQ(r.settings.end, 100.0f);
    EXPECT_FLOAT_EQ(r.settings.rate, 1.0f);
    EXPECT_FLOAT_EQ(r.settings.gain, 0.5f);
    EXPECT_STREQ(r.text[Tuner::kBarsValue], "1");
    EXPECT_STREQ(r.text[Tuner::kOffsetValue], "0.00");
    EXPECT_STREQ(r.text[Tuner::kStartValue], "0.00%");
    EXPECT_STREQ(r.text[Tuner::kEndValue], "100.00%");
    EXPECT_STREQ(r.text[Tuner::kSpeedValue], "1.00");
}

class TunerPanel : public browsertest::BrowserProgram {
protected:
    Tuner* tuner() const { return dynamic_cast<Tuner*>(PWfloatPanelPtr[kPWLoopTunerPanel]); }
    kelRect rectOf(int16_t item) const { return tuner()->control(item)->rect; }
    void clickTuner(int16_t item)
    {
        const kelRect r = rectOf(item);
        script(testsupport::join("click ", (r.left + r.right) / 2, " ", (r.top + r.bottom) / 2, "\n"));
    }
    // Drags a knob `dy` pixels up (negative: down), with Shift when asked.
    void turn(int16_t item, int dy, bool shift = false)
    {
        const kelRect r = rectOf(item);
        const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
        std::string s = shift ? "keydown shift\n" : "";
        s += testsupport::join("down ", x, " ", y, "\nwait 30\nmove ", x, " ", y - dy / 2, "\nwait 30\nmove ",
                               x, " ", y - dy, "\nwait 30\nup ", x, " ", y - dy, "\n");
        if (shift) s += "keyup shift\n";
        script(s);
    }
    std::string text(int16_t item) const
    {
        char t[256] = {};
        tuner()->control(item)->getValue(t);
        return t;
    }
};

TEST_F(TunerPanel, KnobsTurnByDraggingAndTheLoopPlaysAndFallsSilent)
{
    start();
    PWScreen.hide(kPWLoadPanel);
    PWScreen.show(kPWLoopTunerPanel);
    pump();
    Tuner* t = tuner();
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(PWScreen.isVisible(kPWLoopTunerPanel));
    EXPECT_EQ(text(Tuner::kItemFirstValue + Tuner::kBarsValue), "1");
    EXPECT_EQ(text(Tuner::kItemFirstValue + Tuner::kVolumeValue), "50%");

    turn(Tuner::kItemFirstKnob + Tuner::kBars, 51);
    EXPECT_EQ(t->knobs[Tuner::kBars], 1);
    EXPECT_EQ(text(Tuner::kItemFirstValue + Tuner::kBarsValue), "4");
    EXPECT_EQ(vetroRenderData.bars, 4) << "the engine has the settings";
    turn(Tuner::kItemFirstKnob + Tuner::kSpeedCoarse, -25);
    EXPECT_FLOAT_EQ(vetroRenderData.rate, 0.75f);
    turn(Tuner::kItemFirstKnob + Tuner::kSpeedFine, 40, true);
    EXPECT_EQ(t->knobs[Tuner::kSpeedFine], 10) << "Shift turns a step every four pixels";
    turn(Tuner::kItemFirstKnob + Tuner::kVolume, 200);
    EXPECT_EQ(t->knobs[Tuner::kVolume], 100) << "held at its end";
    EXPECT_FLOAT_EQ(vetroRenderData.loopGain, 1.0f);

    // A loop from a file: it sounds; Play and Stop silence it.
    const std::string file = dir.file("sine.wav");
    ASSERT_TRUE(testsupport::writeFile(file, browsertest::sineWave(44100, 440)));
    script("dialog " + file + "\n");
    clickTuner(Tuner::kItemLoad);
    for (int i = 0; i < 400 && !t->hasLoop; ++i) idleFor(10);
    ASSERT_TRUE(t->hasLoop);
    EXPECT_EQ(std::string(t->loopName), "sine");
    EXPECT_EQ(vetroGlobalData.loopFrames, 44100);
    EXPECT_TRUE(t->audible);
    EXPECT_EQ(vetroRenderData.active, 1);
    clickTuner(Tuner::kItemPlay);
    EXPECT_FALSE(t->audible);
    EXPECT_EQ(vetroRenderData.active, 0);
    clickTuner(Tuner::kItemPlay);
    EXPECT_EQ(vetroRenderData.active, 1);
    clickTuner(Tuner::kItemStop);
    EXPECT_EQ(vetroRenderData.active, 0);

    // A loop whose name gives its tempo is fitted as it arrives: 2 s at
    // 90 BPM is one bar; the speed brings it to the reference tempo (no song: 120).
    const std::string named = dir.file("beat_90bpm.wav");
    ASSERT_TRUE(testsupport::writeFile(named, browsertest::sineWave(88200, 220)));
    script("dialog " + named + "\n");
    clickTuner(Tuner::kItemLoad);
    for (int i = 0; i < 400 && std::string(t->loopName) != "beat_90bpm"; ++i) idleFor(10);
    EXPECT_EQ(text(Tuner::kItemFirstValue + Tuner::kBarsValue), "1");
    EXPECT_NEAR(vetroRenderData.rate, 120.0 / 90.0, 0.01);
    EXPECT_EQ(text(Tuner::kItemStatus), "Loop 90 BPM (its name): 1 bar, at 120 BPM.");
    turn(Tuner::kItemFirstKnob + Tuner::kSpeedCoarse, -30);
    EXPECT_NE(text(Tuner::kItemStatus).find(", at "), std::string::npos);
    clickTuner(Tuner::kItemFit);
    EXPECT_NEAR(vetroRenderData.rate, 120.0 / 90.0, 0.01) << "Fit puts it back";

    // Closed by its button or by Escape, the panel goes and the loop stays,
    // sounding as it did; opened again, it shows the loop and its knobs.
    for (const char* how : {"button", "esc"}) {
        if (std::string(how) == "esc")
            script("press esc\n");
        else
            clickTuner(Tuner::kItemClose);
        EXPECT_FALSE(PWScreen.isVisible(kPWLoopTunerPanel)) << how;
        EXPECT_EQ(vetroGlobalData.loopFrames, 88200) << how;
        EXPECT_EQ(vetroRenderData.active, 1) << how;
        PWScreen.show(kPWLoopTunerPanel);
        pump();
        EXPECT_TRUE(t->hasLoop) << how;
        EXPECT_EQ(text(Tuner::kItemName).substr(0, 10), "beat_90bpm") << how;
        EXPECT_EQ(t->knobs[Tuner::kVolume], 100) << how;
        EXPECT_EQ(text(Tuner::kItemFirstValue + Tuner::kBarsValue), "1") << how;
        EXPECT_EQ(vetroRenderData.active, 1) << how;
    }
}

// Fitted, a loop plays its bars in exactly the groove's bars: 90 BPM brought
// to 120 is 4/3 of its speed, not the nearest the knobs show; a turn of the
// knobs plays what they show, and Fit brings the exact speed back.
TEST_F(TunerPanel, AFittedLoopTakesExactlyItsBars)
{
    start();
    PWScreen.hide(kPWLoadPanel);
    PWScreen.show(kPWLoopTunerPanel);
    pump();
    Tuner* t = tuner();
    ASSERT_NE(t, nullptr);
    const std::string named = dir.file("kick_90bpm.wav");
    ASSERT_TRUE(testsupport::writeFile(named, browsertest::sineWave(117600, 110)));
    script("dialog " + named + "\n");
    clickTuner(Tuner::kItemLoad);
    for (int i = 0; i < 400 && std::string(t->loopName) != "kick_90bpm"; ++i) idleFor(10);
    ASSERT_EQ(std::string(t->loopName), "kick_90bpm");
    EXPECT_EQ(vetroRenderData.bars, 1);
    EXPECT_NEAR(vetroRenderData.rate, 4.0 / 3.0, 1e-6);
    EXPECT_EQ(text(Tuner::kItemFirstValue + Tuner::kSpeedValue), "1.33");
    for (int16_t k : {Tuner::kSpeedCoarse, Tuner::kSpeedFine})
        EXPECT_LE(std::abs(t->knobs[k]), 50) << "each knob within its own range";

    turn(Tuner::kItemFirstKnob + Tuner::kSpeedFine, 4, true);
    EXPECT_FLOAT_EQ(vetroRenderData.rate, Tuner::read(t->knobs, true).settings.rate) << "what the knobs show";
    clickTuner(Tuner::kItemFit);
    EXPECT_NEAR(vetroRenderData.rate, 4.0 / 3.0, 1e-6) << "Fit puts the exact speed back";
}

}  // namespace
