#include "audio/QualMix.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "audio/AudioFormat.h"
#include "audio/KeyLock.h"
#include "audio/QualMixFx.h"
#include "audio/Vtrack.h"
#include "audio/WinApi.h"
#include "core/kelFiles.h"
#include "platform/PlatFiles.h"
#include "platform/PlatSound.h"

char* FileStr = nullptr;

namespace {

constexpr int kBeatsPerBlock = 32;
constexpr int kGrooveTailBytes = 64000;
constexpr int kReadingSamples = 65536;  // ReadingBuf: 131072 bytes
constexpr int kFramesPerMinute = MIXFREQ * 60;

int gQuality = kQualMixClassic;
bool gKeyLock = false;
void (*gSubAmount)(float) = nullptr;
bool (*gShouldStop)() = nullptr;

// The render in progress: what MixGroove needs beyond its arguments.
struct Render {
    int spb = 0;   // frames per beat at the song tempo
    int ospb = 0;  // frames per beat at the script's tempo
    int blocks = 0;
    int block = 0;  // the block being rendered, 0 ..
    int16_t* groove = nullptr;
    int16_t* writing = nullptr;
    int16_t* reading = nullptr;
    int16_t* quotients = nullptr;  // a chunk's frames times the gains, left and right
    bool failed = false;
    bool stopped = false;
    // Band-limited resampling: one converter across the whole render so
    // the stream stays continuous from one groove to the next.
    plat::RateConverter converter;
    bool resampling = false;
    std::vector<float> in, out;
    std::vector<int16_t> outFrames;
    // Key lock: one stretcher across the whole render.
    std::unique_ptr<KeyLockRender> keyLock;
    int64_t written = 0;  // frames written to the file
    int64_t limit = 0;    // frames the whole render writes: 32 beats a block
    std::unique_ptr<QualMixFx> fx;
};

Render* gRender = nullptr;

// Decimal integers as "%d" reads them: blanks skipped, a sign, digits;
// values beyond the int range held at its ends. Fields not present keep
// the value they had.
int readInts(const char* line, int* values, int count)
{
    const char* p = line;
    int read = 0;
    for (; read < count; ++read) {
        char* end = nullptr;
        const long v = std::strtol(p, &end, 10);
        if (end == p) break;
        values[read] = static_cast<int>(std::clamp<long>(v, INT_MIN, INT_MAX));
        p = end;
    }
    return read;
}

int readCount(const char* line)
{
    int n = 0;
    readInts(line, &n, 1);
    return std::clamp(n, 0, kQualMixMaxTracks);
}

inline int16_t saturated(int v)
{
    return static_cast<int16_t>(v > 32767 ? 32767 : v < -32767 ? -32767 : v);
}

bool writeAll(void* file, const void* data, int bytes)
{
    return bytes <= 0 || F_write(file, data, bytes) == bytes;
}

void report(float fraction)
{
    if (gSubAmount) gSubAmount(std::clamp(fraction, 0.0f, 1.0f));
}

// Polled once a beat.
bool stopAsked(Render& r)
{
    if (!r.stopped && gShouldStop && gShouldStop()) r.stopped = true;
    return r.stopped;
}

// What a chunk of a loop adds to the groove, frame by frame, left and
// right: each sample times its gain / 16384, truncated toward zero. Worked
// out once a chunk, then added at every repetition.
void quotients(const int16_t* in, int frames, int channels, int left, int right, int16_t* out)
{
    if (channels == 1) {
        for (int i = 0; i < frames; ++i) {
            out[2 * i] = static_cast<int16_t>(in[i] * left / 16384);
            out[2 * i + 1] = static_cast<int16_t>(in[i] * right / 16384);
        }
    } else {
        for (int i = 0; i < frames; ++i) {
            out[2 * i] = static_cast<int16_t>(in[2 * i] * left / 16384);
            out[2 * i + 1] = static_cast<int16_t>(in[2 * i + 1] * right / 16384);
        }
    }
}

// Adds the quotients of a chunk into the groove buffer from frame `at`,
// dropping what lands at or beyond 32 beats; each sum held at +-32767.
void paint(int16_t* groove, int64_t at, int64_t end, const int16_t* q, int frames)
{
    if (at >= end) return;
    const int n = 2 * static_cast<int>(std::min<int64_t>(frames, end - at));
    int16_t* g = groove + 2 * at;
    int j = 0;
#if defined(__SSE2__)
    // 16-bit saturating adds hold the top at 32767; the floor is then
    // raised to -32767. A quotient is at most 10112 away from 0, so the
    // result is the sum held to +-32767 exactly.
    const __m128i floor = _mm_set1_epi16(-32767);
    for (; j + 8 <= n; j += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g + j));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + j));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(g + j), _mm_max_epi16(_mm_adds_epi16(a, b), floor));
    }
#endif
    for (; j < n; ++j) g[j] = saturated(g[j] + q[j]);
}

void paintTrack(Render& r, int sample, int volume, int pan)
{
    char path[kVTrackPathSize];
    int32_t beats = 0, extraBeats = 0;
    if (sample < 0 || sample >= NumVTracks || !VTrackLoop(sample, path, &beats, &extraBeats)) return;
    int channels = 0, frames = 0;
    void* file = OpenWave(path, &channels, &frames);
    if (file == F_NOFILE) return;
    const int v = std::clamp(volume, 0, 127);
    const int p = std::clamp(pan, 0, 127);
    const int left = p > 63 ? 64 * v : p * v;
    const int right = p > 63 ? (127 - p) * v : 64 * v;
    const int64_t end = int64_t{r.spb} * kBeatsPerBlock;
    const int64_t period = int64_t{r.spb} * std::max(beats, 1);
    const int64_t first = int64_t{r.spb} * std::max(extraBeats, 0);
    const int chunkFrames = kReadingSamples / channels;
    int64_t consumed = 0;
    while (consumed < frames && first + consumed < end) {
        const int want = static_cast<int>(std::min<int64_t>(chunkFrames, frames - consumed));
        const int got = F_read(file, r.reading, want * channels * 2) / (channels * 2);
        if (got <= 0) break;
        quotients(r.reading, got, channels, left, right, r.quotients);
        for (int64_t s = first; s + consumed < end; s += period)
            paint(r.groove, s + consumed, end, r.quotients, got);
        consumed += got;
    }
    F_close(file);
}

bool writeFrames(void* file, Render& r, const int16_t* frames, int64_t count)
{
    count = std::min(count, r.limit - r.written);
    if (count > 0 && r.fx) frames = r.fx->main(frames, static_cast<int>(count), r.written);
    if (count > 0 && !writeAll(file, frames, static_cast<int>(count * 4))) return false;
    r.written += count;
    return true;
}

// The band-limited path: one beat of the song-tempo stream in, whatever the
// converter gives out. endOfInput flushes what it still holds.
bool resampleBeat(void* file, Render& r, const int16_t* beat, int frames, bool endOfInput)
{
    for (int i = 0; i < 2 * frames; ++i) r.in[static_cast<size_t>(i)] = beat[i] * (1.0f / 32768.0f);
    const float* in = r.in.data();
    long left = frames;
    const long capacity = static_cast<long>(r.out.size() / 2);
    for (int rounds = 0; rounds < 1000; ++rounds) {
        long used = 0;
        const long made = r.converter.process(in, left, &used, r.out.data(), capacity, endOfInput);
        if (made < 0) return false;
        for (long i = 0; i < 2 * made; ++i) {
            const float s = r.out[static_cast<size_t>(i)] * 32768.0f;
            const float c = s > 32767.0f ? 32767.0f : s < -32768.0f ? -32768.0f : s;
            r.outFrames[static_cast<size_t>(i)] = static_cast<int16_t>(std::lrint(c));
        }
        if (made > 0 && !writeFrames(file, r, r.outFrames.data(), made)) return false;
        in += 2 * used;
        left -= used;
        if (left == 0 && (!endOfInput || made == 0)) break;
    }
    return true;
}

// The key lock path: one beat of the song-tempo stream in (the last one
// ends the input), whatever the stretcher gives out.
bool stretchBeat(void* file, Render& r, const int16_t* beat, int frames, bool last)
{
    r.keyLock->put(beat, frames, last);
    const int capacity = static_cast<int>(r.outFrames.size() / 2);
    for (int made; (made = r.keyLock->take(r.outFrames.data(), capacity)) > 0;)
        if (!writeFrames(file, r, r.outFrames.data(), made)) return false;
    return true;
}

void releaseBuffers(Render& r)
{
    M_free(r.groove);
    M_free(r.writing);
    M_free(r.reading);
    M_free(r.quotients);
    r.groove = r.writing = r.reading = r.quotients = nullptr;
}

}  // namespace

void QualMix_SetQuality(int quality)
{
    gQuality = quality == kQualMixHigh ? kQualMixHigh : kQualMixClassic;
}

int QualMix_Quality()
{
    return gQuality;
}

void QualMix_SetKeyLock(bool on)
{
    gKeyLock = on;
}

bool QualMix_KeyLock()
{
    return gKeyLock;
}

void QualMix_SetHooks(void (*subAmount)(float), bool (*shouldStop)())
{
    gSubAmount = subAmount;
    gShouldStop = shouldStop;
}

void Igets(char* line)
{
    int n = 0;
    while (*FileStr && *FileStr != '\r' && *FileStr != '\n') {
        if (n < kQualMixLineSize - 1) line[n++] = *FileStr;
        ++FileStr;
    }
    line[n] = '\0';
    while (*FileStr == '\r' || *FileStr == '\n') ++FileStr;
}

int Ieof()
{
    return *FileStr == '\0' ? 1 : 0;
}

int QualityResample(short* out, short* in, int outFrames, int inFrames)
{
    if (outFrames == inFrames) {
        std::memcpy(out, in, static_cast<size_t>(outFrames) * 4);
        return outFrames;
    }
    int acc = outFrames / 2;
    const short* frame = in;
    for (int i = 0; i < outFrames; ++i) {
        out[2 * i] = frame[0];
        out[2 * i + 1] = frame[1];
        acc += inFrames;
        while (acc >= outFrames) {
            acc -= outFrames;
            frame += 2;
        }
    }
    return outFrames;
}

long MixGroove(void* file, int n, int* samples, int* volumes, int* pans)
{
    if (!gRender) return -1;
    Render& r = *gRender;
    const int64_t grooveFrames = int64_t{r.spb} * kBeatsPerBlock;
    std::memset(r.groove, 0, static_cast<size_t>(grooveFrames) * 4);
    for (int k = 0; k < n; ++k) {
        const int track = r.fx ? r.fx->trackOfLine(k) : -1;
        if (r.fx && r.fx->hasEffects(track)) {
            r.fx->paintTrack(track, samples[k], volumes[k], pans[k], r.groove);
        } else {
            paintTrack(r, samples[k], volumes[k], pans[k]);
        }
    }
    if (r.fx) r.fx->paintTails(r.groove);

    for (int b = 0; b < kBeatsPerBlock; ++b) {
        if (stopAsked(r)) return -1;
        int16_t* beat = r.groove + int64_t{2} * r.spb * b;
        bool ok;
        if (r.keyLock) {
            ok = stretchBeat(file, r, beat, r.spb, r.block == r.blocks - 1 && b == kBeatsPerBlock - 1);
        } else if (r.resampling) {
            ok = resampleBeat(file, r, beat, r.spb, false);
        } else {
            QualityResample(r.writing, beat, r.ospb, r.spb);
            ok = writeFrames(file, r, r.writing, r.ospb);
        }
        if (!ok) {
            r.failed = true;
            return -1;
        }
        report((static_cast<float>(r.block) + static_cast<float>(b + 1) / kBeatsPerBlock) /
               static_cast<float>(r.blocks));
    }
    return static_cast<long>(r.ospb) * kBeatsPerBlock;
}

namespace {

struct ScriptShape {
    int tempo = 0;
    int blocks = 0;
};

// The tempo and the number of blocks the script renders.
ScriptShape shapeOf(char* text)
{
    ScriptShape shape;
    char line[kQualMixLineSize];
    FileStr = text;
    Igets(line);
    readInts(line, &shape.tempo, 1);
    Igets(line);
    while (!Ieof()) {
        ++shape.blocks;
        const int n = readCount(line);
        for (int k = 0; k < n; ++k) Igets(line);
        Igets(line);
    }
    return shape;
}

bool tempoPlayable(int tempo)
{
    return tempo >= kQualMixMinTempo && tempo <= kQualMixMaxTempo;
}

}  // namespace

int64_t QualMix_OutputFrames(const char* text)
{
    if (!text) return -1;
    std::string copy(text);
    const ScriptShape shape = shapeOf(copy.data());
    if (!tempoPlayable(shape.tempo)) return -1;
    return int64_t{kFramesPerMinute / shape.tempo} * kBeatsPerBlock * shape.blocks;
}

int QualityMix(char* wavPath, char* text, const MixPlan* plan)
{
    if (!wavPath || !text) return kQualMixFailed;
    char line[kQualMixLineSize];
    const ScriptShape shape = shapeOf(text);
    const int tempo = shape.tempo;
    const int blocks = shape.blocks;
    if (!tempoPlayable(SongBPM) || !tempoPlayable(tempo)) return kQualMixBadTempo;
    // Refused before anything is written: a header cannot describe more.
    if (int64_t{kFramesPerMinute / tempo} * kBeatsPerBlock * blocks * 4 > kWaveMostDataBytes)
        return kQualMixTooLong;
    FileStr = text;
    Igets(line);

    auto render = std::make_unique<Render>();
    Render& r = *render;
    r.spb = kFramesPerMinute / SongBPM;
    r.ospb = kFramesPerMinute / tempo;
    r.blocks = blocks;
    r.limit = int64_t{r.ospb} * kBeatsPerBlock * blocks;
    r.groove = static_cast<int16_t*>(M_alloc(r.spb * kBeatsPerBlock * 4 + kGrooveTailBytes));
    r.writing = static_cast<int16_t*>(M_alloc(r.ospb * 4));
    r.reading = static_cast<int16_t*>(M_alloc(kReadingSamples * 2));
    r.quotients = static_cast<int16_t*>(M_alloc(kReadingSamples * 2 * 2));  // a mono chunk takes two a frame
    if (gKeyLock && r.ospb != r.spb) {
        r.keyLock = std::make_unique<KeyLockRender>(r.spb, r.ospb, int64_t{r.spb} * kBeatsPerBlock * blocks);
        r.outFrames.resize(size_t{2} * 8192);
        if (!r.keyLock->ok()) r.failed = true;
    }
    r.resampling = !r.keyLock && gQuality == kQualMixHigh && r.ospb != r.spb;
    if (plan && plan->anyEffects()) {
        r.fx = std::make_unique<QualMixFx>(plan, r.spb, r.ospb, tempo, r.keyLock != nullptr);
        if (!r.fx->active()) r.fx.reset();
    }
    if (r.resampling) {
        const double ratio = static_cast<double>(r.ospb) / r.spb;
        const size_t outCapacity = static_cast<size_t>(r.spb * ratio) + 256;
        r.in.resize(static_cast<size_t>(r.spb) * 2);
        r.out.resize(outCapacity * 2);
        r.outFrames.resize(outCapacity * 2);
        if (!r.converter.open(2, ratio, plat::RateConverter::Quality::fastest)) r.failed = true;
    }
    if (!r.groove || !r.writing || !r.reading || !r.quotients || r.failed) {
        releaseBuffers(r);
        return kQualMixFailed;
    }

    plat::clearWriteError();
    void* file = CreateWave(wavPath, 2, 0, MIXFREQ);
    if (file == F_NOFILE) {
        releaseBuffers(r);
        return kQualMixFailed;
    }

    gRender = &r;
    Igets(line);
    int samples[kQualMixMaxTracks], volumes[kQualMixMaxTracks], pans[kQualMixMaxTracks];
    while (!Ieof()) {
        report(static_cast<float>(r.block) / static_cast<float>(blocks));
        const int n = readCount(line);
        if (r.fx) r.fx->beginBlock(r.block, n);
        for (int k = 0; k < n; ++k) {
            Igets(line);
            int fields[3] = {0, 0, 0};  // a field the line lacks reads as 0: no loop, silent
            readInts(line, fields, 3);
            samples[k] = fields[0] - 1;
            volumes[k] = std::clamp(fields[1], 0, 127) * 80 / 128;
            pans[k] = std::clamp(fields[2], 0, 127);
        }
        if (MixGroove(file, n, samples, volumes, pans) < 0) break;
        ++r.block;
        Igets(line);
    }
    if (r.keyLock && !r.failed && !r.stopped) {
        // What the stretcher still holds comes out once the input has ended.
        for (int rounds = 0; r.keyLock->left() > 0 && rounds < 100000 && !r.failed; ++rounds) {
            const int made = r.keyLock->take(r.outFrames.data(), static_cast<int>(r.outFrames.size() / 2));
            if (made <= 0) break;
            if (!writeFrames(file, r, r.outFrames.data(), made)) r.failed = true;
        }
        std::memset(r.writing, 0, static_cast<size_t>(r.ospb) * 4);
        while (!r.failed && r.written < r.limit)
            if (!writeFrames(file, r, r.writing, r.ospb)) r.failed = true;
    }
    if (r.resampling && !r.failed && !r.stopped) {
        // What the converter still holds, then the length held to whole
        // blocks of the script's beats, exactly as the classic path writes.
        if (!resampleBeat(file, r, r.groove, 0, true)) r.failed = true;
        std::memset(r.writing, 0, static_cast<size_t>(r.ospb) * 4);
        while (!r.failed && r.written < r.limit)
            if (!writeFrames(file, r, r.writing, r.ospb)) r.failed = true;
    }
    gRender = nullptr;

    bool ok = !r.failed && !r.stopped;
    if (ok) {
        WriteWaveLen(file, r.written * 4);
        ok = F_close(file) != 0;
    } else {
        F_abandon(file);
    }
    releaseBuffers(r);
    if (r.stopped) return kQualMixStopped;
    return ok ? kQualMixWritten : kQualMixFailed;
}

int OVQualityMix(char* wavPath, char* scriptPath, const MixPlan* plan)
{
    void* script = F_open(scriptPath);
    if (script == F_NOFILE) return kQualMixFailed;
    char* text = static_cast<char*>(M_alloc(kQualMixMaxScript + 1));
    if (!text) {
        F_close(script);
        return kQualMixFailed;
    }
    int length = 0;
    while (length < kQualMixMaxScript) {
        const int n = F_read(script, text + length, kQualMixMaxScript - length);
        if (n <= 0) break;
        length += n;
    }
    text[length] = '\0';
    const int result = QualityMix(wavPath, text, plan);
    F_close(script);
    M_free(text);
    return result;
}
