// The song library in figures, for the information panel: songs, loops,
// minutes of audio, synth sounds and the disk space the library takes.
// Counted a few files at a time, so that the panel showing them keeps
// drawing while a large library is walked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class BLLibraryFigures {
public:
    // Starts counting the library folder (a kel path ending in ':').
    void start(const char* libraryFolder = ":Library:");
    // Looks at up to `budget` files or folders; true once all is counted.
    bool step(int budget);
    bool done() const { return started_ && work_.empty(); }

    int32_t songs = 0;        // folders of Song: that hold loops
    int32_t loops = 0;        // their WAV files, auditions left out
    double audioSeconds = 0;  // the loops' length at 44100 frames a second
    int32_t synthSounds = 0;  // folders of Synth: that hold notes
    int64_t bytes = 0;        // every file of the library

private:
    enum class Kind { Song, SynthSound, Other };
    struct Work {
        std::string path;  // a folder ends in ':'
        Kind kind;         // the song or synth sound it belongs to, or neither
        bool folder;
        std::string owner;  // that song's or synth sound's folder
    };
    void list(const Work& folder);

    std::string root_;
    std::vector<Work> work_;
    bool started_ = false;
    // The song or synth folder last given a loop or a note.
    std::string counted_;
};
