// The synth panel without layouts, over a library of sound folders made
// here, talking to an engine that records what it is told: patterns,
// scale keys, the computer keyboard, presets and the document atom.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "control/BLPlayer.h"
#include "core/kelAtomsFiles.h"
#include "core/kelFiles.h"
#include "panels/synth/BLSynthPanel.h"
#include "support/TestSupport.h"

namespace {

using testsupport::join;

class RecordingSynth : public BLEngineCalls {
public:
    void synth_SetFolder(const char* folder) override
    {
        calls.push_back(join("folder ", folder));
        loaded = 36;
    }
    void synth_Arp(short mode, short speed, const char* notes) override
    {
        calls.push_back(join("arp ", mode, " ", speed));
        pattern = notes;
    }
    void synth_Stop() override { calls.push_back("stop"); }
    void synth_SetPoly(short voices) override { calls.push_back(join("poly ", voices)); }
    void synth_SetVolume(short volume) override { calls.push_back(join("volume ", volume)); }
    void synth_SetPan(short pan) override { calls.push_back(join("pan ", pan)); }
    short synth_NotesLoaded() override { return loaded; }

    std::vector<std::string> calls;
    std::string pattern;
    short loaded = 0;
};

class QuietPlayerEngine : public BLEngineCalls {
public:
    void setMixerBpm(float) override {}
    void setMixerVolume(short) override {}
    short getMixerBeat() override { return -1; }
};

// The entries of a pattern: two or three characters each.
std::vector<std::string> entries(const std::string& pattern)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < pattern.size();) {
        const size_t n = i + 1 < pattern.size() && pattern[i + 1] == '#' ? 3 : 2;
        out.push_back(pattern.substr(i, n));
        i += n;
    }
    return out;
}

class SynthPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(getcwd(before, sizeof before), nullptr);
        for (const char* sound : {"Pluck", "Bass", "Organ"})
            std::filesystem::create_directories(dir.file(std::string("Library/Synth/") + sound));
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
        player.setEngine(&quiet);
        panel.connected();
        panel.onPanelOpened();
    }
    void TearDown() override { ASSERT_EQ(chdir(before), 0); }

    std::string pattern()
    {
        char out[BLSynthPanel::kPatternSize];
        panel.buildPattern(out, sizeof out);
        return out;
    }

    char before[4096] = {};
    testsupport::TempDir dir{"synthpanel"};
    RecordingSynth engine;
    QuietPlayerEngine quiet;
    BLPlayer player;
    BLSynthPanel panel{&engine, &player};
};

TEST_F(SynthPanelTest, OpensWithTheFirstSoundAndTheDefaults)
{
    ASSERT_EQ(panel.synthCount, 3);
    EXPECT_STREQ(panel.synthNames[0], "Bass");
    EXPECT_STREQ(panel.setting.synthName, "Bass");
    EXPECT_EQ(engine.calls, (std::vector<std::string>{"poly 36", "stop", "folder :Library:Synth:Bass:"}));
    EXPECT_EQ(panel.setting.volume, 100);
    EXPECT_EQ(panel.setting.pan, 63);
    EXPECT_EQ(panel.setting.program, 7);
    EXPECT_STREQ(panel.keyNames[0], "c1");
    EXPECT_STREQ(panel.keyNames[22], "a#2");
    EXPECT_STREQ(panel.keyNames[35], "b3");
    EXPECT_FALSE(panel.chooseSynth("Piano")) << "not in the list";
}

TEST_F(SynthPanelTest, PatternsOfProgramsZeroAndOne)
{
    panel.setProgram(0);
    EXPECT_EQ(pattern(), "");
    for (int16_t k : {0, 4}) panel.noteHit(k);
    EXPECT_EQ(pattern(), "c1e1") << "program 0: the keys in order, no blanks";
    panel.noteHit(7);
    EXPECT_EQ(pattern(), "c1e1g1");

    panel.setProgram(1);
    const std::vector<std::string> steps = entries(pattern());
    ASSERT_GE(steps.size(), 16u);
    EXPECT_EQ(steps[1], "  ") << "a rest after the first note";
    EXPECT_EQ(steps.size() % 16, 0u) << "whole rhythm cycles";
    const char* const order[3] = {"c1", "e1", "g1"};
    size_t notes = 0;
    for (size_t i = 0; i < steps.size(); ++i) {
        const bool rest = BLSynthPanel::kRhythms[1][i % 16] == '.';
        EXPECT_EQ(steps[i] == "  ", rest) << i;
        if (!rest) {
            EXPECT_EQ(steps[i], order[notes++ % 3]) << i;
        }
    }
    EXPECT_EQ(notes % 3, 0u) << "whole passes over the keys";

    // The first key started the arpeggio (auto-start): the engine has the
    // last pattern at the speed's steps per beat.
    EXPECT_TRUE(panel.playing);
    EXPECT_FALSE(panel.autoStart);
    EXPECT_TRUE(player.synthLight);
    EXPECT_EQ(engine.pattern, pattern());
    panel.setSpeed(3);
    EXPECT_EQ(engine.calls.back(), "arp 0 8");
    panel.setPlaying(false);
    EXPECT_EQ(engine.calls.back(), "stop");
    EXPECT_FALSE(player.synthLight);
    const size_t calls = engine.calls.size();
    panel.setMode(2);
    EXPECT_EQ(engine.calls.size(), calls) << "nothing reaches the engine while the panel does not play";
}

TEST_F(SynthPanelTest, ScaleKeysFollowTheSongsArpeggioNotes)
{
    panel.ledsForArpKeys("Cd");
    for (int16_t k = 0; k < 36; ++k) EXPECT_EQ(panel.setting.keys[k] != 0, k % 12 == 1) << k;
    EXPECT_EQ(panel.scaleKeys[0], 1);
    EXPECT_EQ(panel.scaleKeys[1], 13);
    EXPECT_EQ(panel.scaleKeys[2], 25);
    EXPECT_EQ(panel.scaleKeys[3], 255);

    panel.ledsForArpKeys("G Ad C D F");
    int on = 0;
    for (int16_t k = 0; k < 36; ++k) on += panel.setting.keys[k] ? 1 : 0;
    EXPECT_EQ(on, 15);
    EXPECT_TRUE(panel.setting.keys[10] && panel.setting.keys[34]) << "A sharp";
    EXPECT_FALSE(panel.setting.keys[9]);
}

TEST_F(SynthPanelTest, TheComputerKeyboardPlaysTwoRowsAndShiftsByOctaves)
{
    EXPECT_EQ(panel.keyOfCharacter('z'), 0);
    EXPECT_EQ(panel.keyOfCharacter('S'), 1);
    EXPECT_EQ(panel.keyOfCharacter('m'), 11);
    EXPECT_EQ(panel.keyOfCharacter(','), 12);
    EXPECT_EQ(panel.keyOfCharacter('q'), 12);
    EXPECT_EQ(panel.keyOfCharacter('2'), 13);
    EXPECT_EQ(panel.keyOfCharacter('u'), 23);
    EXPECT_EQ(panel.keyOfCharacter('p'), 28);
    EXPECT_EQ(panel.keyOfCharacter('a'), -1);
    panel.shiftKeyboard(1);
    panel.shiftKeyboard(1);
    EXPECT_EQ(panel.keyboardOctave, 1);
    EXPECT_EQ(panel.keyOfCharacter('z'), 12);
    EXPECT_EQ(panel.keyOfCharacter('u'), 35);
    EXPECT_EQ(panel.keyOfCharacter('i'), -1) << "past the highest key";
}

TEST_F(SynthPanelTest, PresetsAreAddedRecalledRemovedAndTheTwentyNinthIsRefused)
{
    EXPECT_TRUE(panel.synths_add()) << "choosing the first sound changed the setting";
    EXPECT_FALSE(panel.synths_add()) << "the same setting again";
    for (int i = 1; i < 28; ++i) {
        panel.noteHit(static_cast<int16_t>(i));
        ASSERT_TRUE(panel.synths_add()) << i;
    }
    EXPECT_EQ(panel.presetCount, 28);
    EXPECT_EQ(panel.presetSelected, 27);
    EXPECT_EQ(panel.presetFirst, 22) << "the new preset is in view";
    panel.noteHit(30);
    EXPECT_FALSE(panel.synths_add());
    EXPECT_EQ(panel.presetCount, 28);

    panel.synths_scroll(-30);
    EXPECT_EQ(panel.presetFirst, 0);
    panel.chooseSynth("Organ");
    panel.setVolume(70);
    engine.calls.clear();
    panel.synths_hit(3, false);  // preset 4: keys 1 to 3 on, sound Bass
    EXPECT_EQ(panel.presetSelected, 3);
    EXPECT_STREQ(panel.setting.synthName, "Bass");
    EXPECT_EQ(panel.setting.volume, 100);
    EXPECT_TRUE(panel.setting.keys[3] && !panel.setting.keys[4]);
    EXPECT_FALSE(panel.changed);
    EXPECT_NE(std::find(engine.calls.begin(), engine.calls.end(), "folder :Library:Synth:Bass:"),
              engine.calls.end());
    EXPECT_NE(std::find(engine.calls.begin(), engine.calls.end(), "volume 100"), engine.calls.end());

    panel.synths_scroll(2);
    panel.synths_hit(1, true);  // preset 4 again, removed
    EXPECT_EQ(panel.presetCount, 27);
    EXPECT_TRUE(panel.presets[3].keys[4]) << "the gap closed";
    EXPECT_EQ(panel.presetSelected, 2);
    EXPECT_EQ(panel.presetFirst, 1);
}

TEST_F(SynthPanelTest, TheDocumentAtomGivesBackTheWholeState)
{
    panel.chooseSynth("Organ");
    for (int16_t k : {2, 5, 9}) panel.noteHit(k);
    panel.setMode(3);
    panel.setProgram(12);
    panel.setPan(20);
    panel.synths_add();
    panel.noteHit(20);
    panel.setVolume(88);
    panel.synths_add();
    const BLSynthSetting current = panel.setting;

    const std::string path = dir.file("doc.bld");
    char kel[kKelPathMax + 1];
    ASSERT_TRUE(KEL_SystemPathToKelPath(path.c_str(), kel));
    kelAtomsFile out;
    ASSERT_TRUE(out.openForWrite(kel));
    panel.iced_save(&out);
    ASSERT_TRUE(out.close());
    EXPECT_EQ(std::filesystem::file_size(path), 4u + 8u + 3308u);

    RecordingSynth engine2;
    BLSynthPanel loaded(&engine2, &player);
    loaded.onPanelOpened();
    kelAtomsFile in;
    ASSERT_TRUE(in.openForRead(kel));
    ASSERT_TRUE(loaded.iced_load(&in));
    in.close();
    EXPECT_EQ(loaded.setting, current);
    EXPECT_EQ(loaded.presetCount, 2);
    EXPECT_EQ(loaded.presets[0], panel.presets[0]);
    EXPECT_EQ(loaded.presets[1], panel.presets[1]);
    EXPECT_EQ(loaded.presetSelected, -1);
    EXPECT_EQ(engine2.calls.back(), "volume 88");
    EXPECT_STREQ(loaded.loadedSynth, "Organ");

    // The document's song opens next: its keys stay the document's.
    loaded.ledsForArpKeys("Cd");
    EXPECT_EQ(loaded.setting, current);
    loaded.ledsForArpKeys("Cd");
    EXPECT_TRUE(loaded.setting.keys[1]) << "a later song gives its own";

    // A restarted engine gets its sound back when the player starts.
    engine2.loaded = 0;
    engine2.calls.clear();
    loaded.playerSaidPlay();
    EXPECT_EQ(engine2.calls[1], "folder :Library:Synth:Organ:");

    // A sound's name from a document is checked as song names are: the synth
    // falls silent rather than read a folder outside the library.
    BLSynthSetting hostile = current;
    std::snprintf(hostile.synthName, sizeof hostile.synthName, "../../../sx");
    engine2.calls.clear();
    loaded.recall(hostile);
    EXPECT_NE(std::find(engine2.calls.begin(), engine2.calls.end(), "folder "), engine2.calls.end());
    for (const std::string& call : engine2.calls) EXPECT_EQ(call.find(".."), std::string::npos) << call;
}

}  // namespace
