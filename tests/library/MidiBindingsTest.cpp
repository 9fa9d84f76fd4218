// The MIDI bindings: the mapping file read back as written, a damaged file
// refused by its line, and the ends of the values a CC gives.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "library/BLMidiBindings.h"

namespace {

TEST(MidiBindings, AMappingFileReadsBackAsWrittenAndADamagedOneIsRefusedByItsLine)
{
    BLMidiBindings written;
    int badLine = 0;
    ASSERT_TRUE(
        written.parse("# eight faders\n"
                      "cc 1 7 volume 1\n"
                      "  cc 16 127 pan 8   # the last knob\n"
                      "\n"
                      "note 10 36 mute 3\n"
                      "note 1 0 random 4\n"
                      "note 1 41 play\n"
                      "cc 1 42 record\n"
                      "cc 2 20 tempo\n"
                      "note 1 50 loop-down 2\n"
                      "note 1 50 group-up 2\n",  // the same note again: its last line binds it
                      badLine));
    ASSERT_EQ(written.list().size(), 8u);
    EXPECT_EQ(written.find(BLMidiKind::cc, 1, 42)->action, BLMidiAction::record);
    const BLMidiBinding* b = written.find(BLMidiKind::note, 1, 50);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->action, BLMidiAction::groupUp);
    EXPECT_EQ(b->target, 1);
    b = written.find(BLMidiKind::cc, 16, 127);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->action, BLMidiAction::pan);
    EXPECT_EQ(b->target, 7);
    EXPECT_EQ(written.find(BLMidiKind::note, 1, 7), nullptr) << "a note is not the CC of that number";

    BLMidiBindings back;
    ASSERT_TRUE(back.parse(written.text(), badLine));
    EXPECT_EQ(back.list(), written.list());

    // Each damage refuses the whole file, names its line and leaves the
    // bindings as they were.
    const char* damaged[] = {
        "cc 1 7 volume 9\n",     // no ninth track
        "cc 0 7 volume 1\n",     // channels from 1
        "cc 1 128 volume 1\n",   // numbers to 127
        "note 1 36 play 1\n",    // play has no target
        "note 1 36 record 2\n",  // nor has record
        "note 1 36 mute\n",      // mute needs one
        "note 1 36 random 5\n",  // four random sets
        "pc 1 36 mute 1\n",     "note 1 36 mute 1 2\n", "note 1 3x mute 1\n", "note 1 36 solo 1\n",
    };
    for (const char* line : damaged) {
        badLine = 0;
        EXPECT_FALSE(back.parse(std::string("note 1 60 store\n# fine so far\n") + line, badLine)) << line;
        EXPECT_EQ(badLine, 3) << line;
        EXPECT_EQ(back.list(), written.list()) << line;
    }

    // Learning a control rebinds it: the old message no longer drives it.
    back.learn({BLMidiKind::cc, 1, 8, BLMidiAction::volume, 0});
    EXPECT_EQ(back.find(BLMidiKind::cc, 1, 7), nullptr);
    EXPECT_EQ(back.forAction(BLMidiAction::volume, 0)->number, 8);

    // The mapping file that ships reads whole.
    std::ifstream shipped(BEATLOOM_SOURCE_DIR "/examples/midi/eight-tracks.txt");
    std::ostringstream text;
    text << shipped.rdbuf();
    ASSERT_TRUE(back.parse(text.str(), badLine)) << "line " << badLine;
    EXPECT_EQ(back.list().size(), 29u);
    EXPECT_EQ(back.find(BLMidiKind::cc, 1, 7)->action, BLMidiAction::volume);
}

TEST(MidiBindings, AnEffectsParameterAndBypassAreBoundByRackSlotAndNameAndReadBackAsWritten)
{
    BLMidiBindings written;
    int badLine = 0;
    ASSERT_TRUE(
        written.parse("cc 1 20 effect 3 1 cutoff\n"
                      "cc 1 21 effect main 2 mix\n"
                      "note 1 40 bypass 8 2\n",
                      badLine));
    const BLMidiBinding* b = written.find(BLMidiKind::cc, 1, 21);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->action, BLMidiAction::effect);
    EXPECT_EQ(b->target, 8);
    EXPECT_EQ(b->slot, 1);
    EXPECT_EQ(b->param, "mix");
    EXPECT_EQ(written.forEffect(7, 1, ""), written.find(BLMidiKind::note, 1, 40));
    EXPECT_EQ(written.forEffect(2, 0, "cutoff")->number, 20);
    EXPECT_TRUE(BLMidi_TakesValue(BLMidiAction::effect));
    EXPECT_FALSE(BLMidi_TakesValue(BLMidiAction::effectBypass));
    BLMidiBindings back;
    ASSERT_TRUE(back.parse(written.text(), badLine));
    EXPECT_EQ(back.list(), written.list());
    EXPECT_NE(written.text().find("cc 1 21 effect main 2 mix\n"), std::string::npos) << written.text();

    for (const char* line :
         {"cc 1 20 effect 9 1 cutoff\n", "cc 1 20 effect 3 3 cutoff\n", "cc 1 20 effect 3 1\n",
          "cc 1 20 effect 3 1 cut-off\n", "cc 1 20 effect 3 1 cutoff more\n", "note 1 40 bypass main 1 mix\n",
          "note 1 40 bypass main\n"}) {
        badLine = 0;
        EXPECT_FALSE(back.parse(std::string("note 1 60 store\n") + line, badLine)) << line;
        EXPECT_EQ(badLine, 2) << line;
    }
    // Learning one parameter leaves the others of the same slot bound.
    back.learn({BLMidiKind::cc, 2, 5, BLMidiAction::effect, 2, 0, "resonance"});
    back.learn({BLMidiKind::cc, 2, 6, BLMidiAction::effect, 2, 0, "cutoff"});
    EXPECT_EQ(back.forEffect(2, 0, "resonance")->number, 5);
    EXPECT_EQ(back.forEffect(2, 0, "cutoff")->number, 6);
    EXPECT_EQ(back.find(BLMidiKind::cc, 1, 20), nullptr);
}

TEST(MidiBindings, ACCGivesTheWholeRangeOfVolumePanAndTempo)
{
    EXPECT_EQ(BLMidi_Volume(0), 0);
    EXPECT_EQ(BLMidi_Volume(127), 127);
    EXPECT_EQ(BLMidi_Pan(0), -63);
    EXPECT_EQ(BLMidi_Pan(1), -63);
    EXPECT_EQ(BLMidi_Pan(64), 0);
    EXPECT_EQ(BLMidi_Pan(127), 63);
    EXPECT_FLOAT_EQ(BLMidi_Tempo(0, 70.0f, 170.0f), 70.0f);
    EXPECT_FLOAT_EQ(BLMidi_Tempo(127, 70.0f, 170.0f), 170.0f);

    // A note on of velocity 0 is a note off; clock and program changes drive nothing.
    BLMidiMessage m;
    const uint8_t noteOff[] = {0x95, 60, 0};
    ASSERT_TRUE(BLMidi_Decode(noteOff, 3, m));
    EXPECT_EQ(m.kind, BLMidiKind::note);
    EXPECT_EQ(m.channel, 6);
    EXPECT_EQ(m.value, 0);
    const uint8_t cc[] = {0xBF, 7, 127};
    ASSERT_TRUE(BLMidi_Decode(cc, 3, m));
    EXPECT_EQ(m.kind, BLMidiKind::cc);
    EXPECT_EQ(m.channel, 16);
    EXPECT_EQ(m.value, 127);
    const uint8_t clock[] = {0xF8};
    EXPECT_FALSE(BLMidi_Decode(clock, 1, m));
    const uint8_t program[] = {0xC0, 5, 0};
    EXPECT_FALSE(BLMidi_Decode(program, 3, m));
}

}  // namespace
