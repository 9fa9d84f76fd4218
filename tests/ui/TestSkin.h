// A small skin written by the tests: a resource file with a few pictures, a
// font and one layout holding an item of each control kind, and the
// headless screen the panels draw on.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "core/kelCasts.h"
#include "core/kelCore.h"
#include "core/kelLayouts.h"
#include "core/kelRes.h"
#include "platform/PlatHeadless.h"
#include "support/TestSupport.h"
#include "ui/PWPanel.h"
#include "ui/PWScreen.h"

namespace testskin {

// Picture ids of the test skin.
enum : int32_t {
    kBack0 = 1,      // 640 x 480 solid kBackColour0, no mask
    kBack1 = 2,      // 640 x 480 solid kBackColour1, no mask
    kFloatBack = 3,  // 200 x 100 solid kFloatColour, a 6-pixel faint shadow right and bottom
    kButtonUp = 10,  // 20 x 20 red disc, outside it transparent
    kButtonDown = 11,
    kThumb = 20,      // 10 x 10 white, opaque
    kThumbTall = 21,  // 10 x 20 white, opaque
    kSegment = 30,    // 8 x 4 white, opaque
    kBar = 31,        // 200 x 6 white, opaque
    kFilm = 40,       // 16 x 16 frames, 12 of them: frame f is grey level f
    kLabel = 50,      // 30 x 12, opaque
    kTitle = 60,      // 40 x 10 solid green, no mask
    kFont = 500,      // glyphs 5 wide (the ellipsis 6), 8 high, white
};

constexpr int16_t kBackColour0 = 0x0842;
constexpr int16_t kBackColour1 = 0x1084;
constexpr int16_t kFloatColour = 0x294A;
constexpr int16_t kButtonColourUp = 0x7C00;
constexpr int16_t kButtonColourDown = 0x03E0;
constexpr int16_t kTitleColour = 0x03E0;

// Control numbers in the test layout (layout 1 of the skin).
enum : int16_t {
    kBackItem = 0,
    kButtonItem = 1,
    kStaticCastItem = 2,
    kImageItem = 3,
    kCheckItem = 4,
    kRadioA = 5,  // value 0, group 1
    kRadioB = 6,  // value 1
    kRadioC = 7,  // value 2
    kTextItem = 8,
    kScrollItem = 9,  // vertical, 100 high, thumb 20 high, range 0..80
    kRoundItem = 10,  // 0..100 over 135..405 degrees
    kLevelItem = 11,
    kProgressItem = 12,  // 200 wide
    kRotorItem = 13,
    kFluidItem = 14,   // 12 frames, rise 3 every 2 ticks, fall 1 every tick, rest 0, hold 30
    kRotaryItem = 15,  // 64 values
    kFilmItem = 16,
    kPopupItem = 17,
    kDraggerItem = 18,
    kReceiverItem = 19,
    kReceiverItem2 = 20,
    kImageBarItem = 21,
    kSpectreItem = 22,
    kImageIDItem = 23,
    kImagePtrItem = 24,
    kHiliteItem = 25,
    kProScrollItem = 26,  // horizontal, 110 wide, 10-pixel thumb, 0..100
    kStdButtonItem = 27,
    kUnknownKindItem = 28,  // kind 35: no control
    kHiddenItem = 29,       // state 0
    kItemCount = 30,
};

// A layout item in a few words.
kelLayoutItem item(int16_t kind, int16_t state, int16_t x, int16_t y, int16_t w, int16_t h,
                   std::initializer_list<int32_t> images = {},
                   std::initializer_list<std::pair<int, int16_t>> aux = {});

class Skin {
public:
    Skin();
    // The resource file's path and its open cast table.
    std::string path;
    KelResFile file;
    KelCasts casts;
    testsupport::TempDir dir{"skin"};

    // The test layout, with item i placed as given; written under id 1.
    static kelLayoutData testLayout();
    // A floating panel's layout: its background (kFloatBack) and a close button.
    static kelLayoutData floatingLayout();

private:
    void write();
};

// The headless window and the screen the tests compose on, at a client size.
class Stage {
public:
    Stage(int width = 640, int height = 480);
    ~Stage();
    uint16_t shown(int x, int y) const { return backend->screen().row(y)[x]; }
    uint16_t composed(int x, int y) const { return static_cast<uint16_t>(PWScreen.image.getPixel(x, y)); }
    // Mouse events the controls' drag loops take, `delayMs` after the previous one.
    void mouse(plat::Event::Type type, int x, int y, uint32_t delayMs = 0);
    // Runs a mouse-down at (x, y) through the screen as the main loop would.
    void pressAt(int16_t x, int16_t y);

    plat::HeadlessBackend* backend = nullptr;
};

// A panel of the test skin connected to the screen at index 0 (visible).
class TestPanel : public PWPanelClass {
public:
    void onItem() override;
    void onIdle() override
    {
        ++idles;
        if (onIdleHook && liveChange) onIdleHook(*this);
    }

    std::vector<int16_t> items;  // hitItem at each onItem
    std::vector<uint8_t> live;   // liveChange at each onItem
    int idles = 0;
    std::function<void(TestPanel&)> onItemHook;
    // Runs at each idle call a control makes while the mouse is held.
    std::function<void(TestPanel&)> onIdleHook;
};

}  // namespace testskin

#include <gtest/gtest.h>

#include "ui/kelFont.h"

namespace testskin {

// A panel built from the test layout, connected to the screen as panel 0
// over a 640 x 480 window, the skin font set up.
class SkinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        PWFont.setup(&skin.casts, kFont);
        panel.attachLayouts(1, -1, -1, &skin.casts, &PWScreen.stage);
        PWScreen.connect(&panel, 0, 0);
        PWScreen.setProps(0, 0, 0, 0, 0);
    }
    void TearDown() override { PWFont.reset(); }
    void refreshAll()
    {
        const kelRect whole(0, 0, kelGlo.screenWidth, kelGlo.screenHeight);
        PWScreen.update(&whole);
    }
    template <typename T>
    T* controlAs(int16_t i)
    {
        return dynamic_cast<T*>(panel.control(i));
    }

    Stage stage;
    Skin skin;
    TestPanel panel;
};

}  // namespace testskin
