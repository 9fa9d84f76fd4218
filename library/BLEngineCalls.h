// The engine calls the layers above the engine make (the song library, the
// groove model, the controller, the player, the synth panel): each goes to
// the facade, `gep` (or the engine given), and does nothing while there is
// none. A test's double overrides the calls it wants to see; this is the
// one interface every double of the engine derives from.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "audio/BLEngineTypes.h"
#include "audio/fx/FxCatalog.h"

class BLEngine;
struct blUserLoopSettingsRec;

class BLEngineCalls {
public:
    explicit BLEngineCalls(BLEngine* engine = nullptr) : fixed(engine) {}
    virtual ~BLEngineCalls() = default;

    // A song's loops.
    virtual void stop();
    virtual void setMixerFrequency(long hz);
    virtual void samplesListReset();
    virtual void samplesBpm(float bpm);
    // path in kel form; repeats 0 asks the engine to measure the loop.
    virtual void samplesListAdd(const char* path, short repeats);

    // The groove: sample -1 is no loop.
    virtual void setTrackSample(short track, short sample);
    virtual void setTrackVolume(short track, short volume);
    virtual void setTrackPan(short track, short pan);
    virtual void sync_atGrooveSet(short on);
    // Brackets changes heard together (a play command, a groove).
    virtual void changesBegin();
    virtual void changesEnd();
    // Where synchronised changes land, in beats (32: the cycle).
    virtual void setLaunchGrid(int beats);
    virtual int launchGrid();
    // The groove's effects, landing with its loops.
    virtual void fx_setAll(const FxSetup& setup);
    // One slot set whole, one of its parameters, its bypass (rack 0 .. 7 a
    // track's, 8 the main mix's); what the slot could not take as it was.
    virtual std::vector<FxNote> fx_set(int rack, int slot, const FxSlot& settings);
    virtual void fx_setParam(int rack, int slot, const std::string& param, float value);
    virtual void fx_bypass(int rack, int slot, bool on);
    // Where a change is heard (a take keeps it): output frames given since
    // the playback started; the song frame the track's last change lands on
    // (the boundary it waits for, else the frame mixed next); a change made
    // while no output is made, heard from the output frame returned.
    virtual int64_t framesGiven();
    virtual int64_t trackChangeFrame(int16_t track);
    virtual int64_t atOneFrame(const std::function<void()>& change);
    // Where the output stands (BLEngine::outputPlace), and the next Play's
    // first song frame (a take begun while playing starts in its place).
    virtual BLOutputPlace outputPlace();
    virtual void startSongAt(int64_t frame);
    // A take played back: the output waits at this output frame until the
    // fence moves (-1: none), so the calls due there are heard from it.
    virtual void holdOutputAt(int64_t frame);
    virtual bool outputHeld();

    // Playing.
    virtual void play();
    // The held peaks of a track, reset once read; false when nothing was
    // mixed since the last reading.
    virtual bool takePeaks(int16_t track, int16_t& left, int16_t& right);
    // True, once, when the last stop gave up waiting for the disk.
    virtual bool loaderStalled();
    // Whole beats until the track's waiting loop change is heard; 0 when none waits.
    virtual int16_t trackWaitBeats(int16_t track);
    // Key lock on or off at once, without a gap; false when it cannot be.
    virtual bool setKeyLock(bool on);
    // The user loop as these settings say.
    virtual void setUserLoop(const blUserLoopSettingsRec& settings);

    // The transport.
    virtual void setMixerBpm(float bpm);
    virtual void setMixerVolume(short volume);
    // 0 .. 31; -1 when there is none.
    virtual short getMixerBeat();
    // False once the card the music plays on went away.
    virtual bool outputAlive();
    // Beats heard since playback started, with their fraction; -1 unless running.
    virtual double heardBeats();

    // The synthesizer.
    virtual void synth_SetFolder(const char* folder);
    virtual void synth_Arp(short mode, short speed, const char* notes);
    virtual void synth_Stop();
    virtual void synth_SetPoly(short voices);
    virtual void synth_SetVolume(short volume);
    virtual void synth_SetPan(short pan);
    virtual short synth_NotesLoaded();
    virtual unsigned char synth_mix(const char* path);

protected:
    // The engine the calls go to; null while there is none.
    BLEngine* engine() const;

private:
    BLEngine* fixed;
};
