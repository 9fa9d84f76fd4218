// The network link's messages, caught by a transport that keeps what it is given.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library/BLGroove.h"
#include "net/BLNet.h"
#include "net/kelTalk.h"

namespace {

class RecordingLink : public BLNet {
public:
    std::vector<std::string> sent;
    bool send(const char* text) override
    {
        sent.emplace_back(text);
        return true;
    }
};

TEST(NetTest, TrackMessagesAreCodeThenFields)
{
    RecordingLink link;
    link.sendSample(3, 2, 4);
    link.sendVolume(5, 127);
    link.sendPan(0, -63);
    link.sendUse(7, 2);
    link.sendSample(1, -1, -1);
    EXPECT_EQ(link.sent, (std::vector<std::string>{"1 3 2 4", "2 5 127", "3 0 -63", "5 7 2", "1 1 -1 -1"}));
    EXPECT_STREQ(link.message, "1 1 -1 -1") << "the buffer keeps the last message";
}

TEST(NetTest, TransportMessagesHaveNoTrack)
{
    RecordingLink link;
    link.sendPlay();
    link.sendStop();
    link.sendSong("Deep House");
    link.sendSong(nullptr);
    EXPECT_EQ(link.sent, (std::vector<std::string>{"6", "7", "9 Deep House", "9 "}));
}

TEST(NetTest, ASongNameGoesWholeOrNotAtAll)
{
    RecordingLink link;
    const std::string longest(kBLNetNameMax, 'x');
    link.sendSong(longest.c_str());
    link.sendSong((longest + "x").c_str());
    ASSERT_EQ(link.sent.size(), 1u) << "a name cut short would name another song";
    EXPECT_EQ(link.sent[0], "9 " + longest);
}

TEST(NetTest, SongLoadSendsNameStopTracksThenPlay)
{
    BLGroove groove;
    for (int t = 0; t < kBLGrooveTracks; ++t) {
        groove.tracks[t].group = static_cast<int16_t>(t % 3);
        groove.tracks[t].slot = static_cast<int16_t>(t);
        groove.tracks[t].volume = static_cast<uint16_t>(100 + t);
        groove.tracks[t].pan = static_cast<int16_t>(t - 4);
    }
    groove.tracks[6].reset();

    RecordingLink link;
    link.sendSongLoaded("Funk 105", groove);
    ASSERT_EQ(link.sent.size(), 2u + 8u * 3u + 1u);
    EXPECT_EQ(link.sent.front(), "9 Funk 105");
    EXPECT_EQ(link.sent[1], "7");
    for (int t = 0; t < 8; ++t) {
        const BLTrack& track = groove.tracks[t];
        const size_t at = 2 + static_cast<size_t>(t) * 3;
        EXPECT_EQ(link.sent[at], "1 " + std::to_string(t) + " " + std::to_string(track.group) + " " +
                                     std::to_string(track.slot));
        EXPECT_EQ(link.sent[at + 1], "2 " + std::to_string(t) + " " + std::to_string(track.volume));
        EXPECT_EQ(link.sent[at + 2], "3 " + std::to_string(t) + " " + std::to_string(track.pan));
    }
    EXPECT_EQ(link.sent[2 + 6 * 3], "1 6 -1 -1") << "an empty track says so";
    EXPECT_EQ(link.sent.back(), "6");
}

TEST(NetTest, SendFlagsOffSilenceTheirTracksUntilClose)
{
    RecordingLink link;
    for (uint8_t flag : link.sendFlags) EXPECT_EQ(flag, 1);
    link.sendFlags[2] = 0;
    link.sendFlags[5] = 0;

    BLGroove groove;
    link.sendSongLoaded("S", groove);
    EXPECT_EQ(link.sent.size(), 2u + 6u * 3u + 1u);
    for (const std::string& m : link.sent) {
        EXPECT_NE(m.rfind("1 2 ", 0), 0u) << m;
        EXPECT_NE(m.rfind("2 5 ", 0), 0u) << m;
    }
    link.sent.clear();
    link.sendUse(2, 1);
    link.sendPlay();
    EXPECT_EQ(link.sent, std::vector<std::string>{"6"}) << "play and stop are no track messages";

    EXPECT_FALSE(link.close()) << "the empty transport has nothing to close";
    for (uint8_t flag : link.sendFlags) EXPECT_EQ(flag, 1);
    link.sent.clear();
    link.sendUse(2, 1);
    link.sendPan(5, 10);
    EXPECT_EQ(link.sent, (std::vector<std::string>{"5 2 1", "3 5 10"}));
}

TEST(NetTest, TracksOutsideTheEightSendNothing)
{
    RecordingLink link;
    link.sendSample(8, 1, 1);
    link.sendVolume(-1, 10);
    link.sendPan(100, 0);
    link.sendUse(-32768, 0);
    EXPECT_TRUE(link.sent.empty());
}

TEST(NetTest, EmptyTransportOffersNothing)
{
    BLNet link;
    kelTalk& talk = link;
    char buffer[64] = {};
    EXPECT_EQ(talk.getServiceSignature(), 0x6E6F6E65u);
    EXPECT_FALSE(talk.serviceAvailable(static_cast<long>(talk.getServiceSignature())));
    EXPECT_FALSE(talk.open("host"));
    EXPECT_FALSE(talk.send("6"));
    EXPECT_FALSE(talk.received(buffer));
    EXPECT_FALSE(talk.isConnected());
    EXPECT_FALSE(link.startConnect());
    // The link still forms its messages although they go nowhere.
    link.sendSample(3, 2, 4);
    EXPECT_STREQ(link.message, "1 3 2 4");
}

}  // namespace
