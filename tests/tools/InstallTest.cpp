// `cmake --install` into a fresh prefix gives a program that starts from its
// launcher, and the desktop files that make .bld documents open with it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::pngSize;
using testsupport::readFile;
using testsupport::run;
using testsupport::TempDir;

namespace {

size_t filesBelow(const fs::path& folder)
{
    size_t n = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) ++n;
    return n;
}

// The value of `key` in a desktop entry's text; empty when it has none.
std::string entryValue(const std::string& text, const std::string& key)
{
    const std::string at = "\n" + key + "=";
    const size_t pos = ("\n" + text).find(at);
    if (pos == std::string::npos) return "";
    const size_t from = pos + at.size() - 1;
    const size_t end = text.find('\n', from);
    return text.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

// Every file of `folder` and below, links to files too, relative to it.
std::set<std::string> filesIn(const fs::path& folder)
{
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files.insert(entry.path().lexically_relative(folder).string());
    return files;
}

std::vector<std::string> ownFolder(const fs::path& own)
{
    return {"BEATLOOM_OWN_FOLDER=" + own.string()};
}

// The options a text names: words that begin with one or two dashes after
// a blank or an opening sign ("[--stems", "(-o or --output)").
std::set<std::string> optionsIn(const std::string& text)
{
    static const std::regex option(R"((^|[\s\[(|,])(--?[a-z][a-z0-9-]*))");
    std::set<std::string> found;
    for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it)
        found.insert((*it)[2]);
    return found;
}

// The options a man page describes: those of its items' heads, the line
// after each ".TP", with the escapes of roff taken out.
std::set<std::string> manPageItems(std::string page)
{
    page = std::regex_replace(page, std::regex(R"(\\-)"), "-");
    page = std::regex_replace(page, std::regex(R"(\\f[BIRP])"), "");
    std::set<std::string> found;
    for (size_t at = page.find(".TP\n"); at != std::string::npos; at = page.find(".TP\n", at + 1)) {
        const size_t from = at + 4, end = page.find('\n', from);
        std::string head = page.substr(from, end - from);
        head = std::regex_replace(head, std::regex(R"(^\.B[IR]? )"), " ");
        for (const std::string& o : optionsIn(std::regex_replace(head, std::regex("\""), " ")))
            found.insert(o);
    }
    return found;
}

bool onPath(const std::string& program)
{
    return run({"sh", "-c", "command -v " + program}).exitCode == 0;
}

class Install : public ::testing::Test {
protected:
    // One install serves every test: it copies the whole demo library.
    static void SetUpTestSuite()
    {
        prefixDir = std::make_unique<TempDir>("install");
        const auto r =
            run({"cmake", "--install", testsupport::programDir(), "--prefix", prefixDir->path()}, "", 120);
        installOutput = r.out;
        installCode = r.exitCode;
    }
    static void TearDownTestSuite() { prefixDir.reset(); }

    void SetUp() override { ASSERT_EQ(installCode, 0) << installOutput; }

    static fs::path prefix() { return prefixDir->path(); }
    static fs::path programFolder() { return prefix() / "lib/beatloom"; }
    static std::string launcher() { return (prefix() / "bin/beatloom").string(); }

    static std::unique_ptr<TempDir> prefixDir;
    static std::string installOutput;
    static int installCode;
};

std::unique_ptr<TempDir> Install::prefixDir;
std::string Install::installOutput;
int Install::installCode = -1;

TEST_F(Install, ProgramFolderHoldsWhatTheBuildFolderHolds)
{
    const fs::path built = testsupport::programDir();
    EXPECT_EQ(access((programFolder() / "beatloom").c_str(), X_OK), 0);
    for (const char* file : {"Beatloom.xrs", "Helps.txt", "UserGuide.html", "guide/groove.png"})
        EXPECT_EQ(readFile((programFolder() / file).string()), readFile((built / file).string())) << file;
    ASSERT_TRUE(fs::is_directory(programFolder() / "Library/Song"));
    for (const char* folder : {"Library", "guide"})
        EXPECT_EQ(filesBelow(programFolder() / folder), filesBelow(built / folder)) << folder;
    EXPECT_FALSE(fs::exists(programFolder() / "Beatloom.prf")) << "preferences are the user's, not installed";
}

TEST_F(Install, LauncherRunsTheInstalledProgram)
{
    const auto v = run({launcher(), "--version"});
    EXPECT_EQ(v.exitCode, 0) << v.out;
    EXPECT_EQ(v.out, "Beatloom 2.0\n");

    // Started through a link elsewhere, as a desktop's bin folder might hold it.
    TempDir elsewhere("launchlink");
    fs::create_symlink(launcher(), elsewhere.file("beatloom"));
    const auto linked = run({elsewhere.file("beatloom"), "--version"}, elsewhere.path());
    EXPECT_EQ(linked.exitCode, 0) << linked.out;
    EXPECT_EQ(linked.out, "Beatloom 2.0\n");
}

TEST_F(Install, InstalledProgramStartsWithItsSkinAndLibrary)
{
    TempDir work("installrun");
    const std::string shot = work.file("screen.png");
    const std::string log = work.file("log.txt");
    testsupport::writeFile(work.file("script.txt"), "wait 300\nscreenshot " + shot + "\nquit\n");
    const auto r = run({launcher(), "--script", work.file("script.txt"), "--log", log, "--screen", "800x600"},
                       work.path(), 60);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    const std::string text = readFile(log);
    EXPECT_EQ(text.find("Can't find"), std::string::npos) << text;
    EXPECT_EQ(pngSize(readFile(shot)), std::make_pair(800u, 600u)) << text;
    EXPECT_TRUE(fs::exists(programFolder() / "Beatloom.prf")) << "preferences saved beside the program";
}

TEST_F(Install, OwnFolderLinksTheProgramAndEveryFileOfTheLibrary)
{
    TempDir home("installown");
    const fs::path own = fs::path(home.path()) / "beatloom";
    const auto r = run({launcher(), "--version"}, "", 60, ownFolder(own));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, "Beatloom 2.0\n");
    for (const char* item : {"beatloom", "Beatloom.xrs", "Helps.txt", "UserGuide.html", "guide", "midi"}) {
        ASSERT_TRUE(fs::is_symlink(own / item)) << item;
        EXPECT_TRUE(fs::equivalent(own / item, programFolder() / item)) << item;
    }
    // Nothing is copied: the folders are the user's, every file a link.
    ASSERT_TRUE(fs::is_directory(own / "Library/Song") && !fs::is_symlink(own / "Library/Song"));
    const std::set<std::string> installed = filesIn(programFolder() / "Library");
    ASSERT_FALSE(installed.empty());
    EXPECT_EQ(filesIn(own / "Library"), installed);
    for (const std::string& file : installed) {
        ASSERT_TRUE(fs::is_symlink(own / "Library" / file)) << file;
        EXPECT_TRUE(fs::equivalent(own / "Library" / file, programFolder() / "Library" / file)) << file;
    }

    // A second start keeps what the user added, and a song they removed stays removed.
    const fs::path song = *fs::directory_iterator(own / "Library/Song");
    fs::remove_all(song);
    testsupport::writeFile((own / "Library/Song/mine.txt").string(), "kept");
    ASSERT_EQ(run({launcher(), "--version"}, "", 60, ownFolder(own)).exitCode, 0);
    EXPECT_EQ(readFile((own / "Library/Song/mine.txt").string()), "kept");
    EXPECT_FALSE(fs::exists(fs::symlink_status(song))) << song;
}

TEST_F(Install, ANewInstalledLibraryReachesTheUsersFolderAtTheNextStart)
{
    TempDir home("installnew");
    const fs::path own = fs::path(home.path()) / "beatloom";
    // A user of an older launcher, which copied the library, and changed one loop.
    fs::create_directories(own);
    fs::copy(programFolder() / "Library", own / "Library", fs::copy_options::recursive);
    const std::string first = *filesIn(programFolder() / "Library").begin();
    testsupport::writeFile((own / "Library" / first).string(), "the user's own");

    // The new version adds a song and takes a file away.
    const fs::path added = programFolder() / "Library/Song/Added Song";
    fs::create_directories(added);
    testsupport::writeFile((added / "loop.wav").string(), "new");
    const std::string gone = *filesIn(programFolder() / "Library").rbegin();
    const std::string goneBytes = readFile((programFolder() / "Library" / gone).string());
    fs::remove(programFolder() / "Library" / gone);
    const auto r = run({launcher(), "--version"}, "", 60, ownFolder(own));
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(fs::is_symlink(own / "Library/Song/Added Song/loop.wav"));
    EXPECT_EQ(readFile((own / "Library/Song/Added Song/loop.wav").string()), "new");
    // The copies give way to links, except the loop the user changed.
    EXPECT_FALSE(fs::is_symlink(own / "Library" / first));
    EXPECT_EQ(readFile((own / "Library" / first).string()), "the user's own");
    size_t copies = 0;
    for (const std::string& file : filesIn(own / "Library"))
        copies += !fs::is_symlink(own / "Library" / file);
    EXPECT_EQ(copies, 2u) << "the changed loop and the file the installed library lost";

    // Taken away from the installed library, the song goes from the user's.
    fs::remove_all(added);
    const auto again = run({launcher(), "--version"}, "", 60, ownFolder(own));
    testsupport::writeFile((programFolder() / "Library" / gone).string(), goneBytes);
    EXPECT_EQ(again.exitCode, 0) << again.out;
    EXPECT_FALSE(fs::exists(fs::symlink_status(own / "Library/Song/Added Song")));
    EXPECT_TRUE(fs::is_directory(own / "Library/Song"));
}

TEST_F(Install, WhatTheProgramMakesLandsInTheUsersFolder)
{
    TempDir home("installmake");
    const fs::path own = fs::path(home.path()) / "beatloom";
    const std::set<std::string> before = filesIn(programFolder());
    const fs::path demo = *fs::directory_iterator(programFolder() / "Library/Song");
    const auto made = run({launcher(), "--make-song", demo.string(), "--name", "Mine", "--yes"}, home.path(),
                          120, ownFolder(own));
    ASSERT_TRUE(made.exitCode == 0 || made.exitCode == 3) << made.out;
    EXPECT_NE(made.out.find("Made: " + (own / "Library/Song/Mine").string()), std::string::npos) << made.out;
    EXPECT_TRUE(fs::exists(own / "Library/Song/Mine/song.bls"));
    EXPECT_FALSE(fs::is_symlink(own / "Library/Song/Mine/song.bls"));
    EXPECT_EQ(filesIn(programFolder()), before) << "the installed folder is only read";
}

TEST_F(Install, MidiMapBesideTheProgramIsFoundFromAnywhere)
{
    TempDir home("installmidi");
    const fs::path own = fs::path(home.path()) / "beatloom";
    testsupport::writeFile(home.file("script.txt"), "wait 300\nquit\n");
    const auto r = run({launcher(), "--midi-map", "midi/eight-tracks.txt", "--script",
                        home.file("script.txt"), "--log", home.file("log.txt")},
                       home.path(), 60, ownFolder(own));
    EXPECT_EQ(r.exitCode, 0) << r.out;
    const std::string log = readFile(home.file("log.txt"));
    EXPECT_NE(log.find("midi map " + (own / "midi/eight-tracks.txt").string() + ": 29 bindings"),
              std::string::npos)
        << log;
}

TEST_F(Install, ReadOnlyInstallGivesEachUserAFolderOfTheirOwn)
{
    if (geteuid() == 0) GTEST_SKIP() << "every folder is writable for root";
    TempDir data("installxdg");
    fs::permissions(programFolder(), fs::perms::owner_write, fs::perm_options::remove);
    const auto r = run({launcher(), "--version"}, "", 120, {"XDG_DATA_HOME=" + data.path()});
    fs::permissions(programFolder(), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(fs::is_symlink(fs::path(data.path()) / "beatloom/beatloom"));
    EXPECT_TRUE(fs::is_directory(fs::path(data.path()) / "beatloom/Library/Song"));
}

TEST_F(Install, DesktopEntryOpensDocumentsWithTheLauncher)
{
    const std::string entry = readFile((prefix() / "share/applications/beatloom.desktop").string());
    ASSERT_FALSE(entry.empty());
    EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u);
    EXPECT_EQ(entryValue(entry, "Type"), "Application");
    EXPECT_EQ(entryValue(entry, "Name"), "Beatloom");
    EXPECT_EQ(entryValue(entry, "Exec"), "beatloom %f");
    EXPECT_TRUE(fs::exists(prefix() / "bin" / entryValue(entry, "TryExec")));
    EXPECT_EQ(entryValue(entry, "MimeType"), "application/x-beatloom-document;");
    EXPECT_EQ(entryValue(entry, "Icon"), "beatloom");
    if (onPath("desktop-file-validate")) {
        const auto v =
            run({"desktop-file-validate", (prefix() / "share/applications/beatloom.desktop").string()});
        EXPECT_EQ(v.exitCode, 0) << v.out;
    }
}

TEST_F(Install, ManPageDescribesEveryOptionTheHelpPrints)
{
    const auto help = run({launcher(), "--help"});
    ASSERT_EQ(help.exitCode, 0) << help.out;
    const std::set<std::string> printed = optionsIn(help.out);
    ASSERT_GT(printed.size(), 20u) << help.out;
    const std::string page = readFile((prefix() / "share/man/man1/beatloom.1").string());
    ASSERT_FALSE(page.empty());
    EXPECT_EQ(page.rfind(".TH BEATLOOM 1 ", 0), 0u);
    // Both ways: an option the page describes that the program no longer takes is as wrong as one left out.
    EXPECT_EQ(manPageItems(page), printed);
}

TEST_F(Install, SoftwareCentresFindTheProgram)
{
    const fs::path metainfo = prefix() / "share/metainfo/io.github.beatloom.Beatloom.metainfo.xml";
    const std::string xml = readFile(metainfo.string());
    ASSERT_FALSE(xml.empty());
    EXPECT_NE(xml.find("<launchable type=\"desktop-id\">beatloom.desktop</launchable>"), std::string::npos);
    EXPECT_TRUE(fs::exists(prefix() / "share/applications/beatloom.desktop"));
    EXPECT_NE(xml.find("<release version=\"2.0.0\""), std::string::npos)
        << "the newest release is this version";
    // Each screenshot is a picture of the guide the build made.
    const std::regex shot(R"(screenshots/([a-z]+\.png)</image>)");
    int shots = 0;
    for (std::sregex_iterator it(xml.begin(), xml.end(), shot), end; it != end; ++it, ++shots)
        EXPECT_TRUE(fs::exists(programFolder() / "guide" / (*it)[1].str())) << (*it)[1];
    EXPECT_GE(shots, 1);
    if (onPath("appstreamcli")) {
        const auto v = run({"appstreamcli", "validate", "--no-net", metainfo.string()});
        EXPECT_EQ(v.exitCode, 0) << v.out;
    }
}

TEST_F(Install, DocumentTypeMatchesBldFiles)
{
    const std::string xml = readFile((prefix() / "share/mime/packages/beatloom.xml").string());
    EXPECT_NE(xml.find("<mime-type type=\"application/x-beatloom-document\">"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<glob pattern=\"*.bld\"/>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<comment>Beatloom document</comment>"), std::string::npos) << xml;
    if (onPath("update-mime-database")) {
        // The install brought the prefix's type database up to date.
        const std::string globs = readFile((prefix() / "share/mime/globs2").string());
        EXPECT_NE(globs.find("application/x-beatloom-document:*.bld"), std::string::npos) << globs;
    }
}

TEST_F(Install, IconsArePaintedAtEverySizeAndScalable)
{
    for (uint32_t size : {48u, 128u, 256u}) {
        const fs::path folder =
            prefix() / "share/icons/hicolor" / (std::to_string(size) + "x" + std::to_string(size));
        const std::string app = readFile((folder / "apps/beatloom.png").string());
        EXPECT_EQ(pngSize(app), std::make_pair(size, size));
        EXPECT_EQ(readFile((folder / "mimetypes/application-x-beatloom-document.png").string()), app);
    }
    const std::string svg = readFile((prefix() / "share/icons/hicolor/scalable/apps/beatloom.svg").string());
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    EXPECT_NE(svg.find("width=\"256\""), std::string::npos) << svg.substr(0, 300);
    EXPECT_NE(svg.find("<linearGradient"), std::string::npos)
        << "drawn as shapes, not as a picture of pixels";
    EXPECT_EQ(
        readFile((prefix() / "share/icons/hicolor/scalable/mimetypes/application-x-beatloom-document.svg")
                     .string()),
        svg);
}

}  // namespace
