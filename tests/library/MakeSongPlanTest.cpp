// A song planned from a folder of the user's loops: every entry of the
// folder is either used or named with why it is left out, however hostile
// the folder; and loops that share a length are read at one tempo.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "library/BLMakeSong.h"
#include "platform/PlatSound.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRate = 44100;

// `seconds` of clicks, one every `every` seconds, `width` frames each.
void writeClicks(const std::string& path, double seconds, double every, int width = 220)
{
    fs::create_directories(fs::path(path).parent_path());
    const auto frames = static_cast<size_t>(std::lround(seconds * kRate));
    std::vector<float> out(frames * 2, 0.0f);
    for (double at = 0; at < seconds; at += every) {
        const auto from = static_cast<size_t>(std::lround(at * kRate));
        for (size_t f = from; f < from + static_cast<size_t>(width) && f < frames; ++f)
            out[2 * f] = out[2 * f + 1] = (f / 8) % 2 ? 0.8f : -0.8f;
    }
    plat::SoundWriteSettings s;
    plat::SoundWriter w;
    ASSERT_TRUE(w.open(path, s));
    ASSERT_TRUE(w.write(out.data(), static_cast<long>(frames)));
    ASSERT_TRUE(w.finish());
}

std::map<std::string, const BLMadeLoop*> byName(const BLSongPlan& plan)
{
    std::map<std::string, const BLMadeLoop*> loops;
    for (const BLMadeLoop& l : plan.loops) loops[fs::path(l.source).filename().string()] = &l;
    return loops;
}

TEST(MakeSongPlan, EveryEntryOfAHostileFolderIsUsedOrNamed)
{
    testsupport::TempDir dir("plan-hostile");
    const std::string loops = dir.file("loops");
    writeClicks(loops + "/kick 120bpm.wav", 2.0, 0.5);
    writeClicks(loops + "/.hidden 120bpm.wav", 2.0, 0.5);
    writeClicks(loops + "/.git/inside 120bpm.wav", 2.0, 0.5);
    testsupport::writeFile(loops + "/notes.txt", "my loops");
    fs::create_symlink("/dev/zero", loops + "/zero.wav");
    fs::create_symlink(loops + "/b.wav", loops + "/a.wav");
    fs::create_symlink(loops + "/a.wav", loops + "/b.wav");
    fs::create_symlink("..", loops + "/up");
    fs::create_symlink(loops + "/nowhere.wav", loops + "/broken.wav");
    fs::create_symlink(loops + "/kick 120bpm.wav", loops + "/again.wav");

    const BLSongPlan plan = BLMakeSong_Plan({loops}, "", 0);
    const auto found = byName(plan);
    const std::set<std::string> names = [&] {
        std::set<std::string> n;
        for (const auto& [name, loop] : found) n.insert(name);
        return n;
    }();
    EXPECT_EQ(names, (std::set<std::string>{"kick 120bpm.wav", ".hidden 120bpm.wav", ".git", "notes.txt",
                                            "zero.wav", "a.wav", "b.wav", "up", "broken.wav", "again.wav"}));
    EXPECT_EQ(plan.loops.size(), names.size()) << "each once; the link to the parent folder is not followed";
    for (const auto& [name, loop] : found) {
        const bool used = name == "kick 120bpm.wav" || name == "again.wav";
        EXPECT_EQ(loop->problem.empty(), used) << name << ": " << loop->problem;
        if (!used) {
            EXPECT_NE(loop->why.message, 0) << name;
        }
    }
    EXPECT_EQ(found.at("up")->problem, "is a link to a folder, which is not followed");
    EXPECT_EQ(found.at(".git")->problem, "is hidden (its name begins with a dot)");
    EXPECT_EQ(found.at("a.wav")->problem, "is a link that leads to no file");
    EXPECT_EQ(found.at("broken.wav")->problem, "is a link that leads to no file");
    EXPECT_EQ(found.at("zero.wav")->problem, "is no file");
    EXPECT_EQ(found.at("notes.txt")->problem, "is not a sound file");
    EXPECT_EQ(plan.usable(), 2);
    for (const BLMadeLoop& l : plan.loops)
        EXPECT_NE(BLMakeSong_Describe(l, plan.bpm).find(l.source), std::string::npos)
            << "each named by its path";
}

// Loops of one length without a tempo in their names: 3 s is 1 bar at 80
// or 2 bars at 160. Whatever the beats of each suggest, they are read alike,
// as most of their beats say; a loop whose name says otherwise keeps it.
TEST(MakeSongPlan, LoopsOfOneLengthAreOneTempoAsTheirBeatsChoose)
{
    testsupport::TempDir dir("plan-lengths");
    const std::string loops = dir.file("pack");
    writeClicks(loops + "/a.wav", 3.0, 0.375);  // eighths at 80: busy
    writeClicks(loops + "/b.wav", 3.0, 0.375);
    writeClicks(loops + "/c.wav", 3.03, 0.75);  // quarters at 80, 1 % longer
    writeClicks(loops + "/d.wav", 3.0, 0.75);
    writeClicks(loops + "/e.wav", 3.0, 0.75);
    writeClicks(loops + "/f 80bpm.wav", 3.0, 0.75);  // named
    writeClicks(loops + "/g.wav", 2.0, 0.5);         // another length
    const BLSongPlan plan = BLMakeSong_Plan({loops}, "", 0);
    const auto found = byName(plan);
    std::map<int, int> bars;
    for (const char* name : {"a.wav", "b.wav", "c.wav", "d.wav", "e.wav"}) {
        const BLMadeLoop& l = *found.at(name);
        ASSERT_TRUE(l.problem.empty()) << name << ": " << l.problem;
        ++bars[l.tempo.bars];
    }
    ASSERT_EQ(bars.size(), 1u) << "one reading for the loops of one length";
    EXPECT_EQ(bars.begin()->first, 1) << "three of five are heard at 80, two at 160";
    EXPECT_EQ(found.at("a.wav")->tempo.found, BLLoopTempo::Found::fromSound);
    const BLMadeLoop& named = *found.at("f 80bpm.wav");
    EXPECT_EQ(named.tempo.found, BLLoopTempo::Found::fromName);
    EXPECT_DOUBLE_EQ(named.tempo.bpm, 80.0);
    EXPECT_EQ(found.at("g.wav")->tempo.bars, 1);
}

}  // namespace
