// The whole start-up and shut-down on the real skin, run in this process so
// that the test can change the window's size and the colour scheme while the
// program runs, and look at its panels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <typeinfo>

#include "audio/BLEngine.h"
#include "control/BLOscControls.h"
#include "control/BLPlayer.h"
#include "core/FileTestUtil.h"
#include "core/kelCasts.h"
#include "e2e/GrooveSession.h"
#include "e2e/ScreenPictures.h"
#include "library/BLprefs.h"
#include "net/BLNetPanel.h"
#include "panels/browser/BLLoadPanel.h"
#include "panels/groove/BLGrooveItems.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/help/BLHelps.h"
#include "panels/help/BLInfoPanel.h"
#include "panels/prefs/BLPrefsPanel.h"
#include "panels/startup/PWPlaceholderPanel.h"
#include "panels/startup/PWmain.h"
#include "platform/PlatHeadless.h"
#include "platform/PlatOsc.h"
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
        if (fit) b->setDefaultStageSize(plat::kStageFit);
        if (clientWidth > 0) b->setClientSize(clientWidth, clientHeight);
        backend = b.get();
        plat::setBackend(std::move(b));
        kelGlo = kelGloRec{};
        // What an earlier start in this process left in the preferences is
        // not this folder's: its own file gives them, or nothing does.
        blPrefs.mainWindow = kelRect();
        blPrefs.stageSize = plat::kStageSizeDefault;
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
        runPushed();
    }
    void pressEscape()
    {
        plat::Event k;
        k.type = plat::Event::Type::KeyDown;
        k.key = plat::Key::Escape;
        backend->push(k);
        k.type = plat::Event::Type::KeyUp;
        backend->push(k, 10);
        runPushed();
    }
    void runPushed()
    {
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
    bool fit = false;  // the stage fits the window, as on a desktop
    e2e::SkinPictures skin{testsupport::programDir() + "/Beatloom.xrs"};
};

TEST_F(Startup, EveryPanelIsBuiltPlacedAndConnected)
{
    const char* names[] = {"BLGroovePanel",    "BLVMixPanel",    "BLSynthPanel",    "BLNetPanel",
                           "BLLoopTunerPanel", "BLRandMixPanel", "BLLoadPanel",     "BLLoadSynthPanel",
                           "BLPrefsPanel",     "BLInfoPanel",    "BLProgressPanel", "BLMakeSongPanel",
                           "BLEffectsPanel"};
    const uint8_t draggable[] = {0, 0, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 1};
    static_assert(std::size(draggable) == kPanelSlots);
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

TEST_F(Startup, EveryMonitorShowsTheStageFillingItAndEveryControlTakesItsClicks)
{
    fit = true;
    for (const plat::MonitorInfo m : {plat::MonitorInfo{1280, 800, 32}, plat::MonitorInfo{1366, 768, 32},
                                      plat::MonitorInfo{1920, 1080, 32}, plat::MonitorInfo{2560, 1440, 32}}) {
        SCOPED_TRACE(std::to_string(m.width) + "x" + std::to_string(m.height));
        restart(0, 0, m.width, m.height);
        const plat::WindowFit f = backend->windowFit();
        const double s = f.scale();
        // The stage fills the window's width or height, whichever limits it.
        EXPECT_GE(std::max(640 * s / m.width, 480 * s / m.height), 0.9);
        const int ox = PWScreen.stage.left, oy = PWScreen.stage.top;
        EXPECT_EQ(PWScreen.stage, kelRect(ox, oy, ox + 640, oy + 480));
        // Centred to a logical pixel.
        EXPECT_NEAR(f.toWindowX(ox) + f.toWindowX(ox + 640), m.width, 2 * s + 1);
        EXPECT_NEAR(f.toWindowY(oy) + f.toWindowY(oy + 480), m.height, 2 * s + 1);
        // A stage point as the window shows it: the middle of its scaled square.
        auto windowX = [&](int x) { return static_cast<int>(f.offsetX + (x + 0.5) * s); };
        auto windowY = [&](int y) { return static_cast<int>(f.offsetY + (y + 0.5) * s); };
        const kelRect browser = PWfloatPanelPtr[kPWLoadPanel]->background()->rect;
        EXPECT_TRUE(PWScreen.stage.contains(browser));
        EXPECT_EQ(browser.left + browser.width() / 2, ox + 320);
        // What the window shows: the stage whole, black around it.
        const std::string path = dir.file("monitor.png");
        ASSERT_TRUE(backend->saveScreenPng(path));
        groovee2e::GrooveSession::keepScreen(
            path, "fit-" + std::to_string(m.width) + "x" + std::to_string(m.height));
        e2e::Shot shot(path);
        ASSERT_EQ(shot.width(), m.width);
        EXPECT_TRUE(e2e::nearColour(shot.at(windowX(ox + 20), windowY(oy + 470)),
                                    skin.pixel(e2e::kGrooveBack, 20, 470)));
        EXPECT_TRUE(e2e::nearColour(shot.at(windowX(ox + 630), windowY(oy + 100)),
                                    skin.pixel(e2e::kGrooveBack, 630, 100)));
        EXPECT_TRUE(e2e::nearColour(shot.at(windowX(browser.left + 280), windowY(browser.top + 200)),
                                    skin.pixel(e2e::kBrowserBack, 280, 200)));
        if (f.toWindowX(ox) >= 2) {
            EXPECT_EQ(shot.at(f.toWindowX(ox) - 2, m.height / 2), 0);
        }
        // A click on the browser's close button, in window pixels, closes it.
        clickAt(windowX(browser.left + e2e::kCloseX), windowY(browser.top + e2e::kCloseY));
        EXPECT_FALSE(PWScreen.isVisible(kPWLoadPanel));
        // Near the stage's corners and its middle, the nearest buttons that
        // act (without a song some decline) each take a click at their middle.
        PWPanelClass* groove = PWfloatPanelPtr[kPWGroovePanel];
        const std::pair<int, int> targets[] = {
            {ox, oy}, {ox + 640, oy}, {ox, oy + 480}, {ox + 640, oy + 480}, {ox + 320, oy + 240}};
        for (const auto& [tx, ty] : targets) {
            std::vector<std::pair<long, int16_t>> nearest;
            for (int16_t i = 1; i < groove->controlCount; ++i) {
                const kelPanelControl* c = groove->controls[static_cast<size_t>(i)];
                const bool pressable =
                    c->kind == kelKindButton || c->kind == kelKindCheck || c->kind == kelKindHiliteButton;
                if (!pressable || i == grooveitem::quit || !c->live() || c->rect.width() < 4 ||
                    c->rect.height() < 4)
                    continue;
                const long dx = (c->rect.left + c->rect.right) / 2 - tx,
                           dy = (c->rect.top + c->rect.bottom) / 2 - ty;
                nearest.emplace_back(dx * dx + dy * dy, i);
            }
            std::sort(nearest.begin(), nearest.end());
            nearest.resize(std::min<size_t>(nearest.size(), 3));
            int taken = 0;
            for (const auto& [distance, index] : nearest) {
                const kelRect r = groove->controls[static_cast<size_t>(index)]->rect;
                const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
                groove->hitItem = -2;
                clickAt(windowX(cx), windowY(cy));
                EXPECT_EQ(kelGlo.mouseX, cx);
                EXPECT_EQ(kelGlo.mouseY, cy);
                // Taken by that control, or declined by all (-1), never by another.
                EXPECT_TRUE(groove->hitItem == index || groove->hitItem == -1)
                    << "control " << index << " at " << cx - ox << ", " << cy - oy << " went to "
                    << groove->hitItem;
                taken += groove->hitItem == index;
                pressEscape();  // closes what the control opened
                for (int16_t i = 1; i < kPanelSlots; ++i) PWScreen.hide(i);
            }
            EXPECT_GE(taken, 1) << "near " << tx - ox << ", " << ty - oy;
        }
    }
}

TEST_F(Startup, CtrlPlusMinusAndZeroSizeTheStageAndTheNextStartKeepsSizeAndWindow)
{
    auto ctrl = [&](char c) {
        plat::Event e;
        e.type = plat::Event::Type::KeyDown;
        e.key = plat::Key::Control;
        backend->push(e);
        e.key = plat::Key::Other;
        e.character = static_cast<uint8_t>(c);
        backend->push(e, 5);
        e.type = plat::Event::Type::KeyUp;
        backend->push(e, 5);
        e.key = plat::Key::Control;
        e.character = 0;
        backend->push(e, 5);
        runPushed();
        return backend->windowFit().scale();
    };
    // 1024 x 768, the stage at its own size to begin with.
    EXPECT_EQ(ctrl('+'), 1.5);
    EXPECT_EQ(PWScreen.stage, kelRect(21, 16, 661, 496));  // centred in 682 x 512
    EXPECT_EQ(ctrl('-'), 1.0);
    EXPECT_EQ(ctrl('-'), 1.0);  // none smaller
    ctrl('=');
    EXPECT_EQ(ctrl('+'), 1.6);  // 200 % does not fit the monitor: what fits
    EXPECT_EQ(KEL_StageSize(), 200);
    EXPECT_EQ(ctrl('0'), 1.6);
    EXPECT_EQ(KEL_StageSize(), plat::kStageFit);
    EXPECT_EQ(PWScreen.stage, kelRect(0, 0, 640, 480));
    std::string error;
    ASSERT_TRUE(backend->parseScript("resize 800 600\n", error)) << error;
    pump();
    EXPECT_EQ(backend->windowFit().scale(), 1.25);
    restart(0, 0);
    EXPECT_EQ(backend->windowFit().windowWidth, 800);
    EXPECT_EQ(backend->windowFit().windowHeight, 600);
    EXPECT_EQ(backend->windowFit().scale(), 1.25);
    EXPECT_EQ(PWScreen.stage, kelRect(0, 0, 640, 480));
}

TEST_F(Startup, ThePreferencesSizeButtonSizesTheStageOnOkAndTheNextStartKeepsIt)
{
    PWScreen.hide(kPWLoadPanel);
    PWScreen.show(kPWPrefsPanel);
    auto* prefs = dynamic_cast<BLPrefsPanel*>(PWfloatPanelPtr[kPWPrefsPanel]);
    ASSERT_NE(prefs, nullptr);
    auto clickItem = [&](int16_t item) {
        const kelRect r = prefs->control(item)->rect;
        // The stage at its own size: window pixels.
        clickAt((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    };
    char name[64] = {};
    auto shownName = [&] {
        prefs->control(BLPrefsPanel::kItemStageSizeName)->getValue(name);
        return std::string(name);
    };
    EXPECT_EQ(shownName(), "Size: Fit");  // the backend's own choice until one is made
    clickItem(BLPrefsPanel::kItemStageSize);
    clickItem(BLPrefsPanel::kItemStageSize);
    EXPECT_EQ(shownName(), "Size: 150 %");
    EXPECT_EQ(backend->windowFit().scale(), 1.0) << "nothing changes before OK";
    clickItem(BLPrefsPanel::kItemOk);
    runPushed();
    EXPECT_FALSE(PWScreen.isVisible(kPWPrefsPanel));
    EXPECT_EQ(backend->windowFit().scale(), 1.5);
    EXPECT_EQ(PWScreen.stage, kelRect(21, 16, 661, 496));
    restart(0, 0);
    EXPECT_EQ(KEL_StageSize(), 150);
    EXPECT_EQ(backend->windowFit().scale(), 1.5);
}

// A message with names is made in UTF-8; the skin font draws the program's
// 8-bit set, where the French quotes and accents are one byte each.
TEST_F(Startup, InFrenchThePanelsDrawNamedMessagesInTheSkinsOwnCharacters)
{
    struct French {
        std::string before = std::getenv("LC_ALL") ? std::getenv("LC_ALL") : "";
        French() { setenv("LC_ALL", "fr_FR.UTF-8", 1); }
        ~French() { before.empty() ? unsetenv("LC_ALL") : setenv("LC_ALL", before.c_str(), 1); }
    } french;
    restart(0, 0);
    auto shownText = [](int16_t panel, int16_t item) {
        char text[256] = {};
        PWfloatPanelPtr[panel]->control(item)->getValue(text);
        return std::string(text);
    };
    PWScreen.hide(kPWLoadPanel);
    PWScreen.show(kPWPrefsPanel);
    auto* prefs = dynamic_cast<BLPrefsPanel*>(PWfloatPanelPtr[kPWPrefsPanel]);
    ASSERT_NE(prefs, nullptr);
    prefs->showMidiPage(true);
    EXPECT_EQ(shownText(kPWPrefsPanel, BLPrefsPanel::kItemControlPort),
              "Port du programme \xAB controls in \xBB");
    prefs->cancel();
    PWScreen.show(kPWInfoPanel);
    EXPECT_NE(shownText(kPWInfoPanel, BLInfoPanel::kItemSound)
                  .find("(Par d\xE9"
                        "faut, "),
              std::string::npos)
        << shownText(kPWInfoPanel, BLInfoPanel::kItemSound);
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

// The OSC port is typed on the preferences' MIDI page and taken with OK;
// the page and About say where OSC listens.
TEST_F(Startup, TheOscPortIsTypedInThePreferencesAndAboutSaysIt)
{
    int port = 0;
    {
        plat::OscServer probe;
        ASSERT_TRUE(probe.open(0));
        port = probe.port();
    }
    PWScreen.hide(kPWLoadPanel);
    PWScreen.show(kPWPrefsPanel);
    auto* prefs = dynamic_cast<BLPrefsPanel*>(PWfloatPanelPtr[kPWPrefsPanel]);
    ASSERT_NE(prefs, nullptr);
    auto clickItem = [&](int16_t item) {
        const kelRect r = prefs->control(item)->rect;
        clickAt((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    };
    auto shownText = [](int16_t panel, int16_t item) {
        char text[256] = {};
        PWfloatPanelPtr[panel]->control(item)->getValue(text);
        return std::string(text);
    };
    auto type = [&](const std::string& keys) {
        std::string error;
        ASSERT_TRUE(backend->parseScript(keys, error)) << error;
        runPushed();
    };
    clickItem(BLPrefsPanel::kItemMidiPage);
    ASSERT_TRUE(prefs->midiPage());
    EXPECT_EQ(shownText(kPWPrefsPanel, BLPrefsPanel::kItemOscState), "Off");
    clickItem(BLPrefsPanel::kItemOscPort);
    ASSERT_TRUE(prefs->typingOscPort());
    std::string keys = "press backspace\npress backspace\n";
    for (char c : std::to_string(port)) keys += std::string("press ") + c + "\n";
    type(keys + "press return\n");
    EXPECT_FALSE(prefs->typingOscPort());
    EXPECT_TRUE(PWScreen.isVisible(kPWPrefsPanel)) << "Return ends the typing, not the preferences";
    EXPECT_EQ(shownText(kPWPrefsPanel, BLPrefsPanel::kItemOscPort), std::to_string(port));
    EXPECT_EQ(BLOsc_Port(), 0) << "nothing changes before OK";
    clickItem(BLPrefsPanel::kItemOk);
    EXPECT_FALSE(PWScreen.isVisible(kPWPrefsPanel));
    EXPECT_EQ(blPrefs.oscPort, port);
    EXPECT_EQ(BLOsc_Port(), port);

    PWScreen.show(kPWPrefsPanel);
    prefs->showMidiPage(true);
    EXPECT_EQ(shownText(kPWPrefsPanel, BLPrefsPanel::kItemOscState),
              "Listening on UDP port " + std::to_string(port));
    prefs->cancel();
    PWScreen.show(kPWInfoPanel);
    EXPECT_NE(shownText(kPWInfoPanel, BLInfoPanel::kItemSound).find("OSC: UDP port " + std::to_string(port)),
              std::string::npos)
        << shownText(kPWInfoPanel, BLInfoPanel::kItemSound);
    blPrefs.oscPort = 0;
}

}  // namespace
