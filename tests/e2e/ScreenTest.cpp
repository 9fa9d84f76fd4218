// The real program on its real skin, driven headless: what the screen shows
// at start, and after a person closes, drags and quits.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "e2e/ScreenPictures.h"
#include "support/TestSupport.h"

namespace {

using e2e::Shot;
using e2e::SkinPictures;
using testsupport::ProgramDir;
using testsupport::readFile;
using testsupport::run;
using testsupport::writeFile;

// A 1024 x 768 window: the stage at (192, 144).
constexpr int kOriginX = 192;
constexpr int kOriginY = 144;

class Screen : public ::testing::Test {
protected:
    void SetUp() override
    {
        const kelPoint back = skin.size(e2e::kBrowserBack);
        ASSERT_GT(back.h, 0);
        browserX = kOriginX + 320 - back.h / 2;
        browserY = kOriginY + 240 - back.v / 2;
    }
    // Runs the program on a script; the log it wrote. Scripts give start-up
    // about a second: under the thread checker on a loaded machine it takes that.
    std::string runScript(const std::string& script)
    {
        writeFile(dir.file("script.txt"), script);
        const auto r = run({dir.program(), "--script", dir.file("script.txt"), "--log", dir.file("log.txt")},
                           dir.path(), 60);
        EXPECT_EQ(r.exitCode, 0) << r.out;
        return readFile(dir.file("log.txt"));
    }
    // The point (x, y) of the browser's picture shows on the screen at (sx, sy).
    void expectBrowserAt(const Shot& shot, int left, int top, int x, int y)
    {
        EXPECT_EQ(shot.at(left + x, top + y), skin.pixel(e2e::kBrowserBack, x, y))
            << "browser " << x << "," << y;
    }
    void expectGrooveAt(const Shot& shot, int x, int y, int scheme = 0)
    {
        EXPECT_EQ(shot.at(kOriginX + x, kOriginY + y), skin.pixel(e2e::kGrooveBack + scheme, x, y))
            << "groove " << x << "," << y;
    }

    ProgramDir dir;
    SkinPictures skin{testsupport::programDir() + "/Beatloom.xrs"};
    int browserX = 0, browserY = 0;
};

TEST_F(Screen, ItStartsWithTheStageCentredAndTheSongBrowserShown)
{
    const std::string log = runScript("wait 1200\nscreenshot " + dir.file("start.png") + "\nquit\n");
    Shot shot(dir.file("start.png"));
    ASSERT_TRUE(shot.ok()) << log;
    ASSERT_EQ(shot.width(), 1024);
    for (auto [x, y] : {std::pair{100, 100},
                        {kOriginX - 1, 300},
                        {kOriginX + 640, 300},
                        {500, kOriginY - 1},
                        {500, kOriginY + 480}})
        EXPECT_EQ(shot.at(x, y), 0) << "outside the stage " << x << "," << y;
    expectGrooveAt(shot, 20, 470);
    expectGrooveAt(shot, 630, 100);
    expectBrowserAt(shot, browserX, browserY, 280, 200);
    expectBrowserAt(shot, browserX, browserY, 10, 380);
    EXPECT_EQ(shot.at(browserX + e2e::kCloseX, browserY + e2e::kCloseY), skin.pixel(e2e::kCloseUp, 9, 9));
    EXPECT_EQ(shot.at(kOriginX + e2e::kQuitX, kOriginY + e2e::kQuitY), skin.pixel(e2e::kQuitUp, 10, 10));
}

TEST_F(Screen, ItsCloseButtonHidesTheBrowser)
{
    const int cx = browserX + e2e::kCloseX, cy = browserY + e2e::kCloseY;
    runScript("wait 1200\nclick " + std::to_string(cx) + " " + std::to_string(cy) +
              "\nwait 600\nscreenshot " + dir.file("closed.png") + "\nquit\n");
    Shot shot(dir.file("closed.png"));
    ASSERT_TRUE(shot.ok());
    // Where the browser was, the groove panel shows.
    const int x = browserX - kOriginX + 280, y = browserY - kOriginY + 200;
    expectGrooveAt(shot, x, y);
    EXPECT_EQ(shot.at(cx, cy), skin.pixel(e2e::kGrooveBack, cx - kOriginX, cy - kOriginY));
}

TEST_F(Screen, TheBrowserFollowsADragAndStaysOnTheStage)
{
    const int gx = browserX + 171, gy = browserY + 14;  // on its title strip, beside the title
    const std::string to = std::to_string(gx + 100) + " " + std::to_string(gy + 50);
    runScript("wait 1200\ndrag " + std::to_string(gx) + " " + std::to_string(gy) + " " + to +
              " 10\nwait 600\n" + "screenshot " + dir.file("moved.png") + "\ndrag " + to +
              " 5000 5000 10\nwait 600\nscreenshot " + dir.file("corner.png") + "\nquit\n");
    Shot moved(dir.file("moved.png"));
    ASSERT_TRUE(moved.ok());
    // Moved with the mouse as far as the stage lets it.
    const kelPoint back = skin.size(e2e::kBrowserBack);
    const int movedX = std::min(browserX + 100, kOriginX + 640 - back.h);
    const int movedY = std::min(browserY + 50, kOriginY + 480 - back.v);
    ASSERT_GT(movedX, browserX);
    expectBrowserAt(moved, movedX, movedY, 280, 200);
    expectBrowserAt(moved, movedX, movedY, 10, 380);
    // Uncovered: a point of the groove panel's ground between its transport
    // buttons and the transport text.
    expectGrooveAt(moved, 100, 69);
    // Far past the corner: held on the stage.
    Shot corner(dir.file("corner.png"));
    ASSERT_TRUE(corner.ok());
    const kelPoint size = skin.size(e2e::kBrowserBack);
    expectBrowserAt(corner, kOriginX + 640 - size.h, kOriginY + 480 - size.v, 280, 200);
    expectBrowserAt(corner, kOriginX + 640 - size.h, kOriginY + 480 - size.v, 10, 10);
    EXPECT_EQ(corner.at(1020, 700), 0);
}

TEST_F(Screen, TheQuitButtonAsksBeforeTheProgramEnds)
{
    const int qx = kOriginX + e2e::kQuitX, qy = kOriginY + e2e::kQuitY;
    // The song browser is in front at start: Escape closes it first.
    const std::string log = runScript("wait 1200\npress esc\nbox no\nclick " + std::to_string(qx) + " " +
                                      std::to_string(qy) + "\nwait 1500\nbox yes\nclick " +
                                      std::to_string(qx) + " " + std::to_string(qy) + "\nwait 3000\nquit\n");
    const auto first = log.find("Quit Beatloom?");
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_NE(log.find("-> no", first), std::string::npos);
    EXPECT_NE(log.find("Quit Beatloom?", first + 1), std::string::npos) << "asked again after No";
    EXPECT_NE(log.find("-> yes"), std::string::npos);
}

}  // namespace
