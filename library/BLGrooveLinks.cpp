#include "library/BLGrooveLinks.h"

#include <cstring>

#include "audio/BLEngine.h"
#include "core/BLInternational.h"
#include "core/kelCore.h"

BLEngine* BLFacadeEngine::engine() const
{
    return fixed ? fixed : gep;
}

void BLFacadeEngine::stop()
{
    if (BLEngine* e = engine()) e->stop();
}

void BLFacadeEngine::setMixerFrequency(long hz)
{
    if (BLEngine* e = engine()) e->setMixerFrequency(hz);
}

void BLFacadeEngine::samplesListReset()
{
    if (BLEngine* e = engine()) e->samplesListReset();
}

void BLFacadeEngine::samplesBpm(float bpm)
{
    if (BLEngine* e = engine()) e->samplesBpm(bpm);
}

void BLFacadeEngine::samplesListAdd(const char* path, short repeats)
{
    if (BLEngine* e = engine()) e->samplesListAdd(path, repeats);
}

void BLFacadeEngine::setTrackSample(short track, short sample)
{
    if (BLEngine* e = engine()) e->setTrackSample(track, sample);
}

void BLFacadeEngine::setTrackVolume(short track, short volume)
{
    if (BLEngine* e = engine()) e->setTrackVolume(track, volume);
}

void BLFacadeEngine::setTrackPan(short track, short pan)
{
    if (BLEngine* e = engine()) e->setTrackPan(track, pan);
}

void BLFacadeEngine::sync_atGrooveSet(short on)
{
    if (BLEngine* e = engine()) e->sync_atGrooveSet(on);
}

void BLFacadeEngine::changesBegin()
{
    if (BLEngine* e = engine()) e->changesBegin();
}

void BLFacadeEngine::changesEnd()
{
    if (BLEngine* e = engine()) e->changesEnd();
}

void BLFacadeEngine::setLaunchGrid(int beats)
{
    if (BLEngine* e = engine()) e->setLaunchGrid(beats);
}

int BLFacadeEngine::launchGrid()
{
    BLEngine* e = engine();
    return e ? e->launchGrid() : 32;
}

int16_t BLNotifyQuestions::notify(int16_t message, int16_t kind)
{
    return BL_Notify(message, kind);
}

int16_t BLNotifyQuestions::notifySong(int16_t message, const char* songName)
{
    return blIntl.notifyNames(message, 1, {songName ? songName : ""});
}

int16_t BLNotifyQuestions::notifyNames(int16_t message, int16_t kind, std::initializer_list<std::string_view> names)
{
    return blIntl.notifyNames(message, kind, names);
}
