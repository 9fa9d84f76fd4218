// The song browser in the running program: scanning, the list, the
// information, auditions, loading, deleting, copying from a disk, and the
// bad folders a library may hold.
#include <gtest/gtest.h>

#include <algorithm>

#include "control/BLPlayer.h"
#include "core/kelCasts.h"
#include "core/kelQt.h"
#include "core/kelRes.h"
#include "core/kelTextFile.h"
#include "panels/BrowserHarness.h"
#include "panels/browser/BLMakeSongPanel.h"
#include "platform/PlatSound.h"

namespace {

using browsertest::BrowserProgram;
using browsertest::SongRecipe;
using browsertest::writeSong;
using testsupport::readFile;
using testsupport::writeFile;
namespace fs = std::filesystem;

class LoadPanel : public BrowserProgram {};

TEST_F(LoadPanel, TheListIsSortedWithSongNumbersInOrderAndCutTitles)
{
    writeSong(song("Song10"), {.title = "Tenth - a remix"});
    writeSong(song("Song2"), {.title = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcd"});
    writeSong(song("Alpha"), {.title = "Alpha"});
    start();
    EXPECT_EQ(entryFolders(), (std::vector<std::string>{"Alpha", "Song2", "Song10"}));
    EXPECT_EQ(lineText(0), " Alpha");
    EXPECT_EQ(lineText(1), std::string(" ABCDEFGHIJKLMNOPQRSTUVWXY") + '\xC9');
    EXPECT_EQ(lineText(2), " Tenth ");
    EXPECT_EQ(lineText(3), "");
    EXPECT_EQ(controlText(BLLoadPanel::kItemSource), "Library: Home");
    // The first song is selected and described.
    EXPECT_EQ(panel()->page.selection, 0);
    EXPECT_EQ(infoText(0), "Alpha");
    EXPECT_EQ(infoText(1), "Alpha (TestLib) 120 BPM");
    EXPECT_EQ(infoText(2), "A song made by a test.");
    EXPECT_EQ(controlText(BLLoadPanel::kItemStatus), "");
}

TEST_F(LoadPanel, TheDescriptionShowsInFourWrappedLines)
{
    std::string words;
    for (int i = 0; i < 60; ++i) words += testsupport::join(i ? " " : "", i % 3 ? "loop" : "groove", i);
    writeSong(song("Long"), {.description = words});
    start();
    std::string joined;
    for (int16_t n = 0; n < 4; ++n) {
        const std::string line = infoText(static_cast<int16_t>(2 + n));
        EXPECT_FALSE(line.empty()) << n;
        EXPECT_LE(line.size(), 76u) << n;
        joined += testsupport::join(n ? " " : "", line);
    }
    // Four lines show the start of the text, cut at a blank.
    EXPECT_EQ(words.compare(0, joined.size(), joined), 0);
    EXPECT_EQ(words[joined.size()], ' ');
}

TEST_F(LoadPanel, FoldersWithoutADescriptionShowLoadErrorAndCannotBeLoaded)
{
    writeSong(song("Good"), {});
    fs::create_directories(song("Empty"));
    start();
    EXPECT_EQ(entryFolders(), (std::vector<std::string>{"Empty", "Good"}));
    EXPECT_EQ(lineText(0), " Empty Load error");
    EXPECT_FALSE(panel()->entries[0].loadable);
    EXPECT_TRUE(panel()->entries[1].loadable);
    clickItem(BLLoadPanel::kItemLoad);
    EXPECT_TRUE(host.loads.empty());
    EXPECT_TRUE(PWScreen.isVisible(kPWLoadPanel));
}

TEST_F(LoadPanel, ALibraryOfFailuresOnlyIsEmpty)
{
    fs::create_directories(song("One"));
    fs::create_directories(song("Two"));
    start();
    EXPECT_EQ(panel()->page.count, 0);
    EXPECT_EQ(lineText(0), "");
    EXPECT_EQ(infoText(0), "No songs in this library.");
    EXPECT_NE(infoText(2).find("Copy songs from a disk"), std::string::npos);
    clickLine(0);
    clickItem(BLLoadPanel::kItemLoad);
    clickItem(BLLoadPanel::kItemDelete);
    EXPECT_TRUE(host.loads.empty());
    EXPECT_TRUE(backend->boxes().empty());
}

TEST_F(LoadPanel, DamagedDescriptionsAndPicturesNeverStopTheBrowser)
{
    // Garbage where a description should be, a description cut short, a
    // picture that is no picture, a name with the path separator.
    fs::create_directories(song("Garbage"));
    std::string junk(3000, '\0');
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>((i * 7919u) >> 3);
    writeFile(song("Garbage") + "/song.bls", junk);
    writeSong(song("Cut"), {.library = "Broken"});
    const std::string whole = readFile(song("Cut") + "/song.bls");
    writeFile(song("Cut") + "/song.bls", whole.substr(0, whole.size() / 3));
    writeFile(library("Images") + "/Broken.gif", "GIF89a\x10\x00\x10\x00 not really a picture");
    writeFile(song("Cut") + "/library.gif", std::string("GIF87a") + junk);
    writeSong(song("Fine"), {.library = "Broken"});
    fs::create_directories(song("odd:name"));
    writeSong(song("odd:name"), {});
    writeSong(song(".hidden"), {});
    start();
    const std::vector<std::string> folders = entryFolders();
    EXPECT_EQ(std::count(folders.begin(), folders.end(), "odd:name"), 0);
    EXPECT_EQ(std::count(folders.begin(), folders.end(), ".hidden"), 0);
    EXPECT_EQ(panel()->page.count, 3);
    for (int16_t line = 0; line < 3; ++line) {
        clickLine(line);
        EXPECT_EQ(panel()->page.selection, line);
    }
    // No picture decodes: the skin's picture for unknown libraries is shown.
    EXPECT_TRUE(panel()->pictureShown);
}

// The picture the browser shows, against a picture placed in its well the
// way the browser places it (centred, its middle when larger).
bool showsPicture(const BLLoadPanel& p, const kelOffmap& expected)
{
    if (!p.pictureShown) return false;
    const int w = std::min<int>(expected.size.h, BLLoadPanel::kPictureWidth);
    const int h = std::min<int>(expected.size.v, BLLoadPanel::kPictureHeight);
    const int sx = (expected.size.h - w) / 2, sy = (expected.size.v - h) / 2;
    const int dx = (BLLoadPanel::kPictureWidth - w) / 2, dy = (BLLoadPanel::kPictureHeight - h) / 2;
    for (int y = 0; y < h; y += 7)
        for (int x = 0; x < w; x += 5)
            if (p.picture.getPixel(static_cast<int16_t>(dx + x), static_cast<int16_t>(dy + y)) !=
                expected.getPixel(static_cast<int16_t>(sx + x), static_cast<int16_t>(sy + y)))
                return false;
    return true;
}

const kelOffmap& castPicture(int32_t id)
{
    KelOneCast* cast = PWCasts.castAt(PWCasts.MPixIDtoIndex(id));
    EXPECT_NE(cast, nullptr);
    cast->LoadDepth(kelDepth16);
    return cast->image;
}

TEST_F(LoadPanel, ThePictureComesFromTheFirstPlaceThatHasOne)
{
    const fs::path demoImages = fs::path(testsupport::programDir()) / "Library/Images";
    // The skin's table names a cast for the library (in any case): it wins
    // over a picture file of the same name.
    writeSong(song("Listed"), {.library = "BEATLOOM"});
    fs::copy_file(demoImages / "Beatloom Techno.gif", library("Images") + "/BEATLOOM.gif");
    // A picture that does not decode gives way to the song folder's own.
    writeSong(song("Own"), {.library = "Mine"});
    writeFile(library("Images") + "/Mine.gif", "GIF89a broken");
    fs::copy_file(demoImages / "Beatloom House.gif", song("Own") + "/library.gif");
    // Nothing at all: the picture for unknown libraries.
    writeSong(song("Plain"), {.library = "Nowhere"});
    start();
    ASSERT_EQ(entryFolders(), (std::vector<std::string>{"Listed", "Own", "Plain"}));
    int32_t listed = 0, unknown = 0;
    {
        kelTextFile names;
        ASSERT_TRUE(names.loadResource(&PWresfileobj, 0x54455854, 3));
        for (long i = 0; i < names.itemsCount('\r'); ++i) {
            const kelText line = names.item(i, '\r');
            if (line.item(0, ',').isEqual("lib.beatloom"))
                listed = static_cast<int32_t>(line.item(1, ',').toLong());
            if (line.item(0, ',').isEqual("Lim_unknown"))
                unknown = static_cast<int32_t>(line.item(1, ',').toLong());
        }
    }
    ASSERT_GT(listed, 0);
    ASSERT_GT(unknown, 0);
    EXPECT_TRUE(showsPicture(*panel(), castPicture(listed)));
    clickLine(1);
    kelOffmap house;
    ASSERT_TRUE(kelQt_imageToOffmap((":Library:Song:Own:library.gif"), &house));
    EXPECT_TRUE(showsPicture(*panel(), house));
    EXPECT_FALSE(showsPicture(*panel(), castPicture(unknown)));
    clickLine(2);
    EXPECT_TRUE(showsPicture(*panel(), castPicture(unknown)));
}

TEST_F(LoadPanel, MoreThan64SongsAreCutAt64AndTheArrowsPage)
{
    for (int i = 0; i < 70; ++i) fs::create_directories(song(testsupport::join("Song", i)));
    for (int i = 0; i < 70; ++i) writeSong(song(testsupport::join("Song", i)), {.preview = false});
    start();
    ASSERT_EQ(panel()->page.count, 64);
    // The first 64 in the folder's byte order, then sorted by number.
    EXPECT_EQ(panel()->entries[0].folder, std::string("Song0"));
    EXPECT_EQ(panel()->entries[63].folder, std::string("Song66"));
    EXPECT_FALSE(panel()->control(BLLoadPanel::kItemUp)->enabled);
    EXPECT_TRUE(panel()->control(BLLoadPanel::kItemDown)->enabled);
    for (int i = 0; i < 60; ++i) clickItem(BLLoadPanel::kItemDown);
    EXPECT_EQ(panel()->page.offset, 55);
    EXPECT_FALSE(panel()->control(BLLoadPanel::kItemDown)->enabled);
    EXPECT_EQ(lineText(8), " Test Song");
    clickItem(BLLoadPanel::kItemUp);
    EXPECT_EQ(panel()->page.offset, 54);
    // The selection follows a move past the end, and the page with it.
    panel()->moveSelection(-200);
    EXPECT_EQ(panel()->page.selection, 63);
    EXPECT_EQ(panel()->page.offset, 55);
}

TEST_F(LoadPanel, ClickingASongPlaysItsPreviewAndRunsTheChase)
{
    writeSong(song("Fast"), {.bpm = 150});
    writeSong(song("Slow"), {.bpm = 90});
    start();
    clickLine(1);
    EXPECT_EQ(panel()->page.selection, 1);
    EXPECT_TRUE(kelQt_auditionStatus().playing);
    ASSERT_EQ(host.chasePeriods.size(), 1u);
    EXPECT_EQ(host.chasePeriods[0], (3600 / 90) / 4);
    clickLine(0);
    ASSERT_EQ(host.chasePeriods.size(), 2u);
    EXPECT_EQ(host.chasePeriods[1], (3600 / 150) / 4);
    EXPECT_GE(host.chaseEnds, 1);
    // Muting stops it; further clicks stay silent.
    clickItem(BLLoadPanel::kItemMute);
    EXPECT_TRUE(panel()->muteAuditions);
    EXPECT_FALSE(kelQt_auditionStatus().playing);
    EXPECT_FALSE(host.chasing);
    clickLine(1);
    EXPECT_FALSE(kelQt_auditionStatus().playing);
    EXPECT_EQ(host.chasePeriods.size(), 2u);
}

TEST_F(LoadPanel, ASongWithoutAPreviewIsAuditionedAsARandomGroove)
{
    writeSong(song("Quiet"), {.preview = false});
    start();
    clickLine(0);
    ASSERT_EQ(host.loads, (std::vector<std::string>{":Library:Song:Quiet:"}));
    EXPECT_EQ(host.randomized, (std::vector<int16_t>{0}));
    EXPECT_TRUE(blPlayer->playing);
    // Loading it now goes on with what plays.
    clickItem(BLLoadPanel::kItemLoad);
    EXPECT_EQ(host.loads.size(), 1u);
    EXPECT_EQ(host.randomized.size(), 1u);
    EXPECT_FALSE(PWScreen.isVisible(kPWLoadPanel));
    EXPECT_TRUE(blPlayer->playing);
}

TEST_F(LoadPanel, LoadingHidesTheBrowserPlaysAndTellsTheLink)
{
    writeSong(song("Pick"), {});
    start();
    host.groove.tracks[2] = BLTrack{100, -5, 3, 1};
    clickLine(0);
    clickItem(BLLoadPanel::kItemLoad);
    EXPECT_EQ(host.loads, (std::vector<std::string>{":Library:Song:Pick:"}));
    EXPECT_EQ(host.randomized, (std::vector<int16_t>{0}));
    EXPECT_FALSE(PWScreen.isVisible(kPWLoadPanel));
    EXPECT_TRUE(blPlayer->playing);
    EXPECT_FALSE(kelQt_auditionStatus().playing);
    EXPECT_FALSE(host.chasing);
    const std::vector<std::string>& sent = host.link.sent;
    ASSERT_EQ(sent.size(), 2u + 8 * 3 + 1);
    EXPECT_EQ(sent[0], "9 Pick");
    EXPECT_EQ(sent[1], "7");
    EXPECT_EQ(sent[2], "1 0 -1 -1");
    EXPECT_EQ(sent[3], "2 0 0");
    EXPECT_EQ(sent[4], "3 0 0");
    EXPECT_EQ(sent[2 + 2 * 3], "1 2 3 1");
    EXPECT_EQ(sent[3 + 2 * 3], "2 2 100");
    EXPECT_EQ(sent[4 + 2 * 3], "3 2 -5");
    EXPECT_EQ(sent.back(), "6");
    // Shown again, the browser tells the link to stop.
    PWScreen.show(kPWLoadPanel);
    ASSERT_EQ(sent.size(), 2u + 8 * 3 + 2);
    EXPECT_EQ(sent.back(), "7");
}

TEST_F(LoadPanel, LoadingStopsAnotherSongThePlayerPlays)
{
    writeSong(song("Aaa"), {.preview = false});
    writeSong(song("Bbb"), {});
    start();
    clickLine(0);  // Aaa plays as a random groove
    ASSERT_TRUE(blPlayer->playing);
    clickLine(1);  // Bbb's preview: the groove audition stops
    EXPECT_FALSE(blPlayer->playing);
    clickItem(BLLoadPanel::kItemLoad);
    EXPECT_EQ(host.loads, (std::vector<std::string>{":Library:Song:Aaa:", ":Library:Song:Bbb:"}));
    EXPECT_TRUE(blPlayer->playing);
}

TEST_F(LoadPanel, ASongThatFailsToLoadKeepsTheBrowserShown)
{
    writeSong(song("Pick"), {});
    start();
    host.loadResult = false;
    clickItem(BLLoadPanel::kItemLoad);
    EXPECT_TRUE(PWScreen.isVisible(kPWLoadPanel));
    EXPECT_FALSE(blPlayer->playing);
    EXPECT_TRUE(host.link.sent.empty());
}

TEST_F(LoadPanel, DeletingAsksAndOnlyYesRemovesTheSongAndItsUserLoops)
{
    writeSong(song("Keep"), {});
    writeSong(song("Gone"), {});
    fs::create_directories(song("Gone") + "/User");
    writeFile(song("Gone") + "/User/mine.wav", browsertest::sineWave(100, 200));
    start();
    ASSERT_EQ(entryFolders(), (std::vector<std::string>{"Gone", "Keep"}));
    script("box no\n");
    clickItem(BLLoadPanel::kItemDelete);
    ASSERT_EQ(backend->boxes().size(), 1u);
    EXPECT_EQ(backend->boxes()[0].text, "Delete the song \"Gone\" and its user loops from the library?");
    EXPECT_TRUE(fs::exists(song("Gone") + "/preview.wav"));
    script("box yes\n");
    clickItem(BLLoadPanel::kItemDelete);
    EXPECT_FALSE(fs::exists(song("Gone")));
    EXPECT_TRUE(fs::exists(song("Keep") + "/song.bls"));
    EXPECT_EQ(entryFolders(), (std::vector<std::string>{"Keep"}));
    EXPECT_EQ(lineText(0), " Test Song");
}

TEST_F(LoadPanel, DeletingALinkedSongRemovesTheLinkAlone)
{
    // The song folder links to a folder elsewhere, and a file inside it to
    // a file elsewhere: nothing outside the library is touched.
    testsupport::TempDir elsewhere("elsewhere");
    writeSong(elsewhere.file("Real"), {});
    writeFile(elsewhere.file("Real/unrelated.txt"), "keep me");
    writeFile(elsewhere.file("outside.wav"), browsertest::sineWave(10, 100));
    fs::create_directory_symlink(elsewhere.file("Real"), song("Linked"));
    writeSong(song("Own"), {});
    fs::create_symlink(elsewhere.file("outside.wav"), song("Own") + "/outside.wav");
    start();
    ASSERT_EQ(entryFolders(), (std::vector<std::string>{"Linked", "Own"}));
    for (int i = 0; i < 2; ++i) {
        script("box yes\n");
        clickLine(0);
        clickItem(BLLoadPanel::kItemDelete);
    }
    EXPECT_FALSE(fs::exists(song("Linked")) || fs::is_symlink(song("Linked")));
    EXPECT_FALSE(fs::exists(song("Own")));
    EXPECT_EQ(readFile(elsewhere.file("Real/unrelated.txt")), "keep me");
    EXPECT_TRUE(fs::exists(elsewhere.file("Real/song.bls")));
    EXPECT_TRUE(fs::exists(elsewhere.file("outside.wav")));
    EXPECT_TRUE(entryFolders().empty());
}

TEST_F(LoadPanel, FoldersTheListCannotShowAreToldOfOnce)
{
    writeSong(song("Fine"), {});
    writeSong(song("a:b"), {});
    start();
    ASSERT_EQ(entryFolders(), (std::vector<std::string>{"Fine"}));
    ASSERT_EQ(backend->boxes().size(), 1u);
    EXPECT_NE(backend->boxes()[0].text.find("cannot be shown"), std::string::npos);
    EXPECT_NE(backend->boxes()[0].text.find("a:b"), std::string::npos);
    panel()->homeCacheValid = 0;
    panel()->scanFolder();
    EXPECT_EQ(backend->boxes().size(), 1u);
}

TEST_F(LoadPanel, AtHomeTheCachedListIsShownAgainWithoutAScan)
{
    writeSong(song("First"), {});
    start();
    writeSong(song("Later"), {});
    PWScreen.hide(kPWLoadPanel);
    PWScreen.show(kPWLoadPanel);
    EXPECT_EQ(entryFolders(), (std::vector<std::string>{"First"}));
    panel()->homeCacheValid = 0;
    panel()->scanFolder();
    EXPECT_EQ(entryFolders(), (std::vector<std::string>{"First", "Later"}));
}

class DiskBrowse : public BrowserProgram {
protected:
    // A folder standing in for a mounted disk: Library/Song/Song44 with a
    // song, its description in the shared store and its picture.
    void makeDisk(const std::string& root)
    {
        const std::string songs = root + "/Library/Song/Song44";
        writeSong(songs + "/Travel", {.title = "Travel - on the road", .library = "DiskLib"});
        fs::remove(songs + "/Travel/song.bls");
        std::string bytes;
        ASSERT_TRUE(BLBlsWriter_Encode(
            {"SONGFORMAT: BLS 1.2", "SONGLIBRARY: DiskLib", "SONGTITLE: Travel - on the road",
             "SONGDESCRIPTION: From the disk.", "SONGBPM: 100", "SONGMIX: 0", "ARPNOTE: C"},
            &bytes));
        fs::create_directories(root + "/Library/BLS/BLS44");
        writeFile(root + "/Library/BLS/BLS44/Travel.bls", bytes);
        fs::create_directories(root + "/Library/Images");
        fs::copy_file(fs::path(testsupport::programDir()) / "Library/Images/Beatloom Techno.gif",
                      root + "/Library/Images/DiskLib.gif");
    }
    testsupport::TempDir disk{"disk"};
    testsupport::TempDir bare{"bare"};
};

TEST_F(DiskBrowse, TheDiskButtonVisitsDisksWithALibraryThenHome)
{
    writeSong(song("HomeSong"), {});
    makeDisk(disk.path());
    kelDisksList::setVolumeRoots({bare.path(), disk.path()});
    start();
    clickItem(BLLoadPanel::kItemDisk);
    EXPECT_FALSE(panel()->home);
    EXPECT_EQ(controlText(BLLoadPanel::kItemSource), "Disk: " + fs::path(disk.path()).filename().string());
    EXPECT_EQ(entryFolders(), (std::vector<std::string>{"Travel"}));
    EXPECT_EQ(lineText(0), " Travel ");
    EXPECT_EQ(infoText(1), "Travel - on the road (DiskLib) 100 BPM");
    EXPECT_TRUE(panel()->pictureShown);
    // A song on a disk is copied first, not loaded; nor deleted.
    EXPECT_FALSE(panel()->control(BLLoadPanel::kItemLoad)->enabled);
    EXPECT_FALSE(panel()->control(BLLoadPanel::kItemDelete)->enabled);
    EXPECT_TRUE(panel()->control(BLLoadPanel::kItemCopy)->enabled);
    clickItem(BLLoadPanel::kItemLoad);
    EXPECT_TRUE(host.loads.empty());
    clickItem(BLLoadPanel::kItemDisk);
    EXPECT_TRUE(panel()->home);
    EXPECT_EQ(controlText(BLLoadPanel::kItemSource), "Library: Home");
    EXPECT_EQ(entryFolders(), (std::vector<std::string>{"HomeSong"}));
    EXPECT_TRUE(panel()->control(BLLoadPanel::kItemLoad)->enabled);
    EXPECT_FALSE(panel()->control(BLLoadPanel::kItemCopy)->enabled);
    EXPECT_EQ(log().find("No disk"), std::string::npos);  // back home from a disk: nothing to say
    // No disk holds a library: the button says so, and the list stays home.
    kelDisksList::setVolumeRoots({bare.path()});
    clickItem(BLLoadPanel::kItemDisk);
    EXPECT_TRUE(panel()->home);
    EXPECT_NE(log().find("No disk with a Beatloom library was found"), std::string::npos) << log();
}

TEST_F(DiskBrowse, ASongCopiedFromTheDiskIsInTheLibraryWithItsDescriptionAndPicture)
{
    makeDisk(disk.path());
    kelDisksList::setVolumeRoots({disk.path()});
    start();
    EXPECT_EQ(panel()->page.count, 0);
    clickItem(BLLoadPanel::kItemDisk);
    clickItem(BLLoadPanel::kItemCopy);
    EXPECT_EQ(controlText(BLLoadPanel::kItemStatus), "Copy completed");
    const std::string source = disk.path() + "/Library/Song/Song44/Travel";
    for (const char* f : {"Drums01.wav", "preview.wav"})
        EXPECT_EQ(readFile(song("Travel") + "/" + f), readFile(source + "/" + f)) << f;
    EXPECT_EQ(readFile(library("Bls") + "/Travel.bls"),
              readFile(disk.path() + "/Library/BLS/BLS44/Travel.bls"));
    EXPECT_EQ(readFile(library("Images") + "/DiskLib.gif"),
              readFile(disk.path() + "/Library/Images/DiskLib.gif"));
    // At home it is listed and loads.
    clickItem(BLLoadPanel::kItemDisk);
    ASSERT_EQ(entryFolders(), (std::vector<std::string>{"Travel"}));
    EXPECT_TRUE(panel()->entries[0].loadable);
    clickItem(BLLoadPanel::kItemLoad);
    EXPECT_EQ(host.loads, (std::vector<std::string>{":Library:Song:Travel:"}));
}

TEST_F(DiskBrowse, CopyingOverASongAsksFirst)
{
    makeDisk(disk.path());
    writeSong(song("Travel"), {.title = "Old"});
    writeFile(song("Travel") + "/only-old.wav", browsertest::sineWave(10, 100));
    kelDisksList::setVolumeRoots({disk.path()});
    start();
    clickItem(BLLoadPanel::kItemDisk);
    script("box no\n");
    clickItem(BLLoadPanel::kItemCopy);
    ASSERT_EQ(backend->boxes().size(), 1u);
    EXPECT_EQ(backend->boxes()[0].text, "The song \"Travel\" is already in the library. Replace it?");
    EXPECT_TRUE(fs::exists(song("Travel") + "/only-old.wav"));
    script("box yes\n");
    clickItem(BLLoadPanel::kItemCopy);
    EXPECT_FALSE(fs::exists(song("Travel") + "/only-old.wav"));
    EXPECT_TRUE(fs::exists(song("Travel") + "/preview.wav"));
    EXPECT_FALSE(fs::exists(song("Travel") + "/song.bls"));
}

TEST_F(LoadPanel, TheWebButtonOpensTheGuideInTheProgramFolderOrSaysItIsMissing)
{
    start();
    clickItem(BLLoadPanel::kItemWeb);
    const std::string guide = fs::canonical(dir.file("UserGuide.html")).string();
    EXPECT_NE(log().find("address file://" + fs::absolute(dir.file("UserGuide.html")).string()),
              std::string::npos)
        << log();
    EXPECT_NE(readFile(guide).find("hold M and press 2"), std::string::npos);  // written for musicians
    fs::remove(dir.file("UserGuide.html"));
    clickItem(BLLoadPanel::kItemWeb);
    EXPECT_NE(log().find("UserGuide.html\" is missing"), std::string::npos) << log();
}

TEST_F(LoadPanel, TheKeysAndADoubleClickMoveThroughTheListAndLoad)
{
    for (const char* name : {"Alpha", "Beta", "Gamma"})
        writeSong(song(name), {.title = name, .preview = false});
    start();
    auto key = [this](const char* name) { script(std::string("press ") + name + "\n"); };
    key("down");
    key("down");
    EXPECT_EQ(panel()->page.selection, 2);
    EXPECT_EQ(infoText(0), "Gamma");
    key("up");
    EXPECT_EQ(panel()->page.selection, 1);
    EXPECT_TRUE(host.loads.empty());  // moving plays nothing and loads nothing
    key("return");
    ASSERT_EQ(host.loads.size(), 1u);
    EXPECT_NE(host.loads[0].find("Beta"), std::string::npos);
    EXPECT_FALSE(PWScreen.isVisible(kPWLoadPanel));
    // Shown again: a double click on a song loads it.
    PWScreen.show(kPWLoadPanel);
    const kelRect r = panel()->control(BLLoadPanel::kItemFirstLine)->rect;
    const std::string at = testsupport::join((r.left + r.right) / 2, " ", (r.top + r.bottom) / 2);
    host.loads.clear();
    script("click " + at + "\nwait 60\nclick " + at + "\n");
    ASSERT_FALSE(host.loads.empty());
    EXPECT_NE(host.loads.back().find("Alpha"), std::string::npos);
    EXPECT_FALSE(PWScreen.isVisible(kPWLoadPanel));
}

TEST_F(LoadPanel, InformationLinesSayNothingEmptyAndNoWordForDevelopers)
{
    writeSong(song("Plain"), {.title = "Plain - a song", .library = ""});
    start();
    EXPECT_EQ(infoText(0), "Plain - a song");
    EXPECT_EQ(infoText(1), "Plain - a song 120 BPM");
    EXPECT_EQ(BL_ShownTitle("Riverbed - Liquid (embedded)"), "Riverbed - Liquid");
    EXPECT_EQ(BL_TempoLine("Stored (embedded)", "Lib", 90), "Stored (Lib) 90 BPM");
}

TEST_F(LoadPanel, ANewSongFromLoopsIsShownChangedCreatedAndSelectedOrLeftWithEscape)
{
    writeSong(song("Alpha"), {.title = "Alpha"});
    // Two loops of a musician's folder: 2 bars at 120 BPM, one a bass; and a file that is no sound.
    auto loops = [this](const std::string& folder) {
        for (const char* name : {"kick 120bpm.wav", "bass_120_.wav"}) {
            plat::SoundWriteSettings s;
            s.channels = 1;
            plat::SoundWriter w;
            ASSERT_TRUE(w.open(dir.file(folder + "/" + name), s));
            const std::vector<int16_t> frames(8 * 22050, 1000);
            ASSERT_TRUE(w.write(frames.data(), static_cast<long>(frames.size())));
            ASSERT_TRUE(w.finish());
        }
        writeFile(dir.file(folder + "/notes.wav"), "not a sound");
    };
    fs::create_directories(dir.file("Groovy"));
    fs::create_directories(dir.file("Dropped"));
    loops("Groovy");
    loops("Dropped");
    start();
    // The button asks for a folder; the panel lists what was found in it.
    script("dialog " + dir.file("Groovy") + "\n");
    clickItem(BLLoadPanel::kItemNewSong);
    ASSERT_TRUE(idleUntil([] { return PWScreen.isVisible(kPWMakeSongPanel); })) << log();
    EXPECT_TRUE(backend->dialogs().back().folder);
    BLMakeSongPanel* made = BLMakeSongPanel_Get();
    auto cell = [made](int16_t first, int16_t row) {
        char text[256] = {};
        made->control(static_cast<int16_t>(first + row))->getValue(text);
        return std::string(text);
    };
    using P = BLMakeSongPanel;
    EXPECT_EQ(cell(P::kItemFirstName, 1) + "|" + cell(P::kItemFirstBpm, 1) + "|" +
                  cell(P::kItemFirstBars, 1) + "|" + cell(P::kItemFirstGroup, 1) + "|" +
                  cell(P::kItemFirstHow, 1),
              " kick 120bpm|120|2|Kick|name");
    EXPECT_EQ(cell(P::kItemFirstWhy, 2), "left out: cannot be read as sound");
    EXPECT_EQ(cell(P::kItemStatus, 0), "2 loops in 2 groups at 120 BPM; 1 left out.");
    // The kick goes into the next group with 4 bars; the song gets a name and a description.
    clickControl(kPWMakeSongPanel, static_cast<int16_t>(P::kItemFirstName + 1));
    clickControl(kPWMakeSongPanel, P::kItemGroup);
    clickControl(kPWMakeSongPanel, P::kItemBars);
    EXPECT_EQ(
        cell(P::kItemFirstGroup, 1) + "|" + cell(P::kItemFirstBars, 1) + "|" + cell(P::kItemFirstHow, 1),
        "Drums|4|chosen");
    clickControl(kPWMakeSongPanel, P::kItemDescription);
    script("press M\npress i\npress n\npress e\n");
    clickControl(kPWMakeSongPanel, P::kItemName);
    script(
        "press backspace\npress backspace\npress backspace\npress backspace\npress backspace\npress "
        "backspace\n"
        "press B\npress e\npress a\npress t\npress s\npress return\n");
    ASSERT_TRUE(idleUntil([this] {
        return std::string(panel()->entries[panel()->page.selection].folder) == "Beats";
    })) << log()
        << cell(P::kItemName, 0) << "|" << cell(P::kItemDescription, 0) << "|" << cell(P::kItemStatus, 0)
        << "|" << PWScreen.isVisible(kPWMakeSongPanel) << "|" << controlText(BLLoadPanel::kItemStatus);
    EXPECT_FALSE(PWScreen.isVisible(kPWMakeSongPanel));
    EXPECT_EQ(controlText(BLLoadPanel::kItemStatus), "Made the song \"Beats\".");
    const auto info = testsupport::run({dir.program(), "--song-info", song("Beats")}, dir.path());
    ASSERT_EQ(info.exitCode, 0) << info.out;
    for (const char* line : {"title\tBeats\n", "description\tMine\n", "bpm\t120\n",
                             "\tBass01\tbass_120_\t100\t63\t4\n", "\tDrums01\tkick_120bpm\t100\t63\t2\n"})
        EXPECT_NE(info.out.find(line), std::string::npos) << line << info.out;
    // Four bars at 120 BPM: the kick is taken as a 60 BPM loop and stretched to them.
    plat::SoundReader kick;
    ASSERT_TRUE(kick.open(song("Beats/Drums01.wav")));
    EXPECT_EQ(kick.frames(), 16 * 22050);

    // A drop shows the panel too; Esc closes it and writes nothing.
    script("drop " + dir.file("Dropped") + "\n");
    ASSERT_TRUE(PWScreen.isVisible(kPWMakeSongPanel));
    script("press esc\n");
    EXPECT_FALSE(PWScreen.isVisible(kPWMakeSongPanel));
    EXPECT_FALSE(fs::exists(song("Dropped")));
    EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(library("Song")), {}).size(), 2u);
}

}  // namespace
