// One song's description in memory: its samples sorted into instrument groups,
// its tempo and texts, its random sets and its styles. Read from a BLS
// description in either of its two versions.
//
// Limits: 32 groups of 64 slots, 8 random sets of 8 groups, 4 styles of 32
// columns and 64 rows. A description that goes beyond them loads safely:
// texts are cut to their fields, excess groups, slots, sets, columns and rows
// are dropped (their lines still read, so the reading stays in step), and
// numbers are brought into their ranges.
#pragma once

#include <cstdint>
#include <string>

#include "core/kelFiles.h"
#include "library/BLEngineCalls.h"

class BLBlsParser;

// The first word of a version 1.2 description's first line.
constexpr char kBLSFormatKeyword[] = "SONGFORMAT:";

constexpr int kBLMaxGroups = 32;
constexpr int kBLMaxSlots = 64;
constexpr int kBLMaxRandomSets = 8;
constexpr int kBLRandomSetSize = 8;
constexpr int kBLMaxStyles = 4;
constexpr int kBLStyleColumns = 32;
constexpr int kBLStyleRows = 64;
constexpr int kBLStyleTracks = 8;
constexpr int kBLNameSize = 32;   // group names, file words, labels, style names
constexpr int kBLTitleSize = 64;  // titles, folder and library names, set names, ARPNOTE
constexpr int kBLDescriptionSize = 2048;
constexpr uint16_t kBLNoSample = 0xFFFF;
// A song tempo outside 1 .. this is damage, not music.
constexpr int16_t kBLMaxSongBpm = 999;
// Sample ids run below this; further sample lines are not read.
constexpr int kBLMaxSampleLines = 0x7FFF;

struct BLSongGroup {
    char name[kBLNameSize];
    int16_t count;  // slots 0 .. count - 1 in use
    char file[kBLMaxSlots][kBLNameSize];
    char label[kBLMaxSlots][kBLNameSize];
    uint16_t id[kBLMaxSlots];  // kBLNoSample: an empty slot
    int16_t volume[kBLMaxSlots];
    int16_t pan[kBLMaxSlots];      // 0 .. 126; a track takes pan - 63
    int16_t repeats[kBLMaxSlots];  // 1 .. 32: how often the loop fits into 32 beats
    // Set when the song opened: the loop's file cannot be read, so the slot
    // plays nothing and a track that takes it shows no loop.
    uint8_t unreadable[kBLMaxSlots];
};

struct BLRandomSet {
    int16_t count;
    int16_t groups[kBLRandomSetSize];  // -1: none
    char name[kBLTitleSize];
};

struct BLStyle {
    int16_t columns[kBLStyleColumns];            // group per column, -1: unknown group
    int16_t rows[kBLStyleRows][kBLStyleTracks];  // column per track, -1: silent
    int16_t columnCount;
    int16_t rowCount;
    char name[kBLNameSize];
};

class BLSongLibrary {
public:
    // Where load found the description.
    enum class Source : int16_t { none, programStore, songFolder, infoFile, sharedStore };
    // How the reading of the description ended.
    enum class Reading : int16_t { complete, noFormatLine, damaged };

    BLSongLibrary();

    // folder: the song folder's kel path, ending in ':'.
    bool load(const char* folder);
    bool load_12(BLBlsParser* parser, const char* folder);
    bool load_10(BLBlsParser* parser, const char* folder);

    void addGroup(const char* name);
    int16_t getGroupIndex(const char* name) const;
    void add(const char* file, int16_t id, const char* label, int16_t volume, int16_t pan, int16_t repeats);
    const char* getIndexStr(int16_t group, int16_t slot) const;
    const char* getGroupStr(int16_t group);
    const char* getGroupAndIndex(uint16_t id, int16_t* group = nullptr, int16_t* slot = nullptr) const;
    // The slot's sample id; kBLNoSample when group or slot is not in use, or
    // its loop cannot be read.
    uint16_t sampleId(int16_t group, int16_t slot) const;
    // The description's tempo can be played: 1 to kBLMaxSongBpm.
    bool tempoUsable() const { return bpm >= 1 && bpm <= kBLMaxSongBpm; }
    // True when the slot holds a sample.
    bool hasSlot(int16_t group, int16_t slot) const;

    // The second half of opening a song, after the engine was stopped and the
    // description loaded from `folder`: the engine's samples list filled in
    // sample id order, then the loops of the song's "User:" folder filed into
    // a "User" group and added for the engine to measure. Loops in a form
    // the engine does not read are converted (library/BLLoopCache.h); those
    // that cannot be read at all are marked and named in unreadableLoops.
    void fillSamplesList(const char* folder, BLEngineCalls& engine);
    // The file names of the loops the last fillSamplesList could not read.
    std::string unreadableLoops;

    // 0 when equal ignoring the case of A-Z, else 1.
    static int strcasecmp(const char* a, const char* b);

    BLSongGroup groups[kBLMaxGroups];
    char noneText[kBLNameSize];
    int16_t groupCount;
    BLRandomSet randomSets[kBLMaxRandomSets];
    int16_t randomSetCount;
    BLStyle styles[kBLMaxStyles];
    int16_t styleCount;
    int16_t bpm;
    char arpNotes[kBLTitleSize];
    char title[kBLTitleSize];
    char folderName[kBLTitleSize];
    char libraryName[kBLTitleSize];
    char description[kBLDescriptionSize];
    char parserVersion[kBLNameSize];
    int16_t songMix;
    int16_t categoryCount;
    int16_t sampleCount;
    bool headerOnly;

    // Where the last load found its description, its path, and how its
    // reading ended (for the inspector and for tests).
    Source source;
    char descriptionPath[kKelPathMax + 1];
    Reading reading;

private:
    // Empties everything a load fills (header-only mode stays).
    void clear(const char* folder, const char* version);
};
