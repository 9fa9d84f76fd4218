// The network link between two instances in this process: the panel's mode
// and track items, the parser and the line cutter on hostile input, who is
// let in (one answer, one connection), a silent peer's slot freed, a song
// loaded here by any way told in order, the other side's song taken at the
// end of a cycle, and a name look-up that never holds the link up.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
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
    bool heard[8] = {true, true, true, true, true, true, true, true};
    bool letIn = true;
    bool hold = false;
    int asked = 0;
    int loadsThisPass = 0, mostLoadsInAPass = 0;
    double startedAt = 0;
    std::vector<std::string> done;

    std::string songName() override { return song; }
    bool hasSong(const char* name) override { return std::string(name) != "Missing"; }
    bool loadSong(const char* name) override
    {
        if (!hasSong(name)) return false;
        song = name;
        isPlaying = false;
        g = BLGroove{};
        mostLoadsInAPass = std::max(mostLoadsInAPass, ++loadsThisPass);
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
    bool setTempo(float b) override
    {
        bpm = b;
        return true;
    }
    int beat() override { return isPlaying ? static_cast<int>(position()) % 32 : -1; }
    double position() override { return isPlaying ? (plat::monotonicMs() - startedAt) * bpm / 60000.0 : -1; }
    bool setSample(int16_t t, int16_t group, int16_t slot) override
    {
        if (group >= 6) return false;
        g.tracks[t].group = group;
        g.tracks[t].slot = slot;
        done.push_back("sample " + std::to_string(t) + " " + std::to_string(group) + " " +
                       std::to_string(slot));
        return true;
    }
    void setVolume(int16_t t, int16_t v) override { g.tracks[t].volume = static_cast<uint16_t>(v); }
    void setPan(int16_t t, int16_t p) override { g.tracks[t].pan = p; }
    bool audible(int16_t t) override { return heard[t]; }
    void setAudible(int16_t t, bool on) override
    {
        heard[t] = on;
        done.push_back("on " + std::to_string(t) + " " + std::to_string(on));
    }
    void setEffect(int16_t r, int16_t k, const std::string& effect, bool bypass) override
    {
        FxSlot& s = g.fx.racks[r].slots[k];
        if (s.effect != effect) s = FxSlot{};
        s.effect = effect;
        s.bypass = bypass;
        done.push_back("effect " + std::to_string(r) + " " + std::to_string(k) + " " + effect + " " +
                       std::to_string(bypass));
    }
    void setEffectParam(int16_t r, int16_t k, const std::string& name, float value) override
    {
        g.fx.racks[r].slots[k].setParam(name, value);
        done.push_back("param " + std::to_string(r) + " " + std::to_string(k) + " " + name);
    }
    bool ask(const char*) override
    {
        ++asked;
        return letIn;
    }
    bool holding() override { return hold; }
    void changed() override { ++changes; }
    int changes = 0;
    bool has(const std::string& what) const
    {
        return std::find(done.begin(), done.end(), what) != done.end();
    }
    size_t indexOf(const std::string& what) const
    {
        return static_cast<size_t>(std::find(done.begin(), done.end(), what) - done.begin());
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

// Runs the links' idle work until `done` holds; false after 10 s.
bool pumpUntil(std::vector<std::pair<BLNet*, FakeHost*>> sides, const std::function<bool()>& done)
{
    const double end = plat::monotonicMs() + 10000;
    while (plat::monotonicMs() < end) {
        for (auto& [link, host] : sides) {
            if (host) host->loadsThisPass = 0;
            link->idleEvents();
        }
        if (done()) return true;
        plat::sleepMs(1);
    }
    return false;
}

bool next(kelTalkTcp& t, kelTalkTcp::Item& out)
{
    const double end = plat::monotonicMs() + 10000;
    while (plat::monotonicMs() < end) {
        if (t.take(out)) return true;
        plat::sleepMs(1);
    }
    return false;
}

std::string identityOf(char c)
{
    return std::string(kBLNetIdentityLength, c);
}

class NetLink : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = {blPrefs.netMode, blPrefs.netPort};
        blPrefs.netTrustedCount = 0;
    }
    void TearDown() override
    {
        blPrefs.netMode = saved.first;
        blPrefs.netPort = saved.second;
        blPrefs.netAddress[0] = '\0';
        blPrefs.netIdentity[0] = '\0';
        blPrefs.netTrustedCount = 0;
        plat::LineLink::setNameLookup({});
    }
    // Starts `l` listening on a free port (or `port`) as `who`; returns the port.
    static uint16_t listen(BLNet& l, char who, uint16_t port = 0)
    {
        std::snprintf(blPrefs.netIdentity, sizeof blPrefs.netIdentity, "%s", identityOf(who).c_str());
        blPrefs.netMode = kBLNetListen;
        blPrefs.netPort = port;
        l.startListen();
        return l.port();
    }
    static void connect(BLNet& l, uint16_t port, char who, const char* address = "127.0.0.1")
    {
        std::snprintf(blPrefs.netIdentity, sizeof blPrefs.netIdentity, "%s", identityOf(who).c_str());
        blPrefs.netMode = kBLNetConnect;
        blPrefs.netPort = port;
        std::snprintf(blPrefs.netAddress, sizeof blPrefs.netAddress, "%s", address);
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
    const std::string longName = "9 " + std::string(kBLNetNameMax, 'n');
    const std::string hello = "11 " + identityOf('7');
    const std::string good[] = {"1 3 2 4",
                                "1 0 -1 -1",
                                "2 7 127",
                                "3 0 -63",
                                "4 7 0",
                                "5 1 2",
                                "6",
                                "7",
                                "9 Deep House",
                                "9 Funk 105",
                                "8 126000 0",
                                "8 1000 31999",
                                "10 1",
                                "12",
                                "13",
                                longName,
                                hello,
                                "14 3 0 1 filter",
                                "14 8 1 0",
                                "14 0 1 0 http://lv2plug.in/plugins/eg-amp",
                                "15 2 0 0.5 cutoff",
                                "15 8 1 -12.25 ceiling",
                                "15 0 0 9.99999975e-06 mix"};
    for (const std::string& text : good) {
        BLNetMessage m;
        ASSERT_TRUE(BLNet_parseMessage(text.data(), text.size(), m)) << text;
        char back[kBLNetTextMax];
        EXPECT_EQ(std::string(back, BLNet_formatMessage(m, back, sizeof back)), text);
    }
    const std::string bad[] = {"",
                               " 6",
                               "6 ",
                               "06",
                               "1 8 2 4",
                               "1 3 2",
                               "1 3 2 4 5",
                               "1  3 2 4",
                               "1 3 +2 4",
                               "1 3 -0 4",
                               "2 0 128",
                               "3 0 64",
                               "5 0 3",
                               "6 1",
                               "9",
                               "9 ",
                               "9 ../etc",
                               "9 a:b",
                               "9 a/b",
                               "9 ..",
                               "9  lead",
                               "8 999 0",
                               "8 120000 32000",
                               "14",
                               "4 1 2",
                               "1 3 2 4\r",
                               std::string("7\0", 2),
                               "2 0 1271234567",
                               longName + "n",
                               "11 " + identityOf('G'),
                               hello + "0",
                               "12 1",
                               "14 9 0 0 filter",
                               "14 0 2 0",
                               "14 0 0 2",
                               "14 0 0 0 ",
                               "14 0 0 0 a b",
                               "15 0 0 1.0 cutoff",
                               "15 0 0 1e-05 mix",
                               "15 0 0 nan cutoff",
                               "15 0 0 inf cutoff",
                               "15 0 0 0.5",
                               "15 0 0 0.5 ",
                               "15 0 0 0.5 a b",
                               "16 0"};
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
    // A song this library lacks is named for the panel, and the tracks that
    // follow it, which are that song's, are not applied to the song here.
    EXPECT_TRUE(link.hear("9 Missing", 9, 0));
    EXPECT_TRUE(link.hear("1 0 2 3", 7, 0));
    EXPECT_TRUE(link.songMissing);
    EXPECT_EQ(link.reason, "Missing");
    EXPECT_TRUE(host.done.empty());
    EXPECT_TRUE(link.hear(longName.data(), longName.size(), 0));
    EXPECT_TRUE(host.has("song " + longName.substr(2))) << "a name of 255 bytes is a song like another";
    EXPECT_FALSE(link.songMissing);

    // The transport's cutting: lines end at '\n' (a '\r' before it goes),
    // an empty line only says the other side is there, a line too long is
    // dropped up to its end, wherever the pieces of the stream fall.
    const std::string stream =
        "1 3 2 4\r\n\n" + std::string(plat::kLinkLineMax + 1, '7') + "\n" + longName + "\n7\n";
    std::vector<std::string> pieces;
    plat::LineCutter cutter;
    for (size_t at = 0; at < stream.size(); at += 5)
        cutter.feed(stream.data() + at, std::min<size_t>(5, stream.size() - at),
                    [&](plat::LineCutter::Piece p, std::string& line) {
                        pieces.push_back(p == plat::LineCutter::Piece::Line        ? line
                                         : p == plat::LineCutter::Piece::KeepAlive ? "(alive)"
                                                                                   : "(too long)");
                    });
    EXPECT_EQ(pieces, (std::vector<std::string>{"1 3 2 4", "(alive)", "(too long)", longName, "7"}));
}

TEST(NetTransport, AnAnswerLetsInItsOwnConnectionOnlyAndOthersAreToldBusy)
{
    kelTalkTcp listener;
    listener.setFarewells("12", "13");
    ASSERT_TRUE(listener.open("0"));
    ASSERT_NE(listener.port(), 0) << "port 0 gives a free port, read back";
    const std::string address = "127.0.0.1:" + std::to_string(listener.port());
    kelTalkTcp::Item item;
    auto connector = [&](char who) {
        auto c = std::make_unique<kelTalkTcp>();
        c->setHello("11 " + identityOf(who));
        c->retryMs = 60000;
        EXPECT_TRUE(c->open(address.c_str()));
        return c;
    };
    // Heard until it is let in or told to go.
    auto told = [&](kelTalkTcp& c, int16_t code) {
        while (next(c, item))
            if (item.kind == kelTalkTcp::Item::Kind::Message && item.message.code == code) return true;
        return false;
    };

    // A says who it is and is asked about; B, meanwhile, is told busy.
    auto a = connector('a');
    ASSERT_TRUE(next(listener, item));
    ASSERT_EQ(item.kind, kelTalkTcp::Item::Kind::Asking);
    EXPECT_EQ(item.text, "127.0.0.1");
    ASSERT_TRUE(item.hello);
    EXPECT_EQ(std::string(item.message.name), identityOf('a'));
    const uint32_t askedForA = item.connection;
    EXPECT_TRUE(listener.asking(askedForA));
    EXPECT_FALSE(listener.send("6")) << "nothing goes to a connection not let in";
    auto b = connector('b');
    EXPECT_TRUE(told(*b, kBLNetBusy));

    // A leaves before the answer: the Yes for it lets nobody in, and the
    // connection that comes next is asked about anew.
    a.reset();
    ASSERT_TRUE(next(listener, item));
    EXPECT_EQ(item.kind, kelTalkTcp::Item::Kind::Lost);
    EXPECT_FALSE(listener.asking(askedForA));
    listener.answer(askedForA, true);
    b = connector('b');
    ASSERT_TRUE(next(listener, item));
    ASSERT_EQ(item.kind, kelTalkTcp::Item::Kind::Asking) << "B waits for its own answer";
    EXPECT_NE(item.connection, askedForA);
    EXPECT_FALSE(listener.isConnected());
    listener.answer(item.connection, false);
    EXPECT_TRUE(told(*b, kBLNetRefused));

    // Let in, lines go both ways; bad ones are counted, none is cut up.
    b = connector('b');
    ASSERT_TRUE(next(listener, item));
    listener.answer(item.connection, true);
    ASSERT_TRUE(next(listener, item));
    EXPECT_EQ(item.kind, kelTalkTcp::Item::Kind::Linked);
    ASSERT_TRUE(next(*b, item));
    EXPECT_EQ(item.kind, kelTalkTcp::Item::Kind::Linked);
    const std::string tooLong(plat::kLinkLineMax + 1, '1');
    for (const std::string& line :
         {std::string("1 3 2 4"), tooLong, std::string("1 3 x 4"), std::string("7")})
        EXPECT_TRUE(b->send(line.c_str()));
    EXPECT_FALSE(b->send("1\n7")) << "one message per line";
    ASSERT_TRUE(next(listener, item));
    ASSERT_EQ(item.kind, kelTalkTcp::Item::Kind::Message);
    EXPECT_EQ(item.message.code, kBLNetSample);
    ASSERT_TRUE(next(listener, item));
    EXPECT_EQ(item.message.code, kBLNetStop) << "the long line and the bad one never arrive";
    EXPECT_EQ(listener.dropped(), 2);
    EXPECT_GE(listener.turnedAway(), 1);
}

TEST(NetTransport, APeerHeardNothingFromIsClosedWhileKeepAlivesHoldAQuietOne)
{
    // Two listeners, each with its peer: a quiet one whose transport sends
    // its keep-alives, then one that went silent (as a stopped program does).
    kelTalkTcp quietSide, silentSide;
    for (kelTalkTcp* l : {&quietSide, &silentSide}) {
        l->setTimes(40, 400);
        ASSERT_TRUE(l->open("0"));
    }
    kelTalkTcp::Item item;
    kelTalkTcp quiet;
    quiet.setHello("11 " + identityOf('c'));
    quiet.setTimes(40, 400);
    ASSERT_TRUE(quiet.open(("127.0.0.1:" + std::to_string(quietSide.port())).c_str()));
    ASSERT_TRUE(next(quietSide, item));
    quietSide.answer(item.connection, true);
    ASSERT_TRUE(next(quietSide, item));
    ASSERT_EQ(item.kind, kelTalkTcp::Item::Kind::Linked);

    plat::LineLink silent([](plat::LinkEvent&&) {});
    silent.setHello("11 " + identityOf('d'));
    silent.setTimes(60000, 60000);
    silent.connect("127.0.0.1", silentSide.port());
    ASSERT_TRUE(next(silentSide, item));
    const uint32_t id = item.connection;
    silentSide.answer(id, true);
    ASSERT_TRUE(next(silentSide, item));
    ASSERT_EQ(item.kind, kelTalkTcp::Item::Kind::Linked);
    ASSERT_TRUE(next(silentSide, item));
    EXPECT_EQ(item.kind, kelTalkTcp::Item::Kind::Silent) << "a silent peer's link is closed";
    EXPECT_EQ(item.connection, id);
    EXPECT_TRUE(quietSide.isConnected()) << "linked before the silent one, and kept by its keep-alives";
    EXPECT_FALSE(quietSide.take(item));

    // The slot is free: the next connection is asked about.
    kelTalkTcp again;
    again.setHello("11 " + identityOf('d'));
    ASSERT_TRUE(again.open(("127.0.0.1:" + std::to_string(silentSide.port())).c_str()));
    ASSERT_TRUE(next(silentSide, item));
    EXPECT_EQ(item.kind, kelTalkTcp::Item::Kind::Asking);
}

TEST_F(NetLink, ASongPlayingHereIsGivenToThePeerLetInAndOnlyATrustedPlayerComesBackUnasked)
{
    FakeHost here, there;
    BLNet listening, connecting;
    listening.setHost(&here);
    connecting.setHost(&there);
    there.song = "Funk 105";
    there.isPlaying = true;
    there.g.tracks[3].group = 2;
    there.g.tracks[3].slot = 4;
    there.heard[5] = false;

    // Sent away first: nothing of the other side is heard, and it is not
    // asked about again while it keeps trying.
    here.letIn = false;
    there.bpm = 960.0f;  // a cycle of 2 s
    const uint16_t port = listen(listening, 'e');
    ASSERT_NE(port, 0);
    connect(connecting, port, 'c');
    there.startedAt = plat::monotonicMs();
    const std::vector<std::pair<BLNet*, FakeHost*>> both = {{&listening, &here}, {&connecting, &there}};
    ASSERT_TRUE(pumpUntil(both, [&] { return here.asked == 1; }));
    ASSERT_TRUE(pumpUntil(both, [&] { return connecting.status == BLNet::Status::Refused; }));
    const int changes = there.changes;
    ASSERT_TRUE(pumpUntil(both, [&] { return there.changes >= changes + 6; }));
    EXPECT_EQ(here.asked, 1);
    EXPECT_TRUE(here.done.empty());
    // The listening side is told that a player it sent away tries again.
    ASSERT_TRUE(pumpUntil(both, [&] { return !listening.sentAwayAgain.empty(); }));
    EXPECT_EQ(listening.status, BLNet::Status::Listening);

    // Listening anew, the peer is asked again and let in: it gives its song,
    // its tracks and its play, and this side starts on its next cycle.
    here.letIn = true;
    listen(listening, 'e', port);
    ASSERT_EQ(listening.port(), port);
    ASSERT_TRUE(
        pumpUntil(both, [&] { return listening.status == BLNet::Status::Linked && here.has("on 5 0"); }));
    EXPECT_TRUE(listening.sentAwayAgain.empty()) << "listening anew forgets who was sent away";
    EXPECT_EQ(here.done.front(), "song Funk 105");
    EXPECT_LT(here.indexOf("sample 3 2 4"), here.indexOf("on 5 0"));
    EXPECT_EQ(here.asked, 2);
    ASSERT_TRUE(pumpUntil(both, [&] { return here.isPlaying; }));
    EXPECT_EQ(connecting.status, BLNet::Status::Linked);
    EXPECT_EQ(here.bpm, 960.0f) << "the tempo came with the clock";
    // Started on a cycle boundary of the other side, give or take a few idle passes.
    const double intoCycle = std::fmod(here.startedAt - there.startedAt, 2000.0);
    EXPECT_TRUE(intoCycle < 40.0 || intoCycle > 2000.0 - 5.0) << intoCycle;

    // Choosing a loop there is heard here; what is applied here is not sent back.
    connecting.sendSample(3, 1, 0);
    ASSERT_TRUE(pumpUntil(both, [&] { return here.has("sample 3 1 0"); }));
    EXPECT_FALSE(there.has("sample 3 1 0"));

    // The connecting side goes away and comes back: it is asked again, as a
    // player of another identity from the same address would be. Once let
    // in without asking (the panel's tick), it comes back unasked.
    auto comeBack = [&](int askedThen) {
        connecting.close();
        connect(connecting, port, 'c');
        return pumpUntil(
            both, [&] { return here.asked == askedThen && connecting.status == BLNet::Status::Linked; });
    };
    EXPECT_TRUE(comeBack(3));
    EXPECT_FALSE(listening.trusted());
    listening.setTrusted(true);
    EXPECT_TRUE(comeBack(3)) << "trusted: no question";
    EXPECT_TRUE(there.isPlaying) << "a lost link never stops the music";
    EXPECT_FALSE(there.has("stop"));
    connecting.close();
    connect(connecting, port, 'd');
    ASSERT_TRUE(pumpUntil(both, [&] { return here.asked == 4; })) << "another player is asked about";
}

TEST_F(NetLink, ASongLoadedHereByAnyWayIsToldSongStopTracksPlayAndTakenThereOneAPass)
{
    FakeHost here, there;
    BLNet listening, connecting;
    listening.setHost(&here);
    connecting.setHost(&there);
    here.song = "Techno 120";
    here.bpm = there.bpm = 960.0f;
    const uint16_t port = listen(listening, 'e');
    connect(connecting, port, 'c');
    const std::vector<std::pair<BLNet*, FakeHost*>> both = {{&listening, &here}, {&connecting, &there}};
    ASSERT_TRUE(pumpUntil(both, [&] { return there.song == "Techno 120"; }));

    // Auditioning in the browser: nothing of it goes out.
    here.hold = true;
    here.song = "Audition";
    here.g.tracks[0].group = 1;
    listening.sendSample(0, 1, 0);
    ASSERT_TRUE(pumpUntil(both, [&] { return true; }));
    here.hold = false;

    // Then a song opened as a document would: the song, its tracks, its
    // mutes and its play reach the other side, in that order, with no
    // message of this side's making.
    here.song = "House 126";
    here.g.tracks[2].group = 4;
    here.g.tracks[2].slot = 1;
    here.heard[6] = false;
    here.play();
    there.done.clear();
    ASSERT_TRUE(pumpUntil(both, [&] { return there.isPlaying && there.has("on 6 0"); }));
    EXPECT_LT(there.indexOf("song House 126"), there.indexOf("sample 2 4 1"))
        << ::testing::PrintToString(there.done);
    EXPECT_LT(there.indexOf("sample 2 4 1"), there.indexOf("on 6 0"));
    EXPECT_LT(there.indexOf("on 6 0"), there.indexOf("play"));
    EXPECT_FALSE(there.has("song Audition"));
    EXPECT_FALSE(there.has("sample 0 1 0"));
    EXPECT_LE(there.mostLoadsInAPass, 1);

    // A loop or a mute changed here by any way reaches the other side; and
    // the other side's change comes back the same way.
    here.g.tracks[1].group = 3;
    here.heard[6] = true;
    there.g.tracks[4].group = 2;
    ASSERT_TRUE(pumpUntil(
        both, [&] { return there.has("sample 1 3 -1") && there.has("on 6 1") && here.has("sample 4 2 -1"); }))
        << ::testing::PrintToString(there.done) << ::testing::PrintToString(here.done);
}

TEST_F(NetLink, EffectsChangedOnEitherSideReachTheOtherAndNeverComeBack)
{
    FakeHost here, there;
    BLNet listening, connecting;
    listening.setHost(&here);
    connecting.setHost(&there);
    here.song = "Techno 120";
    FxSlot& filter = here.g.fx.racks[3].slots[0];
    filter.effect = "filter";
    filter.setParam("cutoff", 512.125f);
    const uint16_t port = listen(listening, 'e');
    connect(connecting, port, 'c');
    const std::vector<std::pair<BLNet*, FakeHost*>> both = {{&listening, &here}, {&connecting, &there}};
    // The song comes with the effects it plays with.
    ASSERT_TRUE(pumpUntil(both, [&] { return there.has("param 3 0 cutoff"); }))
        << ::testing::PrintToString(there.done);
    EXPECT_EQ(there.g.fx.racks[3].slots[0], filter);

    // A change there, of any kind, reaches here bit for bit, and what
    // this side took is not told back.
    FxSlot& reverb = there.g.fx.racks[kFxMain].slots[1];
    reverb.effect = "reverb";
    reverb.bypass = true;
    reverb.setParam("mix", 0.3f);
    there.g.fx.racks[3].slots[0].setParam("cutoff", 2000.5f);
    ASSERT_TRUE(pumpUntil(both, [&] {
        return here.has("param 8 1 mix") && *filter.param("cutoff") == 2000.5f;
    })) << ::testing::PrintToString(here.done);
    EXPECT_EQ(here.g.fx.racks[kFxMain].slots[1], reverb);
    // Emptied here: emptied there; nothing of the other side's comes back.
    here.g.fx.racks[kFxMain].slots[1] = FxSlot{};
    ASSERT_TRUE(pumpUntil(both, [&] { return there.g.fx.racks[kFxMain].slots[1].empty(); }));
    ASSERT_TRUE(pumpUntil(both, [&] { return true; }));
    EXPECT_EQ(std::count(there.done.begin(), there.done.end(), "effect 3 0 filter 0"), 1)
        << ::testing::PrintToString(there.done);
    EXPECT_EQ(std::count(here.done.begin(), here.done.end(), "effect 8 1 reverb 1"), 1);
    EXPECT_EQ(std::count(there.done.begin(), there.done.end(), "param 8 1 mix"), 0)
        << "its own change came back";
    EXPECT_EQ(std::count(here.done.begin(), here.done.end(), "param 3 0 cutoff"), 1);
}

TEST_F(NetLink, JoiningWhileTheMusicPlaysGoesOnToTheEndOfACycleThenTakesTheOtherSidesSong)
{
    // The listening side playing (its cycle ends later than the joining
    // side's), then stopped.
    for (const bool listenerPlays : {true, false}) {
        SCOPED_TRACE(listenerPlays ? "the listening side plays" : "the listening side is stopped");
        FakeHost here, there;
        BLNet listening, connecting;
        listening.setHost(&here);
        connecting.setHost(&there);
        here.song = "House 126";
        here.g.tracks[1].group = 3;
        here.g.tracks[1].slot = 2;
        there.song = "Techno 120";
        here.bpm = there.bpm = 960.0f;  // a cycle of 2 s
        if (listenerPlays) here.play();
        there.play();
        there.startedAt -= 700;  // its own cycle ends first
        const uint16_t port = listen(listening, 'e');
        connect(connecting, port, 'c');
        const std::vector<std::pair<BLNet*, FakeHost*>> both = {{&listening, &here}, {&connecting, &there}};
        ASSERT_TRUE(pumpUntil(both, [&] { return connecting.status == BLNet::Status::Linked; }));
        const double linkedAt = plat::monotonicMs();
        const double endsHere = listenerPlays ? here.startedAt : there.startedAt;
        ASSERT_TRUE(pumpUntil(both, [&] { return there.song == "House 126"; }));
        // Taken at the end of the cycle of the side that plays, and never stopped.
        const double intoCycle = std::fmod(plat::monotonicMs() - endsHere, 2000.0);
        EXPECT_TRUE(intoCycle < 60.0 || intoCycle > 2000.0 - 5.0) << intoCycle;
        EXPECT_LT(plat::monotonicMs() - linkedAt, 2100.0) << "within a cycle";
        EXPECT_FALSE(there.has("stop"));
        EXPECT_TRUE(there.isPlaying);
        EXPECT_EQ(there.g.tracks[1].group, 3);
        EXPECT_EQ(there.g.tracks[1].slot, 2);
        EXPECT_FALSE(here.has("song Techno 120")) << "the joining side's song never went over";
        // Its music goes on, and the listening side plays with it.
        ASSERT_TRUE(pumpUntil(both, [&] { return here.isPlaying; }));
    }
}

TEST_F(NetLink, TurningTheLinkOffNeverWaitsForANameLookUp)
{
    // A look-up that answers only when let go; it may outlive the test.
    struct Held {
        std::mutex m;
        std::condition_variable cv;
        bool looking = false, released = false;
    };
    auto held = std::make_shared<Held>();
    plat::LineLink::setNameLookup([held](const std::string&, std::vector<std::string>&, std::string& why) {
        std::unique_lock<std::mutex> hold(held->m);
        held->looking = true;
        held->cv.notify_all();
        held->cv.wait(hold, [&] { return held->released; });
        why = "no answer";
        return false;
    });
    RecordingLink link;
    BLNetPanel panel(&link);
    blPrefs.netMode = kBLNetOff;
    blPrefs.netPort = 7460;
    std::snprintf(blPrefs.netAddress, sizeof blPrefs.netAddress, "studio.invalid");
    panel.hitItem = netitem::mode;
    panel.onItem();
    ASSERT_EQ(link.status, BLNet::Status::Connecting);
    blPrefs.netPort = 0;
    {
        std::unique_lock<std::mutex> hold(held->m);
        ASSERT_TRUE(held->cv.wait_for(hold, std::chrono::seconds(10), [&] { return held->looking; }));
    }
    // Listen, then off, while the look-up waits: neither waits for it.
    panel.onItem();
    EXPECT_EQ(link.status, BLNet::Status::Listening);
    panel.onItem();
    EXPECT_EQ(link.status, BLNet::Status::Off);
    {
        std::lock_guard<std::mutex> hold(held->m);
        EXPECT_FALSE(held->released) << "the look-up was still under way";
        held->released = true;
    }
    held->cv.notify_all();
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
