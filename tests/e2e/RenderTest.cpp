// beatloom --render: the disk mix without the interface, checked against a
// mix worked out by the test itself, in every export format, normalised,
// as stems, and refused clearly when the document or the target will not do.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/kelFiles.h"
#include "e2e/MixReference.h"
#include "e2e/ReferenceSongTest.h"
#include "library/BLDocument.h"
#include "platform/PlatFiles.h"
#include "platform/PlatLoudness.h"
#include "platform/PlatSound.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::join;

namespace {

class Render : public mixref::ReferenceSongTest {
protected:
    Render() : ReferenceSongTest("render") {}
    testsupport::RunResult render(std::vector<std::string> args)
    {
        args.insert(args.begin(), {dir.program(), "--render"});
        return testsupport::run(args, dir.path(), 120);
    }
    // A document of one groove played once: 32 beats.
    BLIceimage shortDocument()
    {
        BLIceimage ice = mixref::referenceDocument(song, 100.7f);
        ice.sequence.length = 1;
        return ice;
    }
};

// The frames sox reads from a stereo file.
long soxFrames(const std::string& path)
{
    const auto r = testsupport::run({"sox", path, "-n", "stat"});
    const size_t at = r.out.find("Samples read:");
    return r.exitCode == 0 && at != std::string::npos ? std::stol(r.out.substr(at + 13)) / 2 : -1;
}

bool soxReadsOpus()
{
    const std::string help = testsupport::run({"sox", "-h"}).out;
    const size_t formats = help.find("AUDIO FILE FORMATS:");
    return formats != std::string::npos && help.find(" opus", formats) < help.find('\n', formats);
}

}  // namespace

TEST_F(Render, TheClassicMixIsTheMixWorkedOutSampleForSample)
{
    const BLIceimage ice = mixref::referenceDocument(song, 100.7f);
    const std::string doc = document("song.bld", ice);
    const auto r = render({doc, "-o", "out/mix.wav", "--quality", "classic", "--format", "wav"});
    fs::create_directories(dir.file("out"));
    const auto again = render({doc, "-o", "out/mix", "--quality", "classic", "--format", "wav"});
    ASSERT_EQ(again.exitCode, 0) << r.out << again.out;
    EXPECT_NE(again.out.find(dir.file("out/mix.wav")), std::string::npos) << again.out;
    const std::vector<int16_t> expected = mixref::expectedMix(song, ice);
    ASSERT_EQ(expected.size(), 2u * 4 * 32 * 26460);  // grooves 1, 2, 3 (silent) and 1 again
    const std::vector<int16_t> written = mixref::readWav16(dir.file("out/mix.wav"));
    ASSERT_EQ(written.size(), expected.size());
    size_t first = 0;
    while (first < written.size() && written[first] == expected[first]) ++first;
    EXPECT_EQ(first, written.size()) << "first difference at sample " << first;
    EXPECT_FALSE(fs::exists(dir.file("out/mix.wav.part")));

    // High quality: the same length, the same music.
    ASSERT_EQ(render({doc, "-o", "out/high.wav", "--quality", "high", "--format", "wav"}).exitCode, 0);
    const std::vector<int16_t> high = mixref::readWav16(dir.file("out/high.wav"));
    ASSERT_EQ(high.size(), expected.size());
    double cross = 0, ee = 0, hh = 0;
    for (size_t i = 0; i < high.size(); i += 7) {
        cross += double(high[i]) * expected[i];
        ee += double(expected[i]) * expected[i];
        hh += double(high[i]) * high[i];
    }
    EXPECT_GT(cross / std::sqrt(ee * hh), 0.9);

    // Key lock: the same length, and the silent third groove silent where it
    // falls, 32 beats of the document's tempo after the second.
    ASSERT_EQ(render({doc, "-o", "out/locked.wav", "--key-lock", "--format", "wav"}).exitCode, 0);
    const std::vector<int16_t> locked = mixref::readWav16(dir.file("out/locked.wav"));
    ASSERT_EQ(locked.size(), expected.size());
    const size_t groove = 2u * 32 * 26460;
    int loudest = 0;
    for (size_t i = 2 * groove + 2 * 441; i < 3 * groove - 2 * 441; ++i)
        loudest = std::max(loudest, std::abs(int{locked[i]}));
    EXPECT_LT(loudest, 300);
    EXPECT_NE(locked, expected);
}

TEST_F(Render, ASongAtTheEndOfItsWindowRendersSampleExact)
{
    // The song at 90 BPM, mixed at 140: past 1.3 times its tempo.
    song.name = "Ninety";
    song.bpm = 90;
    mixref::writeSong(song, dir.file("Library/Song"));
    const BLIceimage ice = mixref::referenceDocument(song, 140.0f);
    const auto r =
        render({document("fast.bld", ice), "-o", "fast.wav", "--quality", "classic", "--format", "wav"});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const std::vector<int16_t> expected = mixref::expectedMix(song, ice);
    ASSERT_EQ(expected.size(), 2u * 4 * 32 * (2646000 / 140));
    const std::vector<int16_t> written = mixref::readWav16(dir.file("fast.wav"));
    ASSERT_EQ(written.size(), expected.size());
    size_t first = 0;
    while (first < written.size() && written[first] == expected[first]) ++first;
    EXPECT_EQ(first, written.size()) << "first difference at sample " << first;
}

TEST_F(Render, EveryFormatOpensWithTheRightLength)
{
    const std::string doc = document("short.bld", shortDocument());
    const long frames = 32 * 26460;
    struct Case {
        const char* format;
        const char* extension;
        int rate;
        long slack;     // frames the decoders may see beyond the sound (MP3's encoder delay and padding)
        long soxSlack;  // sox's MP3 reader does not take them off
    };
    const Case cases[] = {{"wav", "wav", 44100, 0, 0},       {"wav24", "wav", 44100, 0, 0},
                          {"aiff", "aif", 44100, 0, 0},      {"flac", "flac", 44100, 0, 0},
                          {"ogg", "ogg", 44100, 0, 0},       {"opus", "opus", 48000, 0, 0},
                          {"mp3", "mp3", 44100, 0, 3 * 1152}};
    for (const Case& c : cases) {
        const std::string file = join("out-", c.format, ".", c.extension);
        const auto r = render({doc, "-o", join("out-", c.format), "--format", c.format});
        ASSERT_EQ(r.exitCode, 0) << c.format << ": " << r.out;
        EXPECT_EQ(r.out, dir.file(file) + "\n");
        const long want = frames * c.rate / 44100;
        plat::SoundReader reader;
        ASSERT_TRUE(reader.open(dir.file(file))) << c.format;
        EXPECT_EQ(reader.rate(), c.rate) << c.format;
        EXPECT_EQ(reader.channels(), 2) << c.format;
        std::vector<float> block(8192);
        long n = 0, read = 0;
        while ((n = reader.read(block.data(), 4096)) > 0) read += n;
        EXPECT_NEAR(read, want, c.slack) << c.format;
        // sox 14.4.2 as Debian builds it has no Opus reader (neither its own
        // nor through libsndfile): there the check is libsndfile's alone.
        if (std::string(c.format) != "opus" || soxReadsOpus()) {
            const long sox = soxFrames(dir.file(file));
            EXPECT_GE(sox, want) << c.format;
            EXPECT_LE(sox, want + c.soxSlack) << c.format;
        }
        if (c.extension != std::string("wav")) {
            EXPECT_FALSE(fs::exists(dir.file(join("out-", c.format, ".wav"))));
        }
    }
    EXPECT_EQ(testsupport::readFile(dir.file("out-wav24.wav")).substr(34, 2), std::string("\x18\x00", 2));
    EXPECT_EQ(testsupport::readFile(dir.file("out-wav.wav")).substr(34, 2), std::string("\x10\x00", 2));
    for (const auto& e : fs::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().filename().string().find("TempSoundConvertFile"), std::string::npos);
}

TEST_F(Render, NormalisedToMinusFourteenLufs)
{
    const std::string doc = document("short.bld", shortDocument());
    for (const char* format : {"wav", "flac"}) {
        const std::string name = join("loud.", format);
        const auto r = render({doc, "-o", name, "--format", format, "--normalize"});
        ASSERT_EQ(r.exitCode, 0) << r.out;
        plat::SoundReader reader;
        plat::LoudnessMeter meter;
        ASSERT_TRUE(reader.open(dir.file(name)));
        ASSERT_TRUE(meter.open(2, reader.rate()));
        std::vector<float> block(8192);
        for (long n; (n = reader.read(block.data(), 4096)) > 0;) meter.add(block.data(), n);
        EXPECT_NEAR(meter.integratedLufs(), -14.0, 0.5) << format;
        EXPECT_LE(meter.truePeakDb(), -1.0 + 0.05) << format;
    }
}

TEST_F(Render, StemsWriteTheGroupFilesAloneAndReplaceThemOnlyWhenTold)
{
    const BLIceimage ice = mixref::referenceDocument(song, 100.7f);
    const std::string doc = document("song.bld", ice);
    fs::create_directories(dir.file("stems/keep"));
    testsupport::writeFile(dir.file("stems/old.wav"), "old");
    testsupport::writeFile(dir.file("stems/Keys.wav"), "old");
    const auto r = render({doc, "-o", "stems", "--stems", "--format", "wav", "--quality", "classic"});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    auto files = [&] {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.file("stems")))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    // The unused group (Keys) has no file; everything else in the folder stays.
    EXPECT_EQ(files(), (std::vector<std::string>{"Bass.wav", "Drums.wav", "Keys.wav", "Pad.wav", "Perc.wav",
                                                 "keep", "old.wav"}));
    EXPECT_EQ(testsupport::readFile(dir.file("stems/Keys.wav")), "old");
    EXPECT_EQ(testsupport::readFile(dir.file("stems/old.wav")), "old");
    for (int g : {0, 1, 2, 3})
        EXPECT_EQ(mixref::readWav16(dir.file("stems/" + song.groups[static_cast<size_t>(g)] + ".wav")),
                  mixref::expectedMix(song, ice, g))
            << song.groups[static_cast<size_t>(g)];

    // Group files there already: refused, nothing written, unless --overwrite.
    testsupport::writeFile(dir.file("stems/Bass.wav"), "mine");
    const auto again = render({doc, "-o", "stems", "--stems", "--format", "wav"});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.out.find("(Drums.wav, Bass.wav, Pad.wav, Perc.wav)"), std::string::npos) << again.out;
    EXPECT_NE(again.out.find("--overwrite"), std::string::npos) << again.out;
    EXPECT_EQ(testsupport::readFile(dir.file("stems/Bass.wav")), "mine");
    ASSERT_EQ(render({doc, "-o", "stems", "--stems", "--format", "wav", "--overwrite"}).exitCode, 0);
    EXPECT_EQ(mixref::readWav16(dir.file("stems/Bass.wav")), mixref::expectedMix(song, ice, 1));
    EXPECT_EQ(files().size(), 7u);
}

TEST_F(Render, ClearRefusalsWithTheirReasons)
{
    BLIceimage ice = shortDocument();
    const std::string good = document("good.bld", ice);
    ice.sequence.length = 0;
    const std::string empty = document("empty.bld", ice);
    ice = shortDocument();
    std::snprintf(ice.songName, sizeof ice.songName, "NoSuchSong");
    const std::string lost = document("lost.bld", ice);
    testsupport::writeFile(dir.file("junk.bld"), "not a document");
    // The song plays at 126 BPM +- 50: the program itself refuses 60 when it opens the document.
    const std::string slow = document("slow.bld", mixref::referenceDocument(song, 60.0f));
    ice = shortDocument();
    ice.bpm = std::nanf("");
    const std::string nan = document("nan.bld", ice);
    fs::create_directories(dir.file("out"));

    struct Case {
        std::vector<std::string> args;
        int code;
        const char* says;
    };
    const Case cases[] = {
        {{lost, "-o", "a.wav"}, 1, "\"NoSuchSong\" of"},
        {{empty, "-o", "a.wav"}, 1, "has no sequence"},
        {{dir.file("junk.bld"), "-o", "a.wav"}, 1, "not a groove document"},
        {{dir.file("none.bld"), "-o", "a.wav"}, 1, "cannot open"},
        {{good, "-o", "no/such/folder/a.wav"}, 1, "could not be written: the folder does not exist"},
        {{good, "-o", std::string(300, 'n') + ".wav"}, 1, "a name is too long"},
        {{good, "-o", "out"}, 1, "out is a folder"},
        {{good, "-o", "new/"}, 1, "new/ is a folder"},
        {{good, "-o", "/"}, 1, "/ is a folder"},
        {{slow, "-o", "a.wav"}, 1, "(60 BPM) is outside what its song can be played at (76 to 176 BPM)"},
        {{nan, "-o", "a.wav"}, 1, "is outside what its song can be played at"},
        {{good, "-o", "a.wav", "--format", "wma"}, 2, "unknown format 'wma'"},
        {{good, "-o", "a.wav", "--quality", "best"}, 2, "unknown quality"},
        {{good}, 2, "needs -o"},
    };
    for (const Case& c : cases) {
        const auto r = render(c.args);
        EXPECT_EQ(r.exitCode, c.code) << c.args[0] << ": " << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("disk may be full"), std::string::npos) << r.out;
    }
    // A file that may not grow past 50 kB: the system's limit, not a full disk.
    const auto big = testsupport::run(
        {"sh", "-c", "ulimit -f 50 && exec " + dir.program() + " --render " + good + " -o a.wav"}, dir.path(),
        60);
    EXPECT_EQ(big.exitCode, 1) << big.out;
    EXPECT_NE(big.out.find("the file would be larger than this system allows"), std::string::npos) << big.out;
    EXPECT_FALSE(fs::exists(dir.file("a.wav")));
    EXPECT_TRUE(fs::is_empty(dir.file("out")));
    EXPECT_FALSE(fs::exists(dir.file(".wav")));
    EXPECT_FALSE(fs::exists(dir.file("MixScript")));

    // At the window's end, past 1.3 times the song's tempo: mixed at that tempo, as played.
    ice = shortDocument();
    ice.bpm = 176.0f;
    const auto fast = render({document("fast.bld", ice), "-o", "fast.wav", "--format", "wav"});
    ASSERT_EQ(fast.exitCode, 0) << fast.out;
    EXPECT_EQ(mixref::readWav16(dir.file("fast.wav")).size(), 2u * 32 * (2646000 / 176));
}

// What a folder holds: each entry's bytes, a link's target, a folder's mark.
std::map<std::string, std::string> snapshot(const std::string& folder)
{
    std::map<std::string, std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (e.is_symlink())
            out[name] = "link to " + fs::read_symlink(e.path()).string();
        else if (e.is_directory())
            out[name] = "folder";
        else
            out[name] = testsupport::readFile(e.path().string());
    }
    return out;
}

// The names in `after` that are new or changed since `before`.
std::set<std::string> changed(const std::map<std::string, std::string>& before,
                              const std::map<std::string, std::string>& after)
{
    std::set<std::string> names;
    for (const auto& [name, bytes] : after) {
        const auto was = before.find(name);
        if (was == before.end() || was->second != bytes) names.insert(name);
    }
    for (const auto& [name, bytes] : before)
        if (!after.count(name)) names.insert(name + " (gone)");
    return names;
}

// Every --render variant run into a folder of the person's that holds files
// of every name the program might make: afterwards each file but the
// targets is as it was, and no temporary is left anywhere.
TEST_F(Render, TheUsersFolderIsLeftAsItWasButForTheTargets)
{
    const std::string mine = dir.file("mine");
    fs::create_directories(mine + "/sub");
    char kel[kKelPathMax + 1];
    ASSERT_TRUE(KEL_SystemPathToKelPath((mine + "/song.bld").c_str(), kel));
    ASSERT_TRUE(BLDocument_Write(kel, shortDocument(), nullptr));
    for (const char* name :
         {"song.wav", "song.wav.part", "song.flac.part", "loud.wav.part", "TempSoundConvertFile.flac",
          "TempSoundConvertFile.wav", "TempSoundConvertFile.ogg", ".bashrc", ".hidden.wav", "thesis.txt",
          "MixScript", "MixScript-1", ".beatloom-write-test", "sub/inner.wav"})
        testsupport::writeFile(mine + "/" + name, std::string("the person's own ") + name);
    fs::create_symlink("thesis.txt", mine + "/link.wav");
    fs::create_symlink("/nowhere", mine + "/dangling.wav");
    const std::string doc = mine + "/song.bld";
    const auto noTemporaries = [&] {
        for (const std::string& folder : {mine, dir.path()})
            for (const auto& e : fs::directory_iterator(folder)) {
                const std::string name = e.path().filename().string();
                EXPECT_FALSE(plat::isTemporaryName(name) || name.find(".beatloom-journal-") == 0) << name;
            }
    };
    struct Case {
        std::vector<std::string> args;
        std::set<std::string> targets;
    };
    const std::string stemFiles[] = {"Drums.ogg", "Bass.ogg", "Pad.ogg", "Perc.ogg"};
    const Case cases[] = {
        {{doc, "-o", mine + "/song.flac", "--format", "flac"}, {"song.flac"}},
        {{doc, "-o", mine + "/loud", "--format", "wav", "--normalize"}, {"loud.wav"}},
        {{doc, "-o", mine + "/song.mp3", "--format", "aiff"}, {"song.aif"}},
        {{doc, "-o", mine, "--stems", "--format", "ogg"},
         {stemFiles[0], stemFiles[1], stemFiles[2], stemFiles[3]}},
        {{doc, "-o", mine, "--stems", "--format", "ogg"}, {}},  // refused: the group files are there now
        {{doc, "-o", mine}, {}},
        {{doc, "-o", mine + "/"}, {}},
        {{doc, "-o", mine + "/sub/inner.wav/x.wav"}, {}},
    };
    for (const Case& c : cases) {
        const auto before = snapshot(mine);
        const auto r = render(c.args);
        EXPECT_EQ(r.exitCode, c.targets.empty() ? 1 : 0) << c.args[2] << ": " << r.out;
        std::set<std::string> written = changed(before, snapshot(mine));
        // Stems write the groups the first groove uses: some of the four.
        if (c.targets.size() > 1) {
            EXPECT_TRUE(std::includes(c.targets.begin(), c.targets.end(), written.begin(), written.end()));
        } else {
            EXPECT_EQ(written, c.targets) << c.args[2];
        }
        EXPECT_EQ(snapshot(mine + "/sub"),
                  (std::map<std::string, std::string>{{"inner.wav", "the person's own sub/inner.wav"}}));
        noTemporaries();
    }
    EXPECT_EQ(testsupport::readFile(mine + "/song.wav"), "the person's own song.wav");
    EXPECT_EQ(testsupport::readFile(mine + "/thesis.txt"), "the person's own thesis.txt");
}

// Stems brought to a loudness all together keep adding up to the mix: one
// gain for every stem, measured on their whole.
TEST_F(Render, NormalisedStemsShareOneGain)
{
    const BLIceimage ice = mixref::referenceDocument(song, 100.7f);
    const std::string doc = document("song.bld", ice);
    ASSERT_EQ(render({doc, "-o", "loud", "--stems", "--format", "wav", "--normalize"}).exitCode, 0);
    double lowest = 1e9, highest = -1e9;
    for (int g : {0, 1, 2, 3}) {
        const std::string name = song.groups[static_cast<size_t>(g)];
        const std::vector<int16_t> plain = mixref::expectedMix(song, ice, g);
        const std::vector<int16_t> loud = mixref::readWav16(dir.file("loud/" + name + ".wav"));
        ASSERT_EQ(loud.size(), plain.size()) << name;
        double cross = 0, energy = 0;
        for (size_t i = 0; i < plain.size(); ++i) {
            cross += double(loud[i]) * plain[i];
            energy += double(plain[i]) * plain[i];
        }
        const double gain = cross / energy;  // the least-squares gain from plain to loud
        lowest = std::min(lowest, gain);
        highest = std::max(highest, gain);
    }
    EXPECT_GT(lowest, 0.1);
    EXPECT_LT(highest / lowest, 1.001) << lowest << " .. " << highest;
}

// kill -9 and SIGTERM at random moments of a render, a stems mix and a save:
// the old file is intact or the new one complete, and the next start leaves
// no temporary behind. BEATLOOM_KILL_ROUNDS sets the rounds of each (50 for
// the full trial; one here, with a SIGTERM caught during a conversion).
// ctest-labels: threads
TEST_F(Render, KilledAtAnyMomentLosesNothing)
{
    const char* asked = std::getenv("BEATLOOM_KILL_ROUNDS");
    const int rounds = asked ? std::max(1, std::atoi(asked)) : 1;
    std::random_device device;
    const unsigned seed = device();
    SCOPED_TRACE(join("seed ", seed));
    std::mt19937 random(seed);
    BLIceimage ice = shortDocument();
    // A take of the first groove played for a cycle, rendered as it was heard.
    BLTake take;
    take.frames = 32 * 26460;
    take.start.bpm = ice.bpm;
    for (int t = 0; t < 4; ++t) {
        take.start.samples[t] = static_cast<int16_t>(t);
        take.start.volumes[t] = 63;
    }
    take.calls.push_back(BLTakeCall{});
    ice.takes.push_back(take);
    const std::string doc = document("song.bld", ice);
    const std::string mine = dir.file("mine"), stems = dir.file("stems");
    fs::create_directories(mine);
    fs::create_directories(stems);
    testsupport::writeFile(mine + "/song.wav", "the person's own song.wav");
    testsupport::writeFile(mine + "/song.flac", "old");
    testsupport::writeFile(mine + "/take.flac", "old");
    testsupport::writeFile(dir.file("save.txt"), [&] {
        std::string s = "wait 50\n";
        for (int i = 0; i < 100; ++i) s += "dialog " + doc + "\nctrl s\nwait 5\n";
        return s + "quit\n";
    }());
    const std::string quit = dir.file("quit.txt");
    testsupport::writeFile(quit, "quit\n");

    const std::string flacFrames = std::to_string(32 * 26460);
    struct Kind {
        const char* name;
        std::vector<std::string> args;
        std::function<void()> check;  // the old file intact or the new one complete
    };
    const Kind kinds[] = {
        {"render",
         {dir.program(), "--render", doc, "-o", mine + "/song.flac", "--format", "flac"},
         [&] {
             EXPECT_EQ(testsupport::readFile(mine + "/song.wav"), "the person's own song.wav");
             if (testsupport::readFile(mine + "/song.flac") == "old") return;
             plat::SoundReader reader;
             ASSERT_TRUE(reader.open(mine + "/song.flac"));
             EXPECT_EQ(std::to_string(reader.frames()), flacFrames);
         }},
        {"take",
         {dir.program(), "--render", doc, "--take", "1", "-o", mine + "/take", "--format", "flac"},
         [&] {
             if (testsupport::readFile(mine + "/take.flac") == "old") return;
             plat::SoundReader reader;
             ASSERT_TRUE(reader.open(mine + "/take.flac"));
             EXPECT_EQ(std::to_string(reader.frames()), flacFrames);
         }},
        {"stems",
         {dir.program(), "--render", doc, "-o", stems, "--stems", "--format", "wav", "--overwrite"},
         [&] {
             for (int g = 0; g < 4; ++g) {
                 const std::string file = stems + "/" + song.groups[static_cast<size_t>(g)] + ".wav";
                 if (fs::exists(file)) {
                     EXPECT_EQ(mixref::readWav16(file), mixref::expectedMix(song, ice, g)) << file;
                 }
             }
         }},
        {"save",
         {dir.program(), "--headless", "--script", dir.file("save.txt"), doc},
         [&] {
             char kel[kKelPathMax + 1];
             ASSERT_TRUE(KEL_SystemPathToKelPath(doc.c_str(), kel));
             BLIceimage read;
             EXPECT_EQ(BLDocument_Read(kel, &read, nullptr).status, BLDocumentRead::read);
             EXPECT_STREQ(read.songName, ice.songName);
         }},
    };
    const auto noTemporaries = [&](const char* after) {
        for (const std::string& folder : {mine, stems, dir.path()})
            for (const auto& e : fs::directory_iterator(folder)) {
                const std::string name = e.path().filename().string();
                EXPECT_FALSE(plat::isTemporaryName(name) || name.find(".beatloom-journal-") == 0)
                    << after << ": " << name;
            }
    };
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        // A whole run first: how long one takes.
        double whole = 0;
        ASSERT_EQ(testsupport::runWatched(kind.args, dir.path(), [&](int, double t) { whole = t; }).exitCode,
                  0);
        kind.check();
        for (int round = 0; round < rounds; ++round)
            for (const int signal : {SIGKILL, SIGTERM}) {
                const double at = std::uniform_real_distribution<double>(0.0, whole)(random);
                // The first SIGTERM of the render comes while the mix is converted: the
                // mix itself lies in a temporary then, never in the person's song.wav.
                const std::string name = kind.name;
                const bool converting =
                    signal == SIGTERM && round == 0 && (name == "render" || name == "take");
                bool sent = false;
                const auto r = testsupport::runWatched(kind.args, dir.path(), [&](int pid, double t) {
                    if (sent) return;
                    if (converting) {
                        int temporaries = 0;
                        for (const auto& e : fs::directory_iterator(mine))
                            temporaries += e.path().filename().string().rfind(
                                               "." + (name == "take" ? name : "song") + ".flac.", 0) == 0;
                        if (temporaries < 2) return;
                    } else if (t < at) {
                        return;
                    }
                    kill(pid, signal);
                    sent = true;
                });
                SCOPED_TRACE(join(signal == SIGKILL ? "SIGKILL" : "SIGTERM", converting ? " converting" : "",
                                  " at ", at, " s of ", whole));
                // A render told to stop says so, and what it left; the program ends in order.
                // (A signal that comes before the program could take it ends it at once: 143.)
                if (signal == SIGTERM && r.exitCode != 0 && r.exitCode != 128 + SIGTERM && name != "save") {
                    EXPECT_EQ(r.exitCode, 130) << r.out;
                    EXPECT_NE(r.out.find("no half-written file was left"), std::string::npos) << r.out;
                }
                if (signal == SIGTERM && name == "save" && r.exitCode != 128 + SIGTERM) {
                    EXPECT_EQ(r.exitCode, 0) << r.out;
                }
                if (converting) {
                    EXPECT_EQ(r.exitCode, 130) << r.out;
                }
                kind.check();
                // The next start sweeps what the kill left.
                ASSERT_EQ(
                    testsupport::run({dir.program(), "--headless", "--script", quit}, dir.path()).exitCode,
                    0);
                noTemporaries("the next start");
            }
    }
}

TEST_F(Render, OneBarOnATerminal)
{
    const std::string doc = document("song.bld", mixref::referenceDocument(song, 100.7f));
    // Under a terminal of its own the progress is one line drawn over itself.
    const std::string command = dir.program() + " --render " + doc + " -o tty.mp3 --format mp3";
    const auto r = testsupport::run({"script", "-qec", command, "/dev/null"}, dir.path(), 120);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_GT(std::count(r.out.begin(), r.out.end(), '\r'), 20);
    EXPECT_LE(std::count(r.out.begin(), r.out.end(), '\n'), 2) << r.out;
    EXPECT_NE(r.out.find("100%"), std::string::npos);
    // Without one, nothing but the file written.
    const auto quiet = render({doc, "-o", "quiet.wav", "--format", "wav"});
    EXPECT_EQ(quiet.out, dir.file("quiet.wav") + "\n");
}
