#include "ui/TestSkin.h"

#include "core/FileTestUtil.h"
#include "core/kelBytes.h"
#include "platform/Platform.h"

namespace testskin {

namespace {

using ColourAt = std::function<uint16_t(int, int)>;
using MaskAt = std::function<uint8_t(int, int)>;

void putCast(KelResFile& file, int32_t id, int16_t w, int16_t h, const ColourAt& colour,
             const MaskAt& mask = {})
{
    const int16_t stride16 = kelCastStride(w, 2), strideMask = mask ? kelCastStride(w, 1) : int16_t{0};
    const int16_t strides[kKelCastVariants] = {0, stride16, 0, strideMask};
    uint8_t header[kKelCastHeaderSize];
    kelCastWriteHeader(w, h, strides, header);
    auto save = [&](uint32_t type, const std::vector<uint8_t>& bytes) {
        file.SaveData(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()),
                      static_cast<long>(type), id);
    };
    save(kelFourCC("MPIX"), std::vector<uint8_t>(header, header + kKelCastHeaderSize));
    std::vector<uint16_t> pixels(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) pixels[static_cast<size_t>(y) * w + x] = colour(x, y);
    save(kelFourCC("PX16"), kelCastPack16(pixels.data(), w, h, stride16));
    if (!mask) return;
    std::vector<uint8_t> bytes(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) bytes[static_cast<size_t>(y) * w + x] = mask(x, y);
    save(kelFourCC("PXMK"), kelCastPack8(bytes.data(), w, h, strideMask));
}

ColourAt solid(uint16_t c)
{
    return [c](int, int) { return c; };
}
MaskAt opaque()
{
    return [](int, int) { return uint8_t{0}; };
}

// Glyph columns of the test font: each glyph 5 wide (the ellipsis 6), one
// empty column between glyphs.
constexpr int kGlyphHeight = 8;
int glyphWidth(int code)
{
    return code == 0xC9 ? 6 : 5;
}

void putFont(KelResFile& file)
{
    std::vector<int> owner;  // code of each column, -1 for a gap
    for (int code = 0; code < 256; ++code) {
        for (int i = 0; i < glyphWidth(code); ++i) owner.push_back(code);
        owner.push_back(-1);
    }
    const int16_t w = static_cast<int16_t>(owner.size()), h = kGlyphHeight + 5;
    auto colour = [&](int x, int y) -> uint16_t {
        const bool ink = owner[static_cast<size_t>(x)] >= 0 && (y < kGlyphHeight || y == kGlyphHeight + 2);
        return ink ? 0x7FFF : 0;
    };
    auto mask = [&](int x, int y) -> uint8_t {
        return owner[static_cast<size_t>(x)] >= 0 && y < kGlyphHeight ? 0 : 255;
    };
    putCast(file, kFont, w, h, colour, mask);
}

}  // namespace

kelLayoutItem item(int16_t kind, int16_t state, int16_t x, int16_t y, int16_t w, int16_t h,
                   std::initializer_list<int32_t> images, std::initializer_list<std::pair<int, int16_t>> aux)
{
    kelLayoutItem it;
    it.state = state;
    it.offset = kelPoint{x, y};
    it.frameSize = kelPoint{w, h};
    int j = 0;
    for (int32_t id : images) it.imageCastIDs[j++] = id;
    it.aux[kKelAuxKind] = kind;
    it.aux[kKelAuxSource] = -1;
    for (auto [k, v] : aux) it.aux[k] = v;
    return it;
}

kelLayoutData Skin::testLayout()
{
    kelLayoutData d;
    d.header.design = kelRect(0, 0, 640, 480);
    auto& it = d.items;
    it[kBackItem] = item(kelKindBackpane, 1, 0, 0, 640, 480, {kBack0},
                         {{1, kBack0}, {2, kBack1}, {3, kFloatBack}, {7, kBack1}, {9, kBack1}});
    it[kButtonItem] = item(kelKindButton, 2, 10, 10, 20, 20, {0, kButtonUp, kButtonDown}, {{7, 5}});
    it[kStaticCastItem] = item(kelKindStaticCast, 1, 40, 10, 40, 10, {kTitle, kButtonUp});
    it[kImageItem] = item(kelKindImage, 2, 90, 10, 20, 20, {0, kButtonUp, kButtonDown}, {{7, 6}});
    it[kCheckItem] = item(kelKindCheck, 2, 120, 10, 20, 20, {0, kButtonUp, kButtonDown});
    it[kRadioA] = item(kelKindRadio, 2, 150, 10, 20, 20, {0, kButtonUp, kButtonDown}, {{1, 0}, {2, 1}});
    it[kRadioB] = item(kelKindRadio, 2, 175, 10, 20, 20, {0, kButtonUp, kButtonDown}, {{1, 1}, {2, 1}});
    it[kRadioC] = item(kelKindRadio, 2, 200, 10, 20, 20, {0, kButtonUp, kButtonDown}, {{1, 2}, {2, 1}});
    it[kTextItem] = item(kelKindText, 1, 10, 40, 100, 12);
    it[kScrollItem] = item(kelKindScroll, 2, 10, 60, 10, 100, {0, kThumbTall}, {{1, 0}, {2, 80}});
    it[kRoundItem] = item(kelKindRoundScroll, 2, 40, 60, 60, 60, {0, kThumb},
                          {{1, 0}, {2, 100}, {4, 135}, {5, 405}, {6, 0}, {7, 20}});
    it[kLevelItem] =
        item(kelKindLevelBar, 1, 120, 60, 100, 10, {0, kSegment}, {{1, 0}, {2, 0}, {3, 10}, {4, 0}});
    it[kProgressItem] = item(kelKindProgress, 1, 120, 80, 200, 6, {0, kBar});
    it[kRotorItem] = item(kelKindRotor, 1, 330, 60, 60, 60);
    it[kFluidItem] = item(kelKindFluidFilm, 1, 400, 60, 16, 16, {0, kFilm},
                          {{1, 12}, {2, 3}, {3, 2}, {4, 1}, {5, 1}, {6, 0}, {8, 30}});
    it[kRotaryItem] = item(kelKindRotary, 2, 430, 60, 16, 16, {0, kFilm}, {{1, 64}});
    it[kFilmItem] = item(kelKindFilm, 1, 460, 60, 16, 16, {0, kFilm});
    it[kPopupItem] = item(kelKindPopup, 2, 10, 200, 100, 20, {}, {{2, 4}, {3, 5}});
    it[kDraggerItem] = item(kelKindDragger, 2, 150, 200, 30, 12, {kLabel, kLabel});
    it[kReceiverItem] = item(kelKindDraggerReceiver, 2, 200, 200, 30, 12, {kLabel, kLabel});
    it[kReceiverItem2] = item(kelKindDraggerReceiver, 2, 250, 200, 30, 12, {kLabel, kLabel});
    it[kImageBarItem] = item(kelKindImageBar, 1, 10, 240, 0, 0, {kBar});
    it[kImageBarItem].sizeCastID = kBar;
    it[kSpectreItem] = item(kelKindSpectre, 1, 10, 260, 150, 40, {}, {{1, 1}});
    it[kImageIDItem] = item(kelKindImageID, 1, 300, 240, 20, 20);
    it[kImagePtrItem] = item(kelKindImagePtr, 1, 330, 240, 20, 20);
    it[kHiliteItem] = item(kelKindHiliteButton, 2, 360, 240, 20, 20, {0, kButtonUp, kButtonDown, kButtonDown},
                           {{1, 64}, {2, 64}});
    it[kProScrollItem] = item(kelKindScroll, 2, 300, 300, 110, 10, {0, kThumb}, {{1, 0}, {2, 100}});
    it[kStdButtonItem] = item(kelKindStdButton, 2, 400, 240, 60, 16);
    it[kUnknownKindItem] = item(35, 2, 500, 240, 20, 20);
    it[kHiddenItem] = item(kelKindImage, 0, 530, 240, 20, 20, {0, kButtonUp});
    d.header.itemCount = kItemCount;
    return d;
}

kelLayoutData Skin::floatingLayout()
{
    kelLayoutData d;
    d.header.design = kelRect(0, 0, 640, 480);
    d.items[0] = item(kelKindBackpane, 1, 0, 0, 200, 100, {kFloatBack});
    for (int k = 1; k <= 10; ++k) d.items[0].aux[k] = kFloatBack;
    d.items[1] = item(kelKindButton, 2, 176, 4, 20, 20, {0, kButtonUp, kButtonDown});
    d.header.itemCount = 2;
    return d;
}

Skin::Skin()
{
    path = dir.file("test.xrs");
    write();
    file.SetWorkName(filetest::kelOf(path).c_str());
    file.openReadOnly = 1;
    file.Open();
    casts.resFile = &file;
    casts.ParseResources();
}

void Skin::write()
{
    KelResFile out;
    out.SetWorkName(filetest::kelOf(path).c_str());
    out.Create();
    putCast(out, kBack0, 640, 480, solid(kBackColour0));
    putCast(out, kBack1, 640, 480, solid(kBackColour1));
    putCast(
        out, kFloatBack, 200, 100, [](int x, int y) { return x < 194 && y < 94 ? kFloatColour : 0; },
        [](int x, int y) { return x < 194 && y < 94 ? uint8_t{0} : uint8_t{200}; });
    auto disc = [](int x, int y) { return (x - 9.5) * (x - 9.5) + (y - 9.5) * (y - 9.5) <= 81.0; };
    putCast(out, kButtonUp, 20, 20, solid(kButtonColourUp),
            [=](int x, int y) { return disc(x, y) ? 0 : 255; });
    putCast(out, kButtonDown, 20, 20, solid(kButtonColourDown),
            [=](int x, int y) { return disc(x, y) ? 0 : 255; });
    putCast(out, kThumb, 10, 10, solid(0x7FFF), opaque());
    putCast(out, kThumbTall, 10, 20, solid(0x7FFF), opaque());
    putCast(out, kSegment, 8, 4, solid(0x7FFF), opaque());
    putCast(out, kBar, 200, 6, solid(0x7FFF), opaque());
    putCast(
        out, kFilm, 16, 16 * 12, [](int, int y) { return static_cast<uint16_t>((y / 16) * 0x421); },
        opaque());
    putCast(out, kLabel, 30, 12, solid(0x7FFF), opaque());
    putCast(out, kTitle, 40, 10, solid(kTitleColour));
    putFont(out);
    auto putLayout = [&](int32_t id, const kelLayoutData& data) {
        const std::vector<uint8_t> bytes = kelLayoutWrite(data);
        out.SaveData(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()),
                     kelLayoutType, id);
    };
    putLayout(1, testLayout());
    putLayout(2, floatingLayout());
    out.Close();
}

Stage::Stage(int width, int height)
{
    auto b = std::make_unique<plat::HeadlessBackend>(width, height);
    backend = b.get();
    plat::setBackend(std::move(b));
    kelGlo = kelGloRec{};
    kelGlo.running = 1;
    kelGlo.ticks = KEL_Ticks();
    kelGlo.screenWidth = 640;
    kelGlo.screenHeight = 480;
    PWScreen.reset();
    PWScreen.setup();
    backend->openWindow(1, width, height, "t");
    kelGlo.screenWidth = static_cast<int16_t>(width);
    kelGlo.screenHeight = static_cast<int16_t>(height);
    PWScreen.resized();
    PWScreen.drawable = 1;
    // The window's own resize and paint requests are not needed here.
    plat::Event e;
    while (backend->pollEvent(e)) {
    }
}

Stage::~Stage()
{
    PWScreen.reset();
    plat::clearBackend();
}

void Stage::mouse(plat::Event::Type type, int x, int y, uint32_t delayMs)
{
    plat::Event e;
    e.type = type;
    e.x = x;
    e.y = y;
    backend->push(e, delayMs);
}

void Stage::pressAt(int16_t x, int16_t y)
{
    kelGlo.ticks = KEL_Ticks();
    kelGlo.pressTicks = kelGlo.ticks;
    kelGlo.mouseX = x;
    kelGlo.mouseY = y;
    kelGlo.buttonDown = 1;
    kelGlo.what = kelMouseDown;
    PWScreen.events();
}

void TestPanel::onItem()
{
    items.push_back(hitItem);
    live.push_back(liveChange);
    if (onItemHook) onItemHook(*this);
}

}  // namespace testskin
