#include "audio/BLEngine.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>

#include "audio/CardOutput.h"
#include "audio/JackOutput.h"
#include "audio/KeyLock.h"
#include "audio/LoopCache.h"
#include "audio/MMSysAudio.h"
#include "audio/OVMixer.h"
#include "audio/OVTrack.h"
#include "audio/QualMix.h"
#include "audio/Synth.h"
#include "audio/Vetro.h"
#include "audio/Vtrack.h"
#include "audio/Winaudio.h"
#include "audio/fx/FxRack.h"
#include "audio/sndInRec.h"
#include "core/kelFiles.h"

BLEngine* gep = nullptr;

namespace {

constexpr int kFullPathMax = 2047;

// The loop's path made absolute, in kel form (what OpenWave takes); empty
// when it cannot be written so.
std::string absoluteLoopPath(const char* kel)
{
    char system[kFullPathMax + 1];
    if (!kel || !KEL_KelPathToSystemPath(kel, system, sizeof system) || system[0] == '\0') return {};
    std::error_code error;
    const std::string full = std::filesystem::absolute(system, error).lexically_normal().string();
    if (error || full.size() > kFullPathMax) return {};
    char out[kFullPathMax + 1];
    if (!KEL_SystemPathToKelPath(full.c_str(), out, sizeof out)) return {};
    return out;
}

// A float from the panels as a whole number, truncated toward zero; what
// lies beyond the int range is held at its ends.
int truncated(double v)
{
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int>(v);
}

// The engine's stages take kel paths as they are: its file layer
// (audio/WinApi.h) converts them itself.
char* mutablePath(const char* path)
{
    return const_cast<char*>(path ? path : "");
}

}  // namespace

void BLEngine::init()
{
    Fx_StartDiscovery();
    Vetro_Init();
    JackOutput_Open();
    InitPlay();
    MasterVolume(63);
    ResetSongVTracks();
    SetRealtimeFreq(44100);
}

void BLEngine::exit()
{
    // A recording's capture ends before the engine goes.
    UserLoop_RecordReset();
    ExitPlay();
    // A stopped engine holds no song: the loops kept in memory go with it.
    LoopCache_Clear();
    JackOutput_Close();
    Vetro_Exit();
    // Nothing mixes any more: the effects go with the engine.
    Fx_LiveBoard().clearAll();
}

void BLEngine::play()
{
    if (playing) return;
    // A song loaded leaves the engine armed already: that play too starts
    // the output whatever the tracks hold.
    BeginPlay();
    if (PlayingStatus.load() == 1) TrackStartWanted();
    playing = 1;
}

void BLEngine::stop()
{
    if (!playing) return;
    StopPlay();
    playing = 0;
    if (placed) {
        // The next playback, unless placed again, starts from the top.
        SetTimeLineStart(0);
        placed = false;
    }
}

BLEngineState BLEngine::state() const
{
    switch (PlayingStatus.load()) {
        case 1: return BLEngineState::armed;
        case 2: return BLEngineState::running;
        default: return BLEngineState::stopped;
    }
}

void BLEngine::setMixerVolume(short volume)
{
    MasterVolume(volume);
}

void BLEngine::setMixerBpm(float bpm)
{
    SetMixBPM(truncated(static_cast<double>(bpm) * 1000.0));
}

void BLEngine::paceMixerBpm(float bpm)
{
    SetMixBPM(truncated(static_cast<double>(bpm) * 1000.0), true);
}

void BLEngine::setMixerFrequency(long hz)
{
    SetRealtimeFreq(static_cast<int>(hz));
}

int8_t BLEngine::getMixerBeat()
{
    return static_cast<int8_t>(GetCurrentBeat());
}

bool BLEngine::setKeyLock(bool on)
{
    return KeyLock_Set(on);
}

bool BLEngine::keyLock() const
{
    return KeyLock_On();
}

double BLEngine::getMixerPosition()
{
    if (PlayingStatus.load() != 2) return -1;
    const int32_t bpm = BPM.load();
    if (bpm <= 0) return -1;
    double heard = 0;
    if (wDBHeardFrame(&heard)) return heard / bpm;
    return static_cast<double>(KeyLock_BeatTimeLine() - wDBDelayFrames()) / bpm;
}

void BLEngine::samplesListReset()
{
    // The mixer may be reading the last song's loops from memory.
    StopPlay();
    LoopCache_Clear();
    ResetSongVTracks();
}

void BLEngine::samplesListAdd(const char* path, short repeats)
{
    // Added even when the path is unusable: later sample numbers stay aligned.
    const std::string full = absoluteLoopPath(path);
    const int index = NumVTracks;
    AddSongVTrack(full.c_str(), repeats, 0);
    if (loopsInMemory) LoopCache_Add(index, full.c_str());
}

void BLEngine::samplesBpm(float bpm)
{
    // Still armed at the last song's tempo (loaded, never played): let go
    // of that first, or the new tempo would not take.
    StopPlay();
    SetSongBPM(truncated(bpm));
    BeginPlay();
}

void BLEngine::setTrackSample(short track, short sample)
{
    if (!playing) return;
    const int n = sample == -1 ? -1 : sample + 1;
    const bool onBoard = track >= 0 && track < 8;
    // A change that waits for a boundary is shown waiting, a silent track's
    // too; a play that starts is not.
    const bool running = PlayingStatus.load() == 2;
    if (syncAtGrooveSet) {
        TrackPlaySync(track + 1, n);
        if (onBoard) {
            const int64_t at = TrackChangeTime(track + 1);
            waitUntil[track] = running && at != kNever ? at : 0;
        }
    } else {
        TrackPlay(track + 1, n);
        if (onBoard) waitUntil[track] = 0;
    }
}

int64_t BLEngine::framesGiven() const
{
    return PlayingStatus.load() == 2 ? ResampledFrames.load() : 0;
}

int64_t BLEngine::songFrame() const
{
    return TimeLine.load();
}

int64_t BLEngine::trackChangeFrame(short track) const
{
    const int64_t at = track >= 0 && track < 8 ? TrackChangeTime(track + 1) : kNever;
    return at != kNever ? at : TimeLine.load();
}

int64_t BLEngine::atOneFrame(const std::function<void()>& change)
{
    MixerLock hold;
    const int64_t at = framesGiven();
    change();
    return at;
}

BLOutputPlace BLEngine::outputPlace() const
{
    MixerLock hold;
    BLOutputPlace p;
    p.given = framesGiven();
    double song = 0, step = 1;
    if (PlayingStatus.load() == 2 && ResampledSongAt(&song, &step) && step > 0) {
        const auto frame = static_cast<int64_t>(song);
        p.block = frame / kMixBlock * kMixBlock;
        p.lead = std::llround(static_cast<double>(frame - p.block) / step);
    } else {
        p.block = TimeLine.load() / kMixBlock * kMixBlock;
    }
    return p;
}

void BLEngine::startSongAt(int64_t frame)
{
    if (playing) return;
    SetTimeLineStart(frame);
    placed = true;
}

void BLEngine::holdOutputAt(int64_t frame)
{
    MMSysAudio::SetFence(&ResampledFrames, frame);
}

bool BLEngine::outputHeld() const
{
    return MMSysAudio::AtFence();
}

bool BLEngine::trackWaiting(short track) const
{
    return trackWaitBeats(track) > 0;
}

int BLEngine::trackWaitBeats(short track) const
{
    const int64_t bpm = BPM.load();
    if (track < 0 || track >= 8 || PlayingStatus.load() != 2 || bpm <= 0) return 0;
    // What is heard lies a block behind the mixing position.
    const int64_t left = waitUntil[track] - (KeyLock_BeatTimeLine() - wDBDelayFrames());
    return left > 0 ? static_cast<int>((left + bpm - 1) / bpm) : 0;
}

void BLEngine::setLaunchGrid(int beats)
{
    SetLaunchGrid(beats);
}

int BLEngine::launchGrid() const
{
    return LaunchGridBeats();
}

void BLEngine::setOutput(const std::string& card, int periodFrames)
{
    MMSysCardOutput::choose(card, periodFrames);
}

std::string BLEngine::outputCard() const
{
    return MMSysCardOutput::chosenCard();
}

int BLEngine::outputFrames() const
{
    return MMSysCardOutput::periodFrames();
}

std::vector<std::string> BLEngine::outputCards()
{
    return MMSysCardOutput::cards();
}

bool BLEngine::outputAlive() const
{
    return wDBAlive();
}

bool BLEngine::outputIsJack()
{
    return JackOutput_InUse();
}

bool BLEngine::jackGone()
{
    return JackOutput_Gone();
}

std::string BLEngine::jackMissing()
{
    return JackOutput_Why();
}

void BLEngine::forgoJack()
{
    JackOutput_Forgo();
}

bool BLEngine::openJack()
{
    return JackOutput_Open();
}

int BLEngine::jackRate()
{
    return JackOutput_Rate();
}

int BLEngine::jackPeriodFrames()
{
    return JackOutput_PeriodFrames();
}

plat::JackTransport BLEngine::jackTransport()
{
    return JackOutput_Transport();
}

double BLEngine::jackBeats(const plat::JackTransport& t, float bpm)
{
    return JackOutput_TransportBeats(t, bpm);
}

void BLEngine::placeStart(double beats)
{
    if (playing) return;
    JackOutput_PlaceStart(beats);
    placed = true;
}

bool BLEngine::placeStartAt(double heardAtMs)
{
    return !playing && outputIsJack() && JackOutput_PlaceStartAt(heardAtMs);
}

bool BLEngine::takePlacement(int64_t& grooveFrame, int64_t& transportFrame)
{
    return JackOutput_TakePlaced(grooveFrame, transportFrame);
}

void BLEngine::setTrackVolume(short track, short volume)
{
    if (syncAtGrooveSet) {
        VolumeSync2(track + 1, volume);
    } else {
        TrackVolume(track + 1, volume);
    }
}

void BLEngine::setTrackPan(short track, short pan)
{
    const int p = 63 - pan;
    if (syncAtGrooveSet) {
        PanSync2(track + 1, p);
    } else {
        TrackPan(track + 1, p);
    }
}

void BLEngine::changesBegin()
{
    TrackStartHold();
}

void BLEngine::changesEnd()
{
    TrackStartRelease();
}

bool BLEngine::loaderStalled()
{
    return TakeLoaderStall();
}

void BLEngine::sync_atGrooveSet(short on)
{
    syncAtGrooveSet = on;
}

void BLEngine::getTrackPeaks(short track, ttPeak** left, ttPeak** right)
{
    LGetTrackPeaks(track, left, right);
}

short BLEngine::copyAudioFile(const char*, const char*)
{
    return 0;
}

int BLEngine::mixToDisk(const char* wavPath, const char* scriptPath, const MixPlan* plan)
{
    return OVQualityMix(mutablePath(wavPath), mutablePath(scriptPath), plan);
}

void BLEngine::synth_SetFolder(const char* folder)
{
    // Loading reads 36 files: the synthesizer swaps them in under the lock itself.
    RealtimeSetSynth(folder ? folder : "");
}

void BLEngine::synth_Arp(short mode, short speed, const char* notes)
{
    MixerLock hold;
    if (notes && notes[0]) {
        RealtimeArpeggiatorOn(mode, speed, notes);
    } else {
        RealtimeArpeggiatorOff();
    }
}

void BLEngine::synth_Stop()
{
    MixerLock hold;
    RealtimeArpeggiatorOff();
}

void BLEngine::synth_SetPoly(short voices)
{
    MixerLock hold;
    RealtimeSetSynthPoly(voices);
}

void BLEngine::synth_SetVolume(short volume)
{
    MixerLock hold;
    RealtimeSetSynthVolume(volume);
}

void BLEngine::synth_SetPan(short pan)
{
    MixerLock hold;
    RealtimeSetSynthPan(pan);
}

short BLEngine::synth_NotesLoaded()
{
    return static_cast<short>(RealtimeSynthNotesLoaded());
}

unsigned char BLEngine::synth_mix(const char* path)
{
    // A file that was not written is not reported as written.
    return RealtimeSynthMix(path ? path : "") > 0 ? 1 : 0;
}

unsigned char BLEngine::userLoop_load(const char* path)
{
    return UserLoop_Load(const_cast<char*>(path));
}

void BLEngine::userLoop_params(blUserLoopSettingsRec* settings)
{
    // The stage takes the device lock itself.
    Vetro_ApplySettings(settings);
}

unsigned char BLEngine::userLoop_recordStart()
{
    return UserLoop_RecordStart();
}

void BLEngine::userLoop_recordStop()
{
    UserLoop_RecordStop();
}

void BLEngine::userLoop_recordReset()
{
    UserLoop_RecordReset();
}

unsigned char BLEngine::userLoop_recordStatus(short* percent, short* level)
{
    return UserLoop_RecordStatus(percent, level);
}

void BLEngine::userLoop_recordBars(short bars)
{
    UserLoop_SetRecordBars(bars);
}

int BLEngine::userLoop_countIn()
{
    return UserLoop_CountIn();
}

unsigned char BLEngine::userLoop_save(const char* path)
{
    return Vetro_SaveLoop(mutablePath(path));
}

unsigned char BLEngine::userLoop_canRecord()
{
    return UserLoop_CanRecord();
}

int BLEngine::userLoop_recordProblem(std::string* text)
{
    return UserLoop_RecordProblem(text);
}

int64_t BLEngine::userLoop_periodFrames()
{
    return Vetro_PeriodFrames();
}

BLUserLoopState BLEngine::userLoop_state()
{
    BLUserLoopState u;
    u.serial = Vetro_LoopSerial();
    MixerLock hold;
    u.frames = vetroGlobalData.loopFrames;
    u.channels = vetroGlobalData.loopChannels;
    u.regionEnd = vetroGlobalData.regionEnd;
    u.bars = static_cast<int16_t>(vetroRenderData.bars);
    u.sounding = vetroRenderData.active != 0;
    return u;
}

// ---- Effects -------------------------------------------------------------------

namespace {

// A track's plugin runs at the rate its frames are heard at (see the
// mixer's trackContext): its Hz and its milliseconds then mean what they
// say at the tempo it was set at.
FxUnitPlace placeOf(int rack)
{
    FxUnitPlace p;
    const double rate = SAMPFREQ.load();
    const double bpm = BPM.load();
    const double mixBpm = ResampledBPM.load();
    p.pluginRate = rack == kFxMain || KeyLock_On() || bpm <= 0 || mixBpm <= 0 ? rate : rate * bpm / mixBpm;
    return p;
}

}  // namespace

std::vector<FxNote> BLEngine::fx_set(int rack, int slot, const FxSlot& settings)
{
    FxBoard& board = Fx_LiveBoard();
    board.service();
    const int64_t due = syncAtGrooveSet && PlayingStatus.load() == 2 ? NextLaunchTime() : kFxAtOnce;
    return board.set(rack, slot, settings, due == kNever ? kFxAtOnce : due, placeOf(rack));
}

std::vector<FxNote> BLEngine::fx_setAll(const FxSetup& setup)
{
    std::vector<FxNote> notes;
    for (int r = 0; r < kFxRacks; ++r)
        for (int k = 0; k < kFxSlots; ++k) {
            std::vector<FxNote> n = fx_set(r, k, setup.racks[r].slots[k]);
            notes.insert(notes.end(), n.begin(), n.end());
        }
    return notes;
}

bool BLEngine::fx_setParam(int rack, int slot, const std::string& param, float value)
{
    Fx_LiveBoard().service();
    return Fx_LiveBoard().setParam(rack, slot, param, value);
}

void BLEngine::fx_bypass(int rack, int slot, bool on)
{
    Fx_LiveBoard().service();
    Fx_LiveBoard().setBypass(rack, slot, on);
}

void BLEngine::fx_clear(int rack, int slot)
{
    fx_set(rack, slot, FxSlot{});
}

FxSlot BLEngine::fx_get(int rack, int slot)
{
    Fx_LiveBoard().service();
    return Fx_LiveBoard().capture(rack, slot);
}

FxSetup BLEngine::fx_getAll()
{
    Fx_LiveBoard().service();
    return Fx_LiveBoard().captureAll();
}

void BLEngine::fx_service()
{
    Fx_LiveBoard().service();
}

const std::vector<FxEffectInfo>& BLEngine::fx_builtins()
{
    return Fx_Builtins();
}

const std::vector<FxEffectInfo>& BLEngine::fx_plugins()
{
    return Fx_Plugins();
}
