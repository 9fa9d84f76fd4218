// enginebounce run as a program on loops the tests write: what it renders,
// frame by frame, with changes at once and on the cycle, the same on every
// run; and how it refuses bad command lines.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "audio/EngineTestLoops.h"
#include "support/TestSupport.h"

using namespace enginetest;
using testsupport::TempDir;

namespace {

std::string enginebounce()
{
    return testsupport::toolsDir() + "/enginebounce";
}

testsupport::RunResult bounce(const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {enginebounce()};
    argv.insert(argv.end(), args.begin(), args.end());
    return testsupport::run(argv, "", 120);
}

// A track at volume v, centred, under master 63: the float gain times the
// sample, truncated.
int heard(int sample, int v = 127)
{
    const auto g = static_cast<float>(static_cast<long double>(v) / 128 * 63 / 128);
    return static_cast<int>(static_cast<float>(sample) * g);
}

constexpr int kA = 88200;  // loop 1: 4 beats at 120 BPM
constexpr int kB = 44100;  // loop 2: 2 beats

class Bounce : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(writeLoop(a, 1, kA));
        ASSERT_TRUE(writeLoop(b, 2, kB));
    }

    std::vector<std::string> song(int n) const
    {
        return {"--bpm",  "120", "--mix-bpm", "120",     "--frames", std::to_string(n),
                "--loop", a,     "--loop",    b + ":16", "-o",       out};
    }

    // The first frame from `from` on that is not loop `id` (period `len`)
    // at `volume`; `to` when there is none.
    static int firstOther(const std::vector<int16_t>& s, int from, int to, int id, int len, int volume = 127)
    {
        for (int p = from; p < to; ++p) {
            if (s[2 * p] != heard(loopLeft(id, p % len), volume) ||
                s[2 * p + 1] != heard(loopRight(id, p % len), volume))
                return p;
        }
        return to;
    }

    TempDir dir{"bounce"};
    std::string a = dir.file("a.wav");
    std::string b = dir.file("b.wav");
    std::string out = dir.file("out.wav");
};

}  // namespace

TEST_F(Bounce, RendersTheGrooveFrameForFrame)
{
    std::vector<std::string> args = song(200000);
    args.insert(args.end(), {"--track", "0:0"});
    const auto r = bounce(args);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const std::vector<int16_t> s = testsupport::readWav16(out);
    ASSERT_EQ(s.size(), 2u * 200000);
    EXPECT_EQ(firstOther(s, 0, 200000, 1, kA), 200000);
    const std::string bytes = testsupport::readFile(out);
    EXPECT_EQ(bytes.compare(0, 4, "RIFF"), 0);
}

TEST_F(Bounce, AnImmediateChangeIsHeardAtOnceInPhase)
{
    std::vector<std::string> args = song(240000);
    args.insert(args.end(), {"--track", "0:0", "--at", "100352:0:1"});
    const auto r = bounce(args);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const std::vector<int16_t> s = testsupport::readWav16(out);
    // The loops play from memory: nothing is read ahead, so loop 2 comes in
    // with the first frame mixed after the change, where its own period has got to.
    const int change = firstOther(s, 0, 240000, 1, kA);
    EXPECT_EQ(change, 100352);
    EXPECT_EQ(firstOther(s, change, 240000, 2, kB), 240000);
}

TEST_F(Bounce, SameCommandSameFile)
{
    std::vector<std::string> args = song(300000);
    args.insert(args.end(), {"--master", "90",
                             "--track",  "0:0:100:-20",
                             "--track",  "3:1:127:40",
                             "--track",  "5:-1",
                             "--at",     "0:1:0",
                             "--at",     "40960:mix-bpm=150",
                             "--at",     "61440:3:0",
                             "--at",     "81920:5:1:sync",
                             "--at",     "102400:0:pan=63",
                             "--at",     "102400:3:vol=10",
                             "--at",     "120832:mix-bpm=80"});
    const auto first = bounce(args);
    ASSERT_EQ(first.exitCode, 0) << first.out;
    const std::string one = testsupport::readFile(out);
    const auto second = bounce(args);
    ASSERT_EQ(second.exitCode, 0) << second.out;
    EXPECT_EQ(testsupport::readFile(out), one);
    EXPECT_EQ(one.size(), 44u + 4 * 300000);
}

TEST_F(Bounce, RefusesBadCommandLinesAndKeepsGoingOnBadLoops)
{
    const auto help = bounce({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: enginebounce"), std::string::npos);

    EXPECT_EQ(bounce({"--bpm", "120", "--frames", "10", "-o", out}).exitCode, 2);  // no mix tempo
    std::vector<std::string> args = song(4096);
    args.insert(args.end(), {"--at", "1000:0:1"});  // not a multiple of 2048
    EXPECT_EQ(bounce(args).exitCode, 2);
    args = song(4096);
    args.insert(args.end(), {"--track", "8:0"});
    EXPECT_EQ(bounce(args).exitCode, 2);
    args = song(4096);
    args.insert(args.end(), {"--frobnicate", "1"});
    EXPECT_EQ(bounce(args).exitCode, 2);
    EXPECT_FALSE(testsupport::readFile(out).size());

    // A missing loop plays nothing; the loop after it keeps its number.
    const auto r =
        bounce({"--bpm", "120", "--mix-bpm", "120", "--frames", "20000", "--loop", dir.file("missing.wav"),
                "--loop", a, "--track", "0:0", "--track", "1:1", "-o", out});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const std::vector<int16_t> s = testsupport::readWav16(out);
    ASSERT_EQ(s.size(), 2u * 20000);
    // The good loop plays from the first frame, in phase.
    EXPECT_EQ(firstOther(s, 0, 20000, 1, kA), 20000);

    // An output that cannot be written: a failure, and no file.
    args = song(4096);
    args.back() = dir.file("no/such/folder/out.wav");
    args.insert(args.end(), {"--track", "0:0"});
    EXPECT_EQ(bounce(args).exitCode, 1);
}
