#include "panels/network/BLNetLink.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "audio/BLEngine.h"
#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "core/kelFiles.h"
#include "core/kelQt.h"
#include "core/kelTextCodec.h"
#include "library/BLGroove.h"
#include "net/BLNetPanel.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/startup/PWmain.h"
#include "platform/Platform.h"
#include "ui/PWScreen.h"

namespace {

BLGrooveNetHost gHost;

}  // namespace

PWPanelClass* BL_NewNetPanel()
{
    BLNet* link = blGroovePanel ? &blGroovePanel->net() : nullptr;
    BLLinkSync* ableton = blGroovePanel ? &blGroovePanel->linkSync() : nullptr;
    if (link) link->setHost(&gHost);
    if (ableton) ableton->setHost(&gHost);
    return new BLNetPanel(link, ableton);
}

std::string BLGrooveNetHost::songName()
{
    if (!blGroovePanel || !blGroovePanel->model.songFolder.path[0]) return {};
    char name[kKelNameMax + 1];
    if (!KEL_File_GetParentName(blGroovePanel->model.songFolder.path, name, sizeof name)) return {};
    return name;
}

namespace {

bool songFolder(const char* name, char (&folder)[kKelPathMax + 1])
{
    if (!name) return false;
    const int n = std::snprintf(folder, sizeof folder, ":Library:Song:%s:", name);
    return n > 0 && n < static_cast<int>(sizeof folder) && KEL_FileExists(folder);
}

}  // namespace

bool BLGrooveNetHost::hasSong(const char* name)
{
    char folder[kKelPathMax + 1];
    return songFolder(name, folder);
}

bool BLGrooveNetHost::loadSong(const char* name)
{
    char folder[kKelPathMax + 1];
    if (!blGroovePanel || !songFolder(name, folder)) return false;
    // The song comes from the other side: the browser makes way, as it does
    // for a song loaded here; unsaved work here is asked about first (the
    // music goes on meanwhile).
    auto loaded = std::make_shared<bool>(false);
    const std::string songFolder = folder;
    blGroovePanel->guardWork(BLGroovePanel::WorkReason::linkSong, name, [loaded, songFolder] {
        if (!blGroovePanel) return;
        kelQt_PlaySoundStop();
        if (!blGroovePanel->loadSong(songFolder.c_str())) return;
        PWScreen.hide(kPWLoadPanel);
        blGroovePanel->songTaken();
        *loaded = true;
    });
    return *loaded;
}

const BLGroove& BLGrooveNetHost::groove()
{
    static const BLGroove none;
    return blGroovePanel ? blGroovePanel->model.current : none;
}

bool BLGrooveNetHost::playing() { return blPlayer && blPlayer->playing; }

void BLGrooveNetHost::play()
{
    if (blPlayer && !blPlayer->playing) blPlayer->play();
}

void BLGrooveNetHost::stop()
{
    if (blPlayer && blPlayer->playing) blPlayer->stop();
}

float BLGrooveNetHost::tempo() { return blPlayer ? blPlayer->bpm : 0.0f; }

// As the tempo buttons would: a tempo outside the song's window changes nothing.
bool BLGrooveNetHost::setTempo(float bpm)
{
    if (!blPlayer) return false;
    blPlayer->adjustBpm(bpm);
    // Shows where the slider stands now.
    blPlayer->hitBpmUp(0.0f);
    return std::fabs(blPlayer->bpm - bpm) < 0.0005f;
}

int BLGrooveNetHost::beat() { return gep && playing() ? gep->getMixerBeat() : -1; }

double BLGrooveNetHost::position() { return gep && playing() ? gep->getMixerPosition() : -1; }

bool BLGrooveNetHost::placeStartAt(double atMs) { return gep && !playing() && gep->placeStartAt(atMs); }

void BLGrooveNetHost::pace(float bpm)
{
    if (gep && playing()) gep->setMixerBpm(bpm);
}

bool BLGrooveNetHost::setSample(int16_t t, int16_t group, int16_t slot)
{
    BLGroovePanel* p = blGroovePanel;
    if (!p || t < 0 || t >= kBLEngineTracks) return false;
    const BLSongLibrary& lib = p->model.library();
    if (group == -1) {
        // An empty track, as the empty button leaves it.
        BLTrack& k = p->model.current.tracks[t];
        k.group = -1;
        k.slot = -1;
        p->model.groove_activate(t);
        p->showGroove();
        return true;
    }
    if (group < 0 || group >= lib.groupCount || slot < -1 || slot >= lib.groups[group].count) return false;
    if (p->model.current.tracks[t].group != group) p->chooseGroup(t, group);
    if (slot >= 0 && p->model.current.tracks[t].slot != slot) p->chooseLoop(t, slot);
    return true;
}

void BLGrooveNetHost::setVolume(int16_t t, int16_t volume)
{
    BLGroovePanel* p = blGroovePanel;
    if (!p || t < 0 || t >= kBLEngineTracks) return;
    p->model.current.tracks[t].volume = static_cast<uint16_t>(volume);
    if (gep && p->model.audible[t]) gep->setTrackVolume(t, volume);
    if (t == p->model.selectedTrack) p->showSelectedTrack();
}

void BLGrooveNetHost::setPan(int16_t t, int16_t pan)
{
    BLGroovePanel* p = blGroovePanel;
    if (!p || t < 0 || t >= kBLEngineTracks) return;
    p->model.current.tracks[t].pan = pan;
    if (gep && p->model.audible[t]) gep->setTrackPan(t, pan);
    if (t == p->model.selectedTrack) p->showSelectedTrack();
}

bool BLGrooveNetHost::audible(int16_t t)
{
    return blGroovePanel && t >= 0 && t < kBLEngineTracks && blGroovePanel->model.audible[t];
}

void BLGrooveNetHost::setAudible(int16_t t, bool on)
{
    BLGroovePanel* p = blGroovePanel;
    if (!p || t < 0 || t >= kBLEngineTracks || p->model.audible[t] == on) return;
    (p->soloMode ? p->tracks[t].soloOn : p->tracks[t].on) = on;
    p->enableTrack(t, on);
}

bool BLGrooveNetHost::ask(const char* address)
{
    if (!plat::hasBackend()) return false;
    char text[256];
    BLNet_messageWith(kBLMsgNetAsk, address, text, sizeof text);
    const int answer =
        KEL_ShowBox(KEL_Latin1ToUtf8(blIntl.title(plat::kBoxYesNo).c_str()), KEL_Latin1ToUtf8(text), plat::kBoxYesNo);
    return answer == plat::kBoxResultYes;
}

// A drag on the groove panel runs its idle work with liveChange set.
bool BLGrooveNetHost::busy() { return blGroovePanel && blGroovePanel->liveChange; }

bool BLGrooveNetHost::holding()
{
    return PWScreen.isVisible(kPWLoadPanel) || (blGroovePanel && blGroovePanel->model.auditioning());
}

void BLGrooveNetHost::changed()
{
    if (blNetPanel && blNetPanel->visible) blNetPanel->refresh();
}
