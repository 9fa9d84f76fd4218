// MIDI clock with real JACK peers under a JACK server of the test's own:
// jack_midi_dump on the program's clock out hears start, 24 pulses a beat
// at the groove's tempo and stop; a clock of the test's own on the
// program's clock in starts the groove, sets its tempo, starts it again
// from the top and stops it, and the clock out follows.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/kelFiles.h"
#include "e2e/GrooveSession.h"
#include "library/BLprefs.h"
#include "platform/PlatMidi.h"
#include "platform/Platform.h"
#include "support/JackServer.h"

// ctest-labels: jack

namespace groovee2e {
namespace {

using testsupport::JackServer;

// What jack_midi_dump -a printed: each message's frame and first byte.
struct Heard {
    long frame;
    int status;
};

std::vector<Heard> readDump(const std::string& path)
{
    std::vector<Heard> heard;
    std::istringstream in(testsupport::readFile(path));
    std::string line;
    while (std::getline(in, line)) {
        long frame = 0;
        unsigned status = 0;
        if (std::sscanf(line.c_str(), " %ld: %x", &frame, &status) == 2)
            heard.push_back({frame, static_cast<int>(status)});
    }
    return heard;
}

// Frames a message of `status` in [from, to) of `heard` takes: the slope of
// a line through their frames; 0 without two of them.
double framesApart(const std::vector<Heard>& heard, int status, size_t from, size_t to)
{
    std::vector<double> frames;
    for (size_t i = from; i < to && i < heard.size(); ++i)
        if (heard[i].status == status) frames.push_back(static_cast<double>(heard[i].frame));
    if (frames.size() < 2) return 0;
    const double n = static_cast<double>(frames.size());
    const double meanX = (n - 1) / 2;
    double meanY = 0;
    for (double f : frames) meanY += f / n;
    double sxy = 0, sxx = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        sxy += (i - meanX) * (frames[i] - meanY);
        sxx += (i - meanX) * (i - meanX);
    }
    return sxy / sxx;
}

// The tempo of the pulses in [from, to) of `heard`, in beats a minute.
double pulseTempo(const std::vector<Heard>& heard, size_t from, size_t to)
{
    const double pulse = framesApart(heard, 0xF8, from, to);
    return pulse > 0 ? 44100.0 * 60.0 / (24.0 * pulse) : 0;
}

size_t countOf(const std::vector<Heard>& heard, int status, size_t from = 0)
{
    size_t n = 0;
    for (size_t i = from; i < heard.size(); ++i) n += heard[i].status == status;
    return n;
}

// A peer of the test's own: a message every so many seconds of the monotonic
// clock, from a thread, on a port connected to another.
class Sender {
public:
    bool open(const std::string& name, const std::string& to)
    {
        return out.open(name, to, plat::MidiSystem::jack);
    }
    void start(double seconds, std::vector<uint8_t> message)
    {
        quit = false;
        thread = std::thread([this, seconds, message] {
            auto next = std::chrono::steady_clock::now();
            const auto apart = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                std::chrono::duration<double>(seconds));
            while (!quit) {
                out.send(message.data(), message.size());
                next += apart;
                std::this_thread::sleep_until(next);
            }
        });
    }
    void stop()
    {
        quit = true;
        if (thread.joinable()) thread.join();
    }
    void send(uint8_t status) { out.send(&status, 1); }
    ~Sender() { stop(); }

private:
    plat::MidiOut out;
    std::thread thread;
    std::atomic<bool> quit{false};
};

class MidiClock : public GrooveSession {};

TEST_F(MidiClock, ClockOutFollowsTheGrooveAndClockInDrivesIt)
{
    JackServer server("clock", 512, true);
    ASSERT_TRUE(server.ready());
    setenv("JACK_DEFAULT_SERVER", server.name().c_str(), 1);

    blPrefsClass prefs;
    char kel[kKelPathMax + 1];
    ASSERT_TRUE(KEL_SystemPathToKelPath(dir.file("Beatloom.prf").c_str(), kel));
    prefs.fileName = kel;
    prefs.midiClockOut = 1;
    prefs.midiClockIn = kBLMidiOwnPort;
    ASSERT_TRUE(prefs.save());

    BLGroove g;
    g.tracks[0] = BLTrack{100, 0, 0, 0};
    const std::string doc = writeDocument("clock.bld", "NightShift", g, 131.5f);
    // The script goes on as the test says, by files it writes.
    const std::string connected = dir.file("connected"), heardOut = dir.file("heard-out"),
                      done = dir.file("done");
    testsupport::writeFile(dir.file("script.txt"), "waitsize 1 " + connected + "\npress space\nwaitsize 1 " +
                                                       heardOut + "\npress space\nwaitsize 1 " + done +
                                                       "\nquit\n");
    const std::string dump = dir.file("dump.txt");
    const pid_t dumper = fork();
    if (dumper == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (!std::freopen(dump.c_str(), "w", stdout)) _exit(127);
        // A line at a time, so that the test reads it as it comes.
        execlp("stdbuf", "stdbuf", "-oL", "jack_midi_dump", "-a", static_cast<char*>(nullptr));
        _exit(127);
    }

    Sender clock;
    enum { connecting, playing, stopping, clockIn, restarting, clockInStopping, finished } step = connecting;
    size_t phaseB = 0;
    std::string clockOut;
    auto lastLook = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    const auto r = testsupport::runWatched(
        {dir.program(), "--script", dir.file("script.txt"), "--log", dir.file("log.txt"), doc}, dir.path(),
        [&](int, double) {
            // A look every 50 ms: each runs a JACK client or reads files.
            if (std::chrono::steady_clock::now() - lastLook < std::chrono::milliseconds(50)) return;
            lastLook = std::chrono::steady_clock::now();
            const std::string log = testsupport::readFile(dir.file("log.txt"));
            const std::vector<Heard> heard = readDump(dump);
            switch (step) {
                case connecting:
                    for (const std::string& port : plat::MidiIn::ports(plat::MidiSystem::jack))
                        if (port.size() > 10 && port.compare(port.size() - 10, 10, ":clock out") == 0)
                            clockOut = port;
                    if (!clockOut.empty() &&
                        server.tool({"jack_connect", clockOut, "midi-monitor:input"}).exitCode == 0) {
                        testsupport::writeFile(connected, "1");
                        step = playing;
                    }
                    break;
                case playing:
                    // Eight beats of pulses, then Stop.
                    if (countOf(heard, 0xF8) >= 8 * 24) {
                        testsupport::writeFile(heardOut, "1");
                        step = stopping;
                    }
                    break;
                case stopping:
                    if (countOf(heard, 0xFC) >= 1) {
                        std::string in;
                        for (const std::string& port : plat::MidiOut::ports(plat::MidiSystem::jack))
                            if (port.size() > 9 && port.compare(port.size() - 9, 9, ":clock in") == 0)
                                in = port;
                        if (!in.empty() && clock.open("test clock", in)) {
                            phaseB = heard.size();
                            clock.send(0xFA);
                            clock.start(60.0 / 112 / 24, {0xF8});
                            step = clockIn;
                        }
                    }
                    break;
                case clockIn:
                    // Followed: the clock starts again, from the top.
                    if (log.find("midi clock in tempo 1") != std::string::npos &&
                        countOf(heard, 0xF8, phaseB) >= 4 * 24) {
                        clock.stop();
                        clock.send(0xFA);
                        clock.start(60.0 / 112 / 24, {0xF8});
                        step = restarting;
                    }
                    break;
                case restarting: {
                    // Six beats since the program's own start again: the last four
                    // are measured, clear of the start.
                    size_t at = heard.size();
                    while (at > phaseB && heard[at - 1].status != 0xFA) --at;
                    if (countOf(heard, 0xFA, phaseB) >= 2 && countOf(heard, 0xF8, at) >= 6 * 24) {
                        clock.stop();
                        clock.send(0xFC);
                        step = clockInStopping;
                    }
                    break;
                }
                case clockInStopping:
                    if (log.find("midi clock in stop") != std::string::npos &&
                        countOf(heard, 0xFC, phaseB) >= 2) {
                        testsupport::writeFile(done, "1");
                        step = finished;
                    }
                    break;
                case finished: break;
            }
        },
        120, {server.env()});
    kill(dumper, SIGTERM);
    waitpid(dumper, nullptr, 0);
    unsetenv("JACK_DEFAULT_SERVER");

    const std::string log = testsupport::readFile(dir.file("log.txt"));
    EXPECT_EQ(r.exitCode, 0) << r.out;
    ASSERT_EQ(step, finished) << log;
    EXPECT_NE(log.find("midi system JACK"), std::string::npos) << log;
    EXPECT_NE(log.find("JACK: the sound plays through JACK"), std::string::npos) << log;
    EXPECT_NE(log.find("midi clock out start"), std::string::npos) << log;
    EXPECT_NE(log.find("midi clock in start"), std::string::npos) << log;

    const std::vector<Heard> heard = readDump(dump);
    ASSERT_GE(heard.size(), 2u);
    // Played by the program from the top: Start first, then pulses at 131.5 until stop.
    EXPECT_EQ(heard[0].status, 0xFA);
    EXPECT_EQ(heard[1].status, 0xF8);
    size_t stopAt = 0;
    while (stopAt < heard.size() && heard[stopAt].status != 0xFC) ++stopAt;
    ASSERT_LT(stopAt, heard.size());
    // 24 pulses a beat heard, each of them delivered, as the program says at
    // each stop: the first and the last (the one between is a start again).
    std::vector<std::pair<long, double>> stops;
    for (size_t at = log.find("midi clock out stop after "); at != std::string::npos;
         at = log.find("midi clock out stop after ", at + 1)) {
        long pulses = 0;
        double beats = 0;
        ASSERT_EQ(std::sscanf(log.c_str() + at, "midi clock out stop after %ld pulses, %lf beats heard",
                              &pulses, &beats),
                  2);
        stops.emplace_back(pulses, beats);
    }
    ASSERT_EQ(stops.size(), 3u) << log;
    // The beat heard is known to a card's period or two: three pulses, and 1 %.
    for (const auto& [pulses, beats] : {stops.front(), stops.back()})
        EXPECT_NEAR(pulses, 24 * beats, 3 + pulses * 0.01) << log;
    EXPECT_NEAR(static_cast<long>(countOf(std::vector<Heard>(heard.begin(), heard.begin() + stopAt), 0xF8)),
                stops.front().first, 1);
    // In time, on JACK's own clock: the program plays through the same server.
    EXPECT_NEAR(pulseTempo(heard, 0, stopAt), 131.5, 131.5 * 0.01);
    // Played from the test's clock: the program started, started again from
    // the top (its clock out stopping and starting with it), and its clock
    // out went on at the tempo followed, 112: its last four beats.
    std::vector<int> fromTheClock;
    for (size_t i = stopAt + 1; i < heard.size(); ++i)
        if (heard[i].status != 0xF8) fromTheClock.push_back(heard[i].status);
    EXPECT_EQ(fromTheClock, (std::vector<int>{0xFA, 0xFC, 0xFA, 0xFC}));
    size_t endAt = heard.size() - 1;
    while (endAt > stopAt && heard[endAt].status != 0xFC) --endAt;
    size_t from = endAt;
    for (int pulses = 0; from > stopAt && pulses < 4 * 24; --from) pulses += heard[from - 1].status == 0xF8;
    const size_t said = log.rfind("midi clock in tempo ");
    ASSERT_NE(said, std::string::npos);
    const double followed = std::stod(log.substr(said + 20));
    EXPECT_NEAR(followed, 112, 112 * 0.03);
    EXPECT_NEAR(pulseTempo(heard, from, endAt), followed, followed * 0.01);
    size_t lastStart = heard.size();
    while (lastStart > 0 && heard[lastStart - 1].status != 0xFA) --lastStart;
    EXPECT_NEAR(
        static_cast<long>(countOf(std::vector<Heard>(heard.begin(), heard.begin() + endAt), 0xF8, lastStart)),
        stops.back().first, 1);
}

// The clock out through JACK, heard by a JACK client of the test's own on
// JACK's frame clock beside the program's sound (a click on every beat): at
// 256 and 1024 frames a period each pulse is within a millisecond of its
// ideal frame and the beat's pulse within a millisecond of where the beat
// is heard (the sound's playback latency included); a start from the top
// is a Start.
TEST_F(MidiClock, ClockOutThroughJackIsOnItsFrameAndOnTheHeardBeat)
{
    makeSong("Clicks", "NightShift");
    clickEveryBeat(library + "/Song/Clicks", 126);
    BLGroove g;
    g.tracks[0] = BLTrack{127, 0, 0, 0};
    const std::string doc = writeDocument("clicks.bld", "Clicks", g, 131.5f);
    blPrefsClass prefs;
    char kel[kKelPathMax + 1];
    ASSERT_TRUE(KEL_SystemPathToKelPath(dir.file("Beatloom.prf").c_str(), kel));
    prefs.fileName = kel;
    prefs.midiClockOut = 1;
    ASSERT_TRUE(prefs.save());
    const double ideal = 44100.0 * 60.0 / (24 * 131.5);
    for (const int period : {256, 1024}) {
        SCOPED_TRACE(period);
        // Real-time where the system grants it: the pulses are timed to the frame.
        JackServer server("sample" + std::to_string(period), period, true);
        ASSERT_TRUE(server.ready());
        int in[2], out[2];
        ASSERT_EQ(pipe(in), 0);
        ASSERT_EQ(pipe(out), 0);
        int probe = testsupport::spawn({BEATLOOM_JACKPROBE, "4"}, "", {server.env()}, in[0], out[1]);
        close(in[0]);
        close(out[1]);
        const std::string connected = dir.file("connected"), done = dir.file("done");
        std::remove(connected.c_str());
        std::remove(done.c_str());
        testsupport::writeFile(dir.file("script.txt"),
                               "waitsize 1 " + connected + "\npress space\nwaitsize 1 " + done + "\nquit\n");
        std::string said;
        bool linked = false, sound = false, midi = false;
        const auto r = testsupport::runWatched(
            {dir.program(), "--script", dir.file("script.txt"), "--log", dir.file("log.txt"), doc},
            dir.path(),
            [&](int, double) {
                // Each once: a second connection of the same ports is an error.
                if (!sound) sound = server.tool({"jack_connect", "Beatloom:out_1", "probe:in"}).exitCode == 0;
                if (!midi)
                    midi = server.tool({"jack_connect", "Beatloom:clock out", "probe:midi"}).exitCode == 0;
                if (!linked && sound && midi) {
                    linked = true;
                    [[maybe_unused]] const ssize_t n = write(in[1], "go\n", 3);
                    testsupport::writeFile(connected, "1");
                }
                if (!linked) plat::sleepMs(100);
                char buffer[65536];
                pollfd p{out[0], POLLIN, 0};
                while (poll(&p, 1, 0) > 0) {
                    const ssize_t n = read(out[0], buffer, sizeof buffer);
                    if (n <= 0) break;
                    said.append(buffer, static_cast<size_t>(n));
                }
                if (said.find("latency ") != std::string::npos) testsupport::writeFile(done, "1");
            },
            90, {server.env()});
        close(in[1]);
        close(out[0]);
        testsupport::endSpawned(probe, SIGTERM);
        const std::string log = testsupport::readFile(dir.file("log.txt"));
        EXPECT_EQ(r.exitCode, 0) << r.out << log << "linked " << linked << "; the probe said: " << said;
        ASSERT_NE(log.find("of the JACK client, each event at its frame"), std::string::npos) << log;

        std::vector<long> sounds, pulses, xruns;
        std::vector<int> statuses;
        long outLatency = -1, midiLatency = -1, capture = -1;
        std::istringstream lines(said);
        for (std::string line; std::getline(lines, line);) {
            long frame = 0;
            unsigned status = 0;
            if (std::sscanf(line.c_str(), "sound %ld", &frame) == 1) sounds.push_back(frame);
            if (std::sscanf(line.c_str(), "xrun %ld", &frame) == 1) xruns.push_back(frame);
            if (std::sscanf(line.c_str(), "midi %ld %x", &frame, &status) == 2) {
                statuses.push_back(static_cast<int>(status));
                if (status == 0xF8) pulses.push_back(frame);
            }
            std::sscanf(line.c_str(), "latency %ld %ld %ld", &outLatency, &midiLatency, &capture);
        }
        ASSERT_GE(outLatency, 0) << said;
        ASSERT_GE(statuses.size(), 2u) << said;
        EXPECT_EQ(statuses[0], 0xFA);
        EXPECT_EQ(statuses[1], 0xF8);
        ASSERT_GE(pulses.size(), 24u * 6);
        // Each pulse a 24th of the beat after the last, within a millisecond.
        // A period the loaded machine made too late (an xrun) moves the sound
        // and the pulses with it, or loses them: the pulses beside one are
        // left out, and counted.
        double worst = 0;
        int besideXruns = 0;
        for (size_t i = 1; i < pulses.size(); ++i) {
            const bool xrun = std::any_of(xruns.begin(), xruns.end(), [&](long x) {
                return x >= pulses[i - 1] - 4 * period && x <= pulses[i] + 4 * period;
            });
            if (xrun) {
                ++besideXruns;
                continue;
            }
            worst = std::max(worst, std::fabs(pulses[i] - pulses[i - 1] - ideal));
        }
        EXPECT_LE(worst, 44.1) << "frames off the ideal distance";
        EXPECT_LT(besideXruns, static_cast<int>(pulses.size()) / 4) << said;
        // Each beat heard, and the pulse that begins it.
        ASSERT_GE(sounds.size(), 3u) << said;
        double worstBeat = 0;
        for (const long s : sounds) {
            const double heard = static_cast<double>(s + outLatency - midiLatency);
            const long beat = std::lround((heard - pulses[0]) / (24 * ideal));
            if (beat < 0 || static_cast<size_t>(beat * 24) >= pulses.size()) continue;
            worstBeat = std::max(worstBeat, std::fabs(pulses[static_cast<size_t>(beat * 24)] - heard));
        }
        EXPECT_LE(worstBeat, 44.1) << "frames between a beat heard and its pulse";
        std::printf(
            "%d frames a period: pulses at most %.1f frames off the ideal distance, %.1f off the heard beat "
            "(playback latency %ld frames, %zu pulses, %d beside %zu xruns left out, %zu beats)\n",
            period, worst, worstBeat, outLatency, pulses.size(), besideXruns, xruns.size(), sounds.size());
    }
}

}  // namespace
}  // namespace groovee2e
