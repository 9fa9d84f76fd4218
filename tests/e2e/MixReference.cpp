#include "e2e/MixReference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "library/BLBlsWriter.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace mixref {

namespace {

void put(std::string& s, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
}

std::string wavBytes(const Loop& loop)
{
    const uint32_t data = static_cast<uint32_t>(loop.samples.size() * 2);
    std::string s = "RIFF";
    put(s, 36 + data, 4);
    s += "WAVEfmt ";
    put(s, 16, 4);
    put(s, 1, 2);
    put(s, static_cast<uint32_t>(loop.channels), 2);
    put(s, 44100, 4);
    put(s, 44100u * 2 * loop.channels, 4);
    put(s, static_cast<uint32_t>(2 * loop.channels), 2);
    put(s, 16, 2);
    s += "data";
    put(s, data, 4);
    for (int16_t v : loop.samples) put(s, static_cast<uint16_t>(v), 2);
    return s;
}

Loop makeLoop(const std::string& file, int group, int channels, int frames, int repeats, double hz,
              double level)
{
    Loop l;
    l.file = file;
    l.group = group;
    l.channels = channels;
    l.frames = frames;
    l.repeats = repeats;
    uint32_t seed = static_cast<uint32_t>(frames * 31 + group);
    for (int f = 0; f < frames; ++f) {
        seed = seed * 1664525u + 1013904223u;
        const double grain = static_cast<int16_t>(seed >> 16) / 32768.0;
        for (int c = 0; c < channels; ++c) {
            const double v = std::sin(2 * M_PI * hz * (c + 1) * f / 44100.0) * 0.8 + grain * 0.2;
            l.samples.push_back(static_cast<int16_t>(std::lround(v * level)));
        }
    }
    return l;
}

int periodBeats(int repeats)
{
    const int beats = 32 / std::max(repeats, 1);
    return std::max(beats, 1);
}

}  // namespace

int16_t Song::slotOf(size_t i) const
{
    int16_t slot = 0;
    for (size_t k = 0; k < i; ++k)
        if (loops[k].group == loops[i].group) ++slot;
    return slot;
}

int16_t Song::loopIndex(int16_t group, int16_t slot) const
{
    for (size_t i = 0; i < loops.size(); ++i)
        if (loops[i].group == group && slotOf(i) == slot) return static_cast<int16_t>(i);
    return -1;
}

Song referenceSong()
{
    Song s;
    s.name = "RefSong";
    s.bpm = 126;
    s.groups = {"Drums", "Bass", "Pad", "Perc", "Keys"};
    const int beat = s.spb();
    s.loops = {
        makeLoop("Drums01", 0, 2, 4 * beat, 8, 97, 5000),        // 4 beats, period 4
        makeLoop("Bass01", 1, 1, 8 * beat, 4, 55, 6000),         // mono, 8 beats
        makeLoop("Bass02", 1, 2, 3 * beat, 3, 73, 5000),         // 3 beats every 10
        makeLoop("Pad01", 2, 2, 40 * beat, 1, 220, 4000),        // longer than the 32 beats
        makeLoop("Perc01", 3, 2, beat * 3 / 2, 32, 1800, 3000),  // 1.5 beats every beat: overlaps
        makeLoop("Keys01", 4, 2, 2 * beat, 16, 330, 4000),
    };
    return s;
}

void writeSong(const Song& song, const std::string& songs)
{
    const std::string folder = songs + "/" + song.name;
    fs::create_directories(folder);
    std::vector<std::string> lines = {"SONGFORMAT: BLS 1.2",
                                      "SONGLIBRARY: Tests",
                                      "SONGTITLE: " + song.name,
                                      "SONGDESCRIPTION: A song of the disk mix tests.",
                                      "SONGBPM: " + std::to_string(song.bpm),
                                      "SONGMIX: 0",
                                      "ARPNOTE: C",
                                      "LONGCOMMAND: CATEGORYLIST: " + std::to_string(song.groups.size())};
    for (const std::string& g : song.groups) lines.push_back(g);
    lines.push_back("ENDCOMMAND:");
    // Two random sets: lights for levels up to 5, and one for level 3 only.
    lines.insert(lines.end(), {"LONGCOMMAND: RANDOMSET: 2", "Full 5 Drums Bass Pad Perc Keys",
                               "Small 3 Drums Bass Pad", "ENDCOMMAND:"});
    lines.push_back("LONGCOMMAND: SONGTRACKS: " + std::to_string(song.loops.size()));
    for (const Loop& l : song.loops) {
        lines.push_back(l.file + " 100 63 " + std::to_string(l.repeats) + " " + l.file);
        ASSERT_TRUE(testsupport::writeFile(folder + "/" + l.file + ".wav", wavBytes(l)));
    }
    lines.push_back("ENDCOMMAND:");
    std::string bytes;
    ASSERT_TRUE(BLBlsWriter_Encode(lines, &bytes));
    ASSERT_TRUE(testsupport::writeFile(folder + "/" + song.name + ".bls", bytes));
}

BLTrack track(int16_t group, int16_t slot, uint16_t volume, int16_t pan)
{
    BLTrack t;
    t.group = group;
    t.slot = slot;
    t.volume = volume;
    t.pan = pan;
    return t;
}

BLIceimage referenceDocument(const Song& song, float bpm)
{
    BLIceimage doc;
    doc.valid = 1;
    std::snprintf(doc.songName, sizeof doc.songName, "%s", song.name.c_str());
    doc.bpm = bpm;
    BLSequence& q = doc.sequence;
    q.grooves[0].id = 1;
    q.grooves[0].tracks[0] = track(0, 0, 110, -20);
    q.grooves[0].tracks[1] = track(1, 0, 90, 30);
    q.grooves[0].tracks[2] = track(3, 0, 127, 0);
    q.grooves[0].tracks[6] = track(2, 0, 60, -63);
    q.grooves[1].id = 2;
    q.grooves[1].tracks[0] = track(1, 1, 127, 63);
    q.grooves[1].tracks[3] = track(0, 0, 50, 10);
    q.grooves[1].tracks[4] = track(2, -1, 100, 0);  // a group, no loop: silent
    q.grooves[2].id = 3;                            // empty
    q.count = 3;
    for (uint16_t id : {1, 2, 3, 1, 99}) q.entries[q.length++] = id;
    doc.groove = q.grooves[0];
    return doc;
}

std::vector<int16_t> expectedMix(const Song& song, const BLIceimage& doc, int group)
{
    const int spb = song.spb(), ospb = 2646000 / static_cast<int>(doc.bpm);
    const int grooveFrames = 32 * spb;
    std::vector<int16_t> out;
    for (int e = 0; e < doc.sequence.length; ++e) {
        const BLGroove* g = nullptr;
        for (int i = 0; i < doc.sequence.count && !g; ++i)
            if (doc.sequence.grooves[i].id == doc.sequence.entries[e]) g = &doc.sequence.grooves[i];
        if (!g) continue;
        std::vector<int32_t> sum(2 * static_cast<size_t>(grooveFrames), 0);
        for (int t = 0; t < 8; ++t) {
            const BLTrack& k = g->tracks[t];
            if (k.group < 0 || (group >= 0 && k.group != group)) continue;
            const int16_t index = song.loopIndex(k.group, k.slot);
            if (index < 0) continue;
            const Loop& loop = song.loops[static_cast<size_t>(index)];
            // The script carries 63 - pan and volume x 80 / 128; pans above
            // 63 quieten the right, the others the left.
            const int v = k.volume * 80 / 128, p = 63 - k.pan;
            const int left = p > 63 ? 64 * v : p * v, right = p > 63 ? (127 - p) * v : 64 * v;
            const int period = spb * periodBeats(loop.repeats);
            for (int f = 0; f < grooveFrames; ++f) {
                const int earliest = f - loop.frames + 1;  // a repetition starting before it has ended
                const int first = earliest <= 0 ? 0 : (earliest + period - 1) / period * period;
                for (int start = first; start <= f; start += period) {
                    const int at = f - start;
                    if (at >= loop.frames) continue;
                    const int l = loop.samples[static_cast<size_t>(at * loop.channels)];
                    const int r = loop.samples[static_cast<size_t>(at * loop.channels + loop.channels - 1)];
                    sum[2 * static_cast<size_t>(f)] += l * left / 16384;
                    sum[2 * static_cast<size_t>(f) + 1] += r * right / 16384;
                }
            }
        }
        for (int b = 0; b < 32; ++b)
            for (int i = 0; i < ospb; ++i) {
                const int from = b * spb + static_cast<int>((ospb / 2 + int64_t{i} * spb) / ospb);
                for (int c = 0; c < 2; ++c)
                    out.push_back(static_cast<int16_t>(
                        std::clamp(sum[2 * static_cast<size_t>(from) + c], -32767, 32767)));
            }
    }
    return out;
}

}  // namespace mixref
