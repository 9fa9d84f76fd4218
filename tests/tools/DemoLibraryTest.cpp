// The demo library the build writes into the program folder: its songs and
// descriptions, its loops, auditions and pictures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>

#include "platform/PlatGif.h"
#include "support/TestSupport.h"
#include "tools/DemoLibrary.h"

namespace fs = std::filesystem;
using namespace demotest;

namespace {

constexpr int kCycleBeats = 32;

class DemoLibrary : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fs::is_directory(libraryDir() + "/Song")) << "the build writes " << libraryDir();
        for (const std::string& f : songFolders()) songs.push_back(readSong(f));
    }
    std::vector<SongDescription> songs;
};

void expectCanonicalHeader(const std::string& path, int channels)
{
    const std::string problem = canonicalHeaderProblem(path, channels);
    EXPECT_TRUE(problem.empty()) << path << ": " << problem;
}

double dbfs(double v)
{
    return 20.0 * std::log10(std::fmax(v, 1e-9) / 32768.0);
}

std::string loopPath(const SongDescription& s, const SampleLine& l)
{
    return libraryDir() + "/Song/" + s.folder + "/" + l.word + ".wav";
}

}  // namespace

TEST_F(DemoLibrary, HoldsSongsOfSeveralStylesTemposAndDescriptionPlaces)
{
    ASSERT_GE(songs.size(), 6u);
    std::set<int> tempos;
    int inFolder = 0, info10 = 0, stored = 0;
    for (const SongDescription& s : songs) {
        ASSERT_GT(s.bpm, 0) << s.folder;
        EXPECT_EQ(2646000 % s.bpm, 0) << s.folder << ": a beat must be a whole number of frames";
        tempos.insert(s.bpm);
        if (s.path == libraryDir() + "/Bls/" + s.folder + ".bls") {
            ++stored;
            EXPECT_EQ(s.version, 12) << s.folder;
        } else if (s.path == libraryDir() + "/Song/" + s.folder + "/info.bls") {
            ++info10;
            EXPECT_EQ(s.version, 10) << s.folder;
        } else {
            ++inFolder;
            EXPECT_EQ(s.version, 12) << s.folder;
            EXPECT_GE(s.groups.size(), 6u) << s.folder;
            EXPECT_LE(s.groups.size(), 8u) << s.folder;
            for (const std::string& g : s.groups) {
                int loops = 0;
                for (const SampleLine& l : s.samples) loops += groupOf(l.word) == g;
                EXPECT_GE(loops, 3) << s.folder << " " << g;
                EXPECT_LE(loops, 6) << s.folder << " " << g;
            }
        }
    }
    EXPECT_GE(inFolder, 4);
    EXPECT_EQ(info10, 1);
    EXPECT_EQ(stored, 1);
    EXPECT_GE(tempos.size(), 5u);
}

TEST_F(DemoLibrary, DescriptionsReadBackIntoTheirParts)
{
    for (const SongDescription& s : songs) {
        SCOPED_TRACE(s.folder);
        for (const std::string& p : s.problems) ADD_FAILURE() << p;
        EXPECT_FALSE(s.title.empty());
        EXPECT_LE(s.title.size(), 63u);
        EXPECT_FALSE(s.description.empty());
        EXPECT_FALSE(s.library.empty());
        // The synth panel lights a key for every letter A to G (a "d" after
        // one raises it): nothing else may stand in the scale text.
        EXPECT_FALSE(s.arpNotes.empty());
        for (char c : s.arpNotes) EXPECT_TRUE((c >= 'A' && c <= 'G') || c == 'd' || c == ' ') << s.arpNotes;

        // Samples are listed group by group, numbered 01, 02, ... in order.
        std::string group;
        int expected = 0;
        std::set<std::string> seenGroups;
        for (const SampleLine& l : s.samples) {
            ASSERT_GE(l.word.size(), 3u);
            const std::string g = groupOf(l.word);
            if (g != group) {
                EXPECT_TRUE(seenGroups.insert(g).second) << g << " listed twice";
                group = g;
                expected = 1;
            }
            char number[16];
            std::snprintf(number, sizeof number, "%02d", expected);
            EXPECT_EQ(l.word.substr(l.word.size() - 2), number);
            ++expected;
            EXPECT_GE(l.volume, 1);
            EXPECT_LE(l.volume, 127);
            EXPECT_GE(l.pan, 0);
            EXPECT_LE(l.pan, 126);
            EXPECT_TRUE(l.repeats == 1 || l.repeats == 2 || l.repeats == 4 || l.repeats == 8) << l.word;
            EXPECT_FALSE(l.label.empty());
            EXPECT_LE(l.label.size(), 31u);
            if (s.version == 12) {
                EXPECT_NE(std::find(s.groups.begin(), s.groups.end(), g), s.groups.end()) << g;
            }
        }
        if (s.version != 12) continue;
        // The category list names every group once, in the order of the samples.
        EXPECT_EQ(std::set<std::string>(s.groups.begin(), s.groups.end()).size(), s.groups.size());
        EXPECT_EQ(seenGroups.size(), s.groups.size());

        ASSERT_EQ(s.randomSets.size(), 4u);
        for (const auto& set : s.randomSets) {
            ASSERT_GE(set.size(), 4u);
            EXPECT_LE(set.size(), 9u) << set[0];
            for (size_t k = 1; k < set.size(); ++k)
                EXPECT_NE(std::find(s.groups.begin(), s.groups.end(), set[k]), s.groups.end()) << set[k];
        }

        ASSERT_GE(s.styles.size(), 2u);
        ASSERT_LE(s.styles.size(), 4u);
        for (const StyleBlock& st : s.styles) {
            SCOPED_TRACE(st.name);
            EXPECT_FALSE(st.name.empty());
            EXPECT_LE(st.columns.size(), 32u);
            EXPECT_LE(st.rows.size(), 64u);
            for (const std::string& c : st.columns)
                EXPECT_NE(std::find(s.groups.begin(), s.groups.end(), c), s.groups.end()) << c;
            // An arrangement builds up and breaks down: it starts and ends
            // with fewer tracks than it plays at its fullest.
            size_t fullest = 0;
            std::vector<size_t> playing;
            for (const auto& row : st.rows) {
                ASSERT_EQ(row.size(), 8u);
                size_t n = 0;
                for (int v : row) {
                    EXPECT_GE(v, -1);
                    EXPECT_LT(v, static_cast<int>(st.columns.size()));
                    n += v >= 0;
                }
                playing.push_back(n);
                fullest = std::max(fullest, n);
            }
            ASSERT_GE(playing.size(), 4u);
            EXPECT_LT(playing.front(), fullest);
            EXPECT_LT(playing.back(), fullest);
        }
    }
}

TEST_F(DemoLibrary, EverySampleNamedIsAWholeLoopOfBars)
{
    for (const SongDescription& s : songs) {
        ASSERT_FALSE(s.samples.empty()) << s.folder;
        const int framesPerBeat = 2646000 / s.bpm;
        for (const SampleLine& l : s.samples) {
            const std::string path = loopPath(s, l);
            ASSERT_TRUE(fs::exists(path)) << path;
            expectCanonicalHeader(path, 2);
            const Wave w = readWave(path);
            ASSERT_TRUE(w.ok) << path;
            EXPECT_EQ(w.channels, 2) << path;
            EXPECT_EQ(w.frames, kCycleBeats / l.repeats * framesPerBeat) << path;
        }
    }
}

TEST_F(DemoLibrary, LoopsAreNeitherSilentNorClipped)
{
    for (const SongDescription& s : songs)
        for (const SampleLine& l : s.samples) {
            const Wave w = readWave(loopPath(s, l));
            ASSERT_TRUE(w.ok) << l.word;
            int peak = 0;
            double sum = 0;
            for (int16_t v : w.samples) {
                peak = std::max(peak, std::abs(static_cast<int>(v)));
                sum += static_cast<double>(v) * v;
            }
            const double rms = std::sqrt(sum / static_cast<double>(w.samples.size()));
            EXPECT_LT(peak, 32767) << s.folder << " " << l.word;
            EXPECT_NEAR(dbfs(peak), -6.0, 1.0) << s.folder << " " << l.word;
            EXPECT_GT(dbfs(rms), -45.0) << s.folder << " " << l.word;
        }
}

TEST_F(DemoLibrary, LoopsRepeatWithoutAJumpAtTheLoopPoint)
{
    for (const SongDescription& s : songs)
        for (const SampleLine& l : s.samples) {
            const Wave w = readWave(loopPath(s, l));
            ASSERT_TRUE(w.ok && w.frames > 1) << l.word;
            int inside = 0, seam = 0;
            for (int c = 0; c < 2; ++c) {
                for (int i = 0; i + 1 < w.frames; ++i)
                    inside = std::max(inside, std::abs(w.samples[static_cast<size_t>(2 * (i + 1) + c)] -
                                                       w.samples[static_cast<size_t>(2 * i + c)]));
                seam = std::max(seam, std::abs(w.samples[static_cast<size_t>(c)] -
                                               w.samples[static_cast<size_t>(2 * (w.frames - 1) + c)]));
            }
            EXPECT_LE(seam, inside) << s.folder << " " << l.word;
        }
}

TEST_F(DemoLibrary, EverySongHasAnAuditionAndAPicture)
{
    for (const SongDescription& s : songs) {
        SCOPED_TRACE(s.folder);
        const std::string dir = libraryDir() + "/Song/" + s.folder + "/";
        expectCanonicalHeader(dir + "preview.wav", 2);
        const Wave w = readWave(dir + "preview.wav");
        ASSERT_TRUE(w.ok);
        EXPECT_EQ(w.frames, 8 * 4 * (2646000 / s.bpm));
        int peak = 0;
        for (int16_t v : w.samples) peak = std::max(peak, std::abs(static_cast<int>(v)));
        EXPECT_NEAR(dbfs(peak), -6.0, 1.0);

        std::vector<std::string> pictures = {dir + "library.gif",
                                             libraryDir() + "/Images/" + s.library + ".gif"};
        for (const std::string& p : pictures) {
            const std::string bytes = testsupport::readFile(p);
            plat::RgbaPicture picture;
            ASSERT_TRUE(
                plat::decodeGif(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), picture))
                << p;
            EXPECT_EQ(picture.width, 160);
            EXPECT_EQ(picture.height, 120);
            // A picture, not a flat fill.
            std::set<uint32_t> colours;
            for (size_t i = 0; i + 3 < picture.rgba.size(); i += 4) {
                uint32_t c;
                std::memcpy(&c, &picture.rgba[i], 4);
                colours.insert(c);
            }
            EXPECT_GT(colours.size(), 64u) << p;
        }
    }
}
