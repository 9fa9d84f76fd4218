// A demo song as the library describes it: its texts and tempo, its loops
// sorted into instrument groups, its random sets and its styles.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/demolib/Sound.h"

namespace demolib {

struct Sample {
    std::string group;
    int number = 0;  // within the group, from 1
    std::string label;
    int bars = 1;
    int volume = 100;  // 0..127
    int pan = 63;      // 0..126, 63 the middle
    Stereo audio;      // finished: peak at half of full scale

    // The description's file word: group name and two-digit number.
    std::string fileWord() const;
    // Times the loop fits into the engine's 32-beat cycle.
    int repeats() const { return 8 / bars; }
};

struct RandomSet {
    std::string name;
    std::vector<std::string> groups;  // one per track, at most 8
};

// A virtual-mix template: columns name groups; each row (8 bars) gives every
// track a column index or -1 for silence.
struct Style {
    std::string name;
    std::vector<std::string> columns;
    std::vector<std::array<int, 8>> rows;
};

// Where the song's description lives.
enum class DescriptionPlace {
    songFolder,    // a 1.2 description in the song's folder
    infoBls,       // a 1.0 "info.bls" in the song's folder
    programStore,  // a 1.2 description in ":Library:Bls:"
};

struct Song {
    std::string folder;   // the song's folder name
    std::string library;  // library name, also the picture's name
    std::string title;
    std::vector<std::string> description;  // written over several lines
    int bpm = 120;
    int songMix = 1;
    std::string arpNotes;  // the scale, as the synth panel's key letters
    DescriptionPlace place = DescriptionPlace::songFolder;
    int pictureTheme = 0;

    std::vector<std::string> groups;  // in the order of the category list
    std::vector<Sample> samples;      // grouped, numbers ascending
    std::vector<RandomSet> randomSets;
    std::vector<Style> styles;
    // The loops of the audition: file words.
    std::vector<std::string> preview;

    int framesPerBeat() const { return 2646000 / bpm; }
    const Sample* find(const std::string& fileWord) const;
};

}  // namespace demolib
