// The tempo model and the tracks' volume, pan and the main volume: what the
// main thread sets and the mixer (audio/OVMixer.cpp) reads at its next stretch.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>

#include "audio/OVMixer.h"
#include "audio/OVTrack.h"
#include "audio/Vtrack.h"
#include "audio/Winaudio.h"

namespace {

int clampInt(int v, int lo, int hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

TRACK& trackOf(int track)
{
    return Tracks[clampInt(track, 1, kTrackCount) - 1];
}

int32_t framesPerBeatAt(int64_t milliBpm)
{
    const long double framesPerBeat = (static_cast<long double>(SAMPFREQ.load()) * 60.0) /
                                      (static_cast<long double>(milliBpm) * static_cast<long double>(0.001f));
    return framesPerBeat >= INT32_MAX ? INT32_MAX : static_cast<int32_t>(framesPerBeat);
}

int32_t fastestFor(int64_t songBpm)
{
    return songBpm > 0 ? framesPerBeatAt((songBpm + kMixTempoWindow) * 1000) : 0;
}

}  // namespace

int32_t FastestMixBeat()
{
    return fastestFor(SongBPM);
}

int SetMixBPM(int milliBpm, bool paced)
{
    const int64_t bpm = BPM.load();
    if (bpm <= 0 || milliBpm <= 0) return ResampledBPM.load();
    int64_t r = framesPerBeatAt(milliBpm);
    // The main mix's delay counts the beat of the tempo asked for, unrounded.
    double exact = SAMPFREQ.load() * 60000.0 / milliBpm;
    // Armed at a song's tempo that was let go since: the one BPM stands for.
    int32_t fastest = SongBPM > 0
                          ? FastestMixBeat()
                          : fastestFor(std::lround(SAMPFREQ.load() * 60.0 / static_cast<double>(bpm)));
    if (paced) fastest = static_cast<int32_t>(fastest / kMixPaceRoom);
    if (r < fastest) {
        r = fastest;
        exact = static_cast<double>(r);
    }
    ttDistance.store(static_cast<int16_t>((16 * r / 2) / bpm));
    MixFramesPerBeat.store(exact);
    ResampledBPM.store(static_cast<int32_t>(r));
    return static_cast<int32_t>(r);
}

void SetRealtimeFreq(int hz)
{
    if (PlayingStatus.load() != 0) return;
    SAMPFREQ.store(hz);
    BLOCKLEN.store(hz >= 44100 ? 16384 : 8192);
}

int TrackVolume(int track, int volume)
{
    volume = clampInt(volume, 0, 127);
    TRACK& t = trackOf(track);
    std::lock_guard<std::mutex> hold(t.lock);
    t.volume = volume;
    t.syncVolume = -1;
    return volume;
}

int TrackPan(int track, int pan)
{
    pan = clampInt(pan, 0, 127);
    TRACK& t = trackOf(track);
    std::lock_guard<std::mutex> hold(t.lock);
    t.pan = pan;
    t.syncPan = -1;
    return pan;
}

int VolumeSync2(int track, int volume)
{
    const int64_t at = NextLaunchTime();
    TRACK& t = trackOf(track);
    std::lock_guard<std::mutex> hold(t.lock);
    t.syncTime = at;
    t.syncVolume = clampInt(volume, 0, 127);
    return 0;
}

int PanSync2(int track, int pan)
{
    const int64_t at = NextLaunchTime();
    TRACK& t = trackOf(track);
    std::lock_guard<std::mutex> hold(t.lock);
    t.syncTime = at;
    t.syncPan = clampInt(pan, 0, 127);
    return 0;
}

int MasterVolume(int volume)
{
    volume = clampInt(volume, 0, 128);
    MasterVol.store(volume);
    return volume;
}
