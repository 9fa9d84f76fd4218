// Ableton Link: the program joined to the session of the other music
// programs on the network. Joined, the tempo, the beat and the phase (one
// bar) follow the session, the program's own tempo changes reach it, and
// start and stop are shared both ways. It acts on the program only through
// the host the program's own link uses (BLNetHost); both links can be on.
//
// Main thread only: idle() is called from the groove controller's pass of the main loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "net/BLBeatLine.h"

class BLNet;
class BLNetHost;

// A session tempo outside the song's window is followed at half or double
// time where that falls inside it (a beat here two of the session's, or
// half of one, the bars kept on the session's), else refused: the program
// keeps its own tempo and sends the session nothing it does not play. The
// session is joined once a song gives the program a tempo it plays, and not
// in the first moments of the process, so that a session already running
// is always the older one and keeps its tempo.
//
// The session as the sync sees it (plat::LinkSession in the program; tests
// give their own). Times are plat::monotonicMs().
class BLLinkSession {
public:
    virtual ~BLLinkSession() = default;
    virtual void enable(bool on, double bpm) = 0;
    virtual size_t peers() const = 0;
    virtual double tempo() const = 0;
    virtual void setTempo(double bpm, double atMs) = 0;
    virtual double phaseAt(double atMs, double quantum) const = 0;
    virtual void requestBeatAt(double beat, double atMs, double quantum) = 0;
    // When the first bar after `atMs` begins; negative where it cannot say.
    virtual double nextBarAt(double, double) const { return -1; }
    virtual bool playing() const = 0;
    virtual void setPlaying(bool on, double atMs) = 0;
};

class BLLinkSync {
public:
    // The program's session, made when first joined.
    BLLinkSync();
    // A session of the caller's.
    explicit BLLinkSync(std::unique_ptr<BLLinkSession> session);
    ~BLLinkSync();

    void setHost(BLNetHost* h) { host = h; }
    // While the program's own link keeps the beat on the other instance,
    // that one leads the beat (it is in the session too, or it is not ours).
    void setOwnLink(const BLNet* l) { ownLink = l; }

    // `--link`: joined at start-up, whatever the preferences say.
    static void joinAtStart();
    // Joins when the preferences (or --link) say so; when the groove opens.
    void startFromConfig();
    // The Link switch.
    void join(bool on);
    bool joined() const { return on; }

    // Takes what the session did since the last pass and tells it what the
    // program did, at `now` (monotonic ms).
    void idle(double now);

    // A start made here while others share the session waits for the
    // session's next bar, as theirs do: true when held (the player then
    // does not start yet). A stop while it waits lets it go.
    bool holdStart(double now);
    void dropHeldStart(double now);

    size_t peers() const { return shownPeers; }
    double sessionTempo() const { return sessionTempo_; }
    // The session's tempo when the song's window refused it; 0 when none is.
    double refusedTempo() const { return refused; }
    // The program's beats to the session's: 1, 0.5 (half time) or 2.
    double timeFactor() const { return factor; }
    // Joined but not yet in the session: no song, or too soon after start.
    bool waitingToJoin() const { return on && !entered; }
    // How long after the process started the session may be entered.
    static constexpr double kEnterAfterMs = 750;
    // Grows at every change the network panel shows.
    uint32_t serial = 0;

private:
    bool enter();
    bool follow(double theirs);
    double quantum() const;
    void takeStartStop(double now);
    bool startOnBar(double now);
    void takeTempo(double now);
    void keepBeat(double now);
    void note(const char* text);

    std::unique_ptr<BLLinkSession> session;
    BLNetHost* host = nullptr;
    const BLNet* ownLink = nullptr;
    bool on = false;
    bool entered = false;
    double factor = 1;
    size_t shownPeers = 0;
    // What each side had at the last pass: what moved since is the news.
    bool sessionPlaying = false, hostPlaying = false;
    double sessionTempo_ = 0;
    float hostTempo = 0;
    std::string song;
    double refused = 0;
    // A start, the session's or held here, waits for the session's next bar.
    bool startWaiting = false;
    bool startHeld = false;
    bool releasing = false;
    double lastPhase = -1;
    BLBeatLine line;
    BLBeatNudge nudge;
    long lastWholeBeat = -1;
    bool paced = false;
    double anchoredAt = 0;
};
