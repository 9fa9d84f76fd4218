#include "audio/OVMixer.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "audio/KeyLock.h"
#include "audio/LoopCache.h"
#include "audio/OVTrack.h"
#include "audio/Synth.h"
#include "audio/Vetro.h"
#include "audio/WinApi.h"
#include "audio/Winaudio.h"

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

namespace {

// The user-loop stage renders whole blocks aligned on the timeline, as it
// always has; a shorter stretch takes its part of the block's render.
float vetroBlockL[kMixBlock];
float vetroBlockR[kMixBlock];
int64_t vetroBlockAt = -1;  // the block rendered there, -1 none

void addUserLoop(int64_t now, int at, int n, int32_t master)
{
    const int64_t block = now - now % kMixBlock;
    if (block != vetroBlockAt) {
        std::fill(vetroBlockL, vetroBlockL + kMixBlock, 0.0f);
        std::fill(vetroBlockR, vetroBlockR + kMixBlock, 0.0f);
        vetroRenderData.blockFrames = kMixBlock;
        vetroRenderData.blockStart = block;
        vetroRenderData.barFrames = 4 * BPM.load(std::memory_order_relaxed);
        vetroRenderData.masterGain = static_cast<float>(master * (1.0 / 127));
        vetroRenderData.outL = vetroBlockL;
        vetroRenderData.outR = vetroBlockR;
        Vetro_RenderToMixer();
        vetroBlockAt = block;
    }
    const int64_t from = now - block;
    for (int k = 0; k < n; ++k) {
        floatOutL[at + k] += vetroBlockL[from + k];
        floatOutR[at + k] += vetroBlockR[from + k];
    }
}

// The meters count whole blocks aligned on the timeline whatever the
// stretches the mixer is asked for.
struct BlockPeaks {
    bool mixed[kTrackCount] = {};
    int16_t left[kTrackCount] = {};
    int16_t right[kTrackCount] = {};
};
BlockPeaks blockPeaks;

void endMeterBlock()
{
    ttQPeaksRec& row = ttTrackPeaksQueue[ttQWPos];
    const ttQPeaksRec& due = ttTrackPeaksQueue[ttQRPos];
    for (int i = 0; i < kTrackCount; ++i) {
        if (!blockPeaks.mixed[i]) {
            row.left[i] = row.right[i] = 0;
            continue;
        }
        raisePeak(ttTrackPeaks[i], due.left[i]);
        raisePeak(ttTrackPeaks[i + kTrackCount], due.right[i]);
        row.left[i] = blockPeaks.left[i];
        row.right[i] = blockPeaks.right[i];
    }
    blockPeaks = BlockPeaks{};
    ttQWPos = static_cast<int16_t>((ttQWPos + 1) % 16);
    // The meters trail the mix by what lies between it and the speaker: the
    // queue's blocks (ttDistance), or with the card pulling about one block.
    const int distance = wDBPulls() ? 15 : ttDistance.load(std::memory_order_relaxed);
    ttQRPos = static_cast<int16_t>(((distance + ttQWPos) % 16 + 16) % 16);
}

// Mixes n frames from `now`, within one timeline block, into out.
void mixStretch(int16_t* o, int64_t now, int n)
{
    const int32_t master = MasterVol.load(std::memory_order_relaxed);
    std::fill(floatOutL, floatOutL + n, 0.0f);
    std::fill(floatOutR, floatOutR + n, 0.0f);
    const bool pulled = LoopCache_Resident();
    for (int i = 0; i < kTrackCount; ++i) {
        if (pulled) TrackPull(i, now + n);
        for (int done = 0; done < n;) {
            const TrackBlock b = takeTrack(Tracks[i], now + done, n - done);
            if (b.mixed) {
                float gl = 0.0f;
                float gr = 0.0f;
                trackGains(b.volume, b.pan, master, &gl, &gr);
                mixRing(Tracks[i], b.from, b.frames, done, gl, gr, blockPeaks.left[i], blockPeaks.right[i]);
                blockPeaks.mixed[i] = true;
            }
            done += std::max(b.span, 1);
        }
    }
    if (vetroRenderData.active) addUserLoop(now, 0, n, master);
    SynthFloatRender(&RealtimeSynth, floatOutL, floatOutR, now, static_cast<float>(master), n);
    for (int k = 0; k < n; ++k) {
        o[2 * k] = toSample(floatOutL[k]);
        o[2 * k + 1] = toSample(floatOutR[k]);
    }
    if ((now + n) % kMixBlock == 0) endMeterBlock();
}

}  // namespace

int GetSamples(void* out, int n)
{
    n = clampInt(n, 0, kFloatOutSize);
    auto* o = static_cast<int16_t*>(out);
    const int64_t start = TimeLine.load(std::memory_order_relaxed);
    for (int done = 0; done < n;) {
        const int64_t now = start + done;
        const int stretch = static_cast<int>(std::min<int64_t>(n - done, kMixBlock - now % kMixBlock));
        mixStretch(o + 2 * done, now, stretch);
        done += stretch;
        TimeLine.store(now + stretch, std::memory_order_release);
    }
    if (MixBlockObserver observe = GetSamplesObserver.load(std::memory_order_acquire)) observe(start, o, n);
    return n;
}

namespace {

// The resampler works in chunks of kMixBlock output frames, each standing
// for the song frames the tempo gives it, read once at the chunk's start;
// a chunk is made in as many pieces as the output asks for, and the song
// frames of a piece are mixed only when it is made: a change is heard at
// the next piece, and the sound is the same whatever the pieces.
constexpr int kResampleChunk = kMixBlock;
int32_t chunkNeed = 0;  // song frames of the chunk being made
int32_t chunkDone = 0;  // its output frames made
bool chunkKeyLocked = false;

int32_t chunkNeedNow()
{
    const int64_t rbpm = ResampledBPM.load(std::memory_order_relaxed);
    const int64_t bpm = BPM.load(std::memory_order_relaxed);
    const int64_t need = rbpm > 0 ? bpm * kResampleChunk / rbpm : kResampleChunk;
    // At least one frame, and never more than the buffer takes beside a block.
    return static_cast<int32_t>(std::clamp<int64_t>(need, 1, resBufFrames - kMixBlock));
}

void interpolateRange(int16_t* out, const int16_t* in, int from, int to, int outFrames, int inFrames);

// Song frames output frames [0, upTo) of a chunk read.
int inputFor(int upTo, int outFrames, int inFrames)
{
    if (inFrames == outFrames || upTo >= outFrames) return upTo >= outFrames ? inFrames : upTo;
    const float step = static_cast<float>(inFrames) / static_cast<float>(outFrames);
    const auto p = static_cast<int64_t>(static_cast<double>(step) * ((upTo - 1) * 100.0));
    return static_cast<int>(std::min<int64_t>(p / 100 + 2, inFrames));
}

}  // namespace

namespace {

std::atomic<bool> markWanted{false};
std::atomic<bool> markMade{false};
std::atomic<double> markFrame{0};
std::atomic<double> markStep{1};

void markPull()
{
    if (!markWanted.exchange(false, std::memory_order_relaxed)) return;
    if (!resBuf || (chunkDone > 0 && chunkKeyLocked) || KeyLock_On()) return;
    // The buffer's first frame is the chunk's first song frame.
    const int32_t need = chunkDone > 0 ? chunkNeed : chunkNeedNow();
    const double step = static_cast<double>(need) / kResampleChunk;
    markFrame.store(static_cast<double>(TimeLine.load(std::memory_order_relaxed) - resBufPtr) + chunkDone * step,
                    std::memory_order_relaxed);
    markStep.store(step, std::memory_order_relaxed);
    markMade.store(true, std::memory_order_relaxed);
}

}  // namespace

void ResampledMarkNextPull()
{
    markMade.store(false, std::memory_order_relaxed);
    markWanted.store(true, std::memory_order_relaxed);
}

bool ResampledTakeMark(double* frame, double* perOutput)
{
    markWanted.store(false, std::memory_order_relaxed);
    if (!markMade.exchange(false, std::memory_order_relaxed)) return false;
    *frame = markFrame.load(std::memory_order_relaxed);
    *perOutput = markStep.load(std::memory_order_relaxed);
    return true;
}

int GetResampled(void* out, int n)
{
    auto* o = static_cast<int16_t*>(out);
    markPull();
    if (!resBuf || n <= 0) {
        if (n > 0) std::memset(o, 0, static_cast<size_t>(n) * 4);
        return n;
    }
    for (int done = 0; done < n;) {
        if (chunkDone == 0) {
            chunkNeed = chunkNeedNow();
            chunkKeyLocked = KeyLock_Runs(resBufPtr);
        }
        const int piece = std::min(n - done, kResampleChunk - chunkDone);
        int16_t* to = o + 2 * done;
        if (chunkKeyLocked) {
            // Its share of the chunk's song frames.
            const auto before = static_cast<int>(int64_t{chunkNeed} * chunkDone / kResampleChunk);
            const auto after = static_cast<int>(int64_t{chunkNeed} * (chunkDone + piece) / kResampleChunk);
            KeyLock_Resampled(to, piece, std::max(1, after - before), resBufFrames);
        } else {
            const int wanted = inputFor(chunkDone + piece, kResampleChunk, chunkNeed);
            while (resBufPtr < wanted) {
                GetSamples(resBuf + 2 * resBufPtr, kMixStep);
                resBufPtr += kMixStep;
            }
            interpolateRange(to, resBuf, chunkDone, chunkDone + piece, kResampleChunk, chunkNeed);
        }
        chunkDone += piece;
        done += piece;
        if (chunkDone < kResampleChunk) continue;
        chunkDone = 0;
        if (chunkKeyLocked) continue;
        KeyLock_Heard(resBuf, chunkNeed);
        resBufPtr -= chunkNeed;
        std::memmove(resBuf, resBuf + 2 * chunkNeed, static_cast<size_t>(resBufPtr) * 4);
    }
    return n;
}

namespace {

// The interpolation proper, output frames [from, to); Index holds
// positions in hundredths of a frame.
template <typename Index>
void interpolate(int16_t* out, const int16_t* in, int from, int to, int inFrames, float step)
{
    const Index last = inFrames - 1;
    const double s = step;
    for (int i = from; i < to; ++i, out += 2) {
        // A float step times a whole number below 2^31 is exact in double,
        // as in extended precision.
        const auto p = static_cast<Index>(s * (i * 100.0));
        const Index idx = p / 100;
        if (idx >= last) {
            const Index j = std::min(idx, last);
            out[0] = in[2 * j];
            out[1] = in[2 * j + 1];
            continue;
        }
        const double frac = kFrac.v[p - idx * 100];
        const int16_t* a = in + 2 * idx;
        out[0] = static_cast<int16_t>(static_cast<int>(a[0] + (a[2] - a[0]) * frac));
        out[1] = static_cast<int16_t>(static_cast<int>(a[1] + (a[3] - a[1]) * frac));
    }
}

void interpolateRange(int16_t* out, const int16_t* in, int from, int to, int outFrames, int inFrames)
{
    if (inFrames == outFrames) {
        std::memcpy(out, in + 2 * from, static_cast<size_t>(to - from) * 4);
        return;
    }
    if (inFrames <= 0 || outFrames <= 0) {
        if (to > from) std::memset(out, 0, static_cast<size_t>(to - from) * 4);
        return;
    }
    const float step = static_cast<float>(inFrames) / static_cast<float>(outFrames);
    // Positions stay below inFrames x 100: 32 bits do for the mixer's blocks.
    if (inFrames < 20000000) {
        interpolate<int32_t>(out, in, from, to, inFrames, step);
    } else {
        interpolate<int64_t>(out, in, from, to, inFrames, step);
    }
}

}  // namespace

int Resample(int16_t* out, const int16_t* in, int outFrames, int inFrames)
{
    if (outFrames > 0) interpolateRange(out, in, 0, outFrames, outFrames, inFrames);
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
    chunkDone = 0;
    vetroBlockAt = -1;
    blockPeaks = BlockPeaks{};
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
    chunkDone = 0;
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
