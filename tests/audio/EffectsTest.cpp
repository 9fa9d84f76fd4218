// The effect slots: settings taken whole or said why not, the same effect
// gliding and another crossing over, changes landing on their frame, and
// the mixer's tracks back to the plain mix, to the sample, once emptied.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "audio/EngineFixture.h"
#include "audio/fx/FxLimiter.h"
#include "audio/fx/FxRack.h"

using namespace enginetest;

namespace {

FxSlot slotOf(const std::string& text)
{
    FxSlot s;
    std::string problem;
    EXPECT_TRUE(FxSlot_FromText(text, &s, &problem)) << problem;
    return s;
}

bool has(const std::vector<FxNote>& notes, FxNote::Kind kind, const std::string& detail = "")
{
    for (const FxNote& n : notes)
        if (n.kind == kind && (detail.empty() || n.detail == detail)) return true;
    return false;
}

// n frames of a constant on both sides through a rack, from `frame`.
std::vector<float> runConstant(FxRack& rack, float value, int n, int64_t frame)
{
    std::vector<float> l(n, value), r(n, value);
    for (int done = 0; done < n; done += kFxMaxBlock) {
        const int k = std::min(kFxMaxBlock, n - done);
        rack.runFrom(l.data() + done, r.data() + done, k, FxContext{}, frame + done);
    }
    return l;
}

TEST(FxSettings, TheTextFormReadsValuesFractionsAndChoicesAndSaysWhatItCannot)
{
    const FxSlot d = slotOf("delay:time=3/16,feedback=0.5,pingpong=1");
    EXPECT_EQ(d.effect, "delay");
    EXPECT_FLOAT_EQ(*d.param("time"), 0.1875f);
    EXPECT_EQ(*d.param("pingpong"), 1.0f);
    const FxSlot f = slotOf("filter:type=bandpass,cutoff=440");
    EXPECT_EQ(*f.param("type"), 2.0f);
    EXPECT_EQ(FxSlot_ToText(f), "filter:type=bandpass,cutoff=440");
    EXPECT_TRUE(slotOf("reverb").params.empty());
    const FxSlot p = slotOf("http://drobilla.net/plugins/mda/Delay:feedback=0.25");
    EXPECT_TRUE(p.isPlugin());
    EXPECT_EQ(p.effect, "http://drobilla.net/plugins/mda/Delay");

    FxSlot s;
    std::string why;
    EXPECT_FALSE(FxSlot_FromText("filter:type=notch", &s, &why));
    EXPECT_NE(why.find("no value type takes"), std::string::npos) << why;
    EXPECT_FALSE(FxSlot_FromText("limiter:ceiling=3", &s, &why));
    EXPECT_NE(why.find("goes from -24 to 0"), std::string::npos) << why;
    EXPECT_FALSE(FxSlot_FromText("filter:cutoff", &s, &why));
    EXPECT_FALSE(FxSlot_FromText("", &s, &why));
    float v = 0;
    EXPECT_TRUE(FxParam_FromText("filter", "type", "highpass", &v, &why));
    EXPECT_EQ(v, 1.0f);
    EXPECT_FALSE(FxParam_FromText("filter", "time", "1/4", &v, &why));
}

TEST(FxSettings, WhatCannotBeTakenIsSaidAndKeptWhole)
{
    FxBoard board;
    FxSlot unknown;
    unknown.effect = "chorus";
    unknown.params = {{"depth", 0.3f}};
    EXPECT_TRUE(has(board.set(0, 0, unknown, kFxAtOnce, {}), FxNote::unknownEffect));

    FxSlot missing;
    missing.effect = "urn:beatloom-test:not-installed";
    missing.params = {{"gain", 2.0f}};
    missing.state = "<state> of a plugin that went away";
    EXPECT_TRUE(has(board.set(1, 1, missing, kFxAtOnce, {}), FxNote::missingPlugin));

    FxSlot deaf;
    deaf.effect = "http://drobilla.net/plugins/mda/DX10";  // an instrument: no audio input
    EXPECT_TRUE(has(board.set(2, 0, deaf, kFxAtOnce, {}), FxNote::unusablePlugin, "has no audio input"));

    FxSlot wild;
    wild.effect = "filter";
    wild.params = {{"cutoff", 1e9f}, {"resonance", NAN}, {"colour", 4.0f}};
    const std::vector<FxNote> notes = board.set(kFxMain, 0, wild, kFxAtOnce, {});
    EXPECT_TRUE(has(notes, FxNote::outOfRange, "cutoff"));
    EXPECT_TRUE(has(notes, FxNote::outOfRange, "resonance"));
    EXPECT_TRUE(has(notes, FxNote::unknownParam, "colour"));

    FxSlot damaged = slotOf("http://drobilla.net/plugins/mda/Delay");
    damaged.state = "@prefix broken <";
    EXPECT_TRUE(has(board.set(3, 0, damaged, kFxAtOnce, {}), FxNote::badState));

    // None of them plays, but for the filter (held to its range) and the
    // plugin (without its state); and every one comes back as it came.
    EXPECT_FALSE(board.rack(0).busy());
    EXPECT_FALSE(board.rack(1).busy());
    EXPECT_FALSE(board.rack(2).busy());
    EXPECT_TRUE(board.rack(kFxMain).busy());
    EXPECT_TRUE(board.rack(3).busy());
    EXPECT_EQ(board.capture(0, 0), unknown);
    EXPECT_EQ(board.capture(1, 1), missing);
    EXPECT_EQ(board.capture(2, 0), deaf);
    EXPECT_EQ(board.capture(3, 0), damaged);
    const FxSlot back = board.capture(kFxMain, 0);
    EXPECT_EQ(*back.param("cutoff"), 1e9f);
    EXPECT_EQ(*back.param("colour"), 4.0f);
    // A parameter of a plugin that is not there is kept for when it is.
    EXPECT_TRUE(board.setParam(1, 1, "gain", 3.0f));
    EXPECT_EQ(*board.slot(1, 1).param("gain"), 3.0f);
}

TEST(FxBoard, TheSameEffectGlidesToNewValuesAndAnotherCrossesOver)
{
    FxBoard board;
    FxRack& rack = board.rack(0);
    board.set(0, 0, slotOf("filter:type=highpass,cutoff=100"), kFxAtOnce, {});
    EXPECT_EQ(board.unitsHeld(), 1u);
    // A high-pass takes a constant away.
    std::vector<float> out = runConstant(rack, 0.5f, 44100, 0);
    EXPECT_LT(std::fabs(out.back()), 1e-3);
    // New values for the same effect: the same unit, no second one.
    board.set(0, 0, slotOf("filter:type=lowpass,cutoff=100"), kFxAtOnce, {});
    EXPECT_EQ(board.unitsHeld(), 1u);
    out = runConstant(rack, 0.5f, 44100, 44100);
    EXPECT_NEAR(out.back(), 0.5f, 1e-3);
    // Another effect: a new unit; the old one is let go of once crossed over.
    board.set(0, 0, slotOf("delay:time=1/4,mix=0"), kFxAtOnce, {});
    EXPECT_EQ(board.unitsHeld(), 2u);
    runConstant(rack, 0.5f, 4096, 88200);
    board.service();
    EXPECT_EQ(board.unitsHeld(), 1u);
    // Emptied: after its crossing over nothing runs, and nothing is held.
    board.clear(0, 0);
    runConstant(rack, 0.5f, 4096, 92296);
    board.service();
    EXPECT_FALSE(rack.busy());
    EXPECT_EQ(board.unitsHeld(), 0u);
    // One never taken is freed when a newer takes its place.
    board.set(0, 1, slotOf("reverb"), kFxAtOnce, {});
    board.set(0, 1, slotOf("limiter"), kFxAtOnce, {});
    EXPECT_EQ(board.unitsHeld(), 1u);
}

TEST(FxBoard, AChangeDueOnAFrameIsHeardFromThatFrame)
{
    FxBoard board;
    FxRack& rack = board.rack(0);
    board.resetSound(0);
    board.set(0, 0, slotOf("filter:type=highpass,cutoff=2000"), 10000, {});
    const std::vector<float> out = runConstant(rack, 0.5f, 12288, 0);
    for (int i = 0; i < 10000; ++i) ASSERT_EQ(out[i], 0.5f) << i;
    EXPECT_LT(out[10000 + kFxCrossFrames + 200], 0.1f);
    // A value due later waits for its frame too; the bypass as well.
    board.set(0, 0, slotOf("filter:type=lowpass,cutoff=2000"), 20000, {});
    const std::vector<float> next = runConstant(rack, 0.5f, 12288, 12288);
    EXPECT_LT(std::fabs(next[20000 - 12288 - 1]), 0.01f);
    EXPECT_NEAR(next.back(), 0.5f, 0.01f);
}

TEST(FxBoard, ValuesThatDoNotFitTheQueueAreSentLaterInOrder)
{
    FxBoard board;
    board.set(kFxMain, 0, slotOf("limiter"), kFxAtOnce, {});
    // Far more changes than the queue holds, nothing running to take them.
    for (int i = 0; i < 1000; ++i) EXPECT_TRUE(board.setParam(kFxMain, 0, "ceiling", -(i % 20) - 1.0f));
    EXPECT_TRUE(board.setParam(kFxMain, 0, "ceiling", -12.0f));
    EXPECT_FALSE(board.setParam(kFxMain, 0, "cutoff", 1.0f));
    for (int round = 0; round < 8; ++round) {
        runConstant(board.rack(kFxMain), 0.0f, 256, round * 256);
        board.service();
    }
    const std::vector<float> out = runConstant(board.rack(kFxMain), 0.9f, 8192, 4096);
    EXPECT_NEAR(out.back(), std::pow(10.0f, -12.0f / 20.0f), 1e-4);
    EXPECT_EQ(*board.slot(kFxMain, 0).param("ceiling"), -12.0f);
}

TEST(FxBoard, ABypassCrossesToTheDrySoundAndBack)
{
    FxBoard board;
    board.set(0, 0, slotOf("filter:type=highpass,cutoff=2000"), kFxAtOnce, {});
    runConstant(board.rack(0), 0.5f, 8192, 0);
    board.setBypass(0, 0, true);
    std::vector<float> out = runConstant(board.rack(0), 0.5f, 8192, 8192);
    EXPECT_GT(out[kFxCrossFrames / 2], 0.1f);
    EXPECT_LT(out[kFxCrossFrames / 2], 0.4f);
    EXPECT_EQ(out.back(), 0.5f);
    EXPECT_TRUE(board.capture(0, 0).bypass);
    board.setBypass(0, 0, false);
    out = runConstant(board.rack(0), 0.5f, 8192, 16384);
    EXPECT_LT(std::fabs(out.back()), 1e-3);
}

TEST(FxUnits, TheLimiterHoldsEveryFrameUnderItsCeiling)
{
    FxBoard board;
    board.set(kFxMain, 0, slotOf("limiter:ceiling=-6"), kFxAtOnce, {});
    std::vector<float> l(44100), r(44100);
    for (int i = 0; i < 44100; ++i) {
        // Bursts far over full scale between quiet stretches.
        const float burst = i >= 3000 && i < 6000 ? 3.0f : 0.1f;
        l[i] = burst * std::sin(i * 0.05f);
        r[i] = -burst * std::sin(i * 0.031f);
    }
    for (int at = 0; at < 44100; at += kFxMaxBlock)
        board.rack(kFxMain).runFrom(l.data() + at, r.data() + at, std::min(kFxMaxBlock, 44100 - at),
                                    FxContext{}, at);
    const float ceiling = std::pow(10.0f, -6.0f / 20.0f);
    float top = 0;
    for (int i = 0; i < 44100; ++i) top = std::max({top, std::fabs(l[i]), std::fabs(r[i])});
    EXPECT_LE(top, ceiling);
    EXPECT_GT(top, ceiling * 0.98f);
    // Quiet stretches come back up to where they were.
    const int late = FxLimiter::kAhead - 1;
    EXPECT_NEAR(l[40000], 0.1f * std::sin((40000 - late) * 0.05f), 1e-3);
}

// The mixer: a track whose slots are emptied plays as if it never had any.
class FxMixer : public LowerLayer {
protected:
    void TearDown() override
    {
        Fx_LiveBoard().clearAll();
        LowerLayer::TearDown();
    }
};

TEST_F(FxMixer, ATrackWithEffectsSoundsThemAndOnceEmptiedPlaysTheExactMix)
{
    const int loop = addLoop(1, kBeat * 4, 8);
    ASSERT_EQ(TrackPlay(1, loop), 0);
    TrackVolume(1, 127);
    TrackPan(1, 63);
    service();
    Fx_LiveBoard().set(0, 0, slotOf("filter:type=lowpass,cutoff=300"), kFxAtOnce, {});
    const auto at = testLoopAt(1, kBeat * 4);
    auto exact = [&](const std::vector<int16_t>& out, int64_t from) {
        for (int i = 0; i < kMixBlock; ++i) {
            int16_t l, r;
            at(from + i, l, r);
            if (out[2 * i] != unity(l) || out[2 * i + 1] != unity(r)) return false;
        }
        return true;
    };
    std::vector<int16_t> out = renderTo(4 * kMixBlock);
    EXPECT_FALSE(exact(std::vector<int16_t>(out.end() - 2 * kMixBlock, out.end()), 3 * kMixBlock));
    Fx_LiveBoard().clear(0, 0);
    renderTo(6 * kMixBlock);
    Fx_LiveBoard().service();
    EXPECT_FALSE(Fx_LiveBoard().rack(0).busy());
    out = renderTo(7 * kMixBlock);
    EXPECT_TRUE(exact(out, 6 * kMixBlock));
}

}  // namespace
