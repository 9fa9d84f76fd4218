// The mixdown with effects: a plan without any leaves the mix as it was to
// the byte; a track's effects sound before its gain and ring on into the
// next groove; the main mix's limiter holds what is written under its
// ceiling, and a stem's plan leaves the main mix's effects out.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "audio/EngineTestLoops.h"
#include "audio/MixPlan.h"
#include "audio/QualMix.h"
#include "audio/Vtrack.h"
#include "support/TestSupport.h"

using namespace enginetest;

namespace {

constexpr int kBeat = 22050;
constexpr int kBlock = 32 * kBeat;

FxSlot slotOf(const std::string& text)
{
    FxSlot s;
    EXPECT_TRUE(FxSlot_FromText(text, &s, nullptr)) << text;
    return s;
}

class QualMixFx : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetSongBPM(120);
        ResetSongVTracks();
        QualMix_SetQuality(kQualMixClassic);
        std::mt19937 random(9);
        std::uniform_int_distribution<int> noise(-12000, 12000);
        std::vector<int16_t> n(4 * kBeat), s(4 * kBeat), click(4 * kBeat, 0);
        for (int i = 0; i < 4 * kBeat; ++i) {
            n[i] = static_cast<int16_t>(noise(random));
            s[i] = static_cast<int16_t>(30000 * std::sin(2 * M_PI * 110.0 * i / 44100.0));
        }
        click[0] = 30000;
        add(n);
        add(s);
        add(click);
    }
    void TearDown() override { ResetSongVTracks(); }
    void add(const std::vector<int16_t>& mono)
    {
        const std::string path = dir.file(testsupport::join("loop", NumVTracks, ".wav"));
        WaveHeader h;
        h.channels = 1;
        ASSERT_TRUE(writeBytes(path, waveBytes(mono, h)));
        AddSongVTrack(kelPath(path).c_str(), 8, 0);
    }
    std::vector<int16_t> render(const std::string& script, const MixPlan* plan)
    {
        std::string text = script;
        const std::string target = kelPath(dir.file("mix.wav"));
        EXPECT_EQ(QualityMix(const_cast<char*>(target.c_str()), text.data(), plan), kQualMixWritten);
        return testsupport::readWav16(dir.file("mix.wav"));
    }
    // A plan of `blocks` grooves whose tracks 0..lines-1 have script lines.
    static MixPlan planOf(int blocks, int lines)
    {
        MixPlan p;
        p.grooves.resize(static_cast<size_t>(blocks));
        for (MixPlanGroove& g : p.grooves)
            for (int t = 0; t < lines; ++t) g.tracks[t].line = true;
        return p;
    }
    testsupport::TempDir dir{"qualmixfx"};
};

TEST_F(QualMixFx, APlanWithoutEffectsChangesNothing)
{
    const std::string script = "100\r\n2\r\n1 127 63\r\n2 90 20\r\n";
    const std::vector<int16_t> plain = render(script, nullptr);
    MixPlan plan = planOf(1, 2);
    EXPECT_EQ(render(script, &plan), plain);
    ASSERT_FALSE(plain.empty());
}

TEST_F(QualMixFx, ATracksFilterSoundsBeforeItsGainAndADelayRingsIntoTheNextGroove)
{
    const std::string script = "120\r\n2\r\n1 127 63\r\n3 127 63\r\n0\r\n0\r\n";
    const std::vector<int16_t> plain = render(script, nullptr);
    MixPlan plan = planOf(2, 2);
    plan.grooves[1] = MixPlanGroove{};
    plan.grooves[0].fx.racks[0].slots[0] = slotOf("filter:cutoff=200");
    plan.grooves[0].fx.racks[1].slots[0] = slotOf("delay:time=1/4,feedback=0.9,mix=1");
    plan.grooves[1].fx.racks[1].slots[0] = slotOf("delay:time=1/4,feedback=0.9,mix=1");
    const std::vector<int16_t> wet = render(script, &plan);
    ASSERT_EQ(wet.size(), plain.size());
    ASSERT_EQ(wet.size(), 2u * 2 * kBlock);
    // The noise loses its highs: its frame-to-frame steps shrink.
    double stepsPlain = 0, stepsWet = 0;
    for (int i = 1000; i < 40000; ++i) {
        stepsPlain += std::fabs(plain[2 * i] - plain[2 * (i - 1)]);
        stepsWet += std::fabs(wet[2 * i] - wet[2 * (i - 1)]);
    }
    EXPECT_LT(stepsWet, stepsPlain / 5);
    // In the second groove nothing plays but the echoes of the first.
    double tail = 0;
    for (int i = kBlock; i < kBlock + 4 * kBeat; ++i)
        tail = std::max(tail, std::fabs(double(wet[2 * i + 1])));
    EXPECT_GT(tail, 100.0);
    for (int i = kBlock; i < kBlock + 4 * kBeat; ++i) ASSERT_EQ(plain[2 * i + 1], 0);
}

TEST_F(QualMixFx, TheMainLimiterHoldsTheMixUnderItsCeilingButNotAStemsMix)
{
    const std::string script = "126\r\n4\r\n2 127 63\r\n2 127 63\r\n2 127 63\r\n2 127 63\r\n";
    const std::vector<int16_t> plain = render(script, nullptr);
    MixPlan plan = planOf(1, 4);
    plan.grooves[0].fx.racks[kFxMain].slots[0] = slotOf("limiter:ceiling=-3");
    const std::vector<int16_t> held = render(script, &plan);
    ASSERT_EQ(held.size(), plain.size());
    int clipped = 0, top = 0;
    for (int16_t v : plain) clipped += std::abs(v) >= 32767;
    for (int16_t v : held) top = std::max(top, std::abs(static_cast<int>(v)));
    EXPECT_GT(clipped, 100);
    EXPECT_LE(top, 32768.0 * std::pow(10.0, -3.0 / 20.0));
    plan.mainEffects = false;
    EXPECT_EQ(render(script, &plan), plain);
}

}  // namespace
