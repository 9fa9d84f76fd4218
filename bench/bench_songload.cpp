// What loading a song costs now that its loops are held in memory: 40
// stereo loops of 8 s (4 bars at 120 BPM) handed to the engine as the
// groove panel does, the time it takes (the files read from the page cache)
// and the memory it keeps. Exit 1 past 300 ms or
// 60 MB.
//
//   bench_songload
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "audio/BLEngine.h"
#include "audio/LoopCache.h"
#include "core/kelFiles.h"

namespace fs = std::filesystem;

namespace {

constexpr int kLoops = 40;
constexpr int kFrames = 8 * 44100;

void put32(std::ofstream& out, uint32_t v)
{
    const char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
    out.write(b, 4);
}

void writeLoop(const fs::path& path, int id)
{
    std::ofstream out(path, std::ios::binary);
    const uint32_t bytes = kFrames * 4;
    out.write("RIFF", 4);
    put32(out, 36 + bytes);
    out.write("WAVEfmt ", 8);
    put32(out, 16);
    put32(out, 1 | 2 << 16);  // PCM, stereo
    put32(out, 44100);
    put32(out, 44100 * 4);
    put32(out, 4 | 16 << 16);  // 4 bytes a frame, 16 bits
    out.write("data", 4);
    put32(out, bytes);
    std::vector<int16_t> s(2 * static_cast<size_t>(kFrames));
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>((i * 31 + id * 977) % 30000 - 15000);
    out.write(reinterpret_cast<const char*>(s.data()), static_cast<std::streamsize>(s.size() * 2));
}

long residentKb()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

double load(BLEngine& engine, const std::vector<std::string>& paths)
{
    const auto start = std::chrono::steady_clock::now();
    engine.samplesListReset();
    engine.samplesBpm(120);
    for (const std::string& p : paths) engine.samplesListAdd(p.c_str(), 0);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main()
{
    char pattern[] = "/tmp/beatloom-songload-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const fs::path dir = pattern;
    std::vector<std::string> paths;
    for (int i = 0; i < kLoops; ++i) {
        const fs::path p = dir / ("loop" + std::to_string(i) + ".wav");
        writeLoop(p, i);
        char kel[kKelPathMax + 1];
        if (!KEL_SystemPathToKelPath(p.c_str(), kel)) return 1;
        paths.emplace_back(kel);
    }
    BLEngine engine;
    engine.init();
    // The files were just written: they are in the page cache, as a song's
    // loops are once it was opened before.
    const long before = residentKb();
    const double ms = load(engine, paths);
    const double mb = static_cast<double>(residentKb() - before) / 1024.0;
    std::printf("40 loops of 8 s: loaded in %.0f ms, %.1f MB more (%.1f MB of loops in memory)\n", ms, mb,
                static_cast<double>(LoopCache_Bytes()) / (1 << 20));
    const bool resident = LoopCache_Resident();
    engine.exit();
    fs::remove_all(dir);
    return ms < 300 && mb < 60 && resident ? 0 : 1;
}
