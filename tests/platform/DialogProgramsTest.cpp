// File dialogs go through the desktop's own programs; without any, the
// dialog is cancelled and the reason is told once.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "platform/PlatDialogs.h"
#include "support/TestSupport.h"

namespace {

class PathSwap {
public:
    explicit PathSwap(const std::string& path)
    {
        const char* old = std::getenv("PATH");
        saved_ = old ? old : "";
        setenv("PATH", path.c_str(), 1);
    }
    ~PathSwap() { setenv("PATH", saved_.c_str(), 1); }

private:
    std::string saved_;
};

TEST(DialogPrograms, NoDialogProgramCancelsWithAClearReason)
{
    testsupport::TempDir empty("nopath");
    PathSwap swap(empty.path());
    EXPECT_FALSE(plat::programExists("zenity"));
    plat::FileDialogRequest request;
    request.patterns = "*.bld";
    std::string chosen = "unchanged";
    EXPECT_FALSE(plat::runExternalFileDialog(request, chosen));
    EXPECT_EQ(chosen, "unchanged");
    EXPECT_NE(plat::lastDialogProblem().find("zenity"), std::string::npos);
}

TEST(DialogPrograms, TheChosenFileComesFromTheProgramsOutput)
{
    // A stand-in for zenity that answers like it: the path on one line.
    testsupport::TempDir bin("fakebin");
    const std::string fake = bin.file("zenity");
    ASSERT_TRUE(testsupport::writeFile(
        fake, "#!/bin/sh\necho \"$@\" > \"$(dirname \"$0\")/args\"\necho /home/me/groove.bld\n"));
    ASSERT_EQ(chmod(fake.c_str(), 0755), 0);
    PathSwap swap(bin.path() + ":/usr/bin:/bin");
    plat::FileDialogRequest request;
    request.save = true;
    request.initialFolder = "/home/me";
    request.initialName = "old.bld";
    request.patterns = "*.bld;*.BLD";
    std::string chosen;
    ASSERT_TRUE(plat::runExternalFileDialog(request, chosen));
    EXPECT_EQ(chosen, "/home/me/groove.bld");
    const std::string args = testsupport::readFile(bin.file("args"));
    EXPECT_NE(args.find("--save"), std::string::npos) << args;
    EXPECT_NE(args.find("--filename=/home/me/old.bld"), std::string::npos) << args;
    EXPECT_NE(args.find("--file-filter=*.bld *.BLD"), std::string::npos) << args;
}

TEST(DialogPrograms, ACancelledProgramGivesNoFile)
{
    testsupport::TempDir bin("fakebin");
    const std::string fake = bin.file("zenity");
    ASSERT_TRUE(testsupport::writeFile(fake, "#!/bin/sh\nexit 1\n"));
    ASSERT_EQ(chmod(fake.c_str(), 0755), 0);
    PathSwap swap(bin.path() + ":/usr/bin:/bin");
    std::string chosen;
    EXPECT_FALSE(plat::runExternalFileDialog(plat::FileDialogRequest{}, chosen));
    EXPECT_TRUE(chosen.empty());
}

}  // namespace
