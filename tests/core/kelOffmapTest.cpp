#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "core/kelOffmap.h"
#include "platform/PlatHeadless.h"

namespace {

constexpr int16_t kWhite = 0x7FFF;
constexpr int16_t kBlack = 0;

int16_t rgb(int r, int g, int b)
{
    return static_cast<int16_t>((r << 10) | (g << 5) | b);
}
int red(int p)
{
    return (p >> 10) & 31;
}
int green(int p)
{
    return (p >> 5) & 31;
}
int blue(int p)
{
    return p & 31;
}

void paint(kelOffmap& image, int16_t colour)
{
    for (int y = 0; y < image.size.v; ++y)
        for (int x = 0; x < image.size.h; ++x)
            image.setPixel(static_cast<int16_t>(x), static_cast<int16_t>(y), colour);
}

std::unique_ptr<kelOffmap> image(int16_t depth, int w, int h, int16_t colour)
{
    auto m = std::make_unique<kelOffmap>();
    EXPECT_TRUE(m->allocate(depth, static_cast<int16_t>(w), static_cast<int16_t>(h), -1));
    paint(*m, colour);
    return m;
}

// A 1 x 1 operation: destination d, source s, mask value under `op`.
int16_t onePixel(int16_t d, int16_t s, int16_t maskDepth, int16_t maskValue,
                 const std::function<void(kelOffmap&, kelOffmap&, kelOffmap&, kelRect&)>& op)
{
    auto dest = image(kelDepth16, 1, 1, d);
    auto source = image(kelDepth16, 1, 1, s);
    auto mask = image(maskDepth, 1, 1, maskValue);
    kelRect r(0, 0, 1, 1);
    op(*dest, *source, *mask, r);
    return dest->getPixel(0, 0);
}

int16_t masked(int16_t d, int16_t s, int16_t maskDepth, int16_t m)
{
    return onePixel(d, s, maskDepth, m, [](kelOffmap& dst, kelOffmap& src, kelOffmap& mask, kelRect& r) {
        dst.copyMask(&src, &r, &mask, &r, &r);
    });
}

int16_t maskBlended(int16_t d, int16_t s, int16_t maskDepth, int16_t m, int16_t level)
{
    return onePixel(d, s, maskDepth, m, [level](kelOffmap& dst, kelOffmap& src, kelOffmap& mask, kelRect& r) {
        dst.copyMaskBlend(&src, &r, &mask, &r, &r, level);
    });
}

int16_t blended(int16_t d, int16_t s, int16_t level)
{
    return onePixel(d, s, kelDepth16, 0, [level](kelOffmap& dst, kelOffmap& src, kelOffmap&, kelRect& r) {
        dst.copyBlend(&src, &r, &r, level);
    });
}

uint32_t le32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

TEST(kelOffmap, AllocateComputesPaddedRowsAndDescription)
{
    kelOffmap m;
    ASSERT_TRUE(m.allocate(kelDepth16, 13, 2, -1));
    EXPECT_EQ(m.rowBytes, 32);  // 13 pixels padded to 16, 2 bytes each
    EXPECT_EQ(m.dataSize, 64);
    EXPECT_EQ(m.bounds, kelRect(0, 0, 13, 2));
    EXPECT_EQ(m.bitmapInfoSize(), 40);
    EXPECT_EQ(le32(m.bitmapInfo), 40u);
    EXPECT_EQ(le32(m.bitmapInfo + 4), 13u);
    EXPECT_EQ(le32(m.bitmapInfo + 8), 2u);
    EXPECT_EQ(m.bitmapInfo[12], 1);   // one plane
    EXPECT_EQ(m.bitmapInfo[14], 16);  // bits per pixel
    EXPECT_EQ(le32(m.bitmapInfo + 32), 0u);

    ASSERT_TRUE(m.allocate(kelDepthMask, 9, 3, -1));
    EXPECT_EQ(m.rowBytes, 16);
    EXPECT_EQ(m.bitmapInfoSize(), 1064);
    EXPECT_EQ(m.bitmapInfo[14], 8);
    EXPECT_EQ(le32(m.bitmapInfo + 32), 256u);  // colours used

    ASSERT_TRUE(m.allocate(kelDepth32, 8, 1, -1));
    EXPECT_EQ(m.rowBytes, 32);
    ASSERT_TRUE(m.allocate(kelDepth8, 8, 1, 100));  // a stride given is kept
    EXPECT_EQ(m.rowBytes, 100);
    EXPECT_EQ(kelOffmapDefaultDepth, kelDepth16);
}

TEST(kelOffmap, AllocateRefusesStridesThatCannotHoldARow)
{
    kelOffmap m;
    EXPECT_FALSE(m.allocate(kelDepth16, 10, 2, 18));  // shorter than a row
    EXPECT_FALSE(m.pixels);
    EXPECT_FALSE(m.allocate(kelDepth16, 10, 2, 21));  // half a pixel
    EXPECT_FALSE(m.allocate(kelDepth16, -1, 2, -1));
    EXPECT_FALSE(m.allocate(4, 10, 2, -1));
    EXPECT_FALSE(m.allocate(kelDepth32, 10000, 1, -1));  // row beyond 16-bit size
    EXPECT_EQ(m.getPixel(0, 0), 0);
    m.setPixel(0, 0, 5);  // harmless without a buffer
}

TEST(kelOffmap, RowsAreStoredBottomUp)
{
    kelOffmap m;
    ASSERT_TRUE(m.allocate(kelDepth16, 3, 4, -1));
    m.setPixel(0, 0, rgb(1, 2, 3));
    m.setPixel(2, 3, rgb(4, 5, 6));
    const auto* mem = reinterpret_cast<const uint16_t*>(m.pixels);
    const int perRow = m.rowBytes / 2;
    EXPECT_EQ(mem[3 * perRow], rgb(1, 2, 3));  // top row is the last in memory
    EXPECT_EQ(mem[2], rgb(4, 5, 6));           // bottom row is the first

    m.setPixel(1, 1, static_cast<int16_t>(0xFFFF));
    EXPECT_EQ(m.getPixel(1, 1), 0x7FFF);  // bit 15 carries no colour
    EXPECT_EQ(mem[2 * perRow + 1], 0xFFFF);
}

TEST(kelOffmap, PixelAccessOutsideTheImageTouchesNothing)
{
    kelOffmap m;
    ASSERT_TRUE(m.allocate(kelDepth16, 4, 4, -1));
    std::vector<uint8_t> before(m.pixels, m.pixels + m.dataSize);
    for (auto [x, y] : {std::pair{-1, 0}, {4, 0}, {0, -1}, {0, 4}, {-32768, 32767}}) {
        m.setPixel(static_cast<int16_t>(x), static_cast<int16_t>(y), kWhite);
        EXPECT_EQ(m.getPixel(static_cast<int16_t>(x), static_cast<int16_t>(y)), 0);
    }
    EXPECT_EQ(std::vector<uint8_t>(m.pixels, m.pixels + m.dataSize), before);
}

TEST(kelOffmap, BlendLevels)
{
    // Level 128: w = 15; white over black keeps 15/32 of the source.
    EXPECT_EQ(blended(kBlack, kWhite, 128), rgb(14, 14, 14));
    EXPECT_EQ(blended(kWhite, kBlack, 128), rgb(15, 15, 15));
    // Each part is shifted on its own: 16 x 1 / 32 + 15 x 31 / 32 = 0 + 14.
    EXPECT_EQ(blended(rgb(1, 1, 1), kWhite, 128), rgb(14, 14, 14));
    // Level 256: w = 31, so white over black reaches 30, not 31.
    EXPECT_EQ(blended(kBlack, kWhite, 256), rgb(30, 30, 30));
    // Level 0 scales the destination by 31/32; level 255 gives w = 30.
    EXPECT_EQ(blended(kWhite, kBlack, 0), rgb(30, 30, 30));
    EXPECT_EQ(blended(kBlack, kWhite, 255), rgb(29, 29, 29));
}

TEST(kelOffmap, SixteenBitMaskIsPerChannelOpacity)
{
    const int16_t d = rgb(3, 7, 11), s = rgb(29, 17, 5);
    EXPECT_EQ(masked(d, s, kelDepth16, kWhite), s);
    EXPECT_EQ(masked(d, s, kelDepth16, 0), d);
    EXPECT_EQ(masked(d, s, kelDepth16, static_cast<int16_t>(0x8000)), d);  // bit 15 is not a mask value
    // Red 31 only: red from the source, green and blue from the destination,
    // each at 31/32 strength (the shifts divide by 32).
    const int16_t redOnly = masked(kBlack, kWhite, kelDepth16, 0x7C00);
    EXPECT_EQ(red(redOnly), (31 * 31) >> 5);
    EXPECT_EQ(green(redOnly), 0);
    EXPECT_EQ(blue(redOnly), 0);
    EXPECT_EQ(masked(kWhite, kBlack, kelDepth16, 0x7C00), rgb(0, 30, 30));
    EXPECT_EQ(masked(rgb(5, 9, 17), rgb(20, 1, 1), kelDepth16, 0x7C00), rgb(19, 8, 16));
    // Mixed channel: ((31 - 16) x 20) / 32 + (16 x 10) / 32 = 9 + 5.
    EXPECT_EQ(red(masked(rgb(20, 0, 0), rgb(10, 0, 0), kelDepth16, rgb(16, 0, 0))), 14);
}

TEST(kelOffmap, EightBitMaskIsTransparency)
{
    const int16_t d = rgb(3, 7, 11), s = rgb(29, 17, 5);
    EXPECT_EQ(masked(d, s, kelDepthMask, 0), s);
    EXPECT_EQ(masked(d, s, kelDepthMask, 255), d);
    EXPECT_EQ(masked(kBlack, kWhite, kelDepthMask, 128), rgb(16, 16, 16));  // half and half, rounded up
    EXPECT_EQ(masked(kWhite, kBlack, kelDepthMask, 128), rgb(16, 16, 16));
    // 64 x 31 / 256 = 7.75 -> 8, 192 x 31 / 256 = 23.25 -> 23.
    EXPECT_EQ(masked(kWhite, kWhite, kelDepthMask, 64), rgb(31, 31, 31));
    EXPECT_EQ(masked(kWhite, kBlack, kelDepthMask, 64), rgb(8, 8, 8));
}

TEST(kelOffmap, MaskedBlend)
{
    EXPECT_EQ(maskBlended(kBlack, kWhite, kelDepthMask, 0, 128), rgb(16, 16, 16));
    const int16_t s = rgb(29, 17, 5);
    EXPECT_EQ(maskBlended(rgb(1, 2, 3), s, kelDepthMask, 0, 256), s);  // level 256, opaque: exact copy
    EXPECT_EQ(maskBlended(rgb(1, 2, 3), s, kelDepthMask, 255, 256), rgb(1, 2, 3));  // w = 256: rounds away
    // A 16-bit mask counts its blue only: pure red means a = 0 for every channel.
    EXPECT_EQ(maskBlended(kWhite, kBlack, kelDepth16, 0x7C00, 256), rgb(30, 30, 30));
    EXPECT_EQ(maskBlended(rgb(10, 20, 31), kWhite, kelDepth16, 0x7C00, 256), rgb(9, 19, 30));
    // Blue 31 at level 128: a = 15, the same as a plain blend at 128.
    EXPECT_EQ(maskBlended(kBlack, kWhite, kelDepth16, 0x001F, 128), blended(kBlack, kWhite, 128));
}

TEST(kelOffmap, ColorizeScalesChannels)
{
    auto m = image(kelDepth16, 3, 2, kWhite);
    m->colorize(256, 256, 0);
    EXPECT_EQ(m->getPixel(2, 1), rgb(31, 31, 0));
    m->colorize(128, 64, 256);
    EXPECT_EQ(m->getPixel(0, 0), rgb(15, 7, 0));
}

TEST(kelOffmap, LineLeavesTheEndPointOut)
{
    auto m = image(kelDepth16, 5, 5, kBlack);
    auto lit = [&m] {
        std::vector<std::pair<int, int>> points;
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 5; ++x)
                if (m->getPixel(static_cast<int16_t>(x), static_cast<int16_t>(y))) points.emplace_back(x, y);
        paint(*m, kBlack);
        return points;
    };
    using P = std::vector<std::pair<int, int>>;
    m->line(0, 0, 3, 1, kWhite);
    EXPECT_EQ(lit(), (P{{0, 0}, {1, 0}, {2, 0}}));
    m->line(0, 0, 2, 2, kWhite);
    EXPECT_EQ(lit(), (P{{0, 0}, {1, 1}}));
    m->line(3, 1, 0, 0, kWhite);  // y falls from 1 by 1/3 a step, truncated
    EXPECT_EQ(lit(), (P{{1, 0}, {2, 0}, {3, 1}}));
    m->line(2, 2, 2, 2, kWhite);
    EXPECT_TRUE(lit().empty());
    m->line(-3, 2, 8, 2, kWhite);  // runs off both sides: only the inside is drawn
    EXPECT_EQ(lit(), (P{{0, 2}, {1, 2}, {2, 2}, {3, 2}, {4, 2}}));
}

TEST(kelOffmap, RectangleCopiesKeepTheirPlaces)
{
    auto source = image(kelDepth16, 4, 4, kBlack);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            source->setPixel(static_cast<int16_t>(x), static_cast<int16_t>(y), rgb(x, y, 1));
    auto dest = image(kelDepth16, 6, 6, kWhite);
    kelRect from(1, 2, 3, 4), to(3, 0, 5, 2);
    dest->copy(source.get(), &from, &to);
    EXPECT_EQ(dest->getPixel(3, 0), rgb(1, 2, 1));
    EXPECT_EQ(dest->getPixel(4, 1), rgb(2, 3, 1));
    EXPECT_EQ(dest->getPixel(2, 0), kWhite);

    // Whole image of another size: the rectangle path, clipped to the smaller.
    auto small = image(kelDepth16, 2, 2, kBlack);
    small->copy(source.get());
    EXPECT_EQ(small->getPixel(1, 1), rgb(1, 1, 1));
    // Same layout: a byte copy.
    auto same = image(kelDepth16, 4, 4, kWhite);
    same->copy(source.get());
    EXPECT_EQ(std::memcmp(same->pixels, source->pixels, source->dataSize), 0);

    // Within one image, overlapping: the picture moves down by one row intact.
    kelRect all(0, 0, 4, 3), down(0, 1, 4, 4);
    source->copy(source.get(), &all, &down);
    for (int x = 0; x < 4; ++x)
        for (int y = 1; y < 4; ++y) EXPECT_EQ(source->getPixel(x, y), rgb(x, y - 1, 1));
}

TEST(kelOffmap, OtherDepthsAreLeftUnchanged)
{
    auto dest8 = image(kelDepth8, 2, 2, 7);
    auto source = image(kelDepth16, 2, 2, kWhite);
    auto mask = image(kelDepthMask, 2, 2, 0);
    std::vector<uint8_t> before(dest8->pixels, dest8->pixels + dest8->dataSize);
    dest8->copyMask(source.get(), &source->bounds, mask.get(), &mask->bounds, &dest8->bounds);
    dest8->copyMaskBlend(source.get(), &source->bounds, mask.get(), &mask->bounds, &dest8->bounds, 256);
    dest8->copyBlend(source.get(), &source->bounds, &dest8->bounds, 256);
    dest8->copy(source.get(), &source->bounds, &dest8->bounds);
    dest8->fill(&dest8->bounds, 0);
    dest8->colorize(0, 0, 0);
    EXPECT_EQ(std::vector<uint8_t>(dest8->pixels, dest8->pixels + dest8->dataSize), before);

    // A 32-bit mask is neither kind of mask.
    auto dest = image(kelDepth16, 2, 2, kBlack);
    auto mask32 = image(kelDepth32, 2, 2, kWhite);
    dest->copyMask(source.get(), &source->bounds, mask32.get(), &mask32->bounds, &dest->bounds);
    EXPECT_EQ(dest->getPixel(0, 0), kBlack);
}

// Every rectangle operation, with rectangles that reach outside the images:
// only the part of the destination rectangle inside the image changes, with
// the same pixel correspondence as without clipping.
TEST(kelOffmap, RectangleOperationsStayInsideTheirRectangles)
{
    using Op = std::function<void(kelOffmap&, kelOffmap&, kelOffmap&, kelOffmap&, kelRect&, kelRect&)>;
    struct Operation {
        const char* name;
        int16_t result;  // what a changed pixel becomes: black under white at full strength
        bool usesSource;
        Op op;
    };
    const int16_t grey30 = rgb(30, 30, 30);
    const std::vector<Operation> ops = {
        {"copy", kWhite, true,
         [](auto& d, auto& s, auto&, auto&, auto& sr, auto& dr) { d.copy(&s, &sr, &dr); }},
        {"copyMask16", kWhite, true,
         [](auto& d, auto& s, auto& m16, auto&, auto& sr, auto& dr) { d.copyMask(&s, &sr, &m16, &sr, &dr); }},
        {"copyMask8", kWhite, true,
         [](auto& d, auto& s, auto&, auto& m8, auto& sr, auto& dr) { d.copyMask(&s, &sr, &m8, &sr, &dr); }},
        {"copyBlend", grey30, true,
         [](auto& d, auto& s, auto&, auto&, auto& sr, auto& dr) { d.copyBlend(&s, &sr, &dr, 256); }},
        {"copyMaskBlend16", grey30, true,
         [](auto& d, auto& s, auto& m16, auto&, auto& sr, auto& dr) {
             d.copyMaskBlend(&s, &sr, &m16, &sr, &dr, 256);
         }},
        {"copyMaskBlend8", kWhite, true,
         [](auto& d, auto& s, auto&, auto& m8, auto& sr, auto& dr) {
             d.copyMaskBlend(&s, &sr, &m8, &sr, &dr, 256);
         }},
        {"fill", kWhite, false, [](auto& d, auto&, auto&, auto&, auto&, auto& dr) { d.fill(&dr, kWhite); }},
    };
    struct Case {
        kelRect source, dest;
        kelRect changed;      // with a 4 x 4 source into the 8 x 8 destination
        kelRect changedFill;  // fill knows only the destination rectangle
    };
    const std::vector<Case> cases = {
        {{0, 0, 3, 3}, {2, 2, 5, 5}, {2, 2, 5, 5}, {2, 2, 5, 5}},    // inside
        {{0, 0, 4, 4}, {6, 6, 10, 10}, {6, 6, 8, 8}, {6, 6, 8, 8}},  // past the bottom-right
        {{0, 0, 4, 4}, {-2, -1, 2, 3}, {0, 0, 2, 3}, {0, 0, 2, 3}},  // past the top-left
        {{-3, -3, 2, 2}, {1, 1, 6, 6}, {4, 4, 6, 6}, {1, 1, 6, 6}},  // source rectangle outside its image
        {{0, 0, 4, 4}, {8, 0, 12, 4}, {}, {}},                       // wholly outside
        {{2, 2, 0, 0}, {0, 0, 2, 2}, {}, {0, 0, 2, 2}},              // inverted source rectangle
        {{0, 0, 30000, 30000}, {-32768, -32768, 32767, 32767}, {}, {0, 0, 8, 8}},
    };
    for (const Operation& o : ops) {
        for (const Case& c : cases) {
            auto dest = image(kelDepth16, 8, 8, kBlack);
            auto source = image(kelDepth16, 4, 4, kWhite);
            auto mask16 = image(kelDepth16, 4, 4, kWhite);
            auto mask8 = image(kelDepthMask, 4, 4, 0);
            kelRect sr = c.source, dr = c.dest;
            o.op(*dest, *source, *mask16, *mask8, sr, dr);
            const kelRect& changed = o.usesSource ? c.changed : c.changedFill;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    EXPECT_EQ(dest->getPixel(x, y), changed.contains(x, y) ? o.result : kBlack)
                        << o.name << " into (" << c.dest.left << "," << c.dest.top << "," << c.dest.right
                        << "," << c.dest.bottom << ") at " << x << "," << y;
        }
    }
}

TEST(kelOffmap, DrawHandsTheRectangleToTheWindow)
{
    auto m = image(kelDepth16, 8, 6, kBlack);
    m->setPixel(2, 1, rgb(31, 0, 0));
    m->setPixel(3, 2, rgb(0, 31, 0));
    kelRect r(2, 1, 4, 3);
    m->draw(&r, &r);  // no backend: nothing happens

    auto owned = std::make_unique<plat::HeadlessBackend>(16, 16);
    plat::HeadlessBackend* window = owned.get();
    plat::setBackend(std::move(owned));
    m->draw(&r, &r);  // no window yet
    window->openWindow(0, 8, 6, "t");
    m->draw(&r, &r);
    const plat::ScreenCopy& screen = window->screen();
    EXPECT_EQ(screen.row(1)[2], rgb(31, 0, 0));
    EXPECT_EQ(screen.row(2)[3], rgb(0, 31, 0));

    // Scaled: each source pixel becomes a 2 x 2 block at the destination.
    kelRect to(4, 2, 8, 6);
    m->draw(&r, &to);
    EXPECT_EQ(screen.row(2)[4], rgb(31, 0, 0));
    EXPECT_EQ(screen.row(3)[5], rgb(31, 0, 0));
    EXPECT_EQ(screen.row(4)[6], rgb(0, 31, 0));
    EXPECT_EQ(screen.row(5)[7], rgb(0, 31, 0));
    EXPECT_EQ(screen.row(2)[6], kBlack);
    EXPECT_EQ(screen.row(1)[2], rgb(31, 0, 0));  // the first draw stays
    plat::clearBackend();
}
