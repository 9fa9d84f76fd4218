// Image casts: the header, the four pixel variants with their byte order and
// row order, what a damaged cast leaves, and the cast table.
#include <gtest/gtest.h>

#include <cstring>

#include "core/CastTestFiles.h"
#include "core/kelCasts.h"
#include "core/kelCore.h"
#include "support/TestSupport.h"

using casttest::be16;
using casttest::Bytes;
using casttest::header;
using casttest::ResWriter;
using testsupport::TempDir;

namespace {

// Casts that fail to load would otherwise put up boxes.
class KelCastsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedDebug = kelDebugFlag;
        kelDebugFlag = 0;
    }
    void TearDown() override { kelDebugFlag = savedDebug; }

    // Opens the file the writer made and parses its casts.
    void open(ResWriter& w)
    {
        ASSERT_TRUE(w.close());
        ASSERT_TRUE(casts.OpenResFile(w.kel.c_str()));
        casts.ParseResources();
    }
    KelOneCast* cast(long id) { return casts.castAt(casts.MPixIDtoIndex(id)); }

    TempDir dir{"casts"};
    KelCasts casts;
    int16_t savedDebug = 1;
};

TEST_F(KelCastsTest, SixteenBitPixelsAreSwappedAndTurnedBottomUp)
{
    ResWriter w(dir.file("c.xrs"));
    // 3 x 2 pixels in rows of 8 bytes: the last 2 bytes of a row are padding.
    w.put("MPIX", 7, header(3, 2, 0, 8, 0, 4));
    w.put("PX16", 7, be16({0x7C00, 0x03E0, 0x001F, 0xFFFF, 0x1234, 0x0001, 0x7FFF, 0x0000}));
    w.put("PXMK", 7, Bytes{0, 128, 255, 9, 10, 20, 30, 40});
    open(w);

    KelOneCast* c = cast(7);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->size.h, 3);
    EXPECT_EQ(c->size.v, 2);
    EXPECT_EQ(c->bounds, kelRect(0, 0, 3, 2));
    EXPECT_EQ(c->available[0], 0);
    EXPECT_EQ(c->available[1], 1);
    EXPECT_EQ(c->available[3], 1);
    EXPECT_FALSE(c->imageLoaded);  // parsing reads no pixels

    c->LoadAvailable();
    ASSERT_TRUE(c->imageLoaded);
    ASSERT_TRUE(c->maskLoaded);
    EXPECT_EQ(c->image.depthIndex, 1);
    EXPECT_EQ(c->image.rowBytes, 8);
    // y counts from the top; getPixel clears bit 15.
    EXPECT_EQ(c->image.getPixel(0, 0), 0x7C00);
    EXPECT_EQ(c->image.getPixel(1, 0), 0x03E0);
    EXPECT_EQ(c->image.getPixel(2, 0), 0x001F);
    EXPECT_EQ(c->image.getPixel(0, 1), 0x1234);
    EXPECT_EQ(c->image.getPixel(1, 1), 0x0001);
    EXPECT_EQ(c->image.getPixel(2, 1), 0x7FFF);
    // The top stored row is the last row in memory.
    EXPECT_EQ(c->image.pixels[8], 0x00);
    EXPECT_EQ(c->image.pixels[9], 0x7C);
    EXPECT_EQ(c->mask.getPixel(1, 0), 128);
    EXPECT_EQ(c->mask.getPixel(2, 1), 30);

    c->Unload();
    EXPECT_FALSE(c->imageLoaded);
    EXPECT_FALSE(c->maskLoaded);
    EXPECT_EQ(c->image.pixels, nullptr);
}

TEST_F(KelCastsTest, ThirtyTwoBitPixelKeepsItsFourthByte)
{
    ResWriter w(dir.file("c.xrs"));
    w.put("MPIX", 1, header(1, 2, 0, 0, 4, 0));
    w.put("PX32", 1, Bytes{0x00, 0x11, 0x22, 0x33, 0xA0, 0xB1, 0xC2, 0xD3});
    open(w);
    KelOneCast* c = cast(1);
    ASSERT_TRUE(c->LoadDepth(2));
    // Bottom-up: the second stored row comes first in memory.
    const uint8_t* p = c->image.pixels;
    EXPECT_EQ(Bytes(p, p + 4), (Bytes{0xD3, 0xC2, 0xB1, 0xD3}));
    EXPECT_EQ(Bytes(p + 4, p + 8), (Bytes{0x33, 0x22, 0x11, 0x33}));
}

TEST_F(KelCastsTest, EightBitComesFirstAndTakesItsPalette)
{
    ResWriter w(dir.file("c.xrs"));
    w.put("MPIX", 3, header(2, 1, 4, 4, 8, 0));
    w.put("PX08", 3, Bytes{5, 6});
    w.put("PX16", 3, be16({1, 2}));
    Bytes palette(1024, 0);
    w.put("CTP8", 3, palette);
    open(w);
    KelOneCast* c = cast(3);
    c->LoadAvailable();
    ASSERT_TRUE(c->imageLoaded);
    EXPECT_EQ(c->image.depthIndex, 0);
    EXPECT_EQ(c->image.getPixel(1, 0), 6);
    EXPECT_FALSE(c->maskLoaded);
    // Asking for another depth once the picture is loaded changes nothing.
    EXPECT_TRUE(c->LoadDepth(1));
    EXPECT_EQ(c->image.depthIndex, 0);
    EXPECT_FALSE(c->LoadDepth(3));  // no mask stored
    EXPECT_FALSE(c->LoadDepth(4));
    EXPECT_FALSE(c->LoadDepth(-1));
}

TEST_F(KelCastsTest, PayloadLargerThanItsBufferStaysUnloaded)
{
    ResWriter w(dir.file("c.xrs"));
    // 2 x 2 at 4 bytes a row: an 8-byte buffer, and 10 bytes stored.
    w.put("MPIX", 1, header(2, 2, 0, 4, 0, 0));
    w.put("PX16", 1, Bytes(10, 0x11));
    // A shorter payload is fine: the rest of the picture stays 0.
    w.put("MPIX", 2, header(2, 2, 0, 4, 0, 0));
    w.put("PX16", 2, be16({0x0102}));
    open(w);

    KelOneCast* big = cast(1);
    EXPECT_FALSE(big->LoadDepth(1));
    EXPECT_FALSE(big->imageLoaded);
    EXPECT_EQ(big->image.pixels, nullptr);
    big->LoadAvailable();  // "No cast data available"
    EXPECT_FALSE(big->imageLoaded);
    big->Draw(0, 0);  // "Cant' draw image cast": nothing drawn, no crash

    KelOneCast* small = cast(2);
    ASSERT_TRUE(small->LoadDepth(1));
    EXPECT_EQ(small->image.getPixel(0, 0), 0x0102);
    EXPECT_EQ(small->image.getPixel(1, 1), 0);
}

TEST_F(KelCastsTest, DamagedHeadersNeverReachMemory)
{
    ResWriter w(dir.file("c.xrs"));
    w.put("MPIX", 1, Bytes(100, 0));  // not 104 bytes: not read
    w.put("PX16", 1, be16({1}));
    w.put("MPIX", 2, header(-4, 2, 0, 8, 0, 0));  // negative width
    w.put("PX16", 2, be16({1}));
    w.put("MPIX", 3, header(8, 2, 0, 6, 0, 0));  // stride shorter than a row
    w.put("PX16", 3, be16({1}));
    w.put("MPIX", 4, header(16000, 32000, 0, 32000, 0, 0));  // ~1 GB
    w.put("PX16", 4, be16({1}));
    w.put("MPIX", 5, header(3, 1, 0, 5, 0, 0));  // stride splits a pixel
    w.put("PX16", 5, be16({1}));
    open(w);

    EXPECT_EQ(cast(1)->size.h, 0);
    EXPECT_EQ(cast(1)->available[1], 1);
    for (long id = 1; id <= 5; ++id) {
        EXPECT_FALSE(cast(id)->LoadDepth(1)) << id;
        EXPECT_EQ(cast(id)->image.pixels, nullptr) << id;
    }
}

TEST_F(KelCastsTest, TableFollowsTheFileAndFindsCastsById)
{
    ResWriter w(dir.file("c.xrs"));
    w.put("MPIX", 30, header(1, 1, 0, 4, 0, 0));
    w.put("TEXT", 1, Bytes{'x'});
    w.put("MPIX", 10, header(2, 1, 0, 4, 0, 0));
    w.put("MPIX", 20, header(3, 1, 0, 8, 0, 0));
    open(w);

    ASSERT_EQ(casts.count, 3);
    EXPECT_EQ(casts.MPixIDtoIndex(30), 0);
    EXPECT_EQ(casts.MPixIDtoIndex(10), 1);
    EXPECT_EQ(casts.MPixIDtoIndex(20), 2);
    EXPECT_EQ(casts.MPixIDtoIndex(99), -1);
    EXPECT_EQ(casts.casts[2]->size.h, 3);
    EXPECT_EQ(casts.casts[1]->owner, &casts);
    EXPECT_EQ(casts.castAt(3), nullptr);
    EXPECT_EQ(casts.castAt(-1), nullptr);

    casts.UnloadResources();
    EXPECT_EQ(casts.count, 0);
    EXPECT_EQ(casts.casts, nullptr);
    EXPECT_EQ(casts.resFile, nullptr);
    EXPECT_EQ(casts.MPixIDtoIndex(30), -1);

    KelCasts none;
    none.ParseResources();  // no resource file: nothing
    EXPECT_EQ(none.count, 0);
    EXPECT_FALSE(none.OpenResFile(filetest::kelOf(dir.file("missing.xrs")).c_str()));
}

TEST(KelCastWriters, StoredRowsMatchTheReadersLayout)
{
    uint8_t h[kKelCastHeaderSize];
    const int16_t strides[kKelCastVariants] = {0, 8, 0, 4};
    kelCastWriteHeader(3, 2, strides, h);
    EXPECT_EQ(kelGetBE16(h), 3);
    EXPECT_EQ(kelGetBE16(h + 2), 2);
    EXPECT_EQ(kelGetBE16(h + 8 + 16), 8);
    EXPECT_EQ(kelGetBE16(h + 8 + 48), 4);
    EXPECT_EQ(kelGetBE16(h + 8), 0);

    const uint16_t pixels[] = {0x7C00, 0x0001, 0x1234, 1, 2, 3};
    const Bytes packed = kelCastPack16(pixels, 3, 2, 8);
    EXPECT_EQ(packed, (Bytes{0x7C, 0x00, 0x00, 0x01, 0x12, 0x34, 0, 0, 0, 1, 0, 2, 0, 3, 0, 0}));
    EXPECT_EQ(kelCastStride(3, 2), 8);
    EXPECT_EQ(kelCastStride(4, 1), 4);
    EXPECT_EQ(kelCastStride(5, 1), 8);
}

}  // namespace
