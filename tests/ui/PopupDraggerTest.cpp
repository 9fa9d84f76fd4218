// The pop-up menu's open list and the draggable entries, worked with timed
// mouse events as a person would.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "ui/BLDragger.h"
#include "ui/PWpopup.h"
#include "ui/TestSkin.h"

namespace {

using namespace testskin;
using T = plat::Event::Type;

constexpr uint16_t kRowFill = 0x14A0;
constexpr uint16_t kRowLit = 0x2940;
constexpr uint16_t kRowLine = 0x5280;

class Popup : public SkinTest {
protected:
    void SetUp() override
    {
        SkinTest::SetUp();
        popup = controlAs<PWpopupControl>(kPopupItem);
        ASSERT_NE(popup, nullptr);
        refreshAll();
        // The rows the open list shows in the column x = 12, while it is held.
        panel.onIdleHook = [this](TestPanel&) {
            top = bottom = -1;
            for (int y = 0; y < 480; ++y) {
                const uint16_t c = stage.shown(12, y);
                if (c != kRowFill && c != kRowLit && c != kRowLine) continue;
                if (top < 0) top = y;
                bottom = y + 1;
                if (c == kRowLit) lit.insert(y);
            }
        };
    }
    void fill(int n)
    {
        for (int16_t i = 0; i < n; ++i) {
            std::string text = "Item " + std::to_string(i);
            popup->setValue(i, text.data());
        }
    }

    PWpopupControl* popup = nullptr;
    int top = -1, bottom = -1;
    std::set<int> lit;
};

TEST_F(Popup, ItemsAreGivenInOrderAndTheValueIsHeldToThem)
{
    fill(3);
    EXPECT_EQ(popup->count, 3);
    char one[] = "Item 1";
    popup->setValue(int16_t{1}, one);  // giving item 1 again drops item 2
    EXPECT_EQ(popup->count, 2);
    char empty[] = "";
    popup->setValue(int16_t{5}, empty);  // empty texts are ignored
    EXPECT_EQ(popup->count, 2);
    fill(3);
    popup->set(int16_t{5});
    EXPECT_EQ(popup->get(), 2);
    char chosen[128];
    popup->getValue(chosen);
    EXPECT_STREQ(chosen, "Item 2");
    char zero[] = "Item 0";
    popup->setValue(zero);
    EXPECT_EQ(popup->get(), 0);
    // The closed box: dark with its edge, the chosen text in the skin font.
    EXPECT_EQ(stage.shown(10, 210), 0x14A5);
    EXPECT_EQ(stage.shown(50, 210), 0);
    EXPECT_EQ(stage.shown(15, 205), 0x7FFF);  // "I" of "Item 0" at (14, 204)
}

TEST_F(Popup, HeldItOpensOverTheBoxAndAReleaseOnARowChoosesIt)
{
    fill(3);
    popup->set(int16_t{1});
    stage.mouse(T::MouseMove, 50, 190, 200);  // after the 6 ticks: over item 0
    stage.mouse(T::MouseUp, 50, 190, 60);
    stage.pressAt(50, 210);
    // Three rows, item 1's row over the closed box (200..220).
    EXPECT_EQ(top, 180);
    EXPECT_EQ(bottom, 240);
    EXPECT_EQ(lit.count(185), 1u);  // item 0 lit under the mouse
    EXPECT_EQ(popup->get(), 0);
    EXPECT_EQ(panel.items, std::vector<int16_t>{kPopupItem});
    EXPECT_EQ(stage.shown(12, 185), kBackColour0);  // the list is gone
}

TEST_F(Popup, AClickOpensItForAClickOrTheKeysAndOutsideOrEscapeClosesIt)
{
    fill(4);
    char separator[] = "-";
    popup->setValue(int16_t{2}, separator);  // items: 0, 1, separator, 3
    char three[] = "Item 3";
    popup->setValue(int16_t{3}, three);
    auto key = [this](plat::Key k, uint32_t delayMs) {
        plat::Event e;
        e.type = T::KeyDown;
        e.key = k;
        stage.backend->push(e, delayMs);
        e.type = T::KeyUp;
        stage.backend->push(e, 10);
    };
    auto clickThen = [&](auto afterwards) {
        panel.items.clear();
        top = -1;
        kelGlo.ticks += 100;
        stage.mouse(T::MouseUp, 50, 210, 20);
        afterwards();
        stage.pressAt(50, 210);
    };
    // Down skips the separator; Return chooses.
    popup->set(int16_t{1});
    clickThen([&] {
        key(plat::Key::Down, 200);
        key(plat::Key::Return, 50);
    });
    EXPECT_EQ(top, 180);  // it opened and stayed open
    EXPECT_EQ(popup->get(), 3);
    EXPECT_EQ(panel.items, std::vector<int16_t>{kPopupItem});
    // A click on a row chooses it (item 0 lies a row above the box).
    popup->set(int16_t{1});
    clickThen([&] {
        stage.mouse(T::MouseMove, 50, 190, 200);
        stage.mouse(T::MouseDown, 50, 190, 30);
        stage.mouse(T::MouseUp, 50, 190, 30);
    });
    EXPECT_EQ(popup->get(), 0);
    EXPECT_EQ(panel.items, std::vector<int16_t>{kPopupItem});
    // A click outside, or Escape, closes it with nothing chosen.
    clickThen([&] {
        stage.mouse(T::MouseDown, 300, 300, 200);
        stage.mouse(T::MouseUp, 300, 300, 30);
    });
    EXPECT_EQ(popup->get(), 0);
    EXPECT_TRUE(panel.items.empty());
    EXPECT_EQ(stage.shown(12, 185), kBackColour0);  // the list is gone
    popup->set(kelPropReportOnPress, 1);
    clickThen([&] { key(plat::Key::Escape, 200); });
    EXPECT_EQ(popup->get(), 0);
    EXPECT_EQ(panel.items, std::vector<int16_t>{kPopupItem});  // at the press only
    EXPECT_EQ(panel.live, (std::vector<uint8_t>{0, 0, 1}));
}

TEST_F(Popup, HeldAndReleasedOffTheRowsItChoosesNothing)
{
    fill(3);
    popup->set(int16_t{1});
    stage.mouse(T::MouseMove, 300, 300, 200);
    stage.mouse(T::MouseUp, 300, 300, 60);
    stage.pressAt(50, 210);
    EXPECT_EQ(top, 180);  // it opened
    EXPECT_TRUE(panel.items.empty());
    EXPECT_EQ(popup->get(), 1);
}

TEST_F(Popup, HeldOnTheDownArrowItScrollsUntilTheLastItemShows)
{
    fill(20);
    popup->set(int16_t{0});
    // Opened on item 0 at 200: rows down to the one whose top reaches 440, the
    // last (item 12) an arrow row. Held there, it scrolls a row per 5 ticks.
    stage.mouse(T::MouseMove, 50, 450, 200);
    stage.mouse(T::MouseUp, 50, 450, 1400);
    stage.pressAt(50, 210);
    EXPECT_EQ(popup->get(), 19);
    ASSERT_EQ(panel.items, std::vector<int16_t>{kPopupItem});

    // Released on the arrow row before it scrolled: nothing chosen.
    popup->set(int16_t{0});
    kelGlo.ticks += 100;
    stage.mouse(T::MouseMove, 50, 450, 200);
    stage.mouse(T::MouseUp, 50, 450, 20);
    stage.pressAt(50, 210);
    EXPECT_EQ(popup->get(), 0);
    EXPECT_EQ(panel.items.size(), 1u);
}

class Dragger : public SkinTest {
protected:
    void SetUp() override
    {
        SkinTest::SetUp();
        panel.onItemHook = [this](TestPanel& p) {
            if (p.hitItem == kDraggerItem && !p.liveChange)
                answer = p.control(kDraggerItem)->get(kelPropRunDrag);
        };
        refreshAll();
    }
    int16_t dragTo(std::initializer_list<std::pair<int, int>> moves)
    {
        answer = 99;
        for (auto [x, y] : moves) stage.mouse(T::MouseMove, x, y, 10);
        const auto last = *(moves.end() - 1);
        stage.mouse(T::MouseUp, last.first, last.second, 10);
        kelGlo.ticks += 100;
        stage.pressAt(160, 205);
        return answer;
    }
    int16_t answer = 99;
};

TEST_F(Dragger, ItAnswersAClickAReceiverOrNothing)
{
    EXPECT_EQ(dragTo({{162, 205}}), BLDraggerCtrl::kClicked);  // 2 pixels: a click
    EXPECT_EQ(dragTo({{170, 205}, {215, 205}}), kReceiverItem);
    EXPECT_EQ(dragTo({{170, 205}, {265, 206}}), kReceiverItem2);
    EXPECT_EQ(dragTo({{170, 205}, {400, 400}}), BLDraggerCtrl::kDroppedOff);
    EXPECT_EQ(dragTo({{170, 205}, {215, 205}, {158, 203}}), BLDraggerCtrl::kClicked);  // came back
    EXPECT_EQ(PWScreen.lastControl, -1);
    auto* receiver = controlAs<BLDraggerReceiverCtrl>(kReceiverItem);
    EXPECT_EQ(receiver->highlighted, 0);
}

TEST_F(Dragger, ItShowsItsNumberAndItsColourWhenSelected)
{
    kelPanelControl* entry = panel.control(kDraggerItem);
    entry->set(int16_t{7});
    EXPECT_EQ(entry->get(), 7);
    EXPECT_EQ(stage.shown(160, 206), 0x7FFF);  // the digit, centred at x = 160
    EXPECT_EQ(stage.shown(152, 206), 0);       // the label's black
    entry->set(kelPropSelected, 1);
    EXPECT_EQ(entry->get(kelPropSelected), 1);
    EXPECT_EQ(stage.shown(152, 206), 0x03E0);
    entry->set(kelPropColourCode, 2);
    entry->set(kelPropSelected, 1);
    EXPECT_EQ(stage.shown(152, 206), 0x7C00);
    entry->set(kelPropSelected, 0);
    EXPECT_EQ(stage.shown(152, 206), 0);
    entry->set(int16_t{-1});  // a blank label; the number stays
    EXPECT_EQ(entry->get(), 7);
    EXPECT_EQ(stage.shown(160, 206), 0);
}

}  // namespace
