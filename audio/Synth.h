// The sample-playback synthesizer and its arpeggiator: the live instance
// that the mixer renders into every block and the copy that renders an
// arpeggio to a file. Both share the 36 note samples.
//
// A sound is a folder of 36 WAV files, one recorded note per semitone
// ("c2.wav" ... "b4.wav"); a note is never transposed. The arpeggiator walks
// a note list ("c1e1g1", a rest is two blanks) one entry per step, every step
// on the speed-fold subdivision of the song's beat.
//
// Times are frames of the song-tempo timeline, taken as 64-bit values.
//
// Threads: the mixer renders RealtimeSynth on the output timer thread under
// the device lock; the Realtime calls change it from the main thread under
// the same lock (audio/Winaudio.h, MixerLock): the facade holds it around
// the quick ones, RealtimeSetSynth reads its files first and takes the lock
// only to swap them in, RealtimeSynthMix only to copy the live instance.
// The renderers allocate nothing. Paths are kel paths (the engine's file
// layer takes them).
#pragma once

#include <cstdint>

constexpr int kSynthNotes = 36;
constexpr int kSynthVoices = 16;
constexpr int kSynthListSize = 2048;
// A note file longer than this is cut: a sound is short notes, not songs.
constexpr int32_t kSynthNoteMaxFrames = 44100 * 20;

struct SYNTHDATA {
    int16_t* samples;  // null = no data, the note is silent
    int32_t channels;  // 1 mono, anything else interleaved stereo
    int32_t frames;
};

struct SYNTHVOICE {
    int64_t start;  // timeline frame the note began, -1 = free
    int32_t note;   // note index, -1 = rest
};

struct SYNTHETIZER {
    SYNTHDATA* data;
    SYNTHVOICE voices[kSynthVoices];
    int32_t poly;      // voices 0 .. poly - 1 are used, 1 to 16
    int32_t arpMode;   // 0 off, 1 up, 2 down, 3 random, 4 up/down rising, 5 falling
    int64_t nextStep;  // timeline frame of the next step, -1 = none
    int32_t speed;     // steps per beat
    char notes[kSynthListSize];
    int32_t pos;  // index in notes of the entry the current step played
    int32_t volume;
    int32_t pan;  // 0 to 127, 64 centre
    int32_t beatFrames;
    uint32_t randomState;  // the random direction's own generator
};

extern SYNTHDATA SynthSamps[kSynthNotes];
extern SYNTHETIZER RealtimeSynth;
extern SYNTHETIZER RenderSynth;

// The note file of index 0 to 35 ("c2.wav" ... "b4.wav"); "" outside.
const char* SynthNoteFile(int index);
// The note index an entry of a note list names: (octave - 1) x 12 + semitone,
// so "c1" is 0 and "a#2" is 22; -1 for a rest (an entry that does not begin
// with a letter a to g). Octave digits other than 1 to 3 lie outside the 36
// notes.
int SynthNoteIndex(const char* entry);

int InitSynth(SYNTHETIZER* s, SYNTHDATA* d);
// Every voice free, pos 0, no step due; mode, list and levels kept.
int InitSynthFStop(SYNTHETIZER* s, SYNTHDATA* d);
int FreeSynth(SYNTHDATA* d);
// Loads the 36 notes of a sound folder (ending in ':'); a note whose file
// cannot be read stays silent.
int SetSynth(SYNTHDATA* d, const char* folder);
int SetSynthBPM(SYNTHETIZER* s, int frames);
int SetSynthPoly(SYNTHETIZER* s, int n);
int SetSynthVolume(SYNTHETIZER* s, int v);
int SetSynthPan(SYNTHETIZER* s, int p);
// mode 0 up, 1 down, 2 random, 3 up/down. Switched on from off, the first
// step sounds at `time`; already on, the new list takes over at the step due.
int ArpeggiatorOn(SYNTHETIZER* s, int mode, int speed, const char* notes, int64_t time);
int ArpeggiatorOff(SYNTHETIZER* s);
// One step at timeline frame `time`: move, play, schedule the next.
int ArpeggiatorSync(SYNTHETIZER* s, int64_t time);
// Starts the note (or rest) the entry names on the oldest voice.
int SynthSetNote(SYNTHETIZER* s, const char* entry, int64_t time);
// Adds n frames of the synthesizer for timeline frames time ... into the
// accumulators, scaled by level (the master volume, 0 to 128).
int SynthFloatRender(SYNTHETIZER* s, float* outL, float* outR, int64_t time, float level, int n);
// The same into interleaved 16-bit stereo: products truncated, sums wrap.
int SynthRender(SYNTHETIZER* s, int16_t* out, int64_t time, float level, int n);
// The two gains of a volume, pan and master level.
void SynthGains(int volume, int pan, float level, float* left, float* right);

// The live instance, as the facade drives it.
int RealtimeSetSynth(const char* folder);
int RealtimeArpeggiatorOn(int mode, int speed, const char* notes);
int RealtimeArpeggiatorOff();
int RealtimeSetSynthPoly(int n);
int RealtimeSetSynthPan(int p);
int RealtimeSetSynthVolume(int v);
// Notes of the loaded sound that have sound (0: none loaded, or the engine
// was restarted since).
int RealtimeSynthNotesLoaded();
// Renders 32 beats of the arpeggio to a WAV file; bytes of sample data
// written, 0 when the arpeggiator is off or the file cannot be written.
int RealtimeSynthMix(const char* path);
