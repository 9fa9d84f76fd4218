// Panels built from hostile layouts: every item becomes the control its kind
// names, with whatever auxiliary values the input holds (sources, ranges,
// frames, angles, anchors), and the panel is composed on a headless screen,
// clicked on every control, given keys and given every numbered property.
//
// The first byte picks the colour scheme, the next eight place the layout on
// the screen; the rest is a 100-item layout payload (zero-padded). Beside it
// the file holds a font and casts of a few shapes the items may name (ids 1,
// 2, 3 and 500): a small one, a tall film-like one and one larger than the
// stage.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/kelBytes.h"
#include "core/kelCasts.h"
#include "core/kelCore.h"
#include "core/kelLayouts.h"
#include "core/kelRes.h"
#include "fuzz/FuzzFiles.h"
#include "platform/PlatHeadless.h"
#include "ui/PWPanel.h"
#include "ui/PWScreen.h"
#include "ui/kelFont.h"

namespace {

void putCast(KelResFile& file, int32_t id, int16_t w, int16_t h, uint8_t maskByte)
{
    const int16_t strides[kKelCastVariants] = {0, kelCastStride(w, 2), 0, kelCastStride(w, 1)};
    uint8_t header[kKelCastHeaderSize];
    kelCastWriteHeader(w, h, strides, header);
    const std::vector<uint8_t> pixels(static_cast<size_t>(strides[1]) * h, 0x55);
    const std::vector<uint8_t> mask(static_cast<size_t>(strides[3]) * h, maskByte);
    file.SaveData(reinterpret_cast<const char*>(header), kKelCastHeaderSize, kelCastHeaderType, id);
    file.SaveData(reinterpret_cast<const char*>(pixels.data()), static_cast<long>(pixels.size()),
                  kelCastTypes[1], id);
    file.SaveData(reinterpret_cast<const char*>(mask.data()), static_cast<long>(mask.size()), kelCastTypes[3],
                  id);
}

void press(int16_t x, int16_t y)
{
    // The release is waiting already, so every drag and hold loop ends.
    plat::Event up;
    up.type = plat::Event::Type::MouseUp;
    up.x = x;
    up.y = y;
    static_cast<plat::HeadlessBackend&>(plat::backend()).push(up);
    kelGlo.mouseX = x;
    kelGlo.mouseY = y;
    kelGlo.buttonDown = 1;
    kelGlo.what = kelMouseDown;
    kelGlo.ticks += 100;
    kelGlo.pressTicks = kelGlo.ticks;
    PWScreen.events();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    kelDebugFlag = 0;
    if (size < 9) return 0;
    std::vector<uint8_t> payload(data + 9, data + size);
    payload.resize(static_cast<size_t>(kKelLayoutSizeLarge), 0);

    const std::string kel = fuzzfiles::kelPath("panel.xrs");
    {
        KelResFile file;
        file.SetWorkName(kel.c_str());
        KEL_FileDelete(kel.c_str());
        if (!file.Create()) return 0;
        putCast(file, 1, 12, 9, 0x00);
        putCast(file, 2, 16, 160, 0x80);
        putCast(file, 3, 700, 20, 0xFF);
        putCast(file, 500, 64, 13, 0x00);
        file.SaveData(reinterpret_cast<const char*>(payload.data()), kKelLayoutSizeLarge, kelLayoutType, 1);
        if (!file.Close()) return 0;
    }
    KelCasts casts;
    if (!casts.OpenResFile(kel.c_str())) return 0;
    casts.ParseResources();

    plat::setBackend(std::make_unique<plat::HeadlessBackend>(800, 600));
    plat::backend().openWindow(1, 800, 600, "");
    kelGlo = kelGloRec{};
    kelGlo.running = 1;
    kelGlo.screenWidth = 800;
    kelGlo.screenHeight = 600;
    PWScreen.reset();
    PWScreen.setup();
    PWScreen.resized();
    PWScreen.drawable = 1;
    PWFont.setup(&casts, 500);
    {
        PWPanelClass panel;
        panel.attachLayouts(1, -1, -1, &casts, &PWScreen.stage);
        PWScreen.connect(&panel, 0, 0);
        PWScreen.setProps(0, static_cast<int16_t>(kelGetBE16(data + 1)),
                          static_cast<int16_t>(kelGetBE16(data + 3)), 0, 0);
        PWScreen.changeAllColors(static_cast<int16_t>(data[0] % 12));
        const kelRect whole(0, 0, 800, 600);
        PWScreen.update(&whole);
        for (int16_t i = 0; i < panel.controlCount; ++i) {
            kelPanelControl* c = panel.control(i);
            press(static_cast<int16_t>(c->rect.left + c->rect.width() / 2),
                  static_cast<int16_t>(c->rect.top + c->rect.height() / 2));
            const int16_t v = static_cast<int16_t>(kelGetBE16(data + 5 + (i % 2) * 2));
            c->set(v);
            for (int16_t property :
                 {0, 1, 2, 10, 64, 65, 67, 1404, 1405, 1406, 1407, 1408, 1409, 1600, 1603, 1606})
                c->set(property, v);
            c->get(1600);
            c->get(1605);
            char text[] = "a text of the fuzzer";
            c->setValue(text);
            c->setValue(v, text);
            kelGlo.what = kelKeyDown;
            // Every key but the space bar, whose press a button holds for half a second.
            kelGlo.keyChar = static_cast<uint8_t>(v) == ' ' ? kelArrowRight : static_cast<uint8_t>(v);
            panel.events();
            kelGlo.what = kelNullEvent;
            kelGlo.ticks += 7;
            panel.idleControls = 1;
            panel.events();
        }
        PWScreen.update(&whole);
        PWScreen.reset();
    }
    PWFont.reset();
    plat::clearBackend();
    return 0;
}
