#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "core/MediaTestPaths.h"
#include "core/kelQt.h"
#include "platform/PlatSound.h"
#include "platform/SoundTestFiles.h"
#include "support/TestSupport.h"

using mediatest::kel;
using testsupport::TempDir;

namespace {

struct Settings {
    kelQtSettingsHandle handle;
    ~Settings() { kelQt_soundConvert_settingsDataDispose(&handle); }
};

bool apply(const std::string& from, const std::string& to, uint32_t code, const kelQtSettingsHandle* settings)
{
    return kelQt_soundConvert_apply(kel(from).c_str(), kel(to).c_str(), code, settings);
}

std::string extension(const char* name, uint32_t code, int size = 256)
{
    char buffer[256] = {};
    std::strncpy(buffer, name, sizeof buffer - 1);
    if (!kelQt_soundConvert_setFileExtension(buffer, code, size)) return "(refused)";
    return buffer;
}

}  // namespace

TEST(kelQtConvert, WavToFlacAndBackIsBitExact)
{
    TempDir dir("qtconv");
    const auto stereo = soundtest::noise16(2 * 30000);
    ASSERT_TRUE(soundtest::writeWav(dir.file("in.wav"), 44100, 2, stereo));
    ASSERT_TRUE(apply(dir.file("in.wav"), dir.file("mid.flac"), kelQtFormatFlac, nullptr));
    EXPECT_EQ(testsupport::readFile(dir.file("mid.flac")).substr(0, 4), "fLaC");
    ASSERT_TRUE(apply(dir.file("mid.flac"), dir.file("out.wav"), kelQtFormatWave, nullptr));
    const soundtest::Wav out = soundtest::readWav(dir.file("out.wav"));
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.rate, 44100);
    EXPECT_EQ(out.channels, 2);
    EXPECT_EQ(out.bits, 16);
    EXPECT_EQ(out.samples, stereo);

    // 24-bit samples keep all their bits when the settings ask for 24.
    std::vector<int32_t> wide;
    for (int32_t v : soundtest::noise16(5000, 99)) wide.push_back(v * 256 + (v & 0xFF));
    ASSERT_TRUE(soundtest::writeWav(dir.file("in24.wav"), 96000, 1, wide, 24));
    Settings flac, wav;
    ASSERT_TRUE(kelQt_soundConvert_settingsSetTo(kelQtFormatFlac, 0, 24, 0, &flac.handle));
    ASSERT_TRUE(kelQt_soundConvert_settingsSetTo(kelQtFormatWave, 0, 24, 0, &wav.handle));
    ASSERT_TRUE(apply(dir.file("in24.wav"), dir.file("mid24.flac"), kelQtFormatFlac, &flac.handle));
    ASSERT_TRUE(apply(dir.file("mid24.flac"), dir.file("out24.wav"), kelQtFormatWave, &wav.handle));
    const soundtest::Wav out24 = soundtest::readWav(dir.file("out24.wav"));
    EXPECT_EQ(out24.rate, 96000);
    EXPECT_EQ(out24.channels, 1);
    EXPECT_EQ(out24.bits, 24);
    EXPECT_EQ(out24.samples, wide);
}

TEST(kelQtConvert, LoopImportMakesFortyFourKilohertzStereo)
{
    TempDir dir("qtconv");
    // One second of a 441 Hz tone at 22050 Hz, mono.
    ASSERT_TRUE(
        soundtest::writeWav(dir.file("mono.wav"), 22050, 1, soundtest::sine(22050, 1, 441.0 / 22050)));
    ASSERT_TRUE(
        kelQt_soundConvert_toLoopWave(kel(dir.file("mono.wav")).c_str(), kel(dir.file("loop.wav")).c_str()));
    const std::string bytes = testsupport::readFile(dir.file("loop.wav"));
    const soundtest::Wav w = soundtest::readWav(dir.file("loop.wav"));
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.format, 1);
    EXPECT_EQ(w.rate, 44100);
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.bits, 16);
    ASSERT_EQ(w.samples.size(), 2u * 44100);  // twice the frames, two samples each
    int crossings = 0;
    for (size_t f = 0; f < 44100; ++f) {
        ASSERT_EQ(w.samples[2 * f], w.samples[2 * f + 1]);
        if (f > 0 && (w.samples[2 * f - 2] < 0) != (w.samples[2 * f] < 0)) ++crossings;
    }
    EXPECT_NEAR(crossings, 2 * 441, 3);  // the pitch is kept
    int peak = 0;
    for (size_t f = 1000; f < 43000; ++f) peak = std::max(peak, std::abs(w.samples[2 * f]));
    EXPECT_NEAR(peak, 16383, 300);

    // And down: 48 kHz stereo to 22050 Hz mono 8-bit, as settings may ask.
    ASSERT_TRUE(soundtest::writeWav(dir.file("st.wav"), 48000, 2, soundtest::sine(48000, 2, 0.01)));
    Settings small;
    ASSERT_TRUE(kelQt_soundConvert_settingsSetTo(kelQtFormatWave, 1, 8, 22050, &small.handle));
    ASSERT_TRUE(apply(dir.file("st.wav"), dir.file("small.wav"), kelQtFormatWave, &small.handle));
    const soundtest::Wav s = soundtest::readWav(dir.file("small.wav"));
    EXPECT_EQ(s.rate, 22050);
    EXPECT_EQ(s.channels, 1);
    EXPECT_EQ(s.bits, 8);
    EXPECT_EQ(s.samples.size(), 22050u);
}

TEST(kelQtConvert, EveryListedExporterConverts)
{
    TempDir dir("qtconv");
    ASSERT_TRUE(soundtest::writeWav(dir.file("in.wav"), 44100, 2, soundtest::sine(11025, 2, 0.02)));
    uint32_t code = 0;
    char name[kelQtFormatNameSize];
    int16_t count = 0;
    for (; kelQt_soundConvert_getFormat(count, &code, name); ++count) {
        EXPECT_GT(std::strlen(name), 0u);
        char target[256];
        std::snprintf(target, sizeof target, "%s", dir.file("out").c_str());
        ASSERT_TRUE(kelQt_soundConvert_setFileExtension(target, code));
        ASSERT_TRUE(apply(dir.file("in.wav"), target, code, nullptr)) << name;
        plat::SoundReader reader;
        ASSERT_TRUE(reader.open(target)) << name;
        EXPECT_EQ(reader.channels(), 2) << name;
        EXPECT_EQ(reader.rate(), code == kelQtFormatOpus ? 48000 : 44100) << name;
    }
    EXPECT_GE(count, 3);  // WAV, AIFF and FLAC at least
    ASSERT_TRUE(kelQt_soundConvert_getFormat(0, &code, name));
    EXPECT_EQ(code, kelQtFormatWave);
    EXPECT_FALSE(kelQt_soundConvert_getFormat(count, &code, name));
    EXPECT_EQ(code, kelQtFormatNone);
    EXPECT_STREQ(name, "");
    EXPECT_FALSE(kelQt_soundConvert_getFormat(-1, &code, name));
}

TEST(kelQtConvert, FailuresKeepTheOldTarget)
{
    TempDir dir("qtconv");
    const std::string wav = soundtest::wavBytes(44100, 2, 16, soundtest::noise16(4000));
    testsupport::writeFile(dir.file("garbage.wav"), std::string(1000, '\x33'));
    testsupport::writeFile(dir.file("header.wav"), wav.substr(0, 40));
    testsupport::writeFile(dir.file("good.wav"), wav);
    testsupport::writeFile(dir.file("target.aif"), "old");
    for (const char* source : {"missing.wav", "garbage.wav", "header.wav"}) {
        EXPECT_FALSE(apply(dir.file(source), dir.file("target.aif"), kelQtFormatAiff, nullptr)) << source;
        EXPECT_EQ(testsupport::readFile(dir.file("target.aif")), "old");
    }
    EXPECT_FALSE(apply(dir.file("good.wav"), dir.file("target.aif"), kelQtFormatNative, nullptr));
    EXPECT_FALSE(apply(dir.file("good.wav"), dir.file("target.aif"), 0x58595A20, nullptr));  // 'XYZ '
    EXPECT_FALSE(apply(dir.file("good.wav"), dir.file("no/folder.aif"), kelQtFormatAiff, nullptr));
    EXPECT_FALSE(kelQt_soundConvert_apply(nullptr, "x", kelQtFormatWave, nullptr));
    EXPECT_EQ(testsupport::readFile(dir.file("target.aif")), "old");
    EXPECT_FALSE(std::filesystem::exists(dir.file("target.aif.part")));

    // A file cut short in its samples converts what it holds.
    testsupport::writeFile(dir.file("cut.wav"), wav.substr(0, 44 + 4 * 1000));
    ASSERT_TRUE(apply(dir.file("cut.wav"), dir.file("target.aif"), kelQtFormatAiff, nullptr));
    plat::SoundReader reader;
    ASSERT_TRUE(reader.open(dir.file("target.aif")));
    EXPECT_EQ(reader.frames(), 1000);
}

TEST(kelQtConvert, SettingsBlocks)
{
    Settings a, b;
    EXPECT_FALSE(kelQt_soundConvert_settingsDataAllocate(&a.handle, kelQtSettingsMaxLength + 1));
    EXPECT_FALSE(kelQt_soundConvert_settingsDataAllocate(&a.handle, -4));
    EXPECT_EQ(a.handle.data, nullptr);
    ASSERT_TRUE(kelQt_soundConvert_settingsDataAllocate(&a.handle, 40));
    EXPECT_EQ(a.handle.length, 40);
    a.handle.data[39] = 7;
    ASSERT_TRUE(kelQt_soundConvert_settingsDataCopy(&a.handle, &b.handle));
    EXPECT_EQ(b.handle.length, 40);
    EXPECT_EQ(b.handle.data[39], 7);
    EXPECT_NE(b.handle.data, a.handle.data);

    EXPECT_FALSE(kelQt_soundConvert_settingsSetTo(kelQtFormatWave, 3, 16, 44100, &a.handle));
    EXPECT_FALSE(kelQt_soundConvert_settingsSetTo(kelQtFormatWave, 2, 12, 44100, &a.handle));
    EXPECT_FALSE(kelQt_soundConvert_settingsSetTo(0x58595A20, 2, 16, 44100, &a.handle));
    ASSERT_TRUE(kelQt_soundConvert_settingsSetTo(kelQtFormatWave, 2, 16, 44100, &a.handle));
    ASSERT_EQ(a.handle.length, kelQtSettingsLength);
    const uint8_t expected[] = {'W', 'A', 'V', 'E', 0, 2, 0, 16, 0, 0, 0xAC, 0x44, 0, 50, 0, 0};
    EXPECT_EQ(std::memcmp(a.handle.data, expected, sizeof expected), 0);

    // Asking the user keeps a block that belongs to the format...
    ASSERT_TRUE(kelQt_soundConvert_askUser(kelQtFormatWave, &a.handle));
    EXPECT_EQ(std::memcmp(a.handle.data, expected, sizeof expected), 0);
    // ... and replaces another format's (or a damaged) block by the defaults.
    ASSERT_TRUE(kelQt_soundConvert_askUser(kelQtFormatFlac, &a.handle));
    const uint8_t flac[] = {'F', 'L', 'A', 'C', 0, 0, 0, 16, 0, 0, 0, 0, 0, 50, 0, 0};
    EXPECT_EQ(std::memcmp(a.handle.data, flac, sizeof flac), 0);
    a.handle.data[5] = 9;  // nine channels
    a.handle.data[7] = 13;
    ASSERT_TRUE(kelQt_soundConvert_askUser(kelQtFormatFlac, &a.handle));
    EXPECT_EQ(std::memcmp(a.handle.data, flac, sizeof flac), 0);

    kelQt_soundConvert_settingsDataDispose(&b.handle);
    ASSERT_TRUE(kelQt_soundConvert_settingsDataCopy(&b.handle, &a.handle));  // empty copies as empty
    EXPECT_EQ(a.handle.data, nullptr);
    EXPECT_EQ(a.handle.length, 0);
}

TEST(kelQtConvert, FileExtensionRule)
{
    EXPECT_EQ(extension("Mix file", kelQtFormatAiff), "Mix file.aif");
    EXPECT_EQ(extension("Mix file.wav", kelQtFormatAiff), "Mix file.aif");
    EXPECT_EQ(extension("song.mix.aif", kelQtFormatWave), "song.mix.wav");
    EXPECT_EQ(extension("song.aif", kelQtFormatNative), "song.wav");
    EXPECT_EQ(extension("a.b:c", kelQtFormatWave), "a.b:c.wav");  // a folder's dot is not the file's
    EXPECT_EQ(extension(".hidden", kelQtFormatWave), ".hidden.wav");
    EXPECT_EQ(extension("x.wav", kelQtFormatMp3), "x.mp3");
    EXPECT_EQ(extension("x", 0x4F472020), "x.og");   // 'OG  ': a blank ends it
    EXPECT_EQ(extension("x", 0x666C6163), "x.fla");  // 'flac' stays lower case
    // The exporters' own codes whose three letters name no known format.
    EXPECT_EQ(extension("Mix file.wav", kelQtFormatFlac), "Mix file.flac");
    EXPECT_EQ(extension("x", kelQtFormatOpus), "x.opus");
    EXPECT_EQ(extension("x", kelQtFormatOggVorbis), "x.ogg");
    EXPECT_EQ(extension("name", kelQtFormatWave, 8), "(refused)");  // no room for the NUL
    EXPECT_EQ(extension("name", kelQtFormatWave, 9), "name.wav");
    EXPECT_EQ(extension("name.longer", kelQtFormatWave, 12), "name.wav");
    // A name typed with another usual extension of the format keeps it as typed.
    EXPECT_EQ(extension("mix.aiff", kelQtFormatAiff), "mix.aiff");
    EXPECT_EQ(extension("MIX.AIF", kelQtFormatAiff), "MIX.AIF");
    EXPECT_EQ(extension("mix.wave", kelQtFormatWave), "mix.wave");
    EXPECT_EQ(extension("mix.Wave", kelQtFormatNative), "mix.Wave");
    EXPECT_EQ(extension("mix.oga", kelQtFormatOggVorbis), "mix.oga");
    EXPECT_EQ(extension("mix.aiff", kelQtFormatWave), "mix.wav");
    EXPECT_EQ(extension("mix.aiff.", kelQtFormatAiff), "mix.aiff.aif");
}
