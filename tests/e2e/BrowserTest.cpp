// The song browser over the demo library, worked as a person would: the
// built program run on a script (what it played heard through SDL's disk
// audio driver, what it changed on disk), and the program in this process
// where a test reads the list it shows.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/BLEngine.h"
#include "control/BLPlayer.h"
#include "core/kelQt.h"
#include "library/BLBlsWriter.h"
#include "panels/BrowserHarness.h"
#include "panels/groove/BLGroovePanel.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using testsupport::join;
using testsupport::ProgramDir;
using testsupport::readFile;
using testsupport::run;
using testsupport::writeFile;

// A 1024 x 768 window: the stage at (192, 144) and the browser centred on
// it (its picture is 566 x 406 with the shadow).
constexpr int kBrowserX = 192 + 320 - 566 / 2;
constexpr int kBrowserY = 144 + 240 - 406 / 2;
// Centres of the browser's controls, as its layout places them.
std::string lineAt(int line)
{
    return join(kBrowserX + 17 + 147, " ", kBrowserY + 42 + 17 * line + 8);
}
const std::string kDeleteAt = join(kBrowserX + 98 + 39, " ", kBrowserY + 373);
const std::string kCopyAt = join(kBrowserX + 182 + 39, " ", kBrowserY + 373);
const std::string kDiskAt = join(kBrowserX + 266 + 39, " ", kBrowserY + 373);

std::vector<std::string> demoFolders()
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(fs::path(testsupport::programDir()) / "Library/Song"))
        if (e.is_directory()) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// 16-bit samples of a raw capture or of a canonical WAV's data.
std::vector<int16_t> samples(const std::string& bytes, size_t skip)
{
    std::vector<int16_t> out;
    for (size_t i = skip; i + 1 < bytes.size(); i += 2)
        out.push_back(
            static_cast<int16_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8)));
    return out;
}

size_t firstSound(const std::vector<int16_t>& s)
{
    size_t i = 0;
    while (i < s.size() && std::abs(s[i]) < 64) ++i;
    return i & ~size_t{1};  // a whole frame
}

// The program folder with a library of its own: the demo songs as hard links.
void ownLibrary(const ProgramDir& dir)
{
    fs::remove(dir.file("Library"));
    const auto options = fs::copy_options::recursive | fs::copy_options::create_hard_links;
    fs::copy(fs::path(testsupport::programDir()) / "Library", dir.file("Library"), options);
}

std::string runProgram(const ProgramDir& dir, const std::string& script, std::vector<std::string> args = {},
                       const std::vector<std::string>& env = {})
{
    writeFile(dir.file("script.txt"), script);
    std::vector<std::string> argv{dir.program(), "--script", dir.file("script.txt"), "--log",
                                  dir.file("log.txt")};
    argv.insert(argv.end(), args.begin(), args.end());
    const auto r = run(argv, dir.path(), 60, env);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    return readFile(dir.file("log.txt"));
}

TEST(BrowserRun, ClickingASongPlaysItsPreview)
{
    ProgramDir dir("preview");
    const std::string capture = dir.file("capture.raw");
    runProgram(dir, "wait 600\nclick " + lineAt(1) + "\nwaitsize 176400 " + capture + "\nquit\n", {},
               {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + capture});
    const std::string second = demoFolders().at(1);
    const std::vector<int16_t> heard = samples(readFile(capture), 0);
    const std::vector<int16_t> preview =
        samples(readFile(dir.file("Library/Song/" + second + "/preview.wav")), 44);
    const size_t h = firstSound(heard), p = firstSound(preview);
    const size_t compare = 2 * 11025;  // a quarter of a second
    ASSERT_GE(heard.size(), h + compare) << "too little was played";
    ASSERT_GE(preview.size(), p + compare);
    size_t differ = 0;
    for (size_t i = 0; i < compare; ++i)
        if (std::abs(heard[h + i] - preview[p + i]) > 1) ++differ;
    EXPECT_EQ(differ, 0u) << "the sound heard is not the preview of " << second;
}

TEST(BrowserRun, DeleteAsksAndYesRemovesTheSongFolder)
{
    ProgramDir dir("delete");
    ownLibrary(dir);
    const std::string first = demoFolders().at(0), second = demoFolders().at(1);
    const std::string log =
        runProgram(dir, "wait 600\nbox no\nclick " + kDeleteAt + "\nwait 300\nclick " + lineAt(1) +
                            "\nwait 200\nbox yes\nclick " + kDeleteAt + "\nwait 500\nquit\n");
    EXPECT_NE(log.find("Delete the song \"" + second + "\" and its user loops from the library?"),
              std::string::npos)
        << log;
    EXPECT_TRUE(fs::exists(dir.file("Library/Song/" + first + "/preview.wav"))) << "No keeps it";
    EXPECT_FALSE(fs::exists(dir.file("Library/Song/" + second)));
    EXPECT_TRUE(fs::exists(fs::path(testsupport::programDir()) / "Library/Song" / second / "preview.wav"));
}

TEST(BrowserRun, AFolderStandingInForADiskIsBrowsedAndItsSongCopied)
{
    ProgramDir dir("diskcopy");
    ownLibrary(dir);
    testsupport::TempDir disk("usbstick");
    const std::string songs = disk.file("Library/Song/Song44");
    browsertest::writeSong(songs + "/Postcard",
                           {.title = "Postcard - from the disk", .library = "Beatloom Techno"});
    runProgram(dir, "wait 600\nclick " + kDiskAt + "\nwait 300\nclick " + kCopyAt + "\nwait 500\nquit\n",
               {"--disk", disk.path()});
    for (const char* f : {"song.bls", "Drums01.wav", "preview.wav"})
        EXPECT_EQ(readFile(dir.file("Library/Song/Postcard/") + f), readFile(songs + "/Postcard/" + f)) << f;
}

class BrowserDemo : public browsertest::BrowserProgram {};

TEST_F(BrowserDemo, TheListShowsEveryDemoSongSorted)
{
    linkDemoSongs();
    start();
    const std::vector<std::string> folders = demoFolders();
    ASSERT_GE(folders.size(), 6u);
    EXPECT_EQ(entryFolders(), folders);
    for (int16_t i = 0; i < static_cast<int16_t>(folders.size()) && i < kBLLoadListLines; ++i) {
        // " Dusty Corners " for DustyCorners: the title up to its dash.
        std::string shown = lineText(i);
        EXPECT_EQ(shown.front(), ' ');
        EXPECT_EQ(shown.back(), ' ') << shown;
        shown.erase(std::remove(shown.begin(), shown.end(), ' '), shown.end());
        EXPECT_EQ(shown, folders[static_cast<size_t>(i)]);
        EXPECT_TRUE(panel()->entries[i].loadable);
    }
    EXPECT_TRUE(panel()->pictureShown);
    EXPECT_NE(infoText(1).find(" BPM"), std::string::npos);
}

TEST_F(BrowserDemo, ClickingADemoSongAuditionsItAndChasesAtItsTempo)
{
    linkDemoSongs();
    start();
    clickLine(2);
    EXPECT_TRUE(kelQt_auditionStatus().playing);
    ASSERT_EQ(host.chasePeriods.size(), 1u);
    const std::string tempo = infoText(1);
    const int bpm = std::atoi(tempo.substr(tempo.rfind(") ") + 2).c_str());
    ASSERT_GT(bpm, 0) << tempo;
    EXPECT_EQ(host.chasePeriods[0], (3600 / bpm) / 4);
    clickItem(BLLoadPanel::kItemLoad);
    EXPECT_FALSE(kelQt_auditionStatus().playing);
    EXPECT_EQ(host.loads, (std::vector<std::string>{":Library:Song:" + demoFolders().at(2) + ":"}));
    EXPECT_FALSE(PWScreen.isVisible(kPWLoadPanel));
    EXPECT_TRUE(blPlayer->playing);
}

// SDL's disk audio driver writes what the devices of this process play.
class DiskAudio {
public:
    explicit DiskAudio(const std::string& file)
    {
        const char* driver = std::getenv("SDL_AUDIODRIVER");
        savedDriver_ = driver ? driver : "";
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    }
    ~DiskAudio()
    {
        unsetenv("SDL_DISKAUDIOFILE");
        if (savedDriver_.empty())
            unsetenv("SDL_AUDIODRIVER");
        else
            setenv("SDL_AUDIODRIVER", savedDriver_.c_str(), 1);
    }
    DiskAudio(const DiskAudio&) = delete;
    DiskAudio& operator=(const DiskAudio&) = delete;

private:
    std::string savedDriver_;
};

// With the real groove panel in place of the stand-in.
class BrowserOverGroove : public browsertest::BrowserProgram {
protected:
    void SetUp() override
    {
        BrowserProgram::SetUp();
        fakeHost = false;
        linkDemoSongs();
    }
    std::vector<int16_t> meters() const
    {
        std::vector<int16_t> values;
        for (int16_t item : {45, 46, 47, 48, 49, 51, 52, 53})
            values.push_back(PWfloatPanelPtr[kPWGroovePanel]->control(item)->get());
        return values;
    }
};

TEST_F(BrowserOverGroove, APreviewRunsTheLightChaseOnTheTrackMeters)
{
    start();
    ASSERT_EQ(blLoadHost, dynamic_cast<BLLoadHost*>(PWfloatPanelPtr[kPWGroovePanel]));
    clickLine(0);
    ASSERT_TRUE(kelQt_auditionStatus().playing);
    // At 90 BPM a lamp steps every 10 ticks and fades over 60.
    std::vector<int> lit(8, 0);
    for (int step = 0; step < 40; ++step) {
        idleFor(25);
        const std::vector<int16_t> now = meters();
        for (size_t t = 0; t < 8; ++t) lit[t] = std::max<int>(lit[t], now[t]);
        // The lamps fade: never more than the six newest are lit.
        EXPECT_LE(std::count_if(now.begin(), now.end(), [](int16_t v) { return v > 0; }), 6);
    }
    EXPECT_GE(std::count_if(lit.begin(), lit.end(), [](int v) { return v > 0; }), 4)
        << "the chase moved along the meters";
    clickItem(BLLoadPanel::kItemMute);
    idleFor(50);
    EXPECT_EQ(meters(), std::vector<int16_t>(8, 0));
}

TEST_F(BrowserOverGroove, LoadHidesTheBrowserAndTheSongPlays)
{
    const std::string capture = dir.file("capture.raw");
    const DiskAudio heardIn(capture);
    start();
    clickLine(3);
    idleFor(200);
    clickItem(BLLoadPanel::kItemLoad);
    EXPECT_FALSE(PWScreen.isVisible(kPWLoadPanel));
    EXPECT_FALSE(kelQt_auditionStatus().playing);
    EXPECT_TRUE(blPlayer->playing);
    idleFor(1200);
    EXPECT_EQ(gep->state(), BLEngineState::running);
    const std::vector<int16_t> heard = samples(readFile(capture), 0);
    // The engine's device took the file over from the preview's: what it
    // holds now is the loaded song.
    EXPECT_GT(heard.size(), 44100u) << "about a second of sound";
    const size_t loud = static_cast<size_t>(
        std::count_if(heard.begin(), heard.end(), [](int16_t v) { return std::abs(v) > 256; }));
    EXPECT_GT(loud, heard.size() / 4) << "the song plays";
}

TEST_F(BrowserOverGroove, ASongCopiedFromADiskLoadsAndPlays)
{
    testsupport::TempDir disk("usbstick");
    const fs::path from = fs::path(testsupport::programDir()) / "Library/Song" / demoFolders().at(1);
    const fs::path songs = fs::path(disk.path()) / "Library/Song/Song44";
    fs::create_directories(songs);
    fs::copy(from, songs / "Postcard", fs::copy_options::recursive | fs::copy_options::create_hard_links);
    kelDisksList::setVolumeRoots({disk.path()});
    const std::string capture = dir.file("capture.raw");
    const DiskAudio heardIn(capture);
    start();
    clickItem(BLLoadPanel::kItemDisk);
    ASSERT_EQ(entryFolders(), (std::vector<std::string>{"Postcard"}));
    clickItem(BLLoadPanel::kItemCopy);
    EXPECT_EQ(controlText(BLLoadPanel::kItemStatus), "Copy completed");
    clickItem(BLLoadPanel::kItemDisk);
    const std::vector<std::string> home = entryFolders();
    const auto at = std::find(home.begin(), home.end(), "Postcard");
    ASSERT_NE(at, home.end());
    clickLine(static_cast<int16_t>(at - home.begin()));
    clickItem(BLLoadPanel::kItemLoad);
    EXPECT_FALSE(PWScreen.isVisible(kPWLoadPanel));
    idleFor(1200);
    EXPECT_EQ(gep->state(), BLEngineState::running);
    const std::vector<int16_t> heard = samples(readFile(capture), 0);
    EXPECT_GT(heard.size(), 44100u);
    const size_t loud = static_cast<size_t>(
        std::count_if(heard.begin(), heard.end(), [](int16_t v) { return std::abs(v) > 256; }));
    EXPECT_GT(loud, heard.size() / 4) << "the copied song plays";
}

BLGroovePanel& groovePanel()
{
    return *dynamic_cast<BLGroovePanel*>(PWfloatPanelPtr[kPWGroovePanel]);
}

int16_t lineOf(const std::vector<std::string>& folders, const std::string& name)
{
    return static_cast<int16_t>(std::find(folders.begin(), folders.end(), name) - folders.begin());
}

TEST_F(BrowserOverGroove, AnAuditionNeverReplacesTheUsersWork)
{
    browsertest::writeSong(song("Quiet"), {.preview = false});
    // A pipe for a preview would hold the program until someone wrote to it.
    browsertest::writeSong(song("Piped"), {.preview = false});
    ASSERT_EQ(::mkfifo((song("Piped") + "/preview.wav").c_str(), 0644), 0);
    start();
    const std::vector<std::string> folders = entryFolders();
    const std::string mine = folders.at(0);
    clickLine(0);
    clickItem(BLLoadPanel::kItemLoad);
    BLGrooveModel& model = groovePanel().controller().model;
    ASSERT_STREQ(model.songFolder.path, (":Library:Song:" + mine + ":").c_str());
    model.chooseLoop(0, 0, 0);
    model.grooves_add();
    model.sequencer_addAll();
    groovePanel().controller().keeper().commit();  // as a person's click would have
    const BLSequence work = model.stored;
    const BLGroove current = model.current;

    // The song without a preview plays as a random groove, then the user's
    // song comes back whole: after another audition, and after the browser closes.
    PWScreen.show(kPWLoadPanel);
    clickLine(lineOf(folders, "Quiet"));
    EXPECT_STREQ(model.songFolder.path, ":Library:Song:Quiet:");
    EXPECT_TRUE(blPlayer->playing);
    clickLine(lineOf(folders, "Piped"));
    EXPECT_STREQ(model.songFolder.path, ":Library:Song:Piped:");
    clickLine(lineOf(folders, mine));
    EXPECT_STREQ(model.songFolder.path, (":Library:Song:" + mine + ":").c_str());
    EXPECT_TRUE(model.stored.sameAs(work));
    EXPECT_EQ(model.current, current);
    clickLine(lineOf(folders, "Quiet"));
    clickItem(BLLoadPanel::kItemClose);
    EXPECT_TRUE(model.stored.sameAs(work));
    EXPECT_FALSE(blPlayer->playing);

    // Loading another song over work not saved asks first; Cancel keeps it.
    PWScreen.show(kPWLoadPanel);
    script("box cancel\n");
    clickLine(lineOf(folders, "Quiet"));
    clickItem(BLLoadPanel::kItemLoad);
    ASSERT_FALSE(backend->boxes().empty());
    EXPECT_NE(
        backend->boxes().back().text.find("is not saved. Save it before the song \"Test Song\" is loaded"),
        std::string::npos)
        << backend->boxes().back().text;
    EXPECT_TRUE(PWScreen.isVisible(kPWLoadPanel));
    clickItem(BLLoadPanel::kItemClose);
    EXPECT_STREQ(model.songFolder.path, (":Library:Song:" + mine + ":").c_str());
    EXPECT_TRUE(model.stored.sameAs(work));
}

TEST_F(BrowserOverGroove, DeletingTheSongThatPlaysStopsItAndLeavesNoSong)
{
    start();
    const std::string gone = entryFolders().at(1);
    const int16_t line = 1;
    clickLine(line);
    clickItem(BLLoadPanel::kItemLoad);
    ASSERT_TRUE(idleUntil([] { return gep->state() == BLEngineState::running; }));
    PWScreen.show(kPWLoadPanel);
    script("box yes\n");
    clickLine(line);
    clickItem(BLLoadPanel::kItemDelete);
    ASSERT_FALSE(backend->boxes().empty());
    const std::string asked = backend->boxes().back().text;
    EXPECT_NE(asked.find("\"" + gone + "\""), std::string::npos) << asked;
    EXPECT_NE(asked.find("working on"), std::string::npos) << asked;
    EXPECT_FALSE(fs::exists(song(gone)));
    EXPECT_FALSE(blPlayer->playing);
    EXPECT_EQ(gep->state(), BLEngineState::stopped);
    EXPECT_STREQ(groovePanel().controller().model.songFolder.path, "");
    EXPECT_EQ(groovePanel().controller().model.library().groupCount, 0);
}

TEST_F(BrowserOverGroove, ReplacingTheSongThatPlaysFromADiskStopsItFirst)
{
    testsupport::TempDir disk("usbstick");
    start();
    const std::string mine = entryFolders().at(1);
    const fs::path songs = fs::path(disk.path()) / "Library/Song/Song44";
    fs::create_directories(songs);
    fs::copy(song(mine), songs / mine, fs::copy_options::recursive);
    kelDisksList::setVolumeRoots({disk.path()});
    clickLine(1);
    clickItem(BLLoadPanel::kItemLoad);
    ASSERT_TRUE(idleUntil([] { return gep->state() == BLEngineState::running; }));
    PWScreen.show(kPWLoadPanel);
    clickItem(BLLoadPanel::kItemDisk);
    ASSERT_EQ(entryFolders(), (std::vector<std::string>{mine}));
    script("box yes\n");
    clickLine(0);
    clickItem(BLLoadPanel::kItemCopy);
    ASSERT_FALSE(backend->boxes().empty());
    const std::string asked = backend->boxes().back().text;
    EXPECT_NE(asked.find("\"" + mine + "\" is already in the library and is the song you are working on"),
              std::string::npos)
        << asked;
    EXPECT_EQ(controlText(BLLoadPanel::kItemStatus), "Copy completed");
    EXPECT_FALSE(blPlayer->playing);
    EXPECT_EQ(gep->state(), BLEngineState::stopped);
    EXPECT_STREQ(groovePanel().controller().model.songFolder.path, "");
}

// A loop of 4 beats at 120 BPM as a WAV of another sample format: 24-bit
// integers (tag 1) or 32-bit floats (tag 3), sounding on one side only.
std::string loopOf(int tag, int bits, int side)
{
    std::string b = "RIFF";
    auto put = [&b](uint32_t v, int n) {
        for (int i = 0; i < n; ++i) b += static_cast<char>(v >> (8 * i));
    };
    const int frames = 88200, bytes = bits / 8, data = frames * 2 * bytes;
    put(36 + data, 4);
    b += "WAVEfmt ";
    put(16, 4), put(tag, 2), put(2, 2), put(44100, 4), put(44100 * 2 * bytes, 4), put(2 * bytes, 2),
        put(bits, 2);
    b += "data";
    put(data, 4);
    for (int i = 0; i < frames * 2; ++i) {
        const double v = i % 2 == side ? 0.5 * std::sin(i / 2 * 2 * M_PI * 220 / 44100.0) : 0.0;
        if (tag == 3) {
            const float f = static_cast<float>(v);
            uint32_t u;
            std::memcpy(&u, &f, 4);
            put(u, 4);
        } else {
            put(static_cast<uint32_t>(std::lround(v * 8388607)), 3);
        }
    }
    return b;
}

TEST_F(BrowserOverGroove, LoopsOfOtherSampleFormatsAreHeardInAGroove)
{
    const std::string folder = song("Formats");
    std::string bytes;
    ASSERT_TRUE(BLBlsWriter_Encode(
        {"SONGFORMAT: BLS 1.2", "SONGLIBRARY: L", "SONGTITLE: Formats", "SONGDESCRIPTION: d", "SONGBPM: 120",
         "SONGMIX: 0", "ARPNOTE: C", "LONGCOMMAND: SONGTRACKS: 2", "deep01 100 63 8 Deep",
         "float01 100 63 8 Float", "ENDCOMMAND:"},
        &bytes));
    fs::create_directories(folder);
    writeFile(folder + "/song.bls", bytes);
    writeFile(folder + "/deep01.wav", loopOf(1, 24, 0));
    writeFile(folder + "/float01.wav", loopOf(3, 32, 1));
    const std::string capture = dir.file("capture.raw");
    const DiskAudio heardIn(capture);
    start();
    clickLine(lineOf(entryFolders(), "Formats"));
    clickItem(BLLoadPanel::kItemLoad);
    ASSERT_STREQ(groovePanel().controller().model.songFolder.path, ":Library:Song:Formats:");
    ASSERT_EQ(groovePanel().controller().model.trackSampleId(0), 0);
    ASSERT_EQ(groovePanel().controller().model.trackSampleId(1), 1);
    // A second of sound after the silence the device writes before it starts.
    std::vector<int16_t> heard;
    ASSERT_TRUE(idleUntil([&] {
        heard = samples(readFile(capture), 0);
        const size_t from = firstSound(heard);
        if (heard.size() < from + 2 * 44100) return false;
        heard.erase(heard.begin(), heard.begin() + static_cast<std::ptrdiff_t>(from));
        return true;
    }));
    // The 24-bit loop is heard on the left, the float one on the right.
    size_t loud[2] = {0, 0};
    for (size_t i = 0; i < heard.size(); ++i) loud[i % 2] += std::abs(heard[i]) > 512;
    EXPECT_GT(loud[0], heard.size() / 4) << "24-bit";
    EXPECT_GT(loud[1], heard.size() / 4) << "float";
}

}  // namespace
