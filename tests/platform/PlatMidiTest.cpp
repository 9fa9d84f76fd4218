#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/PlatMidi.h"
#include "support/JackServer.h"

using namespace plat;
using testsupport::JackServer;

namespace {

// What one input received, each message as its bytes.
struct Received {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::vector<uint8_t>> messages;
    double lastSeconds = 0;

    MidiIn::Receive sink()
    {
        return [this](const uint8_t* bytes, size_t count, double seconds) {
            std::lock_guard<std::mutex> hold(lock);
            messages.emplace_back(bytes, bytes + count);
            lastSeconds = seconds;
            changed.notify_all();
        };
    }
    // What came that is not `probe`.
    std::vector<std::vector<uint8_t>> besides(const std::vector<uint8_t>& probe)
    {
        std::vector<std::vector<uint8_t>> kept;
        for (const auto& m : messages)
            if (m != probe) kept.push_back(m);
        return kept;
    }
    bool waitFor(size_t count, const std::vector<uint8_t>& probe, int seconds = 10)
    {
        std::unique_lock<std::mutex> hold(lock);
        return changed.wait_for(hold, std::chrono::seconds(seconds),
                                [&] { return besides(probe).size() >= count; });
    }
    bool heard(const std::vector<uint8_t>& probe)
    {
        std::lock_guard<std::mutex> hold(lock);
        return std::find(messages.begin(), messages.end(), probe) != messages.end();
    }
};

std::string portEndingWith(const std::vector<std::string>& ports, const std::string& end)
{
    for (const std::string& port : ports)
        if (port.size() >= end.size() && port.compare(port.size() - end.size(), end.size(), end) == 0)
            return port;
    return "";
}

}  // namespace

// Own ports are made both ways, joined to another's by name, and pass what
// a clock and a keyboard send, dropping active sensing.
// ctest-labels: realtime jack
TEST(PlatMidi, PassesMessagesBetweenOwnPortsOverJack)
{
    JackServer server("midi", 512, true);
    ASSERT_TRUE(server.ready());
    setenv("JACK_DEFAULT_SERVER", server.name().c_str(), 1);

    EXPECT_EQ(MidiSystemInUse(MidiSystem::automatic), MidiSystem::jack);
    Received plain, joined;
    MidiIn in, joinedIn;
    ASSERT_TRUE(in.open("test in", "", plain.sink(), MidiSystem::jack)) << in.why();

    std::string inName = portEndingWith(MidiOut::ports(MidiSystem::jack), ":test in");
    ASSERT_FALSE(inName.empty());
    MidiOut out;
    ASSERT_TRUE(out.open("test out", inName, MidiSystem::jack)) << out.why();
    std::string outName = portEndingWith(MidiIn::ports(MidiSystem::jack), ":test out");
    ASSERT_FALSE(outName.empty());
    ASSERT_TRUE(joinedIn.open("joined in", outName, joined.sink(), MidiSystem::jack)) << joinedIn.why();
    EXPECT_TRUE(in.isOpen() && out.isOpen() && joinedIn.isOpen());

    // A connection is heard from a later period than the one that made it:
    // a probe goes out until both inputs have it.
    const std::vector<uint8_t> probe = {0xB0, 0x7B, 0x00};
    for (int i = 0; i < 200 && !(plain.heard(probe) && joined.heard(probe)); ++i) {
        EXPECT_TRUE(out.send(probe.data(), probe.size()));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(plain.heard(probe) && joined.heard(probe));

    const uint8_t sensing = 0xFE, pulse = 0xF8, note[3] = {0x90, 0x3C, 0x64};
    double before =
        std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    EXPECT_TRUE(out.send(&sensing, 1));
    EXPECT_TRUE(out.send(&pulse, 1));
    EXPECT_TRUE(out.send(note, 3));
    const std::vector<std::vector<uint8_t>> expected = {{0xF8}, {0x90, 0x3C, 0x64}};
    for (Received* r : {&plain, &joined}) {
        ASSERT_TRUE(r->waitFor(2, probe));
        std::lock_guard<std::mutex> hold(r->lock);
        EXPECT_EQ(r->besides(probe), expected);
        EXPECT_GE(r->lastSeconds, before);
    }

    out.close();
    EXPECT_FALSE(out.isOpen());
    EXPECT_FALSE(out.send(note, 3));
    MidiOut missing;
    EXPECT_FALSE(missing.open("x", "no such client:no such port", MidiSystem::jack));
    EXPECT_NE(missing.why().find("no such port"), std::string::npos);
    unsetenv("JACK_DEFAULT_SERVER");
}

// With no server to answer, opening says why and throws nothing.
TEST(PlatMidi, SaysWhyWhenNoMidiSystemAnswers)
{
    setenv("JACK_DEFAULT_SERVER", testsupport::join("bl-none-", getpid()).c_str(), 1);
    MidiOut out;
    EXPECT_FALSE(out.open("clock out", "", MidiSystem::jack));
    EXPECT_FALSE(out.why().empty());
    EXPECT_FALSE(out.isOpen());
    EXPECT_FALSE(out.send(reinterpret_cast<const uint8_t*>("\xF8"), 1));
    MidiIn in;
    EXPECT_FALSE(in.open(
        "clock in", "", [](const uint8_t*, size_t, double) {}, MidiSystem::jack));
    EXPECT_FALSE(in.why().empty());
    EXPECT_TRUE(MidiIn::ports(MidiSystem::jack).empty());
    unsetenv("JACK_DEFAULT_SERVER");
}
