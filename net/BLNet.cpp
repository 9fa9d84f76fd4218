#include "net/BLNet.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "library/BLGroove.h"
#include "library/BLprefs.h"
#include "platform/Platform.h"

namespace {

// A play heard without the other side's clock starts after this long anyway.
constexpr double kClockWaitMs = 1000;
constexpr double kCycleBeats = 32;
// Idle passes the mixer's pace is fitted over, and those after a start that
// tell how far it runs ahead.
constexpr size_t kLeadSamples = 200;
constexpr size_t kFitMinimum = 16;
// The most the mix tempo is nudged to follow the other side: enough for two
// sound cards starved unevenly on a busy machine; real ones differ by far less.
constexpr double kMostNudge = 0.12;
constexpr double kFitSpanMs = 600;

int16_t mirrorUse(int16_t use) { return use == kBLUseMine ? kBLUseTheirs : use == kBLUseTheirs ? kBLUseMine : kBLUseShared; }

}  // namespace

BLNet::BLNet() { setFullUse(); }

BLNet::~BLNet() = default;

void BLNet::setFullUse()
{
    for (uint8_t& flag : sendFlags) flag = 1;
}

bool BLNet::trackSends(int16_t track) const
{
    return track >= 0 && track < 8 && sendFlags[track];
}

void BLNet::sendMessage()
{
    // What the other side told us is not told back to it.
    if (applying) return;
    if (send(message)) note("sent", message);
}

void BLNet::sendSample(int16_t track, int16_t group, int16_t slot)
{
    if (!trackSends(track)) return;
    std::snprintf(message, sizeof message, "%0d %0d %0d %0d", 1, track, group, slot);
    sendMessage();
}

void BLNet::sendVolume(int16_t track, int16_t volume)
{
    if (!trackSends(track)) return;
    std::snprintf(message, sizeof message, "%0d %0d %0d", 2, track, volume);
    sendMessage();
}

void BLNet::sendPan(int16_t track, int16_t pan)
{
    if (!trackSends(track)) return;
    std::snprintf(message, sizeof message, "%0d %0d %0d", 3, track, pan);
    sendMessage();
}

void BLNet::sendUse(int16_t track, int16_t use)
{
    if (!trackSends(track)) return;
    std::snprintf(message, sizeof message, "%0d %0d %0d", 5, track, use);
    sendMessage();
}

void BLNet::sendPlay()
{
    std::snprintf(message, sizeof message, "%0d", 6);
    sendMessage();
    if (applying) return;
    sharedPlaying = true;
    // Started here: this side leads.
    following = false;
    // The other side starts on our next cycle: it needs our clock.
    clockDue = true;
}

void BLNet::sendStop()
{
    std::snprintf(message, sizeof message, "%0d", 7);
    sendMessage();
    if (!applying) sharedPlaying = false;
}

void BLNet::sendSong(const char* name)
{
    std::snprintf(message, sizeof message, "%0d %s", 9, name ? name : "");
    sendMessage();
}

void BLNet::sendGroove(const BLGroove& groove)
{
    for (int16_t track = 0; track < kBLEngineTracks; ++track) {
        const BLTrack& t = groove.tracks[track];
        sendSample(track, t.group, t.slot);
        sendVolume(track, static_cast<int16_t>(t.volume));
        sendPan(track, t.pan);
    }
}

void BLNet::sendSongLoaded(const char* name, const BLGroove& groove)
{
    sendSong(name);
    sendStop();
    sendGroove(groove);
    sendPlay();
}

// ---- The transport --------------------------------------------------------------

// Nothing goes out before the listening side let this one in.
bool BLNet::send(const char* text) { return tcp ? welcomed && tcp->send(text) : kelTalk::send(text); }
bool BLNet::received(char* text) { return tcp ? tcp->received(text) : kelTalk::received(text); }
bool BLNet::isConnected() { return tcp ? tcp->isConnected() : kelTalk::isConnected(); }
bool BLNet::isDisconnected() { return tcp ? tcp->isDisconnected() : kelTalk::isDisconnected(); }
bool BLNet::getLocalAddress(char* text) { return tcp ? tcp->getLocalAddress(text) : kelTalk::getLocalAddress(text); }
bool BLNet::getRemoteAddress(char* text) { return tcp ? tcp->getRemoteAddress(text) : kelTalk::getRemoteAddress(text); }

uint16_t BLNet::port() const { return tcp ? tcp->port() : 0; }

long BLNet::dropped() const { return refused + (tcp ? tcp->dropped() : 0); }

void BLNet::setStatus(Status s, std::string why)
{
    status = s;
    reason = std::move(why);
    ++serial;
    if (host) host->changed();
}

void BLNet::note(const char* what, const char* text)
{
    if (!plat::hasBackend()) return;
    char line[192];
    std::snprintf(line, sizeof line, "link %s %s", what, text);
    plat::backend().note(line);
}

// Back to the tempo shown, at the pace of this side's own sound card.
void BLNet::unfollow()
{
    if (following && host && host->playing() && paced != 0) host->pace(host->tempo());
    following = false;
    paced = 0;
    integral = 0;
    theirRate = 0;
    lastClockAt = 0;
}

bool BLNet::close()
{
    unfollow();
    setFullUse();
    for (int16_t& u : use) u = kBLUseShared;
    const bool wasOpen = tcp != nullptr;
    tcp.reset();
    welcomed = playPending = clockDue = false;
    startAt = 0;
    peer.clear();
    refused = 0;
    setStatus(Status::Off);
    return wasOpen || kelTalk::close();
}

void BLNet::openTransport(const char* address, Status next)
{
    tcp.reset();
    tcp = std::make_unique<kelTalkTcp>();
    tcp->retryMs = retryMs;
    welcomed = playPending = false;
    startAt = 0;
    peer.clear();
    refused = 0;
    if (tcp->open(address)) {
        setStatus(next);
        if (next == Status::Listening) note("listening", std::to_string(tcp->port()).c_str());
    } else {
        const std::string why = tcp->error();
        tcp.reset();
        setStatus(Status::Failed, why);
    }
}

void BLNet::startListen()
{
    // No port is opened unless the user chose to listen.
    if (blPrefs.netMode != kBLNetListen) return;
    mode = kBLNetListen;
    sentAway.clear();
    char address[16];
    std::snprintf(address, sizeof address, "%u", static_cast<unsigned>(blPrefs.netPort));
    openTransport(address, Status::Listening);
}

bool BLNet::startConnect()
{
    if (blPrefs.netMode != kBLNetConnect) return false;
    mode = kBLNetConnect;
    std::string host = blPrefs.netAddress;
    if (host.find(':') != std::string::npos && host.front() != '[') host = "[" + host + "]";
    const std::string address = host + ":" + std::to_string(blPrefs.netPort);
    std::string h;
    uint16_t p = 0;
    if (!kelTalkTcp::splitAddress(address.c_str(), h, p)) {
        tcp.reset();
        setStatus(Status::Failed, blPrefs.netAddress[0] ? "" : "no address");
        return false;
    }
    openTransport(address.c_str(), Status::Connecting);
    return tcp != nullptr;
}

void BLNet::startFromConfig()
{
    switch (blPrefs.netMode) {
        case kBLNetConnect: startConnect(); break;
        case kBLNetListen:
            if (!tcp) startListen();
            break;
        default: mode = kBLNetOff; break;
    }
}

void BLNet::setUse(int16_t track, int16_t newUse)
{
    if (track < 0 || track >= 8) return;
    use[track] = newUse;
    // The message goes out whichever way the flag turns: set before, cleared after.
    const bool sends = newUse != kBLUseTheirs;
    if (sends) sendFlags[track] = 1;
    sendUse(track, newUse);
    if (!sends) sendFlags[track] = 0;
    ++serial;
}

// ---- The receiving side ----------------------------------------------------------

void BLNet::linked(const std::string& address)
{
    peer = address;
    joining = keepPlaying = false;
    setFullUse();
    for (int16_t& u : use) u = kBLUseShared;
    if (mode == kBLNetListen) {
        welcomed = true;
        setStatus(Status::Linked);
        const bool hasSong = host && !host->songName().empty();
        std::snprintf(message, sizeof message, "%d %d", kBLNetWelcome, hasSong ? 1 : 0);
        sendMessage();
        if (hasSong) sendState();
    } else {
        // Connected; heard once the listening side lets us in.
        welcomed = false;
        setStatus(Status::Waiting);
    }
}

void BLNet::sendState()
{
    if (!host) return;
    const std::string name = host->songName();
    if (name.empty()) return;
    sendSong(name.c_str());
    sendStop();
    sendGroove(host->groove());
    if (host->playing()) sendPlay();
}

void BLNet::handle(const kelTalkTcp::Item& item)
{
    using K = kelTalkTcp::Item::Kind;
    switch (item.kind) {
        case K::Asking:
            peer = item.text;
            if (accepted.count(item.text)) {
                tcp->answer(true);
                return;
            }
            // A peer sent away is not asked about again until listening starts anew.
            if (sentAway.count(item.text)) {
                tcp->answer(false);
                return;
            }
            setStatus(Status::Asking);
            if (host && host->ask(item.text.c_str())) {
                accepted.insert(item.text);
                tcp->answer(true);
            } else {
                sentAway.insert(item.text);
                tcp->answer(false);
                setStatus(Status::Listening);
            }
            return;
        case K::Linked: linked(item.text); return;
        case K::Refused: ++serial; return;
        case K::Lost:
            welcomed = false;
            playPending = false;
            unfollow();
            // The music goes on; the connecting side tries again, the
            // listening side waits for the peer to come back.
            setStatus(mode == kBLNetListen ? Status::Listening : Status::Lost, item.text);
            return;
        case K::Message: apply(item.message, item.at); return;
    }
}

void BLNet::apply(const BLNetMessage& m, double at)
{
    char text[160];
    if (BLNet_formatMessage(m, text, sizeof text)) note("heard", text);
    if (m.code == kBLNetWelcome) {
        welcomed = true;
        setStatus(Status::Linked);
        // The listening side gives its song when it has one; else ours goes.
        joining = m.value[0] == 1;
        keepPlaying = false;
        if (m.value[0] == 0) sendState();
        return;
    }
    if (!host) return;
    applying = true;
    const int16_t t = m.track;
    switch (m.code) {
        case kBLNetSample:
        case kBLNetVolume:
        case kBLNetPan:
            // A track played here does not follow the other side.
            if (use[t] == kBLUseMine) break;
            // A loop this song lacks leaves the track as it is.
            if (m.code == kBLNetSample) host->setSample(t, m.value[0], m.value[1]);
            if (m.code == kBLNetVolume) host->setVolume(t, m.value[0]);
            if (m.code == kBLNetPan) host->setPan(t, m.value[0]);
            break;
        case kBLNetUse:
            use[t] = mirrorUse(m.value[0]);
            sendFlags[t] = use[t] != kBLUseTheirs;
            ++serial;
            host->changed();
            break;
        case kBLNetPlay:
            sharedPlaying = true;
            playPending = true;
            playPendingSince = at;
            break;
        case kBLNetStop:
            sharedPlaying = false;
            // Linked again to the song that plays here: the music goes on.
            if (keepPlaying) break;
            playPending = false;
            startAt = 0;
            following = false;
            host->stop();
            break;
        case kBLNetClock: {
            const float tempo = static_cast<float>(m.tempoMilli) / 1000.0f;
            if (std::fabs(tempo - host->tempo()) >= 0.0005f) host->setTempo(tempo);
            sharedTempo = host->tempo();
            clockRate(m, at);
            follow(m, at);
            if (playPending && keepPlaying && host->playing() && inStep(m, at)) {
                playPending = false;
            } else if (playPending) {
                if (host->playing()) host->stop();
                scheduleStart(m, at);
            } else if (startAt > 0) {
                refineStart(m, at);
            }
            joining = keepPlaying = false;
            break;
        }
        case kBLNetSong:
            if (joining && host->playing() && host->songName() == m.name) {
                keepPlaying = true;
                break;
            }
            startAt = 0;
            playPending = false;
            if (host->loadSong(m.name)) {
                if (status == Status::Failed || !reason.empty()) setStatus(status);
            } else {
                reason = m.name;
                ++serial;
                host->changed();
            }
            break;
        default: break;
    }
    applying = false;
}

bool BLNet::hear(const char* text, size_t length, double at)
{
    BLNetMessage m;
    if (!BLNet_parseMessage(text, length, m)) {
        ++refused;
        ++serial;
        return false;
    }
    apply(m, at);
    return true;
}

// The beat this side's mixer was at, at `at`. It runs ahead of what is heard
// by the sound card's queue, the same on both sides, so the two compare as
// they are.
double BLNet::heardAt(double at) const
{
    return fitA + fitB * (at - playSeen);
}

// The other side's beat told at `at` less ours then, in beats, within half a cycle.
double BLNet::apart(const BLNetMessage& clock, double at) const
{
    double d = std::fmod(clock.beatMilli / 1000.0 - heardAt(at), kCycleBeats);
    if (d < -kCycleBeats / 2) d += kCycleBeats;
    if (d >= kCycleBeats / 2) d -= kCycleBeats;
    return d;
}

// Less than one mixing block of 2048 frames apart.
bool BLNet::inStep(const BLNetMessage& clock, double at) const
{
    const double msPerBeat = 60000.0 / std::max(1.0f, host->tempo());
    return leadKnown && std::fabs(apart(clock, at)) * msPerBeat < 2048.0 * 1000.0 / 44100.0;
}

// Following the other side's clock: the mix tempo is nudged (by a little,
// the tempo shown stays) so that this side's beat meets the other's,
// whatever the two sound cards' own paces and however far a fresh start
// runs ahead. Gently: the fitted line answers a nudge only after a while.
void BLNet::follow(const BLNetMessage& clock, double at)
{
    if (!following || !leadKnown || !host->playing()) return;
    const double d = apart(clock, at);
    integral = std::clamp(integral + d, -2.4, 2.4);
    const double nudge = std::clamp(0.3 * d + 0.05 * integral, -kMostNudge, kMostNudge);
    paced = static_cast<float>(host->tempo() * (1.0 + nudge));
    host->pace(paced);
    char text[64];
    std::snprintf(text, sizeof text, "%.4f beats", d);
    note("apart", text);
}

// The other side's pace in beats per ms, from its last two clocks.
void BLNet::clockRate(const BLNetMessage& clock, double at)
{
    const double beat = clock.beatMilli / 1000.0;
    if (lastClockAt > 0 && at - lastClockAt > 100 && at - lastClockAt < 5000) {
        double step = beat - lastClockBeat;
        if (step < 0) step += kCycleBeats;
        const double rate = step / (at - lastClockAt);
        const double nominal = clock.tempoMilli / 60000000.0;
        // A rate far off the tempo is a clock lost on the way, not a pace.
        if (std::fabs(rate / nominal - 1.0) < 0.2) theirRate = theirRate > 0 ? 0.5 * (theirRate + rate) : rate;
    }
    lastClockBeat = beat;
    lastClockAt = at;
}

// The other side's beat of its cycle at `at`: this side starts when that
// cycle ends, so both count their cycles from the same moment.
void BLNet::scheduleStart(const BLNetMessage& clock, double at)
{
    playPending = false;
    const double msPerBeat = theirRate > 0 ? 1.0 / theirRate : 60000.0 / (clock.tempoMilli / 1000.0);
    const double left = (kCycleBeats - clock.beatMilli / 1000.0) * msPerBeat;
    double when = at + left;
    const double now = plat::monotonicMs();
    while (when < now) when += kCycleBeats * msPerBeat;
    startAt = when;
}

// A later clock of the other side while this side waits to start: the
// start moves with it to where the other side's pace now puts the end of
// its cycle (the one nearest the start planned, never another cycle).
void BLNet::refineStart(const BLNetMessage& clock, double at)
{
    const double msPerBeat = theirRate > 0 ? 1.0 / theirRate : 60000.0 / (clock.tempoMilli / 1000.0);
    const double cycle = kCycleBeats * msPerBeat;
    double when = at + (kCycleBeats - clock.beatMilli / 1000.0) * msPerBeat;
    while (when - startAt > cycle / 2) when -= cycle;
    while (startAt - when > cycle / 2) when += cycle;
    startAt = when;
}

void BLNet::sendClock()
{
    if (!host || !welcomed || !leadKnown) return;
    double inCycle = std::fmod(heardAt(plat::monotonicMs()), kCycleBeats);
    if (inCycle < 0) inCycle += kCycleBeats;
    const long tempo = std::lround(static_cast<double>(host->tempo()) * 1000.0);
    if (tempo < kBLNetTempoMin || tempo > kBLNetTempoMax) return;
    std::snprintf(message, sizeof message, "%d %ld %ld", kBLNetClock, tempo,
                  std::min<long>(std::lround(std::floor(inCycle * 1000.0)), kBLNetCycleMilli - 1));
    sendMessage();
    sharedTempo = host->tempo();
    clockDue = false;
}

// Where the mixer is, in beats since playing started: it moves in blocks of
// 2048 frames at the pace of the sound card, so a line is fitted through the
// positions of the last idle passes.
void BLNet::keepTime(double now)
{
    const double p = host->playing() ? host->position() : -1;
    if (p < 0) {
        fitCount = 0;
        leadKnown = false;
        lastBeat = -1;
        lastWholeBeat = -1;
        return;
    }
    if (fitCount == 0) {
        playSeen = now;
        fitFirst = 0;
        sumT = sumP = sumTT = sumTP = 0;
    }
    if (now - playSeen > 600000.0) {
        // Every ten minutes the times start again from the oldest kept, so
        // that the sums keep their precision.
        const double shift = fit[fitFirst].first;
        playSeen += shift;
        sumT = sumP = sumTT = sumTP = 0;
        for (size_t i = 0; i < fitCount; ++i) {
            auto& [ft, fp] = fit[(fitFirst + i) % kFitSamples];
            ft -= shift;
            sumT += ft;
            sumP += fp;
            sumTT += ft * ft;
            sumTP += ft * fp;
        }
    }
    const double t = now - playSeen;
    // The line goes through the last 600 ms, however many passes that was.
    while (fitCount == kFitSamples || (fitCount > kFitMinimum && t - fit[fitFirst].first > kFitSpanMs)) {
        const auto [oldT, oldP] = fit[fitFirst];
        fitFirst = (fitFirst + 1) % kFitSamples;
        --fitCount;
        sumT -= oldT;
        sumP -= oldP;
        sumTT -= oldT * oldT;
        sumTP -= oldT * oldP;
    }
    fit[(fitFirst + fitCount) % kFitSamples] = {t, p};
    ++fitCount;
    sumT += t;
    sumP += p;
    sumTT += t * t;
    sumTP += t * p;
    const double n = static_cast<double>(fitCount);
    const double spread = n * sumTT - sumT * sumT;
    const float tempo = host->tempo();
    fitB = fitCount >= kFitMinimum && spread > 1e-9 ? (n * sumTP - sumT * sumP) / spread : tempo / 60000.0;
    fitA = (sumP - fitB * sumT) / n;
    // Enough passes for a line that holds.
    if (!leadKnown && (fitCount >= kLeadSamples || t >= kFitSpanMs)) leadKnown = true;
    const int b = host->beat();
    if (b != lastBeat && b >= 0) {
        char text[64];
        std::snprintf(text, sizeof text, "%d at %.3f tempo %.3f", b, now, static_cast<double>(tempo));
        note("beat", text);
    }
    lastBeat = b;
}

void BLNet::idleEvents()
{
    if (!host) return;
    const double now = plat::monotonicMs();
    keepTime(now);
    if (tcp && !host->busy()) {
        kelTalkTcp::Item item;
        // What came, in order; a song load or a question ends the pass early.
        for (int n = 0; n < 64 && tcp && tcp->take(item); ++n) handle(item);
    }
    if (playPending && now - playPendingSince >= kClockWaitMs) {
        // No clock came: start now rather than never.
        playPending = joining = keepPlaying = false;
        startAt = now;
    }
    if (startAt > 0 && now >= startAt) {
        startAt = 0;
        applying = true;
        if (!host->playing()) host->play();
        applying = false;
        following = true;
        integral = 0;
        keepTime(now);
    }
    if (!tcp || !welcomed || !tcp->isConnected()) return;
    // Play and stop by the player reach the other side as well.
    const bool playing = host->playing();
    if (playing != sharedPlaying && startAt == 0 && !playPending) {
        if (playing) sendPlay();
        else sendStop();
    }
    if (!playing || !leadKnown) return;
    // A clock every beat: a start waiting on the other side is placed by the
    // latest, and a side that follows keeps its beat on it.
    const long whole = static_cast<long>(std::floor(heardAt(now)));
    if (whole != lastWholeBeat) {
        lastWholeBeat = whole;
        clockDue = true;
    }
    if (std::fabs(host->tempo() - sharedTempo) >= 0.0005f) clockDue = true;
    if (clockDue) sendClock();
}
