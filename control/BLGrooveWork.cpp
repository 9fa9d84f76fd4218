// The user's work: its keeper's wiring (the actions that become steps, undo
// and redo), the one question before anything replaces it, documents and
// songs, and what the work parts add to a document.
#include <memory>
#include <string>

#include "audio/BLEngine.h"
#include "control/BLGrooveAct.h"
#include "control/BLGrooveController.h"
#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "core/kelFiles.h"
#include "core/kelQt.h"
#include "core/kelTextCodec.h"
#include "library/BLDocument.h"
#include "library/BLSongText.h"
#include "library/BLprefs.h"

namespace {

constexpr int16_t kMsgSave = 74;
constexpr int16_t kMsgDiscard = 75;
constexpr int16_t kMsgCancel = 76;
// "Your work on "%s" is not saved. Save it before ...", one line a reason
// in the order of WorkReason (the link's names the song coming first).
constexpr int16_t kMsgUnsavedFirst = 300;
constexpr int16_t kMsgUndone = 310;
constexpr int16_t kMsgRedone = 311;
constexpr int16_t kMsgNothingToUndo = 312;
constexpr int16_t kMsgNothingToRedo = 313;
constexpr int16_t kMsgCannotUndo = 314;
constexpr int16_t kMsgUntitled = 316;
// The names of changes, in the order of BLWorkChange's kinds from `song`;
// then the lights and the keep marks of several tracks.
constexpr int16_t kMsgChangeFirst = 320;
constexpr int16_t kMsgSeveralLights = 338;
constexpr int16_t kMsgSeveralKeeps = 339;
constexpr int16_t kMsgAllMuted = 340;
// "effects of track %s", "effects of the main mix", "the effects"
constexpr int16_t kMsgEffectsOfTrack = 641;
constexpr int16_t kMsgEffectsOfMain = 642;
constexpr int16_t kMsgEffects = 643;

constexpr int16_t kAnswerSave = 1;
constexpr int16_t kAnswerDiscard = 2;

std::string utf8(int16_t message)
{
    return KEL_Latin1ToUtf8(blIntl.message(message).c_str());
}

std::string changeName(const BLWorkChange& change)
{
    if (change.kind == BLWorkChange::light && change.track < 0) return utf8(kMsgSeveralLights);
    if (change.kind == BLWorkChange::keep && change.track < 0) return utf8(kMsgSeveralKeeps);
    if (change.kind == BLWorkChange::effects) {
        if (change.track < 0) return utf8(kMsgEffects);
        if (change.track >= kBLEngineTracks) return utf8(kMsgEffectsOfMain);
        return blIntl.messageWithNames(kMsgEffectsOfTrack, {std::to_string(change.track + 1)});
    }
    const int16_t kind = std::max<int16_t>(change.kind, BLWorkChange::song);
    const auto message = static_cast<int16_t>(kMsgChangeFirst + kind - BLWorkChange::song);
    return blIntl.messageWithNames(message, {std::to_string(change.track + 1)});
}

}  // namespace

bool BLGrooveController::workUnsaved() const
{
    // Without a song there is nothing a document could hold.
    return workKeeper && workKeeper->unsaved() && !model.userSongFolder().empty();
}

std::string BLGrooveController::workSongTitle() const
{
    const std::string title = BL_ShownTitle(model.userSongTitle().c_str());
    return title.empty() ? utf8(kMsgUntitled) : title;
}

void BLGrooveController::actionBegins()
{
    keeper().beginAction();
}

void BLGrooveController::actionEnds()
{
    keeper().endAction();
    sayIfAllMuted();
}

void BLGrooveController::sayIfAllMuted()
{
    bool loops = false, heard = false;
    for (int16_t t = 0; t < kBLEngineTracks; ++t) {
        if (model.trackSampleId(t) == kBLNoSample) continue;
        loops = true;
        heard = heard || model.audible[t];
    }
    const bool allMuted = loops && !heard && player().playing;
    // Once as it happens, not at every action after.
    if (allMuted && !allMutedSaid) display().say(utf8(kMsgAllMuted));
    allMutedSaid = allMuted;
}

// ---- Undo, redo, new ------------------------------------------------------------

void BLGrooveController::undoWork()
{
    Act act(*this, BLOrigin::undo);
    if (!keeper().canUndo()) return display().say(utf8(kMsgNothingToUndo));
    const BLWorkChange change = keeper().undo();
    if (change.kind == BLWorkChange::none) return display().say(utf8(kMsgCannotUndo));
    display().say(blIntl.messageWithNames(kMsgUndone, {changeName(change)}));
}

void BLGrooveController::redoWork()
{
    Act act(*this, BLOrigin::undo);
    if (!keeper().canRedo()) return display().say(utf8(kMsgNothingToRedo));
    const BLWorkChange change = keeper().redo();
    if (change.kind == BLWorkChange::none) return display().say(utf8(kMsgCannotUndo));
    display().say(blIntl.messageWithNames(kMsgRedone, {changeName(change)}));
}

void BLGrooveController::newDocument()
{
    player().stop();
    model.stored = BLSequence{};
    model.current.reset();
    for (Track& t : tracks) t = Track{};
    soloMode = groupMode = allMode = soloApplied = false;
    std::fill(std::begin(model.audible), std::end(model.audible), true);
    grooves.select(0);
    grooves.setScroll(0);
    sequence.select(0);
    sequence.setScroll(0);
    model.groove_show();
    model.groove_activate();
    display().modesShown();
    display().stripsShown();
    model.lastDocument.set("Untitled");
    keeper().commit();
    keeper().markClean();
}

void BLGrooveController::workReplaced(bool document)
{
    // A song of its own is new work: a save must not land on the last document.
    if (!document) model.lastDocument.set("Untitled");
    keeper().commit();
    if (document) {
        keeper().markSaved(model.lastDocument.path);
        rememberDocumentFolder();
    } else {
        keeper().markClean();
    }
}

// ---- The question ------------------------------------------------------------------

bool BLGrooveController::groovesAsSaved(bool withCurrent)
{
    const std::vector<uint8_t>* saved = keeper().savedWork();
    if (!saved) return false;
    auto then = std::make_unique<BLIceimage>();
    auto now = std::make_unique<BLIceimage>();
    if (BLDocument_Decode(*saved, then.get(), nullptr).status != BLDocumentRead::read) return false;
    model.workImage(*now);
    return now->sequence.sameAs(then->sequence) && (!withCurrent || now->groove == then->groove);
}

void BLGrooveController::guardWork(WorkReason why, const std::string& coming, std::function<void()> action)
{
    // Clearing the grooves, or a mix taking their place, loses nothing
    // when they are as saved, whatever else changed.
    const bool onlyGrooves = why == WorkReason::clear || why == WorkReason::mix;
    if (!workUnsaved() || (onlyGrooves && groovesAsSaved(why == WorkReason::mix))) {
        action();
        return;
    }
    const auto message = static_cast<int16_t>(kMsgUnsavedFirst + static_cast<int16_t>(why));
    const std::string work = workSongTitle();
    const std::string text = why == WorkReason::linkSong ? blIntl.messageWithNames(message, {coming, work})
                                                         : blIntl.messageWithNames(message, {work, coming});
    const int answer =
        KEL_UserChooseUtf8(text, blIntl.message(kMsgSave).c_str(), blIntl.message(kMsgDiscard).c_str(),
                           blIntl.message(kMsgCancel).c_str());
    if (answer == kAnswerDiscard) {
        action();
    } else if (answer == kAnswerSave) {
        if (documentNamed()) {
            if (saveWork(model.lastDocument.path)) action();
        } else {
            display().askSavePath(std::move(action));
        }
    }
}

bool BLGrooveController::saveWork(const char* path, std::string* why)
{
    if (!model.saveDocument(path, why)) return false;
    keeper().absorb();
    keeper().markSaved(model.lastDocument.path);
    rememberDocumentFolder();
    return true;
}

bool BLGrooveController::askBeforeQuit()
{
    if (!workUnsaved()) return false;
    guardWork(WorkReason::quit, "", [] { kelGlo.running = 0; });
    return true;
}

void BLGrooveController::openDocument(const std::string& path)
{
    player().stop();
    // Read aside: a document that cannot be read leaves the work as it was,
    // unsaved changes and all.
    if (!model.loadDocument(path.c_str())) return;
    workReplaced(true);
    // The document is what the user looks at now.
    display().workShown();
    told({BLGrooveChange::Kind::groove});
}

void BLGrooveController::documentRead()
{
    display().workShown();
}

void BLGrooveController::rememberDocumentFolder()
{
    kelPath folder(model.lastDocument);
    folder.stripName();
    if (folder.path[0]) KEL_CopyCut(blPrefs.documentFolder, sizeof blPrefs.documentFolder, folder.path);
}

bool BLGrooveController::documentNamed() const
{
    char name[kKelNameMax + 1] = "";
    kelPath document(model.lastDocument);
    document.getName(name);
    kelPath folder(model.lastDocument);
    folder.stripName();
    return folder.path[0] != '\0' && std::string(name) != "Untitled";
}

// ---- Songs ------------------------------------------------------------------------------

bool BLGrooveController::loadSong(const char* folder, BLOrigin from)
{
    Act act(*this, from);
    player().stop();
    const bool opened = model.openSong(folder);
    if (opened) told({BLGrooveChange::Kind::song});
    return opened;
}

void BLGrooveController::guardSong(const char* folder, const std::string& title, std::function<void()> load)
{
    // The same song again keeps its stored grooves and sequence.
    if (isUserSong(folder)) {
        load();
        return;
    }
    guardWork(WorkReason::song, title, std::move(load));
}

void BLGrooveController::songTaken()
{
    workReplaced(false);
}

bool BLGrooveController::auditionSong(const char* folder)
{
    if (!model.auditionBegin(folder)) return false;
    randomize(0);
    return true;
}

void BLGrooveController::auditionEnd()
{
    if (!model.auditioning()) return;
    model.auditionEnd();
}

bool BLGrooveController::isUserSong(const char* folder) const
{
    kelPath user(model.userSongFolder().c_str());
    const kelPath other(folder ? folder : "");
    return user.path[0] && user.isEqual(&other);
}

std::string BLGrooveController::userSong() const
{
    char name[kKelNameMax + 1];
    return KEL_File_GetParentName(model.userSongFolder().c_str(), name, sizeof name) ? name : "";
}

void BLGrooveController::closeSong()
{
    model.closeSong();
}

void BLGrooveController::songOpened()
{
    currentRandomSet = -1;
    display().songShown();
    for (BLWorkPart* part : parts) part->songOpened(model.userSongFolder());
}

// ---- What the user made beyond the model ---------------------------------------------

void BLGrooveController::captureExtras(BLWorkExtras& x)
{
    for (int16_t t = 0; t < kBLEngineTracks; ++t)
        x.tracks[t] = {tracks[t].on, tracks[t].soloOn, tracks[t].groupSelected, tracks[t].keep};
    x.soloMode = soloMode;
    x.groupMode = groupMode;
    x.allMode = allMode;
    x.keyLock = blPrefs.keyLock != 0;
    x.launchGrid = static_cast<int16_t>(LaunchGridFromCode(blPrefs.launchGrid));
    for (BLWorkPart* part : parts) part->captureWork(x);
}

void BLGrooveController::applyExtras(const BLWorkExtras& x)
{
    for (int16_t t = 0; t < kBLEngineTracks; ++t) {
        tracks[t].on = x.tracks[t].on;
        tracks[t].soloOn = x.tracks[t].soloOn;
        tracks[t].groupSelected = x.tracks[t].grouped;
        tracks[t].keep = x.tracks[t].keep;
    }
    soloMode = x.soloMode;
    groupMode = x.groupMode;
    allMode = x.allMode && !x.groupMode;
    soloApplied = false;
    for (int16_t t = 0; t < kBLEngineTracks; ++t)
        model.audible[t] = soloMode ? tracks[t].soloOn : tracks[t].on;
    recountKept();
    if ((blPrefs.keyLock != 0) != x.keyLock && engine().setKeyLock(x.keyLock))
        blPrefs.keyLock = x.keyLock ? 1 : 0;
    display().keyLockShown();
    // A document from before the grid plays at the grid chosen here.
    if (x.launchGrid >= 0) {
        blPrefs.launchGrid = static_cast<int16_t>(LaunchGridFromCode(x.launchGrid));
        engine().setLaunchGrid(LaunchGridBeatsOf(LaunchGridFromCode(x.launchGrid)));
        display().launchGridShown();
    }
    display().modesShown();
    if (groupMode || allMode) relativeModeChanged(true);
    for (BLWorkPart* part : parts) part->applyWork(x);
}
