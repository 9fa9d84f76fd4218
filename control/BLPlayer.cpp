#include "control/BLPlayer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "audio/BLEngine.h"
#include "control/BLPlayCommon.h"
#include "core/kelCore.h"
#include "core/kelQt.h"
#include "library/BLGroove.h"
#include "ui/kelPanel.h"

BLPlayer* blPlayer = nullptr;

namespace {

constexpr int kTempoWindow = kBLTempoWindow;
constexpr int16_t kSyncBeat = 23;
constexpr uint32_t kTapPause = 120;  // ticks: a longer pause starts a new series
constexpr int16_t kMaxTaps = 10;

BLEngineCalls gFacade;

int16_t clampVolume(int v)
{
    return static_cast<int16_t>(std::clamp(v, 0, 127));
}

// A restored tempo may lie far outside the window; its position must still fit a short.
short truncatedPosition(double offset)
{
    if (!std::isfinite(offset)) return 0;
    return static_cast<short>(std::clamp(std::trunc(offset), -32768.0, 32767.0));
}

}  // namespace

BLPlayer::BLPlayer() : engine(&gFacade), ticks(KEL_Ticks) {}

void BLPlayer::setGroovePanel(BLPlayCommon* shows, BLPlayerGroove* groove)
{
    grooveDisplay = shows;
    groovePanel = groove;
}

void BLPlayer::setVMixPanel(BLPlayCommon* shows)
{
    vmixDisplay = shows;
}
void BLPlayer::setSynth(BLPlayerSynth* synth)
{
    synthPanel = synth;
}
void BLPlayer::setEngine(BLEngineCalls* e)
{
    engine = e ? e : &gFacade;
}
void BLPlayer::setTicks(uint32_t (*clock)())
{
    ticks = clock ? clock : KEL_Ticks;
}

void BLPlayer::play()
{
    if (playing) return;
    if (groovePanel && groovePanel->holdStart()) return;
    sequenceCount = 0;
    sequenceMode = false;
    playing = true;
    if (display) display->common_setPlayDisplay(true);
    // Tracks, tempo and volume in the first sound, not after it.
    engine->changesBegin();
    if (groovePanel) groovePanel->setPlayMode(true);
    engine->setMixerBpm(bpm);
    engine->setMixerVolume(mainVolume);
    engine->changesEnd();
    setLabel(0, stateText());
    if (synthPanel) synthPanel->playerSaidPlay();
}

void BLPlayer::playSequence()
{
    if (playing) return;
    sequenceCount = 0;
    sequenceMode = true;
    playing = true;
    if (display) display->common_setPlayDisplay(true);
    engine->changesBegin();
    if (groovePanel) groovePanel->onItem_seq_Play();
    engine->setMixerBpm(bpm);
    engine->setMixerVolume(mainVolume);
    engine->changesEnd();
    if (display) {
        display->common_setSeqPlayLed(true);
        display->common_eventSeqPlayStart();
    }
    syncPending = false;
    if (synthPanel) synthPanel->playerSaidPlay();
    setLabel(0, stateText());
}

void BLPlayer::stop()
{
    if (!playing) {
        if (groovePanel) groovePanel->dropHeldStart();
        return;
    }
    if (groovePanel) groovePanel->setPlayMode(false);
    syncPending = false;
    playing = false;
    if (display) display->common_setPlayDisplay(false);
    if (sequenceMode) {
        if (display) {
            display->common_eventSeqPlayStop();
            display->common_setSeqPlayLed(false);
        }
        sequenceMode = false;
    }
    setLabel(0, stateText());
}

void BLPlayer::takePlays()
{
    sequenceCount = 0;
    sequenceMode = false;
    playing = true;
    if (display) display->common_setPlayDisplay(true);
    setLabel(0, stateText());
}

const char* BLPlayer::stateText() const
{
    return !playing ? "Stop" : sequenceMode ? "Sequence play" : "Groove play";
}

void BLPlayer::togglePlaySequence()
{
    if (playing && sequenceMode) {
        stop();
        return;
    }
    stop();
    playSequence();
}

void BLPlayer::idle()
{
    // A card unplugged: stopped as the Stop button would, and said where
    // the groove panel says things. The next Play opens a card afresh.
    if (playing && !engine->outputAlive()) {
        stop();
        if (grooveDisplay) grooveDisplay->common_outputLost();
        if (display && display != grooveDisplay) display->common_outputLost();
    }
    jackFollow.idle(*this);
    beat = engine->getMixerBeat();
    if (beat != lastBeat) {
        if (beat != -1 && display)
            for (short i = 0; i < 8; ++i)
                display->common_setPlaybarLed(i, i == beat % 8 ? 2 : (i <= beat / 4 ? 1 : 0));
        if (sequenceMode) {
            if (beat >= kSyncBeat && !syncPending) {
                if (display) display->common_eventGrooveSync();
                syncPending = true;
            } else if (beat < kSyncBeat && syncPending) {
                syncPending = false;
                ++sequenceCount;
                if (display) display->common_eventGrooveStart();
            }
        }
        if (beat != -1) showPosition();
        lastBeat = beat;
    }
    if (clock_) clock_->playerPass(*this, engine->heardBeats());
    syncingLightWanted = syncPending && (ticks() % 15) > 10;
    if (syncingLightWanted != syncingLight) {
        syncingLight = syncingLightWanted;
        if (display) display->common_setSyncingLed(syncingLight);
    }
    kelQt_Idle();
}

void BLPlayer::showPosition()
{
    if (sequenceMode && vmixUser)
        std::snprintf(positionLabel, sizeof positionLabel, "%02d:%02d:%02d", sequenceCount + 1, beat / 4 + 1,
                      beat % 4 + 1);
    else
        std::snprintf(positionLabel, sizeof positionLabel, "%02d:%02d", beat / 4 + 1, beat % 4 + 1);
    if (display) display->common_setPlaybarLabel(positionLabel);
}

void BLPlayer::userGroove()
{
    grooveUser = true;
    vmixUser = false;
    display = grooveDisplay;
}

void BLPlayer::userVMix()
{
    vmixUser = true;
    grooveUser = false;
    display = vmixDisplay;
}

void BLPlayer::refreshCommon()
{
    if (!display) return;
    display->common_setPlayDisplay(playing);
    display->common_setSeqPlayLed(playing && sequenceMode);
    showRange();
    display->common_setBpmScroll(scrollPosition());
    display->common_setMainVolLabel(mainVolume);
    display->common_setSynthLed(synthLight);
    // A panel shown again tells what plays, whatever it said when it went.
    setLabel(0, stateText());
    setBpmLabel();
}

void BLPlayer::resetCommon()
{
    if (grooveDisplay) grooveDisplay->common_doInterfaceReset();
    if (vmixDisplay) vmixDisplay->common_doInterfaceReset();
}

void BLPlayer::setLabel(short label, const char* text)
{
    if (display) display->common_setLabel(label, text);
}

void BLPlayer::setSynthLed(bool on)
{
    synthLight = on;
    if (display) display->common_setSynthLed(on);
}

void BLPlayer::setSync(bool pending)
{
    syncPending = pending;
}

void BLPlayer::setHelpModeDisplay(short mode)
{
    helpModeDisplay = mode;
    if (grooveDisplay) grooveDisplay->common_setHelpModeDisplay(mode);
    if (vmixDisplay) vmixDisplay->common_setHelpModeDisplay(mode);
}

void BLPlayer::gotSongBpm(short songTempo)
{
    songBpm = songTempo;
    bpm = songTempo;
    setBpmLabel();
    showRange();
    if (display) display->common_setBpmScroll(0);
    adjustBpm(songTempo);
}

void BLPlayer::setBpm(float tempo)
{
    if (!std::isfinite(tempo)) return;
    bpm = tempo;
    adjustBpm(tempo);
    showTempo();
}

bool BLPlayer::adjustBpm(float tempo)
{
    // Written so that a tempo that is not a number is refused too.
    if (!(tempo >= songBpm - kTempoWindow && tempo <= songBpm + kTempoWindow)) return false;
    // No tempo under 10 BPM is played: a slower one shown would not be the
    // one heard.
    const float kept = std::clamp(tempo, slowestBpm(), fastestBpm());
    bpm = kept;
    engine->setMixerBpm(bpm);
    setBpmLabel();
    return kept == tempo;
}

bool BLPlayer::followBpm(float tempo)
{
    const bool taken = adjustBpm(tempo);
    if (display) display->common_setBpmScroll(scrollPosition());
    return taken;
}

float BLPlayer::fastestBpm() const
{
    return BL_FastestTempo(songBpm);
}
float BLPlayer::slowestBpm() const
{
    return BL_SlowestTempo(songBpm);
}

void BLPlayer::showRange()
{
    if (!display) return;
    display->common_setBpmRange(truncatedPosition(static_cast<double>(slowestBpm()) - songBpm),
                                truncatedPosition(static_cast<double>(fastestBpm()) - songBpm));
}

void BLPlayer::sayTempoEnd()
{
    if (display) display->common_tempoAtEnd(slowestBpm(), fastestBpm());
}

void BLPlayer::showTempo()
{
    setBpmLabel();
    if (display) display->common_setBpmScroll(scrollPosition());
}

void BLPlayer::hitBpmUp(float step)
{
    const bool atEnd = (step > 0 && bpm >= fastestBpm()) || (step < 0 && bpm <= slowestBpm());
    if (!adjustBpm(bpm + step) || atEnd) sayTempoEnd();
    if (display) display->common_setBpmScroll(scrollPosition());
}

void BLPlayer::hitBpmScroll(short position)
{
    adjustBpm(static_cast<float>(songBpm + position));
    // Where the tempo is, should the slider have been asked for another.
    if (display) display->common_setBpmScroll(scrollPosition());
}

void BLPlayer::hitBpmTap()
{
    hitBpmTapAt(ticks());
}

void BLPlayer::hitBpmTapAt(uint32_t now)
{
    const uint32_t interval = now - lastTap;
    lastTap = now;
    if (interval > kTapPause) {
        tapCount = 0;
        return;
    }
    tapIntervals[tapCount++] = static_cast<int32_t>(interval);
    if (tapCount > 2) {
        double sum = 0;
        for (int16_t i = 0; i < tapCount; ++i) sum += tapIntervals[i];
        if (sum > 0) {
            if (!adjustBpm(static_cast<float>(tapCount * 3600.0 / sum))) sayTempoEnd();
            if (display) display->common_setBpmScroll(scrollPosition());
        }
    }
    if (tapCount >= kMaxTaps) {
        std::copy(tapIntervals + 1, tapIntervals + kMaxTaps, tapIntervals);
        tapCount = kMaxTaps - 1;
    }
}

short BLPlayer::scrollPosition() const
{
    return truncatedPosition(static_cast<double>(bpm) - songBpm);
}

void BLPlayer::setBpmLabel()
{
    char text[32];
    // Without a song there is no tempo to tell.
    if (songBpm <= 0 || !(bpm > 0))
        std::snprintf(text, sizeof text, "--");
    else
        std::snprintf(text, sizeof text, "%1.1f", bpm);
    if (display) display->common_setBpmLabel(text);
}

void BLPlayer::hitMainVolume(kelPanel* idlePanel)
{
    const int16_t startY = kelGlo.mouseY;
    const int16_t startVolume = mainVolume;
    while (KEL_ButtonDown()) {
        const int16_t volume = clampVolume(startVolume + (startY - kelGlo.mouseY));
        if (volume != mainVolume) {
            mainVolume = volume;
            engine->setMixerVolume(mainVolume);
            if (display) display->common_setMainVolLabel(mainVolume);
        }
        // Meters, lights and sequence steps go on while the button is held,
        // as in every other drag.
        if (idlePanel) {
            idlePanel->liveChange = 1;
            idlePanel->onIdle();
            idlePanel->liveChange = 0;
        }
        KEL_PollPause();
    }
}

void BLPlayer::addMainVolume(short step)
{
    mainVolume = clampVolume(mainVolume + step);
    engine->setMixerVolume(mainVolume);
    if (display) display->common_setMainVolLabel(mainVolume);
}
