// The output device: its queue of buffers, priming, refills as buffers come
// back, stopping and failures; and the wDB layer around it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "audio/CardOutput.h"
#include "audio/EngineRest.h"
#include "audio/EngineTestLoops.h"
#include "audio/MMSysAudio.h"
#include "audio/MMSysOutputs.h"
#include "audio/Winaudio.h"

using enginetest::TestOutput;

namespace {

int fills = 0;
int failOnFill = -1;  // the fill that returns -1; -1 = none

// Stamps each buffer with the number of the fill that made it.
int countingFill(void* dest, int frames)
{
    const int n = fills++;
    if (n == failOnFill) return -1;
    auto* s = static_cast<int16_t*>(dest);
    for (int i = 0; i < 2 * frames; ++i) s[i] = static_cast<int16_t>(n);
    return frames;
}

class Device : public enginetest::EngineCase {
protected:
    void SetUp() override
    {
        EngineCase::SetUp();
        fills = 0;
        failOnFill = -1;
    }
    void TearDown() override
    {
        wDBClose();
        wDBSetOutput(nullptr);
        EngineCase::TearDown();
    }
    TestOutput out{false, 1 << 20};
};

int16_t sampleAt(const TestOutput& o, size_t byte)
{
    int16_t v;
    std::memcpy(&v, o.stream.data() + byte, 2);
    return v;
}

}  // namespace

TEST_F(Device, QueueSizesFollowTheBlockLength)
{
    MMSysAudio big(countingFill, 16384, 2, 44100, 2048, &out);
    EXPECT_EQ(big.bufferCount(), 9);
    MMSysAudio small(countingFill, 8192, 2, 44100, 2048, &out);
    EXPECT_EQ(small.bufferCount(), 5);
    MMSysAudio two(countingFill, 4096, 2, 44100, -1, &out);
    EXPECT_EQ(two.bufferCount(), 2);
    EXPECT_TRUE(big.allocated());
}

TEST_F(Device, PrimesThenRefillsWhatThePlayerGaveBack)
{
    MMSysAudio dev(countingFill, 16384, 2, 44100, 2048, &out);
    ASSERT_EQ(dev.Start(), 0);
    EXPECT_EQ(dev.Start(), 1);
    EXPECT_EQ(out.openedRate, 44100);
    EXPECT_EQ(out.openedChannels, 2);
    EXPECT_EQ(out.openedBufferFrames, 2048);
    ASSERT_EQ(out.sizes.size(), 1u);
    EXPECT_EQ(out.sizes[0], 32768u);  // four fills of 2048 frames in one buffer
    EXPECT_EQ(fills, 4);
    EXPECT_EQ(sampleAt(out, 0), 0);
    EXPECT_EQ(sampleAt(out, 32768 - 2), 3);
    EXPECT_EQ(dev.queuedBuffers(), 1);

    dev.Callback();  // the priming counts as one of nine
    EXPECT_EQ(fills, 12);
    EXPECT_EQ(dev.queuedBuffers(), 9);
    dev.Callback();
    EXPECT_EQ(fills, 12);

    out.play(32768 - 1);  // the priming is not done until its last byte is
    dev.Callback();
    EXPECT_EQ(fills, 12);
    out.play(1);
    dev.Callback();
    EXPECT_EQ(fills, 13);
    out.play(3 * 8192 + 100);
    dev.Callback();
    EXPECT_EQ(fills, 16);
    EXPECT_EQ(dev.queuedBuffers(), 9);
    // In order, one fill a buffer.
    for (int n = 4; n < 16; ++n) EXPECT_EQ(sampleAt(out, 32768 + static_cast<size_t>(n - 4) * 8192), n);

    MMSysAudio::AudioOutTimeSlice();  // the timer's entry serves the started device
    out.play(8192);
    MMSysAudio::AudioOutTimeSlice();
    EXPECT_EQ(fills, 17);

    EXPECT_EQ(dev.Stop(), 0);
    EXPECT_EQ(dev.queuedBuffers(), 0);  // what the reset returned is counted back
    EXPECT_FALSE(out.isOpen);
    MMSysAudio::AudioOutTimeSlice();
    EXPECT_EQ(fills, 17);

    // A stopped device starts again.
    ASSERT_EQ(dev.Start(), 0);
    EXPECT_EQ(fills, 21);
    EXPECT_EQ(dev.Stop(), 0);
}

TEST_F(Device, FailuresCloseTheOutput)
{
    failOnFill = 1;  // the second priming piece
    MMSysAudio dev(countingFill, 16384, 2, 44100, 2048, &out);
    EXPECT_EQ(dev.Start(), -1);
    EXPECT_FALSE(out.isOpen);
    EXPECT_FALSE(dev.isStarted());
    EXPECT_TRUE(out.sizes.empty());

    fills = 0;
    failOnFill = 6;  // a refill
    ASSERT_EQ(dev.Start(), 0);
    dev.Callback();
    EXPECT_FALSE(dev.isStarted());
    EXPECT_FALSE(out.isOpen);
    EXPECT_EQ(out.sizes.size(), 3u);  // the priming and the two fills before

    out.refuseOpen = true;
    EXPECT_EQ(dev.Start(), kDeviceOpenFailed);
}

TEST_F(Device, WdbLayerOwnsOneInstanceAndTheTimer)
{
    wDBSetOutput(&out);
    wDBStop();  // no instance: nothing
    wDBClose();
    EXPECT_EQ(wDBStart(), -1);
    ASSERT_EQ(wDBInit(countingFill, 16384 * 4), 0);
    ASSERT_NE(mmAud, nullptr);
    EXPECT_EQ(mmAud->bufferCount(), 9);
    EXPECT_EQ(out.opens, 0);  // made, not opened

    out.refuseOpen = true;
    EXPECT_NE(wDBStart(), 0);
    EXPECT_EQ(timerID, 0u);
    out.refuseOpen = false;

    ASSERT_EQ(wDBStart(), 0);
    EXPECT_EQ(timerID, 1u);
    // The timer refills on its own: the queue fills within a few ticks.
    for (int i = 0; i < 100 && mmAud->queuedBuffers() < 9; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(mmAud->queuedBuffers(), 9);
    wDBStop();
    EXPECT_EQ(timerID, 0u);
    EXPECT_FALSE(out.isOpen);
    wDBClose();
    EXPECT_EQ(mmAud, nullptr);
    wDBClose();
    wDBSetOutput(nullptr);
}

TEST_F(Device, APlaybackTakesAQueueGivenBeforeTheCard)
{
    // No queue given, no JACK client open: the card, one of the device's
    // own, which cannot tell the frame heard, two periods behind the mixer.
    const MMSysOutputKind& card = MMSysOutputForPlayback();
    EXPECT_EQ(&card, &kMMSysOutputs[kMMSysOutputCount - 1]);
    EXPECT_EQ(card.device(), nullptr);
    EXPECT_EQ(card.heardFrame, nullptr);
    MMSysCardOutput::choose("", 256);
    EXPECT_EQ(card.delayFrames(), 512);
    MMSysCardOutput::choose("", 512);

    // A queue given goes first, its length behind the mixer.
    wDBSetOutput(&out);
    const MMSysOutputKind& queue = MMSysOutputForPlayback();
    EXPECT_EQ(&queue, &kMMSysOutputs[0]);
    EXPECT_EQ(queue.device(), &out);
    ASSERT_EQ(wDBInit(countingFill, 16384 * 4), 0);
    ASSERT_EQ(wDBStart(), 0);
    EXPECT_TRUE(out.isOpen);
    EXPECT_FALSE(wDBPulls());
    EXPECT_EQ(wDBDelayFrames(), BLOCKLEN.load());
    double heard = 0;
    EXPECT_FALSE(wDBHeardFrame(&heard));
    wDBClose();
    EXPECT_FALSE(out.isOpen);
}
