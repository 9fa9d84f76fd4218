// The keeper of the user's work: hundreds of random changes undone all the
// way give back the start byte for byte, redone all the way the end; what
// is saved and what is not.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "library/BLGrooveModel.h"
#include "library/BLWorkKeeper.h"
#include "library/GrooveFakes.h"
#include "library/SongTestFiles.h"

using namespace songtest;
using namespace groovetest;

namespace {

// The panels' part of the work: lights, modes, keep marks, key lock, the loop tuner.
class ExtrasView : public RecordingView {
public:
    void captureExtras(BLWorkExtras& x) override { x = extras; }
    void applyExtras(const BLWorkExtras& x) override { extras = x; }
    BLWorkExtras extras;
};

class ModelSource : public BLWorkKeeper::Source {
public:
    explicit ModelSource(BLGrooveModel& m) : model(m) {}
    std::vector<uint8_t> capture() override { return model.encodeWork(); }
    std::string document() override { return model.lastDocument.path; }
    bool apply(const std::vector<uint8_t>& bytes, const std::string& document) override
    {
        if (!model.applyWork(bytes)) return false;
        model.lastDocument.set(document.c_str());
        return true;
    }
    BLGrooveModel& model;
};

class WorkKeeper : public ProgramFolder {
protected:
    void SetUp() override
    {
        ProgramFolder::SetUp();
        for (const char* song : {"Night", "Other"}) {
            writeDescription(songFolder(song) + "/song.bls", fullDescription());
            writeFullLoops(songFolder(song));
        }
        links.engine = &engine;
        links.player = &player;
        links.grooveStrip = &grooves;
        links.sequenceStrip = &sequence;
        links.questions = &questions;
        links.view = &view;
        links.synth = &synth;
        model = std::make_unique<BLGrooveModel>(links);
        ASSERT_TRUE(model->openSong(songKel("Night").c_str()));
        source = std::make_unique<ModelSource>(*model);
        keeper = std::make_unique<BLWorkKeeper>(*source);
        keeper->reset(true);
    }

    // One change a person could make, chosen at random.
    void randomChange(std::mt19937& rng)
    {
        auto pick = [&rng](int n) {
            return static_cast<int16_t>(std::uniform_int_distribution<int>(0, n - 1)(rng));
        };
        BLGroove& g = model->current;
        const int16_t t = pick(kBLEngineTracks);
        switch (pick(14)) {
            case 0: model->chooseLoop(t, pick(4), pick(2)); break;
            case 1: g.tracks[t].volume = static_cast<uint16_t>(pick(128)); break;
            case 2: g.tracks[t].pan = static_cast<int16_t>(pick(127) - 63); break;
            case 3:
                model->chooseLoop(t, pick(4), pick(2));
                model->grooves_add();
                break;
            case 4:
                grooves.select(pick(std::max<int16_t>(model->stored.count, 1)));
                model->grooves_remove();
                break;
            case 5: model->sequencer_addAll(); break;
            case 6: model->sequencer_removeAll(pick(2) == 0); break;
            case 7: model->grooves_hit(pick(8), BLStripGesture::dropOnSequence, pick(8)); break;
            case 8:
                model->sequencer_hit(
                    pick(8), pick(2) ? BLStripGesture::dragOff : BLStripGesture::dropOnSequence, pick(8));
                break;
            case 9: player.setBpm(static_cast<float>(player.songBpm - 40 + pick(80))); break;
            case 10: synth.state.current.keys[pick(kBLSynthKeys)] ^= 1; break;
            case 11: {
                BLWorkExtras& x = view.extras;
                x.tracks[t].on = !x.tracks[t].on;
                x.tracks[pick(kBLEngineTracks)].keep ^= true;
                if (pick(4) == 0) x.soloMode = !x.soloMode;
                if (pick(4) == 0) x.keyLock = !x.keyLock;
                if (pick(4) == 0) x.launchGrid = static_cast<int16_t>(pick(6));
                x.tunerKnobs[pick(kBLTunerKnobs)] = static_cast<int16_t>(pick(101) - 50);
                break;
            }
            case 12: model->openSong(songKel(pick(2) ? "Night" : "Other").c_str()); break;
            default:
                model->chooseLoop(t, pick(4), pick(2));
                grooves.select(pick(std::max<int16_t>(model->stored.count, 1)));
                model->grooves_rewrite();
                break;
        }
    }

    RecordingEngine engine;
    FakePlayer player;
    BLStripState grooves, sequence;
    ScriptedQuestions questions;
    ExtrasView view;
    BLSynthDefaultDocument synth;
    BLGrooveLinks links;
    std::unique_ptr<BLGrooveModel> model;
    std::unique_ptr<ModelSource> source;
    std::unique_ptr<BLWorkKeeper> keeper;
};

TEST_F(WorkKeeper, UndoneAllTheWayTheWorkIsTheStartAndRedoneTheEnd)
{
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    std::vector<std::vector<uint8_t>> steps{model->encodeWork()};
    for (int action = 0; action < 400; ++action) {
        randomChange(rng);
        if (keeper->commit()) steps.push_back(model->encodeWork());
    }
    ASSERT_GT(steps.size(), 200u);
    ASSERT_LE(steps.size(), BLWorkKeeper::kSteps + 1);
    EXPECT_TRUE(keeper->unsaved());
    for (size_t i = steps.size() - 1; i > 0; --i) {
        ASSERT_NE(keeper->undo().kind, BLWorkChange::none) << "step " << i;
        ASSERT_EQ(model->encodeWork(), steps[i - 1]) << "undone to step " << i - 1;
    }
    EXPECT_FALSE(keeper->canUndo());
    EXPECT_FALSE(keeper->unsaved()) << "back where it was saved";
    for (size_t i = 1; i < steps.size(); ++i) {
        ASSERT_NE(keeper->redo().kind, BLWorkChange::none) << "step " << i;
        ASSERT_EQ(model->encodeWork(), steps[i]) << "redone to step " << i;
    }
    EXPECT_FALSE(keeper->canRedo());
}

TEST_F(WorkKeeper, StepsAreNamedAndWhatIsNotTheUsersIsTakenInWithoutOne)
{
    model->chooseLoop(2, 1, 0);
    ASSERT_TRUE(keeper->commit());
    model->current.tracks[2].volume = 99;
    keeper->commit();
    // A track picked changes no work; a sequence stepping is no step.
    model->selectTrack(5);
    EXPECT_FALSE(keeper->commit());
    keeper->beginAction();
    model->current.tracks[6].pan = 12;
    keeper->endAction();
    model->current.tracks[4].pan = -20;  // the sequence or the other player, between actions
    keeper->beginAction();
    keeper->endAction();

    BLWorkChange c = keeper->undo();
    EXPECT_EQ(c.kind, BLWorkChange::pan);
    EXPECT_EQ(c.track, 6);
    EXPECT_EQ(model->current.tracks[4].pan, -20) << "what was taken in stays";
    c = keeper->undo();
    EXPECT_EQ(c.kind, BLWorkChange::volume);
    EXPECT_EQ(c.track, 2);
    EXPECT_EQ(keeper->undo().kind, BLWorkChange::loop);
    EXPECT_EQ(keeper->undo().kind, BLWorkChange::none);

    // Saved in the middle of the history: unsaved on either side of it.
    EXPECT_EQ(keeper->redo().kind, BLWorkChange::loop);
    keeper->markSaved(":Docs:a.bld");
    EXPECT_FALSE(keeper->unsaved());
    keeper->redo();
    EXPECT_TRUE(keeper->unsaved());
    keeper->undo();
    EXPECT_FALSE(keeper->unsaved());
    // A new step where redos were drops them, and a saved state among them.
    keeper->redo();
    keeper->markSaved(":Docs:b.bld");
    keeper->undo();
    model->current.tracks[1].volume = 2;
    ASSERT_TRUE(keeper->commit());
    EXPECT_FALSE(keeper->canRedo());
    keeper->undo();
    EXPECT_TRUE(keeper->unsaved()) << "the state saved is gone from the history";
}

TEST_F(WorkKeeper, AStepWhoseSongIsGoneCannotBeUndone)
{
    ASSERT_TRUE(model->openSong(songKel("Other").c_str()));
    ASSERT_TRUE(keeper->commit());
    std::filesystem::remove_all(songFolder("Night"));
    EXPECT_EQ(keeper->undo().kind, BLWorkChange::none);
    EXPECT_TRUE(keeper->canUndo()) << "the history stays as it was";
    EXPECT_STREQ(model->songFolder.path, songKel("Other").c_str());
}

}  // namespace
