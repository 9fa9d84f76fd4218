#include "library/BLEngineCalls.h"

#include <algorithm>

#include "audio/BLEngine.h"

BLEngine* BLEngineCalls::engine() const
{
    return fixed ? fixed : gep;
}

void BLEngineCalls::stop()
{
    if (BLEngine* e = engine()) e->stop();
}

void BLEngineCalls::setMixerFrequency(long hz)
{
    if (BLEngine* e = engine()) e->setMixerFrequency(hz);
}

void BLEngineCalls::samplesListReset()
{
    if (BLEngine* e = engine()) e->samplesListReset();
}

void BLEngineCalls::samplesBpm(float bpm)
{
    if (BLEngine* e = engine()) e->samplesBpm(bpm);
}

void BLEngineCalls::samplesListAdd(const char* path, short repeats)
{
    if (BLEngine* e = engine()) e->samplesListAdd(path, repeats);
}

void BLEngineCalls::setTrackSample(short track, short sample)
{
    if (BLEngine* e = engine()) e->setTrackSample(track, sample);
}

void BLEngineCalls::setTrackVolume(short track, short volume)
{
    if (BLEngine* e = engine()) e->setTrackVolume(track, volume);
}

void BLEngineCalls::setTrackPan(short track, short pan)
{
    if (BLEngine* e = engine()) e->setTrackPan(track, pan);
}

void BLEngineCalls::sync_atGrooveSet(short on)
{
    if (BLEngine* e = engine()) e->sync_atGrooveSet(on);
}

int64_t BLEngineCalls::framesGiven()
{
    BLEngine* e = engine();
    return e ? e->framesGiven() : 0;
}

int64_t BLEngineCalls::trackChangeFrame(int16_t track)
{
    BLEngine* e = engine();
    return e ? e->trackChangeFrame(track) : 0;
}

int64_t BLEngineCalls::atOneFrame(const std::function<void()>& change)
{
    if (BLEngine* e = engine()) return e->atOneFrame(change);
    change();
    return 0;
}

BLOutputPlace BLEngineCalls::outputPlace()
{
    BLEngine* e = engine();
    return e ? e->outputPlace() : BLOutputPlace{};
}

void BLEngineCalls::startSongAt(int64_t frame)
{
    if (BLEngine* e = engine()) e->startSongAt(frame);
}

void BLEngineCalls::holdOutputAt(int64_t frame)
{
    if (BLEngine* e = engine()) e->holdOutputAt(frame);
}

bool BLEngineCalls::outputHeld()
{
    BLEngine* e = engine();
    return e && e->outputHeld();
}

void BLEngineCalls::changesBegin()
{
    if (BLEngine* e = engine()) e->changesBegin();
}

void BLEngineCalls::changesEnd()
{
    if (BLEngine* e = engine()) e->changesEnd();
}

void BLEngineCalls::setLaunchGrid(int beats)
{
    if (BLEngine* e = engine()) e->setLaunchGrid(beats);
}

void BLEngineCalls::play()
{
    if (BLEngine* e = engine()) e->play();
}

void BLEngineCalls::setMixerBpm(float bpm)
{
    if (BLEngine* e = engine()) e->setMixerBpm(bpm);
}

void BLEngineCalls::setMixerVolume(short volume)
{
    if (BLEngine* e = engine()) e->setMixerVolume(volume);
}

void BLEngineCalls::synth_SetFolder(const char* folder)
{
    if (BLEngine* e = engine()) e->synth_SetFolder(folder);
}

void BLEngineCalls::synth_Arp(short mode, short speed, const char* notes)
{
    if (BLEngine* e = engine()) e->synth_Arp(mode, speed, notes);
}

void BLEngineCalls::synth_Stop()
{
    if (BLEngine* e = engine()) e->synth_Stop();
}

void BLEngineCalls::synth_SetPoly(short voices)
{
    if (BLEngine* e = engine()) e->synth_SetPoly(voices);
}

void BLEngineCalls::synth_SetVolume(short volume)
{
    if (BLEngine* e = engine()) e->synth_SetVolume(volume);
}

void BLEngineCalls::synth_SetPan(short pan)
{
    if (BLEngine* e = engine()) e->synth_SetPan(pan);
}

void BLEngineCalls::fx_setAll(const FxSetup& setup)
{
    // What cannot be taken was said when the document opened.
    if (BLEngine* e = engine()) e->fx_setAll(setup);
}

std::vector<FxNote> BLEngineCalls::fx_set(int rack, int slot, const FxSlot& settings)
{
    BLEngine* e = engine();
    return e ? e->fx_set(rack, slot, settings) : std::vector<FxNote>{};
}

void BLEngineCalls::fx_setParam(int rack, int slot, const std::string& param, float value)
{
    if (BLEngine* e = engine()) e->fx_setParam(rack, slot, param, value);
}

void BLEngineCalls::fx_bypass(int rack, int slot, bool on)
{
    if (BLEngine* e = engine()) e->fx_bypass(rack, slot, on);
}

int BLEngineCalls::launchGrid()
{
    BLEngine* e = engine();
    return e ? e->launchGrid() : 32;
}

bool BLEngineCalls::takePeaks(int16_t track, int16_t& left, int16_t& right)
{
    BLEngine* e = engine();
    if (!e) return false;
    ttPeak* l = nullptr;
    ttPeak* r = nullptr;
    e->getTrackPeaks(track, &l, &r);
    if (!l || !r || l->load() == -1) return false;
    left = l->exchange(-1);
    right = r->exchange(-1);
    return true;
}

bool BLEngineCalls::loaderStalled()
{
    BLEngine* e = engine();
    return e && e->loaderStalled();
}

int16_t BLEngineCalls::trackWaitBeats(int16_t track)
{
    BLEngine* e = engine();
    return e ? static_cast<int16_t>(std::min(e->trackWaitBeats(track), 999)) : int16_t{0};
}

bool BLEngineCalls::setKeyLock(bool on)
{
    BLEngine* e = engine();
    return !e || e->setKeyLock(on);
}

void BLEngineCalls::setUserLoop(const blUserLoopSettingsRec& settings)
{
    blUserLoopSettingsRec taken = settings;
    if (BLEngine* e = engine()) e->userLoop_params(&taken);
}

short BLEngineCalls::getMixerBeat()
{
    BLEngine* e = engine();
    return e ? static_cast<short>(e->getMixerBeat()) : short{-1};
}

bool BLEngineCalls::outputAlive()
{
    BLEngine* e = engine();
    return !e || e->outputAlive();
}

double BLEngineCalls::heardBeats()
{
    BLEngine* e = engine();
    return e ? e->getMixerPosition() : -1;
}

short BLEngineCalls::synth_NotesLoaded()
{
    BLEngine* e = engine();
    return e ? e->synth_NotesLoaded() : short{0};
}

unsigned char BLEngineCalls::synth_mix(const char* path)
{
    BLEngine* e = engine();
    return e ? e->synth_mix(path) : static_cast<unsigned char>(0);
}
