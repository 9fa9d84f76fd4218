// beatloom --song-info and --doc-info, run as programs: plain lines for
// scripts, and a message with a failing exit code for what cannot be read.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/kelFiles.h"
#include "library/BLBlsWriter.h"
#include "library/BLDocument.h"
#include "library/BLSongLibrary.h"
#include "library/BLSynthIce.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::ProgramDir;
using testsupport::readFile;
using testsupport::run;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

// Drivers that cannot work: an inspector that opened a window or a sound
// device would fail.
const std::vector<std::string> kNoDisplay = {
    "SDL_VIDEODRIVER=no-such-driver", "SDL_AUDIODRIVER=no-such-driver", "DISPLAY=", "WAYLAND_DISPLAY="};

std::string kelOf(const std::string& system)
{
    char out[kKelPathMax + 1];
    EXPECT_TRUE(KEL_SystemPathToKelPath(system.c_str(), out)) << system;
    return out;
}

void describe(const std::string& file, const std::vector<std::string>& lines)
{
    fs::create_directories(fs::path(file).parent_path());
    std::string error;
    ASSERT_TRUE(BLBlsWriter_Write(kelOf(file).c_str(), lines, &error)) << error;
}

std::vector<std::string> song(const std::string& title)
{
    return {std::string(kBLSFormatKeyword) + " BLS 1.2",
            "SONGLIBRARY: Demo",
            "SONGTITLE: " + title,
            "SONGDESCRIPTION: Two lines",
            "of text\tand a tab",
            "SONGBPM: 126",
            "SONGMIX: 1",
            "ARPNOTE: A Cd E",
            "LONGCOMMAND: CATEGORYLIST: 2",
            "drums",
            "bass",
            "ENDCOMMAND:",
            "LONGCOMMAND: RANDOMSET: 1",
            "all 3 drums bass synth",
            "ENDCOMMAND:",
            "LONGCOMMAND: SONGTRACKS: 3",
            "bass01 90 63 2 Deep",
            "drums01 100 70 4",
            "drums02 110 56 8 Fill",
            "ENDCOMMAND:",
            "LONGCOMMAND: SONGVMIX: 2 1 chorus",
            "drums",
            "bass",
            "0 1 -1 -1 -1 -1 -1 1",
            "ENDCOMMAND:"};
}

// A program folder of its own with a library of its own (never the build's).
class Inspector : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::remove(fs::path(prog.path()) / "Library");
        fs::create_directories(prog.file("Library/Song"));
    }
    testsupport::RunResult songInfo(const std::string& folder)
    {
        return run({prog.program(), "--song-info", folder}, elsewhere.path(), 30, kNoDisplay);
    }
    testsupport::RunResult docInfo(const std::string& file)
    {
        return run({prog.program(), "--doc-info", file}, elsewhere.path(), 30, kNoDisplay);
    }
    ProgramDir prog{"inspect"};
    TempDir elsewhere{"inspect-cwd"};
};

TEST_F(Inspector, SongInfoListsTheSongLineByLine)
{
    const std::string folder = elsewhere.file("songs/Groove");
    describe(folder + "/groove.bls", song("Groove Night"));
    writeFile(folder + "/x", "");
    fs::create_directories(folder + "/User");
    writeFile(folder + "/User/mine.wav", "");
    // A relative path, from the folder the program was started in.
    auto r = songInfo("songs/Groove/");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const std::string expected =
        "parser\tParser: BLS 1.2\n"
        "source\tsong-folder\t" +
        kelOf(folder) +
        ":groove.bls\n"
        "folder\tGroove\n"
        "title\tGroove Night\n"
        "library\tDemo\n"
        "bpm\t126\n"
        "arpnote\tA Cd E\n"
        "description\tTwo lines of text\\tand a tab\n"
        "songmix\t1\n"
        "categories\t2\n"
        "samples\t4\n"
        "groups\t3\n"
        "group\t0\tdrums\t2\n"
        "slot\t0\t0\t1\tdrums01\t[001]\t100\t70\t4\n"
        "slot\t0\t1\t2\tdrums02\tFill\t110\t56\t8\n"
        "group\t1\tbass\t1\n"
        "slot\t1\t0\t0\tbass01\tDeep\t90\t63\t2\n"
        "group\t2\tUser\t1\n"
        "slot\t2\t0\t3\tmine.wav\tmine\t100\t60\t1\n"
        "randomsets\t1\n"
        "randomset\t0\tAll\t3\t0\t1\t-1\n"
        "styles\t1\n"
        "style\t0\tChorus\t2\t1\n"
        "column\t0\t0\t0\n"
        "column\t0\t1\t1\n"
        "row\t0\t0\t0\t1\t-1\t-1\t-1\t-1\t-1\t1\n"
        "unreadable\tbass01, drums01, drums02, mine.wav\n";
    EXPECT_EQ(r.out, expected);

    // Any path the program can hold, deep in folders of long names.
    const std::string deep = elsewhere.file(std::string(120, 'd') + "/" + std::string(120, 'e') + "/Groove");
    fs::create_directories(deep);
    fs::copy(folder, deep, fs::copy_options::recursive);
    ASSERT_GT(deep.size(), 256u);
    r = songInfo(deep);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("title\tGroove Night\n"), std::string::npos) << r.out;
}

TEST_F(Inspector, SongInfoLooksInTheProgramsOwnStoreFirst)
{
    const std::string folder = elsewhere.file("Groove");
    describe(folder + "/groove.bls", song("Own"));
    describe(prog.file("Library/Bls/Groove.bls"), song("Stored"));
    auto r = songInfo(folder);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("title\tStored (embedded)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("source\tprogram-store\t:Library:Bls:Groove.bls\n"), std::string::npos) << r.out;

    // A 1.0 info file, with no resource file beside the program.
    fs::remove(prog.file("Beatloom.xrs"));
    const std::string old = elsewhere.file("Old");
    describe(old + "/info.bls", {"; 1.0", "kick01 Boom 100 63 0 4", "*120", "*C", "*0", "*Old"});
    r = songInfo(old);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("parser\tParser: BLS 1.0\nsource\tinfo-file\t"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("randomset\t3\tRnd4\t1\t0\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("style\t3\tStyle4\t16\t32\n"), std::string::npos) << r.out;
}

TEST_F(Inspector, SongInfoRefusesWhatItCannotRead)
{
    auto r = songInfo(elsewhere.file("nothing"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("is not a folder"), std::string::npos) << r.out;

    fs::create_directories(elsewhere.file("Bare"));
    r = songInfo(elsewhere.file("Bare"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("no song description"), std::string::npos) << r.out;

    const std::string cut = elsewhere.file("Cut/cut.bls");
    describe(cut, song("Cut"));
    std::string bytes = readFile(cut);
    bytes.resize(bytes.size() / 2);
    writeFile(cut, bytes);
    r = songInfo(elsewhere.file("Cut"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("is damaged"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("title\t"), std::string::npos) << r.out;

    auto noTempo = song("Still");
    noTempo[5] = "SONGBPM: abc";
    describe(elsewhere.file("Still/s.bls"), noTempo);
    r = songInfo(elsewhere.file("Still"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("is damaged: its tempo (0) cannot be played"), std::string::npos) << r.out;

    describe(elsewhere.file("Foreign/f.bls"), {"SOMETHING: else", "SONGTITLE: x"});
    r = songInfo(elsewhere.file("Foreign"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("is not a BLS 1.2 description"), std::string::npos) << r.out;

    r = run({prog.program(), "--song-info"}, elsewhere.path(), 30, kNoDisplay);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.out.find("--song-info needs a song folder"), std::string::npos) << r.out;
}

// A document of two stored grooves and a sequence for song "Groove".
void writeDocument(const std::string& file, const char* songName)
{
    auto ice = std::make_unique<BLIceimage>();
    ice->valid = 1;
    KEL_CopyCut(ice->songName, sizeof ice->songName, songName);
    ice->sequence.count = 2;
    ice->sequence.grooves[0].id = 1;
    ice->sequence.grooves[0].tracks[0] = BLTrack{100, 7, 0, 1};
    ice->sequence.grooves[1].id = 4;
    ice->sequence.grooves[1].tracks[2] = BLTrack{90, -63, 1, 0};
    ice->sequence.length = 3;
    ice->sequence.entries[0] = 4;
    ice->sequence.entries[1] = 1;
    ice->sequence.entries[2] = 4;
    ice->groove = ice->sequence.grooves[1];
    ice->groove.tracks[15] = BLTrack{1, 2, 3, 4};
    ice->selectedTrack = 2;
    ice->bpm = 127.4f;
    // A take of 2:05: a loop, a volume and a tempo among its brackets.
    BLTake take;
    take.name = "Take 1 \u2014 2:05";
    take.frames = 125 * 44100 + 7;
    using Op = BLTakeCall::Op;
    for (Op op : {Op::changesBegin, Op::play, Op::trackSample, Op::trackVolume, Op::changesEnd, Op::mixerBpm,
                  Op::stop}) {
        take.calls.push_back(BLTakeCall{});
        take.calls.back().op = op;
    }
    ice->takes.push_back(take);
    BLSynthDefaultDocument synth;
    ASSERT_TRUE(BLDocument_Write(kelOf(file).c_str(), *ice, &synth));
}

std::string linesStartingWith(const std::string& text, const std::string& prefix)
{
    std::string out;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        if (text.compare(at, prefix.size(), prefix) == 0) out += text.substr(at, end - at + 1);
        at = end + 1;
    }
    return out;
}

TEST_F(Inspector, DocInfoListsTheDocument)
{
    writeDocument(elsewhere.file("work.bld"), "Groove");
    auto r = docInfo("work.bld");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out.substr(0, r.out.find("grooves\t")),
              "version\t1\n"
              "song\tGroove\n"
              "songfolder\tmissing\n"
              "tempo\t127.40\n"
              "selected\t2\n");
    EXPECT_EQ(linesStartingWith(r.out, "groove\t"), "groove\t0\t1\ngroove\t1\t4\ngroove\tcurrent\t4\n");
    EXPECT_EQ(linesStartingWith(r.out, "track\t0\t"), [] {
        std::string t = "track\t0\t0\t100\t7\t0\t1\n";
        for (int i = 1; i < 16; ++i) t += "track\t0\t" + std::to_string(i) + "\t0\t0\t-1\t-1\n";
        return t;
    }());
    EXPECT_NE(r.out.find("track\t1\t2\t90\t-63\t1\t0\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("track\tcurrent\t15\t1\t2\t3\t4\n"), std::string::npos) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 5 + 1 + 3 + 48 + 1 + 3 + 1 + 1 + 2);
    EXPECT_NE(r.out.find("takes\t1\ntake\t1\tTake 1 \u2014 2:05\t2:05\t3\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("sequence\t3\nentry\t0\t4\nentry\t1\t1\nentry\t2\t4\nuserlength\t0\nsynth\tread\n"),
              std::string::npos)
        << r.out;

    // The song folder is looked for in the program's library.
    fs::create_directories(prog.file("Library/Song/Groove"));
    r = docInfo(elsewhere.file("work.bld"));
    EXPECT_NE(r.out.find("songfolder\tpresent\n"), std::string::npos) << r.out;
}

TEST_F(Inspector, DocInfoRefusesWhatItCannotRead)
{
    writeDocument(elsewhere.file("good.bld"), "Groove");
    const std::string good = readFile(elsewhere.file("good.bld"));
    struct Case {
        std::string name, bytes, message;
    };
    std::string v2 = good;
    v2[12] = 2;  // the version atom's value
    const std::vector<Case> cases = {
        {"v2.bld", v2, "of version 2; this program reads version 1"},
        {"cut.bld", good.substr(0, 3000), "is damaged: its groove image is missing or cut off"},
        {"text.bld", "plain text, no document", "is not a groove document"},
        {"empty.bld", "", "is not a groove document"},
    };
    for (const Case& c : cases) {
        writeFile(elsewhere.file(c.name), c.bytes);
        auto r = docInfo(c.name);
        EXPECT_EQ(r.exitCode, 1) << c.name << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.name << ": " << r.out;
        EXPECT_EQ(r.out.find("song\t"), std::string::npos) << r.out;
    }
    std::string emptyImage = good;
    emptyImage[4 + 12 + 8] = 0;  // valid = 0
    writeFile(elsewhere.file("blank.bld"), emptyImage);
    auto r = docInfo("blank.bld");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("holds no groove image"), std::string::npos) << r.out;

    r = docInfo("missing.bld");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("cannot open missing.bld"), std::string::npos) << r.out;
}

}  // namespace
