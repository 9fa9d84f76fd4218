// What the demo library tests share: where the built library is, its
// descriptions decoded with the program's reader and cut into their parts,
// and its WAV files read through the engine's WAV layer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace demotest {

// The build's ":Library:" as a system path.
std::string libraryDir();
// A system path as the file layer's kel path.
std::string kelPath(const std::string& systemPath);

// Every line of a description, decoded by BLBlsParser; empty when it cannot
// be opened.
std::vector<std::string> decodeLines(const std::string& systemPath);

struct SampleLine {
    std::string word;  // file word: group name and two digits
    std::string label;
    int volume = -1;
    int pan = -1;
    int repeats = -1;
};

struct StyleBlock {
    std::string name;
    std::vector<std::string> columns;
    std::vector<std::vector<int>> rows;
};

struct SongDescription {
    std::string folder;
    std::string path;  // where the description was found
    int version = 0;   // 10 or 12
    std::string library, title, description, arpNotes;
    int bpm = 0;
    std::vector<std::string> groups;                   // category list (1.2)
    std::vector<std::vector<std::string>> randomSets;  // name first, then groups
    std::vector<SampleLine> samples;
    std::vector<StyleBlock> styles;
    std::vector<std::string> problems;  // what did not read as expected
};

// The song folders of the library, sorted.
std::vector<std::string> songFolders();
// Looks for the song's description where the song library does (the
// program's store, a description in the folder, then "info.bls") and reads it.
SongDescription readSong(const std::string& folder);

// The group name of a file word (without its two digits).
std::string groupOf(const std::string& word);

// What is wrong with a WAV file's header, against the canonical 44 bytes of
// 16-bit PCM at 44100 Hz with nothing after the data; empty when nothing.
std::string canonicalHeaderProblem(const std::string& systemPath, int channels);

struct Wave {
    bool ok = false;
    int channels = 0;
    int frames = 0;
    std::vector<int16_t> samples;  // interleaved
};
Wave readWave(const std::string& systemPath);

}  // namespace demotest
