// File dialogs and text entries go through the desktop's own programs;
// without any, the dialog is cancelled and the reason is told once.
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

// The new name comes from what zenity prints; the old one is offered to
// edit, the prompt shown as written (zenity's label would read '_' and '\\'),
// a name starting with '-' stays a value. Cancel (exit 1) gives no text.
TEST(DialogPrograms, ATextEntryOffersTheOldNameAndGivesWhatWasTyped)
{
    testsupport::TempDir bin("fakebin");
    const std::string fake = bin.file("zenity");
    ASSERT_TRUE(testsupport::writeFile(fake,
                                       "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname "
                                       "\"$0\")/args\"\n[ -e \"$(dirname \"$0\")/cancel\" ] && exit 1\n"
                                       "echo 'Night jam \u2014 2'\n"));
    ASSERT_EQ(chmod(fake.c_str(), 0755), 0);
    PathSwap swap(bin.path() + ":/usr/bin:/bin");
    EXPECT_EQ(plat::textEntryProgram(), "zenity");
    plat::TextEntryRequest request{"Rename the take", "The new name of my_take\\1:", "-Take 1"};
    std::string text;
    ASSERT_EQ(plat::runExternalTextEntry(request, text), plat::EntryAnswer::ok);
    EXPECT_EQ(text, "Night jam \u2014 2") << "the line's end is not part of it";
    EXPECT_EQ(
        testsupport::readFile(bin.file("args")),
        "--entry\n--title=Rename the take\n--text=The new name of my__take\\\\1:\n--entry-text=-Take 1\n");

    ASSERT_TRUE(testsupport::writeFile(bin.file("cancel"), ""));
    text = "unchanged";
    EXPECT_EQ(plat::runExternalTextEntry(request, text), plat::EntryAnswer::cancelled);
    EXPECT_EQ(text, "unchanged");

    const std::vector<std::string> kde = plat::textEntryArguments("kdialog", request);
    EXPECT_EQ(kde, (std::vector<std::string>{"--title", "Rename the take", "--inputbox",
                                             "The new name of my_take\\1:", "-Take 1"}));
}

TEST(DialogPrograms, NoTextEntryProgramIsUnavailableWithAClearReason)
{
    testsupport::TempDir empty("nopath");
    PathSwap swap(empty.path());
    std::string text = "unchanged";
    EXPECT_EQ(plat::runExternalTextEntry(plat::TextEntryRequest{}, text), plat::EntryAnswer::unavailable);
    EXPECT_EQ(text, "unchanged");
    EXPECT_NE(plat::lastDialogProblem().find("text entry"), std::string::npos);
}

}  // namespace
