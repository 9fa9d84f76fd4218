// Sound in through JACK: the program's input ports ("in_1", "in_2") as the
// loop tuner's source while the sound plays through JACK, and the
// recording in time: a whole number of bars of what a player plays along
// with the groove, from the next bar heard to the bar it ends on. Each
// frame that comes in is placed by when it came into the system (the
// period's time less the ports' capture latency) against the song frame
// heard then (JackOutput_HeardSongFrame): what was played on a beat heard
// lands on that beat. Made at another tempo than the song's, the take is
// brought to the song's tempo, as the song's own loops are, and turned so
// that its first frame is where its bar falls in the loop's period.
//
// Threads: the main thread starts, asks and takes; JACK's process thread
// stores what comes in. The take's block is the main thread's again once
// the take says it is done (or was given up).
#pragma once

#include <cstdint>

class WaveInSource;

// True while the sound plays through JACK unresampled, so that its inputs
// are the ones to record from.
bool JackInput_InUse();
// The source the wave input reads while JACK is in use.
WaveInSource* JackInput_Source();

// A take of `bars` bars (1, 2, 4 or 8) from the next bar heard into
// `block` (room for `capacity` stereo frames). False when JACK's inputs
// are not in use or nothing plays.
bool JackInput_StartTake(int bars, int16_t* block, int32_t capacity);
// Where the take stands: beats of count-in left (0 once it records),
// percent of the take recorded; false once it is done or given up.
bool JackInput_TakeStatus(int* countIn, int* percent);
// Ends the take: the frames of the loop it made in `block` (0 when it
// never began), its period in bars. The caller gets `block` back.
int32_t JackInput_EndTake(int* bars);
// Stereo frames a take of 8 bars needs at the slowest tempo of a song of `songBpm`.
int32_t JackInput_TakeCapacity(int songBpm);
