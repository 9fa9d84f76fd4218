// The engine at rest: what a case may leave in the engine's global state for
// a later one to trip on, each named. Every engine fixture derives from
// EngineCase, which checks the engine before its case (what an earlier case
// left fails here, by name, instead of as a wrong sound later) and after the
// fixture's own tear-down (the case that left it fails itself).
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "audio/CardOutput.h"
#include "audio/KeyLock.h"
#include "audio/LoopCache.h"
#include "audio/OVMixer.h"
#include "audio/OVTrack.h"
#include "audio/QueueOutput.h"
#include "audio/Synth.h"
#include "audio/Vetro.h"
#include "audio/Vtrack.h"
#include "audio/WinApi.h"
#include "audio/Winaudio.h"

namespace enginetest {

// One line for each thing not at rest; empty when the engine is at rest.
inline std::string engineLeftovers()
{
    std::string left;
    auto check = [&left](bool bad, const char* what) {
        if (bad) left += std::string(what) + "\n";
    };
    check(PlayingStatus.load() != 0, "the engine armed or running (PlayingStatus)");
    check(mmAud != nullptr, "an output device instance (mmAud)");
    check(timerID != 0, "the refill timer");
    check(LoaderRunning(), "the loader thread");
    check(dowldproc.load() != 0, "the loader servicing tracks (dowldproc)");
    bool rings = convBuf != nullptr;
    for (TRACK& t : Tracks) {
        std::lock_guard<std::mutex> hold(t.lock);
        rings = rings || t.ring != nullptr;
    }
    check(rings, "track rings (InitTracks without FreeTracks)");
    check(resBuf != nullptr, "the resampler's buffer");
    check(LoopCache_Resident() || LoopCache_Bytes() != 0, "loops held in memory (LoopCache)");
    check(NumVTracks != 0, "a samples list");
    check(KeyLock_On(), "the key lock on");
    check(RealtimeSynth.arpMode != 0, "the arpeggiator on");
    check(RealtimeSynthNotesLoaded() != 0, "a synth sound loaded");
    check(vetroGlobalData.loopData != nullptr || vetroRenderData.active != 0, "a user loop");
    check(GetSamplesObserver.load() != nullptr, "a mix block observer");
    check(F_readObserver.load() != nullptr, "a file read observer");
    check(LaunchGridBeats() != kCycleBeats, "a launch grid other than the cycle");
    check(TimeLineStartFrame() != 0, "a timeline that starts later than frame 0");
    check(QueueOutput_Device() != nullptr, "a queue output given (wDBSetOutput)");
    check(!QueueOutput_Timed(), "the refill timer switched off (wDBSetTimer)");
    check(!MMSysCardOutput::chosenCard().empty() || MMSysCardOutput::periodFrames() != 512,
          "a sound card or period chosen");
    return left;
}

class EngineCase : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(engineLeftovers(), "") << "an earlier case left this in the engine"; }
    void TearDown() override { EXPECT_EQ(engineLeftovers(), "") << "this case left this in the engine"; }
};

}  // namespace enginetest
