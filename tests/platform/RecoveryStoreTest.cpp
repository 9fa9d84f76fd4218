// Recovery files: one instance never takes another's while it runs; a file
// left by an instance that ended is found once, and kept aside when discarded.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/PlatRecovery.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

TEST(RecoveryStore, AnInstancesFileIsTakenOnlyOnceItEndedAndDiscardKeepsItAside)
{
    testsupport::TempDir state("state");
    const std::string before = std::getenv("XDG_STATE_HOME") ? std::getenv("XDG_STATE_HOME") : "";
    setenv("XDG_STATE_HOME", state.path().c_str(), 1);
    const std::vector<uint8_t> work{'w', 'o', 'r', 'k'};

    auto crashed = std::make_unique<plat::RecoveryStore>();
    ASSERT_TRUE(crashed->write(work));
    plat::RecoveryStore running;
    ASSERT_TRUE(running.write({'m', 'i', 'n', 'e'}));
    plat::RecoveryStore later, another;
    EXPECT_TRUE(later.leftBehind().empty()) << "both instances run";

    const std::string left = crashed->path();
    crashed.reset();  // ended without a word, as a killed process does
    const auto found = later.leftBehind();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].path, left);
    std::vector<uint8_t> read;
    ASSERT_TRUE(later.read(found[0], read));
    EXPECT_EQ(read, work);
    EXPECT_TRUE(another.leftBehind().empty()) << "taken by the instance that found it";

    later.discard(found[0]);
    EXPECT_FALSE(fs::exists(left));
    EXPECT_EQ(testsupport::readFile(left + ".discarded"), "work");
    EXPECT_TRUE(another.leftBehind().empty());

    // A clean end leaves neither its file nor its lock.
    running.close();
    int files = 0;
    for (const auto& e : fs::directory_iterator(plat::RecoveryStore::folder()))
        files += e.path().extension() != ".discarded";
    EXPECT_EQ(files, 0);
    setenv("XDG_STATE_HOME", before.c_str(), 1);
}

}  // namespace
