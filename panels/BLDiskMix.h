// A disk mix: the song sequence rendered by the engine's offline mixdown
// into one file, or one file per instrument group into a folder (stems),
// then converted to the export format. The groove panel runs it behind the
// progress panel; `beatloom --render` runs it with a bar on the terminal.
//
// Files appear whole or not at all: the renderer and the converter write
// under temporary names and rename into place, so a stop, a full disk or a
// vanished folder leaves no half-written file under a target's name.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/kelQt.h"

class BLEngine;
struct BLSequence;
class BLSongLibrary;

// Message numbers of the disk mix.
constexpr int16_t kBLMsgSequenceEmpty = 7;
constexpr int16_t kBLMsgFolderNotCreated = 9;
constexpr int16_t kBLMsgMixingGroups = 10;
constexpr int16_t kBLMsgConvertingGroup = 11;
constexpr int16_t kBLMsgMixing = 12;
constexpr int16_t kBLMsgConverting = 13;
constexpr int16_t kBLMsgConversionFailed = 14;
constexpr int16_t kBLMsgArpMixing = 34;
constexpr int16_t kBLMsgArpConversion = 35;
constexpr int16_t kBLMsgNoOptions = 50;
constexpr int16_t kBLMsgPreparingFolder = 180;
constexpr int16_t kBLMsgMixFailed = 181;
constexpr int16_t kBLMsgNothingToMix = 182;
constexpr int16_t kBLMsgFolderNotEmptied = 183;
constexpr int16_t kBLMsgScriptNotWritten = 184;
constexpr int16_t kBLMsgNormalizing = 185;

// What a disk mix tells the person: the progress panel's calls.
class BLDiskMixFeedback {
public:
    virtual ~BLDiskMixFeedback() = default;
    virtual void show() {}
    virtual void hide() {}
    virtual void message(int16_t) {}
    // The bar at a, where the next sub-range starts; the sub-range's width.
    virtual void amount(float) {}
    virtual void subAmountRange(float) {}
    virtual void setStopMode(bool) {}
    virtual bool shouldStop() { return false; }
    // A failure the person must see.
    virtual void notify(int16_t) {}
};

struct BLDiskMixJob {
    const BLSongLibrary* library = nullptr;
    const BLSequence* sequence = nullptr;
    float tempo = 0;                      // the player's tempo
    int16_t target = 0;                   // 0: one file; 1: a file per group into a folder
    std::string path;                     // kel path of the file or the folder
    uint32_t format = kelQtFormatNative;  // 'BTLM': the WAV as rendered
    const kelQtSettingsHandle* settings = nullptr;
    bool normalize = false;
    int quality = 0;                       // kQualMixClassic or kQualMixHigh
    bool keyLock = false;                  // stretched to the tempo, the key kept
    std::string scriptPath = "MixScript";  // kel path of the mix script
};

struct BLDiskMixOutcome {
    std::vector<std::string> files;  // kel paths of the files written, in order
    bool stopped = false;
    bool failed = false;            // a render or the folder failed (the person was told)
    bool conversionFailed = false;  // a conversion failed; its WAV file was kept
    bool nothingToMix = false;      // no track line anywhere
};

BLDiskMixOutcome BLDiskMix_Run(const BLDiskMixJob& job, BLEngine& engine, BLDiskMixFeedback& feedback);

// Converts the WAV at wavPath to `format` through a temporary file in its
// folder; on success the WAV is gone and the result has the WAV's name with
// the format's extension (written to finalPath when given). A failed or
// stopped conversion keeps the WAV.
kelQtConvertResult BLDiskMix_Convert(const std::string& wavPath, uint32_t format,
                                     const kelQtSettingsHandle* settings, bool normalize,
                                     std::string* finalPath = nullptr);

// The synth panel's arpeggiator mix once its save dialog returned: `render`
// (the engine's synth_mix) writes the pattern to `path` given ".wav", behind
// the progress panel without a stop button; the WAV is then converted to the
// export format. A render that left no file, or a failed conversion (the
// WAV is kept), is told once the panel is gone.
BLDiskMixOutcome BLDiskMix_ArpMix(const std::string& path, uint32_t format, const kelQtSettingsHandle* settings,
                                  bool normalize, const std::function<void(const std::string& wav)>& render,
                                  BLDiskMixFeedback& feedback);

// A group's name as a file name: characters that would lead elsewhere
// replaced, never empty.
std::string BLDiskMix_FileNameOf(const char* groupName, int16_t group);
