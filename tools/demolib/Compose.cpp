#include "tools/demolib/Compose.h"

#include <algorithm>
#include <cmath>

namespace demolib {

namespace {

constexpr double kLoopPeak = 0.5;  // -6 dBFS

}  // namespace

SongBuilder::SongBuilder(Song& song, double swing, uint64_t seed)
    : song_(song), grid_(song.framesPerBeat(), swing), rng_(seed)
{
}

void SongBuilder::level(const std::string& group, int volume)
{
    levels_.emplace_back(group, volume);
}

void SongBuilder::add(const std::string& group, const std::string& label, int bars, Stereo audio, int pan)
{
    removeDc(audio);
    const double peak = peakOf(audio);
    if (peak > 0.0) scale(audio, kLoopPeak / peak);
    Sample s;
    s.group = group;
    s.label = label;
    s.bars = bars;
    s.pan = pan;
    s.audio = std::move(audio);
    int count = 0;
    for (const Sample& other : song_.samples)
        if (other.group == group) ++count;
    s.number = count + 1;
    song_.samples.push_back(std::move(s));
}

void SongBuilder::finish()
{
    auto groupIndex = [&](const std::string& g) {
        auto it = std::find(song_.groups.begin(), song_.groups.end(), g);
        return static_cast<int>(it - song_.groups.begin());
    };
    std::stable_sort(song_.samples.begin(), song_.samples.end(), [&](const Sample& a, const Sample& b) {
        const int ga = groupIndex(a.group), gb = groupIndex(b.group);
        return ga != gb ? ga < gb : a.number < b.number;
    });
    // Loops of a group share the group's volume, nudged by their loudness so
    // that a sparse loop is not much quieter than a busy one.
    for (const std::string& g : song_.groups) {
        int volume = 100;
        for (const auto& [name, v] : levels_)
            if (name == g) volume = v;
        std::vector<double> rms;
        for (const Sample& s : song_.samples)
            if (s.group == g) rms.push_back(rmsOf(s.audio));
        if (rms.empty()) continue;
        std::vector<double> sorted = rms;
        std::sort(sorted.begin(), sorted.end());
        const double ref = sorted[sorted.size() / 2];
        for (Sample& s : song_.samples) {
            if (s.group != g) continue;
            const double r = rmsOf(s.audio);
            const double nudge = r > 0.0 ? clampd(std::sqrt(ref / r), 0.8, 1.25) : 1.0;
            s.volume = static_cast<int>(clampd(std::floor(volume * nudge + 0.5), 1.0, 127.0));
        }
    }
}

void SongBuilder::hits(Stereo& loop, const std::string& pattern, const std::vector<Stereo>& sounds,
                       double gain, double pan, double humanize)
{
    if (sounds.empty()) return;
    size_t next = 0;
    for (const Hit& h : parseHits(pattern)) {
        int64_t at = grid_.frame(h.step);
        if (humanize > 0.0)
            at += static_cast<int64_t>(std::floor(rng_.bipolar() * humanize * 0.001 * kRate + 0.5));
        const double vel = h.vel * (1.0 + 0.06 * rng_.bipolar() * (humanize > 0.0 ? 1.0 : 0.0));
        placeWrapped(loop, sounds[next % sounds.size()], at, gain * vel, pan);
        ++next;
    }
}

void SongBuilder::notes(Stereo& loop, const std::string& pattern, double gain, double gateShare,
                        const VoiceFn& voice, double pan, int transpose)
{
    const std::vector<NoteEvent> events = parseNotes(pattern);
    for (size_t i = 0; i < events.size(); ++i) {
        const NoteEvent& e = events[i];
        Note n;
        n.midi = e.midi + transpose;
        n.vel = e.vel;
        // A note that the next one slides out of is held into it.
        const bool tiedOn =
            i + 1 < events.size() && events[i + 1].slide && events[i + 1].step == e.step + e.steps;
        n.gate = grid_.seconds(e.steps) * (tiedOn ? 1.0 : gateShare);
        if (e.slide && i > 0) n.glideFrom = events[i - 1].midi + transpose;
        placeWrapped(loop, voice(n, seed()), grid_.frame(e.step), gain, pan);
    }
}

void SongBuilder::chord(Stereo& loop, double step, double steps, const std::vector<int>& pitches, double vel,
                        double gain, const VoiceFn& voice, double spread, double strum)
{
    const size_t count = pitches.size();
    for (size_t k = 0; k < count; ++k) {
        Note n;
        n.midi = pitches[k];
        n.vel = vel;
        n.gate = grid_.seconds(steps);
        const double pan = count > 1 ? spread * (2.0 * static_cast<double>(k) / (count - 1) - 1.0) : 0.0;
        const int64_t at = grid_.frame(step) + static_cast<int64_t>(strum * kRate * static_cast<double>(k));
        placeWrapped(loop, voice(n, seed()), at, gain / std::sqrt(static_cast<double>(count)), pan);
    }
}

void SongBuilder::chordRhythm(Stereo& loop, const std::vector<std::vector<int>>& perBar,
                              const std::string& rhythm, double steps, double gain, const VoiceFn& voice,
                              double spread, double strum)
{
    const std::vector<Hit> hits = parseHits(rhythm);
    for (size_t bar = 0; bar < perBar.size(); ++bar)
        for (const Hit& h : hits)
            chord(loop, 16.0 * static_cast<double>(bar) + h.step, steps, perBar[bar], h.vel, gain, voice,
                  spread, strum);
}

std::vector<Stereo> variants(int count, uint64_t seed, const std::function<Stereo(uint64_t)>& make)
{
    std::vector<Stereo> out;
    for (int i = 0; i < count; ++i)
        out.push_back(make(seed * 7919u + static_cast<uint64_t>(i) * 104729u + 1u));
    return out;
}

}  // namespace demolib
