#include <gif_lib.h>
#include <gtest/gtest.h>

#include <set>

#include "platform/PlatGif.h"
#include "platform/PlatScreen.h"
#include "support/TestSupport.h"

using testsupport::TempDir;

namespace {

plat::RgbaPicture decodeFile(const std::string& path, bool* ok)
{
    const std::string bytes = testsupport::readFile(path);
    plat::RgbaPicture picture;
    *ok = plat::decodePicture(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), picture);
    return picture;
}

const uint8_t* pixel(const plat::RgbaPicture& p, int x, int y)
{
    return &p.rgba[(size_t(y) * p.width + x) * 4];
}

// A GIF written with giflib itself: a 4 x 4 interlaced image placed at (2, 1)
// on a 7 x 6 screen, palette index 3 transparent.
std::string writeOffsetInterlacedGif(const std::string& path)
{
    GifColorType colours[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 9, 9}};
    ColorMapObject* map = GifMakeMapObject(4, colours);
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, 7, 6, 2, 0, map);
    GraphicsControlBlock control{};
    control.TransparentColor = 3;
    GifByteType ext[4];
    EGifGCBToExtension(&control, ext);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext);
    EGifPutImageDesc(gif, 2, 1, 4, 4, true, nullptr);
    // Interlaced rows go out in the order 0, 2, 1, 3 (passes of 8, 8 from 4, 4 from 2, 2 from 1).
    for (int row : {0, 2, 1, 3}) {
        GifPixelType line[4];
        for (int x = 0; x < 4; ++x) line[x] = static_cast<GifPixelType>(x == row ? 3 : row % 3);
        EGifPutLine(gif, line, 4);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return path;
}

}  // namespace

TEST(PlatGif, IndexedPictureRoundTrip)
{
    TempDir dir("gif");
    plat::IndexedPicture in;
    in.width = 5;
    in.height = 3;
    in.palette = {10, 20, 30, 200, 100, 0, 255, 255, 255};
    in.transparentIndex = 2;
    in.pixels = {0, 1, 2, 1, 0, 1, 1, 1, 1, 1, 2, 2, 0, 0, 0};
    ASSERT_TRUE(plat::encodeGif(dir.file("a.gif"), in));
    bool ok = false;
    const plat::RgbaPicture out = decodeFile(dir.file("a.gif"), &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(out.width, 5);
    ASSERT_EQ(out.height, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const int index = in.pixels[y * 5 + x];
            const uint8_t* p = pixel(out, x, y);
            if (index == 2) {
                EXPECT_EQ(p[3], 0);
                continue;
            }
            EXPECT_EQ(p[0], in.palette[index * 3]);
            EXPECT_EQ(p[1], in.palette[index * 3 + 1]);
            EXPECT_EQ(p[2], in.palette[index * 3 + 2]);
            EXPECT_EQ(p[3], 255);
        }
}

TEST(PlatGif, FirstImageIsPlacedOnItsScreenWithInterlacedRows)
{
    TempDir dir("gif");
    bool ok = false;
    const plat::RgbaPicture out = decodeFile(writeOffsetInterlacedGif(dir.file("i.gif")), &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(out.width, 7);
    ASSERT_EQ(out.height, 6);
    EXPECT_EQ(pixel(out, 0, 0)[3], 0);  // the screen outside the image is transparent
    EXPECT_EQ(pixel(out, 6, 5)[3], 0);
    for (int row = 0; row < 4; ++row)
        for (int x = 0; x < 4; ++x) {
            const uint8_t* p = pixel(out, 2 + x, 1 + row);
            if (x == row) {
                EXPECT_EQ(p[3], 0);
                continue;
            }
            const int index = row % 3;  // red, green, blue, red
            EXPECT_EQ(p[3], 255);
            EXPECT_EQ(p[0], index == 0 ? 255 : 0) << row;
            EXPECT_EQ(p[1], index == 1 ? 255 : 0) << row;
            EXPECT_EQ(p[2], index == 2 ? 255 : 0) << row;
        }
}

TEST(PlatGif, RgbaPicturesKeepFewColoursExactlyAndReduceMany)
{
    TempDir dir("gif");
    plat::RgbaPicture few{16, 16, std::vector<uint8_t>(16 * 16 * 4)};
    for (int i = 0; i < 256; ++i) {
        uint8_t* p = &few.rgba[i * 4];
        p[0] = static_cast<uint8_t>(i % 7 * 30);
        p[1] = static_cast<uint8_t>(i % 5 * 50);
        p[2] = static_cast<uint8_t>(i % 3 * 100);
        p[3] = i % 11 == 0 ? 0 : 255;
    }
    ASSERT_TRUE(plat::encodeGif(dir.file("few.gif"), few));
    bool ok = false;
    plat::RgbaPicture back = decodeFile(dir.file("few.gif"), &ok);
    ASSERT_TRUE(ok);
    for (int i = 0; i < 256; ++i) {
        if (few.rgba[i * 4 + 3] == 0) {
            EXPECT_EQ(back.rgba[i * 4 + 3], 0);
            continue;
        }
        for (int c = 0; c < 4; ++c) EXPECT_EQ(back.rgba[i * 4 + c], few.rgba[i * 4 + c]) << i;
    }

    plat::RgbaPicture many{64, 64, std::vector<uint8_t>(64 * 64 * 4)};
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            uint8_t* p = &many.rgba[(y * 64 + x) * 4];
            p[0] = static_cast<uint8_t>(x * 4);
            p[1] = static_cast<uint8_t>(y * 4);
            p[2] = static_cast<uint8_t>((x + y) * 2);
            p[3] = 255;
        }
    ASSERT_TRUE(plat::encodeGif(dir.file("many.gif"), many));
    back = decodeFile(dir.file("many.gif"), &ok);
    ASSERT_TRUE(ok);
    std::set<uint32_t> colours;
    int worst = 0;
    for (size_t i = 0; i < back.rgba.size(); i += 4) {
        colours.insert(back.rgba[i] << 16 | back.rgba[i + 1] << 8 | back.rgba[i + 2]);
        for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(back.rgba[i + c] - many.rgba[i + c]));
    }
    EXPECT_LE(colours.size(), 256u);
    EXPECT_GT(colours.size(), 64u);
    EXPECT_LT(worst, 48);  // a gradient reduced, not destroyed
}

TEST(PlatGif, PngPicturesDecode)
{
    TempDir dir("gif");
    const uint8_t rgb[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 1, 2, 3};
    ASSERT_TRUE(plat::writePngRgb(dir.file("a.png"), 2, 2, rgb));
    bool ok = false;
    const plat::RgbaPicture out = decodeFile(dir.file("a.png"), &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(out.width, 2);
    EXPECT_EQ(pixel(out, 1, 1)[0], 1);
    EXPECT_EQ(pixel(out, 1, 1)[2], 3);
    EXPECT_EQ(pixel(out, 1, 0)[1], 255);
}

TEST(PlatGif, DamagedPicturesAreRefused)
{
    TempDir dir("gif");
    plat::IndexedPicture in{8, 8, std::vector<uint8_t>(64, 1), {0, 0, 0, 255, 255, 255}, -1};
    ASSERT_TRUE(plat::encodeGif(dir.file("good.gif"), in));
    const std::string good = testsupport::readFile(dir.file("good.gif"));
    ASSERT_TRUE(plat::writePngRgb(dir.file("good.png"), 1, 1, in.palette.data()));
    const std::string png = testsupport::readFile(dir.file("good.png"));

    // Screen 20000 wide: refused before any pixel is read.
    std::string huge = "GIF89a";
    huge += std::string("\x20\x4E\x0A\x00\x80\x00\x00", 7) + std::string(6, '\0');
    huge += std::string(",\0\0\0\0\x01\0\x01\0\0\x02", 11);
    const std::vector<std::string> bad = {
        "",
        "GIF8",
        good.substr(0, 13),               // screen only
        good.substr(0, good.size() / 2),  // cut in the image data
        good.substr(0, 13 + 6) + ";",     // no image at all
        std::string(500, 'G'),
        "GIF89a" + std::string(500, '\xFF'),
        png.substr(0, png.size() - 20),
        huge,
    };
    for (size_t i = 0; i < bad.size(); ++i) {
        plat::RgbaPicture out;
        EXPECT_FALSE(plat::decodePicture(reinterpret_cast<const uint8_t*>(bad[i].data()), bad[i].size(), out))
            << i;
        EXPECT_TRUE(out.rgba.empty()) << i;
    }
    plat::RgbaPicture out;
    EXPECT_FALSE(plat::decodePicture(nullptr, 10, out));

    plat::IndexedPicture wrong = in;
    wrong.pixels[5] = 2;  // beyond the palette
    EXPECT_FALSE(plat::encodeGif(dir.file("wrong.gif"), wrong));
    EXPECT_FALSE(plat::encodeGif(dir.file("no/folder.gif"), in));
}
