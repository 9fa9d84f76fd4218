// What a script waits for besides time: a file that grows (a capture of
// sound) and, before it quits, a file dialog the program has under way.
#include <gtest/gtest.h>

#include "platform/PlatHeadless.h"
#include "support/TestSupport.h"

namespace {

using T = plat::Event::Type;

TEST(ScriptGates, WaitsizeHoldsTheScriptAndQuitWaitsForTheDialogButTheProgramsOwnMessagesPass)
{
    testsupport::TempDir dir("gates");
    const std::string capture = dir.file("capture.raw");
    plat::HeadlessBackend b;
    bool busy = true;
    b.setBusyCheck([&] { return busy; });
    std::string error;
    ASSERT_TRUE(b.parseScript("waitsize 10 " + capture + "\npress a\nquit\n", error)) << error;
    ASSERT_TRUE(b.openWindow(1, 640, 480, "t"));
    plat::Event e;
    // Script lines read one after another are a millisecond or so apart.
    auto next = [&] {
        for (int i = 0; i < 200; ++i) {
            if (b.pollEvent(e)) return true;
            plat::sleepMs(5);
        }
        return false;
    };
    while (b.pollEvent(e)) ASSERT_NE(e.type, T::KeyDown);  // the window's own report only

    testsupport::writeFile(capture, "12345");
    int dialogAnswer = 0;
    b.postDialogDone(&dialogAnswer);
    ASSERT_TRUE(b.pollEvent(e));
    EXPECT_EQ(e.type, T::DialogDone) << "passes the waiting script";
    EXPECT_FALSE(b.pollEvent(e)) << "five bytes are not ten";

    testsupport::writeFile(capture, "1234567890");
    ASSERT_TRUE(next());
    EXPECT_EQ(e.type, T::KeyDown);
    ASSERT_TRUE(next());
    EXPECT_EQ(e.type, T::KeyUp);
    plat::sleepMs(50);  // the quit is due by now
    EXPECT_FALSE(b.pollEvent(e)) << "no quit while a dialog is under way";
    b.postDialogDone(&dialogAnswer);
    ASSERT_TRUE(b.pollEvent(e));
    EXPECT_EQ(e.type, T::DialogDone) << "its answer comes before the quit";
    EXPECT_FALSE(b.pollEvent(e));
    busy = false;
    ASSERT_TRUE(next());
    EXPECT_EQ(e.type, T::Terminate);

    // A quit also reaches a loop that polls only input (an open menu).
    ASSERT_TRUE(b.parseScript("quit\n", error)) << error;
    bool quit = false;
    for (int i = 0; i < 200 && !quit; ++i) {
        quit = b.pollInputEvent(e) && e.type == T::Terminate;
        plat::sleepMs(5);
    }
    EXPECT_TRUE(quit);
}

}  // namespace
