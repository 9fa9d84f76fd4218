// The skin font's glyph table, fitting and drawing; films that step toward
// their target frame over time.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "ui/PWPanelCtrls.h"
#include "ui/TestSkin.h"

namespace {

using namespace testskin;

TEST(SkinFont, TheMarkerRowGivesEachCodeItsColumns)
{
    kelFont font;
    ASSERT_TRUE(font.image.allocate(1, 20, 15, -1));
    // A picture 15 high: glyphs 10 high, the marker row 12.
    for (int x : {2, 3, 4, 7, 8, 9}) font.image.setPixel(static_cast<int16_t>(x), 12, 0x7FFF);
    font.image.setPixel(12, 11, 0x7FFF);  // another row is no marker
    font.parseImage();
    EXPECT_TRUE(font.parsed);
    EXPECT_EQ(font.height, 10);
    EXPECT_EQ(font.glyphs[0], kelRect(2, 0, 5, 10));
    EXPECT_EQ(font.glyphs[1], kelRect(7, 0, 10, 10));
    EXPECT_EQ(font.glyphs[2], kelRect(20, 0, 20, 10));  // the row ran out
    EXPECT_EQ(font.glyphs[255].width(), 0);

    kelFont none;
    none.setup(nullptr, 500);
    EXPECT_FALSE(none.parsed);
    char text[] = "abc";
    EXPECT_EQ(none.stringWidth(text), 0);
}

class SkinFontDrawing : public ::testing::Test {
protected:
    void SetUp() override { font.setup(&skin.casts, kFont); }
    Stage stage;
    Skin skin;
    kelFont font;
};

TEST_F(SkinFontDrawing, TextsAreCutWithTheEllipsis)
{
    ASSERT_TRUE(font.parsed);
    EXPECT_EQ(font.height, 8);
    EXPECT_EQ(font.glyphWidth('a'), 5);
    EXPECT_EQ(font.glyphWidth(kelFontEllipsis), 6);
    struct Case {
        int16_t width;
        const char* result;
    };
    for (const Case& c :
         {Case{20, "abcd"}, Case{12, "a\xC9"}, Case{8, "\xC9"}, Case{4, ""}, Case{11, "a\xC9"}}) {
        char text[] = "abcd";
        const int16_t n = font.stringFitWidth(text, c.width);
        EXPECT_STREQ(text, c.result) << "width " << c.width;
        EXPECT_EQ(n, static_cast<int16_t>(std::strlen(c.result)));
        EXPECT_LE(font.stringWidth(text), c.width);
    }
}

TEST_F(SkinFontDrawing, AlignedTextsStartAtTheirEdgeOrCentre)
{
    kelOffmap dest;
    ASSERT_TRUE(dest.allocate(1, 100, 20, -1));
    auto inkRange = [&]() {
        int first = -1, last = -1;
        for (int x = 0; x < 100; ++x)
            if (dest.getPixel(static_cast<int16_t>(x), 2) != 0) {
                if (first < 0) first = x;
                last = x;
            }
        return std::pair{first, last};
    };
    const char text[] = "a\xC9";  // 11 pixels wide
    font.copyString(&dest, text, 50, 0, 1);
    EXPECT_EQ(inkRange(), (std::pair{45, 55}));
    dest.fill(&dest.bounds, 0);
    font.copyMaskString(&dest, text, 50, 0, 2);
    EXPECT_EQ(inkRange(), (std::pair{39, 49}));
    dest.fill(&dest.bounds, 0);
    // A glyph that would stick out is left out whole.
    font.copyString(&dest, "ab", 93, 0, 0);
    EXPECT_EQ(inkRange(), (std::pair{93, 97}));
    // Tinted as at start-up: blue removed.
    font.colorize(256, 256, 0);
    dest.fill(&dest.bounds, 0);
    font.copyString(&dest, "a", 0, 0, 0);
    EXPECT_EQ(dest.getPixel(1, 1), 0x7FE0);
}

class FluidFilm : public SkinTest {
protected:
    void SetUp() override
    {
        SkinTest::SetUp();
        film = controlAs<PWPanelFluidFilmControl>(kFluidItem);
        ASSERT_NE(film, nullptr);
        kelGlo.ticks = 1000;
        refreshAll();
    }
    // Idles tick by tick; the frames shown and when.
    std::vector<std::pair<uint32_t, int16_t>> run(uint32_t untilTicks)
    {
        std::vector<std::pair<uint32_t, int16_t>> seen;
        while (kelGlo.ticks < untilTicks) {
            ++kelGlo.ticks;
            const int16_t before = film->frame;
            film->idle();
            if (film->frame != before) seen.emplace_back(kelGlo.ticks, film->frame);
        }
        return seen;
    }
    PWPanelFluidFilmControl* film = nullptr;
};

TEST_F(FluidFilm, ItRisesInStepsOfItsOwnPaceAndFallsBackAfterItsHold)
{
    film->set(int16_t{10});  // rise 3 every 2 ticks
    using Seen = std::vector<std::pair<uint32_t, int16_t>>;
    EXPECT_EQ(run(1012), (Seen{{1002, 3}, {1004, 6}, {1006, 9}, {1008, 10}}));
    EXPECT_EQ(stage.shown(408, 68), 10 * 0x421);  // frame 10 is grey level 10
    // After the 30-tick hold it falls to its rest frame, one frame a tick.
    const Seen fall = run(1050);
    ASSERT_EQ(fall.size(), 10u);
    EXPECT_EQ(fall.front(), (std::pair<uint32_t, int16_t>{1032, 9}));
    EXPECT_EQ(fall.back(), (std::pair<uint32_t, int16_t>{1041, 0}));
    film->set(int16_t{99});
    EXPECT_EQ(film->target, 11);
}

TEST_F(FluidFilm, WithTheJumpFlagItRisesAtOnce)
{
    film->set(kelPropJump, 1);
    film->set(int16_t{10});
    EXPECT_EQ(film->frame, 10);
    EXPECT_EQ(stage.shown(408, 68), 10 * 0x421);
}

}  // namespace
