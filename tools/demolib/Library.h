// The layout of ":Library:": each song's folder of loops with its audition,
// description and picture; the program's description store; the pictures;
// the synth sounds.
#pragma once

#include "tools/demolib/Output.h"
#include "tools/demolib/Song.h"
#include "tools/demolib/Songs.h"

namespace demolib {

// Writes a finished song: "Song/<folder>/" with its loops ("Drums01.wav" ...),
// "preview.wav", its description where the song keeps it, and its picture
// as "library.gif" there and as "Images/<library name>.gif".
bool writeSong(LibraryFiles& out, const Song& song);

// Writes "Synth/<name>/c2.wav" ... "b4.wav" and its "picture.gif" (none
// for a picture without pixels).
bool writeSynth(LibraryFiles& out, const SynthSound& sound, const Picture& picture = {});

// The note file names of a synth sound, c2 to b4.
const char* synthNoteName(int index);

}  // namespace demolib
