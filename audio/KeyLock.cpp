#include "audio/KeyLock.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "audio/OVMixer.h"
#include "audio/OVTrack.h"
#include "audio/Winaudio.h"
#include "platform/PlatStretch.h"

namespace {

// Output frames one pass of the stage makes; longer blocks go in pieces.
constexpr int kStageBlock = kMixBlock;
// Song frames kept of what was heard, to lead the stretcher in.
constexpr int kHistory = 8192;
// Feeds per block before the stage gives up (a stretcher that takes
// without giving): silence rather than a hang.
constexpr int kMostFeeds = 64;
constexpr float kFromShort = 1.0f / 32768.0f;

std::atomic<bool> wanted{false};
std::atomic<int64_t> beatBase{-1};

// The stage. Changed by the main thread only under the device lock (or
// while no output runs); otherwise the output timer thread's.
std::unique_ptr<PlatStretcher> stretch;
bool primeDue = false;  // the stretcher was reset and waits for its lead-in
bool engaged = false;   // the stretcher is fed and its output used
float gain = 0.0f;      // 0 the resampler is heard, 1 the stretcher
int32_t fedPtr = 0;     // frames of resBuf the stretcher has had
int dropLeft = 0;       // output frames still to drop (the stretcher's delay)

// In 16-bit units, as the mixer keeps them (unclamped while the main mix
// has effects).
float historyL[kHistory], historyR[kHistory];
int historyEnd = 0;  // next frame written; the ring is full from the start (silence)

float inL[kPlatStretchFeed], inR[kPlatStretchFeed];
float outL[kStageBlock], outR[kStageBlock];
float dropL[kStageBlock], dropR[kStageBlock];
float plain[2 * kStageBlock];

int16_t toShort(float x)
{
    const float v = x * 32768.0f;
    if (v >= 32767.0f) return 32767;
    if (v <= -32767.0f) return -32767;
    return static_cast<int16_t>(static_cast<int>(v));
}

KeyLockMaker maker = PlatStretcher_Live;

bool makeStretcher()
{
    if (!stretch) stretch = maker(1.0);
    return stretch != nullptr;
}

// Feeds the song frames [from, from + count) the mixer holds.
void feed(int from, int count)
{
    while (count > 0) {
        const int n = std::min(count, kPlatStretchFeed);
        MixerRead(from, n, inL, inR, kFromShort);
        const float* in[2] = {inL, inR};
        stretch->feed(in, n, false);
        from += n;
        count -= n;
    }
}

// Feeds `count` frames of the history from frame `from` of its ring.
void feedHistory(int from, int count)
{
    const int n = std::min(count, kPlatStretchFeed);
    for (int i = 0; i < n; ++i) {
        inL[i] = historyL[from + i] * kFromShort;
        inR[i] = historyR[from + i] * kFromShort;
    }
    const float* in[2] = {inL, inR};
    stretch->feed(in, n, false);
}

// Drops what is left of the stretcher's delay from its output.
void dropDelay()
{
    float* out[2] = {dropL, dropR};
    while (dropLeft > 0) {
        const int n = std::min({dropLeft, stretch->ready(), kStageBlock});
        if (n <= 0) return;
        dropLeft -= stretch->take(out, n);
    }
}

// Leads the stretcher in with the song frames heard last, so that its
// first output frame is the first frame of resBuf.
void prime(double ratio)
{
    stretch->setRatio(ratio);
    int pad = stretch->startPad();
    // Older than the history reaches: silence.
    while (pad > kHistory) {
        const int n = std::min(pad - kHistory, kPlatStretchFeed);
        std::fill(inL, inL + n, 0.0f);
        std::fill(inR, inR + n, 0.0f);
        const float* in[2] = {inL, inR};
        stretch->feed(in, n, false);
        pad -= n;
    }
    int from = (historyEnd - pad + kHistory) % kHistory;
    while (pad > 0) {
        const int n = std::min({pad, kHistory - from, kPlatStretchFeed});
        feedHistory(from, n);
        pad -= n;
        from = (from + n) % kHistory;
    }
    dropLeft = stretch->startDelay();
    fedPtr = 0;
    primeDue = false;
    engaged = true;
}

// n stretched frames into outL/outR, feeding the stretcher from resBuf (and
// mixing more song frames into it as needed). False: it could not keep up.
bool stretchBlock(int n, int capacity)
{
    for (int feeds = 0; feeds < kMostFeeds; ++feeds) {
        dropDelay();
        if (dropLeft == 0 && stretch->ready() >= n) {
            float* out[2] = {outL, outR};
            return stretch->take(out, n) == n;
        }
        const int want = std::clamp(stretch->framesWanted(), 256, kPlatStretchFeed);
        while (resBufPtr < fedPtr + want) {
            if (resBufPtr + kMixStep > capacity) return false;
            MixerFill(resBufPtr + kMixStep);
        }
        feed(fedPtr, want);
        fedPtr += want;
    }
    return false;
}

// Keeps the first `count` song frames the mixer holds, just heard.
void keepHeard(int count)
{
    int from = 0;
    if (count >= kHistory) {
        from = count - kHistory;
        count = kHistory;
    }
    while (count > 0) {
        const int n = std::min(count, kHistory - historyEnd);
        MixerRead(from, n, historyL + historyEnd, historyR + historyEnd, 1.0f);
        historyEnd = (historyEnd + n) % kHistory;
        from += n;
        count -= n;
    }
}

void publishBeat()
{
    // What is heard starts at resBuf; the resampler alone keeps less than
    // a block there, half a block on average, which the beat counts in.
    if (engaged || resBufPtr >= kMixBlock) {
        beatBase.store(TimeLine.load(std::memory_order_relaxed) - resBufPtr + kMixBlock / 2);
    } else {
        beatBase.store(-1);
    }
}

void onePass(float* o, int n, int need, int capacity)
{
    const bool on = wanted.load(std::memory_order_relaxed);
    if (on && primeDue) prime(static_cast<double>(n) / need);
    const float target = on ? 1.0f : 0.0f;
    bool stretched = false;
    if (engaged) {
        stretch->setRatio(static_cast<double>(n) / need);
        stretched = stretchBlock(n, capacity);
        if (!stretched) {
            std::fill(outL, outL + n, 0.0f);
            std::fill(outR, outR + n, 0.0f);
        }
    }
    MixerFill(need);
    const bool plainHeard = !engaged || gain < 1.0f || target < 1.0f;
    if (plainHeard) MixerResample(plain, n, need);
    const float step = 1.0f / kKeyLockFade;
    for (int i = 0; i < n; ++i) {
        if (gain < target) gain = std::min(target, gain + step);
        if (gain > target) gain = std::max(target, gain - step);
        if (!engaged || gain <= 0.0f) {
            o[2 * i] = plain[2 * i];
            o[2 * i + 1] = plain[2 * i + 1];
        } else if (gain >= 1.0f) {
            o[2 * i] = outL[i] * 32768.0f;
            o[2 * i + 1] = outR[i] * 32768.0f;
        } else {
            const float g = gain;
            o[2 * i] = (outL[i] * g + plain[2 * i] * kFromShort * (1.0f - g)) * 32768.0f;
            o[2 * i + 1] = (outR[i] * g + plain[2 * i + 1] * kFromShort * (1.0f - g)) * 32768.0f;
        }
    }
    keepHeard(need);
    fedPtr = std::max(0, fedPtr - need);
    MixerConsume(need);
    // Fully back on the resampler: the stretcher rests until key lock is
    // turned on again (and then starts afresh).
    if (engaged && !on && gain <= 0.0f) engaged = false;
    publishBeat();
}

}  // namespace

bool KeyLock_Set(bool on)
{
    // Made before the lock is taken: a stretcher takes long enough to build
    // that the sound card would wait for it. One not needed after all goes
    // once the lock is let go.
    std::unique_ptr<PlatStretcher> made;
    if (on) {
        bool have = false;
        {
            MixerLock hold;
            have = stretch != nullptr;
        }
        if (!have && !(made = maker(1.0))) return false;
    }
    MixerLock hold;
    if (made && !stretch) stretch = std::move(made);
    wanted.store(on);
    if (on && !engaged && !primeDue) {
        stretch->reset();
        primeDue = true;
    }
    if (!on && !engaged) primeDue = false;
    return true;
}

bool KeyLock_On()
{
    return wanted.load();
}

void KeyLock_SetMaker(KeyLockMaker m)
{
    std::unique_ptr<PlatStretcher> old;
    MixerLock hold;
    maker = m ? m : PlatStretcher_Live;
    if (!wanted.load() && !engaged) old = std::move(stretch);
}

int64_t KeyLock_BeatTimeLine()
{
    const int64_t base = beatBase.load();
    return base >= 0 ? base : TimeLine.load();
}

void KeyLock_Start()
{
    engaged = false;
    primeDue = false;
    beatBase.store(-1);
    std::fill(historyL, historyL + kHistory, 0.0f);
    std::fill(historyR, historyR + kHistory, 0.0f);
    historyEnd = 0;
    if (wanted.load() && makeStretcher()) {
        // A playback starts at once on the stretcher, led in by silence.
        stretch->reset();
        primeDue = true;
        gain = 1.0f;
    } else {
        gain = 0.0f;
    }
}

void KeyLock_Stop()
{
    engaged = false;
    primeDue = false;
    gain = 0.0f;
    beatBase.store(-1);
}

bool KeyLock_Runs(int32_t resPtr)
{
    return engaged || primeDue || resPtr >= kMixBlock;
}

void KeyLock_Resampled(float* out, int n, int need, int capacity)
{
    // Longer blocks in pieces, each with its share of the song frames.
    int done = 0;
    int taken = 0;
    while (done < n) {
        const int piece = std::min(kStageBlock, n - done);
        const int end = static_cast<int>(static_cast<int64_t>(need) * (done + piece) / n);
        onePass(out + 2 * done, piece, std::max(1, end - taken), capacity);
        taken = std::max(end, taken + 1);
        done += piece;
    }
}

void KeyLock_Heard(int count)
{
    keepHeard(count);
}

// ---- Renders -------------------------------------------------------------------

struct KeyLockRender::Impl {
    std::unique_ptr<PlatStretcher> s;
    int64_t total = 0;
    int64_t given = 0;
    bool ended = false;
    std::vector<float> l, r;
};

KeyLockRender::KeyLockRender(int32_t inPerBeat, int32_t outPerBeat, int64_t inputFrames) : impl_(new Impl)
{
    if (inPerBeat <= 0 || outPerBeat <= 0 || inputFrames < 0) return;
    impl_->total = inputFrames * outPerBeat / inPerBeat;
    impl_->s = PlatStretcher_Render(static_cast<double>(outPerBeat) / inPerBeat, inputFrames);
    impl_->l.resize(kPlatStretchFeed);
    impl_->r.resize(kPlatStretchFeed);
}

KeyLockRender::~KeyLockRender() = default;

bool KeyLockRender::ok() const
{
    return impl_->s != nullptr;
}

void KeyLockRender::put(const int16_t* frames, int count, bool last)
{
    if (!impl_->s || impl_->ended) return;
    do {
        const int n = std::min(count, kPlatStretchFeed);
        for (int i = 0; i < n; ++i) {
            impl_->l[i] = frames[2 * i] * kFromShort;
            impl_->r[i] = frames[2 * i + 1] * kFromShort;
        }
        const float* in[2] = {impl_->l.data(), impl_->r.data()};
        frames += 2 * n;
        count -= n;
        impl_->s->feed(in, n, last && count == 0);
    } while (count > 0);
    impl_->ended = last;
}

int KeyLockRender::take(int16_t* out, int max)
{
    if (!impl_->s) return 0;
    int moved = 0;
    while (moved < max && impl_->given < impl_->total) {
        const int64_t room = std::min<int64_t>(max - moved, impl_->total - impl_->given);
        const int ready = impl_->s->ready();
        int n = static_cast<int>(std::min<int64_t>({room, kPlatStretchFeed, ready < 0 ? room : ready}));
        if (ready < 0) {
            // The stretcher gave all it had: the exact length is made up with silence.
            std::memset(out + 2 * moved, 0, static_cast<size_t>(n) * 4);
        } else {
            if (n == 0) break;
            float* o[2] = {impl_->l.data(), impl_->r.data()};
            n = impl_->s->take(o, n);
            for (int i = 0; i < n; ++i) {
                out[2 * (moved + i)] = toShort(impl_->l[i]);
                out[2 * (moved + i) + 1] = toShort(impl_->r[i]);
            }
        }
        moved += n;
        impl_->given += n;
    }
    return moved;
}

int64_t KeyLockRender::left() const
{
    return impl_->total - impl_->given;
}
