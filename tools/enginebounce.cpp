// enginebounce: renders what the live engine plays to a WAV file, through
// the engine's facade and lower layer, with an output device that needs no
// sound card. The facade is called in the player's order (song tempo,
// samples, then one play command: play, tracks, mixer tempo, master volume,
// all heard from the first frame); the output is what the device would have
// been given: the priming, then GetResampled 2048 frames at a time. Before
// each of those calls the loader is let finish its work and paused, so no
// ring runs dry and the result is the same on every run.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audio/AudioFormat.h"
#include "audio/BLEngine.h"
#include "audio/HeldOutput.h"
#include "audio/LaunchGrid.h"
#include "audio/LiveMix.h"
#include "audio/OVMixer.h"
#include "audio/OVTrack.h"
#include "audio/Vetro.h"
#include "audio/Winaudio.h"
#include "audio/fx/FxSettings.h"
#include "core/kelFiles.h"
#include "core/kelQt.h"

namespace {

const char* const kUsage =
    "usage: enginebounce --bpm SONG_BPM --mix-bpm MIX_BPM --frames N [--master V]\n"
    "                    --loop PATH[:REPEATS] ... --track T:SAMPLE[:VOLUME[:PAN]] ...\n"
    "                    [--at FRAME:CHANGE ...] [--grid GRID] [--start-frame F] [--key-lock]\n"
    "                    [--synth FOLDER --arp MODE:SPEED:NOTES [--synth-vol V] [--synth-pan P]]\n"
    "                    [--fx TRACK:NAME[:PARAM=VALUE,...] ...] [--lv2 TRACK:URI[:SYMBOL=VALUE,...] ...]\n"
    "                    -o OUT.wav\n"
    "  Loops are numbered from 0 in the order given; REPEATS is how often a loop\n"
    "  fits into 32 beats (0 or none: measured against SONG_BPM). Tracks 0 to 7\n"
    "  take a loop number (-1 = none), a volume 0 to 127 (127) and a pan -63 to\n"
    "  +63 (0). The master volume is 0 to 128 (63). Tracks, tempo and master\n"
    "  volume are one play command: all of them are heard from frame 0.\n"
    "  A change applies before the output frame FRAME (a multiple of 2048):\n"
    "    FRAME:T:SAMPLE[:sync]  FRAME:T:vol=V[:sync]  FRAME:T:pan=P[:sync]\n"
    "    FRAME:mix-bpm=B  FRAME:key-lock=on  FRAME:key-lock=off\n"
    "    FRAME:fx:TRACK:SLOT:PARAM=VALUE  FRAME:fx:TRACK:SLOT:bypass=0|1\n"
    "  With sync it waits for the next boundary of the launch grid: GRID is\n"
    "  beat, bar, 2bars, 4bars, 8bars or cycle (32 beats, the default); a change\n"
    "  that comes too late for a boundary lands on the next. Changes at frame 0\n"
    "  belong to the play command; the next 8192 frames are the start-up\n"
    "  priming: changes there apply right after it.\n"
    "  --start-frame F starts the song's timeline at frame F (a multiple of\n"
    "  2048) instead of 0, as if the groove had played that long already.\n"
    "  --user-loop FILE --user-params BARS:OFFSET:GAIN:RATE:START:END plays FILE\n"
    "  (any sound file; other than 44100 Hz 16-bit WAV it is converted) as the\n"
    "  user loop with the groove: its period in bars, the offset in bars, its\n"
    "  gain, its speed ratio, and its region in percent of the sound.\n"
    "  The synthesizer plays the sound of FOLDER (36 notes, c2.wav ... b4.wav)\n"
    "  through the arpeggiator from the first frame, in time with the groove:\n"
    "  MODE up, down, random or updown (or 0 to 3), SPEED steps per beat, NOTES\n"
    "  a note list such as c1e1g1a#2 (two blanks are a rest). Its volume is\n"
    "  0 to 127 (100), its pan 0 to 127 (63).\n"
    "  --key-lock plays with key lock: the mix tempo changes the tempo and not\n"
    "  the key (the mix is time-stretched instead of resampled).\n"
    "  --fx and --lv2 put an effect in the next free slot of TRACK (0 to 7, or\n"
    "  main for the main mix; two slots each, heard in the order given), heard\n"
    "  from frame 0: filter (type=lowpass|highpass|bandpass, cutoff in Hz,\n"
    "  resonance 0 to 1), delay (time in beats, as 1/4 or 3/16; feedback, mix\n"
    "  0 to 1; pingpong=0|1), reverb (size, damping, mix, 0 to 1), limiter\n"
    "  (ceiling in dBFS); or an LV2 plugin by its URI, its control ports by\n"
    "  their symbols. What is not given is at its default. A change names the\n"
    "  slot, 0 or 1.\n";

constexpr int kBlock = 2048;
constexpr int64_t kMostFrames = (INT32_MAX - 44) / 4;
// Years of play: far more than any playback reaches, far from any overflow.
constexpr int64_t kLatestStart = int64_t{1} << 50;

struct TrackArg {
    int track = 0;
    int sample = -1;
    int volume = 127;
    int pan = 0;
};

struct Change {
    int64_t frame = 0;
    enum Kind { kSample, kVolume, kPan, kMixBpm, kKeyLock, kFx } kind = kSample;
    int track = 0;
    int value = 0;
    float bpm = 0;
    bool sync = false;
    // An effect's parameter: the slot, the parameter and its value as given.
    int slot = 0;
    std::string param;
    std::string text;
    float fxValue = 0;
};

struct EffectArg {
    int rack = 0;
    int slot = 0;
    FxSlot settings;
};

struct Arpeggio {
    std::string folder;
    bool on = false;
    int mode = 0;
    int speed = 4;
    std::string notes;
    int volume = 100;
    int pan = 63;
};

struct Options {
    Arpeggio synth;
    float songBpm = 0;
    float mixBpm = 0;
    int64_t frames = -1;
    int64_t startFrame = 0;
    int master = 63;
    std::vector<std::pair<std::string, int>> loops;
    std::vector<TrackArg> tracks;
    std::vector<Change> changes;
    std::string out;
    bool keyLock = false;
    LaunchGrid grid = LaunchGrid::cycle;
    std::vector<EffectArg> effects;
};

[[noreturn]] void usage(const std::string& problem)
{
    std::fprintf(stderr, "enginebounce: %s\n%s", problem.c_str(), kUsage);
    std::exit(2);
}

std::vector<std::string> split(const std::string& s)
{
    std::vector<std::string> parts;
    size_t from = 0;
    for (;;) {
        const size_t at = s.find(':', from);
        parts.push_back(s.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos) return parts;
        from = at + 1;
    }
}

bool toInt(const std::string& s, int64_t* v)
{
    if (s.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long n = std::strtoll(s.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return false;
    *v = n;
    return true;
}

int64_t longArg(const std::string& s, const char* what, int64_t lo, int64_t hi)
{
    int64_t v = 0;
    if (!toInt(s, &v) || v < lo || v > hi) usage(std::string("bad ") + what + ": '" + s + "'");
    return v;
}

int intArg(const std::string& s, const char* what, int64_t lo, int64_t hi)
{
    return static_cast<int>(longArg(s, what, lo, hi));
}

float bpmArg(const std::string& s, const char* what)
{
    char* end = nullptr;
    const float v = std::strtof(s.c_str(), &end);
    if (s.empty() || *end != '\0' || !(v >= 1.0f && v <= 1000.0f))
        usage(std::string("bad ") + what + ": '" + s + "'");
    return v;
}

Change changeArg(const std::string& s)
{
    std::vector<std::string> p = split(s);
    Change c;
    if (p.size() < 2) usage("bad --at: '" + s + "'");
    c.frame = intArg(p[0], "--at frame", 0, kMostFrames);
    if (c.frame % kBlock != 0) usage("--at frame " + p[0] + " is not a multiple of 2048");
    if (p.size() == 2 && p[1].rfind("mix-bpm=", 0) == 0) {
        c.kind = Change::kMixBpm;
        c.bpm = bpmArg(p[1].substr(8), "--at mix tempo");
        return c;
    }
    if (p.size() == 5 && p[1] == "fx") {
        c.kind = Change::kFx;
        c.track = p[2] == "main" ? kFxMain : intArg(p[2], "--at effect track", 0, 7);
        c.slot = intArg(p[3], "--at effect slot", 0, kFxSlots - 1);
        const size_t eq = p[4].find('=');
        if (eq == std::string::npos) usage("bad --at: '" + s + "' (PARAM=VALUE)");
        c.param = p[4].substr(0, eq);
        c.text = p[4].substr(eq + 1);
        return c;
    }
    if (p.size() == 2 && (p[1] == "key-lock=on" || p[1] == "key-lock=off")) {
        c.kind = Change::kKeyLock;
        c.value = p[1] == "key-lock=on" ? 1 : 0;
        return c;
    }
    if (p.size() == 4) {
        if (p[3] != "sync") usage("bad --at: '" + s + "'");
        c.sync = true;
    } else if (p.size() != 3) {
        usage("bad --at: '" + s + "'");
    }
    c.track = intArg(p[1], "--at track", 0, 7);
    if (p[2].rfind("vol=", 0) == 0) {
        c.kind = Change::kVolume;
        c.value = intArg(p[2].substr(4), "--at volume", INT16_MIN, INT16_MAX);
    } else if (p[2].rfind("pan=", 0) == 0) {
        c.kind = Change::kPan;
        c.value = intArg(p[2].substr(4), "--at pan", INT16_MIN, INT16_MAX);
    } else {
        c.value = intArg(p[2], "--at sample", -1, INT16_MAX);
    }
    return c;
}

// MODE:SPEED:NOTES; the notes may hold ':' no more than the engine does (none).
void arpArg(const std::string& s, Arpeggio& a)
{
    const size_t first = s.find(':');
    const size_t second = first == std::string::npos ? std::string::npos : s.find(':', first + 1);
    if (second == std::string::npos) usage("bad --arp: '" + s + "' (MODE:SPEED:NOTES)");
    const std::string mode = s.substr(0, first);
    const char* const names[] = {"up", "down", "random", "updown"};
    a.mode = -1;
    for (int i = 0; i < 4; ++i)
        if (mode == names[i] || mode == std::to_string(i)) a.mode = i;
    if (a.mode < 0) usage("bad --arp mode: '" + mode + "' (up, down, random, updown)");
    a.speed = intArg(s.substr(first + 1, second - first - 1), "--arp speed", 1, 64);
    a.notes = s.substr(second + 1);
    if (a.notes.empty() || a.notes.size() > 2047) usage("bad --arp notes: 1 to 2047 characters");
    a.on = true;
}

Options parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (a == "--key-lock") {
            o.keyLock = true;
            continue;
        }
        if (i + 1 >= argc) usage("missing value after " + a);
        const std::string v = argv[++i];
        if (a == "--bpm") {
            o.songBpm = bpmArg(v, "--bpm");
        } else if (a == "--mix-bpm") {
            o.mixBpm = bpmArg(v, "--mix-bpm");
        } else if (a == "--frames") {
            o.frames = intArg(v, "--frames", 1, kMostFrames);
        } else if (a == "--start-frame") {
            o.startFrame = longArg(v, "--start-frame", 0, kLatestStart);
            if (o.startFrame % kBlock != 0) usage("--start-frame " + v + " is not a multiple of 2048");
        } else if (a == "--grid") {
            if (!LaunchGridFromName(v.c_str(), &o.grid)) usage("bad --grid: '" + v + "'");
        } else if (a == "--master") {
            o.master = intArg(v, "--master", INT16_MIN, INT16_MAX);
        } else if (a == "--loop") {
            // PATH:REPEATS when what follows the last ':' is a number.
            const size_t colon = v.rfind(':');
            int64_t repeats = 0;
            if (colon != std::string::npos && toInt(v.substr(colon + 1), &repeats)) {
                o.loops.emplace_back(v.substr(0, colon), intArg(v.substr(colon + 1), "repeats", 0, 32767));
            } else {
                o.loops.emplace_back(v, 0);
            }
        } else if (a == "--track") {
            const std::vector<std::string> p = split(v);
            if (p.size() < 2 || p.size() > 4) usage("bad --track: '" + v + "'");
            TrackArg t;
            t.track = intArg(p[0], "track", 0, 7);
            t.sample = intArg(p[1], "sample", -1, INT16_MAX);
            if (p.size() > 2) t.volume = intArg(p[2], "volume", INT16_MIN, INT16_MAX);
            if (p.size() > 3) t.pan = intArg(p[3], "pan", INT16_MIN, INT16_MAX);
            o.tracks.push_back(t);
        } else if (a == "--at") {
            o.changes.push_back(changeArg(v));
        } else if (a == "--synth") {
            o.synth.folder = v;
        } else if (a == "--arp") {
            arpArg(v, o.synth);
        } else if (a == "--synth-vol") {
            o.synth.volume = intArg(v, "--synth-vol", 0, 127);
        } else if (a == "--synth-pan") {
            o.synth.pan = intArg(v, "--synth-pan", 0, 127);
        } else if (a == "--fx" || a == "--lv2") {
            const size_t colon = v.find(':');
            if (colon == std::string::npos) usage("bad " + a + ": '" + v + "' (TRACK:EFFECT)");
            EffectArg e;
            const std::string track = v.substr(0, colon);
            e.rack = track == "main" ? kFxMain : intArg(track, (a + " track").c_str(), 0, 7);
            std::string problem;
            if (!FxSlot_FromText(v.substr(colon + 1), &e.settings, &problem)) usage(a + ": " + problem);
            if ((a == "--lv2") != e.settings.isPlugin())
                usage(a == "--lv2" ? "--lv2 takes a plugin's URI; the built-in effects go with --fx"
                                   : "--fx takes a built-in effect; plugins go with --lv2");
            e.slot = static_cast<int>(std::count_if(o.effects.begin(), o.effects.end(),
                                                    [&](const EffectArg& x) { return x.rack == e.rack; }));
            if (e.slot >= kFxSlots) usage("track " + track + " has two effect slots, and both are taken");
            o.effects.push_back(e);
        } else if (a == "-o") {
            o.out = v;
        } else {
            usage("unknown option " + a);
        }
    }
    if (o.songBpm <= 0) usage("--bpm is required");
    if (o.mixBpm <= 0) usage("--mix-bpm is required");
    if (o.frames < 0) usage("--frames is required");
    if (o.out.empty()) usage("-o is required");
    if (o.synth.on != !o.synth.folder.empty()) usage("--synth and --arp go together");
    for (Change& c : o.changes) {
        if (c.kind != Change::kFx) continue;
        std::string effect;
        for (const EffectArg& e : o.effects)
            if (e.rack == c.track && e.slot == c.slot) effect = e.settings.effect;
        if (c.param == "bypass") {
            if (c.text != "0" && c.text != "1") usage("bypass is 0 or 1, not '" + c.text + "'");
            c.fxValue = c.text == "1" ? 1.0f : 0.0f;
            continue;
        }
        std::string problem;
        if (!FxParam_FromText(effect, c.param, c.text, &c.fxValue, &problem)) usage("--at: " + problem);
    }
    std::stable_sort(o.changes.begin(), o.changes.end(),
                     [](const Change& x, const Change& y) { return x.frame < y.frame; });
    return o;
}

std::string kelOf(const std::string& system)
{
    char kel[kKelPathMax + 1];
    if (!KEL_SystemPathToKelPath(system.c_str(), kel)) return {};
    return kel;
}

bool running()
{
    return PlayingStatus.load() == 2;
}

void apply(const Change& c)
{
    if (c.kind == Change::kMixBpm) {
        gep->setMixerBpm(c.bpm);
        return;
    }
    if (c.kind == Change::kKeyLock) {
        gep->setKeyLock(c.value != 0);
        return;
    }
    if (c.kind == Change::kFx) {
        if (c.param == "bypass") {
            gep->fx_bypass(c.track, c.slot, c.fxValue != 0.0f);
        } else {
            gep->fx_setParam(c.track, c.slot, c.param, c.fxValue);
        }
        return;
    }
    gep->sync_atGrooveSet(c.sync ? 1 : 0);
    const auto track = static_cast<short>(c.track);
    const auto value = static_cast<short>(c.value);
    switch (c.kind) {
        case Change::kSample: gep->setTrackSample(track, value); break;
        case Change::kVolume: gep->setTrackVolume(track, value); break;
        default: gep->setTrackPan(track, value); break;
    }
    gep->sync_atGrooveSet(0);
    const int64_t lands = TrackChangeTime(c.track + 1);
    if (c.sync && lands != kNever)
        std::printf("track %d: the change lands at timeline frame %lld\n", c.track,
                    static_cast<long long>(lands));
}

bool writeWave(const std::string& path, const std::vector<int16_t>& frames, int64_t count)
{
    const std::string kel = kelOf(path);
    const std::string temp = kelOf(path + ".part");
    if (kel.empty() || temp.empty()) return false;
    void* file = CreateWave(temp.c_str(), 2, static_cast<int>(count), 44100);
    if (file == F_NOFILE) return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(count) * 4);
    for (size_t i = 0; i < static_cast<size_t>(count) * 2; ++i) {
        const auto v = static_cast<uint16_t>(frames[i]);
        bytes[2 * i] = static_cast<uint8_t>(v & 0xFF);
        bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    const int want = static_cast<int>(bytes.size());
    const bool written = F_write(file, bytes.data(), want) == want;
    const bool closed = F_close(file) != 0;
    if (!written || !closed || !KEL_FileRename(temp.c_str(), kel.c_str())) {
        KEL_FileDelete(temp.c_str());
        return false;
    }
    return true;
}

// ---- The user loop ----------------------------------------------------------

struct UserLoopOptions {
    std::string file;
    blUserLoopSettingsRec settings{1, 1, 0.0f, 1.0f, 1.0f, 0.0f, 100.0f};
    bool paramsGiven = false;
};

float realArg(const std::string& s, const char* what)
{
    char* end = nullptr;
    const float v = std::strtof(s.c_str(), &end);
    if (s.empty() || *end != '\0' || !std::isfinite(v)) usage(std::string("bad ") + what + ": '" + s + "'");
    return v;
}

// Takes --user-loop and --user-params out of the arguments.
UserLoopOptions takeUserLoopOptions(int& argc, char** argv)
{
    UserLoopOptions u;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--user-loop" || a == "--user-params") && i + 1 >= argc) usage("missing value after " + a);
        if (a == "--user-loop") {
            u.file = argv[++i];
        } else if (a == "--user-params") {
            const std::vector<std::string> p = split(argv[++i]);
            if (p.size() != 6) usage("bad --user-params: '" + std::string(argv[i]) + "'");
            u.settings.bars = static_cast<int16_t>(intArg(p[0], "bars", 1, 32));
            u.settings.offset = realArg(p[1], "offset");
            u.settings.gain = realArg(p[2], "gain");
            u.settings.rate = realArg(p[3], "rate");
            u.settings.start = realArg(p[4], "start");
            u.settings.end = realArg(p[5], "end");
            u.paramsGiven = true;
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    if (u.paramsGiven && u.file.empty()) usage("--user-params needs --user-loop");
    return u;
}

// Loads the user loop (converting it when the engine cannot read it as it
// is) and sets it playing; false when it cannot be loaded.
bool startUserLoop(UserLoopOptions& u)
{
    if (u.file.empty()) return true;
    const std::string kel = kelOf(u.file);
    bool loaded = !kel.empty() && gep->userLoop_load(kel.c_str());
    if (!loaded && !kel.empty()) {
        char temp[] = "/tmp/enginebounce-loop-XXXXXX";
        const int fd = mkstemp(temp);
        if (fd >= 0) {
            close(fd);
            const std::string tempKel = kelOf(temp);
            loaded = kelQt_soundConvert_toLoopWave(kel.c_str(), tempKel.c_str()) &&
                     gep->userLoop_load(tempKel.c_str());
            std::remove(temp);
        }
    }
    if (!loaded) return false;
    gep->userLoop_params(&u.settings);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    UserLoopOptions userLoop = takeUserLoopOptions(argc, argv);
    const Options o = parse(argc, argv);

    HeldOutput device;
    wDBSetOutput(&device);
    wDBSetTimer(false);
    gep = new BLEngine;
    gep->init();
    if (o.keyLock && !gep->setKeyLock(true)) {
        std::fprintf(stderr, "enginebounce: key lock is not available\n");
        gep->exit();
        delete gep;
        gep = nullptr;
        wDBSetOutput(nullptr);
        return 1;
    }

    SetTimeLineStart(o.startFrame);
    gep->setLaunchGrid(LaunchGridBeatsOf(o.grid));
    gep->stop();
    gep->setMixerFrequency(44100);
    gep->samplesListReset();
    gep->samplesBpm(o.songBpm);
    for (const auto& [path, repeats] : o.loops) {
        const std::string kel = kelOf(path);
        if (kel.empty())
            std::fprintf(stderr, "enginebounce: %s: not a usable path; it stays silent\n", path.c_str());
        gep->samplesListAdd(kel.c_str(), static_cast<short>(repeats));
    }
    if (!startUserLoop(userLoop)) {
        std::fprintf(stderr, "enginebounce: %s: not a sound file that can be loaded\n",
                     userLoop.file.c_str());
        gep->exit();
        delete gep;
        gep = nullptr;
        wDBSetOutput(nullptr);
        return 1;
    }

    std::vector<int16_t> out;
    out.reserve(static_cast<size_t>(o.frames + kBlock) * 2);
    // The device primes itself when the play command has started it.
    auto takePriming = [&] {
        if (!device.held.empty()) {
            out.insert(out.end(), device.held.begin(), device.held.end());
            device.held.clear();
        }
    };
    std::string synthFolder;
    if (o.synth.on) {
        synthFolder = kelOf(o.synth.folder);
        if (synthFolder.empty()) {
            std::fprintf(stderr, "enginebounce: %s: not a usable folder\n", o.synth.folder.c_str());
            gep->exit();
            delete gep;
            gep = nullptr;
            wDBSetOutput(nullptr);
            return 1;
        }
        if (synthFolder.back() != ':') synthFolder += ':';
    }
    for (const EffectArg& e : o.effects)
        for (const FxNote& n : gep->fx_set(e.rack, e.slot, e.settings))
            std::fprintf(stderr, "enginebounce: %s: %s %s\n", n.effect.c_str(), n.detail.c_str(),
                         n.kind == FxNote::badState ? "(its state could not be read)" : "");
    size_t next = 0;
    gep->changesBegin();
    gep->play();
    if (o.synth.on) {
        // Before the first loop starts the timeline: the first step falls on frame 0.
        gep->synth_SetFolder(synthFolder.c_str());
        if (gep->synth_NotesLoaded() == 0)
            std::fprintf(stderr, "enginebounce: %s holds no note file; the synthesizer stays silent\n",
                         o.synth.folder.c_str());
        gep->synth_SetPoly(36);
        gep->synth_SetVolume(static_cast<short>(o.synth.volume));
        gep->synth_SetPan(static_cast<short>(o.synth.pan));
        gep->synth_Arp(static_cast<short>(o.synth.mode), static_cast<short>(o.synth.speed),
                       o.synth.notes.c_str());
    }
    for (const TrackArg& t : o.tracks) {
        gep->setTrackSample(static_cast<short>(t.track), static_cast<short>(t.sample));
        gep->setTrackVolume(static_cast<short>(t.track), static_cast<short>(t.volume));
        gep->setTrackPan(static_cast<short>(t.track), static_cast<short>(t.pan));
    }
    gep->setMixerBpm(o.mixBpm);
    gep->setMixerVolume(static_cast<short>(o.master));
    while (next < o.changes.size() && o.changes[next].frame == 0) apply(o.changes[next++]);
    gep->changesEnd();
    takePriming();
    bool settled = true;

    std::vector<int16_t> block(2 * kBlock);
    while (static_cast<int64_t>(out.size() / 2) < o.frames) {
        const auto frame = static_cast<int64_t>(out.size() / 2);
        settled = LiveMix_Settle() && settled;
        gep->fx_service();
        if (next < o.changes.size() && o.changes[next].frame <= frame) {
            // The changes of one frame are one command: they land together.
            gep->changesBegin();
            while (next < o.changes.size() && o.changes[next].frame <= frame) apply(o.changes[next++]);
            gep->changesEnd();
            if (!device.held.empty()) takePriming();  // they started the device
        }
        if (static_cast<int64_t>(out.size() / 2) != frame) continue;
        if (running()) {
            MixerLock hold;
            GetResampled(block.data(), kBlock);
        } else {
            std::fill(block.begin(), block.end(), 0);  // nothing plays yet
        }
        out.insert(out.end(), block.begin(), block.end());
    }

    gep->stop();
    gep->exit();
    delete gep;
    gep = nullptr;
    wDBSetOutput(nullptr);

    if (!settled) {
        std::fprintf(stderr, "enginebounce: the loader did not keep up\n");
        return 1;
    }
    if (!writeWave(o.out, out, o.frames)) {
        std::fprintf(stderr, "enginebounce: cannot write %s\n", o.out.c_str());
        return 1;
    }
    return 0;
}
