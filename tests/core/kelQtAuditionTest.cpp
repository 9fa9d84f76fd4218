#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "core/MediaTestPaths.h"
#include "core/kelQt.h"
#include "platform/Platform.h"
#include "platform/SoundTestFiles.h"
#include "support/TestSupport.h"

using mediatest::kel;
using testsupport::TempDir;

namespace {

constexpr int kLoopFrames = 2205;  // 50 ms at 44100 Hz

// Every sample distinct and non-zero, so a position in the output tells
// where in the file it came from.
std::vector<int32_t> rampSamples()
{
    std::vector<int32_t> v;
    for (int f = 0; f < kLoopFrames; ++f) {
        v.push_back(f + 1);
        v.push_back(-(f + 1));
    }
    return v;
}

class kelQtAudition : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        ASSERT_TRUE(kelQt_Init());
    }
    void TearDown() override { kelQt_Exit(); }

    // Idle passes, as the main loop gives them, for `ms` milliseconds.
    static void idleFor(int ms)
    {
        const uint32_t start = plat::millis();
        while (static_cast<int>(plat::millis() - start) < ms) {
            kelQt_Idle();
            plat::sleepMs(1);
        }
    }

    TempDir dir{"audition"};
};

}  // namespace

TEST_F(kelQtAudition, LoopsUntilStopped)
{
    ASSERT_TRUE(soundtest::writeWav(dir.file("loop.wav"), 44100, 2, rampSamples()));
    ASSERT_TRUE(kelQt_PlaySoundStart(kel(dir.file("loop.wav")).c_str()));
    kelQtAuditionStatus s = kelQt_auditionStatus();
    EXPECT_TRUE(s.playing);
    // Half a second is queued at once: the 50 ms file has started over and over.
    EXPECT_GE(s.framesQueued, 22050);
    EXPECT_EQ(s.restarts, (s.framesQueued - 1) / kLoopFrames);
    EXPECT_GT(s.queuedBytes, 0u);

    idleFor(300);  // the device plays on and the idle passes keep it fed
    const kelQtAuditionStatus later = kelQt_auditionStatus();
    EXPECT_TRUE(later.playing);
    EXPECT_GT(later.framesQueued, s.framesQueued + 4410);
    EXPECT_GT(later.restarts, s.restarts);
    EXPECT_EQ(later.restarts, (later.framesQueued - 1) / kLoopFrames);
    EXPECT_LE(later.queuedBytes, 4u * (22050 + 2048));  // about half a second ahead, no more

    kelQt_PlaySoundStop();
    EXPECT_FALSE(kelQt_auditionStatus().playing);
    kelQt_PlaySoundStop();  // harmless twice
    kelQt_Idle();
}

TEST_F(kelQtAudition, ForeignRatesAreConverted)
{
    ASSERT_TRUE(soundtest::writeWav(dir.file("mono.wav"), 22050, 1, soundtest::sine(22050, 1, 0.01)));
    ASSERT_TRUE(kelQt_PlaySoundStart(kel(dir.file("mono.wav")).c_str()));
    idleFor(50);
    const kelQtAuditionStatus s = kelQt_auditionStatus();
    EXPECT_TRUE(s.playing);
    EXPECT_GE(s.framesQueued, 22050);
    EXPECT_EQ(s.restarts, 0);  // one second of source is two seconds here
    kelQt_Exit();
    EXPECT_FALSE(kelQt_auditionStatus().playing);
}

TEST_F(kelQtAudition, UnplayableFilesDoNotStart)
{
    const std::string wav = soundtest::wavBytes(44100, 2, 16, rampSamples());
    testsupport::writeFile(dir.file("garbage.wav"), std::string(2000, '\x11'));
    testsupport::writeFile(dir.file("header.wav"), wav.substr(0, 20));
    testsupport::writeFile(dir.file("silent.wav"), soundtest::wavBytes(44100, 2, 16, {}));
    testsupport::writeFile(dir.file("good.wav"), wav);
    for (const char* name : {"missing.wav", "garbage.wav", "header.wav", "silent.wav", ""}) {
        ASSERT_TRUE(kelQt_PlaySoundStart(kel(dir.file("good.wav")).c_str()));
        EXPECT_FALSE(kelQt_PlaySoundStart(kel(dir.file(name)).c_str())) << name;
        EXPECT_FALSE(kelQt_auditionStatus().playing) << name;  // the old audition stopped all the same
        kelQt_Idle();
    }
    EXPECT_FALSE(kelQt_PlaySoundStart(nullptr));
}

// What would be heard, written by SDL's disk driver: the file from its first
// sample on, then again and again without a gap.
TEST_F(kelQtAudition, TheLoopIsSeamless)
{
    const std::string heard = dir.file("heard.raw");
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", heard.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "1", 1);
    const auto samples = rampSamples();
    ASSERT_TRUE(soundtest::writeWav(dir.file("loop.wav"), 44100, 2, samples));
    const bool started = kelQt_PlaySoundStart(kel(dir.file("loop.wav")).c_str());
    idleFor(started ? 200 : 0);
    kelQt_PlaySoundStop();
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(started);

    const std::string bytes = testsupport::readFile(heard);
    std::vector<int16_t> out(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    size_t first = 0;
    while (first < out.size() && out[first] == 0) ++first;  // silence while the device was paused
    ASSERT_LT(first + 3 * samples.size(), out.size()) << "too little was played";
    for (size_t i = 0; i < 3 * samples.size(); ++i)
        ASSERT_EQ(out[first + i], samples[i % samples.size()]) << "at sample " << i;
}
