// The groove's effects as the controller's actions: heard at once, kept in
// the groove and its document (the keeper's steps, the recovery file), a
// stored groove recalling them, a CC driving a parameter across its range,
// and MIDI learn binding one.
#include <cmath>
#include <string>
#include <vector>

#include "library/BLDocument.h"
#include "library/BLSynthIce.h"
#include "library/BLWorkChange.h"
#include "library/BLprefs.h"
#include "tests/panels/GroovePanelFixture.h"

namespace groovepanel {
namespace {

class GrooveEffects : public GroovePanelTest {
protected:
    void SetUp() override
    {
        GroovePanelTest::SetUp();
        fillGroove();
        groove.keeper().reset(true);
        engine.calls.clear();
    }
    void TearDown() override
    {
        blPrefs.midiBindings.clear();
        GroovePanelTest::TearDown();
    }
    const FxSlot& slot(int r, int k) { return groove.model.current.fx.racks[r].slots[k]; }
    // The effects a document of the work as it stands holds.
    FxSetup inDocument()
    {
        BLIceimage ice;
        BLSynthDefaultDocument synth;
        BLWorkExtras extras;
        EXPECT_EQ(BLDocument_Decode(groove.model.encodeWork(), &ice, &synth, &extras).status,
                  BLDocumentRead::read);
        return ice.groove.fx;
    }
    void cc(uint8_t number, uint8_t value)
    {
        const uint8_t bytes[3] = {0xB0, number, value};
        ASSERT_TRUE(groove.midiQueue.push(bytes, 3));
        groove.serve();
    }
};

TEST_F(GrooveEffects, EachChangeIsHeardAtOnceKeptInTheDocumentAndUndoneStepByStep)
{
    groove.setEffect(2, 0, "filter");
    groove.setEffectParam(2, 0, "cutoff", 50000.0f);  // past the top: held there
    groove.setEffectParam(2, 0, "nothing", 1.0f);     // no such parameter: nothing
    groove.setEffectBypass(2, 0, true);
    const std::vector<uint8_t> before = groove.model.encodeWork();
    groove.setEffect(kFxMain, 1, "reverb");
    EXPECT_EQ(engine.calls, (std::vector<std::string>{"fx 2 0 filter", "fx param 2 0 cutoff 20000",
                                                      "fx bypass 2 0 1", "fx 8 1 reverb"}));
    EXPECT_EQ(slot(2, 0).effect, "filter");
    ASSERT_NE(slot(2, 0).param("cutoff"), nullptr);
    EXPECT_EQ(*slot(2, 0).param("cutoff"), 20000.0f);
    EXPECT_EQ(slot(2, 0).param("nothing"), nullptr);
    EXPECT_TRUE(slot(2, 0).bypass);
    // What a save or the recovery file writes is what is heard.
    EXPECT_EQ(inDocument(), groove.model.current.fx);

    // Four steps, each undone alone, named by what it changed.
    const BLWorkChange named = BLWork_Describe(before, groove.model.encodeWork());
    EXPECT_EQ(named.kind, BLWorkChange::effects);
    EXPECT_EQ(named.track, kFxMain);
    groove.undoWork();
    EXPECT_TRUE(slot(kFxMain, 1).empty());
    EXPECT_EQ(engine.effects, groove.model.current.fx) << "the engine hears the groove as undone";
    const std::vector<uint8_t> bypassed = groove.model.encodeWork();
    groove.undoWork();
    EXPECT_EQ(BLWork_Describe(groove.model.encodeWork(), bypassed).track, 2);
    EXPECT_FALSE(slot(2, 0).bypass);
    groove.undoWork();
    EXPECT_EQ(slot(2, 0).param("cutoff"), nullptr);
    groove.undoWork();
    EXPECT_TRUE(slot(2, 0).empty());
    EXPECT_FALSE(groove.keeper().canUndo());
    groove.redoWork();
    EXPECT_EQ(slot(2, 0).effect, "filter");
    EXPECT_EQ(engine.effects.racks[2].slots[0].effect, "filter");

    // Another effect in the slot starts from its own defaults; an empty
    // slot takes no parameter; a peer's change is no step of this side's.
    groove.setEffectParam(2, 0, "resonance", 0.5f);
    groove.setEffect(2, 0, "delay");
    EXPECT_TRUE(slot(2, 0).params.empty());
    groove.clearEffect(2, 0);
    groove.setEffectParam(2, 0, "mix", 0.5f);
    EXPECT_TRUE(slot(2, 0).empty());
    groove.keeper().reset(true);
    groove.setEffect(5, 1, "delay", BLOrigin::link);
    EXPECT_EQ(slot(5, 1).effect, "delay");
    EXPECT_FALSE(groove.keeper().canUndo());
}

TEST_F(GrooveEffects, AStoredGrooveRecallsItsEffects)
{
    groove.setEffect(0, 1, "delay");
    groove.setEffectParam(0, 1, "time", 0.375f);
    groove.store();
    groove.clearEffect(0, 1);
    groove.setEffect(kFxMain, 0, "limiter");
    ASSERT_TRUE(slot(0, 1).empty());
    groove.restoreStored(0);
    EXPECT_EQ(slot(0, 1).effect, "delay");
    EXPECT_EQ(*slot(0, 1).param("time"), 0.375f);
    EXPECT_TRUE(slot(kFxMain, 0).empty());
    EXPECT_EQ(engine.effects, groove.model.current.fx);
}

TEST_F(GrooveEffects, ACCDrivesAParameterAcrossItsRangeAndLearnBindsIt)
{
    groove.setEffect(3, 0, "filter");
    groove.setEffect(kFxMain, 1, "delay");
    groove.keeper().reset(true);
    blPrefs.midiBindings.learn({BLMidiKind::cc, 1, 20, BLMidiAction::effect, 3, 0, "cutoff"});
    cc(20, 127);
    EXPECT_FLOAT_EQ(*slot(3, 0).param("cutoff"), 20000.0f);
    cc(20, 0);
    EXPECT_FLOAT_EQ(*slot(3, 0).param("cutoff"), 20.0f);
    cc(20, 64);  // the middle of a log scale: about 640 Hz
    EXPECT_NEAR(*slot(3, 0).param("cutoff"), 20.0f * std::pow(1000.0f, 64.0f / 127.0f), 0.5f);
    EXPECT_TRUE(groove.keeper().canUndo()) << "a CC's move is the user's step";

    // Learn: the delay's time on the main mix, then its bypass on a pad.
    groove.learnKey();
    groove.learnPickEffect(kFxMain, 1, "time");
    cc(30, 5);
    const BLMidiBinding* bound = blPrefs.midiBindings.forEffect(kFxMain, 1, "time");
    ASSERT_NE(bound, nullptr);
    EXPECT_EQ(bound->number, 30);
    cc(30, 127);
    EXPECT_EQ(*slot(kFxMain, 1).param("time"), 4.0f);
    cc(30, 60);  // in the beat's note values, 1/64 to 4: the eighth of fifteen is a dotted 1/4
    EXPECT_EQ(*slot(kFxMain, 1).param("time"), 0.375f);

    groove.learnKey();
    groove.learnPickEffect(kFxMain, 1, "");
    const uint8_t pad[3] = {0x90, 44, 100};
    ASSERT_TRUE(groove.midiQueue.push(pad, 3));
    groove.serve();
    ASSERT_NE(blPrefs.midiBindings.forEffect(kFxMain, 1, ""), nullptr);
    ASSERT_TRUE(groove.midiQueue.push(pad, 3));
    groove.serve();
    EXPECT_TRUE(slot(kFxMain, 1).bypass);
}

}  // namespace
}  // namespace groovepanel
