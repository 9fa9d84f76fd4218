// The groove and sequence operations as the groove panel uses them.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "library/BLGrooveModel.h"
#include "library/GrooveFakes.h"
#include "library/SongTestFiles.h"

using namespace songtest;
using namespace groovetest;

namespace {

class GrooveModel : public ProgramFolder {
protected:
    void SetUp() override
    {
        ProgramFolder::SetUp();
        writeDescription(songFolder("Night") + "/night.bls", fullDescription());
        writeFullLoops(songFolder("Night"));
        links.engine = &engine;
        links.player = &player;
        links.net = &net;
        links.grooveStrip = &grooves;
        links.sequenceStrip = &sequence;
        links.questions = &questions;
        links.view = &view;
        model = std::make_unique<BLGrooveModel>(links);
        ASSERT_TRUE(model->openSong(songKel("Night").c_str()));
        engine.calls.clear();
        view.events.clear();
    }

    // A user's change of the current groove: a loop on track 0.
    void change(int16_t slot = 0)
    {
        model->chooseLoop(0, 0, slot);
        ASSERT_TRUE(model->modified);
    }
    uint16_t addGroove()
    {
        change();
        model->grooves_add();
        return model->stored.grooves[model->stored.count - 1].id;
    }
    std::vector<uint16_t> entries() const
    {
        return {model->stored.entries, model->stored.entries + model->stored.length};
    }
    void setEntries(const std::vector<uint16_t>& ids)
    {
        model->stored.length = static_cast<int16_t>(ids.size());
        std::copy(ids.begin(), ids.end(), model->stored.entries);
    }

    RecordingEngine engine;
    FakePlayer player;
    RecordingNet net;
    BLStripState grooves, sequence;
    ScriptedQuestions questions;
    RecordingView view;
    BLGrooveLinks links;
    std::unique_ptr<BLGrooveModel> model;
};

TEST_F(GrooveModel, IdsAreOneMoreThanTheLargestStored)
{
    EXPECT_EQ(addGroove(), 1);
    EXPECT_EQ(addGroove(), 2);
    EXPECT_EQ(addGroove(), 3);
    EXPECT_EQ(grooves.selected, 2);  // the new groove is selected
    EXPECT_FALSE(model->modified);

    grooves.selected = 1;
    model->grooves_remove();
    EXPECT_EQ(addGroove(), 4);

    // Down to the groove with id 1 alone.
    while (model->stored.count > 1) {
        grooves.selected = 1;
        model->grooves_remove();
    }
    EXPECT_EQ(model->stored.grooves[0].id, 1);
    EXPECT_EQ(addGroove(), 2);
}

TEST_F(GrooveModel, AddingNeedsAChangeAndRoom)
{
    model->grooves_add();
    EXPECT_EQ(model->stored.count, 0);  // unmodified
    for (int i = 0; i < 64; ++i) addGroove();
    EXPECT_EQ(model->stored.count, 64);
    change();
    model->grooves_add();
    EXPECT_EQ(model->stored.count, 64);
    EXPECT_TRUE(model->modified);
}

TEST_F(GrooveModel, IdsStayUniqueAtTheTopOfTheirRange)
{
    addGroove();
    model->stored.grooves[0].id = 65535;
    EXPECT_EQ(addGroove(), 1);
    EXPECT_EQ(addGroove(), 2);
}

TEST_F(GrooveModel, StoringClearsTracksThatAreNotAudible)
{
    model->chooseLoop(3, 2, 0);
    model->chooseLoop(4, 1, 1);
    model->audible[3] = false;
    model->grooves_add();
    ASSERT_EQ(model->stored.count, 1);
    EXPECT_EQ(model->stored.grooves[0].tracks[3], BLTrack{});
    EXPECT_EQ(model->stored.grooves[0].tracks[4].group, 1);
    EXPECT_EQ(model->stored.grooves[0].tracks[4].volume, 80);
    EXPECT_EQ(model->stored.grooves[0].tracks[4].pan, 63);  // 126 - 63
    EXPECT_EQ(model->current.tracks[3].group, -1);
}

TEST_F(GrooveModel, RemovingAGrooveRemovesAllItsSequenceEntries)
{
    addGroove();
    addGroove();
    setEntries({1, 2, 1, 2, 1});
    sequence.selected = 3;
    grooves.selected = 0;
    model->grooves_remove();
    EXPECT_EQ(entries(), (std::vector<uint16_t>{2, 2}));
    EXPECT_EQ(sequence.selected, 1);  // still the entry it was on
    EXPECT_EQ(model->stored.count, 1);
    EXPECT_EQ(model->stored.grooves[0].id, 2);

    // A selection that no longer exists goes back to 0; the grooves
    // selection stays on the last groove.
    setEntries({2, 2, 2});
    sequence.selected = 2;
    grooves.selected = 0;
    model->grooves_remove();
    EXPECT_EQ(model->stored.length, 0);
    EXPECT_EQ(sequence.selected, 0);
    EXPECT_EQ(grooves.selected, 0);
}

TEST_F(GrooveModel, StretchingToTheUserLength)
{
    BLSequence& s = model->stored;
    addGroove();
    addGroove();
    setEntries({1, 2, 1});
    s.userLength = 0;
    s.stretchToUser();
    EXPECT_EQ(entries(), (std::vector<uint16_t>{1, 2, 1}));
    EXPECT_EQ(s.userLength, 3);
    s.userLength = 5;
    s.stretchToUser();
    EXPECT_EQ(entries(), (std::vector<uint16_t>{1, 2, 1, 2, 1}));
    s.userLength = 250;
    s.stretchToUser();
    EXPECT_EQ(s.length, 100);
    s.count = 0;
    s.userLength = 4;
    s.stretchToUser();
    EXPECT_EQ(s.length, 0);  // nothing to repeat
    EXPECT_EQ(s.grooveIDtoIndex(1), -1);
}

TEST_F(GrooveModel, SteppingWrapsAndRestoresInSync)
{
    addGroove();
    model->chooseLoop(1, 1, 0);
    model->grooves_add();
    setEntries({2, 1, 2});
    sequence.selected = 2;
    player.playing = player.sequence = true;
    engine.calls.clear();
    player.syncs.clear();
    model->seqActivateNext();
    EXPECT_EQ(sequence.selected, 0);
    EXPECT_EQ(grooves.selected, 1);
    EXPECT_EQ(model->current, model->stored.grooves[1]);
    EXPECT_EQ(player.syncs, (std::vector<bool>{true, false}));
    ASSERT_GE(engine.calls.size(), 3u);
    EXPECT_EQ(engine.calls.front(), "sync 1");
    EXPECT_EQ(engine.calls[1], "begin");
    EXPECT_EQ(engine.calls.back(), "sync 0");
    EXPECT_EQ(view.events.front(), "restore-tracks");
    model->seqActivateNext();
    EXPECT_EQ(sequence.selected, 1);
    EXPECT_EQ(model->current.id, 1);

    // An entry of no stored groove leaves the groove that plays.
    setEntries({1, 9});
    model->seqActivateNext();
    EXPECT_EQ(sequence.selected, 0);
    model->seqActivateNext();
    EXPECT_EQ(sequence.selected, 1);
    EXPECT_EQ(model->current.id, 1);
}

TEST_F(GrooveModel, ActivatingSendsAudibleTracksToTheEngineAndTheLink)
{
    model->chooseLoop(0, 1, 1);  // id 4, volume 80, pan 126 - 63
    model->chooseLoop(1, 2, 0);
    model->chooseLoop(2, 0, 5);  // a slot the group does not have
    model->audible[1] = false;
    model->groove_activate();
    const std::vector<std::string> expected = {
        "begin",      "sample 0 4", "volume 0 80", "pan 0 63",   "sample 1 -1", "sample 2 -1",
        "volume 2 0", "pan 2 0",    "sample 3 -1", "volume 3 0", "pan 3 0",     "sample 4 -1",
        "volume 4 0", "pan 4 0",    "sample 5 -1", "volume 5 0", "pan 5 0",     "sample 6 -1",
        "volume 6 0", "pan 6 0",    "sample 7 -1", "volume 7 0", "pan 7 0",     "end",
    };
    EXPECT_EQ(engine.calls, expected);
    EXPECT_EQ(model->sampleIds[0], 4);
    EXPECT_EQ(model->sampleIds[2], kBLNoSample);
    ASSERT_GE(net.messages.size(), 6u);
    EXPECT_EQ(net.messages[0], "1 0 1 1");
    EXPECT_EQ(net.messages[1], "2 0 80");
    EXPECT_EQ(net.messages[2], "3 0 63");
    EXPECT_EQ(net.messages[3], "1 1 2 0");
    EXPECT_EQ(net.messages[6], "1 2 0 5");
    EXPECT_EQ(net.messages.back(), "1 7 -1 -1");  // no slot: no volume or pan
}

TEST_F(GrooveModel, ClickingAStoredGrooveRestoresAndPlaysIt)
{
    addGroove();
    model->chooseLoop(5, 2, 0);
    model->audible[6] = false;
    model->grooves_hit(0);
    EXPECT_EQ(grooves.selected, 0);
    EXPECT_EQ(model->current, model->stored.grooves[0]);
    EXPECT_FALSE(model->modified);
    EXPECT_TRUE(model->audible[6]);
    EXPECT_EQ(player.plays, 1);
    EXPECT_EQ(view.events.front(), "restore-tracks");

    // Beyond the stored grooves: selected, nothing else.
    model->grooves_hit(5);
    EXPECT_EQ(grooves.selected, 5);
    EXPECT_EQ(player.plays, 1);
}

TEST_F(GrooveModel, DroppingStoredGroovesOnTheSequence)
{
    addGroove();
    addGroove();
    addGroove();
    model->grooves_hit(0, BLStripGesture::dropOnSequence, 6);  // beyond the end: appended
    model->grooves_hit(1, BLStripGesture::dropOnSequence, 0);
    EXPECT_EQ(entries(), (std::vector<uint16_t>{2, 1}));
    EXPECT_EQ(sequence.selected, 0);
    sequence.first = 1;
    model->grooves_hit(2, BLStripGesture::dropOnSequence, 0);  // visible 0 is entry 1
    EXPECT_EQ(entries(), (std::vector<uint16_t>{2, 3, 1}));
    EXPECT_EQ(sequence.selected, 1);

    // While playing the strip stays on the entry being played.
    player.playing = true;
    sequence.first = 0;
    sequence.selected = 1;
    model->grooves_hit(0, BLStripGesture::dropOnSequence, 1);
    EXPECT_EQ(entries(), (std::vector<uint16_t>{2, 1, 3, 1}));
    EXPECT_EQ(sequence.selected, 2);
    model->grooves_hit(0, BLStripGesture::dropOnSequence, 4);
    EXPECT_EQ(sequence.selected, 2);

    // Full: nothing more goes in.
    setEntries(std::vector<uint16_t>(100, 1));
    model->grooves_hit(0, BLStripGesture::dropOnSequence, 0);
    EXPECT_EQ(model->stored.length, 100);

    // Dragged off the strips: removed.
    grooves.first = 0;
    model->grooves_hit(0, BLStripGesture::dragOff);
    EXPECT_EQ(model->stored.count, 2);
    EXPECT_EQ(model->stored.length, 0);
}

TEST_F(GrooveModel, SequenceEntriesDraggedOffAndMoved)
{
    addGroove();
    addGroove();
    addGroove();
    setEntries({1, 2, 3, 1});
    model->sequencer_hit(3, BLStripGesture::dragOff);
    EXPECT_EQ(entries(), (std::vector<uint16_t>{1, 2, 3}));
    EXPECT_EQ(sequence.selected, 2);  // beyond the new end: moved up

    model->sequencer_hit(0, BLStripGesture::dropOnSequence, 7);  // moved to the end
    EXPECT_EQ(entries(), (std::vector<uint16_t>{2, 3, 1}));
    EXPECT_EQ(sequence.selected, 2);

    // While playing, the selection stays with the entry that was selected.
    player.playing = player.sequence = true;
    sequence.selected = 2;
    model->sequencer_hit(0, BLStripGesture::dragOff);
    EXPECT_EQ(entries(), (std::vector<uint16_t>{3, 1}));
    EXPECT_EQ(sequence.selected, 1);
    model->sequencer_hit(0);  // a click
    EXPECT_EQ(sequence.selected, 1);
    model->sequencer_hit(1, BLStripGesture::dragOff);  // the entry playing itself
    EXPECT_EQ(sequence.selected, 0);
    EXPECT_EQ(player.stops, 0);
    model->sequencer_hit(0, BLStripGesture::dragOff);
    EXPECT_EQ(model->stored.length, 0);
    EXPECT_EQ(player.stops, 1);  // the sequence ran out while it played
}

TEST_F(GrooveModel, AddingAllAndRemovingAll)
{
    for (int i = 0; i < 3; ++i) addGroove();
    setEntries(std::vector<uint16_t>(98, 2));
    sequence.selected = 50;
    model->sequencer_addAll();
    EXPECT_EQ(model->stored.length, 100);
    EXPECT_EQ(model->stored.entries[99], 2);
    EXPECT_EQ(sequence.selected, 0);

    sequence.first = 40;
    model->sequencer_removeAll(false);
    EXPECT_EQ(model->stored.length, 0);
    EXPECT_EQ(sequence.first, 0);
    EXPECT_EQ(model->stored.count, 3);
    EXPECT_TRUE(questions.asked.empty());

    questions.answer = 2;
    model->sequencer_removeAll(false);
    EXPECT_EQ(questions.asked, std::vector<std::string>{"16/1"});
    EXPECT_EQ(model->stored.count, 3);
    questions.answer = 1;
    model->sequencer_removeAll(false);
    EXPECT_EQ(model->stored.count, 0);

    for (int i = 0; i < 2; ++i) addGroove();
    questions.asked.clear();
    model->sequencer_removeAll(true);  // Shift: without asking
    EXPECT_EQ(model->stored.count, 0);
    EXPECT_TRUE(questions.asked.empty());
}

TEST_F(GrooveModel, RewritingKeepsTheStoredGroovesId)
{
    addGroove();
    addGroove();
    setEntries({1, 2});
    model->grooves_hit(0, BLStripGesture::dropOnSequence, 2);  // selects groove 1 without restoring
    EXPECT_EQ(model->current.id, 2);
    model->chooseLoop(4, 2, 0);
    model->grooves_rewrite();
    EXPECT_EQ(model->stored.grooves[0].id, 1);
    EXPECT_EQ(model->stored.grooves[0].tracks[4].group, 2);
    EXPECT_EQ(model->stored.grooves[1].id, 2);
    EXPECT_FALSE(model->modified);
    model->grooves_rewrite();  // nothing changed since
    grooves.selected = 7;
    change(1);
    model->grooves_rewrite();  // no such groove
    EXPECT_TRUE(model->modified);
}

TEST_F(GrooveModel, FreezingAndThawingKeepingTheSong)
{
    addGroove();
    addGroove();
    setEntries({2, 1, 2});
    model->stored.userLength = 7;
    model->chooseLoop(6, 1, 1);
    model->selectTrack(6);
    player.tempo = 111.4f;
    model->iced_store();
    EXPECT_EQ(model->ice.valid, 1);
    EXPECT_STREQ(model->ice.songName, "Night");

    const BLIceimage frozen = model->ice;
    model->stored = BLSequence{};
    model->current.reset();
    model->selectTrack(0);
    player.playing = true;
    view.events.clear();
    model->iced_restore(true);
    EXPECT_FALSE(player.playing);
    EXPECT_EQ(entries(), (std::vector<uint16_t>{2, 1, 2}));
    EXPECT_EQ(model->stored.count, 2);
    EXPECT_EQ(model->stored.userLength, 7);
    EXPECT_EQ(model->current, frozen.groove);
    EXPECT_EQ(model->selectedTrack, 6);
    EXPECT_FLOAT_EQ(player.tempo, 111.4f);
    EXPECT_EQ(view.events.front(), "modes-off");
    EXPECT_TRUE(engine.only("reset").empty());  // the song stayed
}

TEST_F(GrooveModel, ThawingReopensTheSongOrLeavesEverythingWhenItIsGone)
{
    addGroove();
    model->iced_store();
    model->ice.bpm = 99.0f;
    model->stored = BLSequence{};
    engine.calls.clear();
    model->iced_restore(false);
    EXPECT_EQ(engine.calls.front(), "stop");
    EXPECT_EQ(engine.only("reset").size(), 1u);  // opened again
    EXPECT_EQ(model->stored.count, 1);
    EXPECT_FLOAT_EQ(player.tempo, 99.0f);

    KEL_CopyCut(model->ice.songName, sizeof model->ice.songName, "Gone");
    model->stored = BLSequence{};
    engine.calls.clear();
    view.events.clear();
    model->iced_restore(false);
    EXPECT_EQ(questions.asked, std::vector<std::string>{"17 Gone"});
    EXPECT_EQ(model->stored.count, 0);
    EXPECT_TRUE(engine.calls.empty());
    EXPECT_TRUE(view.events.empty());

    // Names that would lead out of the song folder name no song.
    questions.asked.clear();
    fs::create_directories(dir.file("Library/Elsewhere"));
    KEL_CopyCut(model->ice.songName, sizeof model->ice.songName, "..:Elsewhere");
    model->iced_restore(false);
    EXPECT_EQ(questions.asked, std::vector<std::string>{"17 ..:Elsewhere"});

    // An empty image only stops the player.
    questions.asked.clear();
    model->ice.valid = 0;
    player.playing = true;
    model->iced_restore(false);
    EXPECT_FALSE(player.playing);
    EXPECT_TRUE(questions.asked.empty());
}

TEST_F(GrooveModel, GroovesStayWithTheSongTheyWereMadeWith)
{
    writeDescription(songFolder("Other") + "/other.bls", fullDescription());
    writeFullLoops(songFolder("Other"));
    addGroove();
    model->grooves_hit(0, BLStripGesture::dropOnSequence, 0);
    change(1);
    model->selectTrack(3);
    player.tempo = 110.0f;
    const BLSequence work = model->stored;
    const BLGroove current = model->current;

    // An audition of another song: it plays alone, then all of it comes back.
    ASSERT_TRUE(model->auditionBegin(songKel("Other").c_str()));
    EXPECT_STREQ(model->songFolder.path, songKel("Other").c_str());
    EXPECT_EQ(model->stored.count, 0);
    // The user's work is still Night's, kept aside.
    auto image = std::make_unique<BLIceimage>();
    model->workImage(*image);
    EXPECT_STREQ(image->songName, "Night");
    EXPECT_TRUE(image->sequence.sameAs(work));
    EXPECT_EQ(image->bpm, 110.0f);
    ASSERT_TRUE(model->auditionBegin(songKel("Night").c_str()));  // another audition
    model->auditionEnd();
    EXPECT_STREQ(model->songFolder.path, songKel("Night").c_str());
    EXPECT_TRUE(model->stored.sameAs(work));
    EXPECT_EQ(model->current, current);
    EXPECT_EQ(model->selectedTrack, 3);
    EXPECT_EQ(player.tempo, 110.0f);

    // Opening the other song for good: none of Night's grooves go with it.
    ASSERT_TRUE(model->auditionBegin(songKel("Other").c_str()));
    model->auditionKeep();
    EXPECT_FALSE(model->auditioning());
    EXPECT_EQ(model->stored.count, 0);
    model->iced_store();
    EXPECT_STREQ(model->ice.songName, "Other");
    EXPECT_EQ(model->ice.sequence.count, 0);

    // Closed, there is no song at all.
    model->closeSong();
    EXPECT_STREQ(model->songFolder.path, "");
    EXPECT_EQ(model->library().groupCount, 0);
    EXPECT_EQ(engine.calls.back(), "reset");
    EXPECT_EQ(model->trackSampleId(0), kBLNoSample);
}

}  // namespace
