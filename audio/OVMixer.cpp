#include "audio/OVMixer.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "audio/KeyLock.h"
#include "audio/LoopCache.h"
#include "audio/OVTrack.h"
#include "audio/Synth.h"
#include "audio/Vetro.h"
#include "audio/Vtrack.h"
#include "audio/WinApi.h"
#include "audio/Winaudio.h"
#include "audio/fx/FxRack.h"

float floatOutL[kFloatOutSize];
float floatOutR[kFloatOutSize];
int16_t* resBuf = nullptr;
float* resWide = nullptr;
int32_t resBufPtr = 0;
std::atomic<double> MixFramesPerBeat{22050.0};
std::atomic<int32_t> MasterVol{128};
std::atomic<int64_t> ResampledFrames{0};
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
    // Effects ring on after a loop ends: what follows them is always known.
    b.volume = t.volume;
    b.pan = t.pan;
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
    // Frames past writePos are not written yet: they count as silence.
    b.frames = static_cast<int>(std::min<int64_t>(b.span, t.writePos - now));
    b.from = now;
    return b;
}

// Adds `frames` ring frames from timeline frame `from` into the
// accumulators at `at`, the ring's end passed over; raises the peaks.
void mixRing(const TRACK& t, int64_t from, int frames, int at, float gl, float gr, int16_t& peakL,
             int16_t& peakR)
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

// A track's effects run on the song's timeline, where the track's loop
// is, before the mix is brought to the mix tempo: the tracks are summed
// there, and only their sum is resampled or stretched. So a track's delay
// counts the song's beat (BPM frames), which the resampler turns into the
// mix tempo's beat as it does the loops'; and a song frame is heard at
// ratio = mix tempo / song tempo, so what is measured in heard time (a
// reverb's ring) counts SAMPFREQ x ratio frames a second, and what is
// measured in Hz does too unless key lock stretches the sum and keeps its
// frequencies, when it counts SAMPFREQ. Given those rates, a cutoff of
// 500 Hz is heard at 500 Hz and a room rings as long at every tempo.
FxContext trackContext()
{
    FxContext c;
    const double bpm = BPM.load(std::memory_order_relaxed);
    const double mixBpm = ResampledBPM.load(std::memory_order_relaxed);
    const double rate = SAMPFREQ.load(std::memory_order_relaxed);
    const double ratio = bpm > 0 && mixBpm > 0 ? bpm / mixBpm : 1.0;
    c.framesPerBeat = bpm > 0 ? bpm : rate / 2;
    c.timeRate = rate * ratio;
    c.freqRate = KeyLock_On() ? rate : rate * ratio;
    return c;
}

float fxL[kMixBlock];
float fxR[kMixBlock];

// One track with effects: its frames (silence where it has none, so that
// echoes ring on) through its rack, then its volume and pan.
void mixTrackFx(int i, FxRack& rack, int64_t now, int n, int32_t master)
{
    struct Stretch {
        int at, span;
        int32_t volume, pan;
    };
    Stretch stretches[8];
    int count = 0;
    TRACK& t = Tracks[i];
    std::fill(fxL, fxL + n, 0.0f);
    std::fill(fxR, fxR + n, 0.0f);
    constexpr float kIn = 1.0f / 32768.0f;
    for (int done = 0; done < n;) {
        const TrackBlock b = takeTrack(t, now + done, n - done);
        const int span = std::max(b.span, 1);
        if (b.mixed) {
            int64_t from = b.from;
            for (int k = 0, left = b.frames; left > 0;) {
                const int idx = static_cast<int>(from % t.ringLen);
                const int run = std::min(left, t.ringLen - idx);
                const int16_t* src = t.ring + 2 * idx;
                for (int j = 0; j < run; ++j) {
                    fxL[done + k + j] = src[2 * j] * kIn;
                    fxR[done + k + j] = src[2 * j + 1] * kIn;
                }
                k += run;
                left -= run;
                from += run;
            }
        }
        if (count > 0 &&
            (count == 8 || (stretches[count - 1].volume == b.volume && stretches[count - 1].pan == b.pan))) {
            stretches[count - 1].span += span;
        } else {
            stretches[count++] = {done, span, b.volume, b.pan};
        }
        done += span;
    }
    rack.runFrom(fxL, fxR, n, trackContext(), now);
    for (int k = 0; k < count; ++k) {
        const Stretch& s = stretches[k];
        if (s.volume == 0) continue;
        float gl = 0.0f;
        float gr = 0.0f;
        trackGains(s.volume, s.pan, master, &gl, &gr);
        gl *= 32768.0f;
        gr *= 32768.0f;
        int16_t& peakL = blockPeaks.left[i];
        int16_t& peakR = blockPeaks.right[i];
        const int end = std::min(s.at + s.span, n);
        for (int j = s.at; j < end; ++j) {
            floatOutL[j] += fxL[j] * gl;
            floatOutR[j] += fxR[j] * gr;
            peakL = std::max(peakL, toSample(fxL[j] * 32768.0f));
            peakR = std::max(peakR, toSample(fxR[j] * 32768.0f));
        }
        blockPeaks.mixed[i] = true;
    }
}

// Mixes n frames from `now`, within one timeline block, into out (16-bit
// frames) or, while the main mix has effects, into wide (the same values
// without the 16-bit limits).
void mixStretch(int16_t* o, float* wide, int64_t now, int n)
{
    const int32_t master = MasterVol.load(std::memory_order_relaxed);
    std::fill(floatOutL, floatOutL + n, 0.0f);
    std::fill(floatOutR, floatOutR + n, 0.0f);
    const bool pulled = LoopCache_Resident();
    FxBoard& board = Fx_LiveBoard();
    for (int i = 0; i < kTrackCount; ++i) {
        if (pulled) TrackPull(i, now + n);
        FxRack& rack = board.rack(i);
        if (rack.busyBefore(now + n)) {
            mixTrackFx(i, rack, now, n, master);
            continue;
        }
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
    if (wide) {
        // Whole numbers as the 16-bit mix has them, without its limits.
        for (int k = 0; k < n; ++k) {
            wide[2 * k] = std::trunc(floatOutL[k]);
            wide[2 * k + 1] = std::trunc(floatOutR[k]);
        }
    } else {
        for (int k = 0; k < n; ++k) {
            o[2 * k] = toSample(floatOutL[k]);
            o[2 * k + 1] = toSample(floatOutR[k]);
        }
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
        mixStretch(o + 2 * done, nullptr, now, stretch);
        done += stretch;
        TimeLine.store(now + stretch, std::memory_order_release);
    }
    if (MixBlockObserver observe = GetSamplesObserver.load(std::memory_order_acquire)) observe(start, o, n);
    return n;
}

namespace {

// GetSamples into the unclamped buffer, while the main mix has effects.
void getSamplesWide(float* out, int n)
{
    n = clampInt(n, 0, kMixBlock);
    const int64_t start = TimeLine.load(std::memory_order_relaxed);
    for (int done = 0; done < n;) {
        const int64_t now = start + done;
        const int stretch = static_cast<int>(std::min<int64_t>(n - done, kMixBlock - now % kMixBlock));
        mixStretch(nullptr, out + 2 * done, now, stretch);
        done += stretch;
        TimeLine.store(now + stretch, std::memory_order_release);
    }
    if (MixBlockObserver observe = GetSamplesObserver.load(std::memory_order_acquire)) {
        static int16_t seen[2 * kMixBlock];
        for (int k = 0; k < 2 * n; ++k) seen[k] = toSample(out[k]);
        observe(start, seen, n);
    }
}

}  // namespace

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

template <typename T>
void interpolateRange(T* out, const T* in, int from, int to, int outFrames, int inFrames);

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

// The song frame the next output frame stands for, and song frames per
// output frame; false while the stretcher makes the sound.
bool songAtNextOutput(double& frame, double& step)
{
    if (!resBuf || (chunkDone > 0 && chunkKeyLocked) || KeyLock_On()) return false;
    // The buffer's first frame is the chunk's first song frame.
    const int32_t need = chunkDone > 0 ? chunkNeed : chunkNeedNow();
    step = static_cast<double>(need) / kResampleChunk;
    frame = static_cast<double>(TimeLine.load(std::memory_order_relaxed) - resBufPtr) + chunkDone * step;
    return true;
}

void markPull()
{
    if (!markWanted.exchange(false, std::memory_order_relaxed)) return;
    double frame = 0, step = 1;
    if (!songAtNextOutput(frame, step)) return;
    markFrame.store(frame, std::memory_order_relaxed);
    markStep.store(step, std::memory_order_relaxed);
    markMade.store(true, std::memory_order_relaxed);
}

}  // namespace

bool ResampledSongAt(double* frame, double* perOutput)
{
    return songAtNextOutput(*frame, *perOutput);
}

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

namespace {

// While the main mix has effects, the chunk's song frames wait in resWide.
bool chunkWide = false;
int64_t chunkSong = 0;  // the song frame the chunk's first output frame stands for
// A piece at the mix tempo, in 16-bit units, before the main mix's effects.
float pieceOut[2 * kResampleChunk];
float mainL[kResampleChunk];
float mainR[kResampleChunk];

// The waiting frames from one buffer to the other: exact either way (the
// wide ones are whole numbers; going back they are held to 16 bits, as
// the plain mix holds them).
void switchBuffer(bool wide)
{
    if (wide) {
        for (int k = 0; k < 2 * resBufPtr; ++k) resWide[k] = resBuf[k];
    } else {
        for (int k = 0; k < 2 * resBufPtr; ++k) resBuf[k] = toSample(resWide[k]);
    }
    chunkWide = wide;
}

// An effect's frame back in 16 bits: to the nearest, held to +-32767.
int16_t rounded(double v)
{
    if (v >= 32767.0) return 32767;
    if (v <= -32767.0) return -32767;
    return static_cast<int16_t>(std::lround(v));
}

// A value of the stretcher's, in 16-bit units, as it has always been kept.
int16_t fromUnits(float v)
{
    if (v >= 32767.0f) return 32767;
    if (v <= -32767.0f) return -32767;
    return static_cast<int16_t>(static_cast<int>(v));
}

// The main mix's effects run on the mix as it is heard, after the tempo
// has been brought to the mix's: a delay counts the mix tempo's beat, a
// cutoff is in Hz at the engine's rate, and the limiter sees the frames
// that leave. They come before the main volume: the mix, made with the
// volume in its gains as ever (so that nothing jumps when effects come or
// go, key lock's stretcher included), has it taken out for them, unclamped,
// and put back after. Frames are rounded back to 16 bits, so that what no
// effect changes comes out as it went in. A change due on a song frame is
// heard from the output frame that plays that frame.
void mainEffects(const float* in, int16_t* out, int piece)
{
    const double volume = MasterVol.load(std::memory_order_relaxed) / 128.0;
    // At volume 0 nothing is heard; the effects go on with silence.
    const double into = volume > 0 ? 1.0 / (volume * 32768.0) : 0.0;
    for (int k = 0; k < piece; ++k) {
        mainL[k] = static_cast<float>(in[2 * k] * into);
        mainR[k] = static_cast<float>(in[2 * k + 1] * into);
    }
    FxRack& rack = Fx_LiveBoard().rack(kFxMain);
    FxContext c;
    c.framesPerBeat = MixFramesPerBeat.load(std::memory_order_relaxed);
    c.freqRate = c.timeRate = SAMPFREQ.load(std::memory_order_relaxed);
    const int64_t need = std::max(chunkNeed, 1);
    auto songAt = [&](int64_t j) { return chunkSong + j * need / kResampleChunk; };
    for (int done = 0; done < piece;) {
        const int64_t at = chunkDone + done;
        rack.take(songAt(at));
        int span = piece - done;
        const int64_t due = rack.dueNext();
        if (due != kFxNotDue && due > songAt(at)) {
            const int64_t heard = ((due - chunkSong) * kResampleChunk + need - 1) / need;
            if (heard > at && heard < chunkDone + piece) span = static_cast<int>(heard - at);
        }
        rack.run(mainL + done, mainR + done, span, c, songAt(at));
        done += span;
    }
    const double back = volume * 32768.0;
    for (int k = 0; k < piece; ++k) {
        out[2 * k] = rounded(mainL[k] * back);
        out[2 * k + 1] = rounded(mainR[k] * back);
    }
}

}  // namespace

void MixerFill(int frames)
{
    while (resBufPtr < frames) {
        if (chunkWide) {
            getSamplesWide(resWide + 2 * resBufPtr, kMixStep);
        } else {
            GetSamples(resBuf + 2 * resBufPtr, kMixStep);
        }
        resBufPtr += kMixStep;
    }
}

void MixerRead(int from, int count, float* left, float* right, float scale)
{
    if (chunkWide) {
        const float* f = resWide + 2 * from;
        for (int i = 0; i < count; ++i) {
            left[i] = f[2 * i] * scale;
            right[i] = f[2 * i + 1] * scale;
        }
    } else {
        const int16_t* f = resBuf + 2 * from;
        for (int i = 0; i < count; ++i) {
            left[i] = f[2 * i] * scale;
            right[i] = f[2 * i + 1] * scale;
        }
    }
}

void MixerResample(float* out, int outFrames, int inFrames)
{
    if (chunkWide) {
        interpolateRange(out, resWide, 0, outFrames, outFrames, inFrames);
        return;
    }
    static int16_t plain[2 * kResampleChunk];
    outFrames = std::min(outFrames, kResampleChunk);
    Resample(plain, resBuf, outFrames, inFrames);
    for (int k = 0; k < 2 * outFrames; ++k) out[k] = plain[k];
}

void MixerConsume(int count)
{
    resBufPtr -= count;
    if (chunkWide) {
        std::memmove(resWide, resWide + 2 * count, static_cast<size_t>(resBufPtr) * 8);
    } else {
        std::memmove(resBuf, resBuf + 2 * count, static_cast<size_t>(resBufPtr) * 4);
    }
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
            chunkSong = TimeLine.load(std::memory_order_relaxed) - resBufPtr;
            // The main mix's effects run this chunk when one is due in it.
            const bool wide = resWide && Fx_LiveBoard().rack(kFxMain).busyBefore(chunkSong + chunkNeed);
            if (wide != chunkWide) switchBuffer(wide);
        }
        const int piece = std::min(n - done, kResampleChunk - chunkDone);
        int16_t* to = o + 2 * done;
        if (chunkKeyLocked) {
            // Its share of the chunk's song frames.
            const auto before = static_cast<int>(int64_t{chunkNeed} * chunkDone / kResampleChunk);
            const auto after = static_cast<int>(int64_t{chunkNeed} * (chunkDone + piece) / kResampleChunk);
            KeyLock_Resampled(pieceOut, piece, std::max(1, after - before), resBufFrames);
            if (chunkWide) {
                mainEffects(pieceOut, to, piece);
            } else {
                for (int k = 0; k < 2 * piece; ++k) to[k] = fromUnits(pieceOut[k]);
            }
        } else if (chunkWide) {
            MixerFill(inputFor(chunkDone + piece, kResampleChunk, chunkNeed));
            interpolateRange(pieceOut, resWide, chunkDone, chunkDone + piece, kResampleChunk, chunkNeed);
            mainEffects(pieceOut, to, piece);
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
        KeyLock_Heard(chunkNeed);
        MixerConsume(chunkNeed);
    }
    ResampledFrames.fetch_add(n, std::memory_order_relaxed);
    return n;
}

namespace {

// The interpolation proper, output frames [from, to); Index holds
// positions in hundredths of a frame.
// A position's value as the plain mix keeps it, truncated toward zero.
inline void keep(int16_t* to, double v)
{
    *to = static_cast<int16_t>(static_cast<int>(v));
}
inline void keep(float* to, double v)
{
    *to = static_cast<float>(std::trunc(v));
}

template <typename Index, typename T>
void interpolate(T* out, const T* in, int from, int to, int inFrames, float step)
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
        const T* a = in + 2 * idx;
        keep(out, a[0] + (a[2] - a[0]) * frac);
        keep(out + 1, a[1] + (a[3] - a[1]) * frac);
    }
}

template <typename T>
void interpolateRange(T* out, const T* in, int from, int to, int outFrames, int inFrames)
{
    if (inFrames == outFrames) {
        std::memcpy(out, in + 2 * from, static_cast<size_t>(to - from) * 2 * sizeof(T));
        return;
    }
    if (inFrames <= 0 || outFrames <= 0) {
        if (to > from) std::memset(out, 0, static_cast<size_t>(to - from) * 2 * sizeof(T));
        return;
    }
    const float step = static_cast<float>(inFrames) / static_cast<float>(outFrames);
    // Positions stay below inFrames x 100: 32 bits do for the mixer's blocks.
    if (inFrames < 20000000) {
        interpolate<int32_t, T>(out, in, from, to, inFrames, step);
    } else {
        interpolate<int64_t, T>(out, in, from, to, inFrames, step);
    }
}

}  // namespace

int Resample(int16_t* out, const int16_t* in, int outFrames, int inFrames)
{
    if (outFrames > 0) interpolateRange(out, in, 0, outFrames, outFrames, inFrames);
    return outFrames;
}

int MixRingFrames(int blockLen)
{
    const int64_t base = 4 * int64_t{blockLen};
    const int32_t song = SongBPM;
    if (base <= 0 || song <= 0) return static_cast<int>(std::max<int64_t>(base, 0));
    // Song frames a second at the window's end, paced, against those at 1.3
    // times the song, the fastest the base size was made for.
    const double ratio = (song + kMixTempoWindow) * kMixPaceRoom / (1.3 * song);
    int64_t frames = ratio > 1 ? static_cast<int64_t>(std::ceil(static_cast<double>(base) * ratio)) : base;
    frames = (frames + kMixBlock - 1) / kMixBlock * kMixBlock;
    return static_cast<int>(std::min<int64_t>(frames, INT32_MAX / 4 / kMixBlock * kMixBlock));
}

int InitResampler(int blockLen)
{
    const int frames = MixRingFrames(blockLen);
    if (!resBuf || resBufFrames != frames) {
        ResetResampler();
        resBuf = frames > 0 ? static_cast<int16_t*>(M_alloc(frames * 4)) : nullptr;
        resWide = resBuf ? static_cast<float*>(M_alloc(frames * 8)) : nullptr;
        resBufFrames = resBuf ? frames : 0;
    }
    resBufPtr = 0;
    chunkDone = 0;
    chunkWide = false;
    ResampledFrames.store(0);
    // A playback starts in silence: no echo of the last one rings on.
    Fx_LiveBoard().resetSound(TimeLineStartFrame());
    vetroBlockAt = -1;
    blockPeaks = BlockPeaks{};
    KeyLock_Start();
    return 0;
}

int ResetResampler()
{
    KeyLock_Stop();
    M_free(resBuf);
    M_free(resWide);
    resBuf = nullptr;
    resWide = nullptr;
    resBufFrames = 0;
    resBufPtr = 0;
    chunkDone = 0;
    return 0;
}
