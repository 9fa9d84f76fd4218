// Key lock in the engine: the beat it reports follows what is heard while
// it plays, is turned on and off and the tempo moves; a render through the
// finer stretcher has exactly the output tempo's length and keeps the key.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <future>
#include <vector>

#include "audio/EngineRunFixture.h"
#include "audio/KeyLock.h"
#include "audio/OVTrack.h"
#include "audio/Winaudio.h"
#include "platform/PlatStretch.h"
#include "support/TestSupport.h"

namespace enginetest {
namespace {

class KeyLockRun : public EngineRun {
protected:
    void TearDown() override
    {
        engine.setKeyLock(false);
        EngineRun::TearDown();
    }
};

TEST_F(KeyLockRun, TheBeatFollowsWhatIsHeardThroughOnOffAndTempoMoves)
{
    loadSong(120, 1, 4);
    ASSERT_TRUE(engine.setKeyLock(true));
    engine.changesBegin();
    engine.play();
    engine.setTrackSample(0, 0);
    engine.setMixerBpm(156);  // 2662 song frames per 2048 heard
    engine.changesEnd();
    ASSERT_EQ(PlayingStatus.load(), 2);

    // The song frames heard so far: each block of 2048 stands for `need` of them.
    int64_t heard = 0;
    size_t blocks = 0;
    int need = 2662;
    auto follow = [&] {
        const size_t now = out->stream.size() / 8192;
        heard += static_cast<int64_t>(now - blocks) * need;
        blocks = now;
        // The resampler alone is up to a block ahead of what is heard.
        EXPECT_NEAR(static_cast<double>(KeyLock_BeatTimeLine()), static_cast<double>(heard), 2048.0)
            << "after block " << blocks << ", key lock " << engine.keyLock();
        const int beat = GetCurrentBeat();
        const int64_t expected = (KeyLock_BeatTimeLine() - BLOCKLEN.load()) / 22050 % 32;
        EXPECT_EQ(beat, expected);
    };
    follow();
    for (int step = 0; step < 60; ++step) {
        if (step == 15) engine.setKeyLock(false);
        if (step == 17) engine.setKeyLock(true);  // back on within the fade
        if (step == 30) engine.setKeyLock(false);
        if (step == 40) engine.setKeyLock(true);
        if (step == 45) {
            MixerLock hold;  // a tempo change lands between two blocks
            engine.setMixerBpm(90);
            need = 1536;
        }
        ASSERT_TRUE(LoaderWaitIdle(10000));
        tick();
        follow();
    }
    EXPECT_TRUE(engine.keyLock());
}

// Key lock's first switch-on builds its stretcher while the sound card
// goes on being filled: the device lock is free all the while.
TEST_F(KeyLockRun, TheFirstSwitchOnBuildsTheStretcherWithoutHoldingUpTheSound)
{
    loadSong(120, 1, 4);
    engine.play();
    engine.setTrackSample(0, 0);
    ASSERT_EQ(PlayingStatus.load(), 2);
    ASSERT_TRUE(engine.setKeyLock(false));
    static std::future<void> taker;
    static bool lockFree;
    lockFree = false;
    KeyLock_SetMaker([](double outPerIn) {
        // What the sound card's thread does for every period.
        taker = std::async(std::launch::async, [] { MixerLock hold; });
        lockFree = taker.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        return PlatStretcher_Live(outPerIn);
    });
    const bool on = engine.setKeyLock(true);
    taker.wait();
    KeyLock_SetMaker(nullptr);
    EXPECT_TRUE(on);
    EXPECT_TRUE(lockFree) << "the device lock was held while the stretcher was built";
    EXPECT_TRUE(engine.keyLock());
    for (int i = 0; i < 4; ++i) tick();
    EXPECT_GT(out->stream.size(), 0u);
}

TEST(KeyLockRenderTest, GivesTheOutputTempoLengthExactlyAndKeepsTheKey)
{
    const int in = 8 * 22050;
    std::vector<int16_t> tone(2 * in);
    for (int i = 0; i < in; ++i)
        tone[2 * i] = tone[2 * i + 1] =
            static_cast<int16_t>(std::lround(12000 * std::sin(2 * M_PI * 440.0 * i / 44100)));
    for (const int outPerBeat : {16961, 29400}) {
        KeyLockRender render(22050, outPerBeat, in);
        ASSERT_TRUE(render.ok());
        const int64_t total = int64_t{in} * outPerBeat / 22050;
        EXPECT_EQ(render.left(), total);
        std::vector<int16_t> got;
        std::vector<int16_t> piece(2 * 3000);
        // Put in uneven pieces, taking whatever is ready between them.
        for (int at = 0; at < in;) {
            const int n = std::min(in - at, 1000 + at % 3001);
            render.put(tone.data() + 2 * at, n, at + n == in);
            at += n;
            for (int k; (k = render.take(piece.data(), 3000)) > 0;)
                got.insert(got.end(), piece.begin(), piece.begin() + 2 * k);
        }
        EXPECT_EQ(static_cast<int64_t>(got.size() / 2), total);
        EXPECT_EQ(render.left(), 0);
        const double f = testsupport::pitchOfLeft(got, got.size() / 8, got.size() / 2 * 7 / 8);
        EXPECT_LT(std::abs(1200 * std::log2(f / 440.0)), 5.0) << outPerBeat;
    }
}

}  // namespace
}  // namespace enginetest
