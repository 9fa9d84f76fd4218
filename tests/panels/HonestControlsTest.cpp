// Controls that do what they say: Play plays whatever the tracks, the
// transport's state line tells what plays, and every key of the guide's
// table does what the guide says.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <regex>

#include "audio/BLEngine.h"
#include "audio/LaunchGrid.h"
#include "control/BLGrooveNetHost.h"
#include "control/BLPlayer.h"
#include "core/kelCore.h"
#include "library/BLprefs.h"
#include "panels/BrowserHarness.h"
#include "panels/groove/BLGrooveItems.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/startup/PWmain.h"
#include "ui/PWpopup.h"

namespace {

class HonestControls : public browsertest::BrowserProgram {
protected:
    void SetUp() override
    {
        BrowserProgram::SetUp();
        fakeHost = false;
        linkDemoSongs();
    }
    // The state line says what the player does.
    void expectStateTold(const std::string& when)
    {
        EXPECT_STREQ(blGroovePanel->stateText, blPlayer->stateText()) << when;
        EXPECT_STREQ(blPlayer->stateText(), !blPlayer->playing       ? "Stop"
                                            : blPlayer->sequenceMode ? "Sequence play"
                                                                     : "Groove play")
            << when;
    }
};

TEST_F(HonestControls, PlayWithEveryTrackMutedRunsTheClockAndSaysWhy)
{
    start();
    script("press return\n");  // the first song, playing
    ASSERT_TRUE(blPlayer->playing);
    script("press space\n");
    for (char t = '1'; t <= '8'; ++t) script(std::string("keydown m\npress ") + t + "\nkeyup m\n");
    script("press space\n");
    ASSERT_TRUE(blPlayer->playing);
    EXPECT_EQ(gep->state(), BLEngineState::running) << "the output runs over silent tracks";
    const double from = gep->getMixerPosition();
    ASSERT_TRUE(idleUntil([&] { return gep->getMixerPosition() > from + 0.5; })) << "the clock runs";
    EXPECT_EQ(blGroovePanel->said,
              "Every track is muted: the clock runs, and only the synth and the user loop sound.");
}

TEST_F(HonestControls, TheStateLineTellsWhatPlaysAfterTheVirtualMix)
{
    start();
    script("press return\n");
    expectStateTold("a song loaded");
    clickControl(kPWGroovePanel, grooveitem::vmix);
    clickControl(kPWVMixPanel, 3);  // the mix's Play
    ASSERT_TRUE(blPlayer->playing && blPlayer->sequenceMode);
    script("box no\npress esc\n");
    ASSERT_FALSE(PWScreen.isVisible(kPWVMixPanel));
    expectStateTold("back from the mix");
    clickControl(kPWGroovePanel, grooveitem::seqPlay);
    expectStateTold("the sequence");
}

// The first cell of each row of the guide's key table, tags and blanks
// dropped, the arrows and the ellipsis written plainly.
std::vector<std::string> guideKeyRows()
{
    std::string guide = testsupport::readFile(testsupport::sourceDir() + "/desktop/UserGuide.html");
    const size_t from = guide.find("<h2 id=\"keys\">");
    guide = guide.substr(from, guide.find("</table>", from) - from);
    std::vector<std::string> rows;
    const std::regex row("<tr><td>([^]*?)</td>");
    for (std::sregex_iterator m(guide.begin(), guide.end(), row), end; m != end; ++m) {
        std::string cell = std::regex_replace((*m)[1].str(), std::regex("<[^>]+>"), "");
        for (const auto& [entity, plain] : std::vector<std::pair<std::string, std::string>>{
                 {"&hellip;", "..."}, {"&larr;", "<-"}, {"&rarr;", "->"}, {"&uarr;", "^"}, {"&darr;", "v"}})
            cell = std::regex_replace(cell, std::regex(entity), plain);
        rows.push_back(
            std::regex_replace(std::regex_replace(cell, std::regex("\\s+"), " "), std::regex("^ | $"), ""));
    }
    return rows;
}

TEST_F(HonestControls, EveryKeyOfTheGuidesTableDoesWhatTheGuideSays)
{
    start();
    script("press return\n");  // the first song, playing
    BLGroovePanel& g = *blGroovePanel;
    BLGrooveModel& m = g.controller().model;
    auto keys = [this](const std::string& lines) { script(lines); };
    auto held = [&](const std::string& letter, const std::string& press) {
        keys("keydown " + letter + "\npress " + press + "\nkeyup " + letter + "\n");
    };
    const std::map<std::string, std::function<void()>> rows = {
        {"Space",
         [&] {
             keys("press space\n");
             EXPECT_FALSE(blPlayer->playing);
             keys("press space\n");
             EXPECT_TRUE(blPlayer->playing);
         }},
        {"1 ... 8",
         [&] {
             keys("press 3\n");
             EXPECT_EQ(m.selectedTrack, 2);
         }},
        {"hold M, press 1 ... 8",
         [&] {
             held("m", "2");
             EXPECT_FALSE(g.controller().tracks[1].on);
             held("m", "2");
             EXPECT_TRUE(g.controller().tracks[1].on);
         }},
        {"hold K, press 1 ... 8",
         [&] {
             held("k", "4");
             EXPECT_TRUE(g.controller().tracks[3].keep);
             held("k", "4");
         }},
        {"hold R, press 1 ... 4",
         [&] {
             held("r", "2");
             EXPECT_EQ(g.controller().randomSet(), 1);
         }},
        {"hold T, press 1 ... 8",
         [&] {
             held("t", "5");
             EXPECT_EQ(m.selectedTrack, 4);
             EXPECT_FALSE(g.tapPending) << "no tap";
         }},
        {"S, G, A",
         [&] {
             for (const char* k : {"s", "g", "a"}) keys(std::string("press ") + k + "\n");
             EXPECT_TRUE(g.controller().soloMode);
             EXPECT_TRUE(g.controller().allMode) << "all takes the place of group";
             for (const char* k : {"s", "a"}) keys(std::string("press ") + k + "\n");
             EXPECT_FALSE(g.controller().soloMode || g.controller().groupMode || g.controller().allMode);
         }},
        {"E",
         [&] {
             keys("press 1\npress e\n");
             EXPECT_EQ(m.current.tracks[0].group, -1);
         }},
        {"T (tapped)",
         [&] {
             // Four taps 0.6 s apart: 100 BPM.
             keys("press t\nwait 600\npress t\nwait 600\npress t\nwait 600\npress t\n");
             ASSERT_TRUE(idleUntil([&] { return backend->pending() == 0; }));
             EXPECT_NEAR(blPlayer->bpm, 100.0f, 3.0f);
         }},
        {"Return",
         [&] {
             const int16_t before = m.stored.count;
             held("r", "1");
             keys("press return\n");
             EXPECT_EQ(m.stored.count, before + 1);
         }},
        {"hold V, press <- -> (or ^ v)",
         [&] {
             keys("press 2\n");
             const int v = m.current.tracks[1].volume;
             held("v", "up");
             held("v", "right");
             EXPECT_EQ(m.current.tracks[1].volume, v + 2);
             held("v", "left");
             EXPECT_EQ(m.current.tracks[1].volume, v + 1);
         }},
        {"hold P, press the arrows",
         [&] {
             const int p = m.current.tracks[1].pan;
             held("p", "down");
             EXPECT_EQ(m.current.tracks[1].pan, p - 1);
         }},
        {"hold M, press the arrows",
         [&] {
             const int v = blPlayer->mainVolume;
             held("m", "up");
             EXPECT_EQ(blPlayer->mainVolume, v + 1);
         }},
        {"hold b, press the arrows",
         [&] {
             const float t = blPlayer->bpm;
             held("b", "down");
             EXPECT_NEAR(blPlayer->bpm, t - 0.2f, 1e-3);
         }},
        {"hold B (shift), press the arrows",
         [&] {
             const float t = std::trunc(blPlayer->bpm);
             held("B", "down");
             EXPECT_NEAR(blPlayer->bpm, t - 1.0f, 1.0f);
             EXPECT_LT(blPlayer->bpm, t);
         }},
        {"hold C or I, press the arrows",
         [&] {
             keys("press 1\n");
             held("r", "1");
             for (int i = 0; i < 8; ++i) held("c", "up");
             EXPECT_EQ(m.current.tracks[0].group, -1) << "the top of the menu: none";
             held("c", "down");
             held("c", "down");
             EXPECT_EQ(m.current.tracks[0].group, 1) << "down the menu";
             EXPECT_EQ(m.current.tracks[0].slot, 0);
             held("i", "down");
             EXPECT_EQ(m.current.tracks[0].slot, 1) << "down the menu";
             held("i", "up");
             EXPECT_EQ(m.current.tracks[0].slot, 0);
         }},
        {"hold J, press the arrows",
         [&] {
             ASSERT_GE(m.stored.count, 1);
             held("r", "3");
             keys("press return\n");
             held("j", "left");
             EXPECT_EQ(m.current, m.stored.grooves[m.stored.count - 2]);
             held("j", "down");
             EXPECT_EQ(m.current, m.stored.grooves[m.stored.count - 1]);
         }},
        {"hold V, P, M or J, press Return, type a number",
         [&] {
             keys("press 1\nkeydown v\npress return\npress 1\npress 0\npress 0\nkeyup v\n");
             EXPECT_EQ(m.current.tracks[0].volume, 100);
         }},
        {"* (the asterisk)",
         [&] {
             keys("press *\npress kp8\n");
             EXPECT_EQ(m.selectedTrack, 0) << "8 is track 1 around the keypad's 5";
             keys("press 7\n");
             EXPECT_EQ(m.selectedTrack, 7);
             keys("press *\npress 8\n");
             EXPECT_EQ(m.selectedTrack, 7) << "back to the row";
         }},
        {"click the launch grid; Shift+click",
         [&] {
             const int16_t grid = blPrefs.launchGrid;
             clickControl(kPWGroovePanel, grooveitem::launchGrid);
             EXPECT_EQ(blPrefs.launchGrid, (grid + 1) % kLaunchGridChoices);
             keys("keydown shift\n");
             clickControl(kPWGroovePanel, grooveitem::launchGrid);
             keys("keyup shift\n");
             EXPECT_EQ(blPrefs.launchGrid, grid);
         }},
        {"L",
         [&] {
             keys("press l\n");
             EXPECT_TRUE(PWScreen.isVisible(kPWLoadPanel));
         }},
        {"Esc",
         [&] {
             keys("press esc\n");
             EXPECT_FALSE(PWScreen.isVisible(kPWLoadPanel));
         }},
        {"Ctrl+O, Ctrl+S, Ctrl+Q",
         [&] {
             for (const char* k : {"o", "s"}) {
                 const size_t asked = backend->dialogs().size();
                 keys(std::string("dialog cancel\nctrl ") + k + "\n");
                 ASSERT_TRUE(idleUntil(
                     [&] { return backend->dialogs().size() > asked && !BLPath::dialogPending(); }));
             }
             EXPECT_FALSE(backend->dialogs()[0].save);
             EXPECT_TRUE(backend->dialogs()[1].save);
             keys("box cancel\nctrl q\n");
             EXPECT_NE(log().find("Save it before Beatloom quits? -> Cancel"), std::string::npos);
             EXPECT_EQ(kelGlo.running, 1);
         }},
        {"Ctrl+N",
         [&] {
             keys("box no\nctrl n\n");  // the work goes: Discard
             EXPECT_EQ(m.stored.count, 0);
             EXPECT_FALSE(g.controller().workUnsaved());
         }},
        {"Ctrl+Z; Ctrl+Shift+Z or Ctrl+Y",
         [&] {
             keys("ctrl z\n");
             EXPECT_GT(m.stored.count, 0);
             keys("ctrl y\n");
             EXPECT_EQ(m.stored.count, 0);
             keys("ctrl z\nkeydown shift\nctrl z\nkeyup shift\n");
             EXPECT_EQ(m.stored.count, 0);
         }},
        {"N, click a control, move a knob or press a pad",
         [&] {
             keys("press esc\npress n\n");  // the library the row before opened closes first
             EXPECT_TRUE(g.controller().learning());
             keys("press n\n");
             EXPECT_FALSE(g.controller().learning());
             keys("press n\npress esc\n");
             EXPECT_FALSE(g.controller().learning());
             keys("press l\n");  // as it was, for the Esc row
         }},
        {"Ctrl++, Ctrl+-, Ctrl+0",
         [&] {
             keys("ctrl +\n");
             EXPECT_EQ(backend->windowFit().scale(), 1.5);
             keys("ctrl 0\n");
             EXPECT_EQ(KEL_StageSize(), plat::kStageFit);
             keys("ctrl -\nctrl -\n");
             EXPECT_EQ(backend->windowFit().scale(), 1.0)
                 << "back to its own size, as the rows after it click";
         }},
        {"F1",
         [&] {
             keys("press f1\n");
             EXPECT_EQ(blPlayer->helpModeDisplay, 1);
             keys("press f1\n");
             EXPECT_EQ(blPlayer->helpModeDisplay, -1);
         }},
    };
    // The guide's rows in its order, each done; no row of the guide without its check, nor the reverse.
    const std::vector<std::string> guide = guideKeyRows();
    EXPECT_EQ(guide.size(), rows.size());
    for (const std::string& row : guide) {
        const auto it = rows.find(row);
        if (it == rows.end()) {
            ADD_FAILURE() << "a key of the guide no test tries: " << row;
            continue;
        }
        SCOPED_TRACE(row);
        it->second();
    }
}

}  // namespace

// What the track rows show follows what plays, whoever changed it: a loop
// and a group the other side of the link chose show at once in the menus.
TEST_F(HonestControls, TheMenusShowTheLoopTheLinkedPlayerChose)
{
    start();
    script("press return\n");  // the first song, playing
    BLGrooveController& groove = *blGroove;
    BLGrooveNetHost peer(groove, BLOrigin::link);
    const BLSongLibrary& lib = groove.model.library();
    ASSERT_GE(lib.groupCount, 2);
    ASSERT_GE(lib.groups[1].count, 2);
    auto shown = [](int16_t item) {
        auto* menu = dynamic_cast<PWpopupControl*>(blGroovePanel->control(item));
        return menu && menu->get() >= 0 && menu->get() < menu->count ? std::string(menu->items[menu->get()])
                                                                     : std::string("?");
    };
    ASSERT_TRUE(peer.setSample(0, 1, 1));
    EXPECT_EQ(shown(grooveitem::groupMenu[0]), lib.groups[1].name[0] ? std::string(lib.groups[1].name) : "?");
    EXPECT_EQ(shown(grooveitem::loopMenu[0]), std::string(lib.groups[1].label[1]));
    ASSERT_TRUE(peer.setSample(0, 1, 0));
    EXPECT_EQ(shown(grooveitem::loopMenu[0]), std::string(lib.groups[1].label[0]))
        << "a loop of the same group";
}
