// Help mode and the information panel in the real program, headless, worked
// with the mouse and keys as a person works them; the tests wait for what
// they wait for (a bubble found, a tour step reached, the figures counted)
// and look at the screen image.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "control/BLPlayer.h"
#include "e2e/GrooveSession.h"
#include "e2e/ScreenPictures.h"
#include "panels/BrowserHarness.h"
#include "panels/groove/BLGrooveItems.h"
#include "panels/help/BLHelps.h"
#include "panels/help/BLInfoPanel.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using testsupport::join;

class HelpSession : public browsertest::BrowserProgram {
protected:
    void SetUp() override
    {
        BrowserProgram::SetUp();
        fakeHost = false;
        linkDemoSongs();
        start();
    }
    std::string centre(int16_t panel, int16_t item) const
    {
        const kelRect r = PWfloatPanelPtr[panel]->control(item)->rect;
        return join((r.left + r.right) / 2, " ", (r.top + r.bottom) / 2);
    }
    void click(int16_t panel, int16_t item) { script("click " + centre(panel, item) + "\n"); }
    void closeBrowser()
    {
        const kelRect r = PWfloatPanelPtr[kPWLoadPanel]->background()->rect;
        script("click " + join(r.left + e2e::kCloseX, " ", r.top + e2e::kCloseY) + "\n");
        ASSERT_FALSE(PWScreen.isVisible(kPWLoadPanel));
    }
    bool runUntil(const std::function<bool()>& done, int limitMs = 20000)
    {
        const KelAppHooks hooks = PW_AppHooks();
        const uint32_t end = plat::millis() + static_cast<uint32_t>(limitMs);
        while (!done()) {
            if (static_cast<int32_t>(end - plat::millis()) <= 0) return false;
            if (!KEL_HandleOneMessage(hooks)) KEL_IdlePass(hooks);
        }
        return true;
    }
    int16_t entryOf(int16_t panel, int16_t item) const
    {
        for (int16_t i = 0; i < blHelpp->count; ++i)
            if (blHelpp->entries[i].rollover && blHelpp->entries[i].panel == panel &&
                blHelpp->entries[i].item == item)
                return i;
        return -1;
    }
    std::string shot(const std::string& name)
    {
        const std::string path = dir.file(name + ".png");
        EXPECT_TRUE(backend->saveScreenPng(path));
        groovee2e::GrooveSession::keepScreen(path, name);
        return path;
    }
    // How many times the user guide was opened (the headless backend logs the address).
    int opened() const
    {
        const std::string line = "address file://" + fs::absolute(dir.file("UserGuide.html")).string();
        const std::string all = log();
        int n = 0;
        for (size_t at = all.find(line); at != std::string::npos; at = all.find(line, at + 1)) ++n;
        return n;
    }
    std::string text(int16_t panel, int16_t item) const
    {
        char out[256] = {};
        PWfloatPanelPtr[panel]->control(item)->getValue(out);
        return out;
    }
};

bool bright(uint16_t p)
{
    return (p >> 10 & 31) >= 24 && (p >> 5 & 31) >= 24 && (p & 31) >= 24;
}

TEST_F(HelpSession, F1AndTheMouseAtRestShowTheControlsBubble)
{
    closeBrowser();
    ASSERT_FALSE(PWScreen.isVisible(kPWLoadPanel));
    const int16_t play = entryOf(kPWGroovePanel, grooveitem::play);
    ASSERT_GE(play, 0);
    script("press f1\nmove " + centre(kPWGroovePanel, grooveitem::play) + "\n");
    ASSERT_TRUE(blHelpp->on && blHelpp->rollover);
    ASSERT_TRUE(runUntil([&] { return blHelpp->current == play; }));
    idleFor(50);

    // In the picture: the bubble's amber edge, and its first line of text,
    // light on the dark bubble, as wide as the text is.
    kelRect bubble, control;
    kelPoint at;
    ASSERT_TRUE(blHelpp->placeOf(play, bubble, at, control));
    EXPECT_FALSE(bubble.intersects(control));
    const e2e::Shot picture(shot("help-rollover"));
    ASSERT_TRUE(picture.ok());
    const uint16_t edge = picture.at(bubble.left, (bubble.top + bubble.bottom) / 2);
    EXPECT_GE(edge >> 10 & 31, 26) << std::hex << edge;
    EXPECT_LE(edge & 31, 14) << std::hex << edge;
    int first = 10000, last = -1;
    for (int y = at.v; y < at.v + 13; ++y)
        for (int x = bubble.left; x < bubble.right; ++x)
            if (bright(picture.at(x, y))) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
    const int width = PWFont.stringWidth(blHelpp->entries[play].lines[0]);
    ASSERT_GT(width, 40);
    EXPECT_GE(first, at.h - 1);
    EXPECT_LE(last, at.h + width + 1);
    EXPECT_GE(last - first, width * 8 / 10) << blHelpp->entries[play].lines[0];

    // The hint line says that a click on it opens the user guide, and it
    // does, while help bubbles show and only then.
    const std::string hint = centre(kPWGroovePanel, grooveitem::hint);
    script("click " + hint + "\n");
    EXPECT_EQ(opened(), 1) << log();

    // F1 again: off, and the bubble's place is the groove panel again.
    script("press f1\n");
    EXPECT_FALSE(blHelpp->on);
    idleFor(50);
    const e2e::Shot after(shot("help-off"));
    EXPECT_NE(after.at(bubble.left, (bubble.top + bubble.bottom) / 2), edge);
    script("click " + hint + "\n");
    EXPECT_EQ(opened(), 1);
    // Escape ends help mode too, and leaves the groove panel where it is.
    script("press f1\npress esc\n");
    EXPECT_FALSE(blHelpp->on);
    EXPECT_TRUE(PWScreen.isVisible(kPWGroovePanel));
}

TEST_F(HelpSession, TheTourMovesOnAtTheClicksItExplains)
{
    // The song browser shown at start keeps the clicks: closed first, it
    // comes back for the tour's first step.
    closeBrowser();
    click(kPWGroovePanel, grooveitem::help);
    ASSERT_TRUE(blHelpp->on);
    ASSERT_FALSE(blHelpp->rollover);
    ASSERT_TRUE(PWScreen.isVisible(kPWLoadPanel));
    const int16_t load = blHelpp->current;
    ASSERT_GE(load, 0);
    EXPECT_EQ(blHelpp->entries[load].item, BLLoadPanel::kItemLoad);
    idleFor(30);
    shot("help-tour-load");
    // The tour's first bubble offers the user guide; its button opens it and the tour stays.
    kelRect guide;
    ASSERT_TRUE(blHelpp->guideButton(guide));
    {
        // Inside the bubble, under its text (the skin keeps room for it there).
        kelRect bubble, control;
        kelPoint at;
        ASSERT_TRUE(blHelpp->placeOf(load, bubble, at, control));
        EXPECT_TRUE(bubble.contains(guide.left, guide.top) &&
                    bubble.contains(guide.right - 1, guide.bottom - 1));
        EXPECT_GE(guide.top, at.v + (blHelpp->entries[load].lineCount - 1) * 12 + PWFont.height);
    }
    script("click " + join((guide.left + guide.right) / 2, " ", (guide.top + guide.bottom) / 2) + "\n");
    EXPECT_EQ(opened(), 1) << log();
    EXPECT_EQ(blHelpp->current, load);
    EXPECT_EQ(blHelpp->timer, 0u);

    clickLine(0);
    EXPECT_EQ(blHelpp->timer, 0u) << "a song picked is not the step's click";
    clickItem(BLLoadPanel::kItemLoad);
    ASSERT_FALSE(PWScreen.isVisible(kPWLoadPanel));
    ASSERT_TRUE(runUntil([&] { return blHelpp->current == load + 1; }));
    const BLHelps::Entry& random = blHelpp->entries[load + 1];
    EXPECT_EQ(random.panel, kPWGroovePanel);
    EXPECT_EQ(random.item, grooveitem::randomButton[0]);
    EXPECT_FALSE(blHelpp->guideButton(guide)) << "the first bubble alone offers the guide";
    idleFor(30);
    // The control the step explains has the accent round it.
    const e2e::Shot ring(shot("help-tour-random"));
    const kelRect r = PWfloatPanelPtr[kPWGroovePanel]->control(random.item)->rect;
    EXPECT_EQ(ring.at(r.left - 3, (r.top + r.bottom) / 2), 0x7EA7)
        << std::hex << ring.at(r.left - 3, r.top + 5);

    click(kPWGroovePanel, grooveitem::tap);
    EXPECT_EQ(blHelpp->timer, 0u);
    click(kPWGroovePanel, random.item);
    ASSERT_TRUE(runUntil([&] { return blHelpp->current == load + 2; }));
    EXPECT_EQ(blHelpp->entries[load + 2].item, grooveitem::loopMenu[0]);

    // The button again ends the tour.
    click(kPWGroovePanel, grooveitem::help);
    EXPECT_FALSE(blHelpp->on);
    blPlayer->stop();
}

TEST_F(HelpSession, AboutShowsTheVersionAndTheLibrarysFigures)
{
    // What the library holds, counted here on its own.
    int songs = 0, loops = 0, sounds = 0;
    for (const auto& song : fs::directory_iterator(library("Song"))) {
        int here = 0;
        for (const auto& f : fs::directory_iterator(song.path()))
            if (f.path().extension() == ".wav" && f.path().filename() != "preview.wav") ++here;
        songs += here > 0;
        loops += here;
    }
    for (const auto& sound : fs::directory_iterator(library("Synth"))) sounds += sound.is_directory();
    ASSERT_GT(songs, 3);

    closeBrowser();
    click(kPWGroovePanel, grooveitem::info);
    ASSERT_TRUE(PWScreen.isVisible(kPWInfoPanel));
    EXPECT_EQ(PWScreen.modalPanel, kPWInfoPanel);
    auto* info = dynamic_cast<BLInfoPanel*>(PWfloatPanelPtr[kPWInfoPanel]);
    ASSERT_NE(info, nullptr);
    ASSERT_TRUE(runUntil([&] {
        return info->figures.done() && text(kPWInfoPanel, BLInfoPanel::kItemFirstFigure) != "counting...";
    }));
    idleFor(30);
    shot("info-panel");

    EXPECT_EQ(text(kPWInfoPanel, BLInfoPanel::kItemVersion), "Version " BEATLOOM_TEST_VERSION);
    EXPECT_EQ(text(kPWInfoPanel, BLInfoPanel::kItemFirstFigure), std::to_string(songs));
    EXPECT_EQ(text(kPWInfoPanel, BLInfoPanel::kItemFirstFigure + 1), std::to_string(loops));
    EXPECT_EQ(text(kPWInfoPanel, BLInfoPanel::kItemFirstFigure + 3), std::to_string(sounds));
    EXPECT_NE(text(kPWInfoPanel, BLInfoPanel::kItemFirstFigure + 2), "0.0");
    EXPECT_NE(text(kPWInfoPanel, BLInfoPanel::kItemFirstFigure + 4).find(" MB"), std::string::npos);
    EXPECT_EQ(text(kPWInfoPanel, BLInfoPanel::kItemFirstLibrary + 1), "libsndfile \xB7 LGPL-2.1+");

    // While it shows, the groove panel beneath takes no click.
    script("click " + join(PWScreen.stage.left + 40, " ", PWScreen.stage.top + 52) + "\n");
    EXPECT_FALSE(blPlayer->playing);
    EXPECT_TRUE(PWScreen.isVisible(kPWInfoPanel));
    script("press esc\n");
    EXPECT_FALSE(PWScreen.isVisible(kPWInfoPanel));
    EXPECT_EQ(PWScreen.modalPanel, -1);
}

}  // namespace
