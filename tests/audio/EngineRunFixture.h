// The whole engine through its facade, with its loader thread, playing into
// a TestOutput instead of the sound card. Without the timer the test makes
// the refill ticks itself. The engine is at rest before (audio/EngineRest.h)
// and after: the tear-down undoes whatever of it a case may have changed.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "audio/BLEngine.h"
#include "audio/EngineRest.h"
#include "audio/EngineTestLoops.h"
#include "audio/OVMixer.h"
#include "audio/Vtrack.h"
#include "audio/Winaudio.h"
#include "support/TestSupport.h"

namespace enginetest {

class EngineRun : public EngineCase {
protected:
    virtual bool withTimer() const { return false; }

    void SetUp() override
    {
        EngineCase::SetUp();
        if (HasFatalFailure()) return;
        out = std::make_unique<TestOutput>(withTimer(), size_t{64} << 20);
        wDBSetOutput(out.get());
        wDBSetTimer(withTimer());
        engine.init();
    }

    void TearDown() override
    {
        engine.stop();
        engine.setKeyLock(false);
        engine.synth_Stop();
        engine.userLoop_load(nullptr);
        engine.exit();
        wDBSetOutput(nullptr);
        wDBSetTimer(true);
        ResetSongVTracks();
        SetLaunchGrid(kCycleBeats);
        SetTimeLineStart(0);
        LoopCache_SetBudget(int64_t{200} << 20);
        GetSamplesObserver.store(nullptr);
        F_readObserver.store(nullptr);
        EngineCase::TearDown();
    }

    // A song at `bpm` of `count` test loops (ids 1 up), `beats` beats long each.
    void loadSong(float bpm, int count, int beats)
    {
        engine.stop();
        engine.setMixerFrequency(44100);
        engine.samplesListReset();
        engine.samplesBpm(bpm);
        const int frames = beats * (2646000 / static_cast<int>(bpm));
        for (int id = 1; id <= count; ++id) {
            const std::string path = dir.file("loop" + std::to_string(id) + ".wav");
            ASSERT_TRUE(writeLoop(path, id, frames));
            engine.samplesListAdd(kelPath(path).c_str(), 0);
        }
    }

    // One refill tick after the output played `buffers` buffers of 2048 frames.
    void tick(int buffers = 1)
    {
        out->play(static_cast<uint64_t>(buffers) * 8192);
        MMSysAudio::AudioOutTimeSlice();
    }

    // The samples the device was given from byte `from` of its stream on;
    // read once the device is stopped.
    std::vector<int16_t> played(size_t from = 0) const
    {
        std::vector<int16_t> s((out->stream.size() - from) / 2);
        if (!s.empty()) std::memcpy(s.data(), out->stream.data() + from, s.size() * 2);
        return s;
    }

    // A field of track i (0 to 7) as its lock shows it: the loader runs.
    template <typename T>
    static T field(int i, T TRACK::*member)
    {
        std::lock_guard<std::mutex> hold(Tracks[i].lock);
        return Tracks[i].*member;
    }

    std::unique_ptr<TestOutput> out;
    BLEngine engine;
    testsupport::TempDir dir{"engine-run"};
};

}  // namespace enginetest
