// The one transport of the program: groove play and sequence play, the beat
// position, the tempo within its window around the song's tempo, tap tempo
// and the main volume. It owns no sound: it drives the engine and shows its
// state on the panel that displays the transport.
#pragma once

#include <cstdint>

#include "control/BLJackFollow.h"
#include "library/BLEngineCalls.h"

class BLPlayCommon;
class kelPanel;

// What the player asks of the groove (the controller).
class BLPlayerGroove {
public:
    virtual ~BLPlayerGroove() = default;
    // On: the engine plays and the audible tracks get their loops; off: stops.
    virtual void setPlayMode(bool on) = 0;
    // Makes the selected sequence entry's groove current and plays it.
    virtual void onItem_seq_Play() = 0;
    // A start the groove's session holds for its next bar (Link): true when held.
    virtual bool holdStart() { return false; }
    // A stop while a start is held lets it go.
    virtual void dropHeldStart() {}
};

// What the player asks of the synth panel.
class BLPlayerSynth {
public:
    virtual ~BLPlayerSynth() = default;
    virtual void playerSaidPlay() {}
};

// The player's engine calls are the one interface of them all.

class BLPlayer;

// Follows the player on each of its passes (the MIDI clock).
class BLPlayerClock {
public:
    virtual ~BLPlayerClock() = default;
    virtual void playerPass(BLPlayer& player, double heardBeats) = 0;
};

class BLPlayer {
public:
    BLPlayer();

    // The panels and services the player talks to; any may be null.
    void setGroovePanel(BLPlayCommon* display, BLPlayerGroove* groove);
    void setVMixPanel(BLPlayCommon* display);
    void setSynth(BLPlayerSynth* synth);
    void setEngine(BLEngineCalls* engine);
    BLEngineCalls* engineCalls() const { return engine; }
    void setClock(BLPlayerClock* clock) { clock_ = clock; }
    // The tick clock of tap tempo and the syncing light: KEL_Ticks unless a
    // test gives another.
    void setTicks(uint32_t (*clock)());
    uint32_t tickNow() const { return ticks(); }

    void play();
    void playSequence();
    void stop();
    // A take plays back: the engine was started by it; shown as a groove play.
    void takePlays();
    void togglePlaySequence();
    void idle();
    void userGroove();
    // What the transport's state line says: "Stop", "Groove play" or "Sequence play".
    const char* stateText() const;
    void userVMix();
    void refreshCommon();
    void resetCommon();
    void setLabel(short label, const char* text);
    void setSynthLed(bool on);
    void setSync(bool pending);
    // 1 roll-over help, 0 the tour, -1 help off.
    void setHelpModeDisplay(short mode);

    void gotSongBpm(short songTempo);
    void setBpm(float tempo);
    // A tempo within the song's window becomes the tempo, kept within the
    // ends of the range; false when refused or kept at an end.
    bool adjustBpm(float tempo);
    // A tempo from elsewhere (a clock followed): adjustBpm, and the slider shows it.
    bool followBpm(float tempo);
    float fastestBpm() const;
    float slowestBpm() const;
    // The tempo slider's ends to the display; a step past them is said.
    void showRange();
    void sayTempoEnd();
    void hitBpmUp(float step);
    void hitBpmScroll(short position);
    void hitBpmTap();
    // A tap made at tick `when` (a key's tap is counted when the key is let go).
    void hitBpmTapAt(uint32_t when);
    void setBpmLabel();
    // Follows the drag; the panel given keeps its idle work going meanwhile.
    void hitMainVolume(kelPanel* idlePanel = nullptr);
    void addMainVolume(short step);

    bool playing = false;
    bool sequenceMode = false;
    bool synthLight = false;
    bool vmixUser = false;
    bool grooveUser = false;
    BLPlayCommon* display = nullptr;
    int16_t beat = -1;
    int16_t lastBeat = -1;
    bool syncPending = false;
    float bpm = 0.0f;
    int16_t songBpm = 0;
    int16_t mainVolume = 63;
    int16_t sequenceCount = 0;
    char positionLabel[34] = {};
    int32_t tapIntervals[10] = {};
    int16_t tapCount = 0;
    uint32_t lastTap = 0;
    bool syncingLight = false;
    bool syncingLightWanted = false;
    int16_t helpModeDisplay = -1;

private:
    void showTempo();
    void showPosition();
    // (bpm - song bpm) truncated toward zero: -50 .. +50 within the window.
    short scrollPosition() const;
    // The display, when there is one.
    BLPlayCommon* shown() const { return display; }

    BLPlayCommon* grooveDisplay = nullptr;
    BLPlayerGroove* groovePanel = nullptr;
    BLPlayCommon* vmixDisplay = nullptr;
    BLPlayerSynth* synthPanel = nullptr;
    BLEngineCalls* engine;
    BLPlayerClock* clock_ = nullptr;
    uint32_t (*ticks)();
    BLJackFollow jackFollow;
};

extern BLPlayer* blPlayer;
