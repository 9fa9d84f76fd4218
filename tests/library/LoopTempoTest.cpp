// A loop's tempo and bars from its name, else from its length.
#include <gtest/gtest.h>

#include "library/BLLoopTempo.h"

namespace {

TEST(LoopTempo, FromTheNameThenFromTheLength)
{
    const std::pair<const char*, double> names[] = {{"Drums 120bpm", 120},
                                                    {"bass_120_BPM", 120},
                                                    {"keys 92.5 bpm", 92.5},
                                                    {"funk_128_", 128},
                                                    {"120-kick", 120},
                                                    {"loop 90 take 2", 90},
                                                    {"kick01", 0},
                                                    {"808 kick", 0},
                                                    {"take2", 0},
                                                    {"2024-05 jam", 0},
                                                    {"bpm", 0}};
    for (const auto& [name, bpm] : names) EXPECT_DOUBLE_EQ(BLLoop_TempoFromName(name), bpm) << name;

    // 4 s: 1 bar at 60, 2 at 120, 3 at 180; the one nearest the song's tempo.
    const BLLoopTempo byLength = BLLoop_Tempo("groove", 4 * 44100, 110);
    EXPECT_EQ(byLength.found, BLLoopTempo::Found::fromLength);
    EXPECT_EQ(byLength.bars, 2);
    EXPECT_DOUBLE_EQ(byLength.bpm, 120);
    EXPECT_EQ(BLLoop_Tempo("groove", 4 * 44100, 170).bars, 3);
    EXPECT_EQ(BLLoop_Tempo("groove", 4 * 44100, 170, 0x8B).bars, 2) << "1, 2, 4 or 8 bars only";
    EXPECT_EQ(BLLoop_Tempo("groove", 44100 / 10, 120).found, BLLoopTempo::Found::none)
        << "no tempo of 60 to 200";

    // A name's tempo wins; the bars are what the length holds at it.
    const BLLoopTempo named = BLLoop_Tempo("pad_90bpm", 2646000 / 90 * 9, 120);
    EXPECT_EQ(named.found, BLLoopTempo::Found::fromName);
    EXPECT_DOUBLE_EQ(named.bpm, 90);
    EXPECT_EQ(named.bars, 2) << "nine beats at 90: two bars and a beat";
    EXPECT_EQ(BLLoop_Tempo("pad_90bpm", 2646000 / 90 * 14, 120, 0x8B).bars, 4)
        << "three and a half bars: four of 1, 2, 4, 8";
}

}  // namespace
