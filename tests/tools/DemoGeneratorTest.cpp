// The demo library generator: run twice, it writes the very same bytes, and
// the library stays small.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

std::string generator()
{
    return testsupport::toolsDir() + "/demolibgen";
}

// Every plain file below a folder, by its path relative to it.
std::map<std::string, uintmax_t> filesBelow(const std::string& root)
{
    std::map<std::string, uintmax_t> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (it->is_regular_file()) out[fs::relative(it->path(), root).string()] = it->file_size();
    return out;
}

}  // namespace

TEST(DemoGenerator, RunTwiceWritesTheSameBytesAndStaysSmall)
{
    testsupport::TempDir dir("demolib");
    const std::string first = dir.file("first/Library"), second = dir.file("second/Library");
    for (const std::string& out : {first, second}) {
        const testsupport::RunResult r = testsupport::run({generator(), out}, "", 600);
        ASSERT_EQ(r.exitCode, 0) << r.out;
    }
    const std::map<std::string, uintmax_t> a = filesBelow(first), b = filesBelow(second);
    ASSERT_GT(a.size(), 200u);
    ASSERT_EQ(a.size(), b.size());
    uintmax_t total = 0;
    for (const auto& [path, size] : a) {
        total += size;
        auto it = b.find(path);
        ASSERT_NE(it, b.end()) << path;
        ASSERT_EQ(it->second, size) << path;
        EXPECT_TRUE(testsupport::readFile(first + "/" + path) == testsupport::readFile(second + "/" + path))
            << path;
    }
    EXPECT_LT(total, 100u * 1000u * 1000u);
}

TEST(DemoGenerator, KeepsTheUsersLoopsAndDropsWhatItNoLongerWrites)
{
    testsupport::TempDir dir("demolib");
    const std::string lib = dir.file("Library");
    const std::string song = lib + "/Song/NightShift";
    fs::create_directories(song + "/User");
    ASSERT_TRUE(testsupport::writeFile(song + "/User/mine.wav", "recorded"));
    ASSERT_TRUE(testsupport::writeFile(song + "/Drums99.wav", "left by an older generator"));
    const testsupport::RunResult r = testsupport::run({generator(), lib, "NightShift"}, "", 600);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(testsupport::readFile(song + "/User/mine.wav"), "recorded");
    EXPECT_FALSE(fs::exists(song + "/Drums99.wav"));
    EXPECT_TRUE(fs::exists(song + "/Drums01.wav"));
}

TEST(DemoGenerator, RefusesAMissingFolderOrAnUnknownName)
{
    const testsupport::RunResult none = testsupport::run({generator()});
    EXPECT_NE(none.exitCode, 0);
    EXPECT_NE(none.out.find("usage"), std::string::npos) << none.out;
    testsupport::TempDir dir("demolib");
    const testsupport::RunResult unknown = testsupport::run({generator(), dir.file("Library"), "NoSuchSong"});
    EXPECT_NE(unknown.exitCode, 0);
    EXPECT_NE(unknown.out.find("no such"), std::string::npos) << unknown.out;
}
