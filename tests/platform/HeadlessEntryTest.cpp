// Text entries without a display: answered in order from the script's
// `entry` lines and from the test's own queue, each logged; one unanswered
// is cancelled, as a person who closes the box.
#include <gtest/gtest.h>

#include <string>

#include "platform/PlatHeadless.h"
#include "support/TestSupport.h"

namespace {

TEST(HeadlessEntry, ScriptLinesAndTheQueueAnswerInOrderAndTheLogSaysSo)
{
    testsupport::TempDir dir("entry");
    plat::HeadlessBackend b;
    b.setLogFile(dir.file("log"));
    std::string error;
    EXPECT_FALSE(b.parseScript("entry\n", error));
    EXPECT_NE(error.find("entry needs"), std::string::npos) << error;
    ASSERT_TRUE(b.parseScript("entry Night jam \u2014 2\nentry cancel\n", error)) << error;
    ASSERT_TRUE(b.openWindow(1, 640, 480, "t"));
    plat::Event e;
    for (int i = 0; i < 200 && b.pending() > 0; ++i) {
        while (b.pollEvent(e)) {
        }
        plat::sleepMs(5);
    }
    ASSERT_EQ(b.pending(), 0u) << "the script's lines have run";

    const plat::TextEntryRequest request{"Rename the take", "The new name of Take 1:", "Take 1"};
    std::string text;
    EXPECT_EQ(b.textEntry(request, text), plat::EntryAnswer::ok);
    EXPECT_EQ(text, "Night jam \u2014 2");
    text = "kept";
    EXPECT_EQ(b.textEntry(request, text), plat::EntryAnswer::cancelled);
    EXPECT_EQ(b.textEntry(request, text), plat::EntryAnswer::cancelled) << "nothing left to answer";
    EXPECT_EQ(text, "kept");
    b.queueEntryAnswer(std::string("  spaced "));
    EXPECT_EQ(b.textEntry(request, text), plat::EntryAnswer::ok);
    EXPECT_EQ(text, "  spaced ") << "the backend gives it as typed";

    ASSERT_EQ(b.entries().size(), 4u);
    EXPECT_EQ(b.entries()[0].initial, "Take 1");
    EXPECT_EQ(testsupport::readFile(dir.file("log")),
              "entry [Rename the take] Take 1 -> Night jam \u2014 2\n"
              "entry [Rename the take] Take 1 -> cancel\n"
              "entry [Rename the take] Take 1 -> cancel\n"
              "entry [Rename the take] Take 1 ->   spaced \n");
}

}  // namespace
