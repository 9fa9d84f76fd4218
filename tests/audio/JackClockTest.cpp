// The clock out JACK's thread writes: from the song frames heard over each
// period, each event at its frame (the writer alone, periods given by hand).
#include <gtest/gtest.h>

#include <vector>

#include "audio/JackClock.h"

namespace {

struct Event {
    int period, frame;
    std::vector<uint8_t> bytes;
};

struct Periods {
    JackClockWriter writer;
    std::vector<Event> events;
    int period = 0;
    // One period of 256 frames heard from song frame `first` at one song
    // frame a frame; 1200 song frames a beat, 50 a pulse.
    void play(double first, bool heard = true)
    {
        writer.period(
            heard, first, first + 256, 256, 1200,
            [](void* self, int frame, const uint8_t* bytes, int count) {
                auto* p = static_cast<Periods*>(self);
                p->events.push_back({p->period, frame, std::vector<uint8_t>(bytes, bytes + count)});
            },
            this);
        ++period;
    }
};

TEST(JackClock, AStartFromTheTopIsAStartOnItsFrameAndPulsesFollowTheFramesHeard)
{
    Periods p;
    p.play(-300);  // heard from frame 300 of the next period on
    EXPECT_TRUE(p.events.empty());
    p.play(-44);
    ASSERT_GE(p.events.size(), 2u);
    EXPECT_EQ(p.events[0].bytes, std::vector<uint8_t>{0xFA});
    EXPECT_EQ(p.events[0].frame, 44);
    EXPECT_EQ(p.events[1].bytes, std::vector<uint8_t>{0xF8});
    EXPECT_EQ(p.events[1].frame, 44);
    EXPECT_EQ(p.writer.said, JackClock_kStarted);
    // Pulses every 50 frames heard: 0, 50, 100, 150 fall in this period (44 .. 194).
    EXPECT_EQ(p.events.size(), 1u + 5);
    EXPECT_EQ(p.events.back().frame, 44 + 200);
    p.events.clear();
    p.play(212);
    ASSERT_FALSE(p.events.empty());
    EXPECT_EQ(p.events[0].frame, 250 - 212);
    EXPECT_EQ(p.writer.sent, 10);

    // Stopped: a stop at the period's start; played from the top again: stop, start.
    p.events.clear();
    p.play(0, false);
    ASSERT_EQ(p.events.size(), 1u);
    EXPECT_EQ(p.events[0].bytes, std::vector<uint8_t>{0xFC});
    for (const double first : {-10.0, 246.0, 502.0, 758.0}) p.play(first);
    p.events.clear();
    p.play(0);
    ASSERT_GE(p.events.size(), 2u);
    EXPECT_EQ(p.events[0].bytes, std::vector<uint8_t>{0xFC});
    EXPECT_EQ(p.events[1].bytes, std::vector<uint8_t>{0xFA});
}

TEST(JackClock, JoinedWhilePlayingItSaysWhereAndContinuesOnTheNextSixteenth)
{
    Periods p;
    // Heard from song frame 1000: pulse 20 is past, the next sixteenth is
    // pulse 24 (frame 1200): song position 4 sixteenths, continue and the
    // pulse, all on the period's frame 200.
    p.play(1000);
    ASSERT_GE(p.events.size(), 3u);
    EXPECT_EQ(p.events[0].bytes, (std::vector<uint8_t>{0xF2, 4, 0}));
    EXPECT_EQ(p.events[1].bytes, std::vector<uint8_t>{0xFB});
    EXPECT_EQ(p.events[2].bytes, std::vector<uint8_t>{0xF8});
    for (int i = 0; i < 3; ++i) EXPECT_EQ(p.events[i].frame, 200);
    EXPECT_EQ(p.writer.said, JackClock_kContinued);
}

}  // namespace
