// Controls that do what they say: Play plays whatever the tracks, and the
// transport's state line tells what plays.
#include <gtest/gtest.h>

#include "audio/BLEngine.h"
#include "audio/OVTrack.h"
#include "panels/BLGrooveItems.h"
#include "panels/BLGroovePanel.h"
#include "panels/BLPlayer.h"
#include "panels/BrowserHarness.h"

namespace {

class HonestControls : public browsertest::BrowserProgram {
protected:
    void SetUp() override
    {
        BrowserProgram::SetUp();
        fakeHost = false;
        linkDemoSongs();
    }
    // The state line says what the player does.
    void expectStateTold(const std::string& when)
    {
        EXPECT_STREQ(blGroovePanel->stateText, blPlayer->stateText()) << when;
        EXPECT_STREQ(blPlayer->stateText(), !blPlayer->playing            ? "Stop"
                                            : blPlayer->sequenceMode ? "Sequence play"
                                                                     : "Groove play")
            << when;
    }
};

TEST_F(HonestControls, PlayWithEveryTrackMutedRunsTheClockAndSaysWhy)
{
    start();
    script("press return\n");  // the first song, playing
    ASSERT_TRUE(blPlayer->playing);
    script("press space\n");
    for (char t = '1'; t <= '8'; ++t) script(std::string("keydown m\npress ") + t + "\nkeyup m\n");
    script("press space\n");
    ASSERT_TRUE(blPlayer->playing);
    EXPECT_EQ(PlayingStatus.load(), 2) << "the output runs over silent tracks";
    const int64_t from = TimeLine.load();
    ASSERT_TRUE(idleUntil([&] { return TimeLine.load() > from + 44100 / 4; })) << "the clock runs";
    EXPECT_EQ(blGroovePanel->said, "Every track is muted: the clock runs, and only the synth and the user loop sound.");
}

TEST_F(HonestControls, TheStateLineTellsWhatPlaysAfterTheVirtualMix)
{
    start();
    script("press return\n");
    expectStateTold("a song loaded");
    clickControl(kPWGroovePanel, grooveitem::vmix);
    clickControl(kPWVMixPanel, 3);  // the mix's Play
    ASSERT_TRUE(blPlayer->playing && blPlayer->sequenceMode);
    script("box no\npress esc\n");
    ASSERT_FALSE(PWScreen.isVisible(kPWVMixPanel));
    expectStateTold("back from the mix");
    clickControl(kPWGroovePanel, grooveitem::seqPlay);
    expectStateTold("the sequence");
}

}  // namespace
