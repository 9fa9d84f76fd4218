// Exports beyond plain conversion: each format's options, the loudness
// normalisation with its limiter, and a conversion stopped half-way.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>

#include "core/MediaTestPaths.h"
#include "core/kelQt.h"
#include "core/kelQtLimiter.h"
#include "platform/PlatLoudness.h"
#include "platform/PlatSound.h"
#include "platform/SoundTestFiles.h"
#include "support/TestSupport.h"

using mediatest::kel;
using testsupport::TempDir;

namespace {

struct Handle {
    kelQtSettingsHandle h;
    ~Handle() { kelQt_soundConvert_settingsDataDispose(&h); }
};

// A stereo mix-like test sound: a quiet pad with sharp clicks, `seconds` long.
std::vector<int32_t> peakyMusic(int seconds, double level)
{
    std::vector<int32_t> v;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> noise(-1, 1);
    for (int f = 0; f < 44100 * seconds; ++f) {
        double s = 0.5 * std::sin(2 * M_PI * 220 * f / 44100.0) + 0.2 * noise(random);
        if (f % 11025 < 40) s += 1.8 * ((f % 11025) % 2 ? 1 : -1);  // a click every quarter second
        const auto x = static_cast<int32_t>(std::lround(std::clamp(s * level, -1.0, 1.0) * 32767));
        v.push_back(x);
        v.push_back(x);
    }
    return v;
}

// Loudness and true peak of a file as a meter of the test's own reads it.
void measured(const std::string& path, double& lufs, double& peak, int64_t& frames)
{
    plat::SoundReader reader;
    ASSERT_TRUE(reader.open(path));
    plat::LoudnessMeter meter;
    ASSERT_TRUE(meter.open(reader.channels(), reader.rate()));
    std::vector<float> block(4096 * static_cast<size_t>(reader.channels()));
    frames = 0;
    for (long n; (n = reader.read(block.data(), 4096)) > 0;) {
        meter.add(block.data(), n);
        frames += n;
    }
    lufs = meter.integratedLufs();
    peak = meter.truePeakDb();
}

}  // namespace

TEST(kelQtExport, EachFormatOffersItsOptions)
{
    struct Expect {
        uint32_t code;
        int16_t count;
        const char* first;
        const char* byDefault;
    };
    const Expect formats[] = {
        {kelQtFormatWave, 2, "16-bit", "16-bit"},        {kelQtFormatAiff, 2, "16-bit", "16-bit"},
        {kelQtFormatFlac, 2, "16-bit", "16-bit"},        {kelQtFormatOggVorbis, 5, "Quality 3", "Quality 5"},
        {kelQtFormatOpus, 6, "64 kbit/s", "128 kbit/s"}, {kelQtFormatMp3, 5, "128 kbit/s", "192 kbit/s"}};
    char name[kelQtFormatNameSize];
    for (const Expect& e : formats) {
        EXPECT_EQ(kelQt_soundConvert_optionCount(e.code), e.count);
        ASSERT_TRUE(kelQt_soundConvert_optionName(e.code, 0, name));
        EXPECT_STREQ(name, e.first);
        EXPECT_FALSE(kelQt_soundConvert_optionName(e.code, e.count, name));
        Handle s;
        ASSERT_TRUE(
            kelQt_soundConvert_optionName(e.code, kelQt_soundConvert_optionIndex(e.code, &s.h), name));
        EXPECT_STREQ(name, e.byDefault);
        for (int16_t i = 0; i < e.count; ++i) {
            ASSERT_TRUE(kelQt_soundConvert_setOption(e.code, i, &s.h));
            EXPECT_EQ(kelQt_soundConvert_optionIndex(e.code, &s.h), i);
        }
        EXPECT_FALSE(kelQt_soundConvert_setOption(e.code, e.count, &s.h));
    }
    EXPECT_EQ(kelQt_soundConvert_optionCount(kelQtFormatNative), 0);
    EXPECT_EQ(kelQt_soundConvert_optionIndex(kelQtFormatNative, nullptr), -1);
}

TEST(kelQtExport, OptionsReachTheFiles)
{
    TempDir dir("qtexport");
    ASSERT_TRUE(soundtest::writeWav(dir.file("in.wav"), 44100, 2, peakyMusic(6, 0.3)));
    auto convert = [&](uint32_t code, int16_t option, const std::string& name) {
        Handle s;
        EXPECT_TRUE(kelQt_soundConvert_setOption(code, option, &s.h));
        EXPECT_TRUE(kelQt_soundConvert_apply(kel(dir.file("in.wav")).c_str(), kel(dir.file(name)).c_str(),
                                             code, &s.h));
        return static_cast<double>(std::filesystem::file_size(dir.file(name)));
    };
    // Bit rates: the file's size follows them (6 s at 128 and 320 kbit/s).
    const double mp3Low = convert(kelQtFormatMp3, 0, "low.mp3"),
                 mp3High = convert(kelQtFormatMp3, 4, "high.mp3");
    EXPECT_NEAR(mp3Low, 6 * 128000 / 8, 6 * 128000 / 8 * 0.1);
    EXPECT_NEAR(mp3High / mp3Low, 2.5, 0.25);
    const double opusLow = convert(kelQtFormatOpus, 0, "low.opus"),
                 opusHigh = convert(kelQtFormatOpus, 5, "high.opus");
    EXPECT_NEAR(opusHigh / opusLow, 4.0, 1.0);
    EXPECT_GT(convert(kelQtFormatOggVorbis, 4, "high.ogg"),
              1.5 * convert(kelQtFormatOggVorbis, 0, "low.ogg"));
    convert(kelQtFormatAiff, 1, "deep.aif");
    plat::SoundReader reader;
    ASSERT_TRUE(reader.open(dir.file("deep.aif")));
    EXPECT_EQ(reader.frames(), 6 * 44100);
}

TEST(kelQtExport, NormalisedToTheTargetLoudnessUnderThePeakLimit)
{
    TempDir dir("qtexport");
    ASSERT_TRUE(soundtest::writeWav(dir.file("quiet.wav"), 44100, 2, peakyMusic(8, 0.05)));
    kelQtConvertOptions normalize;
    normalize.normalize = true;
    for (uint32_t code : {kelQtFormatNative, kelQtFormatFlac, kelQtFormatMp3}) {
        char target[256];
        std::snprintf(target, sizeof target, "%s", dir.file("loud").c_str());
        ASSERT_TRUE(kelQt_soundConvert_setFileExtension(target, code));
        ASSERT_EQ(kelQt_soundConvert_run(kel(dir.file("quiet.wav")).c_str(), kel(target).c_str(), code,
                                         nullptr, normalize),
                  kelQtConvertResult::done);
        double lufs = 0, peak = 0;
        int64_t frames = 0;
        measured(target, lufs, peak, frames);
        EXPECT_NEAR(lufs, kelQtTargetLufs, 0.5) << target;
        EXPECT_LE(peak, kelQtTruePeakLimitDb + 0.05) << target;  // what the decoder's rounding adds
        if (code != kelQtFormatMp3) {
            EXPECT_EQ(frames, 8 * 44100) << target;
        }
    }
    // The service's own measure agrees with the meter.
    double lufs = 0, peak = 0;
    ASSERT_TRUE(kelQt_soundMeasure(kel(dir.file("loud.wav")).c_str(), &lufs, &peak));
    EXPECT_NEAR(lufs, kelQtTargetLufs, 0.5);
}

TEST(kelQtExport, TheLimiterHoldsEveryPeakAndKeepsTheLength)
{
    std::mt19937 random(3);
    std::uniform_real_distribution<float> wild(-3.0f, 3.0f);
    std::vector<float> in(2 * 20000), out(in.size());
    for (size_t i = 0; i < in.size(); ++i) in[i] = i % 997 < 30 ? wild(random) : 0.1f * wild(random);
    kelQtLimiter limiter(2, 44100, 0.5f, 64);
    limiter.process(in.data(), 20000, out.data());
    std::vector<float> tail(2 * static_cast<size_t>(limiter.tailFrames()));
    limiter.flush(tail.data());
    out.insert(out.end(), tail.begin(), tail.end());
    const size_t lead = 2 * static_cast<size_t>(limiter.tailFrames());
    ASSERT_EQ(out.size() - lead, in.size());
    float highest = 0;
    for (float v : out) highest = std::max(highest, std::fabs(v));
    EXPECT_LE(highest, 0.5f);
    // Sound under the ceiling passes as it was, a look-ahead later.
    kelQtLimiter calm(2, 44100, 0.5f, 64);
    std::vector<float> quiet(2 * 1000), passed(quiet.size());
    for (size_t i = 0; i < quiet.size(); ++i) quiet[i] = 0.45f * std::sin(0.01f * static_cast<float>(i));
    calm.process(quiet.data(), 1000, passed.data());
    for (size_t i = 0; i + lead < passed.size(); ++i) ASSERT_FLOAT_EQ(passed[i + lead], quiet[i]) << i;
}

// Normalising writes, measures and may write again: stopped at any moment,
// the file of that name is the older one as it was; told done, it is the
// whole new one. What it says is what the disk holds.
TEST(kelQtExport, ANormalisingStoppedAnywhereSaysWhatTheFileIs)
{
    TempDir dir("qtexport");
    ASSERT_TRUE(soundtest::writeWav(dir.file("in.wav"), 44100, 2, peakyMusic(2, 0.3)));
    static int polls, limit;
    kelQt_soundConvert_setHooks(nullptr, [] { return ++polls > limit; });
    kelQtConvertOptions options;
    options.normalize = true;
    int stopped = 0, done = 0;
    for (limit = 1; limit < 2000; limit += 7) {
        ASSERT_TRUE(testsupport::writeFile(dir.file("out.wav"), "the older file"));
        polls = 0;
        const kelQtConvertResult r =
            kelQt_soundConvert_run(kel(dir.file("in.wav")).c_str(), kel(dir.file("out.wav")).c_str(),
                                   kelQtFormatWave, nullptr, options);
        ASSERT_NE(r, kelQtConvertResult::failed) << limit;
        if (r == kelQtConvertResult::stopped) {
            ++stopped;
            EXPECT_TRUE(testsupport::readFile(dir.file("out.wav")) == "the older file")
                << "stopped at poll " << limit << ", and the file there is the new one";
            continue;
        }
        ++done;
        double lufs = 0, peak = 0;
        int64_t frames = 0;
        measured(dir.file("out.wav"), lufs, peak, frames);
        EXPECT_EQ(frames, 2 * 44100) << limit;
        if (polls <= limit) break;  // it ended before the stop came
    }
    kelQt_soundConvert_setHooks(nullptr, nullptr);
    EXPECT_GT(stopped, 10);
    EXPECT_GE(done, 1);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2) << "no temporary left";
}

TEST(kelQtExport, AStoppedConversionLeavesNothing)
{
    TempDir dir("qtexport");
    ASSERT_TRUE(soundtest::writeWav(dir.file("in.wav"), 44100, 2, peakyMusic(4, 0.3)));
    static int polls;
    polls = 0;
    kelQt_soundConvert_setHooks(nullptr, [] { return ++polls > 3; });
    EXPECT_EQ(kelQt_soundConvert_run(kel(dir.file("in.wav")).c_str(), kel(dir.file("out.flac")).c_str(),
                                     kelQtFormatFlac, nullptr, kelQtConvertOptions{}),
              kelQtConvertResult::stopped);
    kelQt_soundConvert_setHooks(nullptr, nullptr);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.flac")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.flac.part")));
}
