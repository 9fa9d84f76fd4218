// Play pressed on a groove, heard through SDL's disk driver: every track, at
// its volume and pan, under the main volume, from the first frame the device
// played; and the same for sequence play.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "e2e/GrooveSession.h"
#include "support/MixReference.h"

namespace groovee2e {
namespace {

// Night Shift (126 BPM): a loop of each group, all sounding from their
// first frames.
const char* const kFiles[8] = {"Drums02", "Perc02", "Bass03", "Chords03", "Lead01", "Arp01", "FX02", "Vox02"};
const int16_t kSlots[8] = {1, 1, 2, 2, 0, 0, 1, 1};

BLGroove eightTracks()
{
    BLGroove g;
    for (int16_t t = 0; t < 8; ++t)
        g.tracks[t] =
            BLTrack{static_cast<uint16_t>(70 + 7 * t), static_cast<int16_t>(-35 + 10 * t), t, kSlots[t]};
    return g;
}

class PlayStart : public GrooveSession {
protected:
    // The groove as the engine mixes it at this tempo, main volume 63,
    // without track `left` (-1: all of them).
    std::vector<int16_t> expected(const BLGroove& g, int frames, int left = -1)
    {
        mixref::Chain ref;
        ref.songBpm = songBpm;
        ref.mixBpm = tempo;
        ref.master = 63;
        for (int t = 0; t < 8; ++t) {
            if (t == left) continue;
            const auto loop =
                std::make_shared<Loop>(readLoop(library + "/Song/" + song + "/" + files[t] + ".wav"));
            EXPECT_EQ(loop->channels, 2);
            const auto at = [loop](int64_t p, int16_t& l, int16_t& r) {
                const auto f = static_cast<size_t>(p % loop->frames());
                l = loop->samples[2 * f];
                r = loop->samples[2 * f + 1];
            };
            ref.tracks.push_back(mixref::track(at, g.tracks[t].volume, g.tracks[t].pan));
        }
        return ref.render(frames);
    }

    // The device's first sound is the whole groove: the start-up priming
    // (8192 frames, handed over in one piece) holds every track, and each
    // is heard in its first 2048 frames. What SDL's disk driver writes
    // before the device is let go (silence) is not sound.
    float tempo = 126.0f;
    std::string song = "NightShift";
    int songBpm = 126;
    const char* const* files = kFiles;

    void expectWholeFromTheFirstFrame(const BLGroove& g, const std::string& log, int frames = 8192)
    {
        const std::vector<int16_t> capture = readCapture(this->capture);
        const std::vector<int16_t> all = expected(g, frames);
        const int first = firstSound(capture) - firstSound(all);
        ASSERT_GE(first, 0) << log;
        ASSERT_GE(capture.size(), 2u * (first + frames)) << log;
        const std::vector<int16_t> sound(capture.begin() + 2 * first, capture.begin() + 2 * (first + frames));
        EXPECT_EQ(mixref::firstDifference(sound, all), -1);
        for (int t = 0; t < 8; ++t) {
            const std::vector<int16_t> without = expected(g, 2048, t);
            EXPECT_FALSE(std::equal(without.begin(), without.end(), sound.begin()))
                << "track " << t << " is heard";
        }
    }
};

TEST_F(PlayStart, PlayStartsEveryTrackInTheFirstFrame)
{
    const BLGroove g = eightTracks();
    // At a tempo of its own, played, stopped and played again: the device
    // opens anew, and the tempo, too, is there from the first frame.
    tempo = 131.5f;
    const std::string doc = writeDocument("eight.bld", "NightShift", g, tempo);
    const std::string log =
        runScript("wait 700\npress space\nwait 600\npress space\nwait 300\npress space\nwaitsize 176400 " +
                      capture + "\nquit\n",
                  doc);
    expectWholeFromTheFirstFrame(g, log);
}

TEST_F(PlayStart, ASongAtTheEndOfItsWindowPlaysSampleExact)
{
    // Dusty Corners (90 BPM) at 140: 50 over its tempo, past 1.3 times it.
    static const char* const kDusty[8] = {"Drums01", "Perc01", "Bass01", "Keys01",
                                          "Lead01",  "Vox01",  "FX01",   "Drums02"};
    BLGroove g;
    for (int16_t t = 0; t < 8; ++t) {
        const int16_t group = t == 7 ? 0 : t;
        g.tracks[t] = BLTrack{static_cast<uint16_t>(60 + 8 * t), static_cast<int16_t>(-30 + 9 * t), group,
                              static_cast<int16_t>(t == 7 ? 1 : 0)};
    }
    song = "DustyCorners";
    songBpm = 90;
    files = kDusty;
    tempo = 140.0f;
    const std::string doc = writeDocument("fast.bld", song, g, tempo);
    const std::string log = runScript("wait 700\npress space\nwaitsize 705600 " + capture + "\nquit\n", doc);
    // Four seconds of it, more song frames than three rings hold.
    expectWholeFromTheFirstFrame(g, log, 4 * 44100 - 8192);
}

TEST_F(PlayStart, SequencePlayStartsEveryTrackInTheFirstFrame)
{
    BLSequence stored;
    stored.grooves[0] = eightTracks();
    stored.grooves[0].id = 1;
    stored.count = 1;
    stored.entries[0] = 1;
    stored.length = 1;
    const std::string doc = writeDocument("sequence.bld", "NightShift", BLGroove{}, 126.0f, 0, &stored);
    // The sequence-play button.
    const std::string log =
        runScript("wait 700\nclick " + at(113, 54) + "\nwaitsize 176400 " + capture + "\nquit\n", doc);
    expectWholeFromTheFirstFrame(stored.grooves[0], log);
}

}  // namespace
}  // namespace groovee2e
