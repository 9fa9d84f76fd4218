// The groove controller: every change carries its origin; the program's
// link hears only what did not come from it, the keeper makes a step only
// of what a person did, and the services go on whatever the panel does.
#include <string>
#include <vector>

#include "library/BLprefs.h"
#include "tests/panels/GroovePanelFixture.h"

namespace groovepanel {
namespace {

class Follower : public BLGrooveListener {
public:
    void grooveChanged(const BLGrooveChange& change, BLOrigin from) override
    {
        heard.push_back(join(static_cast<int>(change.kind), " ", change.track, " ", BLOrigin_Name(from)));
    }
    std::vector<std::string> heard;
};

class GrooveController : public GroovePanelTest {
protected:
    void SetUp() override
    {
        GroovePanelTest::SetUp();
        fillGroove();
        groove.keeper().reset(true);
        groove.addListener(&follower);
        groove.net().message[0] = '\0';
    }
    void TearDown() override
    {
        groove.removeListener(&follower);
        blPrefs.midiBindings.clear();
        GroovePanelTest::TearDown();
    }
    std::string told() { return groove.net().message; }
    Follower follower;
};

TEST_F(GrooveController, TheLinkHearsEveryChangeButItsOwnAndTheKeeperStepsOnlyAPersonsOnes)
{
    // The other side's loop, volume and mute: played, shown, not told back,
    // no step to undo.
    groove.chooseLoop(2, 3, BLOrigin::link);
    groove.setTrackVolume(4, 40, BLOrigin::link);
    groove.setAudible(5, false, BLOrigin::link);
    EXPECT_EQ(engine.samples[2], 2 * kSlots + 3);
    EXPECT_EQ(engine.volumes[4], 40);
    EXPECT_FALSE(groove.model.audible[5]);
    EXPECT_EQ(told(), "") << "the link's own changes go back to it";
    EXPECT_FALSE(groove.keeper().canUndo());
    ASSERT_EQ(follower.heard.size(), 3u);
    for (const std::string& h : follower.heard) EXPECT_NE(h.find(" link"), std::string::npos) << h;

    // The same made here, by the mouse and by MIDI: told, each one step.
    groove.chooseLoop(2, 1);
    EXPECT_EQ(told(), "1 2 2 1");
    blPrefs.midiBindings.learn({BLMidiKind::cc, 1, 7, BLMidiAction::volume, 4});
    const uint8_t cc[3] = {0xB0, 7, 127};
    ASSERT_TRUE(groove.midiQueue.push(cc, 3));
    groove.serve();
    EXPECT_EQ(engine.volumes[4], 127);
    EXPECT_EQ(told(), "2 4 127");
    EXPECT_NE(follower.heard.back().find(" midi"), std::string::npos) << follower.heard.back();
    ASSERT_TRUE(groove.keeper().canUndo());
    groove.undoWork();
    ASSERT_TRUE(groove.keeper().canUndo()) << "the loop and the volume were two steps";
    groove.undoWork();
    EXPECT_FALSE(groove.keeper().canUndo());
    EXPECT_EQ(groove.model.current.tracks[2].slot, 3) << "the link's loop stays what the link made it";
}

// A take played back is told to the link as a change made live is: its
// start's loops at once, each change when the output reaches its frame.
TEST_F(GrooveController, ATakePlayedBackIsToldToTheLinkAsItsChangesAreHeard)
{
    BLTake take;
    take.frames = 3000;
    take.start.playing = true;
    take.start.bpm = 120;
    take.start.samples[7] = 3 * kSlots + 2;
    take.start.volumes[7] = 90;
    take.start.pans[7] = -5;
    auto call = [](int64_t at, BLTakeCall::Op op, int16_t a, int16_t b) {
        BLTakeCall c;
        c.at = at;
        c.op = op;
        c.a = a;
        c.b = b;
        return c;
    };
    take.calls = {call(1000, BLTakeCall::Op::trackSample, 1, 1 * kSlots + 3),
                  call(2000, BLTakeCall::Op::trackVolume, 1, 50)};
    groove.model.ice.takes.push_back(take);
    ASSERT_TRUE(groove.playTake(0));
    EXPECT_EQ(told(), "3 7 -5") << "the start's tracks, the last of them";
    engine.frames = 999;
    groove.serve();
    EXPECT_EQ(told(), "3 7 -5") << "nothing before its frame";
    engine.frames = 1000;
    groove.serve();
    EXPECT_EQ(engine.samples[1], 1 * kSlots + 3);
    EXPECT_EQ(told(), "1 1 1 3");
    engine.frames = 2048;
    groove.serve();
    EXPECT_EQ(told(), "2 1 50");
    EXPECT_EQ(groove.takePlaying(), 0);
    engine.frames = 3000;
    groove.serve();
    EXPECT_EQ(groove.takePlaying(), -1) << "its end stops it";
    // Named by any caller, it holds one clean line; a blank name changes nothing.
    groove.renameTake(0, " Night\njam ", BLOrigin::osc);
    groove.renameTake(0, " \t ");
    EXPECT_EQ(groove.takes()[0].name, "Nightjam");
    groove.model.ice.takes.clear();
}

TEST_F(GrooveController, TheServicesGoOnWhileTheBrowsersChaseRunsAndMidiLearnBindsAnAction)
{
    // The song browser's light chase keeps the panel's own idle work to
    // itself; a MIDI note still mutes its track.
    panel.lightGame_Start(3);
    blPrefs.midiBindings.learn({BLMidiKind::note, 1, 36, BLMidiAction::mute, 6});
    const uint8_t on[3] = {0x90, 36, 100};
    ASSERT_TRUE(groove.midiQueue.push(on, 3));
    groove.serve();
    EXPECT_FALSE(groove.model.audible[6]);
    panel.lightGame_End();

    // Learn binds what the control stands for, whichever way it is picked.
    groove.learnKey();
    ASSERT_TRUE(groove.learning());
    groove.learnPick(BLMidiAction::random, 2);
    const uint8_t pad[3] = {0x99, 40, 90};
    ASSERT_TRUE(groove.midiQueue.push(pad, 3));
    groove.serve();
    EXPECT_FALSE(groove.learning());
    const BLMidiBinding* bound = blPrefs.midiBindings.forAction(BLMidiAction::random, 2);
    ASSERT_NE(bound, nullptr);
    EXPECT_EQ(bound->number, 40);
    EXPECT_EQ(bound->channel, 10);
}

// The synth's switches and settings go through the controller like the
// tracks: the synth panel only keeps and shows them.
TEST_F(GrooveController, TheSynthsSettingsReachItsPartAndAreToldWithTheirOrigin)
{
    struct Synth : BLSynthPart {
        void synthSet(Setting what, int16_t value) override { set.emplace_back(what, value); }
        bool synthChoose(const std::string& sound) override { return sound == "Pad"; }
        std::vector<std::pair<Setting, int16_t>> set;
    } synth;
    groove.setSynthPart(&synth);
    groove.setSynth(BLSynthPart::Setting::mode, 2, BLOrigin::osc);
    groove.setSynth(BLSynthPart::Setting::key, 5 | 256, BLOrigin::take);
    EXPECT_TRUE(groove.chooseSynthSound("Pad"));
    EXPECT_FALSE(groove.chooseSynthSound("None"));
    groove.setSynthPart(nullptr);
    ASSERT_EQ(synth.set.size(), 2u);
    EXPECT_EQ(synth.set[0], std::make_pair(BLSynthPart::Setting::mode, int16_t{2}));
    EXPECT_EQ(synth.set[1], std::make_pair(BLSynthPart::Setting::key, int16_t{5 | 256}));
    ASSERT_EQ(follower.heard.size(), 3u);
    EXPECT_NE(follower.heard[0].find(" osc"), std::string::npos);
    EXPECT_NE(follower.heard[1].find(" take"), std::string::npos);
    EXPECT_EQ(told(), "") << "the link is told of tracks, not of the synth";
}

}  // namespace
}  // namespace groovepanel
