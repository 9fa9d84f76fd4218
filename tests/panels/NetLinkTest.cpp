// The network link between two instances in this process: the panel's mode
// and track items, the parser on hostile lines, peers let in or sent away,
// a link lost and found again, and a play that waits for the other side's
// next cycle.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "library/BLGroove.h"
#include "library/BLprefs.h"
#include "net/BLNet.h"
#include "net/BLNetMessage.h"
#include "net/BLNetPanel.h"
#include "net/kelTalkTcp.h"
#include "platform/PlatLink.h"
#include "platform/Platform.h"

namespace {

// What the link mirrors: a song, a groove, a player, and a record of what
// the other side made it do.
class FakeHost : public BLNetHost {
public:
    std::string song;
    BLGroove g;
    bool isPlaying = false;
    float bpm = 120.0f;
    bool letIn = true;
    int asked = 0;
    double startedAt = 0;
    std::vector<std::string> done;

    std::string songName() override { return song; }
    bool loadSong(const char* name) override
    {
        if (std::string(name) == "Missing") return false;
        song = name;
        isPlaying = false;
        done.push_back(std::string("song ") + name);
        return true;
    }
    const BLGroove& groove() override { return g; }
    bool playing() override { return isPlaying; }
    void play() override
    {
        isPlaying = true;
        startedAt = plat::monotonicMs();
        done.push_back("play");
    }
    void stop() override
    {
        isPlaying = false;
        done.push_back("stop");
    }
    float tempo() override { return bpm; }
    void setTempo(float b) override { bpm = b; }
    int beat() override { return isPlaying ? 0 : -1; }
    double position() override { return isPlaying ? (plat::monotonicMs() - startedAt) * bpm / 60000.0 : -1; }
    bool setSample(int16_t t, int16_t group, int16_t slot) override
    {
        if (group >= 6) return false;
        g.tracks[t].group = group;
        g.tracks[t].slot = slot;
        done.push_back("sample " + std::to_string(t) + " " + std::to_string(group) + " " + std::to_string(slot));
        return true;
    }
    void setVolume(int16_t t, int16_t v) override { g.tracks[t].volume = static_cast<uint16_t>(v); }
    void setPan(int16_t t, int16_t p) override { g.tracks[t].pan = p; }
    bool ask(const char*) override
    {
        ++asked;
        return letIn;
    }
    void changed() override { ++changes; }
    int changes = 0;
    bool has(const std::string& what) const
    {
        for (const std::string& d : done)
            if (d == what) return true;
        return false;
    }
};

class RecordingLink : public BLNet {
public:
    std::vector<std::string> sent;
    bool send(const char* text) override
    {
        sent.emplace_back(text);
        return true;
    }
};

// Runs both sides' idle work until `done` holds; false after 10 s.
bool pumpUntil(std::vector<BLNet*> links, const std::function<bool()>& done)
{
    const double end = plat::monotonicMs() + 10000;
    while (plat::monotonicMs() < end) {
        for (BLNet* l : links) l->idleEvents();
        if (done()) return true;
        plat::sleepMs(1);
    }
    return false;
}

class NetLink : public ::testing::Test {
protected:
    void SetUp() override { saved = {blPrefs.netMode, blPrefs.netPort}; }
    void TearDown() override
    {
        blPrefs.netMode = saved.first;
        blPrefs.netPort = saved.second;
        blPrefs.netAddress[0] = '\0';
    }
    // Starts `l` listening on a free port; returns the port.
    static uint16_t listen(BLNet& l)
    {
        blPrefs.netMode = kBLNetListen;
        blPrefs.netPort = 0;
        l.startListen();
        return l.port();
    }
    static void connect(BLNet& l, uint16_t port)
    {
        blPrefs.netMode = kBLNetConnect;
        blPrefs.netPort = port;
        std::snprintf(blPrefs.netAddress, sizeof blPrefs.netAddress, "127.0.0.1");
        l.retryMs = 20;
        ASSERT_TRUE(l.startConnect());
    }
    std::pair<int16_t, uint16_t> saved;
};

TEST_F(NetLink, ModeItemCyclesConnectListenOffAndTrackItemsSendTheirUse)
{
    RecordingLink link;
    BLNetPanel panel(&link);
    blPrefs.netPort = 0;
    std::snprintf(blPrefs.netAddress, sizeof blPrefs.netAddress, "127.0.0.1");
    link.sendFlags[4] = 0;

    std::vector<int16_t> modes;
    for (int press = 0; press < 3; ++press) {
        panel.hitItem = netitem::mode;
        panel.onItem();
        modes.push_back(panel.mode);
        EXPECT_EQ(blPrefs.netMode, panel.mode) << "the mode is kept in the preferences";
    }
    EXPECT_EQ(modes, (std::vector<int16_t>{kBLNetConnect, kBLNetListen, kBLNetOff}));
    EXPECT_EQ(link.status, BLNet::Status::Off);
    for (uint8_t flag : link.sendFlags) EXPECT_EQ(flag, 1) << "closing sets every send flag again";

    // Track 3 steps shared, played here, played there, shared: every step
    // reaches the other side, and while it is played there its loops are not sent.
    link.sent.clear();
    for (int press = 0; press < 3; ++press) {
        panel.hitItem = static_cast<int16_t>(netitem::firstTrack + 3);
        panel.onItem();
        if (press == 1) {
            link.sendSample(3, 1, 1);
            link.sendSample(2, 1, 1);
        }
    }
    EXPECT_EQ(link.sent, (std::vector<std::string>{"5 3 1", "5 3 2", "1 2 1 1", "5 3 0"}));
    EXPECT_EQ(panel.useState[3], kBLUseShared);
    EXPECT_EQ(link.sendFlags[3], 1);
}

TEST(NetMessages, HostileLinesAreRefusedWholeAndGoodOnesFormBackTheSame)
{
    const char* good[] = {"1 3 2 4",     "1 0 -1 -1", "2 7 127",  "3 0 -63", "5 1 2", "6", "7",
                          "9 Deep House", "9 Funk 105", "8 126000 0", "8 1000 31999", "10 1"};
    for (const char* text : good) {
        BLNetMessage m;
        ASSERT_TRUE(BLNet_parseMessage(text, std::strlen(text), m)) << text;
        char back[160];
        EXPECT_EQ(std::string(back, BLNet_formatMessage(m, back, sizeof back)), text);
    }
    const std::string bad[] = {"",          " 6",          "6 ",         "06",        "1 8 2 4",    "1 3 2",
                               "1 3 2 4 5", "1  3 2 4",    "1 3 +2 4",   "1 3 -0 4",  "2 0 128",    "3 0 64",
                               "5 0 3",     "6 1",         "9",          "9 ",        "9 ../etc",   "9 a:b",
                               "9 a/b",     "9 ..",        "9  lead",    "8 999 0",   "8 120000 32000",
                               "11",        "4 1 1",       "1 3 2 4\r",  std::string("7\0", 2), "2 0 1271234567",
                               "9 " + std::string(101, 'x')};
    for (const std::string& text : bad) {
        BLNetMessage m;
        EXPECT_FALSE(BLNet_parseMessage(text.data(), text.size(), m)) << '"' << text << '"';
    }

    // The link counts what it drops and applies none of it.
    FakeHost host;
    BLNet link;
    link.setHost(&host);
    for (const std::string& text : bad) EXPECT_FALSE(link.hear(text.data(), text.size(), 0));
    EXPECT_TRUE(host.done.empty());
    EXPECT_EQ(link.dropped(), static_cast<long>(std::size(bad)));
    // A song this library lacks is named for the panel.
    EXPECT_TRUE(link.hear("9 Missing", 9, 0));
    EXPECT_EQ(link.reason, "Missing");
    EXPECT_EQ(link.dropped(), static_cast<long>(std::size(bad)));
}

TEST(NetTransport, LinesGoBothWaysOnceThePeerIsLetInAndBadOnesAreCounted)
{
    kelTalkTcp listener, connector;
    ASSERT_TRUE(listener.open("0"));
    ASSERT_NE(listener.port(), 0) << "port 0 gives a free port, read back";
    ASSERT_TRUE(connector.open(("127.0.0.1:" + std::to_string(listener.port())).c_str()));
    kelTalkTcp::Item item;
    auto next = [](kelTalkTcp& t, kelTalkTcp::Item& out) {
        const double end = plat::monotonicMs() + 10000;
        while (plat::monotonicMs() < end) {
            if (t.take(out)) return true;
            plat::sleepMs(1);
        }
        return false;
    };
    ASSERT_TRUE(next(listener, item));
    EXPECT_EQ(item.kind, kelTalkTcp::Item::Kind::Asking);
    EXPECT_EQ(item.text, "127.0.0.1");
    ASSERT_TRUE(next(connector, item));
    EXPECT_EQ(item.kind, kelTalkTcp::Item::Kind::Linked);
    EXPECT_FALSE(listener.send("6")) << "nothing goes to a peer not let in";
    listener.answer(true);
    ASSERT_TRUE(next(listener, item));
    EXPECT_EQ(item.kind, kelTalkTcp::Item::Kind::Linked);
    EXPECT_TRUE(listener.isConnected());

    const std::string tooLong(plat::kLinkLineMax + 1, '1');
    for (const std::string& line : {std::string("1 3 2 4"), tooLong, std::string("1 3 x 4"), std::string("7")})
        EXPECT_TRUE(connector.send(line.c_str()));
    EXPECT_FALSE(connector.send("1\n7")) << "one message per line";
    ASSERT_TRUE(next(listener, item));
    ASSERT_EQ(item.kind, kelTalkTcp::Item::Kind::Message);
    EXPECT_EQ(item.message.code, kBLNetSample);
    EXPECT_EQ(item.message.track, 3);
    ASSERT_TRUE(next(listener, item));
    EXPECT_EQ(item.message.code, kBLNetStop) << "the long line and the bad one never arrive";
    EXPECT_EQ(listener.dropped(), 2);

    EXPECT_TRUE(listener.send("9 Funk 105"));
    ASSERT_TRUE(next(connector, item));
    EXPECT_STREQ(item.message.name, "Funk 105");
}

TEST_F(NetLink, ASongPlayingHereIsGivenToThePeerLetInAndTheLinkComesBackAfterALoss)
{
    FakeHost here, there;
    BLNet listening, connecting;
    listening.setHost(&here);
    connecting.setHost(&there);
    there.song = "Funk 105";
    there.isPlaying = true;
    there.g.tracks[3].group = 2;
    there.g.tracks[3].slot = 4;

    // Sent away first: nothing of the other side is heard, and it is not
    // asked about again while it keeps trying.
    here.letIn = false;
    there.bpm = 960.0f;  // a cycle of 2 s
    const uint16_t port = listen(listening);
    ASSERT_NE(port, 0);
    connect(connecting, port);
    there.startedAt = plat::monotonicMs();
    ASSERT_TRUE(pumpUntil({&listening, &connecting}, [&] { return here.asked == 1; }));
    const int changes = there.changes;
    ASSERT_TRUE(pumpUntil({&listening, &connecting}, [&] { return there.changes >= changes + 6; }));
    EXPECT_EQ(here.asked, 1);
    EXPECT_TRUE(here.done.empty());
    EXPECT_NE(connecting.status, BLNet::Status::Linked);

    // Listening anew, the peer is asked again and let in: it gives its song,
    // its tracks and its play, and this side starts on its next cycle.
    here.letIn = true;
    blPrefs.netMode = kBLNetListen;
    blPrefs.netPort = port;
    listening.startListen();
    ASSERT_EQ(listening.port(), port);
    ASSERT_TRUE(pumpUntil({&listening, &connecting},
                          [&] { return listening.status == BLNet::Status::Linked && here.has("sample 3 2 4"); }));
    EXPECT_EQ(here.done.front(), "song Funk 105");
    EXPECT_EQ(here.asked, 2);
    ASSERT_TRUE(pumpUntil({&listening, &connecting}, [&] { return here.isPlaying; }));
    EXPECT_EQ(connecting.status, BLNet::Status::Linked);
    EXPECT_EQ(here.bpm, 960.0f) << "the tempo came with the clock";
    // Started on a cycle boundary of the other side, give or take a few idle passes.
    const double intoCycle = std::fmod(here.startedAt - there.startedAt, 2000.0);
    EXPECT_TRUE(intoCycle < 40.0 || intoCycle > 2000.0 - 5.0) << intoCycle;

    // Choosing a loop there is heard here; what is applied here is not sent back.
    connecting.sendSample(3, 1, 0);
    ASSERT_TRUE(pumpUntil({&listening, &connecting}, [&] { return here.has("sample 3 1 0"); }));
    EXPECT_TRUE(there.done.empty());

    // The listening side goes away: the other side says so, keeps playing and
    // comes back by itself, let in without a question.
    listening.close();
    ASSERT_TRUE(pumpUntil({&listening, &connecting}, [&] { return connecting.status == BLNet::Status::Lost; }));
    EXPECT_TRUE(there.isPlaying) << "a lost link never stops the music";
    EXPECT_FALSE(there.has("stop"));
    blPrefs.netMode = kBLNetListen;
    listening.startListen();
    ASSERT_TRUE(pumpUntil({&listening, &connecting}, [&] { return connecting.status == BLNet::Status::Linked; }));
    EXPECT_EQ(here.asked, 2);
    // Both play the same song in step: the listening side's song is not loaded again.
    connecting.sendVolume(5, 99);
    ASSERT_TRUE(pumpUntil({&listening, &connecting}, [&] { return here.g.tracks[5].volume == 99; }));
    EXPECT_TRUE(there.isPlaying);
    EXPECT_FALSE(there.has("stop"));
    EXPECT_FALSE(there.has("song Funk 105"));
}

TEST_F(NetLink, APlayStartsOnTheSendersNextCycleBoundary)
{
    FakeHost host;
    BLNet link;
    link.setHost(&host);
    // The other side is at beat 30.5 of its cycle at 120 beats per minute:
    // its next cycle starts 1.5 beats (750 ms) later.
    const double at = plat::monotonicMs();
    ASSERT_TRUE(link.hear("6", 1, at));
    ASSERT_TRUE(link.hear("8 120000 30500", 14, at));
    // Without a transport nothing is taken, but the start still comes.
    const double end = at + 5000;
    while (!host.isPlaying && plat::monotonicMs() < end) {
        link.idleEvents();
        plat::sleepMs(1);
    }
    ASSERT_TRUE(host.isPlaying);
    EXPECT_GE(host.startedAt - at, 749.0) << "never before the boundary";
    EXPECT_LE(host.startedAt - at, 750.0 + 250.0);
}

}  // namespace
