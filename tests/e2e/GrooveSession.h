// A groove panel session of the real program, headless: a program folder
// with the demo songs (and songs of the test's own), documents written and
// read back, the script of what a person does, the sound the device played
// (SDL's disk driver) and the screenshots, copied into the build tree.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "library/BLGroove.h"
#include "support/TestSupport.h"

namespace groovee2e {

// A 1024 x 768 window shows the stage at (192, 144).
constexpr int kOriginX = 192;
constexpr int kOriginY = 144;

// Where the groove panel's layouts put things (stage coordinates).
constexpr int kRowTop = 146;
constexpr int kRowPitch = 23;
inline int rowTop(int track)
{
    return kRowTop + kRowPitch * track;
}

// A loop file's samples (16-bit, interleaved).
struct Loop {
    int channels = 0;
    std::vector<int16_t> samples;
    int frames() const { return channels ? static_cast<int>(samples.size()) / channels : 0; }
};
Loop readLoop(const std::string& path);
// Frames of the device's capture (16-bit stereo, no header).
std::vector<int16_t> readCapture(const std::string& path);

// The left channel of `loop` from its first frame as the mix plays it at
// `ratio` times its own tempo (linear interpolation), `frames` long.
std::vector<float> playedAt(const Loop& loop, double ratio, int frames);
// The best normalised correlation of `pattern` with the capture's left
// channel at frame offsets from..to; the offset found goes to `at`.
double bestMatch(const std::vector<int16_t>& capture, const std::vector<float>& pattern, int from, int to,
                 int& at);
// The first frame that is not silent; -1 when all is silence.
int firstSound(const std::vector<int16_t>& capture);
// Every loop of a song's folder made a click on each of its beats at `bpm`,
// so that where the program's beats are heard can be read off its sound.
void clickEveryBeat(const std::string& songFolder, double bpm);

class GrooveSession : public ::testing::Test {
protected:
    void SetUp() override;

    // A song of the test's own: the loops and description of `source` (a
    // demo song) with a single random set, so that random buttons 2 to 4
    // give each track the group of its own number.
    void makeSong(const std::string& name, const std::string& source);
    // A document naming `song`, with this current groove, tempo and
    // selected track, and the stored grooves and sequence given (none by default).
    std::string writeDocument(const std::string& file, const std::string& song, const BLGroove& groove,
                              float bpm, int16_t selected = 0, const BLSequence* stored = nullptr);
    bool readDocument(const std::string& path, BLIceimage& ice);

    // Runs the program on the script with the document on its command line;
    // the sound goes to capture.raw. Returns the log.
    std::string runScript(const std::string& script, const std::string& document);

public:
    // Keeps a screenshot in the build tree (tests/screens) for a look.
    static void keepScreen(const std::string& shot, const std::string& name);

protected:
public:
    static std::string at(int stageX, int stageY);

protected:
    testsupport::ProgramDir dir{"groove"};
    std::string library;  // the program folder's own library folder
    std::string capture;
};

}  // namespace groovee2e
