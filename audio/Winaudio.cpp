#include "audio/Winaudio.h"

#include <chrono>
#include <condition_variable>
#include <new>
#include <thread>

#include "audio/MMSysOutputs.h"
#include "audio/OVMixer.h"
#include "audio/OVTrack.h"
#include "audio/Synth.h"
#include "audio/Vtrack.h"
#include "platform/PlatLink.h"
#include "platform/Platform.h"

MMSysAudio* mmAud = nullptr;
uint32_t timerID = 0;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kTimerPeriod = std::chrono::milliseconds(23);

// The table's entry of the output the instance plays through.
const MMSysOutputKind* playingOn = nullptr;
bool loaderStalled = false;

std::thread timerThread;
std::mutex timerMutex;
std::condition_variable timerCv;
bool timerQuit = false;

// The periodic refill. Ticks never overlap; a late tick is not made up for
// with a burst of ticks.
void timerBody()
{
    auto due = Clock::now() + kTimerPeriod;
    std::unique_lock<std::mutex> hold(timerMutex);
    while (!timerCv.wait_until(hold, due, [] { return timerQuit; })) {
        hold.unlock();
        MMSysAudio::AudioOutTimeSlice();
        hold.lock();
        due += kTimerPeriod;
        const auto now = Clock::now();
        if (due < now) due = now;
    }
}

void startTimer()
{
    {
        std::lock_guard<std::mutex> hold(timerMutex);
        timerQuit = false;
    }
    timerThread = std::thread(timerBody);
    timerID = 1;
}

void killTimer()
{
    {
        std::lock_guard<std::mutex> hold(timerMutex);
        timerQuit = true;
    }
    timerCv.notify_all();
    if (timerThread.joinable()) timerThread.join();
    timerID = 0;
}

}  // namespace

int wDBInit(MMSysFill callback, int queueBytes)
{
    wDBClose();
    timerID = 0;
    // A given queue, else JACK while its server runs, else the sound card.
    const MMSysOutputKind& output = MMSysOutputForPlayback();
    auto* device =
        new (std::nothrow) MMSysAudio(callback, queueBytes / 4, 2, 44100, kMixBlock, output.device());
    if (!device || !device->allocated()) {
        delete device;
        return -1;
    }
    mmAud = device;
    playingOn = &output;
    return 0;
}

int wDBStart()
{
    if (!mmAud) return -1;
    const int r = mmAud->Start();
    if (r != 0) return r;
    if (QueueOutput_Timed() && !mmAud->pulled()) startTimer();
    return 0;
}

void wDBStop()
{
    if (mmAud) mmAud->Stop();
    if (timerID != 0 || timerThread.joinable()) killTimer();
}

void wDBClose()
{
    if (!mmAud) return;
    wDBStop();  // the timer must not outlive the instance it serves
    delete mmAud;
    mmAud = nullptr;
    playingOn = nullptr;
}

bool wDBPulls()
{
    return mmAud && mmAud->pulled();
}

int wDBDelayFrames()
{
    // Not pulled, it is the queue's length whatever the output.
    return wDBPulls() ? playingOn->delayFrames() : QueueOutput_DelayFrames();
}

bool wDBHeardFrame(double* frame)
{
    return wDBPulls() && playingOn->heardFrame && playingOn->heardFrame(plat::monotonicMs(), frame);
}

bool wDBAlive()
{
    return !mmAud || mmAud->alive();
}

int wDBSetParameters(int, int, int, int)
{
    return 0;
}

int InitPlay()
{
    InitSynth(&RealtimeSynth, SynthSamps);
    InitSynth(&RenderSynth, SynthSamps);
    MasterVol.store(128);
    ExitBackThread.store(1);  // the loader acknowledges once as it starts
    LoaderStart();
    return 1;
}

int BeginPlay()
{
    if (PlayingStatus.load() != 0 || SongBPM <= 0) return 1;
    const int32_t framesPerBeat = SAMPFREQ.load() * 60 / SongBPM;
    if (framesPerBeat < 1) return 1;
    InitSynthFStop(&RealtimeSynth, SynthSamps);
    InitSynthFStop(&RenderSynth, SynthSamps);
    if (InitTracks(MixRingFrames(BLOCKLEN.load())) != 0) return 1;
    BPM.store(framesPerBeat);
    ResampledBPM.store(framesPerBeat);
    SetSynthBPM(&RealtimeSynth, framesPerBeat);
    SetSynthBPM(&RenderSynth, framesPerBeat);
    TimeLine.store(TimeLineStartFrame());  // what synchronised changes count from while armed
    wDBStop();
    if (wDBInit(GetResampled, BLOCKLEN.load() * 4) == 0) {
        wDBSetParameters(-1, SAMPFREQ.load(), 2, 2);
        PlayingStatus.store(1);
        return 0;
    }
    FreeTracks();
    return 1;
}

int StopPlay()
{
    switch (PlayingStatus.load()) {
        case 1:
            FreeTracks();
            wDBClose();
            dowldproc.store(0);
            PlayingStatus.store(0);
            return 0;
        case 2:
            // From here on the loader touches no track. One caught in a file
            // operation is not waited for: it drops its work when it returns.
            if (!LoaderPause(kLoaderPauseMs)) {
                LoaderAbandon();
                loaderStalled = true;
            }
            wDBStop();
            wDBClose();
            CloseWaveFiles();
            FreeTracks();
            ResetResampler();
            PlayingStatus.store(0);
            return 0;
        default: return 1;
    }
}

bool TakeLoaderStall()
{
    const bool was = loaderStalled;
    loaderStalled = false;
    return was;
}

int ExitPlay()
{
    StopPlay();
    FreeSynth(SynthSamps);
    LoaderExit(10000);
    return 1;
}

MixerLock::MixerLock() : held_(mmAud)
{
    if (held_) held_->deviceLock().lock();
}

MixerLock::~MixerLock()
{
    if (held_) held_->deviceLock().unlock();
}
