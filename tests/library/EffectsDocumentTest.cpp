// The grooves' effects in documents and mix scripts: stored with the groove
// that holds them and read back whole, skipped by older readers, damaged or
// hostile atoms read as far as they are sound with a word, and what cannot
// be heard as stored said once when the document opens, and kept.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/kelAtomsFiles.h"
#include "core/kelBytes.h"
#include "library/BLDocument.h"
#include "library/BLGrooveModel.h"
#include "library/BLMixScript.h"
#include "library/BLSynthIce.h"
#include "library/GrooveFakes.h"
#include "library/SongTestFiles.h"

using namespace songtest;
using namespace groovetest;

namespace {

FxSlot slot(const std::string& effect, std::vector<FxParamValue> params = {}, bool bypass = false,
            const std::string& state = "")
{
    FxSlot s;
    s.effect = effect;
    s.params = std::move(params);
    s.bypass = bypass;
    s.state = state;
    return s;
}

// An image whose grooves hold every kind of slot a document may carry.
std::unique_ptr<BLIceimage> imageWithEffects()
{
    auto ice = std::make_unique<BLIceimage>();
    ice->valid = 1;
    std::strcpy(ice->songName, "Night");
    ice->bpm = 120.0f;
    ice->sequence.count = 2;
    ice->sequence.grooves[0].id = 1;
    ice->sequence.grooves[1].id = 2;
    ice->groove.tracks[0] = {100, 0, 0, 0};
    ice->groove.fx.racks[0].slots[0] = slot("filter", {{"type", 1.0f}, {"cutoff", 440.0f}});
    ice->groove.fx.racks[0].slots[1] = slot("delay", {{"time", 0.1875f}}, true);
    ice->groove.fx.racks[kFxMain].slots[1] = slot("limiter", {{"ceiling", -1.0f}});
    ice->sequence.grooves[1].fx.racks[3].slots[0] =
        slot("urn:somewhere:a-plugin", {{"gain", NAN}, {"mode", 1e30f}}, false,
             std::string("state\0with a zero", 17));
    ice->sequence.grooves[1].fx.racks[7].slots[1] = slot("chorus", {{"depth", 0.5f}});
    return ice;
}

std::vector<uint8_t> atomOf(const std::vector<uint8_t>& document, uint32_t id)
{
    kelAtomsFile file;
    EXPECT_TRUE(file.openForRead(document.data(), document.size()));
    uint32_t found = 0;
    std::vector<uint8_t> data;
    while (file.readNext(&found, &data, 1 << 24))
        if (found == id) break;
    file.close();
    return found == id ? data : std::vector<uint8_t>{};
}

// The document with its effects' atom replaced by `atom`.
std::vector<uint8_t> withEffectsAtom(const BLIceimage& ice, const std::vector<uint8_t>& atom)
{
    BLIceimage plain = ice;
    plain.groove.fx = FxSetup{};
    for (BLGroove& g : plain.sequence.grooves) g.fx = FxSetup{};
    BLSynthDefaultDocument synth;
    std::vector<uint8_t> bytes = BLDocument_Encode(plain, &synth);
    uint8_t header[8];
    kelPutLE32(header, kBLAtomEffects);
    kelPutLE32(header + 4, static_cast<uint32_t>(atom.size()));
    bytes.insert(bytes.end(), header, header + 8);
    bytes.insert(bytes.end(), atom.begin(), atom.end());
    return bytes;
}

TEST(EffectsDocument, EveryGroovesEffectsComeBackWholeAndTheImageIsUntouched)
{
    const auto ice = imageWithEffects();
    const std::vector<uint8_t> bytes = BLDocument_Encode(*ice, nullptr);
    auto back = std::make_unique<BLIceimage>();
    const BLDocumentRead read = BLDocument_Decode(bytes, back.get(), nullptr);
    ASSERT_EQ(read.status, BLDocumentRead::read);
    EXPECT_FALSE(read.effectsDamaged);
    EXPECT_EQ(back->groove, ice->groove);
    for (int i = 0; i < kBLMaxGrooves; ++i)
        EXPECT_EQ(back->sequence.grooves[i], ice->sequence.grooves[i]) << i;
    // Not a number stays the very bits it was.
    EXPECT_TRUE(std::isnan(back->sequence.grooves[1].fx.racks[3].slots[0].params[0].value));
    EXPECT_EQ(back->sequence.grooves[1].fx.racks[3].slots[0].state.size(), 17u);
    // The ice image an older reader takes is the same bytes with or without them.
    auto plain = std::make_unique<BLIceimage>(*ice);
    plain->groove.fx = FxSetup{};
    for (BLGroove& g : plain->sequence.grooves) g.fx = FxSetup{};
    const std::vector<uint8_t> without = BLDocument_Encode(*plain, nullptr);
    EXPECT_EQ(atomOf(bytes, kBLAtomIce), atomOf(without, kBLAtomIce));
    EXPECT_TRUE(atomOf(without, kBLAtomEffects).empty());  // none written when there are none
    EXPECT_FALSE(atomOf(bytes, kBLAtomEffects).empty());
}

TEST(EffectsDocument, ADamagedAtomKeepsWhatWasWholeAndLeavesTheRestOfTheDocument)
{
    const auto ice = imageWithEffects();
    const std::vector<uint8_t> atom = BLDocument_EncodeEffects(*ice);
    ASSERT_GT(atom.size(), 40u);
    // Every cut of the atom, and hostile values in its fields.
    std::vector<std::vector<uint8_t>> damaged;
    for (size_t cut = 0; cut < atom.size(); cut += 3) damaged.emplace_back(atom.begin(), atom.begin() + cut);
    auto bad = [&](size_t at, uint8_t v) {
        std::vector<uint8_t> a = atom;
        a[at] = v;
        damaged.push_back(a);
    };
    bad(0, 9);     // another layout
    bad(4, 200);   // a rack there is not
    bad(5, 7);     // a slot there is not
    bad(3, 77);    // a groove there is not
    bad(7, 0xFF);  // an effect's name longer than the atom
    std::vector<uint8_t> longer = atom;
    longer.push_back(0);
    damaged.push_back(longer);
    for (const std::vector<uint8_t>& a : damaged) {
        auto back = std::make_unique<BLIceimage>();
        const BLDocumentRead read = BLDocument_Decode(withEffectsAtom(*ice, a), back.get(), nullptr);
        ASSERT_EQ(read.status, BLDocumentRead::read);
        EXPECT_TRUE(read.effectsDamaged) << a.size();
        EXPECT_EQ(back->groove.tracks[0], ice->groove.tracks[0]);
        EXPECT_EQ(back->sequence.count, 2);
        EXPECT_STREQ(back->songName, "Night");
        // What was read whole is the document's own.
        for (int r = 0; r < kFxRacks; ++r)
            for (int k = 0; k < kFxSlots; ++k) {
                const FxSlot& got = back->groove.fx.racks[r].slots[k];
                if (!got.empty()) {
                    EXPECT_EQ(got, ice->groove.fx.racks[r].slots[k]);
                }
            }
    }
}

class EffectsWork : public ProgramFolder {
protected:
    void SetUp() override
    {
        ProgramFolder::SetUp();
        writeDescription(songFolder("Night") + "/night.bls", fullDescription());
        writeFullLoops(songFolder("Night"));
        BLGrooveLinks links;
        links.engine = &engine;
        links.player = &player;
        links.questions = &questions;
        model = std::make_unique<BLGrooveModel>(links);
        ASSERT_TRUE(model->openSong(songKel("Night").c_str()));
    }

    RecordingEngine engine;
    FakePlayer player;
    ScriptedQuestions questions;
    std::unique_ptr<BLGrooveModel> model;
};

TEST_F(EffectsWork, AStoredGrooveRecallsItsEffectsAndADocumentKeepsThem)
{
    model->chooseLoop(0, 0, 0);
    model->current.fx.racks[0].slots[0] = slot("reverb", {{"size", 0.9f}});
    model->grooves_add();
    model->current.fx = FxSetup{};
    model->current.fx.racks[kFxMain].slots[0] = slot("limiter");
    model->groove_activate();
    ASSERT_FALSE(engine.effects.empty());
    EXPECT_EQ(engine.effects.back().racks[kFxMain].slots[0].effect, "limiter");
    model->grooves_hit(0);  // the stored groove back
    EXPECT_EQ(model->current.fx.racks[0].slots[0].effect, "reverb");
    EXPECT_EQ(engine.effects.back().racks[0].slots[0], model->current.fx.racks[0].slots[0]);
    EXPECT_TRUE(engine.effects.back().racks[kFxMain].slots[0].empty());

    const std::string path = kelOf(dir.file("fx.bld"));
    ASSERT_TRUE(model->saveDocument(path.c_str()));
    BLGrooveLinks links;
    links.engine = &engine;
    links.player = &player;
    links.questions = &questions;
    auto again = std::make_unique<BLGrooveModel>(links);
    ASSERT_TRUE(again->loadDocument(path.c_str()));
    EXPECT_TRUE(questions.asked.empty());
    EXPECT_EQ(again->stored.grooves[0].fx, model->stored.grooves[0].fx);
    EXPECT_EQ(again->current.fx, model->current.fx);
}

TEST_F(EffectsWork, WhatCannotBeHeardAsStoredIsSaidOnceAndKept)
{
    auto ice = imageWithEffects();
    ice->sequence.grooves[0].fx.racks[1].slots[0] = slot("http://drobilla.net/plugins/mda/DX10");
    ice->sequence.grooves[0].fx.racks[2].slots[0] =
        slot("http://drobilla.net/plugins/mda/Delay", {}, false, "damaged <");
    ice->groove.fx.racks[4].slots[0] = slot("filter", {{"cutoff", 1e7f}, {"colour", 2.0f}});
    const std::string path = kelOf(dir.file("odd.bld"));
    BLSynthDefaultDocument synth;
    ASSERT_TRUE(BLDocument_Write(path.c_str(), *ice, &synth));
    ASSERT_TRUE(model->loadDocument(path.c_str()));
    ASSERT_EQ(questions.asked.size(), 1u);
    const std::string& said = questions.asked[0];
    EXPECT_EQ(said.compare(0, 4, "520 "), 0) << said;
    for (const char* part : {"odd.bld|", "chorus (no such effect)", "urn:somewhere:a-plugin (not installed)",
                             "DX10 (a plugin this program cannot run)", "cutoff: out of range",
                             "colour: no such parameter", "Delay (its state could not be read)"})
        EXPECT_NE(said.find(part), std::string::npos) << part << " in " << said;
    // Nothing of it is lost: saved again, the document holds it all.
    const std::string again = kelOf(dir.file("again.bld"));
    ASSERT_TRUE(model->saveDocument(again.c_str()));
    auto back = std::make_unique<BLIceimage>();
    ASSERT_EQ(BLDocument_Read(again.c_str(), back.get(), nullptr).status, BLDocumentRead::read);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(back->sequence.grooves[i].fx, ice->sequence.grooves[i].fx);
    EXPECT_EQ(back->groove.fx, ice->groove.fx);

    // A damaged atom is said too.
    questions.asked.clear();
    std::vector<uint8_t> cut = BLDocument_EncodeEffects(*ice);
    cut.resize(cut.size() / 2);
    const std::vector<uint8_t> damaged = withEffectsAtom(*ice, cut);
    const std::string damagedPath = dir.file("cut.bld");
    ASSERT_TRUE(testsupport::writeFile(damagedPath, std::string(damaged.begin(), damaged.end())));
    ASSERT_TRUE(model->loadDocument(kelOf(damagedPath).c_str()));
    ASSERT_FALSE(questions.asked.empty());
    EXPECT_EQ(questions.asked[0], "521 cut.bld");
}

TEST_F(EffectsWork, TheMixScriptsPlanCarriesEachGroovesEffectsAndAStemOnlyItsOwn)
{
    model->chooseLoop(0, 0, 0);
    model->chooseLoop(1, 1, 0);
    model->current.fx.racks[0].slots[0] = slot("filter");
    model->current.fx.racks[1].slots[0] = slot("delay");
    model->current.fx.racks[kFxMain].slots[0] = slot("reverb");
    model->grooves_add();
    model->grooves_hit(0, BLStripGesture::dropOnSequence, 0);
    model->grooves_hit(0, BLStripGesture::dropOnSequence, 1);
    const BLMixScript all = BLMixScript_Make(120, model->stored, model->library(), kBLMixAllGroups);
    ASSERT_EQ(all.plan.grooves.size(), 2u);
    EXPECT_TRUE(all.plan.mainEffects);
    EXPECT_TRUE(all.plan.anyEffects());
    EXPECT_EQ(all.plan.grooves[1].fx, model->stored.grooves[0].fx);
    EXPECT_TRUE(all.plan.grooves[0].tracks[0].line && all.plan.grooves[0].tracks[1].line);
    EXPECT_FALSE(all.plan.grooves[0].tracks[2].line);
    const BLMixScript stem = BLMixScript_Make(120, model->stored, model->library(), 1);
    EXPECT_FALSE(stem.plan.mainEffects);
    EXPECT_TRUE(stem.plan.grooves[0].fx.racks[0].empty());
    EXPECT_EQ(stem.plan.grooves[0].fx.racks[1].slots[0].effect, "delay");
    EXPECT_FALSE(stem.plan.grooves[0].tracks[0].line);
    EXPECT_TRUE(stem.plan.grooves[0].tracks[1].line);
}

}  // namespace
