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
#include <functional>
#include <string>
#include <vector>

#include "audio/BLEngineTypes.h"
#include "audio/fx/FxCatalog.h"
#include "audio/fx/FxSettings.h"
#include "platform/PlatJack.h"

struct MixPlan;

// The engine's playback: stopped; armed at the song's tempo, the output not
// started yet; or running, the output playing and the clock moving (from
// the first loop of a playback, or the end of a play command, to the stop).
enum class BLEngineState { stopped, armed, running };

// The user loop as the stage holds it.
struct BLUserLoopState {
    int32_t frames = 0;  // 0: no user loop
    int16_t channels = 2;
    int32_t regionEnd = 0;  // frame after the last one that sounds
    int16_t bars = 0;       // its period
    bool sounding = false;  // the mixer plays it
    // Counts the loops the stage has taken (recorded, loaded or let go):
    // a new loop of the same length is told from the last one by it.
    uint32_t serial = 0;
};

class BLEngine {
public:
    int16_t playing = 0;
    int16_t syncAtGrooveSet = 0;
    // The song's loops are read into memory as they are added, so that a
    // change is heard at once (off for renders, which stream).
    bool loopsInMemory = true;

    // Starts the engine (loader thread, synthesizers, user-loop stage):
    // master volume 63, samples list empty, rate 44100 Hz. exit() lets go
    // of the song's loops held in memory too; exit() then init() restarts
    // it with an empty samples list.
    void init();
    void exit();

    void play();
    void stop();
    BLEngineState state() const;

    void setMixerVolume(short volume);
    void setMixerBpm(float bpm);
    // The mix tempo as a link paces it to keep the beat on another's: it may
    // run a little past the window's end (kMixPaceRoom).
    void paceMixerBpm(float bpm);
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
    // Where what is mixed stands: output frames given since this playback
    // started (at the mix tempo), and the song frame mixed next.
    int64_t framesGiven() const;
    int64_t songFrame() const;
    // The song frame the track's last change is heard from: the boundary a
    // waiting one lands on, else the song frame mixed next.
    int64_t trackChangeFrame(short track) const;
    // Runs the change while no output is made (playing), so that it is
    // heard exactly from framesGiven() as it was then, which is returned.
    // Never a play or a stop: they wait for the output.
    int64_t atOneFrame(const std::function<void()>& change);
    // Where the output stands now (BLOutputPlace); the song frame is exact
    // when the key lock is off, else the block mixed next.
    BLOutputPlace outputPlace() const;
    // The next Play starts its timeline at this song frame (a block's), not
    // at the top: a take begun while playing plays back in its place in the bars.
    void startSongAt(int64_t frame);
    // The output stops at this output frame (framesGiven) until the fence
    // moves: the calls made meanwhile are heard exactly from it. -1: none.
    void holdOutputAt(int64_t frame);
    // The output waits at the fence now.
    bool outputHeld() const;
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
    // Before the first init(): the sound card plays even while a JACK
    // server runs (the command line's --no-jack); or the JACK client is
    // opened now, false when it cannot be (jackMissing() says why).
    static void forgoJack();
    static bool openJack();
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

    // Effects. Rack 0 to 7 is a track's, after its loop and before its
    // volume and pan; kFxMain the main mix's, before the main volume; each
    // has two slots, 0 heard first. A slot is set whole (an empty effect
    // empties it); while sync_atGrooveSet is on, playing, the change is
    // heard from the next launch boundary, as the loops' are, else at
    // once. The same effect keeps running and glides to its new values;
    // another crosses over from the old. What the settings held that could
    // not be taken (an effect or plugin not there, a value out of range, a
    // state that cannot be read) is returned; the settings are kept as they
    // came all the same, so that fx_get gives them back whole.
    std::vector<FxNote> fx_set(int rack, int slot, const FxSlot& settings);
    std::vector<FxNote> fx_setAll(const FxSetup& setup);
    // One parameter by its name at once (false: no such slot or
    // parameter), the bypass, an emptied slot.
    bool fx_setParam(int rack, int slot, const std::string& param, float value);
    void fx_bypass(int rack, int slot, bool on);
    void fx_clear(int rack, int slot);
    // The slot as set, with a plugin's own state as it is now.
    FxSlot fx_get(int rack, int slot);
    FxSetup fx_getAll();
    // The main loop's round: frees the units the mixer let go of and sends
    // the values that waited. Each fx_ call makes it too.
    void fx_service();
    // The built-in effects, and the LV2 plugins installed (the first call
    // waits for the search init() started).
    static const std::vector<FxEffectInfo>& fx_builtins();
    static const std::vector<FxEffectInfo>& fx_plugins();

    // 0: the caller copies the file itself.
    short copyAudioFile(const char* source, const char* target);
    // Renders the mix script at scriptPath into a WAV file; both paths in
    // kel form. kQualMixWritten, kQualMixFailed or kQualMixStopped
    // (audio/QualMix.h). A plan with effects runs them as the live chain does.
    int mixToDisk(const char* wavPath, const char* scriptPath, const MixPlan* plan = nullptr);

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
    // The next recording's bars in time with the groove, where the sound
    // plays through JACK and the groove plays (0: free length); the beats
    // of count-in left (-1: no take in time under way).
    void userLoop_recordBars(short bars);
    int userLoop_countIn();
    unsigned char userLoop_save(const char* path);
    // Whether a capture device exists to record from.
    unsigned char userLoop_canRecord();
    // Why the last userLoop_recordStart failed (a plat::CaptureProblem; 0 when
    // it did not), and the system's own words.
    int userLoop_recordProblem(std::string* text);
    // Frames a save writes: one period at the tempo the song last played
    // with the user loop; 0 before that.
    int64_t userLoop_periodFrames();
    BLUserLoopState userLoop_state();

private:
    // Where the last synchronised loop change of each track is first heard.
    int64_t waitUntil[8] = {};
    bool placed = false;  // the timeline of this playback was placed
};

extern BLEngine* gep;
