// Key lock worked as a person works it: the button beside the tempo turned
// on, play, the tempo dragged from the song's own to the end of its window while the
// groove plays. The sound keeps its key and plays on without a gap at the
// new tempo, the lights keep stepping, and the choice is in the preferences.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/EngineTestLoops.h"
#include "e2e/GrooveSession.h"
#include "e2e/ScreenPictures.h"
#include "library/BLprefs.h"
#include "support/TestSupport.h"

namespace groovee2e {
namespace {

namespace fs = std::filesystem;
using e2e::Shot;

constexpr int kBeat = 21000;   // at the song's 126 BPM
constexpr double kLow = 0.35;  // the level of each beat's dip

// Stage points of the key lock button and of the tempo slider's middle.
constexpr int kKeyLockX = 469, kKeyLockY = 58;
constexpr int kSliderX = 390, kSliderY = 81;

// A steady tone of whole periods over the loop, dipping at each beat so
// that the tempo can be heard.
std::vector<int16_t> toneLoop(int frames, double* tone)
{
    const double periods = std::round(440.0 * frames / 44100.0);
    *tone = periods * 44100.0 / frames;
    std::vector<int16_t> s(2 * static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        const int inBeat = i % kBeat;
        double gain = 1.0;
        if (inBeat < 2000)
            gain = kLow;
        else if (inBeat < 2400)
            gain = kLow + (1 - kLow) * (inBeat - 2000) / 400.0;
        const auto v =
            static_cast<int16_t>(std::lround(14000 * gain * std::sin(2 * M_PI * periods * i / frames)));
        s[2 * i] = s[2 * i + 1] = v;
    }
    return s;
}

double rmsOf(const std::vector<int16_t>& s, int from, int to)
{
    double sum = 0;
    for (int i = from; i < to; ++i) sum += static_cast<double>(s[2 * i]) * s[2 * i];
    return std::sqrt(sum / (to - from));
}

// Frames between the dips of [from, to): the beat's length as heard.
double beatHeard(const std::vector<int16_t>& s, int from, int to)
{
    constexpr int kStep = 256;
    std::vector<double> levels;
    for (int i = from; i + kStep <= to; i += kStep) levels.push_back(rmsOf(s, i, i + kStep));
    const double full = *std::max_element(levels.begin(), levels.end());
    std::vector<int> starts;
    bool low = true;
    for (size_t k = 0; k < levels.size(); ++k) {
        if (!low && levels[k] < 0.6 * full) starts.push_back(from + static_cast<int>(k) * kStep);
        low = levels[k] < 0.6 * full;
    }
    if (starts.size() < 3) return 0;
    std::vector<int> gaps;
    for (size_t k = 1; k < starts.size(); ++k) gaps.push_back(starts[k] - starts[k - 1]);
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    return gaps[gaps.size() / 2];
}

// The position light (0 to 7) drawn as the beat now playing, -1 for none.
int lightNow(const Shot& shot, e2e::SkinPictures& skin)
{
    constexpr int32_t kPosNow = 3106;
    for (int i = 0; i < 8; ++i) {
        const int x = 162 + 13 * i + 5, y = 74 + 5;
        if (shot.at(kOriginX + x, kOriginY + y) == skin.pixel(kPosNow, 5, 5)) return i;
    }
    return -1;
}

using KeyLockSession = GrooveSession;

TEST_F(KeyLockSession, TheTempoDraggedToTheWindowsEndKeepsTheKeyAndTheBeat)
{
    makeSong("Tone", "NightShift");
    const fs::path loopPath = fs::path(library) / "Song" / "Tone" / "Drums02.wav";
    const Loop original = readLoop(loopPath.string());
    ASSERT_GT(original.frames(), 0);
    double tone = 0;
    fs::remove(loopPath);
    ASSERT_TRUE(
        enginetest::writeBytes(loopPath.string(), enginetest::waveBytes(toneLoop(original.frames(), &tone))));

    BLGroove g;
    g.tracks[0] = BLTrack{127, 0, 0, 1};  // group 0, its second loop: Drums02
    const std::string doc = writeDocument("tone.bld", "Tone", g, 126.0f);
    // The tempo is dragged once the sound holds the stretch measured at the
    // song's tempo below, however late a slowed program starts.
    const std::string slowStretch = std::to_string(4 * (8192 + 70000 + 8192)) + " " + capture;
    const std::string script =
        "wait 700\nscreenshot " + dir.file("off.png") + "\nclick " + at(kKeyLockX, kKeyLockY) +
        "\nwait 200\nscreenshot " + dir.file("on.png") + "\npress space\nwaitsize " + slowStretch +
        "\ndown " + at(kSliderX, kSliderY) + "\nwait 100\nmove " + at(kSliderX + 40, kSliderY) +
        "\nwait 50\nmove " + at(kSliderX + 140, kSliderY) + "\nwait 100\nup " + at(kSliderX + 140, kSliderY) +
        "\nwait 3000\nscreenshot " + dir.file("fast-1.png") + "\nwait 400\nscreenshot " +
        dir.file("fast-2.png") + "\nwait 400\nscreenshot " + dir.file("fast-3.png") + "\nwait 300\nquit\n";
    const std::string log = runScript(script, doc);
    keepScreen(dir.file("fast-1.png"), "groove-key-lock");

    // The button lights, and the choice is kept.
    const Shot off(dir.file("off.png")), on(dir.file("on.png"));
    ASSERT_TRUE(off.ok() && on.ok()) << log;
    e2e::SkinPictures skin(testsupport::programDir() + "/Beatloom.xrs");
    constexpr int32_t kKeyLockUp = 3210, kKeyLockDown = 3211;
    ASSERT_NE(skin.pixel(kKeyLockUp, 12, 10), skin.pixel(kKeyLockDown, 12, 10));
    EXPECT_EQ(off.at(kOriginX + 446 + 12, kOriginY + 48 + 10), skin.pixel(kKeyLockUp, 12, 10));
    EXPECT_EQ(on.at(kOriginX + 446 + 12, kOriginY + 48 + 10), skin.pixel(kKeyLockDown, 12, 10));
    blPrefsClass prefs;
    const std::string prefsFile = dir.file("Beatloom.prf");
    char kel[kKelPathMax + 1];
    ASSERT_TRUE(KEL_SystemPathToKelPath(prefsFile.c_str(), kel));
    prefs.fileName = kel;
    prefs.load();
    EXPECT_EQ(prefs.keyLock, 1);

    // The lights step on at the new tempo (a beat is 0.34 s there).
    std::vector<int> lights;
    for (const char* shot : {"fast-1.png", "fast-2.png", "fast-3.png"}) {
        lights.push_back(lightNow(Shot(dir.file(shot)), skin));
        EXPECT_GE(lights.back(), 0) << shot;
    }
    EXPECT_TRUE(lights[0] != lights[1] || lights[1] != lights[2]);

    const std::vector<int16_t> sound = readCapture(capture);
    const int first = firstSound(sound);
    ASSERT_GE(first, 0) << log;
    int last = static_cast<int>(sound.size() / 2) - 1;
    while (last > first && sound[2 * last] == 0 && sound[2 * last + 1] == 0) --last;
    ASSERT_GT(last - first, 5 * 44100) << log;

    // No gap from the first sound to the quit: never below half the dips' level
    // (the tone of 14000 under the main volume of 63).
    const double dip = kLow * 14000 / std::sqrt(2.0) * 63 / 128;
    for (int w = first; w + 1024 <= last - 4096; w += 1024)
        ASSERT_GT(rmsOf(sound, w, w + 1024), 0.5 * dip) << "silence at frame " << w;
    // The key at the song's tempo and at the window's end, 50 BPM over it; the
    // beat heard at each.
    const int slow = first + 8192;
    const int fast = last - 2 * 44100 - 8192;
    EXPECT_LT(std::abs(1200 * std::log2(testsupport::pitchOfLeft(sound, slow, slow + 44100) / tone)), 5.0);
    // Stretched 1.4 times, the key holds within a few cents more.
    EXPECT_LT(std::abs(1200 * std::log2(testsupport::pitchOfLeft(sound, fast, last - 8192) / tone)), 8.0);
    EXPECT_NEAR(beatHeard(sound, slow, slow + 70000), kBeat, 300);
    EXPECT_NEAR(beatHeard(sound, fast, last - 8192), kBeat * 126 / (126 + 50), 300);
}

}  // namespace
}  // namespace groovee2e
