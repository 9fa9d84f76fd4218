// Groove documents from any bytes: read into an ice image, then loaded by
// the groove model (which opens the named song when it exists) and worked a
// little; what was read must keep the model's ranges, and must come back the
// same when written and read again.
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "FuzzFiles.h"
#include "library/BLBlsWriter.h"
#include "library/BLDocument.h"
#include "library/BLGrooveModel.h"
#include "library/BLSynthIce.h"

namespace {

using fuzzfiles::check;

// A program folder with one song, "S", whose groups hold a few loops.
void makeProgramFolder()
{
    static const bool made = [] {
        std::filesystem::create_directories(fuzzfiles::systemPath("Library/Song/S"));
        if (chdir(fuzzfiles::folder().c_str()) != 0) std::abort();
        const std::vector<std::string> lines = {std::string(kBLSFormatKeyword) + " BLS 1.2",
                                                "SONGLIBRARY: L",
                                                "SONGTITLE: S",
                                                "SONGDESCRIPTION: D",
                                                "SONGBPM: 120",
                                                "SONGMIX: 0",
                                                "ARPNOTE: C",
                                                "LONGCOMMAND: CATEGORYLIST: 2",
                                                "a",
                                                "b",
                                                "ENDCOMMAND:",
                                                "LONGCOMMAND: RANDOMSET: 0",
                                                "ENDCOMMAND:",
                                                "LONGCOMMAND: SONGTRACKS: 3",
                                                "a01 100 63 1",
                                                "a02 90 10 2",
                                                "b01 80 120 4",
                                                "ENDCOMMAND:"};
        if (!BLBlsWriter_Write(":Library:Song:S:s.bls", lines)) std::abort();
        return true;
    }();
    (void)made;
}

void checkImage(const BLIceimage& ice)
{
    const BLSequence& s = ice.sequence;
    check(s.count >= 0 && s.count <= kBLMaxGrooves);
    check(s.length >= 0 && s.length <= kBLMaxSequence);
    check(s.userLength >= 0 && s.userLength <= kBLMaxSequence);
    check(ice.selectedTrack >= -1 && ice.selectedTrack < kBLEngineTracks);
    check(std::memchr(ice.songName, '\0', sizeof ice.songName) != nullptr);
    auto groove = [](const BLGroove& g) {
        for (const BLTrack& t : g.tracks) {
            check(t.volume <= 127 && t.pan >= -63 && t.pan <= 63);
            check(t.group >= -1 && t.group < kBLMaxGroups && t.slot >= -1 && t.slot < kBLMaxSlots);
        }
    };
    for (const BLGroove& g : s.grooves) groove(g);
    groove(ice.groove);
}

class Quiet : public BLGrooveQuestions {};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    makeProgramFolder();
    fuzzfiles::write("in.bld", data, size);
    const std::string in = fuzzfiles::kelPath("in.bld");

    auto ice = std::make_unique<BLIceimage>();
    BLSynthDefaultDocument synth;
    const BLDocumentRead read = BLDocument_Read(in.c_str(), ice.get(), &synth);
    if (read.status == BLDocumentRead::read) {
        checkImage(*ice);
        check(synth.state.presetCount >= 0 && synth.state.presetCount <= kBLSynthPresets);
        // What was read is a fixed point of writing and reading.
        const std::string out = fuzzfiles::kelPath("out.bld");
        check(BLDocument_Write(out.c_str(), *ice, &synth));
        auto again = std::make_unique<BLIceimage>();
        BLSynthDefaultDocument synthAgain;
        check(BLDocument_Read(out.c_str(), again.get(), &synthAgain).status == BLDocumentRead::read);
        check(std::memcmp(again->songName, ice->songName, sizeof ice->songName) == 0);
        check(again->sequence.count == ice->sequence.count && again->sequence.length == ice->sequence.length);
        for (int i = 0; i < kBLMaxGrooves; ++i) check(again->sequence.grooves[i] == ice->sequence.grooves[i]);
        check(again->groove == ice->groove && again->selectedTrack == ice->selectedTrack);
        check(synthAgain.state == synth.state);
    }

    // The model loads it as the groove panel would, then is worked with
    // whatever the document held.
    BLEngineCalls silent;
    Quiet quiet;
    BLGrooveLinks links;
    links.engine = &silent;
    links.questions = &quiet;
    auto model = std::make_unique<BLGrooveModel>(links);
    model->loadDocument(in.c_str());
    checkImage(model->ice);
    model->groove_activate();
    for (int16_t i = 0; i < 8; ++i) {
        model->grooves_hit(i, BLStripGesture::dropOnSequence, i);
        model->seqActivateNext();
    }
    model->sequencer_hit(1, BLStripGesture::dragOff);
    model->grooves_hit(0, BLStripGesture::dragOff);
    model->chooseLoop(model->selectedTrack, 0, 1);
    model->grooves_add();
    model->stored.userLength = 37;
    model->stored.stretchToUser();
    check(model->stored.count >= 0 && model->stored.count <= kBLMaxGrooves);
    check(model->stored.length >= 0 && model->stored.length <= kBLMaxSequence);
    return 0;
}
