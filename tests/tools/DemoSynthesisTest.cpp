// The demo library generator's building blocks: patterns and the swing grid,
// circular placement and effects (what makes loops seamless), the
// band-limited oscillator, the engine's pan law in auditions, and the
// description lines.
#include <gtest/gtest.h>

#include <cmath>

#include "tools/demolib/Analysis.h"
#include "tools/demolib/Compose.h"
#include "tools/demolib/Description.h"
#include "tools/demolib/Dsp.h"
#include "tools/demolib/Effects.h"
#include "tools/demolib/Mixdown.h"
#include "tools/demolib/Pattern.h"

using namespace demolib;

TEST(DemoPatterns, HitsNotesAndNoteNames)
{
    const std::vector<Hit> hits = parseHits("X..o|g.5.");
    ASSERT_EQ(hits.size(), 4u);
    EXPECT_EQ(hits[0].step, 0);
    EXPECT_DOUBLE_EQ(hits[0].vel, 1.0);
    EXPECT_EQ(hits[1].step, 3);
    EXPECT_DOUBLE_EQ(hits[1].vel, 0.5);
    EXPECT_EQ(hits[2].step, 4);  // "|" takes no step
    EXPECT_EQ(hits[3].step, 6);
    EXPECT_DOUBLE_EQ(hits[3].vel, 0.5);

    EXPECT_EQ(noteNumber("c4"), 60);
    EXPECT_EQ(noteNumber("A4"), 69);
    EXPECT_EQ(noteNumber("eb3"), 51);
    EXPECT_EQ(noteNumber("F#2"), 42);
    EXPECT_EQ(noteNumber("b"), -1);
    EXPECT_EQ(noteNumber("h3"), -1);

    const std::vector<NoteEvent> notes = parseNotes("C3 - - . ~eb3 | g2 - .");
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[0].step, 0);
    EXPECT_EQ(notes[0].steps, 3);
    EXPECT_DOUBLE_EQ(notes[0].vel, 1.0);  // upper case: accent
    EXPECT_EQ(notes[1].step, 4);
    EXPECT_TRUE(notes[1].slide);
    EXPECT_EQ(notes[1].midi, 51);
    EXPECT_LT(notes[1].vel, 1.0);
    EXPECT_EQ(notes[2].step, 5);
    EXPECT_EQ(notes[2].steps, 2);
}

TEST(DemoPatterns, SwingDelaysOnlyTheOffSixteenths)
{
    const Grid straight(21000, 0.0), swung(21000, 0.2);
    EXPECT_EQ(straight.frame(16), 84000);  // one bar
    EXPECT_EQ(swung.frame(16), 84000);
    EXPECT_EQ(swung.frame(2), straight.frame(2));
    EXPECT_EQ(swung.frame(3), straight.frame(3) + 1050);  // a fifth of a sixteenth late
    EXPECT_EQ(swung.frame(-1), straight.frame(-1) + 1050);
}

TEST(DemoLoops, WhatRunsPastTheEndSoundsAtTheStart)
{
    Stereo loop(10);
    std::vector<float> sound(25, 1.0f);
    placeWrapped(loop, sound, 7, 0.5);
    // Frames 7..9, then three more rounds of the loop (25 frames in all).
    EXPECT_FLOAT_EQ(loop.l[7], 1.5f);
    EXPECT_FLOAT_EQ(loop.l[0], 1.5f);
    EXPECT_FLOAT_EQ(loop.l[1], 1.5f);
    EXPECT_FLOAT_EQ(loop.l[2], 1.0f);
    EXPECT_FLOAT_EQ(loop.l[6], 1.0f);
    Stereo early(10);
    placeWrapped(early, sound, -3, 1.0);  // a hit pushed before the loop start
    EXPECT_FLOAT_EQ(early.l[7], 3.0f);
    EXPECT_FLOAT_EQ(early.l[1], 3.0f);
    EXPECT_FLOAT_EQ(early.l[2], 2.0f);
}

TEST(DemoLoops, PanningKeepsTheMiddleAtFullLevel)
{
    const PanGains mid = panGains(0.0), left = panGains(-1.0), right = panGains(1.0);
    EXPECT_NEAR(mid.l, 1.0, 1e-12);
    EXPECT_NEAR(mid.r, 1.0, 1e-12);
    EXPECT_NEAR(left.r, 0.0, 1e-12);
    EXPECT_NEAR(right.l, 0.0, 1e-12);
}

namespace {

Stereo rotated(const Stereo& s, int by)
{
    Stereo out(s.frames());
    for (int i = 0; i < s.frames(); ++i) {
        const size_t j = static_cast<size_t>((i + by) % s.frames());
        out.l[j] = s.l[static_cast<size_t>(i)];
        out.r[j] = s.r[static_cast<size_t>(i)];
    }
    return out;
}

double largestDifference(const Stereo& a, const Stereo& b)
{
    double d = 0;
    for (size_t i = 0; i < a.l.size(); ++i)
        d = std::fmax(d, std::fabs(a.l[i] - b.l[i]) + std::fabs(a.r[i] - b.r[i]));
    return d;
}

}  // namespace

// An effect over a repeating loop has no start: shifting the loop shifts its
// output and nothing else. An effect that ran over the loop once, from
// silence, would leave its first frames without the echoes of the last.
TEST(DemoEffects, EchoAndReverbTreatTheLoopAsEndless)
{
    Stereo loop(9000);
    Rng rng(3);
    for (int i = 8000; i < 8400; ++i)
        loop.l[static_cast<size_t>(i)] = loop.r[static_cast<size_t>(i)] = static_cast<float>(rng.bipolar());
    const int shift = 3333;

    Stereo a = loop, b = rotated(loop, shift);
    echo(a, {0.05, 0.6, 0.5, true, 4000});
    echo(b, {0.05, 0.6, 0.5, true, 4000});
    EXPECT_LT(largestDifference(rotated(a, shift), b), 1e-3);
    // The echo of the burst near the end is heard at the start.
    double start = 0;
    for (int i = 0; i < 2000; ++i)
        start =
            std::fmax(start, std::fabs(a.l[static_cast<size_t>(i)]) + std::fabs(a.r[static_cast<size_t>(i)]));
    EXPECT_GT(start, 0.05);

    Stereo c = loop, d = rotated(loop, shift);
    reverb(c, {1.0, 6000, 0.5, 0.01, 0.5, 100});
    reverb(d, {1.0, 6000, 0.5, 0.01, 0.5, 100});
    EXPECT_LT(largestDifference(rotated(c, shift), d), 1e-3);
}

TEST(DemoEffects, ThePumpRepeatsEveryBeat)
{
    Stereo loop(4 * 1000);
    for (float& v : loop.l) v = 1.0f;
    for (float& v : loop.r) v = 1.0f;
    pump(loop, 1000, 0.5, 0.01);
    EXPECT_FLOAT_EQ(loop.l[0], 1.0f);
    EXPECT_NEAR(loop.l[530], 0.5, 0.01);  // deepest just after the 12 ms dip
    for (int i = 0; i < 1000; ++i)
        EXPECT_FLOAT_EQ(loop.l[static_cast<size_t>(i)], loop.l[static_cast<size_t>(i + 2000)]);
}

TEST(DemoOscillator, SawsStayBelowTheNyquistFrequency)
{
    for (double hz : {110.0, 1760.0, 5000.0}) {
        Osc osc;
        osc.setHz(hz);
        std::vector<float> x(32768);
        for (float& v : x) v = static_cast<float>(osc.saw());
        const std::vector<double> p = powerSpectrum(x, 8192);
        double total = 0, above = 0;
        for (size_t k = 0; k < p.size(); ++k) {
            total += p[k];
            // Nothing folds back: no partial between the last harmonic
            // below 19 kHz and the Nyquist frequency.
            if (static_cast<double>(k) * 44100.0 / 8192 > 19500.0) above += p[k];
        }
        EXPECT_LT(10.0 * std::log10(above / total), -60.0) << hz;
        // The rising saw: from -1 to +1 over each cycle.
        double lo = 0, hi = 0;
        for (float v : x) {
            lo = std::fmin(lo, v);
            hi = std::fmax(hi, v);
        }
        EXPECT_NEAR(hi, 1.0, 0.2) << hz;
        EXPECT_NEAR(lo, -1.0, 0.2) << hz;
    }
}

TEST(DemoMixdown, LoopsRestartAtTheirOwnLengthWithTheEnginesPanLaw)
{
    Sample one;
    one.audio = Stereo(4);
    for (int i = 0; i < 4; ++i)
        one.audio.l[static_cast<size_t>(i)] = one.audio.r[static_cast<size_t>(i)] = static_cast<float>(i + 1);
    const Stereo full = mixGroove({{&one, 128, 63}}, 10);
    EXPECT_FLOAT_EQ(full.l[0], 1.0f);
    EXPECT_FLOAT_EQ(full.l[5], 2.0f);  // frame 5 plays the loop's frame 1
    EXPECT_FLOAT_EQ(full.r[9], 2.0f);
    const Stereo hardLeft = mixGroove({{&one, 128, 0}}, 4);
    EXPECT_FLOAT_EQ(hardLeft.l[3], 0.0f);
    EXPECT_FLOAT_EQ(hardLeft.r[3], 4.0f);
    const Stereo right = mixGroove({{&one, 64, 126}}, 4);
    EXPECT_FLOAT_EQ(right.l[3], 2.0f);
    EXPECT_NEAR(right.r[3], 2.0 / 63.0, 1e-6);
}

TEST(DemoSongs, TheBuilderNormalisesNumbersAndOrdersLoops)
{
    Song song;
    song.bpm = 120;
    song.groups = {"Drums", "Bass"};
    SongBuilder b(song, 0.0, 1);
    b.level("Bass", 90);
    Stereo quiet = b.bars(1), loud = b.bars(1);
    for (size_t i = 0; i < quiet.l.size(); ++i) {
        quiet.l[i] = quiet.r[i] = 0.3f + 0.01f * std::sin(0.01f * static_cast<float>(i));
        loud.l[i] = loud.r[i] = 3.0f * std::sin(0.02f * static_cast<float>(i));
    }
    b.add("Bass", "Low", 1, quiet);
    b.add("Drums", "Beat", 1, loud);
    b.add("Bass", "High", 1, loud, 70);
    b.finish();
    ASSERT_EQ(song.samples.size(), 3u);
    EXPECT_EQ(song.samples[0].fileWord(), "Drums01");
    EXPECT_EQ(song.samples[1].fileWord(), "Bass01");
    EXPECT_EQ(song.samples[2].fileWord(), "Bass02");
    EXPECT_EQ(song.samples[2].pan, 70);
    EXPECT_EQ(song.samples[0].volume, 100);  // no level given
    for (const Sample& s : song.samples) {
        EXPECT_NEAR(peakOf(s.audio), 0.5, 1e-6) << s.fileWord();
        double mean = 0;
        for (float v : s.audio.l) mean += v;
        EXPECT_NEAR(mean / s.audio.frames(), 0.0, 1e-6) << s.fileWord();
        EXPECT_EQ(s.audio.frames(), 4 * 22050);
        EXPECT_EQ(s.repeats(), 8);
    }
}

TEST(DemoDescriptions, VersionsOnePointTwoAndOnePointZero)
{
    Song song;
    song.library = "Lib";
    song.title = "Song - Test";
    song.description = {"first line", "second line"};
    song.bpm = 90;
    song.arpNotes = "A C";
    song.groups = {"Drums"};
    Sample s;
    s.group = "Drums";
    s.number = 1;
    s.label = "Beat";
    s.bars = 2;
    s.volume = 110;
    s.pan = 60;
    song.samples.push_back(s);
    song.randomSets = {{"Set", {"Drums"}}};
    song.styles = {{"Style", {"Drums"}, {{0, -1, -1, -1, -1, -1, -1, -1}}}};

    const std::vector<std::string> v12 = describe12(song);
    const std::vector<std::string> expected = {std::string(kFormatKeyword) + " BLS 1.2",
                                               "SONGLIBRARY: Lib",
                                               "SONGTITLE: Song - Test",
                                               "SONGDESCRIPTION: first line",
                                               "second line",
                                               "SONGBPM: 90",
                                               "SONGMIX: 1",
                                               "ARPNOTE: A C",
                                               "LONGCOMMAND: CATEGORYLIST: 1",
                                               "Drums",
                                               "ENDCOMMAND:",
                                               "LONGCOMMAND: RANDOMSET: 1",
                                               "Set 1 Drums",
                                               "ENDCOMMAND:",
                                               "LONGCOMMAND: SONGTRACKS: 1",
                                               "Drums01 110 60 4 Beat",
                                               "ENDCOMMAND:",
                                               "LONGCOMMAND: SONGVMIX: 1 1 Style",
                                               "Drums",
                                               "0 -1 -1 -1 -1 -1 -1 -1",
                                               "ENDCOMMAND:"};
    EXPECT_EQ(v12, expected);

    const std::vector<std::string> v10 = describe10(song);
    const std::vector<std::string> expected10 = {
        "; BLS 1.0",    "Drums01 Beat 110 60 0 4", "**90", "*A C", "*0",
        "*Song - Test", "*first line second line", "*1",   "*Lib"};
    EXPECT_EQ(v10, expected10);
}
