// The effects panel as a person uses it: track 1's FX button opens it, the
// first slot gets the filter, its cutoff knob is dragged and wheeled, the
// second slot gets the delay and is bypassed; the groove is stored into the
// sequence, played and saved. What the device played is, sample for sample,
// what `--render --live` makes of the saved document; and what the panel
// did is heard: without the filter, or with the delay let in, the render is
// another.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "audio/fx/FxCatalog.h"
#include "audio/fx/FxKnob.h"
#include "core/kelFiles.h"
#include "e2e/GrooveSession.h"
#include "e2e/MixReference.h"
#include "library/BLDocument.h"
#include "support/TestSupport.h"

namespace groovee2e {
namespace {

constexpr int kBeat = 44100 * 60 / 126;
// The panel's place on the stage, and its first slot's controls (layout 22).
constexpr int kPanelX = 100, kPanelY = 80;
constexpr int kFxButtonX = 384 + 11;
constexpr int kChooserX = kPanelX + 16 + 60, kChooser1Y = kPanelY + 34 + 8 + 9, kChooser2Y = kChooser1Y + 132;
constexpr int kCutoffX = kPanelX + 14 + 70 + 13 + 20, kCutoffY = kPanelY + 34 + 52 + 20;
constexpr int kBypass2X = kPanelX + 222 + 10, kBypass2Y = kPanelY + 166 + 7 + 10;

using EffectsSession = GrooveSession;

std::vector<int16_t> render(testsupport::ProgramDir& dir, const std::string& doc, const std::string& out)
{
    const auto r = testsupport::run(
        {dir.program(), "--render", doc, "--live", "-o", dir.file(out), "--format", "wav"}, dir.path(), 300);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    return mixref::readWav16(dir.file(out));
}

std::string writeIce(testsupport::ProgramDir& dir, const std::string& name, const BLIceimage& ice)
{
    char kel[kKelPathMax + 1];
    EXPECT_TRUE(KEL_SystemPathToKelPath(dir.file(name).c_str(), kel));
    EXPECT_TRUE(BLDocument_Write(kel, ice, nullptr));
    return dir.file(name);
}

TEST_F(EffectsSession, WhatThePanelSetIsHeardAsTheLiveRenderOfTheSavedDocument)
{
    BLGroove groove;
    for (int t = 0; t < 3; ++t) groove.tracks[t] = BLTrack{100, 0, static_cast<int16_t>(t), 0};
    const std::string doc = writeDocument("fx.bld", "NightShift", groove, 126.0f);
    const std::string saved = dir.file("fx-saved.bld");
    const std::string shot = dir.file("panel.png");
    std::string script = "wait 700\nclick " + at(kFxButtonX, rowTop(0) + 10) + "\nwait 300\n";
    // The filter in the first slot, the delay in the second, chosen from
    // their lists (each choice blinks half a second before the list closes).
    script += "click " + at(kChooserX, kChooser1Y) + "\nwait 200\npress down\npress return\nwait 900\n";
    script += "click " + at(kChooserX, kChooser2Y) + "\nwait 200\npress down\npress down\npress return\n";
    // The cutoff: 40 pixels up, then three notches of the wheel down.
    script += "wait 900\ndrag " + at(kCutoffX, kCutoffY) + " " + at(kCutoffX, kCutoffY - 40) + " 8\n";
    script += "wait 100\nwheel " + at(kCutoffX, kCutoffY) + " -3\nwait 100\n";
    script += "click " + at(kBypass2X, kBypass2Y) + "\nwait 300\nscreenshot " + shot + "\n";
    // The panel closed; the groove stored and put in the sequence, played
    // for eight beats, saved.
    script += "press esc\nwait 300\nclick " + at(262 + 35, 358 + 11) + "\nwait 100\nclick " +
              at(262 + 35, 402 + 11) + "\n";
    script += "wait 300\npress space\nwaitsize " + std::to_string(4 * 10 * kBeat) + " " + capture +
              "\npress space\nwait 300\ndialog " + saved + "\nctrl s\nwait 600\nquit\n";
    const std::string log = runScript(script, doc);
    keepScreen(shot, "effects-session");

    BLIceimage ice;
    ASSERT_TRUE(readDocument(saved, ice)) << log;
    ASSERT_EQ(ice.sequence.length, 1) << log;
    const FxRackSettings& rack = ice.sequence.grooves[0].fx.racks[0];
    ASSERT_EQ(rack.slots[0].effect, "filter") << log;
    ASSERT_EQ(rack.slots[1].effect, "delay") << log;
    EXPECT_FALSE(rack.slots[0].bypass);
    EXPECT_TRUE(rack.slots[1].bypass);
    // The drag took the cutoff 40 of 240 up from its default, the wheel 18 down.
    const FxParamInfo& cutoff = Fx_Find("filter")->params[1];
    const float* set = rack.slots[0].param("cutoff");
    ASSERT_NE(set, nullptr);
    EXPECT_NEAR(Fx_PlaceOf(cutoff, *set), Fx_PlaceOf(cutoff, cutoff.deflt) + 22.0 / 240, 1.0 / 240) << *set;
    EXPECT_EQ(ice.groove.fx, ice.sequence.grooves[0].fx);

    const std::vector<int16_t> rendered = render(dir, saved, "live.wav");
    const std::vector<int16_t> sound = readCapture(capture);
    const int heard = firstSound(sound), made = firstSound(rendered);
    ASSERT_GE(heard, 0) << log;
    ASSERT_GE(made, 0);
    ASSERT_GE(heard, made);
    const size_t from = 2u * static_cast<size_t>(heard - made);
    // Eight beats of what was played, before Stop.
    const size_t length = 2u * 8 * kBeat;
    ASSERT_GE(sound.size(), from + length) << log;
    ASSERT_GE(rendered.size(), length);
    size_t first = 0;
    while (first < length && rendered[first] == sound[from + first]) ++first;
    EXPECT_EQ(first, length) << "first difference at frame " << first / 2;

    // What the panel set is heard: the same without the filter, or with
    // the delay not bypassed, renders another sound.
    BLIceimage dry = ice;
    dry.sequence.grooves[0].fx.racks[0].slots[0] = FxSlot{};
    EXPECT_NE(render(dir, writeIce(dir, "dry.bld", dry), "dry.wav"), rendered);
    BLIceimage echo = ice;
    echo.sequence.grooves[0].fx.racks[0].slots[1].bypass = false;
    EXPECT_NE(render(dir, writeIce(dir, "echo.bld", echo), "echo.wav"), rendered);
}

}  // namespace
}  // namespace groovee2e
