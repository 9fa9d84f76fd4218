// The desktop backend on SDL's offscreen video driver: the whole-factor
// scaling of the screen image and of mouse positions, key translation.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/PlatSdl.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BEATLOOM_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(BEATLOOM_ASAN)
#include <sanitizer/lsan_interface.h>
#define SDL_LEAKS_IGNORED_BEGIN() __lsan_disable()
#define SDL_LEAKS_IGNORED_END() __lsan_enable()
#else
#define SDL_LEAKS_IGNORED_BEGIN()
#define SDL_LEAKS_IGNORED_END()
#endif

namespace {

// The video drivers keep allocations of libraries they load and unload;
// those are not ours to free, so the leak checker looks away during these tests.
class SdlBackendTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        SDL_LEAKS_IGNORED_BEGIN();
        std::string error;
        backend = plat::makeSdlBackend(error);
        if (!backend) GTEST_SKIP() << "no SDL video: " << error;
    }
    void TearDown() override
    {
        backend.reset();
        SDL_LEAKS_IGNORED_END();
    }

    // Takes events until one of the wanted type arrives (or none is left).
    bool next(plat::Event::Type type, plat::Event& out)
    {
        for (int tries = 0; tries < 50; ++tries) {
            SDL_Delay(5);
            while (backend->pollEvent(out))
                if (out.type == type) return true;
        }
        return false;
    }

    std::unique_ptr<plat::Backend> backend;
};

// A 640 x 480 picture: left half pure red, right half pure blue.
std::vector<uint16_t> halves(int w, int h)
{
    std::vector<uint16_t> px(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) px[static_cast<size_t>(y) * w + x] = x < w / 2 ? 0x7C00 : 0x001F;
    return px;
}

TEST_F(SdlBackendTest, TheWindowShowsWhatChangedAndNeverAnUnchangedFrame)
{
    // The offscreen display is smaller than this: the window is kept to it
    // (larger displays, and the scaling, are seen under a virtual X server).
    ASSERT_TRUE(backend->openWindow(0, 1300, 980, "t"));
    plat::Event e;
    next(plat::Event::Type::Resize, e);  // lets the new window settle
    int cw = 0, ch = 0;
    ASSERT_TRUE(backend->clientSize(cw, ch));
    EXPECT_LE(cw, 1300);
    const auto px = halves(cw, ch);
    std::vector<uint16_t> bottomUp(px.size());  // rows bottom-up, as the screen image keeps them
    for (int y = 0; y < ch; ++y)
        std::copy_n(px.begin() + static_cast<long>(y) * cw, cw,
                    bottomUp.begin() + static_cast<long>(ch - 1 - y) * cw);
    backend->present(bottomUp.data(), cw * 2, cw, ch, 0, 0, cw, ch);
    std::vector<uint8_t> rgb;
    int w = 0, h = 0;
    ASSERT_TRUE(plat::readSdlWindowRgb(*backend, rgb, w, h));
    // The picture fills the window, scaled: a logical point shows at the
    // middle of its scaled square.
    const plat::WindowFit f = backend->windowFit();
    const double s = f.scale();
    auto at = [&](int x, int y) {
        return &rgb[(static_cast<size_t>(f.offsetY + (y + 0.5) * s) * w +
                     static_cast<size_t>(f.offsetX + (x + 0.5) * s)) *
                    3];
    };
    EXPECT_EQ(at(10, 10)[0], 255);       // red
    EXPECT_EQ(at(cw - 10, 10)[2], 255);  // blue
    // The same picture again is not shown again; one changed pixel is.
    const long frames = plat::sdlFramesShown(*backend);
    for (int i = 0; i < 5; ++i) {
        SDL_Delay(20);
        backend->present(bottomUp.data(), cw * 2, cw, ch, 0, 0, cw, ch);
        backend->flush();
    }
    EXPECT_EQ(plat::sdlFramesShown(*backend), frames);
    bottomUp[static_cast<size_t>(ch - 1 - 5) * cw + 5] = 0x03E0;  // (5, 5) green
    SDL_Delay(20);
    backend->present(bottomUp.data(), cw * 2, cw, ch, 0, 0, cw, ch);
    backend->flush();
    EXPECT_EQ(plat::sdlFramesShown(*backend), frames + 1);
    ASSERT_TRUE(plat::readSdlWindowRgb(*backend, rgb, w, h));
    EXPECT_GE(at(5, 5)[1], 127);  // mostly green, blended at most with a neighbour

    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    motion.motion.windowID = 0;
    motion.motion.x = 301;
    motion.motion.y = 201;
    SDL_PushEvent(&motion);
    ASSERT_TRUE(next(plat::Event::Type::MouseMove, e));
    EXPECT_EQ(e.x, static_cast<int>((301 - f.offsetX + 0.5) / s));
    EXPECT_EQ(e.y, static_cast<int>((201 - f.offsetY + 0.5) / s));
}

TEST_F(SdlBackendTest, TheWindowsLastPixelIsThePicturesAtAnySize)
{
    ASSERT_TRUE(backend->openWindow(0, 1000, 700, "t"));
    plat::Event e;
    auto clickCorner = [&] {
        SDL_Event click{};
        click.type = SDL_MOUSEBUTTONDOWN;
        click.button.button = SDL_BUTTON_LEFT;
        click.button.x = 999;
        click.button.y = 699;
        SDL_PushEvent(&click);
        return next(plat::Event::Type::MouseDown, e);
    };
    // Fitted: 1.46 times, the height limits.
    ASSERT_TRUE(clickCorner());
    EXPECT_EQ(e.x, backend->windowFit().width - 1);
    EXPECT_EQ(e.y, 479);
    // At the stage's own size nothing is scaled.
    backend->setStageSize(100);
    ASSERT_TRUE(next(plat::Event::Type::Resize, e));
    EXPECT_EQ(e.x, 1000);
    ASSERT_TRUE(clickCorner());
    EXPECT_EQ(e.x, 999);
    EXPECT_EQ(e.y, 699);
}

TEST_F(SdlBackendTest, KeysTranslateAsAUsKeyboardTypesThem)
{
    ASSERT_TRUE(backend->openWindow(0, 640, 480, "t"));
    auto press = [](SDL_Keycode k, Uint16 mod, Uint8 repeat = 0) {
        SDL_Event key{};
        key.type = SDL_KEYDOWN;
        key.key.keysym.sym = k;
        key.key.keysym.mod = mod;
        key.key.repeat = repeat;
        SDL_PushEvent(&key);
    };
    press(SDLK_q, KMOD_NONE);
    press(SDLK_q, KMOD_LSHIFT);
    press(SDLK_5, KMOD_LSHIFT);
    press(SDLK_KP_3, KMOD_NONE);
    press(SDLK_F7, KMOD_NONE, 1);
    plat::Event e;
    ASSERT_TRUE(next(plat::Event::Type::KeyDown, e));
    EXPECT_EQ(e.character, 'q');
    ASSERT_TRUE(next(plat::Event::Type::KeyDown, e));
    EXPECT_EQ(e.character, 'Q');
    ASSERT_TRUE(next(plat::Event::Type::KeyDown, e));
    EXPECT_EQ(e.character, '%');
    ASSERT_TRUE(next(plat::Event::Type::KeyDown, e));
    EXPECT_EQ(e.key, plat::Key::Kp3);
    ASSERT_TRUE(next(plat::Event::Type::KeyDown, e));
    EXPECT_EQ(e.key, plat::Key::F7);
    EXPECT_TRUE(e.repeat);
}

TEST_F(SdlBackendTest, TheWheelComesWithItsPlaceAndItsNotchesAwayFromTheUser)
{
    ASSERT_TRUE(backend->openWindow(0, 640, 480, "t"));
    auto turn = [](int notches, Uint32 direction) {
        SDL_Event w{};
        w.type = SDL_MOUSEWHEEL;
        w.wheel.y = notches;
        w.wheel.direction = direction;
        w.wheel.mouseX = 100;
        w.wheel.mouseY = 50;
        SDL_PushEvent(&w);
    };
    turn(2, SDL_MOUSEWHEEL_NORMAL);
    turn(0, SDL_MOUSEWHEEL_NORMAL);  // a sideways turn only: nothing
    turn(1, SDL_MOUSEWHEEL_FLIPPED);
    plat::Event e;
    ASSERT_TRUE(next(plat::Event::Type::MouseWheel, e));
    EXPECT_EQ(e.wheel, 2);
    EXPECT_EQ(e.x, 100);
    EXPECT_EQ(e.y, 50);
    ASSERT_TRUE(next(plat::Event::Type::MouseWheel, e));
    EXPECT_EQ(e.wheel, -1);
}

}  // namespace

// Keys and clicks that came while a question box held the window are
// dropped with it; those from before it, and the window's own news, stay.
TEST_F(SdlBackendTest, InputQueuedWhileABoxWasUpIsDropped)
{
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    const Uint32 shown = SDL_GetTicks() + 1000;
    const auto add = [](Uint32 type, Uint32 at) {
        SDL_Event e{};
        e.type = type;
        e.common.timestamp = at;
        ASSERT_EQ(SDL_PeepEvents(&e, 1, SDL_ADDEVENT, 0, 0), 1);
    };
    add(SDL_MOUSEBUTTONDOWN, shown - 500);
    add(SDL_MOUSEBUTTONDOWN, shown + 10);
    add(SDL_KEYDOWN, shown + 20);
    add(SDL_WINDOWEVENT, shown + 30);
    plat::sdlDropInputFrom(shown);
    std::vector<std::pair<Uint32, Uint32>> left;
    for (SDL_Event e; SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1;)
        left.emplace_back(e.type, e.common.timestamp);
    EXPECT_EQ(left, (std::vector<std::pair<Uint32, Uint32>>{{SDL_MOUSEBUTTONDOWN, shown - 500},
                                                            {SDL_WINDOWEVENT, shown + 30}}));
}
