// The groove panel's keyboard: track digits in both layouts with their
// modifier letters, steps, Return, the letter commands and numeric entries.
#include "panels/groove/BLGrooveItems.h"
#include "tests/panels/GroovePanelFixture.h"

namespace groovepanel {
namespace {

using GroovePanelKeys = GroovePanelTest;

TEST_F(GroovePanelKeys, DigitsSelectTracksInTheNormalAndTheKeypadLayout)
{
    press('3');
    EXPECT_EQ(panel.controller().model.selectedTrack, 2);
    press('9');  // no ninth track in the normal layout
    EXPECT_EQ(panel.controller().model.selectedTrack, 2);
    press('*');
    ASSERT_TRUE(panel.keypadLayout);
    // Clockwise around 5: 8 9 6 3 2 1 4 7.
    const uint8_t keypad[8] = {'8', '9', '6', '3', '2', '1', '4', '7'};
    for (int16_t t = 0; t < 8; ++t) {
        press(keypad[t]);
        EXPECT_EQ(panel.controller().model.selectedTrack, t) << "key " << keypad[t];
    }
    press('5');
    EXPECT_EQ(panel.controller().model.selectedTrack, 7) << "5 is no track";
    press('*');
    EXPECT_FALSE(panel.keypadLayout);
}

TEST_F(GroovePanelKeys, ModifierLettersSwitchKeepAndRandomize)
{
    fillGroove();
    keyDown('m');
    press('5');
    keyUp('m');
    EXPECT_FALSE(panel.controller().tracks[4].on);
    EXPECT_FALSE(panel.controller().model.audible[4]);
    EXPECT_EQ(panel.controller().model.selectedTrack, 0) << "M does not select";
    keyDown('K');
    press('2');
    keyUp('K');
    EXPECT_TRUE(panel.controller().tracks[1].keep);
    keyDown('r');
    press('6');  // no random set 5: nothing
    EXPECT_EQ(panel.controller().randomSet(), -1);
    press('3');
    keyUp('r');
    EXPECT_EQ(panel.controller().randomSet(), 2);
    keyDown('t');
    press('7');
    keyUp('t');
    EXPECT_EQ(panel.controller().model.selectedTrack, 6);
}

TEST_F(GroovePanelKeys, StepsGoToTheControlOfTheHeldLetterAndGrowWhenRepeated)
{
    fillGroove();
    press('2');
    const int16_t start = static_cast<int16_t>(panel.controller().model.current.tracks[1].volume);
    keyDown('v');
    press(kelArrowRight);
    EXPECT_EQ(panel.controller().model.current.tracks[1].volume, start + 1);
    press('-');
    press(kelArrowDown);
    EXPECT_EQ(panel.controller().model.current.tracks[1].volume, start - 1);
    // A held key repeating: past 10 counts the step is 5.
    for (int i = 0; i < 10; ++i) keyDown(kelArrowLeft);
    const int16_t before = static_cast<int16_t>(panel.controller().model.current.tracks[1].volume);
    keyDown(kelArrowLeft);
    EXPECT_EQ(panel.controller().model.current.tracks[1].volume, before - 5);
    keyUp(kelArrowLeft);
    keyUp('v');
    EXPECT_EQ(engine.volumes[1], before - 5);

    keyDown('p');
    press(kelArrowUp);
    keyUp('p');
    EXPECT_EQ(panel.controller().model.current.tracks[1].pan, 1);

    keyDown('b');
    press('+');
    keyUp('b');
    EXPECT_FLOAT_EQ(player.bpm, 120.2f);
    keyDown('B');
    press(kelArrowRight);
    keyUp('B');
    EXPECT_FLOAT_EQ(player.bpm, 121.0f) << "upper-case B steps the tempo slider by whole beats";

    keyDown('m');
    press(kelArrowDown);
    keyUp('m');
    EXPECT_EQ(player.mainVolume, 62);
}

TEST_F(GroovePanelKeys, ReturnStoresAndJStepsThroughTheStoredGrooves)
{
    fillGroove();
    press(kelKeyReturn);
    ASSERT_EQ(panel.controller().model.stored.count, 1);
    press(kelKeyReturn);
    EXPECT_EQ(panel.controller().model.stored.count, 1) << "nothing new to store";
    panel.controller().chooseLoop(0, 2);
    press(kelKeyReturn);
    panel.controller().chooseLoop(0, 3);
    press(kelKeyReturn);
    ASSERT_EQ(panel.controller().model.stored.count, 3);

    keyDown('j');
    press(kelArrowLeft);
    EXPECT_EQ(panel.controller().model.current.id, 2);
    EXPECT_EQ(panel.controller().model.current.tracks[0].slot, 2);
    press(kelArrowLeft);
    press(kelArrowLeft);  // kept within the stored grooves
    EXPECT_EQ(panel.controller().model.current.id, 1);
    keyUp('j');

    // J and a digit: a groove id typed, ended when J is let go.
    keyDown('J');
    press('3');
    EXPECT_TRUE(panel.numEntry.open);
    keyUp('J');
    EXPECT_FALSE(panel.numEntry.open);
    EXPECT_EQ(panel.controller().model.current.id, 3);
    EXPECT_EQ(panel.controller().model.current.tracks[0].slot, 3);
}

TEST_F(GroovePanelKeys, NumericEntriesTypeVolumePanAndMainVolume)
{
    fillGroove();
    press('4');
    keyDown('v');
    press(kelKeyReturn);
    ASSERT_TRUE(panel.numEntry.open);
    char label[16];
    panel.labelValue(grooveitem::volumeLabel, label, sizeof label);
    press('1');
    press('0');
    EXPECT_TRUE(panel.numEntry.open);
    press('7');  // the third digit ends it
    EXPECT_FALSE(panel.numEntry.open);
    keyUp('v');
    EXPECT_EQ(panel.controller().model.current.tracks[3].volume, 107);

    keyDown('p');
    press(kelKeyReturn);
    press('-');
    press('9');
    press('9');
    keyUp('p');
    EXPECT_EQ(panel.controller().model.current.tracks[3].pan, -63) << "clamped to the pan's range";

    keyDown('m');
    press(kelKeyReturn);
    press('5');
    press(kelKeyReturn);  // Return ends it early
    keyUp('m');
    EXPECT_EQ(player.mainVolume, 5);

    // Delete before the digits are complete cancels: nothing changes.
    keyDown('v');
    press(kelKeyReturn);
    press('2');
    press(kelKeyDelete);
    EXPECT_FALSE(panel.numEntry.open);
    keyUp('v');
    EXPECT_EQ(panel.controller().model.current.tracks[3].volume, 107);

    // In group mode the volume is typed relative, -63 .. +63.
    panel.controller().setGroupMode(true);
    panel.onItem_trackButton(3);
    keyDown('v');
    press(kelKeyReturn);
    press('-');
    press('2');
    press('0');
    keyUp('v');
    EXPECT_EQ(panel.volumeControl(), 44);
    EXPECT_EQ(panel.controller().model.current.tracks[3].volume, 107 - 40);
}

TEST_F(GroovePanelKeys, LettersSwitchModesTapAndSpacePlays)
{
    fillGroove();
    press('s');
    EXPECT_TRUE(panel.controller().soloMode);
    press('S');
    EXPECT_FALSE(panel.controller().soloMode);
    press('g');
    EXPECT_TRUE(panel.controller().groupMode);
    press('a');
    EXPECT_TRUE(panel.controller().allMode);
    EXPECT_FALSE(panel.controller().groupMode);
    press('e');
    for (int t = 0; t < 8; ++t) EXPECT_EQ(panel.controller().model.current.tracks[t].group, -1);
    press(' ');
    EXPECT_TRUE(player.playing);
    press('@');
    EXPECT_FALSE(player.playing);
    // Holding a letter down does not repeat its command.
    keyDown('s');
    keyDown('s');
    keyDown('s');
    keyUp('s');
    EXPECT_TRUE(panel.controller().soloMode);
}

}  // namespace
}  // namespace groovepanel

namespace groovepanel {
namespace {

uint32_t gTick = 0;
uint32_t tapClock()
{
    return gTick;
}

}  // namespace

TEST_F(GroovePanelKeys, THeldWithADigitSelectsAndIsNoTap)
{
    player.setTicks(tapClock);
    gTick = 5000;
    keyDown('t');
    gTick += 10;
    press('4');
    keyUp('t');
    EXPECT_EQ(panel.controller().model.selectedTrack, 3);
    EXPECT_EQ(player.lastTap, 0u) << "no tap counted";

    // Taps by T alone, 30 ticks apart, count from the moment T went down.
    for (int i = 0; i < 4; ++i) {
        gTick += 23;
        keyDown('t');
        gTick += 7;  // let go a little later
        keyUp('t');
    }
    EXPECT_EQ(player.tapCount, 3);
    EXPECT_FLOAT_EQ(player.bpm, 120.0f);
    player.setTicks(nullptr);
}

}  // namespace groovepanel
