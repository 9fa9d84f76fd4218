#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/PlatAudio.h"
#include "platform/Platform.h"

namespace {
// ctest sets the dummy driver; a run by hand gets it too.
void useDummyDriver()
{
    setenv("SDL_AUDIODRIVER", "dummy", 0);
}
}  // namespace

TEST(PlatAudio, QueuesPausesClearsAndDrains)
{
    useDummyDriver();
    plat::AudioOutput out;
    ASSERT_TRUE(out.open(44100, 2, 1024));
    EXPECT_EQ(out.bytesPerFrame(), 4);
    std::vector<int16_t> block(2 * 4410, 1000);
    ASSERT_TRUE(out.queue(block.data(), static_cast<uint32_t>(block.size() * 2)));
    EXPECT_EQ(out.queuedBytes(), block.size() * 2);  // opened paused: nothing is played
    out.clear();
    EXPECT_EQ(out.queuedBytes(), 0u);

    ASSERT_TRUE(out.queue(block.data(), static_cast<uint32_t>(block.size() * 2)));
    out.resume();
    const uint32_t start = plat::millis();
    while (out.queuedBytes() > 0 && plat::millis() - start < 3000) plat::sleepMs(5);
    EXPECT_EQ(out.queuedBytes(), 0u);  // a tenth of a second drains at playing speed
    out.pause();
    out.close();
    EXPECT_FALSE(out.isOpen());
    EXPECT_FALSE(out.queue(block.data(), 4));
    EXPECT_EQ(out.queuedBytes(), 0u);
}

TEST(PlatAudio, ReopensAndRefusesBadParameters)
{
    useDummyDriver();
    plat::AudioOutput a, b;
    EXPECT_FALSE(a.open(0, 2, 1024));
    EXPECT_FALSE(a.open(44100, 0, 1024));
    EXPECT_FALSE(a.open(44100, 2, 0));
    ASSERT_TRUE(a.open(44100, 2, 2048));
    // The dummy driver offers one device at a time; a closed one makes room.
    a.close();
    ASSERT_TRUE(b.open(22050, 1, 512));
    int16_t s[2] = {1, 2};
    EXPECT_TRUE(b.queue(s, sizeof s));
    EXPECT_EQ(b.queuedBytes(), sizeof s);
    EXPECT_EQ(b.frequency(), 22050);
    EXPECT_EQ(b.bytesPerFrame(), 2);
}

// SDL's disk driver records from a file: without that file there is no
// sound input, and the input says so rather than the driver's own words.
TEST(PlatAudio, ADiskDriverWithoutItsInputFileHasNoCaptureDevice)
{
    const char* before = std::getenv("SDL_AUDIODRIVER");
    const std::string driver = before ? before : "";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILEIN", "/nonexistent/beatloom-no-input.raw", 1);
    plat::AudioInput in;
    EXPECT_FALSE(in.open(44100, 2, 2048));
    EXPECT_EQ(in.problem(), plat::CaptureProblem::noDevice) << in.problemText();
    unsetenv("SDL_DISKAUDIOFILEIN");
    driver.empty() ? unsetenv("SDL_AUDIODRIVER") : setenv("SDL_AUDIODRIVER", driver.c_str(), 1);
}
