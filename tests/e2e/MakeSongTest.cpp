// beatloom --make-song, run as a program on a folder of loops the test makes
// in every form a musician's folder holds: the song it makes is read back
// with --song-info and its loops listened to; bad files are named and left
// out, and nothing but the new song is written.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/PlatSound.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using plat::SoundContainer;

namespace {

constexpr int kRate = 44100;

// A loop of `beats` beats at `bpm`: a click on each beat, or a steady tone.
std::vector<float> loop(int rate, int channels, double bpm, int beats, double toneHz)
{
    const auto frames = static_cast<size_t>(std::lround(rate * 60.0 / bpm * beats));
    std::vector<float> out(frames * channels, 0.0f);
    for (size_t f = 0; f < frames; ++f) {
        float v = 0.0f;
        if (toneHz > 0) {
            v = 0.4f * static_cast<float>(std::sin(2 * M_PI * toneHz * f / rate));
        } else {
            const auto beat = static_cast<size_t>(std::lround(rate * 60.0 / bpm));
            v = f % beat < static_cast<size_t>(rate / 200) ? ((f / 8) % 2 ? 0.8f : -0.8f) : 0.0f;
        }
        for (int c = 0; c < channels; ++c) out[f * channels + c] = v;
    }
    return out;
}

void write(const std::string& path, SoundContainer container, int rate, int channels, int bits,
           const std::vector<float>& frames)
{
    fs::create_directories(fs::path(path).parent_path());
    plat::SoundWriteSettings s;
    s.container = container;
    s.rate = rate;
    s.channels = channels;
    s.bits = bits;
    plat::SoundWriter w;
    ASSERT_TRUE(w.open(path, s)) << path;
    ASSERT_TRUE(w.write(frames.data(), static_cast<long>(frames.size()) / channels));
    ASSERT_TRUE(w.finish());
}

std::vector<int16_t> readMono(const std::string& path, int* channels = nullptr)
{
    plat::SoundReader r;
    EXPECT_TRUE(r.open(path)) << path;
    std::vector<int16_t> all(static_cast<size_t>(r.frames()) * r.channels());
    EXPECT_EQ(r.read(all.data(), r.frames()), r.frames());
    if (channels) *channels = r.channels();
    std::vector<int16_t> mono;
    for (size_t i = 0; i < all.size(); i += r.channels()) mono.push_back(all[i]);
    return mono;
}

// The tone's frequency from its rising zero crossings, over the middle half.
double frequency(const std::vector<int16_t>& s)
{
    std::vector<double> rises;
    for (size_t i = s.size() / 4; i + 1 < 3 * s.size() / 4; ++i)
        if (s[i] < 0 && s[i + 1] >= 0) rises.push_back(i + double(-s[i]) / (s[i + 1] - s[i]));
    return rises.size() < 2 ? 0 : (rises.size() - 1) * double(kRate) / (rises.back() - rises.front());
}

std::map<std::string, std::string> filesIn(const std::string& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file()) files[e.path().string()] = testsupport::readFile(e.path().string());
    return files;
}

}  // namespace

TEST(MakeSong, AFolderOfLoopsBecomesASongAndBadFilesAreNamedAndLeftOut)
{
    testsupport::ProgramDir dir("makesong");
    fs::remove(dir.file("Library"));  // the build's library stays out of it
    fs::create_directories(dir.file("Library/Song"));
    const std::string loops = dir.file("my loops");
    // 16-bit at the song's tempo; 24-bit mono at 22 kHz and FLAC at 90 BPM;
    // 32-bit with no tempo in its name; Ogg in a folder of its own; MP3; float.
    write(loops + "/Drums/kick 120bpm.wav", SoundContainer::Wav, kRate, 2, 16, loop(kRate, 2, 120, 8, 0));
    write(loops + "/Drums/perc_90_.wav", SoundContainer::Wav, 22050, 1, 24, loop(22050, 1, 90, 4, 0));
    write(loops + "/deep bass 90 BPM.flac", SoundContainer::Flac, kRate, 1, 16, loop(kRate, 1, 90, 4, 110));
    write(loops + "/pad.wav", SoundContainer::Wav, kRate, 2, 32, loop(kRate, 2, 120, 16, 220));
    write(loops + "/Strange Sounds/riser 120 bpm.ogg", SoundContainer::OggVorbis, 48000, 2, 16,
          loop(48000, 2, 120, 4, 330));
    // MP3 at 140 BPM and a float WAV without a tempo in its name, made by sox.
    write(dir.file("ride.wav"), SoundContainer::Wav, kRate, 2, 16, loop(kRate, 2, 140, 4, 0));
    write(dir.file("chords.wav"), SoundContainer::Wav, kRate, 2, 16, loop(kRate, 2, 120, 8, 262));
    fs::create_directories(loops + "/Hats");
    fs::create_directories(loops + "/Keys");
    ASSERT_EQ(testsupport::run({"sox", dir.file("ride.wav"), loops + "/Hats/ride 140bpm.mp3"}).exitCode, 0);
    ASSERT_EQ(testsupport::run({"sox", dir.file("chords.wav"), "-e", "floating-point", "-b", "32",
                                loops + "/Keys/chords.wav"})
                  .exitCode,
              0);
    testsupport::writeFile(loops + "/notes.wav", "not a sound");
    write(loops + "/blip.wav", SoundContainer::Wav, kRate, 1, 16, std::vector<float>(2205, 0.3f));
    const auto before = filesIn(loops);

    const auto made = testsupport::run({dir.program(), "--make-song", loops, "--yes"}, dir.path(), 120);
    EXPECT_EQ(made.exitCode, 3) << made.out;  // made, with files left out
    EXPECT_NE(made.out.find("notes.wav: left out: cannot be read as sound"), std::string::npos) << made.out;
    EXPECT_NE(made.out.find("blip.wav: left out"), std::string::npos) << made.out;
    EXPECT_NE(made.out.find("at 120 BPM (from its length), copied as it is"), std::string::npos) << made.out;
    EXPECT_EQ(filesIn(loops), before);  // the user's files only read
    const std::string song = dir.file("Library/Song/my loops");
    ASSERT_EQ(std::vector<fs::path>(fs::directory_iterator(dir.file("Library/Song")), {}),
              std::vector<fs::path>{song});

    // Groups from the folder, else the name; repeats in the 32-beat cycle from the bars.
    const auto info = testsupport::run({dir.program(), "--song-info", song}, dir.path());
    ASSERT_EQ(info.exitCode, 0) << info.out;
    for (const char* line :
         {"bpm\t120\n", "slot\t0\t0\t0\tDrums01\tkick_120bpm\t100\t63\t4\n",
          "slot\t0\t1\t1\tDrums02\tperc_90_\t100\t63\t8\n", "\tStrangeSounds01\triser_120_bpm\t100\t63\t8\n",
          "\tBass01\tdeep_bass_90_BPM\t100\t63\t8\n", "\tPad01\tpad\t100\t63\t2\n",
          "\tHats01\tride_140bpm\t100\t63\t8\n", "\tKeys01\tchords\t100\t63\t4\n"})
        EXPECT_NE(info.out.find(line), std::string::npos) << line << info.out;

    // At the song's tempo, sample for sample; every loop exactly its beats at 120.
    int channels = 0;
    EXPECT_EQ(readMono(song + "/Drums01.wav", &channels), readMono(loops + "/Drums/kick 120bpm.wav"));
    EXPECT_EQ(channels, 2);
    const std::vector<int16_t> perc = readMono(song + "/Drums02.wav", &channels);
    EXPECT_EQ(channels, 1);
    ASSERT_EQ(perc.size(), 4u * 22050);
    // The clicks, stretched from 90 to 120 BPM, on the beat within 2 ms.
    for (int beat = 0; beat < 4; ++beat) {
        size_t onset = beat * 22050 > 2000 ? beat * 22050 - 2000 : 0;
        while (onset < perc.size() && std::abs(perc[onset]) < 8000) ++onset;
        EXPECT_LE(std::abs(static_cast<long>(onset) - beat * 22050L), 88) << "beat " << beat;
    }
    // The bass keeps its pitch: 110 Hz within 5 cents.
    const std::vector<int16_t> bass = readMono(song + "/Bass01.wav");
    EXPECT_EQ(bass.size(), 4u * 22050);
    EXPECT_LT(std::fabs(1200 * std::log2(frequency(bass) / 110.0)), 5.0) << frequency(bass);
    EXPECT_EQ(readMono(song + "/StrangeSounds01.wav").size(), 4u * 22050);
    EXPECT_EQ(readMono(song + "/Hats01.wav").size(), 4u * 22050);
    EXPECT_EQ(readMono(song + "/Keys01.wav").size(), 8u * 22050);
    // Its face in the browser: two bars to audition, and a picture.
    EXPECT_EQ(readMono(song + "/preview.wav").size(), 8u * 22050);
    EXPECT_EQ(testsupport::readFile(song + "/library.gif").rfind("GIF8", 0), 0u);

    // A name taken gets a new one. Most names say 90 BPM; a loop without one
    // whose length reads as 1 bar at 75 or 2 at 150 is taken at the 150 its
    // beats are heard at.
    write(dir.file("beats/groove 90bpm.wav"), SoundContainer::Wav, kRate, 1, 16, loop(kRate, 1, 90, 4, 0));
    write(dir.file("beats/lead.wav"), SoundContainer::Wav, kRate, 1, 16, loop(kRate, 1, 150, 8, 0));
    const auto again = testsupport::run(
        {dir.program(), "--make-song", loops + "/Drums", dir.file("beats"), "--name", "my loops", "--yes"},
        dir.path(), 120);
    EXPECT_EQ(again.exitCode, 0) << again.out;
    EXPECT_NE(again.out.find("lead.wav: Lead (its name), 2 bars at 150 BPM (from its beats)"),
              std::string::npos)
        << again.out;
    EXPECT_TRUE(fs::exists(dir.file("Library/Song/my loops 2/Kick01.wav"))) << again.out;
    fs::create_directories(dir.file("empty"));
    const auto none =
        testsupport::run({dir.program(), "--make-song", dir.file("empty"), "--yes"}, dir.path());
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.out.find("no sound files were found"), std::string::npos) << none.out;
}
