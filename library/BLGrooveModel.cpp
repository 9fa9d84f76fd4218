#include "library/BLGrooveModel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "core/BLPath.h"
#include "library/BLDocument.h"
#include "library/BLSongText.h"

BLGrooveModel::BLGrooveModel() : songLibrary(std::make_unique<BLSongLibrary>())
{
    std::fill(std::begin(audible), std::end(audible), true);
    std::fill(std::begin(sampleIds), std::end(sampleIds), kBLNoSample);
    lastDocument.set("Untitled");
}

BLGrooveModel::BLGrooveModel(const BLGrooveLinks& l) : BLGrooveModel()
{
    links = l;
}

void BLGrooveModel::setLinks(const BLGrooveLinks& l)
{
    links = l;
}

BLGrooveEngine& BLGrooveModel::engine()
{
    return links.engine ? *links.engine : facade;
}
BLGroovePlayer& BLGrooveModel::player()
{
    return links.player ? *links.player : noPlayer;
}
BLGrooveNet& BLGrooveModel::net()
{
    return links.net ? *links.net : noNet;
}
BLGrooveStrip& BLGrooveModel::grooveStrip()
{
    return links.grooveStrip ? *links.grooveStrip : ownGrooveStrip;
}
BLGrooveStrip& BLGrooveModel::sequenceStrip()
{
    return links.sequenceStrip ? *links.sequenceStrip : ownSequenceStrip;
}
BLGrooveQuestions& BLGrooveModel::questions()
{
    return links.questions ? *links.questions : noQuestions;
}
BLGrooveView& BLGrooveModel::view()
{
    return links.view ? *links.view : noView;
}
BLSynthDocument& BLGrooveModel::synth()
{
    return links.synth ? *links.synth : defaultSynth;
}

bool BLGrooveModel::openSong(const char* folderPath)
{
    std::string folder = folderPath ? folderPath : "";
    if (!folder.empty() && folder.back() != ':') folder += ':';
    engine().stop();
    engine().setMixerFrequency(44100);
    current.reset();
    std::fill(std::begin(sampleIds), std::end(sampleIds), kBLNoSample);
    // Loaded aside, so a song that cannot be opened leaves the open one
    // whole; copied in, so the library stays where the panel found it.
    auto fresh = std::make_unique<BLSongLibrary>();
    if (!fresh->load(folder.c_str())) return false;
    *songLibrary = *fresh;
    songFolder.set(folder.c_str());
    songLibrary->fillSamplesList(folder.c_str(), engine());
    player().gotSongBpm(songLibrary->bpm);
    view().songOpened();
    return true;
}

uint16_t BLGrooveModel::trackSampleId(int16_t track) const
{
    if (track < 0 || track >= kBLGrooveTracks) return kBLNoSample;
    const BLTrack& t = current.tracks[track];
    return songLibrary->sampleId(t.group, t.slot);
}

void BLGrooveModel::chooseLoop(int16_t track, int16_t group, int16_t slot)
{
    if (track < 0 || track >= kBLGrooveTracks) return;
    BLTrack& t = current.tracks[track];
    t.group = group;
    t.slot = slot;
    const BLSongLibrary& lib = *songLibrary;
    if (lib.hasSlot(group, slot)) {
        t.volume = static_cast<uint16_t>(lib.groups[group].volume[slot]);
        t.pan = static_cast<int16_t>(lib.groups[group].pan[slot] - 63);
    }
    sampleIds[track] = trackSampleId(track);
    modified = true;
}

void BLGrooveModel::groove_store()
{
    for (int t = 0; t < kBLGrooveTracks; ++t)
        if (!audible[t]) current.tracks[t].reset();
}

void BLGrooveModel::groove_activate(int16_t t)
{
    if (t < 0 || t >= kBLGrooveTracks) return;
    sampleIds[t] = trackSampleId(t);
    if (t < kBLEngineTracks) {
        const BLTrack& track = current.tracks[t];
        if (audible[t]) {
            engine().setTrackSample(t, sampleIds[t] == kBLNoSample ? -1 : static_cast<short>(sampleIds[t]));
            engine().setTrackVolume(t, static_cast<short>(track.volume));
            engine().setTrackPan(t, track.pan);
        } else {
            engine().setTrackSample(t, -1);
        }
    }
    if (t == selectedTrack) view().showSelectedTrack();
}

void BLGrooveModel::groove_activate()
{
    engine().changesBegin();
    for (int16_t t = 0; t < kBLEngineTracks; ++t) {
        groove_activate(t);
        const BLTrack& track = current.tracks[t];
        net().sendSample(t, track.group, track.slot);
        if (track.slot != -1) {
            net().sendVolume(t, static_cast<int16_t>(track.volume));
            net().sendPan(t, track.pan);
        }
    }
    engine().changesEnd();
}

void BLGrooveModel::groove_show()
{
    for (int16_t t = 0; t < kBLGrooveTracks; ++t) sampleIds[t] = trackSampleId(t);
    view().showGroove();
}

void BLGrooveModel::groove_activateAndShow()
{
    groove_show();
    groove_activate();
    player().play();
}

void BLGrooveModel::groove_restore()
{
    view().restoreTracks();
    std::fill(std::begin(audible), std::end(audible), true);
    groove_activateAndShow();
    modified = false;
}

void BLGrooveModel::grooves_add()
{
    if (!modified || stored.count >= kBLMaxGrooves) return;
    int largest = 0;
    for (int i = 0; i < stored.count; ++i) largest = std::max<int>(largest, stored.grooves[i].id);
    int id = largest + 1;
    if (id > 0xFFFF) {
        // No id above the largest: the smallest one not in use (one is free,
        // as at most 63 are stored).
        for (id = 1; stored.grooveIDtoIndex(static_cast<int16_t>(id)) >= 0; ++id) {
        }
    }
    groove_store();
    current.id = static_cast<uint16_t>(id);
    stored.grooves[stored.count++] = current;
    grooveStrip().select(static_cast<int16_t>(stored.count - 1));
    grooveStrip().refresh();
    modified = false;
}

void BLGrooveModel::grooves_rewrite()
{
    const int16_t selected = grooveStrip().selection();
    if (!modified || selected < 0 || selected >= stored.count) return;
    groove_store();
    // The stored groove keeps its id: the sequence entries naming it stay
    // its own, and no two stored grooves share an id.
    current.id = stored.grooves[selected].id;
    stored.grooves[selected] = current;
    grooveStrip().refresh();
    modified = false;
}

void BLGrooveModel::removeSequenceEntry(int16_t index)
{
    if (index < 0 || index >= stored.length) return;
    std::copy(stored.entries + index + 1, stored.entries + stored.length, stored.entries + index);
    --stored.length;
}

void BLGrooveModel::insertSequenceEntry(int16_t index, uint16_t id)
{
    if (stored.length >= kBLMaxSequence) return;
    index = std::clamp<int16_t>(index, 0, stored.length);
    std::copy_backward(stored.entries + index, stored.entries + stored.length,
                       stored.entries + stored.length + 1);
    stored.entries[index] = id;
    ++stored.length;
}

void BLGrooveModel::grooves_remove()
{
    const int16_t selected = grooveStrip().selection();
    if (selected < 0 || selected >= stored.count) return;
    const uint16_t id = stored.grooves[selected].id;
    int16_t sequenceSelection = sequenceStrip().selection();
    for (int16_t i = 0; i < stored.length;) {
        if (stored.entries[i] != id) {
            ++i;
            continue;
        }
        removeSequenceEntry(i);
        if (i < sequenceSelection) --sequenceSelection;
    }
    std::copy(stored.grooves + selected + 1, stored.grooves + stored.count, stored.grooves + selected);
    --stored.count;
    if (sequenceSelection < 0 || sequenceSelection >= stored.length) sequenceSelection = 0;
    sequenceStrip().select(sequenceSelection);
    if (grooveStrip().selection() >= stored.count)
        grooveStrip().select(static_cast<int16_t>(std::max(stored.count - 1, 0)));
    grooveStrip().refresh();
    sequenceStrip().refresh();
}

void BLGrooveModel::grooves_hit(int16_t item, BLStripGesture gesture, int16_t at)
{
    const int16_t index = static_cast<int16_t>(item + grooveStrip().scroll());
    grooveStrip().select(index);
    grooveStrip().refresh();
    if (index < 0 || index >= stored.count) return;
    switch (gesture) {
        case BLStripGesture::click:
            current = stored.grooves[index];
            groove_restore();
            break;
        case BLStripGesture::dragOff: grooves_remove(); break;
        case BLStripGesture::dropOnSequence: {
            if (stored.length >= kBLMaxSequence) return;
            const int16_t before = sequenceStrip().selection();
            const int16_t place =
                std::clamp<int16_t>(static_cast<int16_t>(at + sequenceStrip().scroll()), 0, stored.length);
            insertSequenceEntry(place, stored.grooves[index].id);
            if (player().isPlaying())
                sequenceStrip().select(static_cast<int16_t>(place <= before ? before + 1 : before));
            else
                sequenceStrip().select(place);
            sequenceStrip().refresh();
            break;
        }
    }
}

void BLGrooveModel::sequencer_hit(int16_t item, BLStripGesture gesture, int16_t at)
{
    const int16_t index = static_cast<int16_t>(item + sequenceStrip().scroll());
    const int16_t before = sequenceStrip().selection();
    sequenceStrip().select(index);
    if (index >= 0 && index < stored.length) {
        int16_t kept = before;  // where the entry selected before the hit is now
        if (gesture == BLStripGesture::dragOff) {
            removeSequenceEntry(index);
            if (index >= stored.length)
                sequenceStrip().select(static_cast<int16_t>(std::max(stored.length - 1, 0)));
            if (stored.length == 0 && player().isPlayingSequence()) player().stop();
            kept = before == index ? int16_t{0} : static_cast<int16_t>(index < before ? before - 1 : before);
        } else if (gesture == BLStripGesture::dropOnSequence) {
            const int16_t target = std::clamp<int16_t>(static_cast<int16_t>(at + sequenceStrip().scroll()), 0,
                                                       static_cast<int16_t>(stored.length - 1));
            const uint16_t id = stored.entries[index];
            removeSequenceEntry(index);
            insertSequenceEntry(target, id);
            sequenceStrip().select(target);
            if (before == index) {
                kept = target;
            } else {
                if (index < kept) --kept;
                if (target <= kept) ++kept;
            }
        }
        if (player().isPlaying()) sequenceStrip().select(kept);
    }
    sequenceStrip().refresh();
}

void BLGrooveModel::sequencer_addAll()
{
    for (int i = 0; i < stored.count && stored.length < kBLMaxSequence; ++i)
        stored.entries[stored.length++] = stored.grooves[i].id;
    sequenceStrip().select(0);
    sequenceStrip().refresh();
}

void BLGrooveModel::sequencer_removeAll(bool shiftHeld)
{
    if (stored.length > 0) {
        stored.length = 0;
        sequenceStrip().setScroll(0);
        sequenceStrip().select(0);
        sequenceStrip().refresh();
        return;
    }
    if (stored.count <= 0) return;
    if (!shiftHeld && questions().notify(kBLMsgRemoveAllGrooves, 1) == 2) return;
    stored.count = 0;
    grooveStrip().setScroll(0);
    grooveStrip().select(0);
    grooveStrip().refresh();
}

void BLGrooveModel::sync_SetMode(bool on)
{
    syncMode = on;
    engine().sync_atGrooveSet(on ? 1 : 0);
    player().setSync(on);
}

void BLGrooveModel::seqActivateNext()
{
    if (stored.length <= 0) return;
    int16_t next = static_cast<int16_t>(sequenceStrip().selection() + 1);
    if (next < 0 || next >= stored.length) next = 0;
    sequenceStrip().select(next);
    sequenceStrip().refresh();
    const int16_t index = stored.grooveIDtoIndex(static_cast<int16_t>(stored.entries[next]));
    if (index < 0) return;  // an entry of no stored groove: the groove playing stays
    grooveStrip().select(index);
    grooveStrip().refresh();
    current = stored.grooves[index];
    sync_SetMode(true);
    groove_restore();
    sync_SetMode(false);
}

void BLGrooveModel::selectTrack(int16_t track)
{
    selectedTrack = track;
    view().trackSelected();
}

void BLGrooveModel::iced_store()
{
    char name[kKelNameMax + 1];
    if (!KEL_File_GetParentName(songFolder.path, name, sizeof name)) name[0] = '\0';
    KEL_CopyCut(ice.songName, sizeof ice.songName, name);
    ice.sequence = stored;
    ice.groove = current;
    ice.selectedTrack = selectedTrack;
    ice.bpm = player().bpm();
    ice.valid = 1;
}

void BLGrooveModel::iced_restore(bool keepSong)
{
    player().stop();
    if (!ice.valid) return;
    if (!keepSong) {
        const std::string folder = std::string(":Library:Song:") + ice.songName + ":";
        kelPath where(folder.c_str());
        // A song that is not there, or that cannot be opened, leaves
        // everything as it was: the grooves belong to that song alone.
        if (!bltext::isPlainName(ice.songName) || !where.isFolder() || !openSong(folder.c_str())) {
            questions().notifySong(kBLMsgSongMissing, ice.songName);
            return;
        }
    }
    view().modesOff();
    stored = ice.sequence;
    current = ice.groove;
    groove_show();
    selectTrack(ice.selectedTrack);
    if (std::isfinite(ice.bpm)) player().setBpm(ice.bpm);
    player().refreshCommon();
    grooveStrip().refresh();
    sequenceStrip().refresh();
}

bool BLGrooveModel::saveDocument(const char* path)
{
    kelPath target(path ? path : "");
    target.setExtension("bld");
    lastDocument.set(&target);
    iced_store();
    if (BLDocument_Write(target.path, ice, &synth())) return true;
    questions().notify(kBLMsgCannotSaveDocument, 0);
    return false;
}

void BLGrooveModel::loadDocument(const char* path)
{
    lastDocument.set(path ? path : "");
    const BLDocumentRead read = BLDocument_Read(path, &ice, &synth());
    if (read.status == BLDocumentRead::cannotOpen) {
        questions().notify(kBLMsgCannotOpenDocument, 0);
        return;
    }
    if (read.version == kBLDocumentVersion) view().documentRead();
    iced_restore(false);
}

void BLGrooveModel::saveResult(BLPath* path)
{
    if (path && path->dialogOk) saveDocument(path->path);
}

void BLGrooveModel::loadResult(BLPath* path)
{
    if (path && path->dialogOk) loadDocument(path->path);
}
