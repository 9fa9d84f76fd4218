// The real device path end to end: the engine plays a groove through SDL's
// disk audio driver (the sound card's place), with its own timer and loader
// threads, and what the driver wrote equals enginebounce's offline render of
// the same groove, sample for sample.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "audio/BLEngine.h"
#include "audio/EngineTestLoops.h"
#include "audio/OVTrack.h"
#include "audio/Winaudio.h"
#include "support/TestSupport.h"

using namespace enginetest;

namespace {

std::vector<int16_t> samplesOf(const std::string& bytes, size_t skip)
{
    std::vector<int16_t> s;
    if (bytes.size() <= skip) return s;
    s.resize((bytes.size() - skip) / 4 * 2);
    std::memcpy(s.data(), bytes.data() + skip, s.size() * 2);
    return s;
}

// Sets an environment variable for the test's life.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name)
    {
        if (const char* old = std::getenv(name)) {
            had_ = true;
            old_ = old;
        }
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (had_) {
            setenv(name_, old_.c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

}  // namespace

TEST(EngineDevice, DiskDriverCaptureEqualsTheOfflineRender)
{
    testsupport::TempDir dir("capture");
    const int beat = 22050;
    const std::string loops[3] = {dir.file("a.wav"), dir.file("b.wav"), dir.file("c.wav")};
    ASSERT_TRUE(writeLoop(loops[0], 1, 4 * beat));
    ASSERT_TRUE(writeLoop(loops[1], 2, 2 * beat));
    std::vector<int16_t> mono(5 * beat);
    for (size_t i = 0; i < mono.size(); ++i) mono[i] = static_cast<int16_t>(i % 9000 - 4500);
    WaveHeader h;
    h.channels = 1;
    ASSERT_TRUE(writeBytes(loops[2], waveBytes(mono, h)));

    // The offline render, long enough for whatever the capture holds.
    const std::string render = dir.file("render.wav");
    const auto r = testsupport::run({testsupport::toolsDir() + "/enginebounce",
                                     "--bpm",
                                     "120",
                                     "--mix-bpm",
                                     "131.5",
                                     "--frames",
                                     "441000",
                                     "--master",
                                     "80",
                                     "--loop",
                                     loops[0] + ":8",
                                     "--loop",
                                     loops[1] + ":16",
                                     "--loop",
                                     loops[2] + ":6",
                                     "--track",
                                     "0:0:127:0",
                                     "--track",
                                     "3:1:100:-40",
                                     "--track",
                                     "6:2:90:25",
                                     "-o",
                                     render},
                                    "", 120);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const std::vector<int16_t> offline = samplesOf(testsupport::readFile(render), 44);
    ASSERT_EQ(offline.size(), 2u * 441000);
    ASSERT_NE(offline[0], 0);

    // The same groove live, into the disk driver.
    const std::string capture = dir.file("capture.raw");
    ScopedEnv driver("SDL_AUDIODRIVER", "disk");
    ScopedEnv file("SDL_DISKAUDIOFILE", capture);
    wDBSetOutput(nullptr);
    wDBSetTimer(true);
    BLEngine engine;
    engine.init();
    engine.stop();
    engine.setMixerFrequency(44100);
    engine.samplesListReset();
    engine.samplesBpm(120);
    const short repeats[3] = {8, 16, 6};
    for (int i = 0; i < 3; ++i) engine.samplesListAdd(kelPath(loops[i]).c_str(), repeats[i]);
    // One play command, as the player sends it: all of it in the first frame.
    engine.changesBegin();
    engine.play();
    engine.setTrackSample(0, 0);
    engine.setTrackVolume(0, 127);
    engine.setTrackPan(0, 0);
    engine.setTrackSample(3, 1);
    engine.setTrackVolume(3, 100);
    engine.setTrackPan(3, -40);
    engine.setTrackSample(6, 2);
    engine.setTrackVolume(6, 90);
    engine.setTrackPan(6, 25);
    engine.setMixerBpm(131.5f);
    engine.setMixerVolume(80);
    engine.changesEnd();
    ASSERT_EQ(PlayingStatus.load(), 2) << "the disk audio driver did not open";
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    engine.stop();
    engine.exit();

    // The driver writes silence while the device is still paused and after
    // it is cleared: the sound is what lies between.
    std::vector<int16_t> live = samplesOf(testsupport::readFile(capture), 0);
    size_t first = 0;
    while (first < live.size() && live[first] == 0 && live[first + 1] == 0) first += 2;
    size_t end = live.size();
    while (end > first && live[end - 1] == 0 && live[end - 2] == 0) end -= 2;
    const size_t heard = end - first;
    ASSERT_GT(heard, 2u * 2 * 44100) << "less than two seconds captured";
    ASSERT_LE(heard, offline.size());
    for (size_t i = 0; i < heard; ++i)
        ASSERT_EQ(live[first + i], offline[i]) << "frame " << i / 2 << (i % 2 ? " right" : " left");
}
