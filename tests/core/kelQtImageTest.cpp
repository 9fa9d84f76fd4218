#include <gtest/gtest.h>

#include "core/MediaTestPaths.h"
#include "core/kelOffmap.h"
#include "core/kelQt.h"
#include "platform/PlatGif.h"
#include "platform/PlatScreen.h"
#include "support/TestSupport.h"

using mediatest::kel;
using testsupport::TempDir;

namespace {
int16_t fifteen(int r, int g, int b)
{
    return static_cast<int16_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
}
}  // namespace

TEST(kelQtImage, GifDecodesIntoSixteenBitPixels)
{
    TempDir dir("qtimage");
    plat::IndexedPicture gif;
    gif.width = 3;
    gif.height = 2;
    gif.palette = {255, 255, 255, 8, 130, 250, 7, 15, 200, 1, 1, 1};
    gif.transparentIndex = 3;
    gif.pixels = {0, 1, 2,   // top row
                  3, 2, 1};  // bottom row
    ASSERT_TRUE(plat::encodeGif(dir.file("p.gif"), gif));

    kelOffmap image;
    ASSERT_TRUE(kelQt_imageToOffmap(kel(dir.file("p.gif")).c_str(), &image));
    EXPECT_EQ(image.depthIndex, kelDepth16);
    EXPECT_EQ(image.bounds, kelRect(0, 0, 3, 2));
    EXPECT_EQ(image.getPixel(0, 0), 0x7FFF);
    EXPECT_EQ(image.getPixel(1, 0), fifteen(8, 130, 250));  // (1, 16, 31)
    EXPECT_EQ(image.getPixel(1, 0), (1 << 10) | (16 << 5) | 31);
    EXPECT_EQ(image.getPixel(2, 0), fifteen(7, 15, 200));  // (0, 1, 25)
    EXPECT_EQ(image.getPixel(0, 1), 0);                    // transparent shows black
    EXPECT_EQ(image.getPixel(2, 1), fifteen(8, 130, 250));
    // The top row is the last in memory.
    const auto* last = reinterpret_cast<const uint16_t*>(image.pixels + image.rowBytes);
    EXPECT_EQ(last[0], 0x7FFF);
}

TEST(kelQtImage, PngDecodesToo)
{
    TempDir dir("qtimage");
    const uint8_t rgb[] = {200, 100, 50, 0, 0, 0, 17, 33, 65, 255, 0, 255};
    ASSERT_TRUE(plat::writePngRgb(dir.file("p.png"), 2, 2, rgb));
    kelOffmap image;
    ASSERT_TRUE(kelQt_imageToOffmap(kel(dir.file("p.png")).c_str(), &image));
    EXPECT_EQ(image.getPixel(0, 0), fifteen(200, 100, 50));
    EXPECT_EQ(image.getPixel(0, 1), fifteen(17, 33, 65));
    EXPECT_EQ(image.getPixel(1, 1), fifteen(255, 0, 255));
}

TEST(kelQtImage, UnreadablePicturesLeaveTheImageAlone)
{
    TempDir dir("qtimage");
    plat::IndexedPicture gif{16, 16, std::vector<uint8_t>(256, 1), {0, 0, 0, 90, 90, 90}, -1};
    ASSERT_TRUE(plat::encodeGif(dir.file("good.gif"), gif));
    const std::string good = testsupport::readFile(dir.file("good.gif"));
    testsupport::writeFile(dir.file("empty.gif"), "");
    testsupport::writeFile(dir.file("cut.gif"), good.substr(0, good.size() - 12));
    testsupport::writeFile(dir.file("header.gif"), good.substr(0, 10));
    testsupport::writeFile(dir.file("text.gif"), "GIF89a is not enough to make a picture");
    testsupport::writeFile(dir.file("noise.png"),
                           std::string("\x89PNG\r\n\x1a\n", 8) + std::string(100, '\x07'));

    kelOffmap image;
    ASSERT_TRUE(image.allocate(kelDepth16, 4, 4, -1));
    image.setPixel(1, 1, 0x1234);
    for (const char* name :
         {"missing.gif", "empty.gif", "cut.gif", "header.gif", "text.gif", "noise.png", ""}) {
        EXPECT_FALSE(kelQt_imageToOffmap(kel(dir.file(name)).c_str(), &image)) << name;
        EXPECT_EQ(image.getPixel(1, 1), 0x1234) << name;
    }
    EXPECT_FALSE(kelQt_imageToOffmap(nullptr, &image));
    EXPECT_FALSE(kelQt_imageToOffmap(kel(dir.file("good.gif")).c_str(), nullptr));
    EXPECT_TRUE(kelQt_imageToOffmap(kel(dir.file("good.gif")).c_str(), &image));
    EXPECT_EQ(image.getPixel(15, 15), fifteen(90, 90, 90));
}
