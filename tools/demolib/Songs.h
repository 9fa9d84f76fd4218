// The demo songs and synth sounds, each built from its own recipe with its
// own fixed seed.
#pragma once

#include <string>
#include <vector>

#include "tools/demolib/Output.h"
#include "tools/demolib/Song.h"

namespace demolib {

Song makeHouse();      // 126 BPM, A minor
Song makeHipHop();     // 90 BPM, D minor
Song makeElectro();    // 140 BPM, F minor
Song makeDowntempo();  // 105 BPM, G minor
Song makeTechno();     // 120 BPM, C minor; described by a 1.0 "info.bls"
Song makeDrumBass();   // 175 BPM, E minor; described in the program's store

struct SynthSound {
    std::string name;                       // folder name
    std::vector<std::vector<float>> notes;  // 36 mono notes, c2 ... b4
};
SynthSound makePluck();
SynthSound makePad();
SynthSound makeEPiano();
SynthSound makeBass();
SynthSound makeBell();
SynthSound makeLead();
// The picture the synth browser shows for a sound, in the sound's hue (#rrggbb).
Picture paintSynthPicture(const SynthSound& sound, uint32_t hue);

}  // namespace demolib
