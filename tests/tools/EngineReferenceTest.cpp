// enginebounce held against the mixing chain written out apart from the
// engine (support/MixReference.h), sample for sample from the first frame:
// two tracks at tempo ratios 1.0, 1.3 and 0.83 with several volumes, pans
// and master volumes; synchronised changes landing on the boundary of every
// launch grid; a groove that plays on, in phase, where a 32-bit timeline
// ran out.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "audio/EngineTestLoops.h"
#include "support/MixReference.h"
#include "support/TestSupport.h"

using namespace enginetest;

namespace {

// Loud, busy loops: neighbouring frames far apart (the interpolation shows),
// two of them at full gain saturate, and every frame of a period differs.
int16_t busyLeft(int id, int64_t f)
{
    return static_cast<int16_t>((f * 7919 + id * 4241) % 50001 - 25000);
}
int16_t busyRight(int id, int64_t f)
{
    return static_cast<int16_t>((f * 104729 + id * 6007) % 40001 - 20000);
}

bool writeBusyLoop(const std::string& path, int id, int frames)
{
    std::vector<int16_t> s(static_cast<size_t>(frames) * 2);
    for (int f = 0; f < frames; ++f) {
        s[2 * static_cast<size_t>(f)] = busyLeft(id, f);
        s[2 * static_cast<size_t>(f) + 1] = busyRight(id, f);
    }
    return writeBytes(path, waveBytes(s));
}

// A track of the reference that plays loop `id`, `period` frames long, at
// every multiple of its period; from a launch boundary `switchAt` on, loop
// `later` (-1: none) at the point of its own period the timeline has
// reached. Before the switch, a pass that started before the change was
// asked for (`askedAt`) is cut at the boundary, and a later pass that would
// run past it is not started: silence until it.
mixref::Track loopTrack(int id, int64_t period, int later = 0, int64_t laterPeriod = 1,
                        int64_t switchAt = INT64_MAX, int64_t askedAt = 0)
{
    mixref::Track t;
    t.at = [=](int64_t p, int16_t& l, int16_t& r) {
        l = r = 0;
        const int64_t pass = p / period * period;
        if (p >= switchAt) {
            if (later < 0) return;
            l = busyLeft(later, p % laterPeriod);
            r = busyRight(later, p % laterPeriod);
        } else if (pass < askedAt || pass + period <= switchAt) {
            l = busyLeft(id, p % period);
            r = busyRight(id, p % period);
        }
    };
    return t;
}

void levels(mixref::Track& t, int volume, int pan, int64_t from = INT64_MAX, int laterVolume = 0)
{
    t.levels = [=](int64_t at, int& v, int& p) {
        v = at >= from ? laterVolume : volume;
        p = pan;
    };
}

class Reference : public ::testing::Test {
protected:
    std::vector<int16_t> bounce(std::vector<std::string> args)
    {
        args.insert(args.begin(), testsupport::toolsDir() + "/enginebounce");
        args.insert(args.end(), {"-o", out});
        const auto r = testsupport::run(args, "", 300);
        EXPECT_EQ(r.exitCode, 0) << r.out;
        return testsupport::readWav16(out);
    }

    testsupport::TempDir dir{"reference"};
    std::string out = dir.file("out.wav");
};

}  // namespace

TEST_F(Reference, TwoTracksAtThreeTempoRatiosFromTheFirstFrame)
{
    // 100 BPM: 26460 frames a beat; a 4-beat and a 2-beat loop.
    const int beat = 26460;
    const std::string a = dir.file("a.wav"), b = dir.file("b.wav");
    ASSERT_TRUE(writeBusyLoop(a, 1, 4 * beat));
    ASSERT_TRUE(writeBusyLoop(b, 2, 2 * beat));
    struct Case {
        const char* mix;  // 1.0, 1.3 and 0.83 times the song's tempo
        int volumeA, panA, volumeB, panB, master;
    };
    const Case cases[] = {{"100", 127, 0, 90, -40, 63},  {"100", 60, 63, 127, -63, 128},
                          {"130", 100, 20, 64, 63, 128}, {"130", 127, -10, 127, 10, 100},
                          {"83", 50, -63, 127, 5, 100},  {"83", 127, 0, 127, 0, 30}};
    const int frames = 120000;
    for (const Case& c : cases) {
        SCOPED_TRACE(testsupport::join("mix ", c.mix, " volumes ", c.volumeA, "/", c.volumeB, " pans ",
                                       c.panA, "/", c.panB, " master ", c.master));
        const std::vector<int16_t> engine =
            bounce({"--bpm", "100", "--mix-bpm", c.mix, "--frames", std::to_string(frames), "--master",
                    std::to_string(c.master), "--loop", a + ":8", "--loop", b + ":16", "--track",
                    testsupport::join("0:0:", c.volumeA, ":", c.panA), "--track",
                    testsupport::join("5:1:", c.volumeB, ":", c.panB)});
        mixref::Chain ref;
        ref.songBpm = 100;
        ref.mixBpm = std::stof(c.mix);
        ref.master = c.master;
        ref.tracks = {loopTrack(1, 4 * beat), loopTrack(2, 2 * beat)};
        levels(ref.tracks[0], c.volumeA, c.panA);
        levels(ref.tracks[1], c.volumeB, c.panB);
        const std::vector<int16_t> expected = ref.render(frames);
        const int64_t at = mixref::firstDifference(engine, expected);
        EXPECT_EQ(at, -1) << "engine " << (at >= 0 ? engine[2 * static_cast<size_t>(at)] : 0) << " reference "
                          << (at >= 0 ? expected[2 * static_cast<size_t>(at)] : 0);
    }
}

TEST_F(Reference, ChangesLandTogetherOnTheBoundaryOfEveryLaunchGrid)
{
    // 120 BPM: 22050 frames a beat. A volume, a loop change to a 3-beat loop
    // (which comes in inside its period) and a stop, asked for together.
    const int beat = 22050;
    const std::string a = dir.file("a.wav"), b = dir.file("b.wav"), c = dir.file("c.wav"),
                      d = dir.file("d.wav");
    ASSERT_TRUE(writeBusyLoop(a, 1, 4 * beat));
    ASSERT_TRUE(writeBusyLoop(b, 2, 2 * beat));
    ASSERT_TRUE(writeBusyLoop(c, 3, 8 * beat));
    ASSERT_TRUE(writeBusyLoop(d, 4, 3 * beat));
    struct Case {
        const char* grid;
        int beats;
        const char* mix;  // 1.0, 1.3 and 0.83 times the song's tempo
        double ratio;
    };
    const Case cases[] = {{"beat", 1, "120", 1.0},   {"bar", 4, "156", 1.3},    {"2bars", 8, "100", 0.83},
                          {"4bars", 16, "120", 1.0}, {"8bars", 32, "156", 1.3}, {"cycle", 32, "100", 0.83}};
    const int64_t asked = 100352;  // output frame
    for (const Case& k : cases) {
        SCOPED_TRACE(testsupport::join(k.grid, " at ", k.mix));
        testsupport::TempDir here{"grid"};
        const std::string wav = here.file("out.wav");
        const int64_t grid = int64_t{k.beats} * beat;
        // Past the latest boundary the changes may wait for, and a beat on.
        const auto frames = static_cast<int64_t>((asked * k.ratio + 4 * beat + grid) / k.ratio) + beat;
        const auto r = testsupport::run({testsupport::toolsDir() + "/enginebounce",
                                         "--bpm",
                                         "120",
                                         "--mix-bpm",
                                         k.mix,
                                         "--frames",
                                         std::to_string(frames),
                                         "--master",
                                         "90",
                                         "--grid",
                                         k.grid,
                                         "--loop",
                                         a + ":8",
                                         "--loop",
                                         b + ":16",
                                         "--loop",
                                         c + ":4",
                                         "--loop",
                                         d,
                                         "--track",
                                         "0:0:110:30",
                                         "--track",
                                         "1:1:127:-20",
                                         "--track",
                                         "2:2:100:0",
                                         "--at",
                                         testsupport::join(asked, ":1:3:sync"),
                                         "--at",
                                         testsupport::join(asked, ":0:vol=40:sync"),
                                         "--at",
                                         testsupport::join(asked, ":2:-1:sync"),
                                         "-o",
                                         wav},
                                        "", 300);
        ASSERT_EQ(r.exitCode, 0) << r.out;
        std::smatch m;
        std::string said = r.out;
        std::vector<int64_t> lands;
        while (std::regex_search(said, m, std::regex("lands at timeline frame (\\d+)"))) {
            lands.push_back(std::stoll(m[1]));
            said = m.suffix();
        }
        ASSERT_EQ(lands.size(), 3u) << r.out;
        const int64_t at = lands[0];
        EXPECT_EQ(lands[1], at);
        EXPECT_EQ(lands[2], at);
        // On the grid, after the change was asked for, and the first boundary
        // past what the engine had already mixed or read ahead.
        EXPECT_EQ(at % grid, 0);
        const auto askedTimeLine = static_cast<int64_t>(asked * k.ratio);
        EXPECT_GT(at, askedTimeLine);
        EXPECT_LT(at - grid, askedTimeLine + 4 * beat);

        mixref::Chain ref;
        ref.mixBpm = std::stof(k.mix);
        ref.master = 90;
        ref.tracks = {loopTrack(1, 4 * beat), loopTrack(2, 2 * beat, 4, 3 * beat, at, askedTimeLine),
                      loopTrack(3, 8 * beat, -1, 1, at, askedTimeLine)};
        levels(ref.tracks[0], 110, 30, at, 40);
        levels(ref.tracks[1], 127, -20);
        levels(ref.tracks[2], 100, 0);
        const std::vector<int16_t> engine = testsupport::readWav16(wav);
        const int64_t differs = mixref::firstDifference(engine, ref.render(frames));
        EXPECT_EQ(differs, -1) << "landing at " << at;
    }
}

TEST_F(Reference, AGroovePlaysOnInPhaseWhereA32BitTimelineEnded)
{
    const int beat = 22050;
    const std::string a = dir.file("a.wav"), b = dir.file("b.wav"), c = dir.file("c.wav");
    ASSERT_TRUE(writeBusyLoop(a, 1, 4 * beat));
    ASSERT_TRUE(writeBusyLoop(b, 2, 5 * beat));  // a period that does not divide the cycle
    ASSERT_TRUE(writeBusyLoop(c, 3, 2 * beat));
    // Just before 2,000,000,000 (the old "never") and just before 2^31.
    for (const int64_t start : {int64_t{1999998976}, (int64_t{1} << 31) - 32768}) {
        SCOPED_TRACE(start);
        const int64_t boundary = (start + 8192) / 705600 * 705600 + 705600;
        const int frames = static_cast<int>(boundary - start) + 20000;
        const std::vector<int16_t> engine = bounce({"--bpm",         "120",
                                                    "--mix-bpm",     "120",
                                                    "--frames",      std::to_string(frames),
                                                    "--start-frame", std::to_string(start),
                                                    "--loop",        a + ":8",
                                                    "--loop",        b + ":6",
                                                    "--loop",        c + ":16",
                                                    "--track",       "2:0:100:10",
                                                    "--track",       "4:1:120:-30",
                                                    "--at",          "8192:4:2:sync"});
        mixref::Chain ref;
        ref.start = start;
        ref.tracks = {loopTrack(1, 4 * beat), loopTrack(2, 5 * beat, 3, 2 * beat, boundary)};
        levels(ref.tracks[0], 100, 10);
        levels(ref.tracks[1], 120, -30);
        EXPECT_EQ(mixref::firstDifference(engine, ref.render(frames)), -1);
    }
}
