// The beat the facade reports keeps its sign where plain char is unsigned
// (this file is compiled with -funsigned-char, as on ARM): -1 stays -1.
#include <gtest/gtest.h>

#include "audio/BLEngine.h"
#include "audio/EngineRest.h"
#include "audio/OVTrack.h"

using BeatSign = enginetest::EngineCase;

TEST_F(BeatSign, NoBeatIsMinusOneWhereCharIsUnsigned)
{
    BLEngine engine;
    const int stopped = engine.getMixerBeat();
    EXPECT_EQ(stopped, -1);

    // Running at a beat shorter than the block length, before the first
    // beat is heard.
    const int beat = BLOCKLEN.load() * 3 / 4;
    PlayingStatus.store(2);
    BPM.store(beat);
    TimeLine.store(0);
    const int early = engine.getMixerBeat();
    TimeLine.store(BLOCKLEN.load() + 5 * beat);
    const int fifth = engine.getMixerBeat();
    PlayingStatus.store(0);
    TimeLine.store(0);
    EXPECT_EQ(early, -1);
    EXPECT_EQ(fifth, 5);
}
