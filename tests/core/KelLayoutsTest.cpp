// Layouts: the stored item format, placing items by anchors, offsets,
// stretching and frame sizes, and the image look-ups.
#include <gtest/gtest.h>

#include "core/CastTestFiles.h"
#include "core/kelCore.h"
#include "core/kelLayouts.h"
#include "support/TestSupport.h"

using casttest::be16;
using casttest::Bytes;
using casttest::header;
using casttest::ResWriter;
using testsupport::TempDir;

namespace {

constexpr int32_t kCastA = 100;  // 25 x 17, with a mask
constexpr int32_t kCastB = 101;  // 8 x 4

kelLayoutItem item(int16_t anchor, int16_t self, kelPoint offset, kelPoint frame)
{
    kelLayoutItem it;
    it.state = 2;
    it.anchors = anchor;
    it.selfAnchor = self;
    it.offset = offset;
    it.frameSize = frame;
    return it;
}

class KelLayoutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedDebug = kelDebugFlag;
        kelDebugFlag = 0;
        data.header.design = kelRect(0, 0, 640, 480);
    }
    void TearDown() override { kelDebugFlag = savedDebug; }

    // Writes the layout (and two casts) and loads it as a panel would.
    void load(int16_t count, const Bytes* payload = nullptr)
    {
        data.header.itemCount = count;
        ResWriter w(dir.file(testsupport::join("l", files++, ".xrs")));
        w.put("MPIX", kCastA, header(25, 17, 0, 52, 0, 28));
        w.put("PX16", kCastA, Bytes(52 * 17, 0));
        w.put("PXMK", kCastA, Bytes(28 * 17, 0));
        w.put("MPIX", kCastB, header(8, 4, 0, 16, 0, 0));
        w.put("PX16", kCastB, Bytes(16 * 4, 0));
        const std::vector<uint8_t> bytes = payload ? *payload : kelLayoutWrite(data);
        w.put("LAYA", 5, bytes);
        ASSERT_TRUE(w.close());
        ASSERT_TRUE(casts.OpenResFile(w.kel.c_str()));
        casts.ParseResources();
        layout.Set(&casts, 5);
        layout.Load();
    }
    void placeIn(const kelRect& bounds)
    {
        layout.bounds = bounds;
        layout.RecalcAll();
    }
    const kelRect& frame(int16_t i) const { return layout.work[i].frame; }

    TempDir dir{"layouts"};
    KelCasts casts;
    kelLayoutData data;
    KelLayout layout;
    int16_t savedDebug = 1;
    int files = 0;
};

TEST(KelLayoutFormat, FieldsSitAtTheirOffsets)
{
    Bytes p(kKelLayoutSizeSmall, 0);
    kelPutBE16(&p[6], 1);
    kelPutBE16(&p[8], 2);
    kelPutBE16(&p[10], 641);
    kelPutBE16(&p[12], 482);
    kelPutBE16(&p[46], 2);
    uint8_t* it = &p[48 + 116];  // item 1
    kelPutBE16(it, 2);
    kelPutBE16(it + 2, static_cast<uint16_t>(-5));
    kelPutBE16(it + 4, 7);
    kelPutBE32(it + 8, 1234);
    kelPutBE32(it + 12, 10);
    kelPutBE32(it + 12 + 36, 19);
    kelPutBE16(it + 54, 8);
    kelPutBE16(it + 56, 4 * 16 + 3);
    kelPutBE16(it + 68, 33);
    kelPutBE16(it + 68 + 14, 12);
    kelPutBE16(it + 68 + 38, static_cast<uint16_t>(-1));
    kelPutBE16(it + 108, 30);
    kelPutBE16(it + 110, 40);

    kelLayoutData d;
    ASSERT_TRUE(kelLayoutRead(p.data(), kKelLayoutSizeSmall, d));
    EXPECT_EQ(d.header.design, kelRect(1, 2, 641, 482));
    EXPECT_EQ(d.header.itemCount, 2);
    const kelLayoutItem& i = d.items[1];
    EXPECT_EQ(i.state, 2);
    EXPECT_EQ(i.offset.h, -5);
    EXPECT_EQ(i.offset.v, 7);
    EXPECT_EQ(i.sizeCastID, 1234);
    EXPECT_EQ(i.imageCastIDs[0], 10);
    EXPECT_EQ(i.imageCastIDs[9], 19);
    EXPECT_EQ(i.selfAnchor, 8);
    EXPECT_EQ(i.layoutAnchor(), 3);
    EXPECT_EQ(i.stretchAnchor(), 4);
    EXPECT_EQ(i.aux[0], 33);
    EXPECT_EQ(i.aux[7], 12);
    EXPECT_EQ(i.aux[19], -1);
    EXPECT_EQ(i.frameSize.h, 30);
    EXPECT_EQ(i.frameSize.v, 40);

    // Written back byte for byte; a count above 50 needs the large form.
    EXPECT_EQ(kelLayoutWrite(d), p);
    d.header.itemCount = 51;
    EXPECT_EQ(kelLayoutWrite(d).size(), static_cast<size_t>(kKelLayoutSizeLarge));
    EXPECT_FALSE(kelLayoutRead(p.data(), kKelLayoutSizeSmall + 1, d));
    EXPECT_FALSE(kelLayoutRead(p.data(), 0, d));
}

TEST_F(KelLayoutTest, AnchorsAndOffsets)
{
    data.items[0] = item(0, 0, {10, 20}, {30, 40});
    data.items[1] = item(4, 4, {-3, -2}, {30, 40});  // bottom-right at bottom-right
    data.items[2] = item(5, 1, {0, 0}, {30, 40});    // top-centre under bottom-centre
    data.items[3] = item(9, 0, {1, 1}, {30, 40});    // no such anchor: the point (0, 0)
    load(4);
    placeIn(kelRect(5, 7, 645, 487));
    EXPECT_EQ(frame(0), kelRect(15, 27, 45, 67));
    EXPECT_EQ(frame(1), kelRect(612, 445, 642, 485));
    EXPECT_EQ(frame(2), kelRect(310, 487, 340, 527));
    EXPECT_EQ(frame(3), kelRect(1, 1, 31, 41));
    // Without an image, the image rectangle is the frame.
    EXPECT_EQ(layout.work[0].imageRect, frame(0));
    EXPECT_EQ(layout.work[0].pos.h, 15);
    EXPECT_EQ(layout.work[0].pos.v, 27);
}

TEST_F(KelLayoutTest, CentringRoundsTowardZeroForOddAndEvenSizes)
{
    data.items[0] = item(8, 8, {0, 0}, {31, 21});
    data.items[1] = item(8, 8, {0, 0}, {30, 20});
    data.items[2] = item(8, 8, {2, -1}, {31, 21});
    load(3);
    placeIn(kelRect(0, 0, 640, 480));
    EXPECT_EQ(frame(0), kelRect(305, 230, 336, 251));
    EXPECT_EQ(frame(1), kelRect(305, 230, 335, 250));
    EXPECT_EQ(frame(2), kelRect(307, 229, 338, 250));
    placeIn(kelRect(-11, -11, 0, 0));  // centre -6: -11 + 11 / 2
    EXPECT_EQ(frame(0), kelRect(-21, -16, 10, 5));
    EXPECT_EQ(frame(1), kelRect(-21, -16, 9, 4));
}

TEST_F(KelLayoutTest, StretchingGrowsByThePartOfTheExtraRoomItsAnchorSelects)
{
    data.items[0] = item(0 + 16 * 4, 0, {10, 10}, {100, 50});
    data.items[1] = item(0 + 16 * 2, 0, {10, 10}, {100, 50});
    data.items[2] = item(0 + 16 * 8, 0, {10, 10}, {100, 50});
    data.items[3] = item(4 + 16 * 4, 4, {0, 0}, {100, 50});
    load(4);
    placeIn(kelRect(0, 0, 800, 600));
    EXPECT_EQ(frame(0), kelRect(10, 10, 270, 180));
    EXPECT_EQ(frame(1), kelRect(10, 10, 270, 60));
    EXPECT_EQ(frame(2), kelRect(10, 10, 190, 120));
    EXPECT_EQ(frame(3), kelRect(700, 550, 960, 720));
    // In its design rectangle nothing grows.
    placeIn(kelRect(0, 0, 640, 480));
    EXPECT_EQ(frame(0), kelRect(10, 10, 110, 60));
}

TEST_F(KelLayoutTest, FrameSizeComesFromTheSizeCastWhenTheItemGivesNoWidth)
{
    data.items[0] = item(0, 0, {0, 0}, {0, 9});
    data.items[0].sizeCastID = kCastA;
    data.items[1] = item(0, 0, {0, 0}, {0, 9});
    data.items[1].sizeCastID = 999;  // names no cast
    data.items[2] = item(0, 0, {0, 0}, {12, 9});
    data.items[2].sizeCastID = kCastA;  // a width of its own wins
    load(3);
    placeIn(kelRect(0, 0, 640, 480));
    EXPECT_EQ(frame(0), kelRect(0, 0, 25, 17));
    EXPECT_EQ(frame(1), kelRect(0, 0, 0, 9));
    EXPECT_EQ(frame(2), kelRect(0, 0, 12, 9));
}

TEST_F(KelLayoutTest, ImagesArePlacedByTheSameAnchorsWithTheirOwnSize)
{
    kelLayoutItem it = item(4 + 16 * 4, 4, {-10, -10}, {100, 50});
    it.imageCastIDs[0] = kCastA;
    it.imageCastIDs[2] = kCastB;
    it.imageCastIDs[3] = 999;
    it.aux[7] = 42;
    data.items[0] = it;
    load(1);
    placeIn(kelRect(0, 0, 800, 600));
    const kelLayoutWork& w = layout.work[0];
    EXPECT_EQ(w.castIndex[0], casts.MPixIDtoIndex(kCastA));
    EXPECT_EQ(w.castIndex[1], -1);
    EXPECT_EQ(w.castIndex[3], -1);
    EXPECT_EQ(w.currentCast, w.castIndex[0]);
    // Not stretched: the 25 x 17 picture's bottom-right at (790, 590).
    EXPECT_EQ(w.imageRect, kelRect(765, 573, 790, 590));
    EXPECT_EQ(w.pos.h, 765);
    EXPECT_EQ(w.pos.v, 573);
    EXPECT_TRUE(casts.castAt(w.castIndex[0])->imageLoaded);  // loaded with the layout

    ASSERT_NE(layout.GetItemImage(0, 0), nullptr);
    EXPECT_NE(layout.GetItemMask(0, 0), nullptr);
    EXPECT_NE(layout.GetItemImage(0, 2), nullptr);
    EXPECT_EQ(layout.GetItemMask(0, 2), nullptr);  // cast B has no mask
    EXPECT_EQ(layout.GetItemImage(0, 1), nullptr);
    EXPECT_EQ(layout.GetItemImage(0, 3), nullptr);
    EXPECT_EQ(layout.GetItemImage(0, 10), nullptr);
    EXPECT_EQ(layout.GetItemImage(1, 0), nullptr);  // beyond the items
    EXPECT_EQ(layout.itemAuxVal(0, 7), 42);
    EXPECT_EQ(layout.itemAuxVal(1, 7), 0);
    EXPECT_EQ(layout.itemAuxVal(0, 20), 0);

    layout.ItemUseIndex(0, 10);  // out of range: nothing changes
    layout.ItemUseIndex(0, -1);
    EXPECT_EQ(w.usedIndex, 0);
    EXPECT_EQ(w.currentCast, w.castIndex[0]);
    layout.ItemUseIndex(0, 2);
    EXPECT_EQ(w.usedIndex, 2);
    EXPECT_EQ(w.currentCast, w.castIndex[2]);
    EXPECT_EQ(w.imageRect, kelRect(765, 573, 790, 590));  // not recalculated until asked
    layout.RecalcItem(0);
    EXPECT_EQ(w.imageRect, kelRect(782, 586, 790, 590));
    layout.ItemUseIndex(0, 1);  // no image: the frame
    layout.RecalcItem(0);
    EXPECT_EQ(w.imageRect, w.frame);
}

TEST_F(KelLayoutTest, LoadPlacesTheLayoutAtItsDesignRectangle)
{
    data.header.design = kelRect(100, 50, 300, 150);
    data.items[0] = item(4, 4, {0, 0}, {10, 10});
    load(1);
    EXPECT_EQ(layout.bounds, kelRect(100, 50, 300, 150));
    EXPECT_EQ(frame(0), kelRect(290, 140, 300, 150));
}

TEST_F(KelLayoutTest, BadPayloadsGiveAnEmptyLayout)
{
    const Bytes odd(kKelLayoutSizeSmall + 2, 0);
    load(0, &odd);
    EXPECT_EQ(layout.itemsCount, 0);
    layout.RecalcAll();  // nothing to do, nothing broken
    EXPECT_EQ(layout.GetItemImage(0, 0), nullptr);

    // A count beyond the items stored stops at them.
    Bytes big(kKelLayoutSizeSmall, 0);
    kelPutBE16(&big[46], 200);
    KelLayout other;
    ASSERT_TRUE(other.PlatformConvert(big.data(), kKelLayoutSizeSmall));
    EXPECT_EQ(other.itemsCount, 50);
    kelPutBE16(&big[46], static_cast<uint16_t>(-3));
    ASSERT_TRUE(other.PlatformConvert(big.data(), kKelLayoutSizeSmall));
    EXPECT_EQ(other.itemsCount, 0);

    // A missing layout, and a null table, leave things as they were.
    data.items[0] = item(0, 0, {1, 1}, {2, 2});
    load(1);
    ASSERT_EQ(layout.itemsCount, 1);
    layout.Set(nullptr, 5);
    EXPECT_EQ(layout.itemsCount, 1);
    layout.Set(&casts, 77);
    EXPECT_EQ(layout.itemsCount, 0);
}

}  // namespace
