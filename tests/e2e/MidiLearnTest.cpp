// MIDI learn with a real peer: under a JACK server of the test's own,
// jack_midiseq's note, played into the program's port "controls in" while the
// program learns, binds a track's mute; played again, it mutes the track.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/GrooveSession.h"
#include "platform/PlatMidi.h"
#include "support/JackServer.h"

// ctest-labels: jack

namespace groovee2e {
namespace {

// The launch grid's button (to Beat, so a mute is heard within a beat) and
// track 1's lamp, in stage points.
constexpr int kGridX = 92 + 26, kGridY = 70 + 9;
constexpr int kLampX = 42, kLampY = 148;
constexpr int kRate = 44100;

// jack_midiseq, a real peer: note 61 one second into every three, until it
// goes away with the object.
class Sequencer {
public:
    Sequencer(const testsupport::JackServer& jack, const std::string& name) : name_(name)
    {
        const std::string env = jack.env();
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            putenv(const_cast<char*>(env.c_str()));
            execlp("jack_midiseq", "jack_midiseq", name.c_str(), "132300", "44100", "61", "4410",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~Sequencer()
    {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    Sequencer(const Sequencer&) = delete;
    Sequencer& operator=(const Sequencer&) = delete;
    std::string port() const { return name_ + ":out"; }

private:
    std::string name_;
    pid_t pid_ = -1;
};

long fileSize(const std::string& path)
{
    std::error_code ec;
    const auto n = std::filesystem::file_size(path, ec);
    return ec ? 0 : static_cast<long>(n);
}

using MidiLearnSession = GrooveSession;

TEST_F(MidiLearnSession, ANoteBoundByLearnMutesTheTrackItWasLearntOn)
{
    testsupport::JackServer jack("midilearn");
    ASSERT_TRUE(jack.ready()) << "jackd -d dummy did not start";

    BLGroove groove;
    groove.tracks[0] = BLTrack{100, 0, 0, 0};  // Drums01, alone
    const std::string doc = writeDocument("learn.bld", "NightShift", groove, 126.0f);
    const std::string muted = dir.file("muted.flag");
    // Playing for 2.5 s; the grid to Beat; learn, and track 1's lamp picked.
    const std::string script = "wait 700\npress space\nwaitsize 441000 " + capture + "\nclick " +
                               at(kGridX, kGridY) + "\npress n\nclick " + at(kLampX, kLampY) +
                               "\nwaitsize 1 " + muted + "\nmove " + at(kLampX + 2, kLampY + 2) +
                               "\nwait 300\nscreenshot " + dir.file("bound.png") + "\nquit\n";
    testsupport::writeFile(dir.file("script.txt"), script);
    const std::string logPath = dir.file("log.txt");

    // The peer plays while the program learns, goes once the log says the
    // note is bound, and plays again until the note has muted the track;
    // the program quits 2 s of sound after that.
    enum class Step { learning, bound, muting, muted } step = Step::learning;
    std::unique_ptr<Sequencer> peer;
    long mutedAt = 0;
    std::string connectOut;
    auto connect = [&](const char* name) {
        peer = std::make_unique<Sequencer>(jack, name);
        for (int i = 0; i < 100; ++i) {
            // The program's JACK clients are Beatloom, Beatloom-01 ... in the order they open.
            std::string input = "Beatloom:controls in";
            for (const std::string& port : plat::MidiIn::ports(plat::MidiSystem::jack))
                if (port.size() > 12 && port.compare(port.size() - 12, 12, ":controls in") == 0) input = port;
            const auto r = jack.tool({"jack_connect", peer->port(), input});
            if (r.exitCode == 0) return;
            connectOut = r.out;
            usleep(20000);
        }
    };
    const auto r = testsupport::runWatched(
        {dir.program(), "--no-jack", "--script", dir.file("script.txt"), "--log", logPath, doc}, dir.path(),
        [&](int, double) {
            const std::string log = testsupport::readFile(logPath);
            switch (step) {
                case Step::learning:
                    if (!peer && log.find("midi controls open") != std::string::npos) connect("learner");
                    if (log.find("midi bound") != std::string::npos) {
                        peer.reset();
                        step = Step::bound;
                    }
                    break;
                case Step::bound:
                    connect("player");
                    step = Step::muting;
                    break;
                case Step::muting:
                    if (log.find("midi note 61 ch 1 value") != std::string::npos) {
                        peer.reset();
                        mutedAt = fileSize(capture) / 4;
                        step = Step::muted;
                    }
                    break;
                case Step::muted:
                    if (fileSize(capture) / 4 >= mutedAt + 2 * kRate && !std::filesystem::exists(muted))
                        testsupport::writeFile(muted, "1");
                    break;
            }
        },
        120, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + capture, jack.env()});
    peer.reset();
    keepScreen(dir.file("bound.png"), "groove-midi-bound");
    const std::string log = testsupport::readFile(logPath);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    ASSERT_EQ(step, Step::muted) << "connect: " << connectOut << "\n" << r.out << "\n" << log;
    EXPECT_NE(log.find("midi bound note 61 ch 1 -> mute 1"), std::string::npos) << log;
    EXPECT_NE(log.find("midi note 61 ch 1 value 64 -> mute 1"), std::string::npos) << log;

    // Drums before the learning; silence from a beat and a block after the
    // note came, to the end.
    const std::vector<int16_t> sound = readCapture(capture);
    ASSERT_GT(sound.size() / 2, static_cast<size_t>(mutedAt + kRate)) << log;
    auto loudest = [&](long from, long to) {
        int peak = 0;
        for (long i = from * 2; i < to * 2 && i < static_cast<long>(sound.size()); ++i)
            peak = std::max(peak, std::abs(static_cast<int>(sound[static_cast<size_t>(i)])));
        return peak;
    };
    EXPECT_GT(loudest(kRate, 2 * kRate), 1000) << "the drums played";
    const long quietFrom = mutedAt + kRate * 60 / 126 + 8192;
    EXPECT_EQ(loudest(quietFrom, static_cast<long>(sound.size() / 2)), 0) << "muted from frame " << quietFrom;
}

}  // namespace
}  // namespace groovee2e
