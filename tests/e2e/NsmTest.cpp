// Under a session manager: a small NSM server of the test's own (over
// liblo) answers the program's announce and opens a session whose folder
// holds its document; the program plays through JACK under the session's
// client name, a change over OSC makes it dirty, and the manager's save
// writes the document there and makes it clean, without a question asked.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <functional>
#include <string>

#include "e2e/GrooveSession.h"
#include "platform/PlatLink.h"
#include "platform/PlatOsc.h"
#include "platform/Platform.h"
#include "support/JackServer.h"

// ctest-labels: jack

namespace groovee2e {
namespace {

using testsupport::endSpawned;
using testsupport::spawn;

class Manager {
public:
    Manager() { open = server.open(0); }
    bool open = false;
    plat::OscServer server;
    std::string client;  // where the program spoke from

    // The first message on `path` from `from` on, waited for.
    bool next(const std::string& path, plat::OscMessage& found, double seconds)
    {
        const double until = plat::monotonicMs() + seconds * 1000;
        do {
            plat::OscMessage m;
            while (server.take(m)) {
                if (!m.from.empty()) client = m.from;
                log += m.path + " " + m.types + "\n";
                seen.push_back(m);
            }
            for (; scan < seen.size(); ++scan)
                if (seen[scan].path == path) {
                    found = seen[scan++];
                    return true;
                }
            plat::sleepMs(2);
        } while (plat::monotonicMs() < until);
        return false;
    }
    bool next(const std::string& path, double seconds)
    {
        plat::OscMessage m;
        return next(path, m, seconds);
    }
    void send(const plat::OscMessage& m) { server.send(client, m); }
    std::string log;

private:
    std::vector<plat::OscMessage> seen;
    size_t scan = 0;
};

plat::OscMessage msg(const std::string& path)
{
    plat::OscMessage m;
    m.path = path;
    return m;
}

using NsmSession = GrooveSession;

TEST_F(NsmSession, OpensAndSavesItsDocumentInTheSessionFolderAndSaysWhenItIsDirty)
{
    testsupport::JackServer jack("nsm");
    ASSERT_TRUE(jack.ready());
    Manager nsm;
    ASSERT_TRUE(nsm.open);
    const std::string folder = dir.file("session");
    std::filesystem::create_directories(folder);
    BLGroove groove;
    groove.tracks[0] = BLTrack{100, 0, 0, 0};
    const std::string document = writeDocument("session/Beatloom.nBLTEST.bld", "NightShift", groove, 126.0f);
    // Below the system's ephemeral ports, where the program's own NSM socket lands.
    int oscPort = 20000 + getpid() % 9000;
    for (plat::OscServer probe; !probe.open(oscPort);) ++oscPort;

    const std::string logPath = dir.file("log.txt");
    int pid =
        spawn({dir.program(), "--headless", "--osc", std::to_string(oscPort), "--log", logPath}, dir.path(),
              {jack.env(), "SDL_AUDIODRIVER=dummy",
               "NSM_URL=osc.udp://127.0.0.1:" + std::to_string(nsm.server.port()) + "/"},
              -1, -1);
    ASSERT_GT(pid, 0);
    struct Ender {
        int& pid;
        ~Ender()
        {
            if (pid > 0) endSpawned(pid, SIGTERM);
        }
    } ender{pid};
    auto log = [&] { return testsupport::readFile(logPath); };

    // The announce: name, capabilities, the program, API 1.x, its process.
    plat::OscMessage announce;
    ASSERT_TRUE(nsm.next("/nsm/server/announce", announce, 30)) << nsm.log << log();
    ASSERT_EQ(announce.types, "sssiii");
    EXPECT_EQ(announce.args[0].s, "Beatloom");
    EXPECT_NE(announce.args[1].s.find(":dirty:"), std::string::npos);
    EXPECT_EQ(announce.args[3].i, 1);
    EXPECT_EQ(announce.args[5].i, pid);
    nsm.send(msg("/reply")
                 .add(std::string("/nsm/server/announce"))
                 .add(std::string("welcome"))
                 .add(std::string("test manager"))
                 .add(std::string(":server-control:")));
    nsm.send(msg("/nsm/client/open")
                 .add(folder + "/Beatloom.nBLTEST")
                 .add(std::string("Beatloom"))
                 .add(std::string("Beatloom.nBLTEST")));

    // Answered once the session's document is read; clean.
    plat::OscMessage reply;
    ASSERT_TRUE(nsm.next("/reply", reply, 60)) << nsm.log << log();
    ASSERT_GE(reply.args.size(), 2u);
    EXPECT_EQ(reply.args[0].s, "/nsm/client/open");
    EXPECT_NE(log().find("nsm opened " + document), std::string::npos) << log();
    ASSERT_TRUE(nsm.next("/nsm/client/is_clean", 10)) << nsm.log;
    // JACK knows the program by the session's name.
    const std::string ports = jack.tool({"jack_lsp"}).out;
    EXPECT_NE(ports.find("Beatloom.nBLTEST:out_1"), std::string::npos) << ports;

    // A change makes it dirty.
    plat::OscServer hand;
    ASSERT_TRUE(hand.open(0));
    const std::string program = "osc.udp://127.0.0.1:" + std::to_string(oscPort) + "/";
    hand.send(program, msg("/beatloom/track/1/volume").add(0.5f));
    ASSERT_TRUE(nsm.next("/nsm/client/is_dirty", 10)) << nsm.log << log();

    // The save writes it in the session's folder and makes it clean; no box is shown.
    const auto before = std::filesystem::last_write_time(document);
    nsm.send(msg("/nsm/client/save"));
    ASSERT_TRUE(nsm.next("/reply", reply, 10)) << nsm.log << log();
    EXPECT_EQ(reply.args[0].s, "/nsm/client/save");
    ASSERT_TRUE(nsm.next("/nsm/client/is_clean", 10)) << nsm.log;
    EXPECT_NE(std::filesystem::last_write_time(document), before);
    BLIceimage saved;
    ASSERT_TRUE(readDocument(document, saved));
    EXPECT_EQ(saved.groove.tracks[0].volume, 64);
    EXPECT_STREQ(saved.songName, "NightShift");
    EXPECT_EQ(log().find("box ["), std::string::npos) << log();

    // A save that cannot be written is an error answered at once, no box
    // waiting for a person. A file where the folder was stops root as well
    // as anyone, as a folder's mode would not.
    hand.send(program, msg("/beatloom/track/1/volume").add(0.25f));
    ASSERT_TRUE(nsm.next("/nsm/client/is_dirty", 10)) << nsm.log << log();
    const std::string aside = folder + ".aside";
    std::filesystem::rename(folder, aside);
    testsupport::writeFile(folder, "not a folder");
    const double asked = plat::monotonicMs();
    nsm.send(msg("/nsm/client/save"));
    plat::OscMessage failed;
    ASSERT_TRUE(nsm.next("/error", failed, 10)) << nsm.log << log();
    EXPECT_LT(plat::monotonicMs() - asked, 2000) << "ms to answer";
    ASSERT_EQ(failed.types, "sis");
    EXPECT_EQ(failed.args[0].s, "/nsm/client/save");
    EXPECT_LT(failed.args[1].i, 0);
    EXPECT_NE(log().find("NSM: the session's document " + document + " could not be written: "),
              std::string::npos)
        << log();
    EXPECT_EQ(log().find("box ["), std::string::npos) << log();
    // Still running and still dirty: the folder back, the next save writes it.
    std::filesystem::remove(folder);
    std::filesystem::rename(aside, folder);
    nsm.send(msg("/nsm/client/save"));
    ASSERT_TRUE(nsm.next("/reply", reply, 10)) << nsm.log << log();
    EXPECT_EQ(reply.args[0].s, "/nsm/client/save");
    ASSERT_TRUE(nsm.next("/nsm/client/is_clean", 10)) << nsm.log;
    ASSERT_TRUE(readDocument(document, saved));
    EXPECT_EQ(saved.groove.tracks[0].volume, 32);

    // The manager ends it with a signal: it leaves at once, cleanly.
    EXPECT_EQ(endSpawned(pid, SIGTERM, 20), 0) << log();
}

}  // namespace
}  // namespace groovee2e
