#include "audio/Vetro.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "audio/AudioFormat.h"
#include "audio/WinApi.h"
#include "audio/Winaudio.h"
#include "core/kelFiles.h"

vetroGlobalDataRec vetroGlobalData;
vetroRenderDataRec vetroRenderData;

namespace {

constexpr int kFadeFrames = 50;
constexpr int32_t kSaveBlock = 2000;
constexpr float kLowestRate = 1.0f / 64;
constexpr float kHighestRate = 8.0f;
constexpr int16_t kMostBars = 32;

// A recording fills the loop's block: settings leave the stage silent.
bool recordingHold = false;
uint32_t loopSerial = 0;

// The source frames of one block: region, fades and gain applied.
void fetch(const vetroRenderDataRec& r, const vetroGlobalDataRec& g, float* bufL, float* bufR)
{
    const float gain = r.masterGain * r.loopGain;
    const int64_t first = int64_t{g.regionStart} + r.srcOffset;
    const bool stereo = g.loopChannels == 2;
    const int step = stereo ? 2 : 1;
    const int16_t* data = g.loopData;
    const bool whole = g.seamless && g.regionStart == 0 && g.regionEnd == g.loopFrames;
    for (int32_t k = 0; k < r.srcFrames; ++k) {
        const int64_t s = first + k;
        if (s < g.regionStart || s >= g.regionEnd || s >= g.loopFrames || s < 0) {
            bufL[k] = 0.0f;
            bufR[k] = 0.0f;
            continue;
        }
        double w = 1.0;
        if (!whole && s < int64_t{g.regionStart} + kFadeFrames) {
            w = static_cast<double>(s - g.regionStart) * 0.02;
        } else if (!whole && s > int64_t{g.regionEnd} - kFadeFrames) {
            w = static_cast<double>(g.regionEnd - s) * 0.02;
        }
        const auto gw = static_cast<float>(gain * w);
        const int16_t* frame = data + s * step;
        bufL[k] = static_cast<float>(frame[0]) * gw;
        bufR[k] = static_cast<float>(stereo ? frame[1] : frame[0]) * gw;
    }
}

// `frames` output frames of the loop from period position `pos`, added at
// r.outL / r.outR + `at`: the source frames fetched once, then each output
// frame interpolated between two of them in hundredths.
void renderStretch(vetroRenderDataRec& r, const vetroGlobalDataRec& g, float* bufL, float* bufR, int64_t pos,
                   int32_t at, int32_t frames)
{
    const double rate = r.rate;
    // A stretch of a few frames at a slow rate still takes the frame it starts on.
    r.srcFrames = std::clamp<int32_t>(static_cast<int32_t>(frames * rate), 1, kVetroWorkFrames);
    r.srcOffset = static_cast<int32_t>(std::min<double>(static_cast<double>(pos) * rate, INT32_MAX));
    fetch(r, g, bufL, bufR);

    float* outL = r.outL + at;
    float* outR = r.outR + at;
    const int32_t last = r.srcFrames - 1;
    for (int32_t i = 0; i < frames; ++i) {
        const auto x = static_cast<int64_t>(rate * (static_cast<double>(i) * 100.0));
        const int64_t j = x / 100;
        const int64_t f = x - 100 * j;
        if (i == frames - 1 || j >= last) {
            const int64_t k = std::min<int64_t>(j, last);
            outL[i] += bufL[k];
            outR[i] += bufR[k];
            continue;
        }
        const auto hundredths = static_cast<float>(f);
        outL[i] += static_cast<float>(bufL[j] + (bufL[j + 1] - bufL[j]) * hundredths * 0.01);
        outR[i] += static_cast<float>(bufR[j] + (bufR[j + 1] - bufR[j]) * hundredths * 0.01);
    }
}

// One block of the loop added into r.outL / r.outR, with work buffers of
// kVetroWorkFrames frames. The live mix and the save each pass their own
// record and buffers; both only read the loop. A block that crosses the end
// of a period restarts the loop on that very frame, so that a fitted loop
// stays on the groove's beats however the blocks fall.
void render(vetroRenderDataRec& r, const vetroGlobalDataRec& g, float* bufL, float* bufR)
{
    const int64_t period = int64_t{r.barFrames} * r.bars;
    if (period <= 0 || !g.loopData || !bufL || !bufR || r.blockFrames <= 0 || !r.outL || !r.outR) return;
    // The added period keeps the position positive.
    const auto p = static_cast<int64_t>(static_cast<double>(period) * (static_cast<double>(r.phase) + 1.0) +
                                        static_cast<double>(r.blockStart));
    int64_t pos = ((p % period) + period) % period;
    for (int32_t at = 0; at < r.blockFrames;) {
        const auto frames = static_cast<int32_t>(std::min<int64_t>(r.blockFrames - at, period - pos));
        renderStretch(r, g, bufL, bufR, pos, at, frames);
        at += frames;
        pos = 0;
    }
}

float finiteOr(float v, float fallback)
{
    return std::isfinite(v) ? v : fallback;
}

int16_t toSample(float x)
{
    if (x > 32767.0f) return 32767;
    if (x < -32767.0f) return -32767;
    return static_cast<int16_t>(static_cast<int>(x));
}

}  // namespace

void Vetro_Init()
{
    if (!vetroGlobalData.bufL) vetroGlobalData.bufL = static_cast<float*>(M_alloc(kVetroWorkFrames * 4));
    if (!vetroGlobalData.bufR) vetroGlobalData.bufR = static_cast<float*>(M_alloc(kVetroWorkFrames * 4));
    vetroRenderData.active = 0;
}

void Vetro_Exit()
{
    MixerLock hold;
    vetroRenderData.active = 0;
    M_free(vetroGlobalData.bufL);
    M_free(vetroGlobalData.bufR);
    vetroGlobalData.bufL = nullptr;
    vetroGlobalData.bufR = nullptr;
}

void Vetro_RenderToMixer()
{
    render(vetroRenderData, vetroGlobalData, vetroGlobalData.bufL, vetroGlobalData.bufR);
}

void Vetro_GetOrigFrames()
{
    if (!vetroGlobalData.loopData || !vetroGlobalData.bufL || !vetroGlobalData.bufR) return;
    vetroRenderData.srcFrames = std::clamp<int32_t>(vetroRenderData.srcFrames, 0, kVetroWorkFrames);
    fetch(vetroRenderData, vetroGlobalData, vetroGlobalData.bufL, vetroGlobalData.bufR);
}

void Vetro_ApplySettings(blUserLoopSettingsRec* s)
{
    if (!s) return;
    MixerLock hold;
    vetroRenderDataRec& r = vetroRenderData;
    vetroGlobalDataRec& g = vetroGlobalData;
    const int16_t bars = std::clamp<int16_t>(s->bars, 1, kMostBars);
    r.rate = std::clamp(finiteOr(s->rate, 1.0f), kLowestRate, kHighestRate);
    r.phase = finiteOr(s->offset, 0.0f) / bars;
    r.bars = bars;
    const double start = std::clamp(finiteOr(s->start, 0.0f), 0.0f, 100.0f);
    const double end = std::clamp(finiteOr(s->end, 100.0f), 0.0f, 100.0f);
    g.regionStart = static_cast<int32_t>(static_cast<double>(g.loopFrames) * start * 0.01);
    g.regionEnd = static_cast<int32_t>(static_cast<double>(g.loopFrames) * end * 0.01);
    r.loopGain = std::max(finiteOr(s->gain, 0.0f), 0.0f);
    r.active = (s->enabled && g.loopData && g.bufL && g.bufR && !recordingHold) ? 1 : 0;
}

unsigned char Vetro_SaveLoop(char* kelPath)
{
    if (!kelPath || !kelPath[0] || !vetroGlobalData.loopData) return 0;
    vetroRenderDataRec r;
    {
        MixerLock hold;
        r = vetroRenderData;
    }
    // Buffers of its own: the live mix may go on meanwhile.
    float* outL = static_cast<float*>(M_alloc(kSaveBlock * 4));
    float* outR = static_cast<float*>(M_alloc(kSaveBlock * 4));
    int16_t* frames = static_cast<int16_t*>(M_alloc(kSaveBlock * 4));
    float* workL = static_cast<float*>(M_alloc(kVetroWorkFrames * 4));
    float* workR = static_cast<float*>(M_alloc(kVetroWorkFrames * 4));
    unsigned char result = 0;
    const int64_t totalFrames = int64_t{r.barFrames} * r.bars;
    const int64_t total = totalFrames * 4;
    if (outL && outR && frames && workL && workR && totalFrames >= 0 && total <= kWaveMostDataBytes) {
        r.outL = outL;
        r.outR = outR;
        r.blockFrames = kSaveBlock;
        r.masterGain = 1.0f;
        r.blockStart = 0;
        // The careful writer puts it in place only once whole.
        void* file = CreateWave(kelPath, 2, static_cast<int>(totalFrames), 44100);
        if (file != F_NOFILE) {
            bool written = true;
            for (int64_t done = 0; done < total && written; done += kSaveBlock * 4) {
                std::fill(outL, outL + kSaveBlock, 0.0f);
                std::fill(outR, outR + kSaveBlock, 0.0f);
                render(r, vetroGlobalData, workL, workR);
                for (int i = 0; i < kSaveBlock; ++i) {
                    frames[2 * i] = toSample(outL[i]);
                    frames[2 * i + 1] = toSample(outR[i]);
                }
                const int bytes = static_cast<int>(std::min<int64_t>(kSaveBlock * 4, total - done));
                written = F_write(file, frames, bytes) == bytes;
                r.blockStart += kSaveBlock;
            }
            if (written) {
                result = F_close(file) != 0 ? 1 : 0;
            } else {
                F_abandon(file);
            }
        }
    }
    M_free(outL);
    M_free(outR);
    M_free(frames);
    M_free(workL);
    M_free(workR);
    return result;
}

void Vetro_ReplaceLoop(int16_t* block, int32_t frames, int16_t channels, bool seamless)
{
    int16_t* old = nullptr;
    {
        MixerLock hold;
        ++loopSerial;
        vetroRenderData.active = 0;
        old = vetroGlobalData.loopData;
        vetroGlobalData.loopData = block;
        vetroGlobalData.loopFrames = block ? std::max(frames, 0) : 0;
        vetroGlobalData.loopChannels = channels;
        vetroGlobalData.regionStart = 0;
        vetroGlobalData.regionEnd = 0;
        vetroGlobalData.seamless = seamless;
    }
    if (old != block) M_free(old);
}

uint32_t Vetro_LoopSerial()
{
    MixerLock hold;
    return loopSerial;
}

void Vetro_SetRecordingHold(bool on)
{
    MixerLock hold;
    recordingHold = on;
    if (on) vetroRenderData.active = 0;
}

int64_t Vetro_PeriodFrames()
{
    MixerLock hold;
    return int64_t{vetroRenderData.barFrames} * vetroRenderData.bars;
}
