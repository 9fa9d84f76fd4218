// The main loop's translation of platform messages into the event record,
// driven through the headless backend as a window system would deliver them.
#include <gtest/gtest.h>

#include <vector>

#include "core/kelCore.h"
#include "platform/PlatHeadless.h"

namespace {

using plat::Event;
using plat::Key;
using T = plat::Event::Type;

std::vector<kelGloRec> gSeen;
plat::HeadlessBackend* gBackend = nullptr;

void record(uintptr_t message)
{
    if (message == 0) gSeen.push_back(kelGlo);
}

class MainLoop : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto b = std::make_unique<plat::HeadlessBackend>(800, 600);
        gBackend = b.get();
        plat::setBackend(std::move(b));
        kelGlo = kelGloRec{};
        kelGlo.running = 1;
        gSeen.clear();
        hooks.remoteEvents = record;
    }
    void TearDown() override
    {
        plat::clearBackend();
        gBackend = nullptr;
    }
    // Delivers everything pushed so far, as the main loop would.
    void pump()
    {
        while (KEL_HandleOneMessage(hooks)) {
        }
    }
    static Event key(T type, Key k, uint8_t c = 0, bool repeat = false)
    {
        Event e;
        e.type = type;
        e.key = k;
        e.character = c;
        e.repeat = repeat;
        return e;
    }
    KelAppHooks hooks;
};

TEST_F(MainLoop, ControlLettersBecomeCommandsOnlyOnFirstPress)
{
    gBackend->push(key(T::KeyDown, Key::Control));
    gBackend->push(key(T::KeyDown, Key::Other, 'o'));
    gBackend->push(key(T::KeyDown, Key::Other, 'o', true));
    gBackend->push(key(T::KeyDown, Key::Other, 'S'));
    gBackend->push(key(T::KeyDown, Key::Other, 'q'));
    gBackend->push(key(T::KeyDown, Key::Other, 'x'));
    pump();
    ASSERT_EQ(gSeen.size(), 6u);
    EXPECT_EQ(gSeen[0].what, kelNullEvent);  // Control alone types nothing
    EXPECT_EQ(gSeen[0].controlDown, 1);
    EXPECT_EQ(gSeen[1].what, kelCommandEvt);
    EXPECT_EQ(gSeen[1].menuID, 129);
    EXPECT_EQ(gSeen[1].menuItem, 1);
    EXPECT_EQ(gSeen[2].what, kelAutoKey);  // held: no second open command
    EXPECT_EQ(gSeen[3].what, kelCommandEvt);
    EXPECT_EQ(gSeen[3].menuItem, 4);
    EXPECT_EQ(gSeen[4].menuItem, 6);
    EXPECT_EQ(gSeen[5].what, kelKeyDown);  // any other Control combination is a key
    EXPECT_EQ(gSeen[5].keyChar, 'x');
}

TEST_F(MainLoop, SpecialKeysArrowsAndKeypad)
{
    const struct {
        Key key;
        int16_t special;
        uint8_t keyChar;
    } cases[] = {
        {Key::Escape, 20, 0}, {Key::PageUp, 20, 0},   {Key::PageDown, 21, 0}, {Key::F1, 1, 0},
        {Key::F12, 12, 0},    {Key::Left, 0, 0x1C},   {Key::Right, 0, 0x1D},  {Key::Up, 0, 0x1E},
        {Key::Down, 0, 0x1F}, {Key::Delete, 0, 0x7F}, {Key::Return, 0, 0x0D}, {Key::Kp0, 0, '0'},
        {Key::Kp7, 0, '7'},
    };
    for (const auto& c : cases) gBackend->push(key(T::KeyDown, c.key));
    pump();
    ASSERT_EQ(gSeen.size(), std::size(cases));
    for (size_t i = 0; i < gSeen.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(gSeen[i].what, kelKeyDown);
        EXPECT_EQ(gSeen[i].specialKey, cases[i].special);
        EXPECT_EQ(gSeen[i].keyChar, cases[i].keyChar);
    }
}

TEST_F(MainLoop, KeyCodeKeepsTheLastCharacterSignExtended)
{
    gBackend->push(key(T::KeyDown, Key::Other, 0xE9));  // é in Latin-1
    gBackend->push(key(T::KeyDown, Key::Left));
    gBackend->push(key(T::KeyDown, Key::Other, 0));  // a key that types nothing
    pump();
    ASSERT_EQ(gSeen.size(), 3u);
    EXPECT_EQ(gSeen[0].keyCode, -23);
    EXPECT_EQ(gSeen[0].keyChar, 0xE9);
    EXPECT_EQ(gSeen[1].keyCode, -23);  // arrows do not overwrite it
    EXPECT_EQ(gSeen[2].what, kelNullEvent);
    EXPECT_EQ(gSeen[2].keyChar, 0);
}

TEST_F(MainLoop, EscapesKeyUpBeforeAnyTypingIsNoSecondEscape)
{
    gBackend->push(key(T::KeyDown, Key::Escape));
    gBackend->push(key(T::KeyUp, Key::Escape));
    pump();
    ASSERT_EQ(gSeen.size(), 2u);
    EXPECT_EQ(gSeen[0].what, kelKeyDown);
    EXPECT_EQ(gSeen[1].what, kelNullEvent);
}

TEST_F(MainLoop, KeyUpAfterTypingIsEventTenEvenForShift)
{
    gBackend->push(key(T::KeyUp, Key::Shift));  // nothing typed yet
    gBackend->push(key(T::KeyDown, Key::Shift));
    gBackend->push(key(T::KeyDown, Key::Other, '5'));
    gBackend->push(key(T::KeyUp, Key::Other, '5'));
    gBackend->push(key(T::KeyUp, Key::Shift));
    gBackend->push(key(T::KeyUp, Key::Escape));  // falls to the character translation
    pump();
    ASSERT_EQ(gSeen.size(), 6u);
    EXPECT_EQ(gSeen[0].what, kelNullEvent);
    EXPECT_EQ(gSeen[1].shiftDown, 1);
    EXPECT_EQ(gSeen[3].what, kelKeyUp);
    EXPECT_EQ(gSeen[3].keyChar, '5');
    EXPECT_EQ(gSeen[4].what, kelKeyUp);
    EXPECT_EQ(gSeen[4].keyChar, 0);
    EXPECT_EQ(gSeen[4].shiftDown, 0);
    EXPECT_EQ(gSeen[5].specialKey, 0);
}

TEST_F(MainLoop, MouseButtonsCaptureAndSizeChangesRepaint)
{
    Event down{.type = T::MouseDown, .x = 40, .y = 50};
    Event move{.type = T::MouseMove, .x = 41, .y = 52};
    Event up{.type = T::MouseUp, .x = 41, .y = 52};
    Event size{.type = T::Resize, .x = 700, .y = 500};
    gBackend->push(down);
    gBackend->push(move);
    gBackend->push(up);
    gBackend->push(size);
    gBackend->push(Event{.type = T::CloseRequest});
    pump();
    ASSERT_EQ(gSeen.size(), 6u);
    EXPECT_EQ(gSeen[0].what, kelMouseDown);
    EXPECT_EQ(gSeen[0].buttonDown, 1);
    EXPECT_EQ(gSeen[0].mouseX, 40);
    EXPECT_EQ(gSeen[1].what, kelNullEvent);
    EXPECT_EQ(gSeen[1].mouseY, 52);
    EXPECT_EQ(gSeen[2].buttonDown, 0);
    EXPECT_EQ(gSeen[3].what, kelResizeEvt);
    EXPECT_EQ(gSeen[3].screenWidth, 700);
    EXPECT_EQ(gSeen[4].what, kelUpdateEvt);  // every resize is followed by a repaint
    EXPECT_EQ(gSeen[5].what, kelCloseEvt);
    EXPECT_FALSE(gBackend->mouseCaptured());
}

TEST_F(MainLoop, SkippedMessagesDispatchNothing)
{
    kelSkipWndMsgs = 1;
    gBackend->push(key(T::KeyDown, Key::Other, 'a'));
    pump();
    kelSkipWndMsgs = 0;
    EXPECT_TRUE(gSeen.empty());
}

TEST_F(MainLoop, ButtonDownPollsOnlyMouseMessages)
{
    gBackend->push(key(T::KeyDown, Key::Other, 'a'));
    gBackend->push(Event{.type = T::MouseDown, .x = 5, .y = 6});
    gBackend->push(Event{.type = T::MouseMove, .x = 7, .y = 8});
    gBackend->push(Event{.type = T::MouseUp, .x = 9, .y = 10});
    EXPECT_TRUE(KEL_ButtonDown());
    EXPECT_EQ(kelGlo.what, kelMouseDown);
    EXPECT_TRUE(KEL_ButtonDown());
    EXPECT_EQ(kelGlo.what, kelNullEvent);
    EXPECT_EQ(kelGlo.mouseX, 7);
    EXPECT_FALSE(KEL_ButtonDown());
    EXPECT_EQ(kelGlo.mouseY, 10);
    EXPECT_FALSE(KEL_ButtonDown());  // nothing left: the state stands
    pump();                          // the key stayed queued
    ASSERT_EQ(gSeen.size(), 1u);
    EXPECT_EQ(gSeen[0].keyChar, 'a');
}

TEST_F(MainLoop, IdlePassesDispatchNullEventsWithFreshTicks)
{
    kelGlo.what = kelKeyDown;
    KEL_IdlePass(hooks);
    ASSERT_EQ(gSeen.size(), 1u);
    EXPECT_EQ(gSeen[0].what, kelNullEvent);
    EXPECT_EQ(gSeen[0].ticks, KEL_Ticks());
}

// The services (links, MIDI, the player) are served after every pass of
// the loop, a message's or an idle one, whatever the panels do with them.
TEST_F(MainLoop, EveryPassServesTheServicesOnce)
{
    static int served;
    static std::vector<int> servedBefore;
    served = 0;
    servedBefore.clear();
    hooks.initAll = [] { return int16_t{1}; };
    hooks.remoteEvents = [](uintptr_t) { servedBefore.push_back(served); };
    hooks.serve = [] {
        if (++served == 5) kelGlo.running = 0;
    };
    for (char c : {'a', 'b', 'c'}) gBackend->push(key(T::KeyDown, Key::Other, static_cast<uint8_t>(c)));
    KEL_Main2(hooks);
    EXPECT_EQ(served, 5);
    ASSERT_GE(servedBefore.size(), 5u);
    for (int pass = 0; pass < 5; ++pass) EXPECT_EQ(servedBefore[static_cast<size_t>(pass)], pass);
}

TEST(Timing, EveTimeoutRepeatedFiresOncePerInterval)
{
    kelGlo.ticks = 1000;
    long deadline = 0;
    EXPECT_TRUE(KEL_EveTimeoutRepeated(&deadline, 10));
    EXPECT_EQ(deadline, 1010);
    kelGlo.ticks = 1010;  // not yet: only when ticks pass the deadline
    EXPECT_FALSE(KEL_EveTimeoutRepeated(&deadline, 10));
    kelGlo.ticks = 1011;
    EXPECT_TRUE(KEL_EveTimeoutRepeated(&deadline, 10));
    EXPECT_EQ(deadline, 1021);
}

TEST(Timing, TicksAreSixtiethsOfTheMillisecondClock)
{
    const uint32_t before = KEL_Ticks();
    KEL_WaitTicks(3);
    const uint32_t after = KEL_Ticks();
    EXPECT_GE(after - before, 3u);
    EXPECT_LT(after - before, 30u);
}

TEST(Random, StaysBelowItsBound)
{
    for (int i = 0; i < 1000; ++i) {
        const int r = KEL_Random(7);
        ASSERT_GE(r, 0);
        ASSERT_LT(r, 7);
    }
    EXPECT_EQ(KEL_Random(0), 0);
}

TEST(Boxes, UserNotifyClampsItsButtonSets)
{
    auto b = std::make_unique<plat::HeadlessBackend>();
    auto* backend = b.get();
    plat::setBackend(std::move(b));
    EXPECT_EQ(KEL_UserNotify("a", -3), 1);  // OK only
    EXPECT_EQ(KEL_UserNotify("b", 1), 2);   // Yes/No, default No
    EXPECT_EQ(KEL_UserNotify("c", 9), 3);   // Yes/No/Cancel, default Cancel
    backend->queueBoxAnswer(1);
    EXPECT_EQ(KEL_UserNotify("d", 2), 1);
    const auto boxes = backend->boxes();
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[0].title, "Warning");
    EXPECT_EQ(boxes[0].buttons, 0);
    EXPECT_EQ(boxes[2].buttons, 2);
    kelDebugFlag = 1;
    KEL_DebugMessageNum("bad", 255);
    EXPECT_EQ(backend->boxes().back().title, "ERROR NUM");
    EXPECT_EQ(backend->boxes().back().text, "bad 255 <ff>");
    kelDebugFlag = 0;
    KEL_DebugMessage("hidden");
    EXPECT_EQ(backend->boxes().size(), 5u);
    kelDebugFlag = 1;
    plat::clearBackend();
}

}  // namespace
