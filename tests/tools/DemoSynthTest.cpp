// The synth sounds of the demo library: 36 notes each, named c2 ... b4, in
// tune with equal temperament, each dying away to silence by itself.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "tools/DemoLibrary.h"

namespace fs = std::filesystem;
using namespace demotest;

namespace {

const char* const kNames[12] = {"c", "c#", "d", "d#", "e", "f", "f#", "g", "g#", "a", "a#", "b"};

// Fundamental frequency by the cumulative-mean-normalised difference
// function, refined by a parabola through the dip.
double measurePitch(const std::vector<double>& x, double minHz, double maxHz)
{
    const int window = 4096;
    const int maxLag = static_cast<int>(44100.0 / minHz) + 2;
    const int minLag = static_cast<int>(44100.0 / maxHz) - 2;
    if (static_cast<int>(x.size()) < window + maxLag + 2) return 0.0;
    std::vector<double> d(static_cast<size_t>(maxLag + 2), 0.0), dn(d.size(), 1.0);
    for (int lag = 1; lag <= maxLag + 1; ++lag) {
        double sum = 0.0;
        for (int j = 0; j < window; ++j) {
            const double diff = x[static_cast<size_t>(j)] - x[static_cast<size_t>(j + lag)];
            sum += diff * diff;
        }
        d[static_cast<size_t>(lag)] = sum;
    }
    double running = 0.0;
    for (int lag = 1; lag <= maxLag + 1; ++lag) {
        running += d[static_cast<size_t>(lag)];
        dn[static_cast<size_t>(lag)] = running > 0.0 ? d[static_cast<size_t>(lag)] * lag / running : 1.0;
    }
    // The first clear dip; else the deepest one.
    int best = -1;
    for (int lag = std::max(2, minLag); lag <= maxLag; ++lag) {
        if (dn[static_cast<size_t>(lag)] < 0.15) {
            while (lag + 1 <= maxLag && dn[static_cast<size_t>(lag + 1)] < dn[static_cast<size_t>(lag)])
                ++lag;
            best = lag;
            break;
        }
    }
    if (best < 0) {
        best = std::max(2, minLag);
        for (int lag = best; lag <= maxLag; ++lag)
            if (dn[static_cast<size_t>(lag)] < dn[static_cast<size_t>(best)]) best = lag;
    }
    const double a = dn[static_cast<size_t>(best - 1)], b = dn[static_cast<size_t>(best)],
                 c = dn[static_cast<size_t>(best + 1)];
    const double denom = a - 2.0 * b + c;
    const double shift = denom != 0.0 ? 0.5 * (a - c) / denom : 0.0;
    return 44100.0 / (best + shift);
}

}  // namespace

TEST(DemoSynth, TheMeasureFindsAKnownPitch)
{
    // A tone with harmonics, between two semitones.
    for (double hz : {65.41, 130.0, 311.13, 493.88}) {
        std::vector<double> x(16384);
        for (size_t i = 0; i < x.size(); ++i) {
            const double t = static_cast<double>(i) / 44100.0;
            x[i] = std::sin(6.283185307179586 * hz * t) + 0.5 * std::sin(6.283185307179586 * 2 * hz * t) +
                   0.3 * std::sin(6.283185307179586 * 3 * hz * t + 1.0);
        }
        EXPECT_NEAR(1200.0 * std::log2(measurePitch(x, 55.0, 560.0) / hz), 0.0, 1.0) << hz;
    }
}

TEST(DemoSynth, EverySoundHasThirtySixNotesInTune)
{
    const std::string dir = libraryDir() + "/Synth";
    ASSERT_TRUE(fs::is_directory(dir));
    int sounds = 0;
    for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
        if (!e.is_directory()) continue;
        ++sounds;
        const std::string name = e.path().filename().string();
        for (int k = 0; k < 36; ++k) {
            const std::string note = std::string(kNames[k % 12]) + std::to_string(2 + k / 12);
            SCOPED_TRACE(name + " " + note);
            const std::string path = e.path().string() + "/" + note + ".wav";
            const Wave w = readWave(path);
            ASSERT_TRUE(w.ok);
            EXPECT_EQ(canonicalHeaderProblem(path, w.channels), "");
            ASSERT_GE(w.channels, 1);
            const double seconds = w.frames / 44100.0;
            EXPECT_GE(seconds, 0.9);
            EXPECT_LE(seconds, 2.1);
            std::vector<double> mono(static_cast<size_t>(w.frames));
            for (int i = 0; i < w.frames; ++i) {
                double v = 0;
                for (int c = 0; c < w.channels; ++c) v += w.samples[static_cast<size_t>(i * w.channels + c)];
                mono[static_cast<size_t>(i)] = v / w.channels;
            }
            // It starts and ends in silence: the synthesizer plays a note to
            // the end of its file.
            EXPECT_LT(std::fabs(mono.front()), 64.0);
            EXPECT_LT(std::fabs(mono.back()), 64.0);
            double peak = 0, tail = 0;
            for (double v : mono) peak = std::fmax(peak, std::fabs(v));
            for (size_t i = mono.size() - 2205; i < mono.size(); ++i)
                tail = std::fmax(tail, std::fabs(mono[i]));
            EXPECT_GT(peak, 3000.0);
            EXPECT_LT(tail, peak * 0.05) << "a natural decay";

            const double expected = 440.0 * std::pow(2.0, (36 + k - 69) / 12.0);
            const std::vector<double> part(mono.begin() + 4410, mono.end());
            const double measured = measurePitch(part, expected / 1.3, expected * 1.3);
            EXPECT_NEAR(1200.0 * std::log2(measured / expected), 0.0, 5.0) << measured << " Hz";
        }
    }
    EXPECT_GE(sounds, 2);
}
