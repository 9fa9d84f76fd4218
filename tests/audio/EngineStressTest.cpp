// The engine under a storm of changes from the main thread while the loader
// and the refill timer run against real loop files: meant for the
// ThreadSanitizer build, and checked for an unbroken output in every build.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "audio/EngineRunFixture.h"

using namespace enginetest;

namespace {

constexpr int kMaxBlocks = 1 << 16;
std::atomic<int> blocksMixed{0};
int64_t blockStarts[kMaxBlocks];
int blockFrames[kMaxBlocks];

// On the timer thread, once per mixed block.
void recordBlock(int64_t timeLine, const int16_t*, int frames)
{
    const int i = blocksMixed.load(std::memory_order_relaxed);
    if (i < kMaxBlocks) {
        blockStarts[i] = timeLine;
        blockFrames[i] = frames;
    }
    blocksMixed.store(i + 1, std::memory_order_release);
}

class Stress : public EngineRun {
protected:
    bool withTimer() const override { return true; }
};

}  // namespace

TEST_F(Stress, RandomChangesWhileTheLoaderAndTheTimerRun)
{
    // Loops of one bar to eight, a five-beat one, a mono one, one shorter
    // than its period and one that is missing.
    const int beat = 22050;
    struct LoopKind {
        int frames;
        int repeats;
        int channels;
    };
    const LoopKind kinds[] = {{4 * beat, 8, 2}, {8 * beat, 4, 2}, {16 * beat, 2, 2}, {32 * beat, 1, 2},
                              {5 * beat, 6, 2}, {4 * beat, 8, 1}, {3 * beat, 8, 2},  {2 * beat, 16, 2},
                              {4 * beat, 8, 2}, {8 * beat, 4, 2}};
    engine.setMixerFrequency(44100);
    engine.samplesListReset();
    engine.samplesBpm(120);
    int id = 1;
    for (const LoopKind& s : kinds) {
        const std::string path = dir.file(testsupport::join("s", id, ".wav"));
        std::vector<int16_t> data(static_cast<size_t>(s.frames) * s.channels);
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<int16_t>((i * 37 + id * 1000) % 20000 - 10000);
        WaveHeader h;
        h.channels = static_cast<int16_t>(s.channels);
        ASSERT_TRUE(writeBytes(path, waveBytes(data, h)));
        engine.samplesListAdd(kelPath(path).c_str(), static_cast<short>(s.repeats));
        ++id;
    }
    engine.samplesListAdd(kelPath(dir.file("missing.wav")).c_str(), 8);
    const int samples = NumVTracks;

    blocksMixed.store(0);
    GetSamplesObserver.store(recordBlock);
    engine.play();
    for (short t = 0; t < 8; ++t) {
        engine.setTrackSample(t, t);
        engine.setTrackVolume(t, 100);
        engine.setTrackPan(t, 0);
    }
    engine.setMixerBpm(120);
    engine.setMixerVolume(63);

    std::mt19937 random(20240611);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::seconds(12);
    int changes = 0;
    while (std::chrono::steady_clock::now() < end) {
        const short track = static_cast<short>(pick(8));
        switch (pick(9)) {
            case 0:
            case 1:
                engine.sync_atGrooveSet(0);
                engine.setTrackSample(track, static_cast<short>(pick(samples + 1) - 1));
                break;
            case 2:
                engine.sync_atGrooveSet(1);
                engine.setTrackSample(track, static_cast<short>(pick(samples + 1) - 1));
                break;
            case 3:
                engine.sync_atGrooveSet(static_cast<short>(pick(2)));
                engine.setTrackVolume(track, static_cast<short>(pick(140) - 5));
                break;
            case 4:
                engine.sync_atGrooveSet(static_cast<short>(pick(2)));
                engine.setTrackPan(track, static_cast<short>(pick(140) - 70));
                break;
            case 5: engine.setMixerBpm(60.0f + static_cast<float>(pick(200000)) / 1000.0f); break;
            case 6: engine.setMixerVolume(static_cast<short>(pick(140) - 5)); break;
            case 7: {
                ttPeak* left = nullptr;
                ttPeak* right = nullptr;
                engine.getTrackPeaks(track, &left, &right);
                EXPECT_LE(left->exchange(-1), 32767);
                right->store(-1);
                const int b = engine.getMixerBeat();
                EXPECT_TRUE(b >= -1 && b < 32) << b;
                break;
            }
            default:
                engine.changesBegin();
                for (short t = 0; t < 8; ++t) engine.setTrackSample(t, static_cast<short>(pick(samples)));
                engine.changesEnd();
                break;
        }
        ++changes;
        std::this_thread::sleep_for(std::chrono::microseconds(pick(3000)));
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    engine.stop();
    GetSamplesObserver.store(nullptr);

    // No frame skipped or mixed twice: each block starts where the last ended.
    const int blocks = blocksMixed.load(std::memory_order_acquire);
    ASSERT_LT(blocks, kMaxBlocks);
    ASSERT_GT(blocks, 100);
    int64_t mixed = 0;
    for (int i = 0; i < blocks; ++i) {
        ASSERT_EQ(blockStarts[i], mixed) << "block " << i;
        mixed += blockFrames[i];
    }
    EXPECT_EQ(TimeLine.load(), mixed);

    // The device got the priming and then whole buffers, enough to play
    // through, give or take its queue.
    ASSERT_GE(out->sizes.size(), 2u);
    EXPECT_EQ(out->sizes[0], 32768u);
    for (size_t i = 1; i < out->sizes.size(); ++i) ASSERT_EQ(out->sizes[i], 8192u) << i;
    const double framesOut = static_cast<double>(out->queuedTotal) / 4;
    EXPECT_GT(framesOut, (seconds - 0.5) * 44100);
    std::printf("%d changes in %.1f s; %d blocks mixed; %.0f frames out; %llu bytes of underrun\n", changes,
                seconds, blocks, framesOut, static_cast<unsigned long long>(out->underrunBytes()));
}
