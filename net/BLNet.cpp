#include "net/BLNet.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "library/BLGroove.h"
#include "library/BLprefs.h"
#include "platform/Platform.h"

namespace {

// A play heard without the other side's clock starts after this long anyway.
constexpr double kClockWaitMs = 1000;

}  // namespace

BLNet::BLNet()
{
    setFullUse();
}

BLNet::~BLNet() = default;

void BLNet::setFullUse()
{
    for (uint8_t& flag : sendFlags) flag = 1;
}

// The other side has another song than this one, or one this side holds
// back: what plays here is not told.
bool BLNet::holdingOwn() const
{
    if (!host) return false;
    if (switching || host->holding()) return true;
    return songMissing && host->songName() == keptSong;
}

bool BLNet::trackSends(int16_t track) const
{
    if (track < 0 || track >= 8 || !sendFlags[track]) return false;
    // Track messages are about the song the other side has: those of a
    // song not told yet wait for it (it comes with its tracks).
    if (!host || !tcp) return true;
    return !holdingOwn() && mirrorSongKnown && host->songName() == mirrorSong;
}

bool BLNet::sendMessage()
{
    if (!send(message)) return false;
    note("sent", message);
    return true;
}

void BLNet::sendSample(int16_t track, int16_t group, int16_t slot)
{
    if (!trackSends(track)) return;
    std::snprintf(message, sizeof message, "%0d %0d %0d %0d", 1, track, group, slot);
    if (!sendMessage()) return;
    mirror[track].group = group;
    mirror[track].slot = slot;
}

void BLNet::sendVolume(int16_t track, int16_t volume)
{
    if (!trackSends(track)) return;
    std::snprintf(message, sizeof message, "%0d %0d %0d", 2, track, volume);
    if (sendMessage()) mirror[track].volume = volume;
}

void BLNet::sendPan(int16_t track, int16_t pan)
{
    if (!trackSends(track)) return;
    std::snprintf(message, sizeof message, "%0d %0d %0d", 3, track, pan);
    if (sendMessage()) mirror[track].pan = pan;
}

void BLNet::sendOn(int16_t track, bool on)
{
    if (!trackSends(track)) return;
    std::snprintf(message, sizeof message, "%d %d %d", kBLNetOn, track, on ? 1 : 0);
    if (sendMessage()) mirror[track].on = on;
}

void BLNet::sendUse(int16_t track, int16_t use)
{
    if (track < 0 || track >= 8 || !sendFlags[track]) return;
    std::snprintf(message, sizeof message, "%0d %0d %0d", 5, track, use);
    sendMessage();
}

namespace {

// A slot as the link carries it: its effect, bypass and parameters.
bool sameOnLink(const FxSlot& a, const FxSlot& b)
{
    return a.effect == b.effect && a.bypass == b.bypass && a.params == b.params;
}

bool wordFits(const std::string& word)
{
    if (word.empty() || word.size() > kBLNetNameMax) return false;
    for (const char c : word)
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F) return false;
    return true;
}

}  // namespace

bool BLNet::effectSends(int16_t rack) const
{
    if (rack < 0 || rack >= kBLNetRacks) return false;
    if (rack < kBLEngineTracks) return trackSends(rack);
    if (!host || !tcp) return true;
    return !holdingOwn() && mirrorSongKnown && host->songName() == mirrorSong;
}

void BLNet::sendEffect(int16_t rack, int16_t slot, const FxSlot& s)
{
    if (!effectSends(rack) || slot < 0 || slot >= kFxSlots) return;
    // An effect whose name cannot travel is not sent: the other side keeps its own.
    if (!s.empty() && !wordFits(s.effect)) return;
    FxSlot& m = fxMirror.racks[rack].slots[slot];
    BLNetMessage e;
    e.code = kBLNetEffect;
    e.track = rack;
    e.value[0] = slot;
    e.value[1] = s.bypass ? 1 : 0;
    std::snprintf(e.name, sizeof e.name, "%s", s.effect.c_str());
    if (m.effect != s.effect || m.bypass != s.bypass) {
        if (!BLNet_formatMessage(e, message, sizeof message) || !sendMessage()) return;
        // Another effect starts from its defaults there.
        if (m.effect != s.effect) m.params.clear();
        m.effect = s.effect;
        m.bypass = s.bypass;
    }
    for (const FxParamValue& p : s.params) {
        const float* there = m.param(p.name);
        if ((there && *there == p.value) || !wordFits(p.name)) continue;
        BLNetMessage v;
        v.code = kBLNetParam;
        v.track = rack;
        v.value[0] = slot;
        v.real = p.value;
        std::snprintf(v.name, sizeof v.name, "%s", p.name.c_str());
        if (BLNet_formatMessage(v, message, sizeof message) && sendMessage()) m.setParam(p.name, p.value);
    }
}

// The effects that differ from what the other side has. A song told is
// taken there with no effects: only the slots that hold one follow it.
void BLNet::tellEffects()
{
    if (!fxKnown) {
        fxMirror = FxSetup{};
        fxKnown = true;
    }
    const BLGroove& g = host->groove();
    for (int16_t r = 0; r < kBLNetRacks; ++r) {
        if (!effectSends(r)) continue;
        for (int16_t k = 0; k < kFxSlots; ++k)
            if (!sameOnLink(fxMirror.racks[r].slots[k], g.fx.racks[r].slots[k]))
                sendEffect(r, k, g.fx.racks[r].slots[k]);
    }
}

void BLNet::sendPlay()
{
    std::snprintf(message, sizeof message, "%0d", 6);
    sendMessage();
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
    sharedPlaying = false;
}

void BLNet::sendSong(const char* name)
{
    // A name too long is not sent cut: it would name another song.
    if (name && std::strlen(name) > kBLNetNameMax) return;
    std::snprintf(message, sizeof message, "%0d %s", 9, name ? name : "");
    if (!sendMessage()) return;
    mirrorSong = name ? name : "";
    mirrorSongKnown = true;
    // Its tracks come next: until then the other side's are not known.
    for (Mirror& m : mirror) m.known = false;
    fxKnown = false;
}

void BLNet::sendGroove(const BLGroove& groove)
{
    for (int16_t track = 0; track < kBLEngineTracks; ++track) {
        const BLTrack& t = groove.tracks[track];
        sendSample(track, t.group, t.slot);
        sendVolume(track, static_cast<int16_t>(t.volume));
        sendPan(track, t.pan);
        if (trackSends(track)) mirror[track].known = true;
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
bool BLNet::send(const char* text)
{
    return tcp ? welcomed && tcp->send(text) : kelTalk::send(text);
}
bool BLNet::received(char* text)
{
    return tcp ? tcp->received(text) : kelTalk::received(text);
}
bool BLNet::isConnected()
{
    return tcp ? tcp->isConnected() : kelTalk::isConnected();
}
bool BLNet::isDisconnected()
{
    return tcp ? tcp->isDisconnected() : kelTalk::isDisconnected();
}
bool BLNet::getLocalAddress(char* text)
{
    return tcp ? tcp->getLocalAddress(text) : kelTalk::getLocalAddress(text);
}
bool BLNet::getRemoteAddress(char* text)
{
    return tcp ? tcp->getRemoteAddress(text) : kelTalk::getRemoteAddress(text);
}

uint16_t BLNet::port() const
{
    return tcp ? tcp->port() : 0;
}

long BLNet::dropped() const
{
    return refused + (tcp ? tcp->dropped() : 0);
}

void BLNet::setStatus(Status s, std::string why)
{
    static const char* const names[] = {"off",    "listening", "asking", "connecting", "waiting",
                                        "linked", "lost",      "failed", "busy",       "refused"};
    if (s != status) note("status", names[static_cast<int>(s)]);
    status = s;
    reason = std::move(why);
    ++serial;
    if (host) host->changed();
}

void BLNet::note(const char* what, const char* text)
{
    if (!plat::hasBackend()) return;
    std::string line = std::string("link ") + what + " " + text;
    plat::backend().note(line);
}

// Back to the tempo shown, at the pace of this side's own sound card.
void BLNet::unfollow()
{
    if (following && host && host->playing() && paced != 0) host->pace(host->tempo());
    following = false;
    paced = 0;
    nudge.reset();
    theirRate = 0;
    lastClockAt = 0;
}

// What was known of the other side goes with it.
void BLNet::forgetPeer()
{
    unfollow();
    welcomed = playPending = clockDue = joining = keepPlaying = switching = false;
    startAt = 0;
    connection = 0;
    peerIdentity.clear();
    mirrorSongKnown = false;
    mirrorSong.clear();
    for (Mirror& m : mirror) m = Mirror{};
    songMissing = false;
    keptSong.clear();
    theirTempo = 0;
    sharedPlaying = false;
}

bool BLNet::close()
{
    forgetPeer();
    setFullUse();
    for (int16_t& u : use) u = kBLUseShared;
    const bool wasOpen = tcp != nullptr;
    // The transport ends at once, whatever its look-up waits for.
    tcp.reset();
    peer.clear();
    refused = 0;
    silent = false;
    setStatus(Status::Off);
    return wasOpen || kelTalk::close();
}

void BLNet::openTransport(const char* address, Status next)
{
    tcp.reset();
    forgetPeer();
    tcp = std::make_unique<kelTalkTcp>();
    tcp->retryMs = retryMs;
    const std::string hello = std::to_string(kBLNetHello) + " " + identity();
    tcp->setHello(hello);
    tcp->setFarewells(std::to_string(kBLNetBusy), std::to_string(kBLNetRefused));
    peer.clear();
    refused = 0;
    silent = false;
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
    sentAwayAgain.clear();
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
        forgetPeer();
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
    // Played here: the other side takes this side's track at once.
    if (newUse == kBLUseMine) mirror[track].known = false;
    ++serial;
}

// ---- Who is let in ------------------------------------------------------------------

const char* BLNet::identity()
{
    if (std::strlen(blPrefs.netIdentity) != kBLNetIdentityLength) {
        std::random_device random;
        static const char digits[] = "0123456789abcdef";
        for (size_t i = 0; i < kBLNetIdentityLength; i += 8) {
            uint32_t r = random();
            for (size_t j = 0; j < 8; ++j, r >>= 4) blPrefs.netIdentity[i + j] = digits[r & 15];
        }
        blPrefs.netIdentity[kBLNetIdentityLength] = '\0';
    }
    return blPrefs.netIdentity;
}

bool BLNet::canTrust() const
{
    return mode == kBLNetListen && status == Status::Linked && !peerIdentity.empty();
}

bool BLNet::trusted() const
{
    if (peerIdentity.empty()) return false;
    for (int16_t i = 0; i < blPrefs.netTrustedCount; ++i)
        if (peerIdentity == blPrefs.netTrusted[i]) return true;
    return false;
}

void BLNet::setTrusted(bool on)
{
    if (!canTrust() || on == trusted()) return;
    int16_t& count = blPrefs.netTrustedCount;
    if (on) {
        // The oldest makes way when the list is full.
        if (count >= kBLNetTrustedMax) {
            std::memmove(blPrefs.netTrusted[0], blPrefs.netTrusted[1],
                         sizeof blPrefs.netTrusted[0] * (kBLNetTrustedMax - 1));
            --count;
        }
        std::snprintf(blPrefs.netTrusted[count], sizeof blPrefs.netTrusted[count], "%s",
                      peerIdentity.c_str());
        ++count;
    } else {
        for (int16_t i = 0; i < count; ++i)
            if (peerIdentity == blPrefs.netTrusted[i]) {
                std::memmove(blPrefs.netTrusted[i], blPrefs.netTrusted[i + 1],
                             sizeof blPrefs.netTrusted[0] * static_cast<size_t>(count - i - 1));
                --count;
                break;
            }
    }
    ++serial;
}

// ---- The idle pass --------------------------------------------------------------------

// For whoever watches the program run: the song and each track's group,
// loop and sound, whenever they change.
void BLNet::noteGroove()
{
    if (!plat::hasBackend()) return;
    std::string text = host->songName() + " |";
    const BLGroove& g = host->groove();
    for (int16_t t = 0; t < kBLEngineTracks; ++t) {
        char track[32];
        std::snprintf(track, sizeof track, " %d/%d%s", g.tracks[t].group, g.tracks[t].slot,
                      host->audible(t) ? "" : "m");
        text += track;
    }
    if (text == notedGroove) return;
    notedGroove = text;
    note("groove", text.c_str());
}

void BLNet::idleEvents()
{
    if (!host) return;
    const double now = plat::monotonicMs();
    keepTime(now);
    if (tcp) noteGroove();
    takeAndTell(now);
}

void BLNet::takeAndTell(double now)
{
    if (tcp && !host->busy()) {
        kelTalkTcp::Item item;
        // What came, in order; a song load or a question ends the pass.
        songTaken = false;
        for (int n = 0; n < 64 && tcp && !songTaken && tcp->take(item); ++n) {
            handle(item);
            if (item.kind == kelTalkTcp::Item::Kind::Asking) break;
        }
    }
    if (switching && now >= switchAt && switchAt > 0) finishSwitch();
    if (playPending && now - playPendingSince >= kClockWaitMs) {
        // No clock came: start now rather than never.
        playPending = joining = keepPlaying = false;
        startAt = now;
    }
    if (startAt > 0 && now >= startAt) {
        startAt = 0;
        // Played on until now: taken up again on the other side's cycle.
        if (host->playing()) host->stop();
        host->play();
        following = true;
        nudge.reset();
        keepTime(now);
    }
    if (!tcp || !welcomed || !tcp->isConnected()) return;
    tellChanges();
    const bool playing = host->playing();
    if (!playing || !line.known() || holdingOwn()) return;
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

// Whatever changed here, by whatever way, and is not what the other side
// has: a song (with its tracks and play, in that order), a track, play or stop.
void BLNet::tellChanges()
{
    // Until the first song is told, one way or the other, nothing is.
    if (!mirrorSongKnown || holdingOwn() || startAt > 0 || playPending) return;
    const std::string song = host->songName();
    if (song != mirrorSong) {
        if (song.empty()) {
            mirrorSong.clear();
        } else {
            sendState(host->playing());
            return;
        }
    }
    if (!song.empty()) {
        const BLGroove& g = host->groove();
        for (int16_t t = 0; t < kBLEngineTracks; ++t) {
            if (!trackSends(t)) continue;
            const BLTrack& k = g.tracks[t];
            Mirror& m = mirror[t];
            if (!m.known || m.group != k.group || m.slot != k.slot) sendSample(t, k.group, k.slot);
            if (!m.known || m.volume != static_cast<int16_t>(k.volume))
                sendVolume(t, static_cast<int16_t>(k.volume));
            if (!m.known || m.pan != k.pan) sendPan(t, k.pan);
            const bool on = host->audible(t);
            if (!m.known || m.on != on) sendOn(t, on);
            m.known = true;
        }
        tellEffects();
    }
    // Play and stop by the player reach the other side as well.
    const bool playing = host->playing();
    if (playing != sharedPlaying) {
        if (playing)
            sendPlay();
        else
            sendStop();
    }
}

// Everything of the song that plays here, in the order a song load has it.
void BLNet::sendState(bool play)
{
    if (!host) return;
    const std::string name = host->songName();
    if (name.empty()) return;
    sendSong(name.c_str());
    sendStop();
    sendGroove(host->groove());
    for (int16_t t = 0; t < kBLEngineTracks; ++t)
        if (trackSends(t)) sendOn(t, host->audible(t));
    if (play) sendPlay();
}
