#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/PlatSound.h"
#include "platform/SoundTestFiles.h"
#include "support/TestSupport.h"

using plat::SoundContainer;
using testsupport::TempDir;

TEST(PlatSound, ReadsIntegersAndFloatsOfAWav)
{
    TempDir dir("sound");
    ASSERT_TRUE(soundtest::writeWav(dir.file("a.wav"), 22050, 2, {100, -200, 32767, -32768, 5, 6}));
    plat::SoundReader reader;
    ASSERT_TRUE(reader.open(dir.file("a.wav")));
    EXPECT_EQ(reader.rate(), 22050);
    EXPECT_EQ(reader.channels(), 2);
    EXPECT_EQ(reader.frames(), 3);
    int16_t s[16] = {};
    EXPECT_EQ(reader.read(s, 8), 3);
    EXPECT_EQ(s[0], 100);
    EXPECT_EQ(s[3], -32768);
    EXPECT_EQ(reader.read(s, 8), 0);
    EXPECT_EQ(s[0], 0);  // the library clears what it could not fill
    ASSERT_TRUE(reader.rewind());
    int32_t i[2] = {};
    EXPECT_EQ(reader.read(i, 1), 1);
    EXPECT_EQ(i[1], -200 * 65536);
    float f[2] = {};
    EXPECT_EQ(reader.read(f, 1), 1);
    EXPECT_FLOAT_EQ(f[0], 32767 / 32768.0f);
}

TEST(PlatSound, UnreadableFilesDoNotOpen)
{
    TempDir dir("sound");
    const std::string wav = soundtest::wavBytes(44100, 2, 16, soundtest::noise16(200));
    testsupport::writeFile(dir.file("garbage.wav"), std::string(300, '\x5A'));
    testsupport::writeFile(dir.file("header.wav"), wav.substr(0, 30));
    testsupport::writeFile(dir.file("empty.wav"), "");
    plat::SoundReader reader;
    for (const char* name : {"missing.wav", "garbage.wav", "header.wav", "empty.wav"})
        EXPECT_FALSE(reader.open(dir.file(name))) << name;
    EXPECT_FALSE(reader.open(dir.path()));  // a folder
    EXPECT_EQ(reader.read(static_cast<int16_t*>(nullptr), 4), -1);
}

TEST(PlatSound, CommonContainersAreWritable)
{
    const auto list = plat::writableContainers();
    for (SoundContainer c : {SoundContainer::Wav, SoundContainer::Aiff, SoundContainer::Flac}) {
        EXPECT_TRUE(plat::canWrite(c));
        EXPECT_NE(std::find(list.begin(), list.end(), c), list.end());
    }
    EXPECT_EQ(plat::writableRate(SoundContainer::OggOpus, 44100), 48000);
    EXPECT_EQ(plat::writableRate(SoundContainer::OggOpus, 16000), 16000);
    EXPECT_EQ(plat::writableRate(SoundContainer::Mp3, 44000), 44100);
    EXPECT_EQ(plat::writableRate(SoundContainer::Wav, 12345), 12345);
}

TEST(PlatSound, EveryWritableContainerWritesAFileItCanReadBack)
{
    TempDir dir("sound");
    const auto samples = soundtest::sine(4800, 2, 440.0 / 48000);
    std::vector<int16_t> frames(samples.begin(), samples.end());
    for (SoundContainer c : plat::writableContainers()) {
        const std::string path = dir.file("out" + std::to_string(int(c)));
        plat::SoundWriteSettings settings;
        settings.container = c;
        settings.rate = plat::writableRate(c, 48000);
        plat::SoundWriter writer;
        ASSERT_TRUE(writer.open(path, settings)) << int(c);
        ASSERT_TRUE(writer.write(frames.data(), 4800));
        ASSERT_TRUE(writer.finish());
        plat::SoundReader reader;
        ASSERT_TRUE(reader.open(path)) << int(c);
        EXPECT_EQ(reader.rate(), 48000);
        EXPECT_EQ(reader.channels(), 2);
        std::vector<int16_t> back(2 * 8000);
        const long n = reader.read(back.data(), 8000);
        EXPECT_GE(n, 4000) << int(c);  // lossy coders may pad or trim a little
    }
}

TEST(PlatSound, AnUnfinishedWriteKeepsTheOldFile)
{
    TempDir dir("sound");
    const std::string path = dir.file("keep.wav");
    testsupport::writeFile(path, "old");
    int16_t frame[2] = {1, 2};
    {
        plat::SoundWriter writer;
        ASSERT_TRUE(writer.open(path, {}));
        ASSERT_TRUE(writer.write(frame, 1));
        writer.abort();
    }
    {
        plat::SoundWriter writer;
        ASSERT_TRUE(writer.open(path, {}));
        ASSERT_TRUE(writer.write(frame, 1));
    }  // dropped without finishing
    EXPECT_EQ(testsupport::readFile(path), "old");
    EXPECT_FALSE(std::filesystem::exists(path + ".part"));

    plat::SoundWriter writer;
    ASSERT_TRUE(writer.open(path, {}));
    ASSERT_TRUE(writer.write(frame, 1));
    ASSERT_TRUE(writer.finish());
    const soundtest::Wav w = soundtest::readWav(path);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.samples, (std::vector<int32_t>{1, 2}));

    plat::SoundWriter nowhere;
    EXPECT_FALSE(nowhere.open(dir.file("no/such/folder.wav"), {}));
}

TEST(PlatSound, RateConverterDoublesTheLength)
{
    plat::RateConverter converter;
    EXPECT_FALSE(converter.open(1, 1000.0));  // beyond the library's ratios
    ASSERT_TRUE(converter.open(1, 2.0));
    std::vector<float> in(1000, 0.25f), out(4096);
    long made = 0, taken = 0;
    while (taken < 1000) {
        long used = 0;
        const long n =
            converter.process(in.data() + taken, 1000 - taken, &used, out.data() + made, 4096 - made, false);
        ASSERT_GE(n, 0);
        taken += used;
        made += n;
    }
    for (;;) {
        long used = 0;
        const long n = converter.process(nullptr, 0, &used, out.data() + made, 4096 - made, true);
        ASSERT_GE(n, 0);
        if (n == 0) break;
        made += n;
    }
    EXPECT_EQ(made, 2000);
    EXPECT_NEAR(out[1000], 0.25f, 0.01f);  // a constant stays constant
}
