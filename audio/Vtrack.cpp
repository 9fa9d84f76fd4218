#include "audio/Vtrack.h"

#include <cstring>
#include <mutex>

#include "audio/AudioFormat.h"

VTRACK VTracks[kMaxVTracks];
int32_t NumVTracks = 0;
int32_t SongBPM = 0;

namespace {

std::mutex vtracksLock;

// Frames per beat at the engine's fixed 44100 Hz, times 60 seconds.
constexpr int kFramesPerMinute = 2646000;

int measuredRepeats(const char* path)
{
    int channels = 0;
    int frames = 0;
    void* file = OpenWave(path, &channels, &frames);
    if (file == F_NOFILE) return 0;
    int repeats = 0;
    if (SongBPM > 0) {
        const int f = kFramesPerMinute / SongBPM;
        if (f > 0) {
            int n = frames / f;
            if (frames % f > f / 2) ++n;  // nearest beat; an exact half rounds down
            if (n < 1) n = 1;
            repeats = 32 / n;
        }
    }
    F_close(file);
    return repeats;
}

int beatsOf(int repeats)
{
    if (repeats < 1) return 32;  // unmeasured or longer than the cycle: the longest period
    const int beats = 32 / repeats;
    return beats < 1 ? 1 : beats;
}

}  // namespace

void SetSongBPM(int bpm)
{
    SongBPM = bpm;
}

void ResetSongVTracks()
{
    std::lock_guard<std::mutex> hold(vtracksLock);
    for (VTRACK& v : VTracks) {
        v.path[0] = '\0';
        v.beats = 0;
        v.extraBeats = 0;
    }
    NumVTracks = 0;
}

void AddSongVTrack(const char* path, int repeats, int extra)
{
    if (!path) path = "";
    if (repeats == 0) repeats = measuredRepeats(path);
    std::lock_guard<std::mutex> hold(vtracksLock);
    const int index = NumVTracks;
    if (NumVTracks < INT32_MAX) ++NumVTracks;
    if (index < 0 || index >= kMaxVTracks) return;
    VTRACK& v = VTracks[index];
    // A path cut short would name another file: an overlong one plays nothing.
    if (std::strlen(path) < sizeof v.path) {
        std::strcpy(v.path, path);
    } else {
        v.path[0] = '\0';
    }
    v.beats = beatsOf(repeats);
    v.extraBeats = 4 * (extra < 0 ? 0 : extra > 8 ? 8 : extra);
}

bool VTrackLoop(int index, char* path, int32_t* beats, int32_t* extraBeats)
{
    path[0] = '\0';
    if (index < 0 || index >= kMaxVTracks) return false;
    std::lock_guard<std::mutex> hold(vtracksLock);
    const VTRACK& v = VTracks[index];
    if (v.path[0] == '\0') return false;
    std::memcpy(path, v.path, sizeof v.path);
    *beats = v.beats;
    *extraBeats = v.extraBeats;
    return true;
}
