// The arpeggio as enginebounce renders it over a groove, checked from the
// sound alone: the groove rendered without the arpeggio is taken away, then
// each note is found where it starts (matched against its own note file)
// and its pitch measured, one note after another.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "support/NoteFinder.h"
#include "support/TestSupport.h"
#include "tools/DemoLibrary.h"

namespace fs = std::filesystem;
using namespace demotest;

namespace {

constexpr int kBeat = 22050;  // 120 BPM
constexpr int kSpeed = 2;
constexpr int kBeats = 8;
constexpr int kMatch = 2048;

// Fundamental frequency by the cumulative-mean-normalised difference,
// refined by a parabola through the dip.
double pitchOf(const std::vector<double>& x, size_t from, double minHz, double maxHz)
{
    const int window = 4096;
    const int maxLag = static_cast<int>(44100.0 / minHz) + 2;
    const int minLag = std::max(2, static_cast<int>(44100.0 / maxHz) - 2);
    if (from + window + maxLag + 2 > x.size()) return 0.0;
    std::vector<double> d(static_cast<size_t>(maxLag + 2), 0.0);
    for (int lag = 1; lag <= maxLag + 1; ++lag)
        for (int j = 0; j < window; ++j) {
            const double diff = x[from + j] - x[from + j + lag];
            d[static_cast<size_t>(lag)] += diff * diff;
        }
    std::vector<double> dn(d.size(), 1.0);
    double running = 0.0;
    for (int lag = 1; lag <= maxLag + 1; ++lag) {
        running += d[static_cast<size_t>(lag)];
        dn[static_cast<size_t>(lag)] = running > 0 ? d[static_cast<size_t>(lag)] * lag / running : 1.0;
    }
    int best = -1;
    for (int lag = minLag; lag <= maxLag && best < 0; ++lag)
        if (dn[static_cast<size_t>(lag)] < 0.15) {
            while (lag + 1 <= maxLag && dn[static_cast<size_t>(lag + 1)] < dn[static_cast<size_t>(lag)])
                ++lag;
            best = lag;
        }
    if (best < 0) return 0.0;
    const double a = dn[static_cast<size_t>(best - 1)], b = dn[static_cast<size_t>(best)],
                 c = dn[static_cast<size_t>(best + 1)];
    const double shift = a - 2 * b + c != 0 ? 0.5 * (a - c) / (a - 2 * b + c) : 0.0;
    return 44100.0 / (best + shift);
}

// The left channel of a rendered file.
std::vector<double> leftOf(const std::string& path)
{
    const Wave w = readWave(path);
    std::vector<double> l(static_cast<size_t>(w.frames));
    for (int i = 0; i < w.frames; ++i)
        l[static_cast<size_t>(i)] = w.samples[static_cast<size_t>(i * w.channels)];
    return l;
}

// An entry of a note list as a note of the sound: octave digit 1 is the
// sound's lowest octave, whose c is midi note 36.
int midiOf(const std::string& entry)
{
    static const int tones[7] = {9, 11, 0, 2, 4, 5, 7};  // a .. g
    const bool sharp = entry.size() == 3;
    return 36 + (entry.back() - '1') * 12 + tones[entry[0] - 'a'] + (sharp ? 1 : 0);
}

TEST(SynthBounce, TheArpeggioSoundsOnTheStepGridInTuneWithTheGroove)
{
    const std::string song = libraryDir() + "/Song/IronMill";
    const std::string sound = libraryDir() + "/Synth/GlassPluck";
    ASSERT_TRUE(fs::is_directory(song) && fs::is_directory(sound));
    const std::string loop = song + "/Kick01.wav";
    testsupport::TempDir dir("synthbounce");
    const std::vector<std::string> entries = {"c1", "e1", "g1", "a#2", "c2", "e2", "g2", "a#3"};
    std::string notes;
    for (const std::string& e : entries) notes += e;

    const int frames = kBeats * kBeat;
    auto render = [&](const std::string& out, bool arp) {
        std::vector<std::string> argv = {testsupport::toolsDir() + "/enginebounce",
                                         "--bpm",
                                         "120",
                                         "--mix-bpm",
                                         "120",
                                         "--frames",
                                         std::to_string(frames),
                                         "--loop",
                                         loop,
                                         "--track",
                                         "0:0:60:0",
                                         "-o",
                                         out};
        if (arp) {
            for (const std::string& a : {std::string("--synth"), sound, std::string("--arp"), "up:2:" + notes,
                                         std::string("--synth-vol"), std::string("100")})
                argv.push_back(a);
        }
        const testsupport::RunResult r = testsupport::run(argv, "", 120);
        EXPECT_EQ(r.exitCode, 0) << r.out;
    };
    render(dir.file("with.wav"), true);
    render(dir.file("groove.wav"), false);
    const std::vector<double> with = leftOf(dir.file("with.wav")), groove = leftOf(dir.file("groove.wav"));
    ASSERT_EQ(with.size(), static_cast<size_t>(frames));
    ASSERT_EQ(groove.size(), with.size());

    // The groove starts with the kick's first frame at frame 0.
    const Wave kick = readWave(loop);
    double kg = 0, kk = 0, gg = 0;
    for (size_t i = 0; i < 4096; ++i) {
        const double k = kick.samples[i * static_cast<size_t>(kick.channels)];
        kg += k * groove[i];
        kk += k * k;
        gg += groove[i] * groove[i];
    }
    EXPECT_GT(kg / std::sqrt(kk * gg), 0.999);

    std::vector<double> rest(with.size());
    for (size_t i = 0; i < with.size(); ++i) rest[i] = with[i] - groove[i];

    double firstGain = 0;
    for (int step = 0; step < kBeats * kSpeed; ++step) {
        // Switched on, the arpeggio moves before it plays: step 0 sounds the
        // second entry.
        const std::string& entry = entries[static_cast<size_t>(step + 1) % entries.size()];
        const int midi = midiOf(entry);
        SCOPED_TRACE("step " + std::to_string(step) + " " + entry);
        const int due = static_cast<int>(static_cast<int64_t>(step) * kBeat / kSpeed);
        const Wave note = readWave(sound + "/" + entry.substr(0, entry.size() - 1) +
                                   std::to_string(entry.back() - '0' + 1) + ".wav");
        ASSERT_TRUE(note.ok);
        std::vector<double> f(static_cast<size_t>(note.frames));
        for (int i = 0; i < note.frames; ++i)
            f[static_cast<size_t>(i)] = note.samples[static_cast<size_t>(i * note.channels)];

        // Where the note starts: the best match of its file near the grid point.
        std::vector<double> taken = rest;
        const notefinder::Found found = notefinder::takeNote(taken, f, due, 64, kMatch, kBeat / kSpeed);
        const int at = found.at;
        EXPECT_EQ(at, due) << "on the step grid";
        EXPECT_GT(found.match, 0.999);

        // In tune: within 5 cents of the named note.
        const double hz = 440.0 * std::pow(2.0, (midi - 69) / 12.0);
        const double measured = pitchOf(rest, static_cast<size_t>(at) + 4410, hz / 1.3, hz * 1.3);
        EXPECT_NEAR(1200.0 * std::log2(measured / hz), 0.0, 5.0) << measured << " Hz, wanted " << hz;

        // Taken away at the level it sounds with, before the next.
        if (step == 0) firstGain = found.gain;
        EXPECT_NEAR(found.gain, firstGain, firstGain * 0.01) << "every note at one level";
        rest = std::move(taken);
    }
    EXPECT_LT(notefinder::largest(rest), 8.0) << "nothing but rounding is left";
}

TEST(SynthBounce, AnArpeggioNeedsASoundAModeASpeedAndNotes)
{
    testsupport::TempDir dir("synthbounce");
    const std::string base = testsupport::toolsDir() +
                             "/enginebounce --bpm 120 --mix-bpm 120 --frames 2048 -o " + dir.file("x.wav");
    for (const std::string& bad :
         {std::string(" --arp up:4:c1"), " --synth " + dir.path(),
          " --synth " + dir.path() + " --arp sideways:4:c1", " --synth " + dir.path() + " --arp up:0:c1",
          " --synth " + dir.path() + " --arp up:4"}) {
        std::vector<std::string> argv;
        std::string word;
        for (char c : base + bad) {
            if (c == ' ') {
                if (!word.empty()) argv.push_back(word);
                word.clear();
            } else {
                word += c;
            }
        }
        argv.push_back(word);
        const testsupport::RunResult r = testsupport::run(argv);
        EXPECT_EQ(r.exitCode, 2) << bad << "\n" << r.out;
    }
}

}  // namespace
