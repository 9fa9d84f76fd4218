#include "library/BLGrooveModel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "audio/LaunchGrid.h"
#include "audio/fx/FxCatalog.h"
#include "core/BLInternational.h"
#include "core/BLPath.h"
#include "core/BLWriteReason.h"
#include "library/BLDocument.h"
#include "library/BLSongText.h"
#include "library/BLprefs.h"
#include "platform/PlatFiles.h"

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

// What an audition keeps aside.
struct BLGrooveModel::Kept {
    std::string folder;
    std::string title;
    BLSequence stored;
    BLGroove current;
    int16_t selectedTrack = 0;
    float bpm = 0.0f;
    bool modified = false;
    bool audible[kBLGrooveTracks];
};

// What a virtual mix holds aside.
struct BLGrooveModel::Held {
    BLSequence stored;
    BLGroove current;
};

BLGrooveModel::~BLGrooveModel() = default;

void BLGrooveModel::setLinks(const BLGrooveLinks& l)
{
    links = l;
}

BLEngineCalls& BLGrooveModel::engine()
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
    return openSongAs(folderPath, false);
}

bool BLGrooveModel::openSongAs(const char* folderPath, bool quiet)
{
    std::string folder = folderPath ? folderPath : "";
    if (!folder.empty() && folder.back() != ':') folder += ':';
    openProblemShown = false;
    engine().stop();
    engine().setMixerFrequency(44100);
    // Loaded aside, so a song that cannot be opened leaves the open one
    // whole; copied in, so the library stays where the panel found it.
    auto fresh = std::make_unique<BLSongLibrary>();
    if (!fresh->load(folder.c_str())) return false;
    if (!fresh->tempoUsable()) {
        // Played at no tempo, nothing would sound: the song is not opened.
        if (!quiet) {
            char name[kKelNameMax + 1] = "";
            KEL_File_GetParentName(folder.c_str(), name, sizeof name);
            char description[kKelNameMax + 1] = "";
            KEL_FileNameFromPath(fresh->descriptionPath, description, sizeof description);
            questions().notifyNames(kBLMsgSongTempo, 0, {name, description});
        }
        openProblemShown = !quiet;
        return false;
    }
    // Grooves belong to the song they were made with: another song starts
    // without them, so they can never be saved under its name.
    if (kelPath opening(folder.c_str()); !opening.isEqual(&songFolder)) {
        held.reset();
        stored = BLSequence{};
        grooveStrip().select(0);
        grooveStrip().setScroll(0);
        sequenceStrip().select(0);
        sequenceStrip().setScroll(0);
    }
    current.reset();
    std::fill(std::begin(sampleIds), std::end(sampleIds), kBLNoSample);
    *songLibrary = *fresh;
    songFolder.set(folder.c_str());
    songLibrary->fillSamplesList(folder.c_str(), engine());
    player().gotSongBpm(songLibrary->bpm);
    view().songOpened();
    grooveStrip().refresh();
    sequenceStrip().refresh();
    if (!quiet && !songLibrary->unreadableLoops.empty())
        questions().notifyNames(kBLMsgLoopsUnreadable, 0, {songName(), songLibrary->unreadableLoops});
    return true;
}

void BLGrooveModel::closeSong()
{
    player().stop();
    engine().stop();
    engine().samplesListReset();
    *songLibrary = *std::make_unique<BLSongLibrary>();
    songFolder.reset();
    current.reset();
    std::fill(std::begin(sampleIds), std::end(sampleIds), kBLNoSample);
    stored = BLSequence{};
    held.reset();
    modified = false;
    grooveStrip().select(0);
    grooveStrip().setScroll(0);
    sequenceStrip().select(0);
    sequenceStrip().setScroll(0);
    player().gotSongBpm(0);
    view().songOpened();
    groove_show();
    grooveStrip().refresh();
    sequenceStrip().refresh();
}

std::string BLGrooveModel::songName() const
{
    char name[kKelNameMax + 1];
    return KEL_File_GetParentName(songFolder.path, name, sizeof name) ? name : "";
}

bool BLGrooveModel::auditionBegin(const char* folder)
{
    player().stop();
    if (!auditionKept) {
        auto k = std::make_unique<Kept>();
        k->folder = songFolder.path;
        k->title = userSongTitle();
        k->stored = stored;
        k->current = current;
        k->selectedTrack = selectedTrack;
        k->bpm = player().bpm();
        k->modified = modified;
        std::copy(std::begin(audible), std::end(audible), k->audible);
        auditionKept = std::move(k);
    }
    if (openSong(folder)) return true;
    auditionEnd();
    return false;
}

void BLGrooveModel::auditionEnd()
{
    if (!auditionKept) return;
    const std::unique_ptr<Kept> k = std::move(auditionKept);
    player().stop();
    if (k->folder.empty() || !openSongAs(k->folder.c_str(), true)) {
        closeSong();
        return;
    }
    stored = k->stored;
    current = k->current;
    std::copy(std::begin(k->audible), std::end(k->audible), audible);
    groove_show();
    selectTrack(k->selectedTrack);
    player().setBpm(k->bpm);
    player().refreshCommon();
    grooveStrip().refresh();
    sequenceStrip().refresh();
    modified = k->modified;
}

void BLGrooveModel::auditionKeep()
{
    auditionKept.reset();
}

std::string BLGrooveModel::userSongFolder() const
{
    return auditionKept ? auditionKept->folder : std::string(songFolder.path);
}

std::string BLGrooveModel::userSongTitle() const
{
    if (auditionKept) return auditionKept->title;
    if (!songFolder.path[0]) return {};
    return songLibrary->title[0] ? std::string(songLibrary->title) : songName();
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
    engine().fx_setAll(current.fx);
    engine().changesEnd();
}

void BLGrooveModel::groove_launch(int16_t t)
{
    // On the cycle a loop comes in where its own next turn begins, as it
    // always did; in sequence play the sequence synchronises the engine.
    const bool onGrid = LaunchGridFromCode(blPrefs.launchGrid) != LaunchGrid::cycle;
    const bool sync = onGrid && player().isPlaying() && !syncMode;
    if (!sync) return t < 0 ? groove_activate() : groove_activate(t);
    engine().sync_atGrooveSet(1);
    if (t < 0) {
        groove_activate();
    } else {
        engine().changesBegin();
        groove_activate(t);
        engine().changesEnd();
    }
    engine().sync_atGrooveSet(0);
}

void BLGrooveModel::groove_show()
{
    for (int16_t t = 0; t < kBLGrooveTracks; ++t) sampleIds[t] = trackSampleId(t);
    view().showGroove();
}

void BLGrooveModel::groove_activateAndShow()
{
    groove_show();
    groove_launch();
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
    // The sequence moves on at the start of a cycle, whatever the grid the
    // user's own changes land on.
    const int grid = engine().launchGrid();
    engine().setLaunchGrid(LaunchGridBeatsOf(LaunchGrid::cycle));
    sync_SetMode(true);
    groove_restore();
    sync_SetMode(false);
    engine().setLaunchGrid(grid);
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
            if (!openProblemShown) questions().notifySong(kBLMsgSongMissing, ice.songName);
            return;
        }
    }
    view().modesOff();
    stored = ice.sequence;
    current = ice.groove;
    groove_show();
    selectTrack(ice.selectedTrack);
    // A tempo the song cannot be played at is damage: the song's own tempo
    // stays, and is what a save writes back.
    const float songTempo = songLibrary->bpm;
    if (std::isfinite(ice.bpm) && ice.bpm >= songTempo - kBLTempoWindow &&
        ice.bpm <= songTempo + kBLTempoWindow)
        player().setBpm(ice.bpm);
    else
        questions().notifyNames(kBLMsgDocumentTempo, 0, {documentName()});
    player().refreshCommon();
    grooveStrip().refresh();
    sequenceStrip().refresh();
}

std::string BLGrooveModel::documentName() const
{
    char name[kKelNameMax + 1];
    KEL_FileNameFromPath(lastDocument.path, name, sizeof name);
    return name;
}

bool BLGrooveModel::saveDocument(const char* path, std::string* why)
{
    // What is saved is the user's work, never a song being auditioned.
    auditionEnd();
    kelPath target(path ? path : "");
    target.setExtension("bld");
    lastDocument.set(&target);
    workImage(ice);
    BLWorkExtras extras;
    view().captureExtras(extras);
    plat::clearWriteError();
    if (BLDocument_Write(target.path, ice, &synth(), &extras)) return true;
    // Why, as the writer found it: the disk full, read-only, the folder gone ...
    const int error = plat::lastWriteError();
    char name[kKelNameMax + 1];
    KEL_FileNameFromPath(target.path, name, sizeof name);
    if (why) {
        *why = BL_WriteReasonText(error);
        return false;
    }
    questions().notifyNames(kBLMsgDocumentNotSaved, 0,
                            {name, BL_WriteReasonText(error), BL_ReasonMessageText(kBLMsgKeptOldFile)});
    return false;
}

bool BLGrooveModel::loadDocument(const char* path)
{
    // Read aside: a document that cannot be used changes nothing.
    auto image = std::make_unique<BLIceimage>();
    BLWorkExtras extras;
    BLSynthDefaultDocument synthState;
    const BLDocumentRead read = BLDocument_Read(path, image.get(), &synthState, &extras);
    kelPath document(path ? path : "");
    char name[kKelNameMax + 1];
    KEL_FileNameFromPath(document.path, name, sizeof name);
    switch (read.status) {
        case BLDocumentRead::cannotOpen:
        case BLDocumentRead::noVersion:
            questions().notifyNames(kBLMsgDocumentUnreadable, 0, {name});
            return false;
        case BLDocumentRead::otherVersion:
            questions().notifyNames(kBLMsgDocumentVersion, 0, {name, std::to_string(read.version)});
            return false;
        case BLDocumentRead::noImage: questions().notifyNames(kBLMsgDocumentCutOff, 0, {name}); return false;
        case BLDocumentRead::read: break;
    }
    // What a document lost is said; what it holds is used.
    if (read.imageShort) questions().notifyNames(kBLMsgDocumentIncomplete, 0, {name});
    const kelPath before = lastDocument;
    lastDocument.set(&document);
    ice = *image;
    auditionKept.reset();  // the document takes the place of all of it
    held.reset();
    view().documentRead();
    iced_restore(false);
    kelPath opened((std::string(":Library:Song:") + ice.songName + ":").c_str());
    if (!ice.valid || !opened.isEqual(&songFolder)) {
        lastDocument.set(&before);
        return false;
    }
    if (read.synthRead) {
        auto ignored = std::make_unique<BLIceimage>();
        BLDocument_Read(path, ignored.get(), &synth());
    }
    if (read.extrasRead) {
        view().applyExtras(extras);
        groove_activate();
    }
    if (read.synthDamaged) questions().notifyNames(kBLMsgDocumentSynth, 0, {name});
    if (read.extrasDamaged) questions().notifyNames(kBLMsgDocumentExtras, 0, {name});
    sayEffects(*image, read.effectsDamaged, name);
    if (read.takesDamaged) questions().notifyNames(kBLMsgTakesDamaged, 0, {name});
    return true;
}

namespace {

// One effect not as it was stored, in the user's words.
std::string effectNote(const FxNote& n)
{
    struct Kind {
        FxNote::Kind kind;
        int16_t message;
        const char* plain;
    };
    static const Kind kinds[] = {
        {FxNote::unknownEffect, kBLMsgEffectUnknown, "no such effect"},
        {FxNote::missingPlugin, kBLMsgEffectMissing, "not installed"},
        {FxNote::unusablePlugin, kBLMsgEffectUnusable, "a plugin this program cannot run"},
        {FxNote::outOfRange, kBLMsgEffectOutOfRange, "out of range"},
        {FxNote::unknownParam, kBLMsgEffectUnknownParam, "no such parameter"},
        {FxNote::badState, kBLMsgEffectBadState, "its state could not be read"},
        {FxNote::failedPlugin, kBLMsgEffectFailed, "would not start"},
    };
    for (const Kind& k : kinds) {
        if (k.kind != n.kind) continue;
        const bool param = n.kind == FxNote::outOfRange || n.kind == FxNote::unknownParam;
        std::string text = blIntl.messageWithNames(k.message, {n.effect, param ? n.detail : ""});
        if (text.empty()) text = n.effect + " (" + (param ? n.detail + ": " : "") + k.plain + ")";
        return text;
    }
    return n.effect;
}

}  // namespace

void BLGrooveModel::sayEffects(const BLIceimage& read, bool damaged, const std::string& document)
{
    if (damaged) questions().notifyNames(kBLMsgEffectsDamaged, 0, {document});
    std::vector<std::string> said;
    auto look = [&](const BLGroove& g) {
        for (const FxRackSettings& rack : g.fx.racks)
            for (const FxSlot& slot : rack.slots)
                for (const FxNote& n : Fx_Check(slot)) {
                    const std::string text = effectNote(n);
                    if (std::find(said.begin(), said.end(), text) == said.end()) said.push_back(text);
                }
    };
    look(read.groove);
    for (int i = 0; i < read.sequence.count && i < kBLMaxGrooves; ++i) look(read.sequence.grooves[i]);
    if (said.empty()) return;
    std::string all;
    for (const std::string& s : said) all += (all.empty() ? "" : "; ") + s;
    questions().notifyNames(kBLMsgEffectsNotAsStored, 0, {document, all});
}

void BLGrooveModel::saveResult(BLPath* path)
{
    if (path && path->dialogOk) saveDocument(path->path);
}

void BLGrooveModel::loadResult(BLPath* path)
{
    if (path && path->dialogOk) loadDocument(path->path);
}

// ---- The work as a whole ------------------------------------------------------

void BLGrooveModel::holdWork()
{
    if (!held) held = std::make_unique<Held>(Held{stored, current});
}

void BLGrooveModel::releaseWork(bool restore)
{
    if (!held) return;
    const std::unique_ptr<Held> h = std::move(held);
    if (!restore) return;
    stored = h->stored;
    current = h->current;
    groove_show();
}

void BLGrooveModel::workImage(BLIceimage& image)
{
    const std::string folder = userSongFolder();
    char name[kKelNameMax + 1];
    if (!KEL_File_GetParentName(folder.c_str(), name, sizeof name)) name[0] = '\0';
    KEL_CopyCut(image.songName, sizeof image.songName, name);
    const Kept* k = auditionKept.get();
    image.sequence = held ? held->stored : k ? k->stored : stored;
    image.groove = held ? held->current : k ? k->current : current;
    image.selectedTrack = k ? k->selectedTrack : selectedTrack;
    image.bpm = k ? k->bpm : player().bpm();
    image.takes = ice.takes;
    image.valid = 1;
}

std::vector<uint8_t> BLGrooveModel::encodeWork(const BLRecoveryNote* note)
{
    auto image = std::make_unique<BLIceimage>();
    workImage(*image);
    BLWorkExtras extras;
    view().captureExtras(extras);
    return BLDocument_Encode(*image, &synth(), &extras, note);
}

bool BLGrooveModel::applyWork(const std::vector<uint8_t>& bytes)
{
    // Read aside first: bytes that are no document change nothing.
    auto image = std::make_unique<BLIceimage>();
    BLWorkExtras extras;
    BLSynthDefaultDocument synthState;
    const BLDocumentRead read = BLDocument_Decode(bytes, image.get(), &synthState, &extras);
    if (read.status != BLDocumentRead::read || !image->valid) return false;
    auditionEnd();
    held.reset();
    const std::string folder = std::string(":Library:Song:") + image->songName + ":";
    if (kelPath wanted(folder.c_str()); !image->songName[0] || !wanted.isEqual(&songFolder)) {
        if (!image->songName[0]) {
            closeSong();
        } else if (!bltext::isPlainName(image->songName) || !wanted.isFolder() ||
                   !openSongAs(folder.c_str(), true)) {
            return false;
        }
    }
    stored = image->sequence;
    current = image->groove;
    ice.takes = image->takes;
    if (grooveStrip().selection() >= stored.count)
        grooveStrip().select(static_cast<int16_t>(std::max(stored.count - 1, 0)));
    if (sequenceStrip().selection() >= stored.length)
        sequenceStrip().select(static_cast<int16_t>(std::max(stored.length - 1, 0)));
    const float songTempo = songLibrary->bpm;
    if (std::isfinite(image->bpm) && image->bpm >= songTempo - kBLTempoWindow &&
        image->bpm <= songTempo + kBLTempoWindow)
        player().setBpm(image->bpm);
    if (read.synthRead) {
        BLIceimage ignored;
        BLDocument_Decode(bytes, &ignored, &synth());
    }
    view().applyExtras(read.extrasRead ? extras : BLWorkExtras{});
    groove_show();
    selectTrack(image->selectedTrack);
    groove_activate();
    player().refreshCommon();
    grooveStrip().refresh();
    sequenceStrip().refresh();
    return true;
}
