// Eight tracks of loops from files in the page cache, and the lower layer
// armed and running over them without a device or threads: what the
// mixing benchmarks play.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "audio/OVMixer.h"
#include "audio/OVTrack.h"
#include "audio/Vtrack.h"
#include "core/kelFiles.h"

namespace benchchain {

constexpr int kBeat = 22050;

inline void put(std::string& s, uint32_t v, int bytes)
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

}  // namespace benchchain
