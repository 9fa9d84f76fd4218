// `cmake --install` into a fresh prefix gives a program that starts from its
// launcher, and the desktop files that make .bld documents open with it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <memory>
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
        const auto r = run({"cmake", "--install", testsupport::programDir(), "--prefix", prefixDir->path()}, "", 120);
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

TEST_F(Install, OwnFolderLinksTheProgramAndCopiesTheLibrary)
{
    TempDir home("installown");
    const fs::path own = fs::path(home.path()) / "beatloom";
    const auto r = run({launcher(), "--version"}, "", 120, {"BEATLOOM_OWN_FOLDER=" + own.string()});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, "Beatloom 2.0\n");
    for (const char* item : {"beatloom", "Beatloom.xrs", "Helps.txt", "UserGuide.html", "guide"}) {
        ASSERT_TRUE(fs::is_symlink(own / item)) << item;
        EXPECT_TRUE(fs::equivalent(own / item, programFolder() / item)) << item;
    }
    ASSERT_TRUE(fs::is_directory(own / "Library") && !fs::is_symlink(own / "Library"));
    EXPECT_EQ(filesBelow(own / "Library"), filesBelow(programFolder() / "Library"));
    EXPECT_FALSE(fs::exists(own / "Library.part"));

    // A second start keeps what the user added to the library.
    testsupport::writeFile((own / "Library/Song/mine.txt").string(), "kept");
    ASSERT_EQ(run({launcher(), "--version"}, "", 60, {"BEATLOOM_OWN_FOLDER=" + own.string()}).exitCode, 0);
    EXPECT_EQ(readFile((own / "Library/Song/mine.txt").string()), "kept");
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
        const auto v = run({"desktop-file-validate", (prefix() / "share/applications/beatloom.desktop").string()});
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

TEST_F(Install, IconsArePaintedAtEverySize)
{
    for (uint32_t size : {48u, 128u, 256u}) {
        const fs::path folder = prefix() / "share/icons/hicolor" / (std::to_string(size) + "x" + std::to_string(size));
        const std::string app = readFile((folder / "apps/beatloom.png").string());
        EXPECT_EQ(pngSize(app), std::make_pair(size, size));
        EXPECT_EQ(readFile((folder / "mimetypes/application-x-beatloom-document.png").string()), app);
    }
}

}  // namespace
