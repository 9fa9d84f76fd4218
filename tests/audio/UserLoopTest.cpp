// The user loop: recording through the eight rotating input buffers from an
// input that delivers exactly the buffers the test lets through, loading
// WAV files, the render stage's region, fades, speed and phase, and the
// save of one period.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <random>
#include <thread>

#include "audio/EngineRunFixture.h"
#include "audio/EngineTestLoops.h"
#include "audio/Vetro.h"
#include "audio/Vtrack.h"
#include "audio/WinApi.h"
#include "audio/sndInRec.h"
#include "support/TestSupport.h"

namespace {

using namespace enginetest;

int16_t inputLeft(int64_t f)
{
    return static_cast<int16_t>(f % 30000 - 15000);
}
int16_t inputRight(int64_t f)
{
    return static_cast<int16_t>(-(f % 20000));
}

// A sound input that hands out a buffer only when the test releases one;
// frame f of what it captures is (inputLeft(f), inputRight(f)).
class HeldInput : public WaveInSource {
public:
    bool open(int, int, int) override { return opens; }
    void close() override {}
    bool start() override { return true; }
    void stop() override {}
    bool take(void* dest, uint32_t bytes) override
    {
        std::unique_lock<std::mutex> hold(m);
        if (!cv.wait_for(hold, std::chrono::milliseconds(5), [&] { return given < released; })) return false;
        auto* s = static_cast<int16_t*>(dest);
        for (uint32_t i = 0; i < bytes / 4; ++i, ++frame) {
            s[2 * i] = inputLeft(frame);
            s[2 * i + 1] = inputRight(frame);
        }
        ++given;
        return true;
    }
    bool exists() override { return true; }
    int problem() const override { return opens ? 0 : 2; }
    std::string problemText() const override { return opens ? "" : "Device or resource busy"; }
    void release(int n)
    {
        std::lock_guard<std::mutex> hold(m);
        released += n;
        cv.notify_all();
    }
    int taken()
    {
        std::lock_guard<std::mutex> hold(m);
        return given;
    }

    bool opens = true;

private:
    std::mutex m;
    std::condition_variable cv;
    int released = 0;
    int given = 0;
    int64_t frame = 0;
};

// Frames stored so far, once they are `want` (or after 20 s).
unsigned long recordedWhen(unsigned long want)
{
    unsigned long n = 0;
    for (int i = 0; i < 4000; ++i) {
        WAVEIN_RecordStatus(&n);
        if (n >= want) return n;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return n;
}

void waitTaken(HeldInput& in, int buffers)
{
    for (int i = 0; i < 4000 && in.taken() < buffers; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

class UserLoop : public EngineCase {
protected:
    // Frames a recording takes for a song of 120 BPM: 8 bars at 70.
    static constexpr int32_t kCapacity = 8 * 4 * 2646000 / 70 + 4096;
    void SetUp() override
    {
        EngineCase::SetUp();
        if (HasFatalFailure()) return;
        SetSongBPM(120);
        WAVEIN_SetSource(&input);
        Vetro_Init();
        vetroRenderData = vetroRenderDataRec{};
    }
    void TearDown() override
    {
        UserLoop_RecordReset();
        UserLoop_Load(nullptr);
        UserLoop_SetMemoryBudget(0);
        WAVEIN_SetSource(nullptr);
        Vetro_Exit();
        EngineCase::TearDown();
    }

    std::string wave(const std::string& name, const std::vector<int16_t>& samples, const WaveHeader& h = {})
    {
        EXPECT_TRUE(writeBytes(dir.file(name), waveBytes(samples, h)));
        return kelPath(dir.file(name));
    }

    // A stereo loop of `frames` frames holding `left` and `right` throughout.
    void constantLoop(int32_t frames, int16_t left, int16_t right)
    {
        auto* block = static_cast<int16_t*>(M_alloc(frames * 4));
        for (int32_t f = 0; f < frames; ++f) {
            block[2 * f] = left;
            block[2 * f + 1] = right;
        }
        Vetro_ReplaceLoop(block, frames, 2);
    }

    // The loop's left channel as a ramp: frame f holds f % 20000.
    void rampLoop(int32_t frames)
    {
        auto* block = static_cast<int16_t*>(M_alloc(frames * 4));
        for (int32_t f = 0; f < frames; ++f)
            block[2 * f] = block[2 * f + 1] = static_cast<int16_t>(f % 20000);
        Vetro_ReplaceLoop(block, frames, 2);
    }

    void apply(int16_t bars, float offset, float rate, float start, float end, float gain = 1.0f)
    {
        blUserLoopSettingsRec s{1, bars, offset, gain, rate, start, end};
        Vetro_ApplySettings(&s);
    }

    // One block as the mixer renders it at `blockStart`, master gain 1.
    void render(int64_t blockStart, int frames = 2048, int32_t barFrames = 88200)
    {
        outL.assign(static_cast<size_t>(frames), 0.0f);
        outR.assign(static_cast<size_t>(frames), 0.0f);
        vetroRenderData.blockStart = static_cast<int32_t>(blockStart);
        vetroRenderData.blockFrames = frames;
        vetroRenderData.barFrames = barFrames;
        vetroRenderData.masterGain = 1.0f;
        vetroRenderData.outL = outL.data();
        vetroRenderData.outR = outR.data();
        Vetro_RenderToMixer();
    }

    HeldInput input;
    std::vector<float> outL, outR;
    testsupport::TempDir dir{"userloop"};
};

TEST_F(UserLoop, ARecordingStoresWholeBuffersUntilItIsStopped)
{
    short percent = -1, level = -1;
    EXPECT_EQ(UserLoop_RecordStatus(&percent, &level), 0) << "no recording yet";
    EXPECT_EQ(level, 0);
    UserLoop_RecordReset();  // nothing to end
    EXPECT_EQ(vetroGlobalData.loopData, nullptr);

    ASSERT_EQ(UserLoop_RecordStart(), 1);
    EXPECT_EQ(UserLoop_RecordStatus(&percent, &level), 1);
    EXPECT_EQ(percent, 0);
    EXPECT_EQ(level, 90);
    input.release(3);
    EXPECT_EQ(recordedWhen(6144), 6144u);
    UserLoop_RecordStatus(&percent, &level);
    EXPECT_EQ(percent, 6144 * 100 / kCapacity);
    blUserLoopSettingsRec s{1, 1, 0, 1, 1, 0, 100};
    Vetro_ApplySettings(&s);
    EXPECT_EQ(vetroRenderData.active, 0) << "silent while the block fills";

    UserLoop_RecordStop();
    input.release(2);
    waitTaken(input, 5);
    EXPECT_EQ(UserLoop_RecordStatus(&percent, &level), 0) << "stopped: nothing more is stored";
    UserLoop_RecordReset();
    ASSERT_EQ(vetroGlobalData.loopFrames, 6144);
    EXPECT_EQ(vetroGlobalData.loopChannels, 2);
    for (int f : {0, 2047, 2048, 6143}) {
        EXPECT_EQ(vetroGlobalData.loopData[2 * f], inputLeft(f)) << f;
        EXPECT_EQ(vetroGlobalData.loopData[2 * f + 1], inputRight(f)) << f;
    }
    Vetro_ApplySettings(&s);
    EXPECT_EQ(vetroRenderData.active, 1) << "the recording now sounds";
    EXPECT_EQ(UserLoop_RecordStatus(&percent, &level), 0);
    EXPECT_EQ(level, 0);
}

TEST_F(UserLoop, AFullRecordingHoldsItsWholeBlockAndReportsAHundredPercent)
{
    ASSERT_EQ(UserLoop_RecordStart(), 1);
    // 8 bars at the slowest tempo of a 120 BPM song, 70: no limit of 5 s.
    const int buffers = (kCapacity + 2047) / 2048;
    input.release(buffers);
    EXPECT_EQ(recordedWhen(kCapacity), static_cast<unsigned long>(kCapacity)) << "the first size tried";
    // The buffer that filled the block and the seven still queued come back
    // and are not queued again.
    input.release(20);
    waitTaken(input, buffers + 7);
    for (int i = 0; i < 40 && input.taken() == buffers + 7; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(input.taken(), buffers + 7);
    short percent = 0, level = 0;
    EXPECT_EQ(UserLoop_RecordStatus(&percent, &level), 0);
    EXPECT_EQ(percent, 100);
    UserLoop_RecordStop();
    UserLoop_RecordReset();
    ASSERT_EQ(vetroGlobalData.loopFrames, kCapacity);
    EXPECT_EQ(vetroGlobalData.loopData[2 * (kCapacity - 1)], inputLeft(kCapacity - 1));

    // With less memory a smaller block is taken, a quarter less each try:
    // at 300000 bytes 68346 frames, 1.5 s.
    UserLoop_SetMemoryBudget(300000);
    ASSERT_EQ(UserLoop_RecordStart(), 1);
    EXPECT_EQ(vetroGlobalData.loopFrames, 0) << "the new recording replaced the loop";
    input.release(3);  // beside the 13 left over
    recordedWhen(16 * 2048);
    UserLoop_RecordStatus(&percent, &level);
    EXPECT_EQ(percent, 16 * 2048 * 100 / 68346);
    UserLoop_SetMemoryBudget(1000);
    UserLoop_RecordReset();
    EXPECT_EQ(UserLoop_RecordStart(), 0) << "no block of 6 seconds of bytes";
}

TEST_F(UserLoop, ARecordingThatCannotStartKeepsTheLoopThereWas)
{
    const std::string path = wave("mono.wav", std::vector<int16_t>(1000, 1234), WaveHeader{.channels = 1});
    ASSERT_EQ(UserLoop_Load(const_cast<char*>(path.c_str())), 1);
    const int16_t* before = vetroGlobalData.loopData;
    input.opens = false;
    EXPECT_EQ(UserLoop_RecordStart(), 0);
    EXPECT_EQ(vetroGlobalData.loopData, before);
    EXPECT_EQ(vetroGlobalData.loopFrames, 1000);
    // The reason goes up to the one who asked.
    std::string said;
    EXPECT_EQ(UserLoop_RecordProblem(&said), 2);
    EXPECT_EQ(said, "Device or resource busy");
    input.opens = true;
    EXPECT_EQ(UserLoop_RecordStart(), 1);
    EXPECT_EQ(UserLoop_RecordProblem(&said), 0);
}

TEST_F(UserLoop, LoadingTakesMonoAndStereoAtTheEnginesRateAndWhatFits)
{
    std::vector<int16_t> mono(3000);
    for (size_t i = 0; i < mono.size(); ++i) mono[i] = static_cast<int16_t>(i);
    const std::string monoPath = wave("mono.wav", mono, WaveHeader{.channels = 1});
    ASSERT_EQ(UserLoop_Load(const_cast<char*>(monoPath.c_str())), 1);
    EXPECT_EQ(vetroGlobalData.loopChannels, 1);
    EXPECT_EQ(vetroGlobalData.loopFrames, 3000);
    EXPECT_EQ(vetroGlobalData.loopData[2999], 2999);
    BLEngine engine;  // and as the facade tells it
    const BLUserLoopState first = engine.userLoop_state();
    EXPECT_EQ(first.frames, 3000);
    EXPECT_EQ(first.channels, 1);

    // A mono loop sounds the same on both sides.
    apply(1, 0, 1.0f, 0, 100);
    render(0, 200);
    for (int i = 0; i < 200; ++i) ASSERT_EQ(outL[static_cast<size_t>(i)], outR[static_cast<size_t>(i)]) << i;
    EXPECT_FLOAT_EQ(outL[100], 100.0f);

    // 8000 Hz would play too fast: refused (the tuner converts it), and the
    // loop there was stays.
    const std::string slow = wave("slow.wav", mono, WaveHeader{.channels = 1, .rate = 8000});
    EXPECT_EQ(UserLoop_Load(const_cast<char*>(slow.c_str())), 0);
    EXPECT_EQ(UserLoop_LastLoad().fileRate, 8000);
    EXPECT_EQ(vetroGlobalData.loopFrames, 3000);
    const std::string missing = kelPath(dir.file("none.wav"));
    EXPECT_EQ(UserLoop_Load(const_cast<char*>(missing.c_str())), 0);
    EXPECT_EQ(vetroGlobalData.loopFrames, 3000);
    EXPECT_EQ(engine.userLoop_state().serial, first.serial) << "the same loop";

    // What does not fit loads its first half.
    const std::string stereo = wave("stereo.wav", std::vector<int16_t>(2 * 10000, 7));
    UserLoop_SetMemoryBudget(30000);
    ASSERT_EQ(UserLoop_Load(const_cast<char*>(stereo.c_str())), 1);
    EXPECT_EQ(vetroGlobalData.loopFrames, 5000);
    EXPECT_EQ(UserLoop_LastLoad().fileFrames, 10000);
    EXPECT_EQ(UserLoop_LastLoad().loadedFrames, 5000);
    EXPECT_EQ(engine.userLoop_state().serial, first.serial + 1) << "a new loop";
    EXPECT_EQ(engine.userLoop_state().frames, 5000);

    EXPECT_EQ(UserLoop_Load(nullptr), 0);
    EXPECT_EQ(vetroGlobalData.loopData, nullptr);
    EXPECT_EQ(vetroGlobalData.loopFrames, 0);
}

TEST_F(UserLoop, TheRegionIsAPercentageOfTheLoopWithFadedEdges)
{
    constantLoop(220500, 10000, -10000);
    apply(1, 0, 1.0f, 10, 50);
    EXPECT_EQ(vetroGlobalData.regionStart, 22050);
    EXPECT_EQ(vetroGlobalData.regionEnd, 110250);
    apply(1, 0, 1.0f, 0, 100);
    EXPECT_EQ(vetroGlobalData.regionStart, 0);
    EXPECT_EQ(vetroGlobalData.regionEnd, 220500);
    EXPECT_EQ(vetroRenderData.active, 1);

    // First frame 0, fiftieth 0.98, last 0.02.
    constantLoop(1000, 10000, -10000);
    apply(1, 0, 1.0f, 0, 100);
    render(0);
    EXPECT_FLOAT_EQ(outL[0], 0.0f);
    EXPECT_NEAR(outL[49], 9800.0f, 0.01);
    EXPECT_NEAR(outR[49], -9800.0f, 0.01);
    EXPECT_FLOAT_EQ(outL[500], 10000.0f);
    EXPECT_NEAR(outL[999], 200.0f, 0.01);
    // After a region shorter than the period: silence.
    EXPECT_FLOAT_EQ(outL[1000], 0.0f);
    EXPECT_FLOAT_EQ(outL[2047], 0.0f);
}

TEST_F(UserLoop, PhaseAndSpeedPlaceTheBlockInTheRegion)
{
    rampLoop(200000);
    // Rate 1: every output frame one source frame, from regionStart at frame 0.
    apply(1, 0, 1.0f, 10, 100);
    const int32_t rs = vetroGlobalData.regionStart;
    render(0);
    EXPECT_EQ(vetroRenderData.srcOffset, 0);
    for (int i = 50; i < 2048; i += 97)
        EXPECT_FLOAT_EQ(outL[static_cast<size_t>(i)], static_cast<float>((rs + i) % 20000)) << i;

    // Phase 0.5 (half a bar of one): half a period later.
    apply(1, 0.5f, 1.0f, 10, 100);
    render(0);
    EXPECT_EQ(vetroRenderData.srcOffset, 44100);
    EXPECT_FLOAT_EQ(outL[0], static_cast<float>((rs + 44100) % 20000));
    // The timeline runs on: a block further, as far further in the loop.
    render(88200 + 4096);
    EXPECT_FLOAT_EQ(outL[0], static_cast<float>((rs + 44100 + 4096) % 20000));

    // Rate 0.5: half a source frame per output frame, halfway between.
    apply(1, 0.5f, 0.5f, 10, 100);
    render(0);
    EXPECT_EQ(vetroRenderData.srcOffset, 22050);
    EXPECT_EQ(vetroRenderData.srcFrames, 1024);
    const float s0 = static_cast<float>((rs + 22050) % 20000);
    EXPECT_FLOAT_EQ(outL[0], s0);
    EXPECT_FLOAT_EQ(outL[1], s0 + 0.5f);
    EXPECT_FLOAT_EQ(outL[2], s0 + 1.0f);

    // Settings while no loop is there leave the stage silent.
    UserLoop_Load(nullptr);
    apply(1, 0, 1.0f, 0, 100);
    EXPECT_EQ(vetroRenderData.active, 0);
}

// A period of one bar (88200 frames) ends 136 frames into the block that
// starts at 88064: the loop starts again on that frame, not a block later.
TEST_F(UserLoop, TheLoopRestartsOnTheFrameItsPeriodEnds)
{
    rampLoop(200000);
    apply(1, 0, 1.0f, 0, 100);
    render(88064);
    EXPECT_FLOAT_EQ(outL[0], static_cast<float>(88064 % 20000));
    EXPECT_FLOAT_EQ(outL[135], static_cast<float>(88199 % 20000)) << "the period's last frame";
    EXPECT_FLOAT_EQ(outL[136], 0.0f) << "the region's first frame, faded in from 0";
    for (int i = 186; i < 2048; i += 131)
        EXPECT_FLOAT_EQ(outL[static_cast<size_t>(i)], static_cast<float>(i - 136)) << i;
    render(88064 + 2048);
    EXPECT_FLOAT_EQ(outL[0], static_cast<float>(2048 - 136)) << "and the next block goes on from there";

    // At a fitted speed the restart lands on its frame too: 4 bars of a
    // 128 BPM loop (330750 frames) played over 4 bars at 100 BPM (423360).
    rampLoop(330750);
    apply(4, 0, 100.0f / 128.0f, 0, 100);
    const int64_t period = 4 * 105840;
    const int64_t block = period - period % 2048;
    render(block, 2048, 105840);
    const auto restart = static_cast<size_t>(period - block);
    EXPECT_FLOAT_EQ(outL[restart], 0.0f);
    EXPECT_NEAR(outL[restart + 128], 100.0, 1e-3) << "128 frames on at 0.78125: source frame 100";
}

TEST_F(UserLoop, SavingWritesOnePeriodWithoutTheMasterVolume)
{
    constantLoop(200000, 20000, -20000);
    apply(2, 0, 1.0f, 0, 100, 4.0f);    // loud enough to clip
    vetroRenderData.barFrames = 88200;  // 120 BPM
    vetroRenderData.masterGain = 0.1f;
    const std::string target = dir.file("User/loop.wav");
    std::filesystem::create_directories(dir.file("User"));
    testsupport::writeFile(target + ".part", "mine");
    ASSERT_EQ(Vetro_SaveLoop(const_cast<char*>(kelPath(target).c_str())), 1);
    const std::string bytes = testsupport::readFile(target);
    ASSERT_EQ(bytes.size(), 44u + 705600u);
    const auto at = [&](size_t frame, int side) {
        const size_t o = 44 + 4 * frame + 2 * static_cast<size_t>(side);
        return static_cast<int16_t>(static_cast<uint8_t>(bytes[o]) | static_cast<uint8_t>(bytes[o + 1]) << 8);
    };
    EXPECT_EQ(bytes.substr(36, 4), "data");
    EXPECT_EQ(static_cast<uint8_t>(bytes[40]) | static_cast<uint8_t>(bytes[41]) << 8 |
                  static_cast<uint8_t>(bytes[42]) << 16,
              705600);
    EXPECT_EQ(at(0, 0), 0) << "the fade starts at 0";
    EXPECT_EQ(at(1000, 0), 32767);
    EXPECT_EQ(at(1000, 1), -32767);
    EXPECT_EQ(at(176399, 0), 32767) << "the period's last frame";
    EXPECT_EQ(testsupport::readFile(target + ".part"), "mine") << "a file of that name is the person's";

    // Before any playback the period is not known: a file without sound.
    vetroRenderData.barFrames = 0;
    const std::string empty = dir.file("User/empty.wav");
    ASSERT_EQ(Vetro_SaveLoop(const_cast<char*>(kelPath(empty).c_str())), 1);
    EXPECT_EQ(std::filesystem::file_size(empty), 44u);

    // A folder that is not there: nothing written, nothing left behind.
    vetroRenderData.barFrames = 88200;
    const std::string nowhere = dir.file("missing/loop.wav");
    EXPECT_EQ(Vetro_SaveLoop(const_cast<char*>(kelPath(nowhere).c_str())), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));
    UserLoop_Load(nullptr);
    EXPECT_EQ(Vetro_SaveLoop(const_cast<char*>(kelPath(target).c_str())), 0) << "no loop";
    EXPECT_EQ(std::filesystem::file_size(target), 44u + 705600u) << "the file there stays";
}

// The stage changed, its loop replaced, recorded and saved from the main
// thread while the refill timer mixes it: meant for the ThreadSanitizer build.
class UserLoopLive : public EngineRun {
protected:
    bool withTimer() const override { return true; }
};

TEST_F(UserLoopLive, ChangesWhileTheTimerMixesTheLoop)
{
    HeldInput input;
    WAVEIN_SetSource(&input);
    loadSong(120, 2, 4);
    const std::string stereo = dir.file("stereo.wav"), mono = dir.file("mono.wav");
    ASSERT_TRUE(writeLoop(stereo, 7, 3 * 22050));
    ASSERT_TRUE(writeBytes(mono, waveBytes(std::vector<int16_t>(50000, 900), WaveHeader{.channels = 1})));
    engine.play();
    engine.setTrackSample(0, 0);
    engine.setMixerBpm(120);
    std::mt19937 random(1234);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    int saved = 0;
    while (std::chrono::steady_clock::now() < end) {
        switch (pick(7)) {
            case 0: engine.userLoop_load(kelPath(pick(2) ? stereo : mono).c_str()); break;
            case 1: engine.userLoop_load(nullptr); break;
            case 2:
                if (engine.userLoop_recordStart()) input.release(pick(4));
                break;
            case 3:
                engine.userLoop_recordStop();
                engine.userLoop_recordReset();
                break;
            case 4: saved += engine.userLoop_save(kelPath(dir.file("saved.wav")).c_str()); break;
            default: {
                blUserLoopSettingsRec s{1,
                                        static_cast<int16_t>(1 << pick(4)),
                                        static_cast<float>(pick(8)),
                                        static_cast<float>(pick(150)) / 100,
                                        0.5f + static_cast<float>(pick(150)) / 100,
                                        static_cast<float>(pick(50)),
                                        static_cast<float>(50 + pick(51))};
                engine.userLoop_params(&s);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pick(20)));
    }
    engine.userLoop_recordReset();
    EXPECT_GT(TimeLine.load(), 44100) << "the mix went on";
    EXPECT_GT(saved, 0);
    engine.userLoop_load(nullptr);
    WAVEIN_SetSource(nullptr);
}

}  // namespace
