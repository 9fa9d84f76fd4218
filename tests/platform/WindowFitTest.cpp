// How a window shows the stage: the scale that fits, the centring, the
// mouse mapped back, sizes kept to the display; and which rectangles of the
// picture a window must show again.
#include <gtest/gtest.h>

#include <vector>

#include "platform/PlatHeadless.h"
#include "platform/PlatScreen.h"
#include "platform/Platform.h"

namespace {

TEST(WindowFit, EveryWindowGetsTheLargestScaleThatFitsCentred)
{
    struct Case {
        int w, h, size, num, den, logicalW, logicalH;
    };
    const Case cases[] = {
        {1280, 800, plat::kStageFit, 5, 3, 768, 480},
        {1366, 768, plat::kStageFit, 8, 5, 853, 480},
        {1920, 1080, plat::kStageFit, 9, 4, 853, 480},
        {2560, 1440, plat::kStageFit, 3, 1, 853, 480},
        {1024, 768, plat::kStageFit, 8, 5, 640, 480},
        {800, 1000, plat::kStageFit, 5, 4, 640, 800},
        {600, 400, plat::kStageFit, 1, 1, 600, 400},  // never below the stage's own size
        {1920, 1080, 100, 1, 1, 1920, 1080},
        {1280, 800, 150, 3, 2, 853, 533},
        {1280, 800, 300, 5, 3, 768, 480},         // taken down to what fits
        {100000, 100000, 200, 2, 1, 1920, 1080},  // a window kept to the display
    };
    for (const Case& c : cases) {
        const plat::WindowFit f = plat::fitWindow(c.w, c.h, 3840, 2160, c.size);
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " size " + std::to_string(c.size));
        EXPECT_EQ(f.num, c.num);
        EXPECT_EQ(f.den, c.den);
        EXPECT_EQ(f.width, c.logicalW);
        EXPECT_EQ(f.height, c.logicalH);
        // What is left over is shared out on both sides.
        const double s = f.scale();
        EXPECT_NEAR(f.offsetX, (f.windowWidth - c.logicalW * s) / 2, 1.0);
        EXPECT_NEAR(f.offsetY, (f.windowHeight - c.logicalH * s) / 2, 1.0);
    }
    // Ctrl+Plus and Ctrl+Minus step from what is shown; Ctrl+0 fits.
    EXPECT_EQ(plat::stepStageSize(500.0 / 3, 1), 200);
    EXPECT_EQ(plat::stepStageSize(500.0 / 3, -1), 150);
    EXPECT_EQ(plat::stepStageSize(150, 1), 200);
    EXPECT_EQ(plat::stepStageSize(100, -1), 100);
    EXPECT_EQ(plat::stepStageSize(300, 1), 300);
    EXPECT_EQ(plat::stepStageSize(225, 0), plat::kStageFit);
}

// A picture whose columns alternate black and red, rows black and green.
plat::ScreenCopy checkerboard(int width, int height)
{
    std::vector<uint16_t> bottomUp(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bottomUp[static_cast<size_t>(height - 1 - y) * width + x] =
                static_cast<uint16_t>((x % 2 ? 31 << 10 : 0) | (y % 2 ? 31 << 5 : 0));
    plat::ScreenCopy copy;
    copy.resize(width, height);
    copy.update(bottomUp.data(), width * 2, width, height, 0, 0, width, height);
    return copy;
}

// ctest-labels: slow
TEST(WindowFit, EveryWindowPixelOfAScaledStagePixelMapsBackToItAndShowsIt)
{
    std::vector<std::pair<int, int>> windows;
    for (int w = 640; w <= 3000; w += 13) windows.emplace_back(w, 4000);  // the width limits
    for (int h = 480; h <= 2200; h += 17) windows.emplace_back(4000, h);  // the height limits
    std::vector<uint32_t> lut(32768);
    for (unsigned p = 0; p < 32768; ++p)
        lut[p] = (p >> 10 & 31 ? 0xFF0000u : 0) | (p >> 5 & 31 ? 0xFF00u : 0);
    for (const auto& window : windows) {
        // Named apart: the checks' lambdas below take them by reference.
        const int w = window.first, h = window.second;
        const plat::WindowFit f = plat::fitWindow(w, h, 8000, 8000);
        const double s = double(f.num) / f.den;
        const plat::ScreenCopy picture = checkerboard(f.width, f.height);
        plat::ScaledPicture shown;
        shown.setFit(f);
        // One row and one column of the window, through the middle.
        const int midX = f.toWindowX(f.width / 2), midY = f.toWindowY(f.height / 2);
        std::vector<uint32_t> row(static_cast<size_t>(f.windowWidth)),
            column(static_cast<size_t>(f.windowHeight));
        shown.draw(picture, {0, midY, f.windowWidth, midY + 1}, row.data(), row.size(), lut.data(), 0);
        shown.draw(picture, {midX, 0, midX + 1, f.windowHeight}, column.data(), 1, lut.data(), 0);
        auto check = [&](int length, int offset, int logical, auto map, const std::vector<uint32_t>& line,
                         int shift) {
            int covered = 0;
            for (int x = 0; x < length; ++x) {
                // The stage pixel p whose scaled square [p s, (p + 1) s) holds
                // this pixel's centre, in whole numbers.
                const long twice = (2L * (x - offset) + 1) * f.den;  // 2 (x + 1/2) den
                if (twice < 0 || twice >= 2L * logical * f.num) continue;
                int p = static_cast<int>(twice / (2.0 * f.num)) - 1;
                while (2L * (p + 1) * f.num <= twice) ++p;
                ASSERT_EQ(map(x), p) << w << "x" << h << " at " << x;
                // And the picture there is at least half that stage pixel's.
                const uint32_t level = line[static_cast<size_t>(x)] >> shift & 255;
                ASSERT_TRUE(p % 2 ? level >= 127 : level <= 128)
                    << w << "x" << h << " at " << x << ": " << level;
                ++covered;
            }
            EXPECT_NEAR(covered, logical * s, 1.0) << w << "x" << h;
        };
        check(
            f.windowWidth, f.offsetX, f.width, [&](int x) { return f.toLogicalX(x); }, row, 16);
        check(
            f.windowHeight, f.offsetY, f.height, [&](int y) { return f.toLogicalY(y); }, column, 8);
        // The stage fills the window's width or height, whichever limits it.
        EXPECT_GE(std::max(640 * s / f.windowWidth, 480 * s / f.windowHeight), 0.995) << w << "x" << h;
    }
}

TEST(WindowFit, AStageSizeAskedGrowsTheWindowWhereTheMonitorAllows)
{
    plat::HeadlessBackend b(1920, 1080);
    b.setDefaultStageSize(plat::kStageFit);
    b.setClientSize(1280, 800);
    ASSERT_TRUE(b.openWindow(1, 1280, 800, "t"));
    std::string error;
    ASSERT_TRUE(b.parseScript("resize 100000 100000\nresize 1280 800\n", error)) << error;
    plat::Event e;
    std::vector<std::pair<int, int>> sizes;
    auto drain = [&] {
        while (b.pollEvent(e))
            if (e.type == plat::Event::Type::Resize) sizes.emplace_back(e.x, e.y);
    };
    drain();
    ASSERT_EQ(sizes.size(), 3u);  // the new window's own report, then the two
    EXPECT_EQ(sizes[0], std::make_pair(768, 480));
    EXPECT_EQ(sizes[1], std::make_pair(853, 480));  // kept to the monitor, 1920 x 1080
    EXPECT_EQ(sizes[2], std::make_pair(768, 480));
    b.setStageSize(150);  // fits: the window stays
    b.setStageSize(300);  // grows to the monitor, and shows what fits there
    sizes.clear();
    drain();
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0], std::make_pair(853, 533));
    EXPECT_EQ(sizes[1], std::make_pair(853, 480));
    EXPECT_EQ(b.windowFit().windowWidth, 1920);
    EXPECT_DOUBLE_EQ(b.windowFit().scale(), 2.25);
    int w = 0, h = 0;
    ASSERT_TRUE(b.clientSize(w, h));
    EXPECT_EQ(w, 853);
    EXPECT_EQ(b.screen().width(), 853);
}

TEST(DirtyRects, OnlyChangedPixelsAreShownAgainAndFarRectanglesStayApart)
{
    plat::ScreenCopy copy;
    copy.resize(100, 50);
    std::vector<uint16_t> picture(100 * 50, 0);  // bottom-up rows, as the screen image keeps them
    auto at = [&](int x, int y) -> uint16_t& { return picture[static_cast<size_t>(49 - y) * 100 + x]; };
    EXPECT_TRUE(copy.update(picture.data(), 200, 100, 50, 0, 0, 100, 50).empty());  // nothing changed
    at(10, 5) = 0x7FFF;
    at(12, 7) = 0x001F;
    const plat::PixelRect r = copy.update(picture.data(), 200, 100, 50, 0, 0, 100, 50);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 5);
    EXPECT_EQ(r.right, 13);
    EXPECT_EQ(r.bottom, 8);
    EXPECT_TRUE(copy.update(picture.data(), 200, 100, 50, 0, 0, 100, 50).empty());

    plat::DirtyRects dirty;
    dirty.add({0, 0, 10, 10});
    dirty.add({50, 0, 60, 10});
    dirty.add({5, 5, 20, 20});  // touches the first: they become one
    ASSERT_EQ(dirty.rects().size(), 2u);
    long area = 0;
    for (const plat::PixelRect& d : dirty.rects()) area += d.area();
    EXPECT_EQ(area, 20 * 20 + 10 * 10);
    for (int i = 0; i < 40; ++i) dirty.add({i * 30, 200, i * 30 + 5, 205});
    EXPECT_LE(dirty.rects().size(), plat::DirtyRects::kMax);
    for (int i = 0; i < 40; ++i) {
        bool covered = false;
        for (const plat::PixelRect& d : dirty.rects())
            covered =
                covered || (d.left <= i * 30 && d.right >= i * 30 + 5 && d.top <= 200 && d.bottom >= 205);
        EXPECT_TRUE(covered) << i;
    }
}

}  // namespace

TEST(WindowFit, AScriptsWheelComesAtTheStagesPlaceUnderThePointerWithItsNotches)
{
    plat::HeadlessBackend b(1920, 1080);
    b.setDefaultStageSize(plat::kStageFit);
    b.setClientSize(1280, 960);
    ASSERT_TRUE(b.openWindow(1, 1280, 960, "t"));
    std::string error;
    EXPECT_FALSE(b.parseScript("wheel 10 10 0\n", error));
    EXPECT_FALSE(b.parseScript("wheel 10 10\n", error));
    ASSERT_TRUE(b.parseScript("wheel 640 480 3\nwheel 2 4 -1\n", error)) << error;
    std::vector<plat::Event> wheels;
    plat::Event e;
    while (b.pollEvent(e))
        if (e.type == plat::Event::Type::MouseWheel) wheels.push_back(e);
    ASSERT_EQ(wheels.size(), 2u);
    // The stage is shown twice its size: window pixels halve.
    EXPECT_EQ(wheels[0].x, 320);
    EXPECT_EQ(wheels[0].y, 240);
    EXPECT_EQ(wheels[0].wheel, 3);
    EXPECT_EQ(wheels[1].x, 1);
    EXPECT_EQ(wheels[1].y, 2);
    EXPECT_EQ(wheels[1].wheel, -1);
}
