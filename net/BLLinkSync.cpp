#include "net/BLLinkSync.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "library/BLprefs.h"
#include "net/BLNet.h"
#include "platform/PlatLink.h"
#include "platform/PlatLinkSession.h"
#include "platform/Platform.h"

namespace {

// One bar of four beats is the phase shared.
constexpr double kQuantum = 4;
// Tempos closer than this are the same (the player keeps a float).
constexpr double kSameTempo = 0.0005;
// A start placed on a bar needs this long to reach the output in time.
constexpr double kStartRoomMs = 60;

bool gJoinAtStart = false;
// When the process began, as near as the program's own code can say.
const double gProcessStart = plat::monotonicMs();

class PlatSession : public BLLinkSession {
public:
    void enable(bool on, double bpm) override { link.enable(on, bpm); }
    size_t peers() const override { return link.peers(); }
    double tempo() const override { return link.tempo(); }
    void setTempo(double bpm, double atMs) override { link.setTempo(bpm, atMs); }
    double phaseAt(double atMs, double quantum) const override { return link.phaseAt(atMs, quantum); }
    void requestBeatAt(double beat, double atMs, double quantum) override
    {
        link.requestBeatAt(beat, atMs, quantum);
    }
    double nextBarAt(double atMs, double quantum) const override
    {
        return link.timeAtBeat(std::ceil(link.beatAt(atMs, quantum) / quantum) * quantum, quantum);
    }
    bool playing() const override { return link.playing(); }
    void setPlaying(bool on, double atMs) override { link.setPlaying(on, atMs); }

private:
    plat::LinkSession link;
};

}  // namespace

BLLinkSync::BLLinkSync() = default;

BLLinkSync::BLLinkSync(std::unique_ptr<BLLinkSession> s) : session(std::move(s)) {}

BLLinkSync::~BLLinkSync()
{
    if (session && on) session->enable(false, 0);
}

void BLLinkSync::joinAtStart()
{
    gJoinAtStart = true;
}

void BLLinkSync::startFromConfig()
{
    if (gJoinAtStart) blPrefs.link = 1;
    join(blPrefs.link != 0);
}

void BLLinkSync::note(const char* text)
{
    if (plat::hasBackend()) plat::backend().note(std::string("Link ") + text);
}

void BLLinkSync::join(bool want)
{
    blPrefs.link = want ? 1 : 0;
    if (want == on) return;
    on = want;
    ++serial;
    if (!on) {
        if (session && entered) session->enable(false, 0);
        if (paced && host && host->playing()) host->pace(host->tempo());
        entered = false;
        paced = false;
        shownPeers = 0;
        refused = 0;
        factor = 1;
        startWaiting = false;
        note("off");
        return;
    }
    note("on");
    enter();
}

// Into the session once the program plays a tempo of its song's: a session
// founded here is at that tempo, never at a stand-in. Not in the process's
// first moments either: Link keeps the older of two sessions that meet, but
// takes two founded within half a second for equals, and a peer already
// playing when the program starts must keep its own.
bool BLLinkSync::enter()
{
    if (entered) return true;
    if (!host || host->songName().empty() || !(host->tempo() > 0)) return false;
    if (!session && plat::monotonicMs() - gProcessStart < kEnterAfterMs) return false;
    if (!session) session = std::make_unique<PlatSession>();
    const float tempo = host->tempo();
    session->enable(true, tempo);
    entered = true;
    factor = 1;
    // What both sides have now is no news, but for a session found already
    // running, whose tempo is taken at the first pass.
    sessionTempo_ = tempo;
    hostTempo = tempo;
    sessionPlaying = session->playing();
    hostPlaying = host->playing();
    song = host->songName();
    line.reset();
    nudge.reset();
    lastWholeBeat = -1;
    ++serial;
    note("in the session");
    return true;
}

void BLLinkSync::idle(double now)
{
    if (!on || !host || !enter() || !session) return;
    const size_t peers = session->peers();
    if (peers != shownPeers) {
        shownPeers = peers;
        ++serial;
        char text[48];
        std::snprintf(text, sizeof text, "peers %zu", peers);
        note(text);
    }
    takeTempo(now);
    takeStartStop(now);
    keepBeat(now);
}

// A tempo from the session passes the song's window as one set here would,
// at half or double time where only that falls inside it; this side's own
// changes go to the session, in the session's beats.
bool BLLinkSync::follow(double theirs)
{
    for (const double f : {1.0, 0.5, 2.0}) {
        if (!host->setTempo(static_cast<float>(theirs * f))) continue;
        factor = f;
        return true;
    }
    factor = 1;  // its own tempo, not the session's at any time
    return false;
}

double BLLinkSync::quantum() const
{
    return kQuantum / factor;
}

void BLLinkSync::takeTempo(double now)
{
    const double theirs = session->tempo();
    char text[112];
    // A song opened here brings its own tempo: with peers the session's stays.
    const std::string name = host->songName();
    const bool newSong = name != song;
    song = name;
    if (std::fabs(theirs - sessionTempo_) >= kSameTempo || (newSong && shownPeers > 0)) {
        sessionTempo_ = theirs;
        ++serial;
        const double before = factor;
        if (std::fabs(theirs * factor - host->tempo()) >= kSameTempo || newSong) {
            if (follow(theirs)) {
                refused = 0;
                if (factor == 1)
                    std::snprintf(text, sizeof text, "tempo %.3f taken", theirs);
                else
                    std::snprintf(text, sizeof text, "tempo %.3f taken at %s time: %.3f", theirs,
                                  factor < 1 ? "half" : "double", theirs * factor);
            } else {
                refused = theirs;
                std::snprintf(text, sizeof text, "tempo %.3f refused: outside the song's window, %.3f kept",
                              theirs, static_cast<double>(host->tempo()));
            }
            note(text);
        } else {
            refused = 0;
        }
        if (factor != before) {
            line.reset();
            nudge.reset();
            lastWholeBeat = -1;
        }
        hostTempo = host->tempo();
        return;
    }
    const float ours = host->tempo();
    if (std::fabs(ours - hostTempo) < kSameTempo) return;
    hostTempo = ours;
    // Alone, the session is this side's own, at the tempo it plays.
    if (shownPeers == 0) factor = 1;
    // Refused, the session keeps its tempo: this side sends it nothing it
    // does not play until its own tempo is in the session's again.
    session->setTempo(ours / factor, now);
    sessionTempo_ = session->tempo();
    refused = 0;
    ++serial;
    std::snprintf(text, sizeof text, "tempo %.3f sent", static_cast<double>(ours) / factor);
    note(text);
}

void BLLinkSync::takeStartStop(double now)
{
    const bool theirs = session->playing();
    const bool ours = host->playing();
    if (theirs != sessionPlaying) {
        sessionPlaying = theirs;
        if (theirs && !ours) {
            // Heard on the session's next bar, as every peer starts.
            note("start taken");
            if (!startOnBar(now)) {
                startWaiting = true;
                lastPhase = -1;
            }
        } else if (!theirs) {
            startWaiting = false;
            if (ours) host->stop();
            note("stop taken");
        }
    } else if (ours != hostPlaying) {
        startWaiting = false;
        if (ours != theirs) {
            session->setPlaying(ours, now);
            sessionPlaying = ours;
            note(ours ? "start sent" : "stop sent");
        }
    }
    if (startWaiting) {
        const double phase = session->phaseAt(now, quantum());
        if (lastPhase >= 0 && phase < lastPhase) {
            startWaiting = false;
            startHeld = false;
            releasing = true;
            host->play();
            releasing = false;
        }
        lastPhase = phase;
    }
    hostPlaying = host->playing();
}

bool BLLinkSync::holdStart(double now)
{
    if (!on || !entered || !session || !host || shownPeers == 0 || releasing) return false;
    if (!session->playing()) {
        session->setPlaying(true, now);
        note("start sent");
    }
    sessionPlaying = true;
    note("start waits for the session's bar");
    if (startOnBar(now)) return true;
    startWaiting = true;
    startHeld = true;
    lastPhase = -1;
    return true;
}

// Plays at once, heard from the session's next bar on, where the output can
// place the start so; else the idle pass starts it when the bar turns.
bool BLLinkSync::startOnBar(double now)
{
    const double bar = session->nextBarAt(now + kStartRoomMs, quantum());
    if (bar < 0 || !host->placeStartAt(bar)) return false;
    releasing = true;
    host->play();
    releasing = false;
    note("start placed on the session's bar");
    return true;
}

void BLLinkSync::dropHeldStart(double now)
{
    if (!startHeld) return;
    startHeld = false;
    startWaiting = false;
    if (session && session->playing()) session->setPlaying(false, now);
    sessionPlaying = false;
    note("stop sent");
}

// The mixer's beat kept on the session's phase by nudging the mix tempo, as
// the program's own link does; alone, the session takes this side's beat.
void BLLinkSync::keepBeat(double now)
{
    line.add(now, host->playing() ? host->position() : -1, host->tempo());
    const bool sameTempo = std::fabs(host->tempo() - sessionTempo_ * factor) < 0.01;
    const bool otherLeads = ownLink && ownLink->followingBeat();
    if (!line.known() || !sameTempo || otherLeads || startWaiting) {
        if (paced && !otherLeads && host->playing()) host->pace(host->tempo());
        paced = false;
        nudge.reset();
        lastWholeBeat = -1;
        return;
    }
    const double heard = line.at(now);
    if (shownPeers == 0) {
        // Whoever joins later finds this side's bar in the session.
        if (now - anchoredAt >= 1000) {
            session->requestBeatAt(heard / factor, now, quantum());
            anchoredAt = now;
        }
        return;
    }
    // Once a beat, as the fitted line answers a nudge only after a while.
    const long whole = static_cast<long>(std::floor(heard));
    if (whole == lastWholeBeat) return;
    lastWholeBeat = whole;
    // The session's phase in this side's beats: a bar here is kQuantum of them.
    const double apart =
        BLBeatWrap(session->phaseAt(now, quantum()) * factor - std::fmod(heard, kQuantum), kQuantum);
    host->pace(static_cast<float>(host->tempo() * nudge.factor(apart)));
    paced = true;
    char text[64];
    std::snprintf(text, sizeof text, "apart %.4f beats", apart);
    note(text);
}
