#include "audio/Synth.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <string>

#include "audio/AudioFormat.h"
#include "audio/OVMixer.h"
#include "audio/OVTrack.h"
#include "audio/WinApi.h"
#include "audio/Winaudio.h"
#include "core/kelFiles.h"

SYNTHDATA SynthSamps[kSynthNotes];
SYNTHETIZER RealtimeSynth;
SYNTHETIZER RenderSynth;

namespace {

constexpr const char* kNoteFiles[kSynthNotes] = {
    "c2.wav",  "c#2.wav", "d2.wav",  "d#2.wav", "e2.wav",  "f2.wav",  "f#2.wav", "g2.wav",  "g#2.wav",
    "a2.wav",  "a#2.wav", "b2.wav",  "c3.wav",  "c#3.wav", "d3.wav",  "d#3.wav", "e3.wav",  "f3.wav",
    "f#3.wav", "g3.wav",  "g#3.wav", "a3.wav",  "a#3.wav", "b3.wav",  "c4.wav",  "c#4.wav", "d4.wav",
    "d#4.wav", "e4.wav",  "f4.wav",  "f#4.wav", "g4.wav",  "g#4.wav", "a4.wav",  "a#4.wav", "b4.wav"};

// Semitone of a note letter, -1 for any other character.
int semitone(char c)
{
    switch (c | 0x20) {
        case 'c': return 0;
        case 'd': return 2;
        case 'e': return 4;
        case 'f': return 5;
        case 'g': return 7;
        case 'a': return 9;
        case 'b': return 11;
        default: return -1;
    }
}

int listLength(const SYNTHETIZER* s)
{
    return static_cast<int>(strnlen(s->notes, sizeof s->notes));
}

char noteAt(const SYNTHETIZER* s, int pos)
{
    return pos >= 0 && pos < static_cast<int>(sizeof s->notes) ? s->notes[pos] : '\0';
}

// The up step; true when it reached the end of the list.
bool stepUp(SYNTHETIZER* s)
{
    const int length = listLength(s);
    s->pos += 2;
    if (noteAt(s, s->pos - 1) == '#') s->pos += 1;
    if (s->pos >= length) {
        s->pos = length;
        return true;
    }
    return false;
}

void stepDown(SYNTHETIZER* s)
{
    s->pos -= 2;
    if (noteAt(s, s->pos) == '#') s->pos -= 1;
    if (s->pos < 0) s->pos = 0;
}

// The runtime's generator, one per instance: the live and the file
// renderer run on different threads.
int nextRandom(SYNTHETIZER* s)
{
    s->randomState = s->randomState * 1103515245u + 12345u;
    return static_cast<int>((s->randomState >> 16) & 0x7FFF);
}

void freeVoices(SYNTHETIZER* s)
{
    for (SYNTHVOICE& v : s->voices) {
        v.start = -1;
        v.note = 0;
    }
}

// A step is overdue when it lies before `now`, or further ahead than a whole
// beat: the timeline was set back by a new playback.
bool stepOverdue(const SYNTHETIZER* s, int64_t now)
{
    return s->nextStep <= now || s->nextStep - now > s->beatFrames;
}

// Walks the block in chunks cut at the arpeggiator's steps, handing every
// sounding voice's part of each chunk to `add(outFrame, data, sourceFrame, count)`.
template <typename Add>
int render(SYNTHETIZER* s, int64_t time, int n, Add add)
{
    if (!s || n <= 0) return n > 0 ? n : 0;
    const bool arpeggio = s->arpMode != 0 && s->beatFrames > 0;
    const int poly = std::clamp(s->poly, 1, kSynthVoices);
    int done = 0;
    while (done < n) {
        const int64_t now = time + done;
        if (arpeggio && stepOverdue(s, now)) ArpeggiatorSync(s, now);
        int chunk = n - done;
        if (arpeggio && s->nextStep - now < chunk) chunk = static_cast<int>(s->nextStep - now);
        for (int i = 0; i < poly; ++i) {
            SYNTHVOICE& v = s->voices[i];
            if (v.start == -1) continue;
            if (v.start > now) {  // started on an earlier playback's timeline
                v.start = -1;
                continue;
            }
            if (v.note < 0 || v.note >= kSynthNotes || !s->data) continue;
            const SYNTHDATA& d = s->data[v.note];
            if (!d.samples) continue;
            const int64_t offset = now - v.start;
            const int64_t remaining = d.frames - offset;
            if (remaining <= 0) {
                v.start = -1;
                continue;
            }
            int count = chunk;
            if (chunk >= remaining) {
                count = static_cast<int>(remaining);
                v.start = -1;
            }
            add(done, d, offset, count);
        }
        done += chunk;
        if (arpeggio && s->nextStep == time + done) ArpeggiatorSync(s, time + done);
    }
    return n;
}

int16_t littleEndian16(int16_t v)
{
    if constexpr (std::endian::native == std::endian::big) {
        const auto u = static_cast<uint16_t>(v);
        return static_cast<int16_t>(static_cast<uint16_t>(u >> 8 | u << 8));
    }
    return v;
}

// One note file into d; false (d left silent) when it cannot be read.
bool loadNote(SYNTHDATA& d, const std::string& path)
{
    int channels = 0, frames = 0;
    void* file = OpenWave(path.c_str(), &channels, &frames);
    if (file == F_NOFILE) return false;
    frames = std::min(frames, kSynthNoteMaxFrames);
    const int values = frames * channels;
    auto* samples = values > 0 ? static_cast<int16_t*>(M_alloc(values * 2)) : nullptr;
    if (samples) {
        // A short read leaves the zeroed rest: silence at the end.
        F_read(file, samples, values * 2);
        for (int i = 0; i < values; ++i) samples[i] = littleEndian16(samples[i]);
        d.samples = samples;
        d.channels = channels;
        d.frames = frames;
    }
    F_close(file);
    return samples != nullptr;
}

}  // namespace

const char* SynthNoteFile(int index)
{
    return index >= 0 && index < kSynthNotes ? kNoteFiles[index] : "";
}

int SynthNoteIndex(const char* entry)
{
    if (!entry) return -1;
    const int tone = semitone(entry[0]);
    if (tone < 0) return -1;
    if (entry[1] == '#') return (entry[2] - '1') * 12 + 1 + tone;
    return (entry[1] - '1') * 12 + tone;
}

int InitSynth(SYNTHETIZER* s, SYNTHDATA* d)
{
    std::memset(s, 0, sizeof *s);
    s->data = d;
    freeVoices(s);
    s->poly = 4;
    s->arpMode = 0;
    s->nextStep = -1;
    s->speed = 1;
    s->pos = 0;
    s->volume = 128;
    s->pan = 64;
    s->beatFrames = 0;
    s->randomState = 1;
    return 0;
}

int InitSynthFStop(SYNTHETIZER* s, SYNTHDATA*)
{
    freeVoices(s);
    s->pos = 0;
    s->nextStep = -1;
    return 0;
}

int FreeSynth(SYNTHDATA* d)
{
    for (int i = 0; i < kSynthNotes; ++i) {
        if (d[i].samples) M_free(d[i].samples);
        d[i] = SYNTHDATA{nullptr, 0, 0};
    }
    return 0;
}

int SetSynth(SYNTHDATA* d, const char* folder)
{
    FreeSynth(d);
    if (!folder || !folder[0]) return 0;  // no sound: not the notes of the current folder
    for (int i = 0; i < kSynthNotes; ++i) loadNote(d[i], std::string(folder) + kNoteFiles[i]);
    return 0;
}

int SetSynthBPM(SYNTHETIZER* s, int frames)
{
    s->beatFrames = frames;
    return 0;
}

int SetSynthPoly(SYNTHETIZER* s, int n)
{
    s->poly = std::clamp(n, 1, kSynthVoices);
    return 0;
}

int SetSynthVolume(SYNTHETIZER* s, int v)
{
    s->volume = v;
    return 0;
}

int SetSynthPan(SYNTHETIZER* s, int p)
{
    s->pan = p;
    return 0;
}

int ArpeggiatorOn(SYNTHETIZER* s, int mode, int speed, const char* notes, int64_t time)
{
    const int m = std::clamp(mode + 1, 1, 4);
    s->speed = speed;
    std::memset(s->notes, 0, sizeof s->notes);
    if (notes) std::snprintf(s->notes, sizeof s->notes, "%s", notes);
    s->pos = 0;
    if (s->arpMode == 0) {
        s->arpMode = m;
        ArpeggiatorSync(s, time);
    }
    s->arpMode = m;
    return 0;
}

int ArpeggiatorOff(SYNTHETIZER* s)
{
    if (s->arpMode >= 1) s->arpMode = 0;
    return 0;
}

int ArpeggiatorSync(SYNTHETIZER* s, int64_t time)
{
    int mode = s->arpMode;
    if (mode == 3) mode = nextRandom(s) % 5 <= 2 ? 2 : 1;
    switch (mode) {
        case 1:
            if (stepUp(s)) s->pos = 0;
            break;
        case 2:
            if (s->pos == 0) s->pos = listLength(s);
            stepDown(s);
            break;
        case 4:
            // At the end the direction turns: this step is a rest.
            if (stepUp(s)) s->arpMode = 5;
            break;
        case 5:
            stepDown(s);
            if (s->pos == 0) s->arpMode = 4;
            break;
        default: break;
    }
    SynthSetNote(s, s->notes + std::clamp(s->pos, 0, kSynthListSize - 1), time);

    // Each subdivision point rounded down on its own: no error builds up
    // within a beat and every beat starts a step.
    const int64_t beat = std::max(s->beatFrames, 1);
    const int64_t speed = std::clamp<int64_t>(s->speed, 1, beat);
    const int64_t q = time / beat;
    const int64_t k = (time - q * beat) / (beat / speed);
    s->nextStep = (k + 1) * beat / speed + q * beat;
    return 0;
}

int SynthSetNote(SYNTHETIZER* s, const char* entry, int64_t time)
{
    const int poly = std::clamp(s->poly, 1, kSynthVoices);
    int oldest = 0;
    for (int i = 1; i < poly; ++i)
        if (s->voices[i].start < s->voices[oldest].start) oldest = i;
    s->voices[oldest].start = time;
    s->voices[oldest].note = SynthNoteIndex(entry);
    return 0;
}

void SynthGains(int volume, int pan, float level, float* left, float* right)
{
    const long double v = volume;
    const long double m = level;
    const long double full = v * 1.5L * (1.0L / 256) * m * (1.0L / 128);
    const long double side = (pan > 63 ? 127 - pan : pan) * (1.0L / 16384) * v * 1.5L * m * (1.0L / 128);
    *left = static_cast<float>(pan > 63 ? full : side);
    *right = static_cast<float>(pan > 63 ? side : full);
}

int SynthFloatRender(SYNTHETIZER* s, float* outL, float* outR, int64_t time, float level, int n)
{
    if (!s) return n;
    float gl = 0, gr = 0;
    SynthGains(s->volume, s->pan, level, &gl, &gr);
    return render(s, time, n, [&](int at, const SYNTHDATA& d, int64_t from, int count) {
        float* l = outL + at;
        float* r = outR + at;
        if (d.channels == 1) {
            const int16_t* src = d.samples + from;
            for (int i = 0; i < count; ++i) {
                l[i] += static_cast<float>(src[i]) * gl;
                r[i] += static_cast<float>(src[i]) * gr;
            }
        } else {
            const int16_t* src = d.samples + 2 * from;
            for (int i = 0; i < count; ++i) {
                l[i] += static_cast<float>(src[2 * i]) * gl;
                r[i] += static_cast<float>(src[2 * i + 1]) * gr;
            }
        }
    });
}

int SynthRender(SYNTHETIZER* s, int16_t* out, int64_t time, float level, int n)
{
    if (!s) return n;
    float gl = 0, gr = 0;
    SynthGains(s->volume, s->pan, level, &gl, &gr);
    auto addTo = [](int16_t& sum, float product) {
        sum = static_cast<int16_t>(static_cast<uint16_t>(sum) +
                                   static_cast<uint16_t>(static_cast<int>(product)));
    };
    return render(s, time, n, [&](int at, const SYNTHDATA& d, int64_t from, int count) {
        int16_t* o = out + 2 * at;
        const bool mono = d.channels == 1;
        const int16_t* src = d.samples + (mono ? from : 2 * from);
        for (int i = 0; i < count; ++i) {
            const float l = mono ? src[i] : src[2 * i];
            const float r = mono ? src[i] : src[2 * i + 1];
            addTo(o[2 * i], l * gl);
            addTo(o[2 * i + 1], r * gr);
        }
    });
}

int RealtimeSetSynth(const char* folder)
{
    // The files are read outside the lock; only the swap holds off the mixer.
    SYNTHDATA loaded[kSynthNotes] = {};
    SetSynth(loaded, folder);
    {
        MixerLock hold;
        std::swap(loaded, SynthSamps);
    }
    FreeSynth(loaded);
    return 0;
}

int RealtimeArpeggiatorOn(int mode, int speed, const char* notes)
{
    if (PlayingStatus.load() == 2) return ArpeggiatorOn(&RealtimeSynth, mode, speed, notes, TimeLine.load());
    // Nothing plays: the arpeggio waits for the next playback, whose first
    // block takes its first step on frame 0, however the engine was started.
    ArpeggiatorOn(&RealtimeSynth, mode, speed, notes, 0);
    return InitSynthFStop(&RealtimeSynth, SynthSamps);
}

int RealtimeArpeggiatorOff()
{
    return ArpeggiatorOff(&RealtimeSynth);
}

int RealtimeSetSynthPoly(int n)
{
    return SetSynthPoly(&RealtimeSynth, n);
}

int RealtimeSetSynthPan(int p)
{
    return SetSynthPan(&RealtimeSynth, p);
}

int RealtimeSetSynthVolume(int v)
{
    return SetSynthVolume(&RealtimeSynth, v);
}

int RealtimeSynthNotesLoaded()
{
    int loaded = 0;
    for (const SYNTHDATA& d : SynthSamps)
        if (d.samples) ++loaded;
    return loaded;
}

int RealtimeSynthMix(const char* path)
{
    const int32_t beat = BPM.load();
    if (!path || !path[0] || beat <= 0) return 0;
    {
        MixerLock hold;
        if (RealtimeSynth.arpMode == 0) return 0;
        RenderSynth = RealtimeSynth;
    }
    RenderSynth.data = SynthSamps;
    RenderSynth.pos = 0;
    freeVoices(&RenderSynth);

    // The careful writer puts it in place only once whole: a failure keeps the old file.
    void* file = CreateWave(path, 2, 0, SAMPFREQ.load());
    if (file == F_NOFILE) return 0;
    auto* buffer = static_cast<int16_t*>(M_alloc(beat * 4));
    if (!buffer) {
        F_abandon(file);
        return 0;
    }
    const auto level = static_cast<float>(MasterVol.load());
    ArpeggiatorSync(&RenderSynth, 0);
    bool written = true;
    for (int b = 0; b < 32 && written; ++b) {
        std::memset(buffer, 0, static_cast<size_t>(beat) * 4);
        SynthRender(&RenderSynth, buffer, int64_t{b} * beat, level, beat);
        for (int i = 0; i < 2 * beat; ++i) buffer[i] = littleEndian16(buffer[i]);
        written = F_write(file, buffer, beat * 4) == beat * 4;
    }
    M_free(buffer);
    if (!written) {
        F_abandon(file);
        return 0;
    }
    WriteWaveLen(file, int64_t{beat} * 32 * 4);
    if (!F_close(file)) return 0;
    return beat * 128;
}
