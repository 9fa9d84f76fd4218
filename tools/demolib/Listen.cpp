#include "tools/demolib/Listen.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "tools/demolib/Analysis.h"
#include "tools/demolib/Dsp.h"
#include "tools/demolib/Mixdown.h"
#include "tools/demolib/Output.h"
#include "tools/demolib/Songs.h"

namespace demolib {

namespace {

// The largest step between neighbouring frames inside the loop, and the one
// across its seam.
void seamSteps(const Stereo& s, double& inside, double& seam)
{
    inside = 0;
    const size_t n = s.l.size();
    for (size_t i = 0; i + 1 < n; ++i) {
        inside = std::fmax(inside, std::fabs(s.l[i + 1] - s.l[i]));
        inside = std::fmax(inside, std::fabs(s.r[i + 1] - s.r[i]));
    }
    seam = std::fmax(std::fabs(s.l[0] - s.l[n - 1]), std::fabs(s.r[0] - s.r[n - 1]));
}

void listenTo(const Song& song, const std::string& out, int grooves)
{
    std::printf("== %s (%d BPM)\n", song.folder.c_str(), song.bpm);
    const int fpb = song.framesPerBeat();
    for (const Sample& s : song.samples) {
        double inside, seam;
        seamSteps(s.audio, inside, seam);
        std::printf("  %-10s %-12s vol %3d  %s  seam %.4f/%.4f\n", s.fileWord().c_str(), s.label.c_str(),
                    s.volume, describe(measure(s.audio, fpb)).c_str(), seam, inside);
        writeSpectrogram(out + "/" + song.folder + "-" + s.fileWord() + ".ppm", s.audio, 512);
    }
    // Random grooves as the four random buttons build them, with the
    // default levels 4, 5, 6 and 7 tracks.
    // A song without random sets (a 1.0 description) gets four of the
    // program's own: the first eight groups in order.
    std::vector<RandomSet> sets = song.randomSets;
    if (sets.empty()) {
        RandomSet all{"Rnd", {}};
        for (size_t i = 0; i < song.groups.size() && i < 8; ++i) all.groups.push_back(song.groups[i]);
        sets.assign(4, all);
    }
    Rng rng(static_cast<uint64_t>(song.bpm) * 1000003u);
    for (int g = 0; g < grooves; ++g) {
        const RandomSet& set = sets[static_cast<size_t>(g) % sets.size()];
        const size_t level = 4 + static_cast<size_t>(g) % 4;
        std::vector<TrackChoice> tracks;
        std::string names;
        for (size_t t = 0; t < set.groups.size() && t < level; ++t) {
            std::vector<const Sample*> loops;
            for (const Sample& s : song.samples)
                if (s.group == set.groups[t]) loops.push_back(&s);
            if (loops.empty()) continue;
            const Sample* pick = loops[static_cast<size_t>(rng.below(static_cast<int>(loops.size())))];
            tracks.push_back({pick, pick->volume, pick->pan});
            names += " " + pick->fileWord();
        }
        // The engine at its default master volume (63 of 128).
        Stereo mix = mixGroove(tracks, 8 * 4 * fpb);
        scale(mix, 63.0 / 128.0);
        std::printf("  groove %d (%s):%s\n    %s\n", g, set.name.c_str(), names.c_str(),
                    describe(measure(mix, fpb)).c_str());
        char name[64];
        std::snprintf(name, sizeof name, "/%s-groove%d.wav", song.folder.c_str(), g);
        writeWaveFile(out + name, toPcm16(mix), 2);
        std::snprintf(name, sizeof name, "/%s-groove%d.ppm", song.folder.c_str(), g);
        writeSpectrogram(out + name, mix, 1024);
    }
    const Stereo preview = previewOf(song, 8);
    std::printf("  preview: %s\n", describe(measure(preview, fpb)).c_str());
}

// Power away from the harmonics of f0 against the total, in dB: what an
// oscillator folds back below the Nyquist frequency.
double aliasDb(const std::vector<float>& x, double f0)
{
    const int size = 16384;
    const std::vector<double> p = powerSpectrum(x, size);
    double total = 0, off = 0;
    for (size_t k = 1; k < p.size(); ++k) {
        const double hz = static_cast<double>(k) * kRate / size;
        const double h = hz / f0;
        const double nearest = std::floor(h + 0.5);
        total += p[k];
        if (std::fabs(h - nearest) * f0 > 12.0 * kRate / size) off += p[k];
    }
    return 10.0 * std::log10(off / total + 1e-20);
}

void oscillatorPurity()
{
    for (double f0 : {440.0, 1760.0, 3520.0}) {
        std::vector<float> saw(65536), pulse(65536), naive(65536);
        Osc a, b;
        a.setHz(f0);
        b.setHz(f0);
        double ph = 0;
        for (size_t i = 0; i < saw.size(); ++i) {
            saw[i] = static_cast<float>(a.saw());
            pulse[i] = static_cast<float>(b.pulse(0.3));
            naive[i] = static_cast<float>(2.0 * ph - 1.0);
            ph += f0 / kRate;
            ph -= std::floor(ph);
        }
        std::printf("  alias at %5.0f Hz: saw %6.1f dB, pulse %6.1f dB (naive saw %6.1f dB)\n", f0,
                    aliasDb(saw, f0), aliasDb(pulse, f0), aliasDb(naive, f0));
    }
}

}  // namespace

int listen(const std::string& outFolder, int grooves)
{
    std::error_code ec;
    std::filesystem::create_directories(outFolder, ec);
    oscillatorPurity();
    using Maker = Song (*)();
    for (Maker make : {makeHouse, makeHipHop, makeElectro, makeDowntempo, makeTechno, makeDrumBass})
        listenTo(make(), outFolder, grooves);
    return 0;
}

}  // namespace demolib
