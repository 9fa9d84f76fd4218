// OSC control of the real program, headless: a client of the test's own
// (over liblo) plays, mutes, turns and stores through the documented
// addresses, a second one subscribed hears each change and the beat, and a
// flood of malformed messages changes nothing while the music keeps time.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "e2e/GrooveSession.h"
#include "platform/PlatLink.h"
#include "platform/PlatOsc.h"
#include "platform/Platform.h"

namespace groovee2e {
namespace {

using testsupport::endSpawned;
using testsupport::spawn;

constexpr int kRate = 44100;
constexpr double kBpm = 126;

// A client with a port of its own: what it sends, what it is told.
class Client {
public:
    Client() { open = server.open(0); }
    bool open = false;
    std::string to;

    void send(const plat::OscMessage& m) { server.send(to, m); }
    void send(const std::string& path) { send(msg(path)); }
    static plat::OscMessage msg(const std::string& path)
    {
        plat::OscMessage m;
        m.path = path;
        return m;
    }
    // Takes what came; true once `found` holds for one message since `from`.
    bool heard(const std::function<bool(const plat::OscMessage&)>& found, double seconds, size_t from = 0)
    {
        const double until = plat::monotonicMs() + seconds * 1000;
        do {
            drain();
            for (size_t i = from; i < told.size(); ++i)
                if (found(told[i])) return true;
            plat::sleepMs(2);
        } while (plat::monotonicMs() < until);
        return false;
    }
    bool heardInt(const std::string& path, int value, double seconds, size_t from = 0)
    {
        return heard(
            [&](const plat::OscMessage& m) {
                return m.path == path && m.types == "i" && m.args[0].i == value;
            },
            seconds, from);
    }
    bool heardFloat(const std::string& path, float value, double seconds, size_t from = 0)
    {
        return heard(
            [&](const plat::OscMessage& m) {
                return m.path == path && m.types == "f" && std::fabs(m.args[0].f - value) < 0.01f;
            },
            seconds, from);
    }
    void drain()
    {
        plat::OscMessage m;
        while (server.take(m)) {
            told.push_back(m);
            at.push_back(plat::monotonicMs());
        }
    }
    size_t count(const std::string& path)
    {
        drain();
        return static_cast<size_t>(
            std::count_if(told.begin(), told.end(), [&](auto& m) { return m.path == path; }));
    }
    std::vector<plat::OscMessage> told;
    std::vector<double> at;
    int port() const { return server.port(); }

private:
    plat::OscServer server;
};

int freePort()
{
    plat::OscServer probe;
    return probe.open(0) ? probe.port() : 0;
}

class OscSession : public GrooveSession {
protected:
    void start()
    {
        BLGroove groove;
        groove.tracks[0] = BLTrack{127, 0, 0, 0};  // Drums01, alone, full
        document = writeDocument("osc.bld", "NightShift", groove, static_cast<float>(kBpm));
        port = freePort();
        ASSERT_GT(port, 0);
        testsupport::writeFile(dir.file("script.txt"), "waitsize 1 " + dir.file("done") + "\nquit\n");
        pid = spawn({dir.program(), "--no-jack", "--osc", std::to_string(port), "--script",
                     dir.file("script.txt"), "--log", dir.file("log.txt"), document},
                    dir.path(), {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + capture}, -1, -1);
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(logSays("osc listening on UDP port " + std::to_string(port), 60)) << log();
        const std::string url = "osc.udp://127.0.0.1:" + std::to_string(port) + "/";
        hand.to = watcher.to = url;
        ASSERT_TRUE(hand.open && watcher.open);
        // The watcher subscribes; the state it is told shows the document read.
        watcher.send("/beatloom/subscribe");
        ASSERT_TRUE(watcher.heardInt("/beatloom/track/1/group", 1, 30)) << log();
        hand.send("/beatloom/subscribe");
        ASSERT_TRUE(hand.heardInt("/beatloom/track/1/group", 1, 10)) << log();
    }
    void TearDown() override
    {
        if (pid > 0) {
            testsupport::writeFile(dir.file("done"), "1");
            EXPECT_EQ(endSpawned(pid, 0, 20), 0) << log();
        }
    }
    std::string log() { return testsupport::readFile(dir.file("log.txt")); }
    bool logSays(const std::string& what, double seconds, size_t from = 0)
    {
        const double until = plat::monotonicMs() + seconds * 1000;
        while (log().find(what, from) == std::string::npos && plat::monotonicMs() < until) plat::sleepMs(2);
        return log().find(what, from) != std::string::npos;
    }
    // Frames the device has played.
    long played() const
    {
        std::error_code ec;
        const auto n = std::filesystem::file_size(capture, ec);
        return ec ? 0 : static_cast<long>(n / 4);
    }
    bool waitPlayed(long frames, double seconds)
    {
        const double until = plat::monotonicMs() + seconds * 1000;
        while (played() < frames && plat::monotonicMs() < until) plat::sleepMs(5);
        return played() >= frames;
    }
    // The loudest sample of a channel over frames [from, to) of the capture.
    int loudest(const std::vector<int16_t>& sound, long from, long to, int channel = 0) const
    {
        int peak = 0;
        for (long i = from; i < to && 2 * i + 1 < static_cast<long>(sound.size()); ++i)
            peak = std::max(peak, std::abs(static_cast<int>(sound[static_cast<size_t>(2 * i + channel)])));
        return peak;
    }

    std::string document;
    int port = 0;
    int pid = -1;
    Client hand, watcher;
};

// A beat and a block: a change sent is heard by then.
constexpr long kHeardWithin = static_cast<long>(kRate * 60 / kBpm) + 8192;
// Two beats of sound, to compare.
constexpr long kSpan = static_cast<long>(2 * kRate * 60 / kBpm);

TEST_F(OscSession, EachAddressGroupActsAndASubscriberHearsTheChangesAndTheBeat)
{
    ASSERT_NO_FATAL_FAILURE(start());
    hand.send("/beatloom/grid");  // no argument: refused
    hand.send(Client::msg("/beatloom/grid").add(std::string("beat")));
    ASSERT_TRUE(watcher.heard([](auto& m) { return m.path == "/beatloom/grid" && m.args[0].s == "beat"; }, 5))
        << log();

    // Transport: the watcher hears play and the beat; the hand, who asked, is told no play.
    hand.send("/beatloom/play");
    ASSERT_TRUE(watcher.heardInt("/beatloom/play", 1, 5)) << log();
    ASSERT_TRUE(watcher.heard([](auto& m) { return m.path == "/beatloom/beat"; }, 5));
    const size_t beatsFrom = watcher.told.size();
    ASSERT_TRUE(watcher.heard([&](auto&) { return watcher.count("/beatloom/beat") >= 6; }, 10));
    EXPECT_FALSE(hand.heardInt("/beatloom/play", 1, 0)) << "told back to the client that asked";
    std::vector<double> beatTimes;
    std::vector<int> beats;
    for (size_t i = beatsFrom; i < watcher.told.size(); ++i)
        if (watcher.told[i].path == "/beatloom/beat") {
            beatTimes.push_back(watcher.at[i]);
            beats.push_back(watcher.told[i].args[0].i);
        }
    ASSERT_GE(beatTimes.size(), 4u);
    const double mean = (beatTimes.back() - beatTimes.front()) / static_cast<double>(beatTimes.size() - 1);
    EXPECT_NEAR(mean, 60000 / kBpm, 60) << "ms a beat";
    for (size_t i = 1; i < beats.size(); ++i) EXPECT_EQ(beats[i], beats[i - 1] % 32 + 1) << "beats in order";

    // A track's mute, volume and pan: told, and heard in the sound.
    ASSERT_TRUE(waitPlayed(played() + kSpan, 10));
    long at = played();
    hand.send(Client::msg("/beatloom/track/1/volume").add(0.25f));
    ASSERT_TRUE(watcher.heardFloat("/beatloom/track/1/volume", 0.25f, 5)) << log();
    const long quieterFrom = at + kHeardWithin;
    ASSERT_TRUE(waitPlayed(quieterFrom + kSpan, 10));
    at = played();
    hand.send(Client::msg("/beatloom/track/1/pan").add(-1.0f));
    ASSERT_TRUE(watcher.heardFloat("/beatloom/track/1/pan", -1.0f, 5)) << log();
    const long leftFrom = at + kHeardWithin;
    ASSERT_TRUE(waitPlayed(leftFrom + kSpan, 10));
    at = played();
    hand.send(Client::msg("/beatloom/track/1/mute").add(int32_t{1}));
    ASSERT_TRUE(watcher.heardInt("/beatloom/track/1/mute", 1, 5)) << log();
    const long mutedFrom = at + kHeardWithin;
    ASSERT_TRUE(waitPlayed(mutedFrom + kSpan, 10));
    const std::vector<int16_t> sound = readCapture(capture);
    const int full = loudest(sound, quieterFrom - kSpan - kHeardWithin, quieterFrom - kHeardWithin);
    EXPECT_GT(full, 2000) << "the drums played";
    EXPECT_LT(loudest(sound, quieterFrom, quieterFrom + kSpan), full * 6 / 10) << "a quarter's volume";
    const int left = loudest(sound, leftFrom, leftFrom + kSpan, 0);
    EXPECT_GT(left, 200);
    EXPECT_LT(loudest(sound, leftFrom, leftFrom + kSpan, 1), left / 2) << "panned to the left";
    EXPECT_EQ(loudest(sound, mutedFrom, mutedFrom + kSpan), 0) << "muted";

    // Groups and loops, the groove's store and recall, the modes, tempo,
    // main volume, key lock and the synth: each told to the watcher.
    size_t from = watcher.told.size();
    hand.send(Client::msg("/beatloom/track/2/group").add(int32_t{2}));
    EXPECT_TRUE(watcher.heardInt("/beatloom/track/2/group", 2, 5, from)) << log();
    hand.send(Client::msg("/beatloom/track/2/loop").add(int32_t{2}));
    EXPECT_TRUE(watcher.heardInt("/beatloom/track/2/loop", 2, 5, from)) << log();
    hand.send("/beatloom/groove/store");
    EXPECT_TRUE(logSays("osc /beatloom/groove/store", 5)) << log();
    hand.send(Client::msg("/beatloom/track/2/group").add(int32_t{0}));
    EXPECT_TRUE(watcher.heardInt("/beatloom/track/2/group", 0, 5, from));
    from = watcher.told.size();
    hand.send(Client::msg("/beatloom/groove/recall").add(int32_t{1}));
    EXPECT_TRUE(watcher.heardInt("/beatloom/track/2/group", 2, 5, from)) << "the stored groove is back\n"
                                                                         << log();
    hand.send(Client::msg("/beatloom/solo").add(int32_t{1}));
    EXPECT_TRUE(
        watcher.heard([](auto& m) { return m.path == "/beatloom/modes" && m.args[0].i == 1; }, 5, from));
    hand.send(Client::msg("/beatloom/solo").add(int32_t{0}));
    hand.send(Client::msg("/beatloom/tempo").add(110.5f));
    EXPECT_TRUE(watcher.heardFloat("/beatloom/tempo", 110.5f, 5, from)) << log();
    hand.send(Client::msg("/beatloom/volume").add(0.5f));
    EXPECT_TRUE(watcher.heardFloat("/beatloom/volume", 64 / 127.0f, 5, from)) << log();
    hand.send(Client::msg("/beatloom/keylock").add(int32_t{1}));
    EXPECT_TRUE(watcher.heardInt("/beatloom/keylock", 1, 5, from)) << log();
    hand.send(Client::msg("/beatloom/synth/volume").add(0.5f));
    EXPECT_TRUE(watcher.heard(
        [](auto& m) { return m.path == "/beatloom/synth/setting" && m.args[1].i == 64; }, 5, from))
        << log();

    // Refused, each with its line, and nothing told.
    from = watcher.told.size();
    hand.send(Client::msg("/beatloom/tempo").add(std::string("fast")));
    hand.send(Client::msg("/beatloom/tempo").add(400.0f));
    hand.send(Client::msg("/beatloom/track/9/mute").add(int32_t{1}));
    hand.send(Client::msg("/beatloom/track/1/volume").add(1.5f));
    hand.send(Client::msg("/beatloom/jump"));
    EXPECT_TRUE(logSays("OSC: refused /beatloom/jump: unknown address", 5)) << log();
    const std::string said = log();
    for (const char* line : {"OSC: refused /beatloom/tempo s \"fast\": argument 1 is no number",
                             "OSC: refused /beatloom/tempo f 400: 400 is outside",
                             "OSC: refused /beatloom/track/9/mute i 1: tracks are 1 .. 8",
                             "OSC: refused /beatloom/track/1/volume f 1.5: 1.5 is outside 0 .. 1",
                             "OSC: refused /beatloom/grid: takes a grid's name or code"})
        EXPECT_NE(said.find(line), std::string::npos) << line << "\n" << said;
    watcher.drain();
    for (size_t i = from; i < watcher.told.size(); ++i)
        EXPECT_EQ(watcher.told[i].path, "/beatloom/beat") << "a refused message changed something";

    from = watcher.told.size();
    hand.send("/beatloom/stop");
    EXPECT_TRUE(watcher.heardInt("/beatloom/play", 0, 5, from)) << log();
}

TEST_F(OscSession, TenThousandMalformedMessagesChangeNothingAndTheMusicKeepsPace)
{
    ASSERT_NO_FATAL_FAILURE(start());
    hand.send("/beatloom/play");
    ASSERT_TRUE(watcher.heardInt("/beatloom/play", 1, 5)) << log();
    ASSERT_TRUE(waitPlayed(played() + kRate, 10));

    // Wrong types, out of range, unknown paths, and packets that are no OSC at all.
    const int raw = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(raw, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const size_t from = watcher.told.size();
    const double floodStart = plat::monotonicMs();
    const long playedBefore = played();
    for (int n = 0; n < 10000; ++n) {
        switch (n % 5) {
            case 0: hand.send(Client::msg("/beatloom/tempo").add(std::string("x"))); break;
            case 1: hand.send(Client::msg("/beatloom/track/1/mute").add(int32_t{7})); break;
            case 2:
                hand.send(Client::msg("/beatloom/track/" + std::to_string(n + 9) + "/pan").add(0.0f));
                break;
            case 3: hand.send(Client::msg("/elsewhere/" + std::to_string(n))); break;
            default: {
                const char junk[] = "\x01\x02not osc at all";
                sendto(raw, junk, sizeof junk, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
            }
        }
        // A flood, not a wall: the loopback's buffers would drop most of it.
        if (n % 50 == 49) plat::sleepMs(1);
    }
    close(raw);
    const double floodMs = plat::monotonicMs() - floodStart;

    // Still heard at once: a good message after the flood.
    const double asked = plat::monotonicMs();
    hand.send(Client::msg("/beatloom/tempo").add(120.0f));
    ASSERT_TRUE(watcher.heardFloat("/beatloom/tempo", 120.0f, 5, from)) << log().substr(0, 4000);
    EXPECT_LT(plat::monotonicMs() - asked, 1000.0) << "ms to apply a message after the flood";
    // Nothing but the tempo asked for after it changed meanwhile.
    for (size_t i = from; i < watcher.told.size(); ++i) {
        const std::string& p = watcher.told[i].path;
        EXPECT_TRUE(p == "/beatloom/beat" || p == "/beatloom/tempo") << p;
        if (p == "/beatloom/tempo") {
            EXPECT_NEAR(watcher.told[i].args[0].f, 120.0f, 0.01f);
        }
    }
    // The device kept playing in real time through the flood.
    const double seconds = (plat::monotonicMs() - floodStart) / 1000;
    EXPECT_GT(static_cast<double>(played() - playedBefore), 0.8 * kRate * seconds)
        << "frames played over " << seconds << " s (flood " << floodMs << " ms)";
    // The refusals past the first few are summed up once a second.
    EXPECT_TRUE(logSays("more bad message(s) refused", 5)) << log().substr(0, 4000);
    const std::string said = log();
    EXPECT_NE(said.find("OSC: refused /beatloom/tempo s \"x\""), std::string::npos);
    EXPECT_EQ(said.find("osc /beatloom/track/1/mute"), std::string::npos);
    int lastMute = -1;
    for (const plat::OscMessage& m : watcher.told)
        if (m.path == "/beatloom/track/1/mute") lastMute = m.args[0].i;
    EXPECT_EQ(lastMute, 0) << "track 1 stayed heard";
}

TEST_F(OscSession, EffectsAndRecordAreAtTheirAddressesAndToldToSubscribers)
{
    ASSERT_NO_FATAL_FAILURE(start());
    // A listener that is not the sender, subscribed by its port.
    Client listener;
    ASSERT_TRUE(listener.open);
    hand.send(Client::msg("/beatloom/subscribe").add(static_cast<int32_t>(listener.port())));
    ASSERT_TRUE(listener.heard([](auto& m) { return m.path == "/beatloom/main/fx/2/effect"; }, 10)) << log();
    hand.send("/beatloom/play");
    ASSERT_TRUE(watcher.heardInt("/beatloom/play", 1, 5)) << log();
    ASSERT_TRUE(waitPlayed(played() + 2 * kSpan, 10));

    // The main mix's limiter at its lowest ceiling, then bypassed: told, and heard.
    size_t from = watcher.told.size();
    hand.send(Client::msg("/beatloom/main/fx/1/effect").add(std::string("limiter")));
    EXPECT_TRUE(watcher.heard(
        [](auto& m) { return m.path == "/beatloom/main/fx/1/effect" && m.args[0].s == "limiter"; }, 5, from))
        << log();
    long at = played();
    hand.send(Client::msg("/beatloom/main/fx/1/param/ceiling").add(-24.0f));
    EXPECT_TRUE(watcher.heardFloat("/beatloom/main/fx/1/param/ceiling", -24.0f, 5, from)) << log();
    const long limitedFrom = at + kHeardWithin;
    ASSERT_TRUE(waitPlayed(limitedFrom + kSpan, 10));
    at = played();
    hand.send(Client::msg("/beatloom/main/fx/1/bypass").add(int32_t{1}));
    EXPECT_TRUE(watcher.heardInt("/beatloom/main/fx/1/bypass", 1, 5, from)) << log();
    const long bypassedFrom = at + kHeardWithin;
    ASSERT_TRUE(waitPlayed(bypassedFrom + kSpan, 10));
    const std::vector<int16_t> sound = readCapture(capture);
    const int full = loudest(sound, limitedFrom - 2 * kSpan - kHeardWithin, limitedFrom - kHeardWithin);
    const int limited = loudest(sound, limitedFrom, limitedFrom + kSpan);
    EXPECT_GT(full, 6000) << "the drums played";
    EXPECT_GT(limited, 500) << "still heard";
    EXPECT_LT(limited, 2400) << "held under -24 dBFS (2063)";
    EXPECT_GT(loudest(sound, bypassedFrom, bypassedFrom + kSpan), full * 8 / 10) << "bypassed";

    // A track's slot, a choice set by its name.
    hand.send(Client::msg("/beatloom/track/2/fx/2/effect").add(std::string("filter")));
    hand.send(Client::msg("/beatloom/track/2/fx/2/param/type").add(std::string("highpass")));
    EXPECT_TRUE(watcher.heardFloat("/beatloom/track/2/fx/2/param/type", 1.0f, 5, from)) << log();
    EXPECT_TRUE(listener.heardFloat("/beatloom/track/2/fx/2/param/type", 1.0f, 5)) << log();

    // Record lights and goes out; the client that asked is not told.
    hand.send("/beatloom/record");
    EXPECT_TRUE(watcher.heardInt("/beatloom/record", 1, 5, from)) << log();
    hand.send(Client::msg("/beatloom/record").add(int32_t{0}));
    EXPECT_TRUE(watcher.heardInt("/beatloom/record", 0, 5, from)) << log();
    EXPECT_FALSE(hand.heardInt("/beatloom/record", 1, 0.2)) << "told back to the client that asked";

    // Refused, each with its line, and nothing told.
    from = watcher.told.size();
    hand.send(Client::msg("/beatloom/main/fx/1/effect").add(std::string("fuzz")));
    hand.send(Client::msg("/beatloom/main/fx/1/effect").add(int32_t{1}));
    hand.send(Client::msg("/beatloom/main/fx/1/param/ceiling").add(5.0f));
    hand.send(Client::msg("/beatloom/main/fx/1/param/drive").add(1.0f));
    hand.send(Client::msg("/beatloom/track/3/fx/1/bypass").add(int32_t{1}));
    hand.send(Client::msg("/beatloom/track/1/fx/3/effect").add(std::string("delay")));
    hand.send(Client::msg("/beatloom/record").add(int32_t{2}));
    EXPECT_TRUE(logSays("OSC: refused /beatloom/record i 2: takes 0 or 1", 5)) << log();
    const std::string said = log();
    for (const char* line :
         {"OSC: refused /beatloom/main/fx/1/effect s \"fuzz\": no such effect",
          "OSC: refused /beatloom/main/fx/1/effect i 1: takes an effect's name",
          "OSC: refused /beatloom/main/fx/1/param/ceiling f 5: 5 is outside -24 .. 0",
          "OSC: refused /beatloom/main/fx/1/param/drive f 1: limiter has no such parameter",
          "OSC: refused /beatloom/track/3/fx/1/bypass i 1: the slot is empty",
          "OSC: refused /beatloom/track/1/fx/3/effect s \"delay\": slots are 1 and 2"})
        EXPECT_NE(said.find(line), std::string::npos) << line << "\n" << said;
    watcher.drain();
    for (size_t i = from; i < watcher.told.size(); ++i)
        EXPECT_EQ(watcher.told[i].path, "/beatloom/beat") << "a refused message changed something";
}

}  // namespace
}  // namespace groovee2e
