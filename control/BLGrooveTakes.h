// The controller's own: the recorder of takes. Every engine call of the
// controller and the groove model passes through its tap, and while a take
// records the player's too: each call that sounds is kept with the output
// frame it is heard from and the song frame it lands on, made while no
// output is made so that frame is exact.
#pragma once

#include <functional>
#include <string>

#include "control/BLGrooveController.h"
#include "library/BLTake.h"

// Engine calls on their way to `inner`, kept in the recorder's take while
// one records.
class BLTakeTap : public BLEngineCalls {
public:
    BLTakeTap(BLGrooveController::Takes& owner, BLEngineCalls* inner) : takes(owner), to(inner) {}
    void setInner(BLEngineCalls* inner) { to = inner; }
    BLEngineCalls* inner() const { return to; }

    void stop() override;
    void setMixerFrequency(long hz) override { to->setMixerFrequency(hz); }
    void samplesListReset() override { to->samplesListReset(); }
    void samplesBpm(float bpm) override { to->samplesBpm(bpm); }
    void samplesListAdd(const char* path, short repeats) override { to->samplesListAdd(path, repeats); }
    void setTrackSample(short track, short sample) override;
    void setTrackVolume(short track, short volume) override;
    void setTrackPan(short track, short pan) override;
    void sync_atGrooveSet(short on) override;
    void changesBegin() override;
    void changesEnd() override;
    void setLaunchGrid(int beats) override;
    int launchGrid() override { return to->launchGrid(); }
    void fx_setAll(const FxSetup& setup) override;
    std::vector<FxNote> fx_set(int rack, int slot, const FxSlot& settings) override;
    void fx_setParam(int rack, int slot, const std::string& param, float value) override;
    void fx_bypass(int rack, int slot, bool on) override;
    int64_t framesGiven() override { return to->framesGiven(); }
    int64_t trackChangeFrame(int16_t track) override { return to->trackChangeFrame(track); }
    int64_t atOneFrame(const std::function<void()>& change) override { return to->atOneFrame(change); }
    BLOutputPlace outputPlace() override { return to->outputPlace(); }
    void startSongAt(int64_t frame) override { to->startSongAt(frame); }
    void holdOutputAt(int64_t frame) override { to->holdOutputAt(frame); }
    bool outputHeld() override { return to->outputHeld(); }
    void play() override;
    bool takePeaks(int16_t track, int16_t& left, int16_t& right) override
    {
        return to->takePeaks(track, left, right);
    }
    bool loaderStalled() override { return to->loaderStalled(); }
    int16_t trackWaitBeats(int16_t track) override { return to->trackWaitBeats(track); }
    bool setKeyLock(bool on) override;
    void setUserLoop(const blUserLoopSettingsRec& settings) override { to->setUserLoop(settings); }
    void setMixerBpm(float bpm) override;
    void setMixerVolume(short volume) override;
    short getMixerBeat() override { return to->getMixerBeat(); }
    bool outputAlive() override { return to->outputAlive(); }
    double heardBeats() override { return to->heardBeats(); }
    void synth_SetFolder(const char* folder) override;
    void synth_Arp(short mode, short speed, const char* notes) override;
    void synth_Stop() override;
    void synth_SetPoly(short voices) override;
    void synth_SetVolume(short volume) override;
    void synth_SetPan(short pan) override;
    short synth_NotesLoaded() override { return to->synth_NotesLoaded(); }
    unsigned char synth_mix(const char* path) override { return to->synth_mix(path); }

    // The tracks' changes still waiting for their boundary at song frame
    // `now`: the values heard until then go into the start, and the
    // changes become the take's first calls, to wait for it again.
    void waitingAt(int64_t now, BLTakeStart& start, std::vector<BLTakeCall>& calls) const;

private:
    // Makes the call, kept when a take records.
    void made(BLTakeCall call, int16_t track, const std::function<void()>& make);

    // A track's loop, volume and pan as last set, where each lands, and the
    // one before: what is heard while the last waits.
    struct Set {
        int16_t value = 0;
        int64_t heard = -1;
    };
    struct TrackSets {
        Set last[3], before[3];
    } sets[kBLTakeTracks];

    BLGrooveController::Takes& takes;
    BLEngineCalls* to;
};

class BLGrooveController::Takes {
public:
    explicit Takes(BLGrooveController& c);
    ~Takes();
    Takes(const Takes&) = delete;
    Takes& operator=(const Takes&) = delete;

    // The controller's and the model's engine calls.
    BLEngineCalls& calls() { return controllerTap; }
    bool lit() const { return armed; }
    bool keeping() const { return armed; }
    void arm();
    // The take ends at `frames` output frames (ended by Record or Stop).
    void end(int64_t frames);
    // Ends the take at the frame heard now.
    void endNow();
    // The output frame a call made now is heard from, counted from the take's start.
    int64_t frameOf(int64_t given) const;
    // The generic hook: a call kept as made now, heard from `at` (the
    // effects' actions keep theirs through it).
    void keep(BLTakeCall call);
    // A play or a stop went through a tap.
    void played() { playedYet = true; }

    // A take played back (`index` in the document's list).
    void playBack(const BLTake& t, int16_t index);
    // The controller's pass: the calls due where the output waits.
    void serveBack();
    // Any playback of a take ends here (the engine stops or plays another way).
    void endBack();
    int16_t backIndex() const { return backOn ? back.index : -1; }

private:
    BLGrooveController& controller;
    BLTakeTap controllerTap;
    BLTakeTap playerTap;
    BLEngineCalls* playerWas = nullptr;
    bool armed = false;
    bool playedYet = false;
    int64_t origin = 0;
    BLTake take;

    struct Back {
        BLTake take;
        int16_t index = -1;
        size_t next = 0;
    } back;
    bool backOn = false;
    // The output frame the fence waits at: the next call's, or the end.
    int64_t backDue() const;
    // A call played back, made and told to the program's link as a track's
    // loop, volume or pan changed live is.
    void replay(const BLTakeCall& c);
    void tell(const BLTakeCall& c);
};
