#include "audio/OVMixer.h"

#include <algorithm>
#include <cstring>

#include "audio/KeyLock.h"
#include "audio/OVTrack.h"
#include "audio/Synth.h"
#include "audio/Vetro.h"
#include "audio/WinApi.h"

float floatOutL[kFloatOutSize];
float floatOutR[kFloatOutSize];
int16_t* resBuf = nullptr;
int32_t resBufPtr = 0;
std::atomic<int32_t> MasterVol{128};
std::atomic<MixBlockObserver> GetSamplesObserver{nullptr};

namespace {

int32_t resBufFrames = 0;

// (r mod 100) x 0.01 as the resampler stores it, for the 100 values of r.
struct FracTable {
    float v[100];
    FracTable()
    {
        for (int r = 0; r < 100; ++r) v[r] = static_cast<float>(static_cast<long double>(r) * 0.01);
    }
};
const FracTable kFrac;

int clampInt(int v, int lo, int hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

TRACK& trackOf(int track)
{
    return Tracks[clampInt(track, 1, kTrackCount) - 1];
}

// Track gains in extended precision, stored as floats.
void trackGains(int32_t v, int32_t p, int32_t master, float* left, float* right)
{
    const long double lv = v;
    const long double lm = master;
    const long double full = lv * (1.0 / 128) * lm * (1.0 / 128);
    if (p > 63) {
        *left = static_cast<float>(full);
        const long double fade = static_cast<long double>(127 - p) * (1.0 / 63);
        *right = static_cast<float>(fade * lv * (1.0 / 128) * lm * (1.0 / 128));
    } else {
        *left = static_cast<float>(lv * (1.0 / 128) * p * (1.0 / 63) * lm * (1.0 / 128));
        *right = static_cast<float>(full);
    }
}

void raisePeak(ttPeak& held, int16_t value)
{
    int16_t h = held.load(std::memory_order_relaxed);
    while (value > h && !held.compare_exchange_weak(h, value, std::memory_order_relaxed)) {
    }
}

int16_t toSample(float x)
{
    if (x > 32767.0f) return 32767;
    if (x < -32767.0f) return -32767;
    return static_cast<int16_t>(static_cast<int>(x));
}

// What the mixer takes of one track for one stretch of a block, read under
// its lock. A stretch ends where a waiting volume, pan or stop is due, so
// that each lands on its frame.
struct TrackBlock {
    bool mixed = false;
    int32_t volume = 0;
    int32_t pan = 0;
    int span = 0;    // frames of the block this stretch covers
    int frames = 0;  // of them, frames the ring holds
    int64_t from = 0;
};

TrackBlock takeTrack(TRACK& t, int64_t now, int n)
{
    TrackBlock b;
    b.span = n;
    std::lock_guard<std::mutex> hold(t.lock);
    if (now >= t.syncTime) {
        t.syncTime = kNever;
        if (t.syncVolume != -1) t.volume = t.syncVolume;
        if (t.syncPan != -1) t.pan = t.syncPan;
    }
    if (t.schedLoop == -1 && now >= t.schedTime) {
        ++t.steerGen;
        t.schedLoop = -2;
        t.nextStart = kNever;
        t.fileName[0] = '\0';
        t.curLoop = -1;
        t.idle = 1;
    }
    if (t.syncTime - now < b.span) b.span = static_cast<int>(t.syncTime - now);
    if (t.schedLoop == -1 && t.schedTime - now < b.span) b.span = static_cast<int>(t.schedTime - now);
    // A track waiting for its next start still plays what its ring holds.
    if (t.curLoop == -1 || t.volume == 0 || now >= t.writePos || !t.ring) return b;
    b.mixed = true;
    b.volume = t.volume;
    b.pan = t.pan;
    // Frames past writePos are not written yet: they count as silence.
    b.frames = static_cast<int>(std::min<int64_t>(b.span, t.writePos - now));
    b.from = now;
    return b;
}

// Adds `frames` ring frames from timeline frame `from` into the
// accumulators at `at`, the ring's end passed over; raises the peaks.
void mixRing(const TRACK& t, int64_t from, int frames, int at, float gl, float gr, int16_t& peakL, int16_t& peakR)
{
    while (frames > 0) {
        const int idx = static_cast<int>(from % t.ringLen);
        const int run = std::min(frames, t.ringLen - idx);
        const int16_t* src = t.ring + 2 * idx;
        float* l = floatOutL + at;
        float* r = floatOutR + at;
        for (int k = 0; k < run; ++k) {
            const int16_t a = src[2 * k];
            const int16_t c = src[2 * k + 1];
            l[k] += static_cast<float>(a) * gl;
            r[k] += static_cast<float>(c) * gr;
            peakL = std::max(peakL, a);
            peakR = std::max(peakR, c);
        }
        frames -= run;
        from += run;
        at += run;
    }
}

}  // namespace

int GetSamples(void* out, int n)
{
    n = clampInt(n, 0, kFloatOutSize);
    auto* o = static_cast<int16_t*>(out);
    const int64_t now = TimeLine.load(std::memory_order_relaxed);
    const int32_t master = MasterVol.load(std::memory_order_relaxed);
    std::fill(floatOutL, floatOutL + n, 0.0f);
    std::fill(floatOutR, floatOutR + n, 0.0f);

    ttQPeaksRec& row = ttTrackPeaksQueue[ttQWPos];
    const ttQPeaksRec& due = ttTrackPeaksQueue[ttQRPos];
    for (int i = 0; i < kTrackCount; ++i) {
        bool mixed = false;
        int16_t peakL = 0;
        int16_t peakR = 0;
        for (int done = 0; done < n;) {
            const TrackBlock b = takeTrack(Tracks[i], now + done, n - done);
            if (b.mixed) {
                float gl = 0.0f;
                float gr = 0.0f;
                trackGains(b.volume, b.pan, master, &gl, &gr);
                mixRing(Tracks[i], b.from, b.frames, done, gl, gr, peakL, peakR);
                mixed = true;
            }
            done += std::max(b.span, 1);
        }
        if (!mixed) {
            row.left[i] = row.right[i] = 0;
            continue;
        }
        raisePeak(ttTrackPeaks[i], due.left[i]);
        raisePeak(ttTrackPeaks[i + kTrackCount], due.right[i]);
        row.left[i] = peakL;
        row.right[i] = peakR;
    }
    ttQWPos = static_cast<int16_t>((ttQWPos + 1) % 16);
    ttQRPos = static_cast<int16_t>(((ttDistance.load(std::memory_order_relaxed) + ttQWPos) % 16 + 16) % 16);

    if (vetroRenderData.active) {
        vetroRenderData.blockFrames = n;
        vetroRenderData.blockStart = now;
        vetroRenderData.barFrames = 4 * BPM.load(std::memory_order_relaxed);
        vetroRenderData.masterGain = static_cast<float>(master * (1.0 / 127));
        vetroRenderData.outL = floatOutL;
        vetroRenderData.outR = floatOutR;
        Vetro_RenderToMixer();
    }
    SynthFloatRender(&RealtimeSynth, floatOutL, floatOutR, now, static_cast<float>(master), n);

    for (int k = 0; k < n; ++k) {
        o[2 * k] = toSample(floatOutL[k]);
        o[2 * k + 1] = toSample(floatOutR[k]);
    }
    TimeLine.store(now + n, std::memory_order_release);
    if (MixBlockObserver observe = GetSamplesObserver.load(std::memory_order_acquire)) observe(now, o, n);
    return n;
}

int GetResampled(void* out, int n)
{
    auto* o = static_cast<int16_t*>(out);
    if (!resBuf || n <= 0 || n > resBufFrames) {
        if (n > 0) std::memset(o, 0, static_cast<size_t>(n) * 4);
        return n;
    }
    const int64_t rbpm = ResampledBPM.load(std::memory_order_relaxed);
    const int64_t bpm = BPM.load(std::memory_order_relaxed);
    int64_t need = rbpm > 0 ? bpm * n / rbpm : n;
    // At least one frame, and never more than the buffer takes beside a block.
    need = std::clamp<int64_t>(need, 1, resBufFrames - kMixBlock);
    if (KeyLock_Runs(resBufPtr)) {
        KeyLock_Resampled(o, n, static_cast<int>(need), resBufFrames);
        return n;
    }
    while (resBufPtr < need) {
        GetSamples(resBuf + 2 * resBufPtr, kMixBlock);
        resBufPtr += kMixBlock;
    }
    Resample(o, resBuf, n, static_cast<int>(need));
    KeyLock_Heard(resBuf, static_cast<int>(need));
    resBufPtr -= static_cast<int32_t>(need);
    std::memmove(resBuf, resBuf + 2 * need, static_cast<size_t>(resBufPtr) * 4);
    return n;
}

namespace {

// The interpolation proper; Index holds positions in hundredths of a frame.
template <typename Index>
void interpolate(int16_t* out, const int16_t* in, int outFrames, int inFrames, float step)
{
    const Index last = inFrames - 1;
    const double s = step;
    for (int i = 0; i < outFrames; ++i) {
        // A float step times a whole number below 2^31 is exact in double,
        // as in extended precision.
        const auto p = static_cast<Index>(s * (i * 100.0));
        const Index idx = p / 100;
        if (idx >= last) {
            const Index j = std::min(idx, last);
            out[2 * i] = in[2 * j];
            out[2 * i + 1] = in[2 * j + 1];
            continue;
        }
        const double frac = kFrac.v[p - idx * 100];
        const int16_t* a = in + 2 * idx;
        out[2 * i] = static_cast<int16_t>(static_cast<int>(a[0] + (a[2] - a[0]) * frac));
        out[2 * i + 1] = static_cast<int16_t>(static_cast<int>(a[1] + (a[3] - a[1]) * frac));
    }
}

}  // namespace

int Resample(int16_t* out, const int16_t* in, int outFrames, int inFrames)
{
    if (inFrames == outFrames) {
        std::memcpy(out, in, static_cast<size_t>(outFrames) * 4);
        return outFrames;
    }
    if (inFrames <= 0 || outFrames <= 0) {
        if (outFrames > 0) std::memset(out, 0, static_cast<size_t>(outFrames) * 4);
        return outFrames;
    }
    const float step = static_cast<float>(inFrames) / static_cast<float>(outFrames);
    // Positions stay below inFrames x 100: 32 bits do for the mixer's blocks.
    if (inFrames < 20000000) {
        interpolate<int32_t>(out, in, outFrames, inFrames, step);
    } else {
        interpolate<int64_t>(out, in, outFrames, inFrames, step);
    }
    return outFrames;
}

int InitResampler(int blockLen)
{
    const int frames = 4 * blockLen;
    if (!resBuf || resBufFrames != frames) {
        ResetResampler();
        resBuf = frames > 0 ? static_cast<int16_t*>(M_alloc(frames * 4)) : nullptr;
        resBufFrames = resBuf ? frames : 0;
    }
    resBufPtr = 0;
    KeyLock_Start();
    return 0;
}

int ResetResampler()
{
    KeyLock_Stop();
    M_free(resBuf);
    resBuf = nullptr;
    resBufFrames = 0;
    resBufPtr = 0;
    return 0;
}

int SetMixBPM(int milliBpm)
{
    const int64_t bpm = BPM.load();
    if (bpm <= 0 || milliBpm <= 0) return ResampledBPM.load();
    const long double framesPerBeat = (static_cast<long double>(SAMPFREQ.load()) * 60.0) /
                                      (static_cast<long double>(milliBpm) * static_cast<long double>(0.001f));
    int64_t r = framesPerBeat >= INT32_MAX ? INT32_MAX : static_cast<int64_t>(framesPerBeat);
    if (13 * r < 10 * bpm) r = (10 * bpm) / 13;
    ttDistance.store(static_cast<int16_t>((16 * r / 2) / bpm));
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
