#include "control/BLGrooveNetHost.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "audio/BLEngine.h"
#include "control/BLGrooveController.h"
#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "core/kelFiles.h"
#include "core/kelQt.h"
#include "core/kelTextCodec.h"
#include "library/BLGroove.h"
#include "net/BLNetPanel.h"
#include "platform/Platform.h"

namespace {

// The tracks changed here reach the other side; what came from it is not told back.
class LinkMirror : public BLGrooveListener {
public:
    explicit LinkMirror(BLNet& l) : link(l) {}
    void grooveChanged(const BLGrooveChange& change, BLOrigin from) override
    {
        if (from == BLOrigin::link) return;
        switch (change.kind) {
            case BLGrooveChange::Kind::loop: link.sendSample(change.track, change.a, change.b); break;
            case BLGrooveChange::Kind::volume: link.sendVolume(change.track, change.a); break;
            case BLGrooveChange::Kind::pan: link.sendPan(change.track, change.a); break;
            default: break;
        }
    }

private:
    BLNet& link;
};

bool songFolder(const char* name, char (&folder)[kKelPathMax + 1])
{
    if (!name) return false;
    const int n = std::snprintf(folder, sizeof folder, ":Library:Song:%s:", name);
    return n > 0 && n < static_cast<int>(sizeof folder) && KEL_FileExists(folder);
}

bool isTrack(int16_t t)
{
    return t >= 0 && t < kBLEngineTracks;
}

}  // namespace

std::unique_ptr<BLGrooveListener> BLGrooveNetHost::mirrorTo(BLNet& link)
{
    return std::make_unique<LinkMirror>(link);
}

std::string BLGrooveNetHost::songName()
{
    if (!c.model.songFolder.path[0]) return {};
    char name[kKelNameMax + 1];
    if (!KEL_File_GetParentName(c.model.songFolder.path, name, sizeof name)) return {};
    return name;
}

bool BLGrooveNetHost::hasSong(const char* name)
{
    char folder[kKelPathMax + 1];
    return songFolder(name, folder);
}

bool BLGrooveNetHost::loadSong(const char* name)
{
    char folder[kKelPathMax + 1];
    if (!songFolder(name, folder)) return false;
    // The song comes from the other side: the browser makes way, as it does
    // for a song loaded here; unsaved work here is asked about first (the
    // music goes on meanwhile).
    auto loaded = std::make_shared<bool>(false);
    const std::string songFolder = folder;
    BLGrooveController& controller = c;
    const BLOrigin from = origin;
    c.guardWork(BLGrooveController::WorkReason::linkSong, name, [&controller, loaded, songFolder, from] {
        kelQt_PlaySoundStop();
        if (!controller.loadSong(songFolder.c_str(), from)) return;
        controller.display().workShown();
        controller.songTaken();
        *loaded = true;
    });
    return *loaded;
}

const BLGroove& BLGrooveNetHost::groove()
{
    return c.model.current;
}

bool BLGrooveNetHost::playing()
{
    return c.player().playing;
}

void BLGrooveNetHost::play()
{
    c.play(origin);
}

void BLGrooveNetHost::stop()
{
    c.stop(origin);
}

float BLGrooveNetHost::tempo()
{
    return c.player().bpm;
}

// As the tempo buttons would, but a tempo the song is not played at as it
// stands changes nothing: never an end of the window in its place.
bool BLGrooveNetHost::setTempo(float bpm)
{
    const BLPlayer& player = c.player();
    if (player.songBpm <= 0 || !BL_TempoPlayed(player.songBpm, bpm)) return false;
    c.setTempo(bpm, origin);
    return std::fabs(c.player().bpm - bpm) < 0.0005f;
}

int BLGrooveNetHost::beat()
{
    return gep && playing() ? gep->getMixerBeat() : -1;
}

double BLGrooveNetHost::position()
{
    return gep && playing() ? gep->getMixerPosition() : -1;
}

bool BLGrooveNetHost::placeStartAt(double atMs)
{
    return gep && !playing() && gep->placeStartAt(atMs);
}

void BLGrooveNetHost::pace(float bpm)
{
    if (gep && playing()) gep->paceMixerBpm(bpm);
}

bool BLGrooveNetHost::setSample(int16_t t, int16_t group, int16_t slot)
{
    if (!isTrack(t)) return false;
    const BLSongLibrary& lib = c.model.library();
    if (group == -1) {
        // An empty track, as the empty button leaves it.
        BLTrack& k = c.model.current.tracks[t];
        k.group = -1;
        k.slot = -1;
        c.model.groove_activate(t);
        c.display().trackShown(t);
        return true;
    }
    if (group < 0 || group >= lib.groupCount || slot < -1 || slot >= lib.groups[group].count) return false;
    if (c.model.current.tracks[t].group != group) c.chooseGroup(t, group, origin);
    if (slot >= 0 && c.model.current.tracks[t].slot != slot) c.chooseLoop(t, slot, origin);
    return true;
}

void BLGrooveNetHost::setVolume(int16_t t, int16_t volume)
{
    c.setTrackVolume(t, volume, origin);
}

void BLGrooveNetHost::setPan(int16_t t, int16_t pan)
{
    c.setTrackPan(t, pan, origin);
}

bool BLGrooveNetHost::audible(int16_t t)
{
    return isTrack(t) && c.model.audible[t];
}

void BLGrooveNetHost::setAudible(int16_t t, bool on)
{
    c.setAudible(t, on, origin);
}

void BLGrooveNetHost::setEffect(int16_t rack, int16_t slot, const std::string& effect, bool bypass)
{
    c.setEffect(rack, slot, effect, origin);
    c.setEffectBypass(rack, slot, bypass, origin);
}

void BLGrooveNetHost::setEffectParam(int16_t rack, int16_t slot, const std::string& param, float value)
{
    c.setEffectParam(rack, slot, param, value, origin);
}

bool BLGrooveNetHost::ask(const char* address)
{
    if (!plat::hasBackend()) return false;
    char text[256];
    BLNet_messageWith(kBLMsgNetAsk, address, text, sizeof text);
    const int answer = KEL_ShowBox(KEL_Latin1ToUtf8(blIntl.title(plat::kBoxYesNo).c_str()),
                                   KEL_Latin1ToUtf8(text), plat::kBoxYesNo);
    return answer == plat::kBoxResultYes;
}

// A gesture on the groove panel: the link waits.
bool BLGrooveNetHost::busy()
{
    return c.display().gesture();
}

bool BLGrooveNetHost::holding()
{
    return c.display().browsing() || c.model.auditioning();
}

void BLGrooveNetHost::changed()
{
    if (blNetPanel && blNetPanel->visible) blNetPanel->refresh();
}
