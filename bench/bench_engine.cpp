// The engine's mixing chain and its refill tick.
//
// MixingChain: GetResampled with eight tracks playing loops from files in
// the page cache, one core doing the mixing and the loader's reading in
// turn, at tempo ratios 1.0 and 1.3 (the limit). MixerOnly: the same without
// the reading (the rings hold loop data already). The counter "realtime" is
// seconds of output made per second: the real-time factor.
//
// RefillTick: the whole engine playing a groove for a minute (the device on
// SDL's dummy driver, the real loader thread), one refill tick every 23 ms
// as the timer makes them; reports the worst and the mean tick.
// BEATLOOM_TICK_SECONDS shortens the minute.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "audio/BLEngine.h"
#include "audio/OVMixer.h"
#include "audio/OVTrack.h"
#include "audio/Vtrack.h"
#include "audio/Winaudio.h"
#include "core/kelFiles.h"

namespace {

constexpr int kBeat = 22050;

void put(std::string& s, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i) s += static_cast<char>(v >> (8 * i) & 0xFF);
}

// Eight loops of 1 to 8 bars at 120 BPM, in a folder of their own.
struct LoopFolder {
    std::filesystem::path dir;
    std::vector<std::string> kel;
    std::vector<int> repeats;

    LoopFolder()
    {
        dir = std::filesystem::temp_directory_path() / "beatloom-bench-loops";
        std::filesystem::create_directories(dir);
        const int bars[8] = {1, 2, 4, 8, 1, 2, 4, 8};
        std::mt19937 random(1);
        for (int i = 0; i < 8; ++i) {
            const int frames = bars[i] * 4 * kBeat;
            std::string s = "RIFF";
            put(s, 36 + frames * 4, 4);
            s += "WAVEfmt ";
            put(s, 16, 4);
            put(s, 1, 2);
            put(s, 2, 2);
            put(s, 44100, 4);
            put(s, 176400, 4);
            put(s, 4, 2);
            put(s, 16, 2);
            s += "data";
            put(s, frames * 4, 4);
            for (int f = 0; f < 2 * frames; ++f) put(s, static_cast<uint16_t>(random() % 30000 - 15000), 2);
            const auto path = dir / ("loop" + std::to_string(i) + ".wav");
            std::ofstream(path, std::ios::binary).write(s.data(), static_cast<std::streamsize>(s.size()));
            char k[kKelPathMax + 1];
            KEL_SystemPathToKelPath(path.c_str(), k);
            kel.emplace_back(k);
            repeats.push_back(8 / bars[i]);
        }
    }
    ~LoopFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

// The lower layer armed at 120 BPM and running, eight tracks playing,
// without a device or threads.
struct Chain {
    explicit Chain(const LoopFolder& loops, int milliBpm)
    {
        PlayingStatus.store(0);
        SetRealtimeFreq(44100);
        SetSongBPM(120);
        ResetSongVTracks();
        for (int i = 0; i < 8; ++i) AddSongVTrack(loops.kel[i].c_str(), loops.repeats[i], 0);
        BPM.store(kBeat);
        ResampledBPM.store(kBeat);
        InitTracks(4 * BLOCKLEN.load());
        InitResampler(BLOCKLEN.load());
        TimeLine.store(0);
        MasterVolume(63);
        PlayingStatus.store(2);
        for (int t = 1; t <= 8; ++t) {
            TrackPlay(t, t);
            TrackVolume(t, 100);
            TrackPan(t, 20 + 10 * t);
        }
        SetMixBPM(milliBpm);
        service();
    }
    ~Chain()
    {
        CloseWaveFiles();
        FreeTracks();
        ResetResampler();
        PlayingStatus.store(0);
        ResetSongVTracks();
    }
    static void service()
    {
        for (int i = 0; i < kTrackCount; ++i) LoaderServiceTrack(i);
    }
};

void setRealtimeCounter(benchmark::State& state, int64_t frames)
{
    state.counters["realtime"] =
        benchmark::Counter(static_cast<double>(frames) / 44100, benchmark::Counter::kIsRate);
}

// The mix tempo in thousandths of a BPM: 120000 is the song's own (ratio
// 1.0), 156000 the 1.3 limit.
void MixingChain(benchmark::State& state, int milliBpm)
{
    static LoopFolder loops;
    Chain chain(loops, milliBpm);
    std::vector<int16_t> out(2 * 2048);
    int64_t frames = 0;
    for (auto _ : state) {
        Chain::service();
        GetResampled(out.data(), 2048);
        benchmark::DoNotOptimize(out.data());
        frames += 2048;
    }
    setRealtimeCounter(state, frames);
}
BENCHMARK_CAPTURE(MixingChain, ratio_1_0, 120000);
BENCHMARK_CAPTURE(MixingChain, ratio_1_3, 156000);

void MixerOnly(benchmark::State& state, int milliBpm)
{
    static LoopFolder loops;
    Chain chain(loops, milliBpm);
    for (TRACK& t : Tracks) {
        std::lock_guard<std::mutex> hold(t.lock);
        t.writePos = kNever;  // the ring's loop data, round and round
    }
    std::vector<int16_t> out(2 * 2048);
    int64_t frames = 0;
    for (auto _ : state) {
        if (TimeLine.load() > kNever / 2) TimeLine.store(0);
        GetResampled(out.data(), 2048);
        benchmark::DoNotOptimize(out.data());
        frames += 2048;
    }
    setRealtimeCounter(state, frames);
}
BENCHMARK_CAPTURE(MixerOnly, ratio_1_0, 120000);
BENCHMARK_CAPTURE(MixerOnly, ratio_1_3, 156000);

void RefillTick(benchmark::State& state)
{
    static LoopFolder loops;
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    const char* secondsText = std::getenv("BEATLOOM_TICK_SECONDS");
    const double seconds = secondsText ? std::atof(secondsText) : 60.0;

    wDBSetOutput(nullptr);
    wDBSetTimer(false);  // the benchmark is the timer
    BLEngine engine;
    engine.init();
    engine.samplesListReset();
    engine.samplesBpm(120);
    for (int i = 0; i < 8; ++i)
        engine.samplesListAdd(loops.kel[i].c_str(), static_cast<short>(loops.repeats[i]));
    engine.play();
    for (short t = 0; t < 8; ++t) {
        engine.setTrackSample(t, t);
        engine.setTrackVolume(t, 100);
    }
    engine.setMixerBpm(156);
    if (PlayingStatus.load() != 2) {
        state.SkipWithError("the dummy audio driver did not open");
        engine.exit();
        return;
    }

    using Clock = std::chrono::steady_clock;
    std::mt19937 random(2);
    double worst = 0;
    double total = 0;
    int ticks = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        auto due = start;
        while (Clock::now() - start < std::chrono::duration<double>(seconds)) {
            due += std::chrono::milliseconds(23);
            std::this_thread::sleep_until(due);
            if (ticks % 87 == 86)
                engine.setTrackSample(static_cast<short>(random() % 8), static_cast<short>(random() % 8));
            const auto t0 = Clock::now();
            MMSysAudio::AudioOutTimeSlice();
            const double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
            worst = std::max(worst, us);
            total += us;
            ++ticks;
        }
    }
    state.counters["ticks"] = ticks;
    state.counters["worst_us"] = worst;
    state.counters["mean_us"] = ticks ? total / ticks : 0;
    engine.stop();
    engine.exit();
    wDBSetTimer(true);
}
BENCHMARK(RefillTick)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
