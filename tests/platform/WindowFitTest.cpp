// How a window shows the stage: the whole factor, the centring, the mouse
// mapped back, sizes kept to the display; and which rectangles of the
// picture a window must show again.
#include <gtest/gtest.h>

#include <vector>

#include "platform/PlatHeadless.h"
#include "platform/PlatScreen.h"
#include "platform/Platform.h"

namespace {

TEST(WindowFit, EveryMonitorGetsTheLargestWholeFactorCentred)
{
    struct Case {
        int w, h, scale, logicalW, logicalH, offsetX, offsetY;
    };
    const Case cases[] = {
        {1024, 768, 1, 1024, 768, 0, 0},   {1280, 800, 1, 1280, 800, 0, 0},  {1920, 1080, 2, 960, 540, 0, 0},
        {2560, 1440, 3, 853, 480, 0, 0},   {3840, 2160, 4, 960, 540, 0, 0},  {1301, 981, 2, 650, 490, 0, 0},
        {600, 400, 1, 600, 400, 0, 0},
    };
    for (const Case& c : cases) {
        const plat::WindowFit f = plat::fitWindow(c.w, c.h, 3840, 2160);
        EXPECT_EQ(f.scale, c.scale) << c.w << "x" << c.h;
        EXPECT_EQ(f.width, c.logicalW) << c.w;
        EXPECT_EQ(f.height, c.logicalH) << c.w;
        // What is left over is shared out on both sides.
        EXPECT_EQ(f.offsetX, (c.w - c.logicalW * c.scale) / 2) << c.w;
        EXPECT_EQ(f.offsetY, (c.h - c.logicalH * c.scale) / 2) << c.w;
    }
    // The mouse comes back in logical pixels, kept inside the client area.
    const plat::WindowFit f = plat::fitWindow(2561, 1441, 3840, 2160);
    EXPECT_EQ(f.offsetX, 1);
    EXPECT_EQ(f.toLogicalX(1), 0);
    EXPECT_EQ(f.toLogicalX(1 + 3 * 100 + 2), 100);
    EXPECT_EQ(f.toLogicalY(3 * 479), 479);
    EXPECT_EQ(f.toLogicalX(-40), 0);
    EXPECT_EQ(f.toLogicalX(100000), f.width - 1);
    // A window larger than the display shows what the display can hold.
    const plat::WindowFit huge = plat::fitWindow(100000, 100000, 1920, 1080);
    EXPECT_EQ(huge.scale, 2);
    EXPECT_EQ(huge.width, 960);
    EXPECT_EQ(huge.height, 540);
}

TEST(WindowFit, AScriptedResizeIsKeptToTheMonitor)
{
    plat::HeadlessBackend b(1920, 1080);
    ASSERT_TRUE(b.openWindow(1, 1920, 1080, "t"));
    std::string error;
    ASSERT_TRUE(b.parseScript("resize 100000 100000\nresize 1280 800\n", error)) << error;
    plat::Event e;
    std::vector<std::pair<int, int>> sizes;
    while (b.pollEvent(e))
        if (e.type == plat::Event::Type::Resize) sizes.emplace_back(e.x, e.y);
    ASSERT_EQ(sizes.size(), 3u);  // the new window's own report, then the two
    EXPECT_EQ(sizes[0], std::make_pair(960, 540));
    EXPECT_EQ(sizes[1], std::make_pair(960, 540));
    EXPECT_EQ(sizes[2], std::make_pair(1280, 800));
    int w = 0, h = 0;
    ASSERT_TRUE(b.clientSize(w, h));
    EXPECT_EQ(w, 1280);
    EXPECT_EQ(b.screen().width(), 1280);
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
            covered = covered || (d.left <= i * 30 && d.right >= i * 30 + 5 && d.top <= 200 && d.bottom >= 205);
        EXPECT_TRUE(covered) << i;
    }
}

}  // namespace
