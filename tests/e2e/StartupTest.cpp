// The whole start-up and shut-down on the real skin, run in this process so
// that the test can change the window's size and the colour scheme while the
// program runs, and look at its panels.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <typeinfo>
#include <filesystem>

#include "audio/BLEngine.h"
#include "core/FileTestUtil.h"
#include "core/kelCasts.h"
#include "e2e/ScreenPictures.h"
#include "library/BLprefs.h"
#include "panels/help/BLHelps.h"
#include "net/BLNetPanel.h"
#include "panels/browser/BLLoadPanel.h"
#include "panels/player/BLPlayer.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/startup/PWPlaceholderPanel.h"
#include "panels/startup/PWmain.h"
#include "platform/PlatHeadless.h"
#include "support/TestSupport.h"
#include "ui/PWPanel.h"
#include "ui/PWScreen.h"
#include "ui/kelFont.h"

namespace {

class Startup : public ::testing::Test {
protected:
    void SetUp() override { start(0, 0); }
    // Starts the program on a monitor (1024 x 768 unless given); a window of
    // another client size when given (as a window system that keeps room for
    // its panels does).
    void start(int clientWidth, int clientHeight, int monitorWidth = 1024, int monitorHeight = 768)
    {
        auto b = std::make_unique<plat::HeadlessBackend>(monitorWidth, monitorHeight);
        if (clientWidth > 0) b->setClientSize(clientWidth, clientHeight);
        backend = b.get();
        plat::setBackend(std::move(b));
        kelGlo = kelGloRec{};
        windowsCommandLine[0] = '\0';
        std::snprintf(PWprogramFile, sizeof PWprogramFile, "%s", dir.program().c_str());
        ASSERT_TRUE(KEL_Platform_Init());
        ASSERT_EQ(PW_InitAll(), 1);
        pump();
    }
    void TearDown() override
    {
        if (PWfloatPanelPtr[0]) PW_ExitAll();
        plat::clearBackend();
    }
    void restart(int clientWidth, int clientHeight, int monitorWidth = 1024, int monitorHeight = 768)
    {
        PW_ExitAll();
        plat::clearBackend();
        start(clientWidth, clientHeight, monitorWidth, monitorHeight);
    }
    // A click at a point of the window (window pixels), taken as the main loop would.
    void clickAt(int x, int y)
    {
        plat::Event e;
        e.type = plat::Event::Type::MouseDown;
        e.x = x;
        e.y = y;
        backend->push(e);
        e.type = plat::Event::Type::MouseUp;
        backend->push(e, 20);
        for (int i = 0; i < 200 && backend->pending() > 0; ++i) {
            pump();
            plat::sleepMs(1);
        }
        pump();
    }
    // Everything waiting, as the main loop would take it.
    void pump()
    {
        const KelAppHooks hooks = PW_AppHooks();
        while (KEL_HandleOneMessage(hooks)) {
        }
    }
    uint16_t shown(int x, int y) const { return backend->screen().row(y)[x]; }

    testsupport::ProgramDir dir;
    filetest::CurrentDir keepCwd{dir.path()};
    plat::HeadlessBackend* backend = nullptr;
    e2e::SkinPictures skin{testsupport::programDir() + "/Beatloom.xrs"};
};

TEST_F(Startup, EveryPanelIsBuiltPlacedAndConnected)
{
    const char* names[] = {"BLGroovePanel", "BLVMixPanel", "BLSynthPanel", "BLNetPanel",
                           "BLLoopTunerPanel", "BLRandMixPanel", "BLLoadPanel", "BLLoadSynthPanel",
                           "BLPrefsPanel", "BLInfoPanel", "BLProgressPanel", "BLMakeSongPanel"};
    const uint8_t draggable[] = {0, 0, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0};
    for (int16_t i = 0; i < kPanelSlots; ++i) {
        PWPanelClass* p = PWfloatPanelPtr[i];
        ASSERT_NE(p, nullptr) << i;
        // Its own class (named as the compiler names a global class), or a
        // placeholder that carries the name.
        if (auto* placeholder = dynamic_cast<PWPlaceholderPanel*>(p))
            EXPECT_EQ(placeholder->className, names[i]);
        else
            EXPECT_EQ(typeid(*p).name(), std::to_string(std::strlen(names[i])) + names[i]);
        EXPECT_EQ(PWScreen.panel(i), p);
        EXPECT_EQ(PWScreen.links[static_cast<size_t>(i)].draggable, draggable[i]) << i;
        EXPECT_GT(p->controlCount, 0) << names[i] << " shows its layout";
        EXPECT_EQ(PWScreen.isVisible(i), i == kPWGroovePanel || i == kPWLoadPanel) << i;
    }
    // The groove panel's three layouts; the others' second and third are none.
    EXPECT_NE(PWfloatPanelPtr[0]->layouts[1], nullptr);
    EXPECT_NE(PWfloatPanelPtr[0]->layouts[2], nullptr);
    EXPECT_EQ(PWfloatPanelPtr[6]->layouts[1], nullptr);
    EXPECT_NE(PWfloatPanelPtr[2]->layouts[1], nullptr);
    EXPECT_NE(gep, nullptr);
    EXPECT_NE(blPlayer, nullptr);
    EXPECT_EQ(PWScreen.help, blHelpp);
    EXPECT_TRUE(PWFont.parsed);
    EXPECT_EQ(PWScreen.stage, kelRect(192, 144, 832, 624));
    EXPECT_EQ(backend->title(), "Beatloom 2.0");
}

TEST_F(Startup, AResizeCentresTheStageAgainWithItsFloatingPanels)
{
    EXPECT_EQ(PWfloatPanelPtr[0]->background()->rect, kelRect(192, 144, 832, 624));
    const kelRect before = PWfloatPanelPtr[kPWLoadPanel]->background()->rect;
    std::string error;
    ASSERT_TRUE(backend->parseScript("resize 800 600\n", error)) << error;
    pump();
    EXPECT_EQ(PWScreen.stage, kelRect(80, 60, 720, 540));
    EXPECT_EQ(PWfloatPanelPtr[0]->background()->rect, kelRect(80, 60, 720, 540));
    EXPECT_EQ(shown(79, 300), 0);
    EXPECT_EQ(shown(80 + 20, 60 + 470), skin.pixel(e2e::kGrooveBack, 20, 470));
    EXPECT_EQ(shown(80 + 630, 60 + 100), skin.pixel(e2e::kGrooveBack, 630, 100));
    // The browser keeps its place on the stage.
    kelRect moved = before;
    moved.offset(80 - 192, 60 - 144);
    EXPECT_EQ(PWfloatPanelPtr[kPWLoadPanel]->background()->rect, moved);
    // A drag cannot take it off the stage.
    const kelRect back = PWfloatPanelPtr[kPWLoadPanel]->background()->rect;
    plat::Event e;
    e.type = plat::Event::Type::MouseDown;
    e.x = back.left + 171;
    e.y = back.top + 14;
    backend->push(e);
    e.type = plat::Event::Type::MouseMove;
    e.x = 5000;
    e.y = 5000;
    backend->push(e, 10);
    e.type = plat::Event::Type::MouseUp;
    backend->push(e, 10);
    for (int i = 0; i < 100 && backend->pending() > 0; ++i) {
        pump();
        plat::sleepMs(1);
    }
    EXPECT_EQ(PWfloatPanelPtr[kPWLoadPanel]->background()->rect.right, 720);
    EXPECT_EQ(PWfloatPanelPtr[kPWLoadPanel]->background()->rect.bottom, 540);
}

TEST_F(Startup, EveryMonitorShowsTheStageCentredScaledAndWorkingWithTheMouse)
{
    struct Monitor {
        int w, h, scale;
    };
    for (const Monitor m : {Monitor{1024, 768, 1}, Monitor{1280, 800, 1}, Monitor{1920, 1080, 2},
                            Monitor{2560, 1440, 3}, Monitor{3840, 2160, 4}}) {
        SCOPED_TRACE(std::to_string(m.w) + "x" + std::to_string(m.h));
        restart(0, 0, m.w, m.h);
        const int lw = m.w / m.scale, lh = m.h / m.scale;
        const int ox = (lw - 640) / 2, oy = (lh - 480) / 2;
        EXPECT_EQ(PWScreen.stage, kelRect(ox, oy, ox + 640, oy + 480));
        // The browser over the middle of the stage, on it whole.
        const kelRect browser = PWfloatPanelPtr[kPWLoadPanel]->background()->rect;
        EXPECT_TRUE(PWScreen.stage.contains(browser));
        EXPECT_EQ(browser.left + browser.width() / 2, ox + 320);
        // What the window shows, at its own size: black around the stage.
        const int px = (m.w - lw * m.scale) / 2, py = (m.h - lh * m.scale) / 2;
        if (m.scale > 1 && m.w <= 2560) {
            const std::string path = dir.file("monitor.png");
            ASSERT_TRUE(backend->saveScreenPng(path));
            e2e::Shot shot(path);
            ASSERT_EQ(shot.width(), m.w);
            const int sx = px + ox * m.scale, sy = py + oy * m.scale;
            EXPECT_EQ(shot.at(sx + 20 * m.scale, sy + 470 * m.scale), skin.pixel(e2e::kGrooveBack, 20, 470));
            EXPECT_EQ(shot.at(sx + 630 * m.scale + m.scale - 1, sy + 100 * m.scale), skin.pixel(e2e::kGrooveBack, 630, 100));
            EXPECT_EQ(shot.at(sx - 1, sy + 100), 0);
            if (sy + 480 * m.scale < m.h) {
                EXPECT_EQ(shot.at(sx + 100, sy + 480 * m.scale), 0);
            }
        }
        // A click on the browser's close button, in window pixels, closes it.
        clickAt(px + (browser.left + e2e::kCloseX) * m.scale + m.scale / 2,
                py + (browser.top + e2e::kCloseY) * m.scale + m.scale / 2);
        EXPECT_FALSE(PWScreen.isVisible(kPWLoadPanel));
        // Floating panels open on the stage.
        for (int16_t i : {kPWSynthPanel, kPWNetPanel, kPWLoopTunerPanel, kPWPrefsPanel}) {
            PWScreen.show(i);
            EXPECT_TRUE(PWScreen.stage.contains(PWfloatPanelPtr[i]->background()->rect)) << i;
            PWScreen.hide(i);
        }
    }
}

TEST_F(Startup, AWindowSmallerThanAskedStillShowsTheBrowserCentredOnTheStage)
{
    restart(800, 600);
    EXPECT_EQ(PWScreen.stage, kelRect(80, 60, 720, 540));
    const kelRect browser = PWfloatPanelPtr[kPWLoadPanel]->background()->rect;
    EXPECT_EQ(browser.left, 80 + 37);
    EXPECT_EQ(browser.top, 60 + 37);
    EXPECT_EQ(shown(80 + 37 + 280, 60 + 37 + 200), skin.pixel(e2e::kBrowserBack, 280, 200));
}

TEST_F(Startup, ColourSchemesChangeTheBackgroundsOfTheFourMainPanels)
{
    PWScreen.changeAllColors(3);
    EXPECT_EQ(shown(192 + 20, 144 + 470), skin.pixel(e2e::kGrooveBack + 3, 20, 470));
    EXPECT_NE(skin.pixel(e2e::kGrooveBack + 3, 20, 470), skin.pixel(e2e::kGrooveBack, 20, 470));
    PWScreen.hide(kPWLoadPanel);  // it lies over the synth panel
    PWScreen.show(kPWSynthPanel);
    const kelRect synth = PWfloatPanelPtr[kPWSynthPanel]->background()->rect;
    EXPECT_EQ(shown(synth.left + 590, synth.top + 150), skin.pixel(1020 + 3, 590, 150));
    PWScreen.changeAllColors(0);
    EXPECT_EQ(shown(192 + 20, 144 + 470), skin.pixel(e2e::kGrooveBack, 20, 470));
    EXPECT_EQ(shown(synth.left + 590, synth.top + 150), skin.pixel(1020, 590, 150));
}

TEST_F(Startup, ThePreferencesSurviveARestartAndGiveTheColourScheme)
{
    PW_ExitAll();
    EXPECT_TRUE(std::filesystem::exists(dir.file("Beatloom.prf")));  // written at shut-down
    blPrefs.interfaceColor = 5;
    ASSERT_TRUE(blPrefs.save());
    blPrefs.interfaceColor = 0;
    ASSERT_EQ(PW_InitAll(), 1);  // loads them again
    pump();
    EXPECT_EQ(blPrefs.interfaceColor, 5);
    EXPECT_EQ(shown(192 + 20, 144 + 470), skin.pixel(e2e::kGrooveBack + 5, 20, 470));
    blPrefs.interfaceColor = 0;
}

TEST_F(Startup, ShutDownLeavesNothingBehind)
{
    PW_ExitAll();
    for (PWPanelClass* p : PWfloatPanelPtr) EXPECT_EQ(p, nullptr);
    EXPECT_EQ(gep, nullptr);
    EXPECT_EQ(blPlayer, nullptr);
    EXPECT_EQ(blHelpp, nullptr);
    EXPECT_EQ(PWCasts.count, 0);
    EXPECT_FALSE(PWScreen.ready);
    EXPECT_FALSE(backend->hasWindow());
    EXPECT_FALSE(PWFont.parsed);
    // And it starts again.
    ASSERT_EQ(PW_InitAll(), 1);
    pump();
    EXPECT_TRUE(PWScreen.isVisible(kPWLoadPanel));
}

}  // namespace
