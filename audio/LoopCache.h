// The loaded song's loops held in memory, as the engine plays them (16-bit
// frames, mono or stereo as in the file), so that no disk read stands
// between a change and its sound: with the song in memory the mixer takes
// each track's frames itself as it mixes, and the loader rests. A song whose
// loops do not fit the budget streams from disk as before.
//
// Threads: filled and cleared by the main thread while playback is stopped;
// the images are only read while it runs.
#pragma once

#include <cstdint>
#include <memory>

struct LoopImage {
    std::unique_ptr<int16_t[]> samples;  // interleaved when stereo
    int32_t channels = 0;
    int32_t frames = 0;
};

// Bytes of loops a song may keep in memory (200 MB unless set).
void LoopCache_SetBudget(int64_t bytes);
// Forgets every image; the next song starts in memory again.
void LoopCache_Clear();
// Reads loop `index` (a samples-list entry) from `path` (kel form). Once the
// song's loops pass the budget, every image goes and the song streams.
void LoopCache_Add(int index, const char* path);
// True while the loaded song plays from memory.
bool LoopCache_Resident();
// The image of entry `index`, null when it has none (no loop, unreadable,
// or the song streams).
const LoopImage* LoopCache_Image(int index);
// Bytes the images hold.
int64_t LoopCache_Bytes();
