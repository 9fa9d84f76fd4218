// Patterns written as text, one character or word per sixteenth note, and
// the timing grid that turns steps into frames.
//
// Drum patterns: "X" accent, "x" normal, "o" ghost, "g" faint, "1".."9"
// velocity tenths, anything else a rest: "X...x...X...x..."
//
// Note patterns: words separated by blanks, one per step. A note word is a
// letter a-g (upper case for an accent), "#" or "b", an octave digit, and an
// optional "~" in front to slide into it from the previous note; "-" holds
// the previous note one step longer; "." is a rest: "~c3 - . eb3 . c2 ..."
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace demolib {

struct Hit {
    int step;
    double vel;
};
std::vector<Hit> parseHits(const std::string& pattern);

struct NoteEvent {
    int step;
    int steps;  // length in steps
    int midi;
    double vel;
    bool slide;
};
std::vector<NoteEvent> parseNotes(const std::string& pattern);

// MIDI number of a note name such as "c4", "F#2", "eb3" (c4 = 60); -1 when
// it is not one.
int noteNumber(const std::string& name);

// The song's grid: frames per beat and the swing of the off-beat sixteenths.
class Grid {
public:
    Grid(int framesPerBeat, double swing) : fpb_(framesPerBeat), swing_(swing) {}
    int framesPerBeat() const { return fpb_; }
    int framesPerBar() const { return 4 * fpb_; }
    // First frame of a step (a sixteenth), fractional steps allowed; odd
    // sixteenths are pushed late by the swing (a share of a sixteenth).
    int64_t frame(double step) const;
    // Frames between two steps, as seconds.
    double seconds(double steps) const { return steps * fpb_ / 4.0 / 44100.0; }

private:
    int fpb_;
    double swing_;
};

}  // namespace demolib
