// The program as a JACK client of a server the test starts (the dummy
// backend: no sound card), driven by JACK's own tools: its ports appear,
// connected to the playback ports; the transport, followed (the checkbox
// in the preferences), starts the groove in phase with it and stops it;
// and what jack_rec records of it is enginebounce's render of the same
// groove, sample for sample.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "e2e/GrooveSession.h"
#include "support/JackServer.h"

// ctest-labels: jack

namespace groovee2e {
namespace {

// A child process of the test's own, its output let go, ended (and waited
// for) with the object.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& env)
    {
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        pid_ = testsupport::spawn(argv, "", env, -1, null);
        if (null >= 0) close(null);
    }
    ~Child() { testsupport::endSpawned(pid_, SIGTERM, 5); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool running()
    {
        if (pid_ <= 0) return false;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
        pid_ = -1;
        return false;
    }

private:
    int pid_ = -1;
};

// jack_transport reads its commands from its input.
void transport(const testsupport::JackServer& jack, const std::string& command)
{
    jack.tool({"sh", "-c", "echo " + command + " | jack_transport"});
}

class Jack : public GrooveSession {};

TEST_F(Jack, TheTransportPlaysTheGrooveIntoJackSampleForSample)
{
    // Long periods leave the clients room on a busy machine.
    testsupport::JackServer jack("transport", 2048);
    ASSERT_TRUE(jack.ready()) << "jackd would not start";

    // Night Shift at its own tempo, all eight tracks loud: the mix reaches
    // past half of full scale, where a 16-bit sample turned into a float by
    // another scale than JACK's and libsndfile's (32767) would not come back.
    const char* const files[8] = {"Drums02:8", "Perc02:8", "Bass03:4", "Chords03:4",
                                  "Lead01:4",  "Arp01:8",  "FX02:8",   "Vox02:4"};
    const int16_t slots[8] = {1, 1, 2, 2, 0, 0, 1, 1};
    BLGroove g;
    std::vector<std::string> bounceArgs = {testsupport::toolsDir() + "/enginebounce",
                                           "--bpm",
                                           "126",
                                           "--mix-bpm",
                                           "126",
                                           "--frames",
                                           "264600",
                                           "--master",
                                           "63"};
    for (int16_t t = 0; t < 8; ++t) {
        g.tracks[t] = BLTrack{127, static_cast<int16_t>(-35 + 10 * t), t, slots[t]};
        const std::string name = files[t];
        const size_t colon = name.find(':');
        bounceArgs.insert(bounceArgs.end(), {"--loop", library + "/Song/NightShift/" + name.substr(0, colon) +
                                                           ".wav" + name.substr(colon)});
        bounceArgs.insert(bounceArgs.end(), {"--track", std::to_string(t) + ":" + std::to_string(t) +
                                                            ":127:" + std::to_string(-35 + 10 * t)});
    }
    const std::string doc = writeDocument("jack.bld", "NightShift", g, 126.0f);
    const std::string done = dir.file("done");
    const std::string rec = dir.file("rec.wav");
    // The preferences' JACK transport checkbox, then OK; the script then
    // waits for the test to be done with the program.
    testsupport::writeFile(dir.file("script.txt"), "wait 700\nclick " + at(520, 112) + "\nwait 300\nclick " +
                                                       at(268, 422) + "\nwait 200\nclick " + at(515, 453) +
                                                       "\nwaitsize 1 " + done + "\nquit\n");
    std::vector<std::string> env = {jack.env()};
    env.push_back("SDL_AUDIODRIVER=dummy");
    const std::string log = dir.file("log.txt");
    std::string ports;
    std::unique_ptr<Child> recorder;
    int step = 0;
    size_t placedFirst = std::string::npos;
    const auto logHas = [&](const char* text) {
        return testsupport::readFile(log).find(text) != std::string::npos;
    };
    const auto r = testsupport::runWatched(
        {dir.program(), "--script", dir.file("script.txt"), "--log", log, doc}, dir.path(),
        [&](int, double) {
            if (step == 0 && logHas("JACK transport: followed")) {
                ports = jack.tool({"jack_lsp", "-c"}).out;
                recorder = std::make_unique<Child>(
                    std::vector<std::string>{"jack_rec", "-f", rec, "-d", "4", "-b", "16", "-B", "1048576",
                                             "Beatloom:out_1", "Beatloom:out_2"},
                    std::vector<std::string>{jack.env()});
                step = 1;
            } else if (step == 1 && testsupport::readFile(rec).size() > 44) {
                transport(jack, "play");
                step = 2;
            } else if (step == 2 && !recorder->running()) {
                transport(jack, "locate 441000");
                placedFirst = testsupport::readFile(log).find("is heard at");
                step = 3;
            } else if (step == 3 &&
                       testsupport::readFile(log).find("is heard at", placedFirst + 1) != std::string::npos) {
                transport(jack, "stop");
                step = 4;
            } else if (step == 4 && logHas("JACK transport: stopped")) {
                testsupport::writeFile(done, "x");
                step = 5;
            }
        },
        60, env);
    const std::string said = testsupport::readFile(log);
    ASSERT_EQ(r.exitCode, 0) << r.out << said;
    ASSERT_EQ(step, 5) << said;

    EXPECT_NE(said.find("JACK: port Beatloom:out_1 connected to system:playback_1"), std::string::npos)
        << said;
    EXPECT_NE(ports.find("Beatloom:out_1\n   system:playback_1"), std::string::npos) << ports;
    EXPECT_NE(ports.find("Beatloom:out_2\n   system:playback_2"), std::string::npos) << ports;
    // Rolling from frame 0 at the groove's own tempo, the groove is placed
    // in phase: each of its frames is heard at the transport's frame of the
    // same number.
    EXPECT_NE(said.find("JACK transport: rolling at frame"), std::string::npos) << said;
    const size_t placedAt = said.find("the groove's frame ");
    ASSERT_NE(placedAt, std::string::npos) << said;
    long long grooveFrame = -1, transportFrame = -2;
    ASSERT_EQ(
        std::sscanf(said.c_str() + placedAt, "the groove's frame %lld is heard at the transport's frame %lld",
                    &grooveFrame, &transportFrame),
        2);
    EXPECT_EQ(grooveFrame, transportFrame);
    // Moved while rolling, the groove starts again where the transport went.
    // (The mix tempo keeps whole frames a beat, 20999 at 126 BPM: that far
    // from the start the two counts are a frame a beat apart.)
    const size_t movedAt = said.find("the groove's frame ", placedAt + 1);
    ASSERT_NE(movedAt, std::string::npos) << said;
    long long movedGroove = -1, movedTransport = -2;
    ASSERT_EQ(
        std::sscanf(said.c_str() + movedAt, "the groove's frame %lld is heard at the transport's frame %lld",
                    &movedGroove, &movedTransport),
        2);
    EXPECT_GE(movedTransport, 441000);
    EXPECT_LE(movedTransport, 441000 + 44100);
    EXPECT_NEAR(movedGroove, movedTransport, movedTransport / 20999 + 1);

    const std::string render = dir.file("render.wav");
    bounceArgs.insert(bounceArgs.end(), {"-o", render});
    const auto bounce = testsupport::run(bounceArgs, "", 120);
    ASSERT_EQ(bounce.exitCode, 0) << bounce.out;
    const std::vector<int16_t> offline = testsupport::readWav16(render);
    const std::vector<int16_t> recorded = testsupport::readWav16(rec);
    ASSERT_GT(recorded.size(), 2u * 44100 * 3);
    // From the first frame heard: the render from where the transport was.
    const int heard = firstSound(recorded);
    auto from = static_cast<int>(grooveFrame);
    while (from < 100000 && offline[2 * from] == 0 && offline[2 * from + 1] == 0) ++from;
    ASSERT_GE(heard, 0);
    const size_t frames = std::min(recorded.size() / 2 - heard, size_t{2 * 44100});
    ASSERT_GT(frames, 44100u);
    const std::vector<int16_t> got(recorded.begin() + 2 * heard, recorded.begin() + 2 * (heard + frames));
    const std::vector<int16_t> want(offline.begin() + 2 * from, offline.begin() + 2 * (from + frames));
    EXPECT_GT(std::count_if(want.begin(), want.end(), [](int16_t v) { return std::abs(v) > 16384; }), 100);
    size_t first = 0;
    while (first < got.size() && got[first] == want[first]) ++first;
    EXPECT_EQ(first, got.size()) << "first difference at sample " << first << " of " << got.size() << "\n"
                                 << said;
}

}  // namespace
}  // namespace groovee2e
