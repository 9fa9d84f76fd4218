// Feeds arbitrary mix scripts to the offline mixdown: tempo lines, counts,
// track lines with any numbers, long lines, stray line ends. The render is
// stopped after about 100000 frames so that every input stays quick; what it
// leaves must be a whole file of the length the script asks for, or nothing.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzFiles.h"
#include "audio/QualMix.h"
#include "audio/Vtrack.h"

namespace {

using fuzzfiles::check;

// About 100000 frames of output an input: a whole block at the quickest tempos,
// a few beats at slow ones.
constexpr int kFramesAllowed = 100000;
int gBeatsAllowed = 1;
int gBeats = 0;

void writeLoop(const char* name, int channels, int frames, int16_t value)
{
    std::vector<uint8_t> bytes(44 + static_cast<size_t>(frames) * channels * 2, 0);
    auto put = [&](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    std::memcpy(bytes.data(), "RIFF", 4);
    put(4, static_cast<uint32_t>(bytes.size() - 8), 4);
    std::memcpy(bytes.data() + 8, "WAVEfmt ", 8);
    put(16, 16, 4);
    put(20, 1, 2);
    put(22, static_cast<uint32_t>(channels), 2);
    put(24, 44100, 4);
    put(28, 44100u * 2 * channels, 4);
    put(32, static_cast<uint32_t>(2 * channels), 2);
    put(34, 16, 2);
    std::memcpy(bytes.data() + 36, "data", 4);
    put(40, static_cast<uint32_t>(frames * channels * 2), 4);
    for (size_t i = 44; i + 1 < bytes.size(); i += 2) put(i, static_cast<uint16_t>(value), 2);
    fuzzfiles::write(name, bytes.data(), bytes.size());
}

void setUpSong()
{
    static bool done = false;
    if (done) return;
    done = true;
    writeLoop("a.wav", 2, 2646, 30000);   // one beat at 1000 BPM
    writeLoop("b.wav", 1, 9000, -30000);  // longer than its period
    writeLoop("c.wav", 2, 0, 0);          // no samples
    SetSongBPM(1000);
    ResetSongVTracks();
    AddSongVTrack(fuzzfiles::kelPath("a.wav").c_str(), 32, 0);
    AddSongVTrack(fuzzfiles::kelPath("b.wav").c_str(), 8, 0);
    AddSongVTrack(fuzzfiles::kelPath("c.wav").c_str(), 1, 0);
    AddSongVTrack(fuzzfiles::kelPath("missing.wav").c_str(), 4, 0);
    QualMix_SetHooks(nullptr, [] { return ++gBeats > gBeatsAllowed; });
}

int32_t dataLength(const std::string& path)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return -1;
    uint8_t h[44];
    const bool whole = std::fread(h, 1, 44, f) == 44;
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fclose(f);
    if (!whole) return -2;
    const int32_t declared =
        static_cast<int32_t>(h[40] | h[41] << 8 | h[42] << 16 | static_cast<uint32_t>(h[43]) << 24);
    return declared == size - 44 ? declared : -3;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    setUpSong();
    // The first byte picks the rendering; the rest is the script.
    QualMix_SetQuality(size > 0 && (data[0] & 1) ? kQualMixHigh : kQualMixClassic);
    std::string text(reinterpret_cast<const char*>(data), size);
    if (!text.empty()) text.erase(0, 1);
    const std::string target = fuzzfiles::kelPath("mix.wav");
    std::remove(fuzzfiles::systemPath("mix.wav").c_str());
    gBeats = 0;
    const int tempo = std::atoi(text.c_str());
    gBeatsAllowed = tempo >= 10 && tempo <= 1000 ? std::max(1, kFramesAllowed / (2646000 / tempo)) : 1;
    const int result = QualityMix(const_cast<char*>(target.c_str()), text.data());
    check(result == kQualMixWritten || result == kQualMixFailed || result == kQualMixStopped ||
              result == kQualMixBadTempo || result == kQualMixTooLong,
          "unknown result");
    // Nothing of the writer's is left beside the target.
    const std::filesystem::path folder =
        std::filesystem::path(fuzzfiles::systemPath("mix.wav")).parent_path();
    for (const auto& e : std::filesystem::directory_iterator(folder))
        check(e.path().filename().string().rfind(".mix.wav.", 0) != 0, "a temporary file was left");
    const int32_t length = dataLength(fuzzfiles::systemPath("mix.wav"));
    if (result == kQualMixWritten) {
        check(length >= 0, "the written file is not whole");
        check(length % (32 * 4) == 0, "not whole blocks of 32 beats");
    } else {
        check(length == -1, "a failed or stopped render left a file");
    }

    // The line reader alone, over the raw bytes (NUL-terminated).
    std::string copy(reinterpret_cast<const char*>(data), size);
    FileStr = copy.data();
    char line[kQualMixLineSize];
    for (int guard = 0; !Ieof() && guard <= static_cast<int>(size); ++guard) {
        Igets(line);
        check(std::strlen(line) < static_cast<size_t>(kQualMixLineSize), "line overflow");
    }
    check(Ieof() != 0, "the reader did not reach the end");
    return 0;
}
