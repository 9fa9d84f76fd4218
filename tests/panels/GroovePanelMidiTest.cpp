// MIDI controllers on the groove panel: learn binds a control to the next
// note or CC, and bound messages, handed over as the MIDI thread hands them,
// work the controls as clicks would.
#include "library/BLprefs.h"
#include "panels/groove/BLGrooveItems.h"
#include "tests/panels/GroovePanelFixture.h"

namespace groovepanel {
namespace {

class GroovePanelMidi : public GroovePanelTest {
protected:
    void SetUp() override
    {
        GroovePanelTest::SetUp();
        blPrefs.midiBindings.clear();
        fillGroove();
        panel.controller().keeper().reset(true);
    }
    void TearDown() override
    {
        blPrefs.midiBindings.clear();
        GroovePanelTest::TearDown();
    }
    void send(uint8_t status, uint8_t number, uint8_t value)
    {
        const uint8_t bytes[3] = {status, number, value};
        ASSERT_TRUE(panel.controller().midiQueue.push(bytes, 3));
        panel.controller().serve();
    }
};

TEST_F(GroovePanelMidi, LearnBindsTheClickedControlToTheNextNoteWhichThenMutesItsTrack)
{
    press(BLGroovePanel::kMidiLearnKey);
    ASSERT_TRUE(panel.controller().learning());
    send(0x90, 60, 100);  // before a control is picked: nothing is bound
    EXPECT_TRUE(blPrefs.midiBindings.empty());
    EXPECT_FALSE(panel.midiLearnPick(grooveitem::keep, false)) << "Keep is not for controllers";
    ASSERT_TRUE(panel.midiLearnPick(grooveitem::trackLight[2], false));
    send(0x80, 60, 0);  // a note's end is no choice
    EXPECT_TRUE(blPrefs.midiBindings.empty());
    send(0x92, 61, 90);  // note 61 on channel 3
    EXPECT_FALSE(panel.controller().learning());
    const BLMidiBinding* b = blPrefs.midiBindings.find(BLMidiKind::note, 3, 61);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->action, BLMidiAction::mute);
    EXPECT_EQ(b->target, 2);
    EXPECT_TRUE(panel.controller().model.audible[2]) << "learning works nothing";

    send(0x92, 61, 90);
    EXPECT_FALSE(panel.controller().model.audible[2]);
    EXPECT_EQ(engine.samples[2], -1);
    EXPECT_TRUE(panel.controller().keeper().canUndo()) << "an action of the user, as a click";
    send(0x82, 61, 0);
    EXPECT_FALSE(panel.controller().model.audible[2]) << "the note's end does nothing";
    send(0x92, 61, 90);
    EXPECT_TRUE(panel.controller().model.audible[2]);

    // The key again, or Esc, ends learning without a binding.
    press(BLGroovePanel::kMidiLearnKey);
    press(BLGroovePanel::kMidiLearnKey);
    EXPECT_FALSE(panel.controller().learning());
    press(BLGroovePanel::kMidiLearnKey);
    kelGlo.escapeKey = 1;
    press(0);
    kelGlo.escapeKey = 0;
    EXPECT_FALSE(panel.controller().learning());
    EXPECT_EQ(blPrefs.midiBindings.list().size(), 1u);
}

TEST_F(GroovePanelMidi, CCsSetVolumesPansAndTheTempoAndPressOncePerRise)
{
    int bad = 0;
    ASSERT_TRUE(
        blPrefs.midiBindings.parse("cc 1 0 volume 1\ncc 1 1 volume 4\ncc 1 16 pan 4\ncc 1 20 tempo\n"
                                   "cc 1 41 tempo-up\n",
                                   bad));
    // Track 1 is the selected one: its control follows.
    send(0xB0, 0, 127);
    EXPECT_EQ(panel.controller().model.current.tracks[0].volume, 127);
    EXPECT_EQ(panel.volumeControl(), 127);
    // Track 4 is not: the controls stay on track 1.
    send(0xB0, 1, 0);
    EXPECT_EQ(panel.controller().model.current.tracks[3].volume, 0);
    EXPECT_EQ(engine.volumes[3], 0);
    send(0xB0, 16, 0);
    EXPECT_EQ(panel.controller().model.current.tracks[3].pan, -63);
    send(0xB0, 16, 127);
    EXPECT_EQ(panel.controller().model.current.tracks[3].pan, 63);
    EXPECT_EQ(panel.volumeControl(), 127);

    send(0xB0, 20, 0);
    EXPECT_FLOAT_EQ(player.bpm, player.slowestBpm());
    send(0xB0, 20, 127);
    EXPECT_FLOAT_EQ(player.bpm, player.fastestBpm());

    // A button sends 127 then 0: one step a press, however many values
    // above the middle come.
    send(0xB0, 20, 64);
    const float middle = player.bpm;
    send(0xB0, 41, 127);
    send(0xB0, 41, 100);
    EXPECT_NEAR(player.bpm, middle + 0.2f, 0.001f);
    send(0xB0, 41, 0);
    send(0xB0, 41, 127);
    EXPECT_NEAR(player.bpm, middle + 0.4f, 0.001f);
}

}  // namespace
}  // namespace groovepanel
