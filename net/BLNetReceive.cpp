// The receiving side of the link: who is let in, and what the other side
// says, applied here.
#include <cmath>
#include <cstdio>
#include <string>

#include "library/BLGroove.h"
#include "library/BLprefs.h"
#include "net/BLNet.h"
#include "platform/Platform.h"

namespace {

int16_t mirrorUse(int16_t use)
{
    return use == kBLUseMine ? kBLUseTheirs : use == kBLUseTheirs ? kBLUseMine : kBLUseShared;
}

bool trustedIdentity(const std::string& who)
{
    for (int16_t i = 0; i < blPrefs.netTrustedCount; ++i)
        if (who == blPrefs.netTrusted[i]) return true;
    return false;
}

}  // namespace

void BLNet::handle(const kelTalkTcp::Item& item)
{
    using K = kelTalkTcp::Item::Kind;
    switch (item.kind) {
        case K::Asking: admit(item); return;
        case K::Linked: linked(item.text, item.connection); return;
        case K::Lost:
        case K::Silent: {
            // The listening side heeds only the connection it asked about
            // or let in; a connection that never said hello is nothing to it.
            if (mode == kBLNetListen && (item.connection == 0 || item.connection != connection)) return;
            const Status before = status;
            forgetPeer();
            silent = item.kind == K::Silent;
            // The music goes on; the connecting side tries again (told
            // busy or refused, it says so meanwhile), the listening side
            // waits for a player.
            if (mode == kBLNetListen)
                setStatus(Status::Listening, item.text);
            else if (before == Status::Busy || before == Status::Refused)
                setStatus(before, reason);
            else
                setStatus(Status::Lost, item.text);
            return;
        }
        case K::Message: apply(item.message, item.at); return;
    }
}

// A connection said who it is: let in when the user trusts that player,
// sent away when the user sent it away since listening started (and the
// panel says it tries again), else asked about. A No holds for that player
// until listening starts again; a Yes is for that connection alone.
void BLNet::admit(const kelTalkTcp::Item& item)
{
    const uint32_t id = item.connection;
    const std::string who = item.hello ? item.message.name : "";
    if (who.empty() || !tcp->asking(id)) {
        tcp->answer(id, false);
        return;
    }
    bool letIn = trustedIdentity(who);
    if (!letIn && sentAway.count(who)) {
        sentAwayAgain = item.text;
        ++serial;
        if (host) host->changed();
    } else if (!letIn) {
        peer = item.text;
        setStatus(Status::Asking);
        letIn = host && host->ask(item.text.c_str());
        if (!letIn) sentAway.insert(who);
        if (!tcp) return;  // the link was turned off meanwhile
    }
    if (letIn) {
        connection = id;
        peerIdentity = who;
    }
    tcp->answer(id, letIn);
    // Let in, the link says so next; gone meanwhile, its loss does.
    if (!letIn && status == Status::Asking) setStatus(Status::Listening);
}

void BLNet::linked(const std::string& address, uint32_t id)
{
    if (mode == kBLNetListen && id != connection) return;
    const std::string who = peerIdentity;
    forgetPeer();
    connection = id;
    peerIdentity = who;
    peer = address;
    silent = false;
    setFullUse();
    for (int16_t& u : use) u = kBLUseShared;
    if (mode != kBLNetListen) {
        // Connected; heard once the listening side lets us in.
        setStatus(Status::Waiting);
        return;
    }
    welcomed = true;
    setStatus(Status::Linked);
    std::snprintf(message, sizeof message, "%d %s", kBLNetHello, identity());
    sendMessage();
    const bool hasSong = host && !host->songName().empty() && !holdingOwn();
    std::snprintf(message, sizeof message, "%d %d", kBLNetWelcome, hasSong ? 1 : 0);
    sendMessage();
    if (hasSong) {
        sendState(host->playing());
    } else {
        // The other side's song comes.
        mirrorSongKnown = true;
        mirrorSong.clear();
    }
}

// What the other side has of the track is what this side has now.
void BLNet::keepMirror(int16_t t)
{
    const BLTrack& k = host->groove().tracks[t];
    Mirror& m = mirror[static_cast<size_t>(t)];
    m.known = true;
    m.group = k.group;
    m.slot = k.slot;
    m.volume = static_cast<int16_t>(k.volume);
    m.pan = k.pan;
    m.on = host->audible(t);
}

void BLNet::apply(const BLNetMessage& m, double at)
{
    char text[kBLNetTextMax + 16];
    if (BLNet_formatMessage(m, text, sizeof text)) note("heard", text);
    switch (m.code) {
        case kBLNetHello: peerIdentity = m.name; return;
        case kBLNetBusy:
            if (mode == kBLNetConnect && !welcomed) setStatus(Status::Busy);
            return;
        case kBLNetRefused:
            if (mode == kBLNetConnect && !welcomed) setStatus(Status::Refused);
            return;
        case kBLNetWelcome: {
            if (mode == kBLNetListen || welcomed) return;
            welcomed = true;
            silent = false;
            setStatus(Status::Linked);
            // The listening side gives its song when it has one; else ours goes.
            joining = m.value[0] == 1;
            keepPlaying = false;
            if (!joining) {
                if (host && !host->songName().empty() && !holdingOwn()) {
                    sendState(host->playing());
                } else {
                    mirrorSongKnown = true;
                    mirrorSong.clear();
                }
            }
            return;
        }
        default: break;
    }
    if (!host || (tcp && !welcomed)) return;
    switch (m.code) {
        case kBLNetSample:
        case kBLNetVolume:
        case kBLNetPan:
        case kBLNetOn: applyTrack(m); break;
        case kBLNetUse: {
            const int16_t t = m.track;
            use[t] = mirrorUse(m.value[0]);
            sendFlags[t] = use[t] != kBLUseTheirs;
            // Played here now: the other side takes this side's track.
            if (use[t] == kBLUseMine) mirror[static_cast<size_t>(t)].known = false;
            ++serial;
            host->changed();
            break;
        }
        case kBLNetPlay:
            // The play of a song that is not played here means nothing here.
            if (songMissing) break;
            if (switching) {
                switchPlay = true;
                break;
            }
            sharedPlaying = true;
            playPending = true;
            playPendingSince = at;
            break;
        case kBLNetStop:
            if (songMissing) break;
            if (switching) {
                switchPlay = false;
                break;
            }
            sharedPlaying = false;
            // Linked again to the song that plays here: the music goes on.
            if (keepPlaying) break;
            playPending = false;
            startAt = 0;
            unfollow();
            host->stop();
            break;
        case kBLNetClock: applyClock(m, at); break;
        case kBLNetSong: applySong(m.name); break;
        case kBLNetEffect:
        case kBLNetParam: applyEffect(m); break;
        default: break;
    }
}

void BLNet::applyTrack(const BLNetMessage& m)
{
    const int16_t t = m.track;
    // A track played here does not follow the other side; the tracks of a
    // song not played here mean nothing here.
    if (use[t] == kBLUseMine || songMissing) return;
    if (switching) {
        Waiting& w = waiting[static_cast<size_t>(t)];
        switch (m.code) {
            case kBLNetSample:
                w.sample = true;
                w.group = m.value[0];
                w.slot = m.value[1];
                break;
            case kBLNetVolume:
                w.volume = true;
                w.level = m.value[0];
                break;
            case kBLNetPan:
                w.pan = true;
                w.balance = m.value[0];
                break;
            default:
                w.on = true;
                w.heard = m.value[0] == 1;
                break;
        }
        return;
    }
    switch (m.code) {
        // A loop this song lacks leaves the track as it is.
        case kBLNetSample: host->setSample(t, m.value[0], m.value[1]); break;
        case kBLNetVolume: host->setVolume(t, m.value[0]); break;
        case kBLNetPan: host->setPan(t, m.value[0]); break;
        default: host->setAudible(t, m.value[0] == 1); break;
    }
    keepMirror(t);
}

// A slot of the other side's: taken as this side's own change, and known
// to be what the other side has, so it is not told back.
void BLNet::applyEffect(const BLNetMessage& m)
{
    const int16_t r = m.track, k = m.value[0];
    if (songMissing || switching || k < 0 || k >= kFxSlots) return;
    if (r < kBLEngineTracks && use[r] == kBLUseMine) return;
    if (m.code == kBLNetEffect)
        host->setEffect(r, k, m.name, m.value[1] == 1);
    else
        host->setEffectParam(r, k, m.name, m.real);
    const FxSlot& here = host->groove().fx.racks[r].slots[k];
    FxSlot& there = fxMirror.racks[r].slots[k];
    there.effect = here.effect;
    there.bypass = here.bypass;
    there.params = here.params;
}

void BLNet::applyClock(const BLNetMessage& m, double at)
{
    if (songMissing) return;
    const float tempo = static_cast<float>(m.tempoMilli) / 1000.0f;
    // Only a change of the other side's tempo is taken: a clock sent before
    // it heard this side's change does not undo it.
    const bool changed = std::fabs(tempo - theirTempo) >= 0.0005f;
    theirTempo = tempo;
    clockRate(m, at);
    if (switching) {
        // The other side plays: its song is taken at the end of its cycle.
        switchAt = switchOnTheirs ? refinedCycleEnd(m, at, switchAt) : theirCycleEnd(m, at);
        switchOnTheirs = switchPlay = true;
        switchTempo = tempo;
        return;
    }
    // A tempo outside the song's window is refused here as a tempo set here would be.
    if (changed && std::fabs(tempo - host->tempo()) >= 0.0005f) host->setTempo(tempo);
    sharedTempo = host->tempo();
    // Only the same tempo can be followed beat for beat.
    if (std::fabs(tempo - host->tempo()) < 0.0005f)
        follow(m, at);
    else
        unfollow();
    if (playPending && keepPlaying && host->playing() && inStep(m, at)) {
        playPending = false;
    } else if (playPending) {
        // The music here plays on until the other side's cycle ends.
        scheduleStart(m, at);
    } else if (startAt > 0) {
        startAt = refinedCycleEnd(m, at, startAt);
    }
    joining = keepPlaying = false;
}

void BLNet::applySong(const char* name)
{
    const std::string song = name;
    if (joining) {
        joining = false;
        if (song == host->songName()) {
            keepPlaying = host->playing();
            takeSong(song);
            return;
        }
        // Joining while the music plays: it goes on to the end of a cycle.
        if (host->playing() && host->hasSong(name)) {
            startSwitch(song);
            return;
        }
    }
    if (switching) {
        startSwitch(song);
        return;
    }
    takeSong(song);
}

// The other side's song, its tracks following. One that is open here
// already is not opened again; one that cannot be opened leaves the music
// here as it is, and the other side is not told of it meanwhile.
void BLNet::takeSong(const std::string& name)
{
    mirrorSong = name;
    mirrorSongKnown = true;
    startAt = 0;
    playPending = false;
    const bool wasMissing = songMissing;
    if (name == host->songName()) {
        songMissing = false;
    } else {
        unfollow();
        songTaken = true;
        songHere = host->hasSong(name.c_str());
        songMissing = !songHere || !host->loadSong(name.c_str());
        if (songMissing) keptSong = host->songName();
    }
    // The other side's tracks follow: until they come, it has what the song
    // opened with here.
    for (int16_t t = 0; t < kBLEngineTracks; ++t) keepMirror(t);
    fxMirror = host->groove().fx;
    fxKnown = true;
    if (songMissing || wasMissing) {
        if (songMissing)
            reason = name;
        else if (status == Status::Linked)
            reason.clear();
        ++serial;
        host->changed();
    }
}

void BLNet::startSwitch(const std::string& name)
{
    switching = true;
    switchSong = name;
    waiting = {};
    switchPlay = switchOnTheirs = false;
    switchTempo = 0;
    mirrorSong = name;
    mirrorSongKnown = true;
    for (Mirror& m : mirror) m.known = false;
    // Unless the other side's clock places it, at the end of this side's cycle.
    switchAt = cycleEnd(plat::monotonicMs());
}

void BLNet::finishSwitch()
{
    switching = false;
    switchAt = 0;
    const bool wasPlaying = host->playing();
    takeSong(switchSong);
    if (!songMissing) {
        for (int16_t t = 0; t < kBLEngineTracks; ++t) {
            const Waiting& w = waiting[static_cast<size_t>(t)];
            if (w.sample) host->setSample(t, w.group, w.slot);
            if (w.volume) host->setVolume(t, w.level);
            if (w.pan) host->setPan(t, w.balance);
            if (w.on) host->setAudible(t, w.heard);
            keepMirror(t);
        }
        if (switchTempo > 0) host->setTempo(switchTempo);
        sharedTempo = host->tempo();
        if (wasPlaying && !host->playing()) host->play();
        // In step with the other side when it plays; else this side's play
        // is told, and the other side starts on this side's cycle.
        sharedPlaying = switchPlay;
        following = switchPlay;
        nudge.reset();
    }
    keepTime(plat::monotonicMs());
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
