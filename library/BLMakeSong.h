// A song made from the user's own loops: files or folders of sound files as
// they are (WAV, AIFF, FLAC, Ogg, MP3, any rate, size and channel count,
// subfolders included) become a song folder of the library.
//
// Each loop's tempo and length come from its name ("120bpm", "_120_"), else
// from its length (whole bars at 60 to 200 BPM nearest the most common
// tempo, or as the beats heard in it say); loops without a tempo in their
// names that share a length (within 3 %) are read alike, as the beats of
// most of them say. The song plays at the most common tempo unless one is
// given. Every entry of the folders is named: used, or left out and why
// (hidden, no sound file, a link to a folder, which is not followed ...).
// Loops at another tempo are stretched to it keeping their pitch, loops at
// the song's tempo are copied sample for sample; then each is cut or padded
// to exactly its beats. The user's files are only read: the song gets its
// own copies, written through the careful writer, its description last.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "library/BLLoopTempo.h"

// Why a loop is left out, or why no song can be made: a line of the
// program's message table and the names its "%s" stand for.
struct BLMakeSongWhy {
    int16_t message = 0;  // 0: nothing to say
    std::vector<std::string> names;
};

// The message lines (their English texts are kept here too, for when no
// table is loaded).
enum : int16_t {
    kBLMsgLoopUnreadable = 365,
    kBLMsgLoopTooLong = 366,
    kBLMsgLoopCutShort = 367,
    kBLMsgLoopSilent = 368,
    kBLMsgLoopRate = 369,
    kBLMsgLoopNoFile = 370,
    kBLMsgLoopNoTempo = 371,
    kBLMsgLoopUnderABeat = 372,
    kBLMsgLoopOver32Beats = 373,
    kBLMsgTooManyGroups = 374,
    kBLMsgGroupFull = 375,
    kBLMsgPlanStopped = 376,
    kBLMsgNoSoundFiles = 377,
    kBLMsgNoUsableLoop = 378,
    kBLMsgTempoOutside = 379,
    kBLMsgLoopHidden = 387,
    kBLMsgLoopFolderLink = 388,
    kBLMsgLoopLinkToNothing = 389,
    kBLMsgLoopNotSound = 390,
    kBLMsgFolderUnreadable = 391,
};

// The text of `why` in the user's language: the loaded message table's,
// else the English one.
std::string BLMakeSong_Says(const BLMakeSongWhy& why);

struct BLMadeLoop {
    std::string source;  // system path of the user's file
    std::string name;    // its name without folder and extension
    std::string group;   // the group it goes into
    enum class GroupFrom : int16_t { folder, name, none };
    GroupFrom groupFrom = GroupFrom::none;
    BLLoopTempo tempo;    // its own tempo and bars, and how they were found
    int64_t frames = 0;   // its length at 44,100 frames a second
    double heard = 0;     // the tempo its beats suggest, 0 when none (only looked for without a name's tempo)
    std::string problem;  // why it is left out (in English); empty when it is in the song
    BLMakeSongWhy why;    // the same, for the user
    bool barsChosen = false;  // its bars were chosen by the user, not found
    int sameLength = 0;       // the other loops read with it as one length (0: none)
};

struct BLSongPlan {
    std::string name;  // the song's title and folder name
    int bpm = 0;       // whole beats a minute
    bool tempoGiven = false;
    int loopsBpm = 0;  // the tempo the loops give
    // Written as the song's description; empty: how many loops at what tempo.
    std::string description;
    std::vector<BLMadeLoop> loops;    // every file looked at, in order
    std::vector<std::string> groups;  // of the loops that are in, in order
    // What keeps the song from being made at all; empty when it can be.
    std::string problem;
    BLMakeSongWhy why;
    int usable() const;
};

// Looks at every sound file of `paths` (files, or folders searched through
// their subfolders) and plans the song: each loop's tempo, bars and group,
// and the song's tempo (`tempo` when above 0). Nothing is written.
// `progress` as for BLMakeSong_Write; a stop leaves the plan's problem "stopped".
BLSongPlan BLMakeSong_Plan(const std::vector<std::string>& paths, const std::string& name, int tempo,
                           const std::function<bool(double)>& progress = {});

// The song's tempo changed: `tempo`, or the loops' own when 0. The loops'
// bars stay; what is stretched follows. The plan's problem says when the
// tempo cannot be played.
void BLMakeSong_SetTempo(BLSongPlan& plan, int tempo);
// A loop put into another group, or given other bars (1, 2, 4 or 8: those
// that repeat whole in the 32-beat cycle; its own tempo follows from its
// length). False, with `why`, when the library's limits refuse it.
bool BLMakeSong_SetGroup(BLSongPlan& plan, size_t loop, const std::string& group,
                         BLMakeSongWhy* why = nullptr);
bool BLMakeSong_SetBars(BLSongPlan& plan, size_t loop, int bars);
// The groups a loop may go into: the plan's, then the usual ones.
std::vector<std::string> BLMakeSong_GroupChoices(const BLSongPlan& plan);

// How each loop was understood, one line each: for the terminal and tests.
std::string BLMakeSong_Describe(const BLMadeLoop& loop, int songBpm);

struct BLMakeSongResult {
    bool made = false;
    bool stopped = false;
    std::string folder;   // system path of the song folder made
    std::string problem;  // why it was not made (a loop changed since it was planned is one)
};

// Writes the planned song into `songsFolder` (the library's song folder, a
// system path), under the plan's name or, when it is taken, the first free
// "NAME 2", "NAME 3" ... `progress` is told the share done (0 to 1) and
// stops the making when it returns false; what was written then goes again.
BLMakeSongResult BLMakeSong_Write(const BLSongPlan& plan, const std::string& songsFolder,
                                  const std::function<bool(double)>& progress = {});

// The group a loop's name points to ("kick", "basse", "pad" ...), empty when none.
std::string BLMakeSong_GroupFromName(const std::string& name);
