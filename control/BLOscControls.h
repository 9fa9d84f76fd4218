// OSC control: a UDP port on which every action of the controller can be
// asked for (docs/OSC.md), and the changes and the beat told to the clients
// that subscribe. liblo's thread only queues; each message is applied on
// the main thread, in the controller's pass, as an action of OSC's origin.
// A change a client asked for is told to the other subscribers, never back
// to that client as if it were news.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "control/BLOrigin.h"

namespace plat {
class OscServer;
struct OscMessage;
}  // namespace plat

class BLGrooveController;

// The port `--osc` gives for this run (0: none), over the preferences'.
void BLOsc_UsePort(int port);
// The port OSC listens on now; 0 when off.
int BLOsc_Port();
// The port `--osc` gave, -1 when it gave none.
int BLOsc_CommandLinePort();

class BLOscControls : public BLGrooveListener {
public:
    // Subscribers kept at most; the oldest goes for a new one.
    static constexpr size_t kSubscribersMax = 16;
    // Messages applied in one pass at most: a flood waits, the pass goes on.
    static constexpr int kMessagesAPass = 256;

    explicit BLOscControls(BLGrooveController& controller);
    ~BLOscControls() override;
    BLOscControls(const BLOscControls&) = delete;
    BLOscControls& operator=(const BLOscControls&) = delete;

    // Listens on the port (0: off); the program goes on without it.
    void open(int port);
    void close();
    int port() const;
    void serve();
    void grooveChanged(const BLGrooveChange& change, BLOrigin from) override;

private:
    // An empty answer: applied; else why the message changes nothing.
    std::string apply(const plat::OscMessage& m);
    std::string applyTrack(int16_t track, const std::string& what, const plat::OscMessage& m);
    std::string applySynth(const std::string& what, const plat::OscMessage& m);
    // Rack 0 .. 7 a track's, 8 the main mix's; `rest` the address after ".../fx/".
    std::string applyEffect(int16_t rack, const std::vector<std::string>& rest, const plat::OscMessage& m);
    std::string applyRecord(const plat::OscMessage& m);
    void refused(const plat::OscMessage& m, const std::string& why);
    void subscribe(const std::string& url);
    void tell(const plat::OscMessage& m, const std::string& except = std::string());
    void tellState(const std::string& to);
    void tellTrack(int16_t track, const std::string& to);
    void tellEffect(int16_t rack, int16_t slot, const std::string& to);
    void send(const std::string& to, const plat::OscMessage& m);

    BLGrooveController& groove;
    std::unique_ptr<plat::OscServer> server;
    std::vector<std::string> subscribers;
    // The client whose message is being applied.
    std::string asking;
    int16_t lastBeat = -1;
    bool lastPlaying = false;
    // Record's light as last told.
    bool lastRecord = false;
    // Refusals said this second, and those left unsaid.
    uint32_t refusalSecond = 0;
    int refusalsSaid = 0;
    size_t refusalsUnsaid = 0;
};
