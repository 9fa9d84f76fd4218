// beatloom --render --live: a document's sequence through the program's own
// playing chain, its grooves' effects included: sample for sample what
// enginebounce makes of the same loops, tracks and effects; each next groove
// heard from its cycle with its own effects; with key lock through the
// real-time stretcher; and --list-effects naming what there is.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "core/kelFiles.h"
#include "e2e/MixReference.h"
#include "e2e/ReferenceSongTest.h"
#include "library/BLDocument.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::join;

namespace {

FxSlot slotOf(const std::string& effect, std::vector<FxParamValue> params)
{
    FxSlot s;
    s.effect = effect;
    s.params = std::move(params);
    return s;
}

class RenderLive : public mixref::ReferenceSongTest {
protected:
    RenderLive() : ReferenceSongTest("renderlive") {}
    std::vector<int16_t> live(const std::string& doc, const std::string& out,
                              std::vector<std::string> more = {})
    {
        std::vector<std::string> args = {dir.program(), "--render",    doc,        "--live",
                                         "-o",          dir.file(out), "--format", "wav"};
        args.insert(args.end(), more.begin(), more.end());
        const auto r = testsupport::run(args, dir.path(), 300);
        EXPECT_EQ(r.exitCode, 0) << r.out;
        return mixref::readWav16(dir.file(out));
    }
    // The groove's effects, as the document and enginebounce give them.
    static void putEffects(BLGroove& g)
    {
        g.fx.racks[0].slots[0] = slotOf("filter", {{"type", 0.0f}, {"cutoff", 900.0f}, {"resonance", 0.3f}});
        g.fx.racks[1].slots[1] = slotOf("delay", {{"time", 0.1875f}, {"feedback", 0.5f}, {"mix", 0.4f}});
        g.fx.racks[kFxMain].slots[0] = slotOf("reverb", {{"size", 0.6f}, {"mix", 0.2f}});
        g.fx.racks[kFxMain].slots[1] = slotOf("limiter", {{"ceiling", -2.0f}});
    }
    static constexpr const char* kFxArgs[] = {"--fx", "0:filter:type=lowpass,cutoff=900,resonance=0.3",
                                              "--fx", "1:delay:time=3/16,feedback=0.5,mix=0.4",
                                              "--fx", "main:reverb:size=0.6,mix=0.2",
                                              "--fx", "main:limiter:ceiling=-2"};
};

TEST_F(RenderLive, OneGrooveIsWhatEnginebounceMakesOfTheSameTracksAndEffects)
{
    BLIceimage ice = mixref::referenceDocument(song, 100.7f);
    ice.sequence.length = 1;
    BLGroove& g = ice.sequence.grooves[0];
    // The delay sits in the second slot: the first stays empty.
    putEffects(g);
    const std::vector<int16_t> rendered = live(document("one.bld", ice), "live.wav");
    const int64_t frames = std::llround(32 * 2646000.0 / 100.7);
    ASSERT_EQ(rendered.size(), 2u * frames);

    std::vector<std::string> args = {testsupport::toolsDir() + "/enginebounce",
                                     "--bpm",
                                     join(song.bpm),
                                     "--mix-bpm",
                                     "100.7",
                                     "--frames",
                                     join(frames),
                                     "--master",
                                     "63",
                                     "-o",
                                     dir.file("bounce.wav")};
    for (const mixref::Loop& loop : song.loops) {
        args.push_back("--loop");
        args.push_back(
            dir.file("Library/Song/" + song.name + "/" + loop.file + ".wav:" + join(loop.repeats)));
    }
    for (int t = 0; t < 8; ++t) {
        const BLTrack& k = g.tracks[t];
        const int16_t index = k.group < 0 ? -1 : song.loopIndex(k.group, k.slot);
        if (index < 0) continue;
        args.push_back("--track");
        args.push_back(join(t, ":", index, ":", k.volume, ":", k.pan));
    }
    // Slot order is the order given: the delay goes to track 1's first free
    // slot here, and slot 1 in the document; an empty slot before it plays dry.
    args.insert(args.end(), std::begin(kFxArgs), std::end(kFxArgs));
    const auto r = testsupport::run(args, "", 300);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const std::vector<int16_t> bounced = mixref::readWav16(dir.file("bounce.wav"));
    ASSERT_EQ(bounced.size(), rendered.size());
    size_t first = 0;
    while (first < rendered.size() && rendered[first] == bounced[first]) ++first;
    EXPECT_EQ(first, rendered.size()) << "first difference at sample " << first;
    // And the effects are heard: without them the render is another.
    BLIceimage dry = ice;
    dry.sequence.grooves[0].fx = FxSetup{};
    EXPECT_NE(live(document("dry.bld", dry), "dry.wav"), rendered);
}

TEST_F(RenderLive, EachGrooveIsHeardWithItsOwnEffectsFromItsCycle)
{
    const BLIceimage plain = mixref::referenceDocument(song, 120.0f);
    BLIceimage ice = plain;
    putEffects(ice.sequence.grooves[1]);  // the second groove's alone
    const std::vector<int16_t> without = live(document("plain.bld", plain), "plain.wav");
    const std::vector<int16_t> with = live(document("fx.bld", ice), "fx.wav");
    const size_t groove = 2u * 32 * 22050;  // 32 beats at 120 BPM
    ASSERT_EQ(with.size(), 4 * groove);
    ASSERT_EQ(without.size(), with.size());
    // The first groove is the same up to where the second starts: its
    // effects wait for its cycle. (The last chunk of 2048 frames before it
    // is made the main effects' way, at full volume with the volume after,
    // and may round a frame one step apart.) Then they differ.
    size_t first = 0;
    while (first < with.size() && with[first] == without[first]) ++first;
    EXPECT_GE(first, groove - 2 * 2048);
    int before = 0, after = 0;
    for (size_t i = 0; i < groove; ++i) before = std::max(before, std::abs(with[i] - without[i]));
    for (size_t i = groove; i < groove + 2 * 4410; ++i)
        after = std::max(after, std::abs(with[i] - without[i]));
    EXPECT_LE(before, 1);
    EXPECT_GT(after, 1000);
    // Key lock through the real-time stretcher: the length holds.
    EXPECT_EQ(live(document("fx2.bld", ice), "locked.wav", {"--key-lock"}).size(), with.size());
    // The live chain has no resampling to choose.
    const auto refused = testsupport::run({dir.program(), "--render", dir.file("fx.bld"), "--live",
                                           "--quality", "high", "-o", dir.file("x.wav")},
                                          dir.path(), 60);
    EXPECT_EQ(refused.exitCode, 2) << refused.out;
}

TEST_F(RenderLive, ListEffectsNamesTheBuiltInsAndThePluginsFound)
{
    const auto r = testsupport::run({dir.program(), "--list-effects"}, dir.path(), 60);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    for (const char* part :
         {"filter  Filter", "type           lowpass | highpass | bandpass (default lowpass)",
          "time           1/64 to 4 beats (default 1/4)", "ceiling        -24 to 0 dBFS",
          "http://drobilla.net/plugins/mda/Delay  MDA Delay (stereo)",
          "http://plugin.org.uk/swh-plugins/buttlow_iir", "mono, run once a side",
          "http://drobilla.net/plugins/mda/DX10  MDA DX10: has no audio input"})
        EXPECT_NE(r.out.find(part), std::string::npos) << part;
}

}  // namespace
