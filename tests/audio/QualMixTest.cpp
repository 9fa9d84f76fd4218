// The offline mixdown: the script's blocks, the loops painted at their
// periods, the gains, the tempo change, and the failures that must leave no
// half-written file.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/EngineRest.h"
#include "audio/EngineTestLoops.h"
#include "audio/QualMix.h"
#include "audio/Vtrack.h"
#include "platform/PlatFiles.h"
#include "support/TestSupport.h"

using namespace enginetest;
using testsupport::join;

namespace {

constexpr int kBeat = 22050;  // frames per beat at 120 BPM
constexpr int kBlock = 32 * kBeat;

struct Mix {
    int result = -1;
    bool exists = false;
    int32_t dataBytes = -1;
    std::vector<int16_t> s;  // interleaved
    int frames() const { return static_cast<int>(s.size() / 2); }
    int left(int f) const { return s[static_cast<size_t>(2 * f)]; }
    int right(int f) const { return s[static_cast<size_t>(2 * f + 1)]; }
};

class QualMix : public enginetest::EngineCase {
protected:
    void SetUp() override
    {
        EngineCase::SetUp();
        if (HasFatalFailure()) return;
        SetSongBPM(120);
        ResetSongVTracks();
        QualMix_SetQuality(kQualMixClassic);
        QualMix_SetHooks(nullptr, nullptr);
    }
    void TearDown() override
    {
        QualMix_SetHooks(nullptr, nullptr);
        QualMix_SetQuality(kQualMixClassic);
        ResetSongVTracks();
        EngineCase::TearDown();
    }
    // Adds a loop; its number in the script (entry + 1).
    int addLoop(const std::vector<int16_t>& samples, int channels, int repeats)
    {
        const std::string path = dir.file(join("loop", NumVTracks, ".wav"));
        WaveHeader h;
        h.channels = static_cast<int16_t>(channels);
        EXPECT_TRUE(writeBytes(path, waveBytes(samples, h)));
        AddSongVTrack(kelPath(path).c_str(), repeats, 0);
        return NumVTracks;
    }
    int constantLoop(int16_t value, int frames, int repeats, int channels = 1)
    {
        return addLoop(std::vector<int16_t>(static_cast<size_t>(frames * channels), value), channels,
                       repeats);
    }
    Mix render(const std::string& script, const std::string& name = "mix.wav")
    {
        std::string text = script;
        const std::string target = kelPath(dir.file(name));
        Mix m;
        m.result = QualityMix(const_cast<char*>(target.c_str()), text.data());
        const std::string bytes = testsupport::readFile(dir.file(name));
        m.exists = std::filesystem::exists(dir.file(name));
        if (bytes.size() >= 44) {
            m.dataBytes = static_cast<int32_t>(
                static_cast<uint8_t>(bytes[40]) | static_cast<uint8_t>(bytes[41]) << 8 |
                static_cast<uint8_t>(bytes[42]) << 16 | static_cast<uint8_t>(bytes[43]) << 24);
            m.s.resize((bytes.size() - 44) / 2);
            if (!m.s.empty()) std::memcpy(m.s.data(), bytes.data() + 44, m.s.size() * 2);
        }
        return m;
    }
    // Anything but the person's own files: a temporary of the writer's, a ".part".
    bool leftovers() const
    {
        for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
            const std::string name = e.path().filename().string();
            if (plat::isTemporaryName(name) || (e.path().extension() == ".part" && name != "mix.wav.part"))
                return true;
        }
        return false;
    }
    testsupport::TempDir dir{"qualmix"};
};

// Where a beat's output frame i is taken from: whole frames, the
// accumulator starting at half the output length.
int sourceFrame(int i, int out, int in)
{
    return static_cast<int>((out / 2 + int64_t{i} * in) / out);
}

}  // namespace

TEST_F(QualMix, TheScriptTempoAgainstTheSongTempo)
{
    std::vector<int16_t> ramp;
    for (int f = 0; f < kBeat; ++f) {
        ramp.push_back(static_cast<int16_t>(f));
        ramp.push_back(static_cast<int16_t>(-f));
    }
    const int loop = addLoop(ramp, 2, 32);  // one beat long, one beat period
    // At the song's tempo the beats are copied: 705600 frames a block.
    Mix same = render(join("120\r\n1\r\n", loop, " 127 63\r\n"));
    ASSERT_EQ(same.result, kQualMixWritten);
    ASSERT_EQ(same.frames(), kBlock);
    EXPECT_EQ(same.dataBytes, kBlock * 4);
    for (int f : {0, 1, 777, kBeat - 1}) {
        // Volume 127 is 79; pan 63 gives 63 x 79 on the left, 64 x 79 on the right.
        EXPECT_EQ(same.left(f), f * (63 * 79) / 16384);
        EXPECT_EQ(same.right(f), -f * (64 * 79) / 16384);
        EXPECT_EQ(same.left(31 * kBeat + f), same.left(f));
    }
    // At 100 every beat is stretched from 22050 to 26460 frames by repeating frames.
    Mix slower = render(join("100\r\n1\r\n", loop, " 127 63\r\n"));
    ASSERT_EQ(slower.frames(), 32 * 26460);
    for (int beat : {0, 17, 31})
        for (int i : {0, 1, 5, 6, 13000, 26459})
            EXPECT_EQ(slower.left(beat * 26460 + i), sourceFrame(i, 26460, kBeat) * (63 * 79) / 16384) << i;
}

TEST_F(QualMix, BlocksAsTheScriptGivesThem)
{
    const int loop = constantLoop(10000, kBeat, 32);
    const std::string track = join(loop, " 10 63\r\n");  // volume 10 is 6
    const int one = 10000 * (63 * 6) / 16384;

    Mix tempoOnly = render("120\r\n");
    EXPECT_EQ(tempoOnly.result, kQualMixWritten);
    EXPECT_EQ(tempoOnly.dataBytes, 0);
    EXPECT_EQ(tempoOnly.frames(), 0);

    // A count 0 followed by a block is 32 beats of silence; at the end, nothing.
    Mix silentFirst = render("120\r\n0\r\n1\r\n" + track + "0\r\n");
    ASSERT_EQ(silentFirst.frames(), 2 * kBlock);
    EXPECT_EQ(silentFirst.left(kBlock - 1), 0);
    EXPECT_EQ(silentFirst.left(kBlock), one);

    // A count of 20 is 15: the sixteenth track line is the next count line.
    std::string script = "120\r\n20\r\n";
    for (int k = 0; k < 16; ++k) script += track;     // the 16th reads as count 1 ...
    script += track + "0 0 0\r\n0 0 0\r\n0 0 0\r\n";  // ... then counts 0, 0 and a last one not rendered
    Mix clamped = render(script);
    ASSERT_EQ(clamped.frames(), 4 * kBlock);
    EXPECT_EQ(clamped.left(5), 15 * one);
    EXPECT_EQ(clamped.left(kBlock + 5), one);
    EXPECT_EQ(clamped.left(2 * kBlock + 5), 0);

    // Empty lines between lines do not count; "\n" alone ends lines too.
    Mix loose = render("120\n\n\n1\n" + track + "\n\n");
    EXPECT_EQ(loose.frames(), kBlock);
}

TEST_F(QualMix, LoopsArePaintedAtTheirPeriods)
{
    const int eight = constantLoop(8000, kBeat, 4);    // beats 8
    const int ten = constantLoop(8000, 3 * kBeat, 3);  // beats 10, three beats long
    Mix m = render(join("120\r\n1\r\n", eight, " 127 63\r\n"));
    for (int beat = 0; beat < 32; ++beat) EXPECT_EQ(m.left(beat * kBeat + 100) != 0, beat % 8 == 0) << beat;
    m = render(join("120\r\n1\r\n", ten, " 127 63\r\n"));
    ASSERT_EQ(m.frames(), kBlock);  // the repetition at beat 30 is cut at 32
    for (int beat = 0; beat < 32; ++beat) EXPECT_EQ(m.left(beat * kBeat + 100) != 0, beat % 10 < 3) << beat;
}

TEST_F(QualMix, GainsPansAndSaturation)
{
    const int mono = constantLoop(10000, kBeat, 32);
    const int negative = constantLoop(-10000, kBeat, 32);
    const int loud = constantLoop(32767, kBeat, 32, 2);
    // Volume 100 is 62: 62 x 63 left, 62 x 64 right; quotients truncate toward zero.
    Mix m = render(join("120\r\n2\r\n", mono, " 100 63\r\n0 127 63\r\n"));
    EXPECT_EQ(m.left(9), 10000 * (63 * 62) / 16384);
    EXPECT_EQ(m.right(9), 10000 * (64 * 62) / 16384);
    m = render(join("120\r\n1\r\n", negative, " 100 63\r\n"));
    EXPECT_EQ(m.left(9), -2384);  // -2384.03, not -2385
    // Sample 0 is silence; low pans quieten the left, high ones the right.
    m = render(join("120\r\n3\r\n0 127 63\r\n", mono, " 127 0\r\n", mono, " 127 126\r\n"));
    EXPECT_EQ(m.left(9), 10000 * (64 * 79) / 16384);
    EXPECT_EQ(m.right(9), 10000 * (64 * 79) / 16384 + 10000 * (1 * 79) / 16384);
    // Eight loud tracks hold at full scale instead of wrapping around.
    std::string script = "120\r\n8\r\n";
    for (int k = 0; k < 8; ++k) script += join(loud, " 127 63\r\n");
    m = render(script);
    EXPECT_EQ(m.left(9), 32767);
    const int down = constantLoop(-32767, kBeat, 32, 2);
    script = "120\r\n8\r\n";
    for (int k = 0; k < 8; ++k) script += join(down, " 127 63\r\n");
    EXPECT_EQ(render(script).right(9), -32767);
    // Out-of-range numbers are held to their ranges; an unknown loop is silent.
    m = render(join("120\r\n2\r\n", mono, " 900 -5\r\n99999 127 63\r\n"));
    EXPECT_EQ(m.left(9), 0);
    EXPECT_EQ(m.right(9), 10000 * (64 * 79) / 16384);
}

TEST_F(QualMix, FailuresLeaveNoHalfWrittenFile)
{
    const int loop = constantLoop(1000, kBeat, 32);
    const std::string oneBlock = join("120\r\n1\r\n", loop, " 127 63\r\n");
    testsupport::writeFile(dir.file("mix.wav"), "older");
    // A file of the person's that a fixed temporary name would have taken.
    testsupport::writeFile(dir.file("mix.wav.part"), "mine");
    // Each refusal gives its own reason, none blamed on the disk.
    for (const char* tempo : {"0", "-5", "9", "5000", "abc"})
        EXPECT_EQ(render(std::string(tempo) + "\r\n1\r\n1 127 63\r\n").result, kQualMixBadTempo) << tempo;
    SetSongBPM(0);
    EXPECT_EQ(render(oneBlock).result, kQualMixBadTempo);
    SetSongBPM(120);
    plat::clearWriteError();
    EXPECT_EQ(render(oneBlock, "gone/mix.wav").result, kQualMixFailed);
    EXPECT_EQ(plat::lastWriteError(), ENOENT);
    // Longer than a WAV header can say (250 grooves at 10 BPM: 8.5 GB):
    // refused at once, before a byte is written.
    std::string endless = "10\r\n";
    for (int b = 0; b < 251; ++b) endless += "0\r\n";
    EXPECT_EQ(render(endless).result, kQualMixTooLong);
    EXPECT_EQ(QualMix_OutputFrames(endless.c_str()), int64_t{264600} * 32 * 250);

    // Stopped at a beat: nothing under the name, the older file kept.
    static int beatsSeen;
    beatsSeen = 0;
    QualMix_SetHooks(nullptr, [] { return ++beatsSeen > 5; });
    EXPECT_EQ(render(oneBlock).result, kQualMixStopped);
    EXPECT_EQ(beatsSeen, 6);
    QualMix_SetHooks(nullptr, nullptr);

    // The folder goes away while the mix is written.
    std::filesystem::create_directories(dir.file("going"));
    static std::string going;
    going = dir.file("going");
    QualMix_SetHooks(nullptr, [] {
        std::error_code ec;
        std::filesystem::remove_all(going, ec);
        return false;
    });
    EXPECT_EQ(render(oneBlock, "going/mix.wav").result, kQualMixFailed);
    QualMix_SetHooks(nullptr, nullptr);
    EXPECT_FALSE(std::filesystem::exists(going));

    // A full disk: the file may not grow past 1 MB.
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 1 << 20;
    setrlimit(RLIMIT_FSIZE, &small);
    plat::clearWriteError();
    const Mix full = render(oneBlock);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(full.result, kQualMixFailed);
    EXPECT_EQ(plat::lastWriteError(), EFBIG);
    EXPECT_EQ(testsupport::readFile(dir.file("mix.wav")), "older");
    EXPECT_EQ(testsupport::readFile(dir.file("mix.wav.part")), "mine");
    EXPECT_FALSE(leftovers());

    // A script that cannot be read renders nothing.
    const std::string wav = kelPath(dir.file("mix.wav")), script = kelPath(dir.file("none.txt"));
    EXPECT_EQ(OVQualityMix(const_cast<char*>(wav.c_str()), const_cast<char*>(script.c_str())),
              kQualMixFailed);
    EXPECT_EQ(testsupport::readFile(dir.file("mix.wav")), "older");
}

TEST_F(QualMix, ProgressAndTheBandLimitedChoice)
{
    // A 1 kHz sine one beat long: 500 whole cycles.
    std::vector<int16_t> sine;
    for (int f = 0; f < kBeat; ++f) {
        const auto v = static_cast<int16_t>(std::lround(20000 * std::sin(2 * M_PI * f / 44.1)));
        sine.push_back(v);
        sine.push_back(v);
    }
    const int loop = addLoop(sine, 2, 32);
    const std::string at120 = join("120\r\n1\r\n", loop, " 127 63\r\n");
    static std::vector<float> seen;
    seen.clear();
    QualMix_SetHooks([](float x) { seen.push_back(x); }, nullptr);
    const Mix classic = render(at120);
    QualMix_SetHooks(nullptr, nullptr);
    ASSERT_GE(seen.size(), 32u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_FLOAT_EQ(seen.back(), 1.0f);

    // At the song's tempo the band-limited choice changes nothing.
    QualMix_SetQuality(kQualMixHigh);
    EXPECT_EQ(render(at120).s, classic.s);
    // Slower: the same length as the classic path, and much nearer the
    // stretched sine than repeated frames are.
    const std::string at100 = join("100\r\n1\r\n", loop, " 127 63\r\n1\r\n", loop, " 127 63\r\n");
    const Mix high = render(at100);
    QualMix_SetQuality(kQualMixClassic);
    const Mix frames = render(at100);
    ASSERT_EQ(high.frames(), 2 * 32 * 26460);
    ASSERT_EQ(frames.frames(), high.frames());
    double errHigh = 0, errClassic = 0;
    const double amplitude = 20000.0 * (63 * 79) / 16384;
    for (int f = 4000; f < high.frames() - 4000; f += 3) {
        const double ideal = amplitude * std::sin(2 * M_PI * f / 44.1 * kBeat / 26460.0);
        errHigh += std::pow(high.left(f) - ideal, 2);
        errClassic += std::pow(frames.left(f) - ideal, 2);
    }
    EXPECT_LT(errHigh * 16, errClassic);
}

namespace {

TEST_F(QualMix, KeyLockKeepsTheKeyAndEachGrooveAtThirtyTwoBeats)
{
    std::vector<int16_t> sine;
    for (int f = 0; f < kBeat; ++f) {
        const auto v = static_cast<int16_t>(std::lround(20000 * std::sin(2 * M_PI * f / 44.1)));
        sine.push_back(v);
        sine.push_back(v);
    }
    const int loop = addLoop(sine, 2, 32);
    // The tone's groove, then a silent one: the tone must stop where the
    // second groove starts.
    const std::string at156 = join("156\r\n1\r\n", loop, " 127 63\r\n0\r\n0\r\n");
    QualMix_SetKeyLock(true);
    const Mix locked = render(at156);
    QualMix_SetKeyLock(false);
    const int ospb = 2646000 / 156;
    ASSERT_EQ(locked.result, kQualMixWritten);
    ASSERT_EQ(locked.frames(), 2 * 32 * ospb);
    EXPECT_EQ(locked.dataBytes, 2 * 32 * ospb * 4);
    // The pitch, from the zero crossings of the groove's middle.
    double first = -1, last = -1;
    int count = 0;
    for (int f = 8 * ospb; f < 24 * ospb; ++f) {
        const double a = locked.left(f - 1), b = locked.left(f);
        if (a < 0 && b >= 0) {
            const double t = f - 1 + a / (a - b);
            if (first < 0) first = t;
            last = t;
            ++count;
        }
    }
    const double hz = (count - 1) * 44100.0 / (last - first);
    EXPECT_LT(std::abs(1200 * std::log2(hz / 1000.0)), 5.0) << hz;
    int end = locked.frames() - 1;
    while (end > 0 && std::abs(locked.left(end)) < 2000) --end;
    EXPECT_NEAR(end, 32 * ospb, 220) << "the groove ends on its 32nd beat";
}

}  // namespace
