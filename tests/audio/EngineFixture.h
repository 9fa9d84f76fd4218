// The engine's lower layer driven by hand, without a device or threads: the
// tracks armed at 120 BPM (22050 frames a beat), the running state set, the
// loader's services and the mixer's blocks called in turn by the test. The
// engine is at rest before (audio/EngineRest.h) and after.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/EngineRest.h"
#include "audio/EngineTestLoops.h"
#include "audio/LoopCache.h"
#include "audio/OVMixer.h"
#include "audio/OVTrack.h"
#include "audio/Vtrack.h"
#include "audio/WinApi.h"
#include "support/TestSupport.h"

namespace enginetest {

constexpr int kBeat = 22050;  // frames per beat at 120 BPM
constexpr int kCycle = 32 * kBeat;
constexpr int kRing = 65536;

// What a unity track (volume 127, pan 63, master 128) makes of a sample.
inline int unity(int v)
{
    return static_cast<int>(v * 127 / 128.0);
}

class LowerLayer : public EngineCase {
protected:
    void SetUp() override
    {
        EngineCase::SetUp();
        if (HasFatalFailure()) return;
        SetRealtimeFreq(44100);
        SetSongBPM(120);
        ResetSongVTracks();
        // A song an earlier test left in memory would be mixed in place of the files.
        LoopCache_Clear();
        BPM.store(kBeat);
        ResampledBPM.store(kBeat);
        ttDistance.store(8);
        ttQWPos = 0;
        ttQRPos = 1;
        for (auto& row : ttTrackPeaksQueue) row = ttQPeaksRec{};
        for (auto& p : ttTrackPeaks) p.store(-1);
        ASSERT_EQ(InitTracks(kRing), 0);
        InitResampler(BLOCKLEN.load());
        TimeLine.store(0);
        MasterVolume(128);
        PlayingStatus.store(2);
    }

    void TearDown() override
    {
        GetSamplesObserver.store(nullptr);
        CloseWaveFiles();
        FreeTracks();
        ResetResampler();
        PlayingStatus.store(0);
        TimeLine.store(0);
        ResetSongVTracks();
        SetLaunchGrid(kCycleBeats);
        SetTimeLineStart(0);
        EngineCase::TearDown();
    }

    // Writes test loop `id` and adds it to the samples list; its loop number.
    int addLoop(int id, int frames, int repeats)
    {
        const std::string path = dir.file("loop" + std::to_string(id) + ".wav");
        EXPECT_TRUE(writeLoop(path, id, frames));
        AddSongVTrack(kelPath(path).c_str(), repeats, 0);
        return NumVTracks;
    }

    int addFile(const std::string& name, const std::string& bytes, int repeats)
    {
        EXPECT_TRUE(writeBytes(dir.file(name), bytes));
        AddSongVTrack(kelPath(dir.file(name)).c_str(), repeats, 0);
        return NumVTracks;
    }

    // The loader's services until none finds anything to do.
    static void service()
    {
        for (int round = 0; round < 64; ++round) {
            bool worked = false;
            for (int i = 0; i < kTrackCount; ++i) worked = LoaderServiceTrack(i) || worked;
            if (!worked) return;
        }
        ADD_FAILURE() << "the loader never settled";
    }

    static std::vector<int16_t> mixBlock()
    {
        std::vector<int16_t> out(2 * kMixBlock);
        GetSamples(out.data(), kMixBlock);
        return out;
    }

    // Loader and mixer in turn until TimeLine reaches `end`; the output of
    // every block from the current TimeLine on, frame by frame.
    static std::vector<int16_t> renderTo(int64_t end)
    {
        std::vector<int16_t> out;
        while (TimeLine.load() < end) {
            service();
            const std::vector<int16_t> b = mixBlock();
            out.insert(out.end(), b.begin(), b.end());
        }
        return out;
    }

    static TRACK& track(int n) { return Tracks[n - 1]; }

    testsupport::TempDir dir{"engine"};
};

}  // namespace enginetest
