// A disk mix: the song sequence rendered by the engine's offline mixdown
// into one file, or one file per instrument group into a folder (stems),
// then converted to the export format. The groove panel runs it behind the
// progress panel; `beatloom --render` runs it with a bar on the terminal.
//
// Every file goes through the careful writer (platform/PlatFiles.h): a file
// appears whole or not at all, an older one of its name stays until then,
// and nothing but the files named as targets is ever created, replaced or
// removed. A conversion's source is a temporary of the writer's beside its
// target, never a WAV file under a name of the user's; stems write the
// groups' files alone and leave everything else in their folder as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/BLWriteReason.h"
#include "core/kelQt.h"

class BLEngine;
struct BLSequence;
struct MixPlan;
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
constexpr int16_t kBLMsgMixFailed = 181;  // "%s" the reason, "%s" what was kept
constexpr int16_t kBLMsgNothingToMix = 182;
constexpr int16_t kBLMsgScriptNotWritten = 184;
constexpr int16_t kBLMsgNormalizing = 185;
// Why a file could not be written, and what is left: core/BLWriteReason.h.
constexpr int16_t kBLMsgKeptStems = 200;
// Stems whose files are in the folder already: the question and its answers.
constexpr int16_t kBLMsgStemsExist = 201;
constexpr int16_t kBLMsgOverwrite = 202;
constexpr int16_t kBLMsgChooseFolder = 203;
constexpr int16_t kBLMsgReasonFormat = 204;
// A mix finished: what was written, and the way to it.
constexpr int16_t kBLMsgWritten = 352;       // "%s" the file, "%s" m:ss
constexpr int16_t kBLMsgWrittenStems = 353;  // "%s" how many, "%s" the folder, "%s" m:ss
constexpr int16_t kBLMsgOpenFolder = 354;
constexpr int16_t kBLMsgOk = 355;
constexpr int16_t kBLMsgNoFolderOpener = 356;

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
    // The same with texts for the message's "%s" (UTF-8 or 8-bit).
    virtual void notify(int16_t n, const std::vector<std::string>&) { notify(n); }
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
    int quality = 0;         // kQualMixClassic or kQualMixHigh
    bool keyLock = false;    // stretched to the tempo, the key kept
    bool overwrite = false;  // stems: group files already in the folder are replaced
    // When given, renders each file (a WAV at the kel path, the plan its
    // grooves) instead of the offline mixdown: the live chain run offline.
    // A kQualMix result.
    std::function<int(const std::string& wav, const MixPlan& plan)> render;
    // When given, a take is mixed instead of the sequence, into one file:
    // `takeFrames` long, rendered as it was heard (a WAV at the kel path).
    // A kQualMix result.
    std::function<int(const std::string& wav)> renderTake;
    int64_t takeFrames = 0;
};

struct BLDiskMixOutcome {
    std::vector<std::string> files;  // kel paths of the files written, in order
    bool stopped = false;
    bool failed = false;                // a render, a conversion or the folder failed (the person was told)
    bool conversionFailed = false;      // of which a conversion
    bool nothingToMix = false;          // no track line anywhere
    std::vector<std::string> inTheWay;  // stems refused: the group files already there (nothing written)
    int16_t reason = 0;                 // the failure's reason (kBLMsgReason...)
    std::string detail;                 // the system's own words, for kBLMsgReasonOther
    int64_t frames = 0;                 // the mix's length at 44,100 frames a second (the longest stem)
};

BLDiskMixOutcome BLDiskMix_Run(const BLDiskMixJob& job, BLEngine& engine, BLDiskMixFeedback& feedback);

// The files a disk mix writes, kel paths in group order (one for a one-file
// target): what it replaces, if they are there. Empty when nothing would be
// mixed.
std::vector<std::string> BLDiskMix_Targets(const BLDiskMixJob& job);
// Those of them that are there already.
std::vector<std::string> BLDiskMix_InTheWay(const BLDiskMixJob& job);

// The reason message for an error number of the system (errno).
int16_t BLDiskMix_ReasonOf(int error);

// The synth panel's arpeggiator mix once its save dialog returned: `render`
// (the engine's synth_mix, true when it wrote the file) writes the pattern
// as a WAV file, behind the progress panel without a stop button: straight
// to `path` given ".wav", or to a temporary converted to the export format
// under `path` given that format's extension. A render that left no file,
// or a failed conversion, is told once the panel is gone, with its reason.
BLDiskMixOutcome BLDiskMix_ArpMix(const std::string& path, uint32_t format,
                                  const kelQtSettingsHandle* settings, bool normalize,
                                  const std::function<bool(const std::string& wav)>& render,
                                  BLDiskMixFeedback& feedback);

// The file a mix to `path` writes: `path` with the format's extension.
std::string BLDiskMix_TargetOf(const std::string& path, uint32_t format);

// A group's name as a file name: characters that would lead elsewhere
// replaced, never empty.
std::string BLDiskMix_FileNameOf(const char* groupName, int16_t group);
