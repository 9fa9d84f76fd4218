// The samples list: the loop files of the loaded song, numbered in the order
// they were added. The track layer plays entry L for loop number L + 1; the
// facade's sample number is the entry's index.
//
// Threads: filled by the main thread while playback is stopped. The loader
// reads entries through VTrackLoop, which takes the list's own lock, so an
// entry is never seen half written even by a caller that breaks that rule.
#pragma once

#include <cstdint>

constexpr int kMaxVTracks = 512;
constexpr int kVTrackPathSize = 248;  // a path of at most 247 characters

struct VTRACK {
    // The loop's absolute path in kel form ("home:me:loop.wav"), as OpenWave
    // takes it; empty = no loop.
    char path[kVTrackPathSize];
    int32_t beats;       // period in beats, 1 to 32 once added
    int32_t extraBeats;  // beats added to the period (0 for every song loop)
};

extern VTRACK VTracks[kMaxVTracks];
// Loops added since the last reset. It keeps counting past 512 so that the
// numbers of the loops added stay what the caller counted; entries exist
// only below 512, and numbers beyond name no loop.
extern int32_t NumVTracks;
// The loaded song's own tempo in whole beats per minute.
extern int32_t SongBPM;

void SetSongBPM(int bpm);
void ResetSongVTracks();
// Adds `path` as the next entry. repeats is how often the loop fits into
// 32 beats (0 = measure the file against SongBPM); extra (0 to 8) adds
// 4 x extra beats to the period. An entry is added whatever happens, so the numbering
// stays aligned with the caller's count: a path too long for the table
// becomes an entry with no loop, and a period that the rules leave at 0
// beats or above 32 becomes 32 beats (at least 1).
void AddSongVTrack(const char* path, int repeats, int extra);

// Copies entry `index` (0 to 511): its path into `path` (kVTrackPathSize
// bytes) and its period. False, with path empty, when the entry holds no loop.
bool VTrackLoop(int index, char* path, int32_t* beats, int32_t* extraBeats);
