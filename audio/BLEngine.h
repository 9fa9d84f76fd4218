// The engine facade: every panel drives the audio engine through the one
// BLEngine instance `gep`. It speaks the panels' vocabulary (tracks 0 to 7,
// sample numbers from 0, -1 = none, pan centred on 0, tempo as a float) and
// turns it into the lower layer's (tracks 1 to 8, loop numbers from 1, pan 0
// to 127, tempo in thousandths of a beat per minute). It owns the samples
// list (audio/Vtrack.h).
//
// Threads: every call is made on the main thread; the facade adds no thread,
// lock or queue of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/OVTrack.h"
#include "platform/PlatJack.h"

struct blUserLoopSettingsRec;

class BLEngine {
public:
    int16_t playing = 0;
    int16_t syncAtGrooveSet = 0;
    // The song's loops are read into memory as they are added, so that a
    // change is heard at once (off for renders, which stream).
    bool loopsInMemory = true;

    // Starts the engine (loader thread, synthesizers, user-loop stage):
    // master volume 63, samples list empty, rate 44100 Hz. exit() then
    // init() restarts it with an empty samples list.
    void init();
    void exit();

    void play();
    void stop();

    void setMixerVolume(short volume);
    void setMixerBpm(float bpm);
    void setMixerFrequency(long hz);
    // Key lock: the mix tempo changes the tempo and not the key. Takes
    // effect at once, playing or not, without a gap; false when it cannot
    // be had (it stays off then).
    bool setKeyLock(bool on);
    bool keyLock() const;
    // The beat 0 to 31 within the cycle being heard, -1 unless running
    // (signed on every platform).
    int8_t getMixerBeat();
    // Beats since playback started, as far as the mixer has reached, with
    // their fraction (the network link keeps two instances in step by it);
    // -1 unless running.
    double getMixerPosition();

    void samplesListReset();
    // path in kel form; repeats 0 = measure the loop against the song tempo.
    void samplesListAdd(const char* path, short repeats);
    // Sets the song tempo and arms the engine at it, whatever it was armed
    // at before (a song loaded while stopped included).
    void samplesBpm(float bpm);

    void setTrackSample(short track, short sample);
    // A loop change of the track waits for the next launch boundary and is
    // not heard yet.
    bool trackWaiting(short track) const;
    // Whole beats until the waiting change is heard (rounded up), 0 when none waits.
    int trackWaitBeats(short track) const;
    // Where synchronised changes land: every `beats` beats (1, 4, 8, 16 or
    // 32, the cycle).
    void setLaunchGrid(int beats);
    int launchGrid() const;
    // The sound card ("" the system's default) and its period in frames
    // (128 to 4096), for the card opened from now on: a playing card keeps
    // its own until the next Play. A card that is gone gives the default.
    void setOutput(const std::string& card, int periodFrames);
    std::string outputCard() const;
    int outputFrames() const;
    // The cards the system offers, by name.
    static std::vector<std::string> outputCards();
    // False once the card the music plays on went away (unplugged), or the
    // JACK server it played through shut down.
    bool outputAlive() const;
    // Whether playbacks go through JACK (a server ran at init() and still
    // runs); why not, in plain words; its rate and period.
    static bool outputIsJack();
    static bool jackGone();  // it played through JACK until the server shut down
    static std::string jackMissing();
    static int jackRate();
    static int jackPeriodFrames();
    static plat::JackTransport jackTransport();
    // Beats into the transport's count, at `bpm` when it gives no bars and beats.
    static double jackBeats(const plat::JackTransport& t, float bpm);
    // The next Play starts `beats` into the JACK transport's count, in phase
    // with it; once after its first period, the groove's frame first heard
    // and the transport's frame it was heard at.
    void placeStart(double beats);
    // The next Play is heard from `heardAtMs` (plat::monotonicMs) on, where
    // the output can place it so (JACK); false where it cannot.
    bool placeStartAt(double heardAtMs);
    static bool takePlacement(int64_t& grooveFrame, int64_t& transportFrame);
    void setTrackVolume(short track, short volume);
    // -63 (left) to +63 (right), 0 = centre.
    void setTrackPan(short track, short pan);
    void sync_atGrooveSet(short on);
    // Bracket one batch of changes (they nest). The first loops of a
    // playback chosen inside start together when the outermost bracket
    // ends, with the volumes, pans, tempo and master volume sent inside it;
    // the player brackets its whole play command.
    void changesBegin();
    void changesEnd();
    // True, once, after a stop that had to give up waiting for the loader
    // (a loop file's read did not return).
    bool loaderStalled();
    // Addresses of the track's held peaks: -1 means nothing was mixed since
    // the caller last wrote -1 there.
    void getTrackPeaks(short track, ttPeak** left, ttPeak** right);

    // 0: the caller copies the file itself.
    short copyAudioFile(const char* source, const char* target);
    // Renders the mix script at scriptPath into a WAV file; both paths in
    // kel form. kQualMixWritten, kQualMixFailed or kQualMixStopped
    // (audio/QualMix.h).
    int mixToDisk(const char* wavPath, const char* scriptPath);

    void synth_SetFolder(const char* folder);
    void synth_Arp(short mode, short speed, const char* notes);
    void synth_Stop();
    void synth_SetPoly(short voices);
    void synth_SetVolume(short volume);
    void synth_SetPan(short pan);
    // Notes of the sound the engine holds: 0 after a restart of the engine.
    short synth_NotesLoaded();
    // Renders 32 beats of the arpeggio to a WAV file (kel path); 1 when the
    // file was written, 0 when the arpeggiator is off, no song tempo is set
    // or the file cannot be written.
    unsigned char synth_mix(const char* path);

    unsigned char userLoop_load(const char* path);
    void userLoop_params(blUserLoopSettingsRec* settings);
    unsigned char userLoop_recordStart();
    void userLoop_recordStop();
    void userLoop_recordReset();
    unsigned char userLoop_recordStatus(short* percent, short* level);
    unsigned char userLoop_save(const char* path);
    // Whether a capture device exists to record from.
    unsigned char userLoop_canRecord();
    // Why the last userLoop_recordStart failed (a plat::CaptureProblem; 0 when
    // it did not), and the system's own words.
    int userLoop_recordProblem(std::string* text);
    // Frames a save writes: one period at the tempo the song last played
    // with the user loop; 0 before that.
    int64_t userLoop_periodFrames();

private:
    // Where the last synchronised loop change of each track is first heard.
    int64_t waitUntil[8] = {};
    bool placed = false;  // the timeline of this playback was placed
};

extern BLEngine* gep;
