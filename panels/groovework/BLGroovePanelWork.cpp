// The user's work: its keeper's wiring (the actions that become steps, undo
// and redo), the one question before anything replaces it, and where the
// file dialogs of documents start.
#include <memory>
#include <string>

#include "audio/BLEngine.h"
#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "core/kelFiles.h"
#include "core/kelTextCodec.h"
#include "library/BLDocument.h"
#include "library/BLprefs.h"
#include "library/BLSongText.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/groove/BLGroovePanelParts.h"
#include "panels/browser/BLLoadRules.h"
#include "panels/tuner/BLLoopTunerPanel.h"
#include "panels/startup/PWmain.h"
#include "platform/PlatDialogs.h"
#include "platform/Platform.h"
#include "ui/PWScreen.h"

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
constexpr int16_t kMsgUndoInMix = 315;
constexpr int16_t kMsgUntitled = 316;
// The names of changes, in the order of BLWorkChange's kinds from `song`;
// then the lights and the keep marks of several tracks.
constexpr int16_t kMsgChangeFirst = 320;
constexpr int16_t kMsgSeveralLights = 338;
constexpr int16_t kMsgSeveralKeeps = 339;
constexpr int16_t kMsgAllMuted = 340;

constexpr int16_t kAnswerSave = 1;
constexpr int16_t kAnswerDiscard = 2;

std::string utf8(int16_t message) { return KEL_Latin1ToUtf8(blIntl.message(message).c_str()); }

std::string changeName(const BLWorkChange& change)
{
    if (change.kind == BLWorkChange::light && change.track < 0) return utf8(kMsgSeveralLights);
    if (change.kind == BLWorkChange::keep && change.track < 0) return utf8(kMsgSeveralKeeps);
    const int16_t kind = std::max<int16_t>(change.kind, BLWorkChange::song);
    const auto message = static_cast<int16_t>(kMsgChangeFirst + kind - BLWorkChange::song);
    return blIntl.messageWithNames(message, {std::to_string(change.track + 1)});
}

}  // namespace

void BLGroovePanel::createKeeper()
{
    workSource = std::make_unique<WorkSource>(*this);
    workKeeper = std::make_unique<BLWorkKeeper>(*workSource);
}

bool BLGroovePanel::workUnsaved() const
{
    // Without a song there is nothing a document could hold.
    return workKeeper && workKeeper->unsaved() && !model.userSongFolder().empty();
}

std::string BLGroovePanel::workSongTitle() const
{
    const std::string title = BL_ShownTitle(model.userSongTitle().c_str());
    return title.empty() ? utf8(kMsgUntitled) : title;
}

void BLGroovePanel::actionBegins() { keeper().beginAction(); }

void BLGroovePanel::actionEnds()
{
    keeper().endAction();
    sayIfAllMuted();
}

void BLGroovePanel::sayIfAllMuted()
{
    bool loops = false, heard = false;
    for (int16_t t = 0; t < kBLEngineTracks; ++t) {
        if (model.trackSampleId(t) == kBLNoSample) continue;
        loops = true;
        heard = heard || model.audible[t];
    }
    const bool allMuted = loops && !heard && player().playing;
    // Once as it happens, not at every action after.
    if (allMuted && !allMutedSaid) sayInHint(utf8(kMsgAllMuted));
    allMutedSaid = allMuted;
}

// ---- Undo, redo, new ------------------------------------------------------------

void BLGroovePanel::workCommand(int16_t item)
{
    // The virtual mix plays grooves of its own over the work held aside
    // (and covers the hint line).
    if (model.workHeld()) {
        BL_Notify(kMsgUndoInMix, 0);
        return;
    }
    if (item == kelItemNew) guardWork(WorkReason::newDocument, "", [this] { newDocument(); });
    if (item == kelItemUndo) undoWork();
    if (item == kelItemRedo) redoWork();
}

void BLGroovePanel::undoWork()
{
    if (!keeper().canUndo()) return sayInHint(utf8(kMsgNothingToUndo));
    const BLWorkChange change = keeper().undo();
    if (change.kind == BLWorkChange::none) return sayInHint(utf8(kMsgCannotUndo));
    sayInHint(blIntl.messageWithNames(kMsgUndone, {changeName(change)}));
}

void BLGroovePanel::redoWork()
{
    if (!keeper().canRedo()) return sayInHint(utf8(kMsgNothingToRedo));
    const BLWorkChange change = keeper().redo();
    if (change.kind == BLWorkChange::none) return sayInHint(utf8(kMsgCannotUndo));
    sayInHint(blIntl.messageWithNames(kMsgRedone, {changeName(change)}));
}

void BLGroovePanel::newDocument()
{
    player().stop();
    model.stored = BLSequence{};
    model.current.reset();
    for (Track& t : tracks) t = Track{};
    soloMode = groupMode = allMode = soloApplied = false;
    std::fill(std::begin(model.audible), std::end(model.audible), true);
    grooveStrip->select(0);
    grooveStrip->setScroll(0);
    sequenceStrip->select(0);
    sequenceStrip->setScroll(0);
    model.groove_show();
    model.groove_activate();
    showModeButtons();
    refreshStrips();
    model.lastDocument.set("Untitled");
    keeper().commit();
    keeper().markClean();
}

void BLGroovePanel::workReplaced(bool document)
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

bool BLGroovePanel::groovesAsSaved(bool withCurrent)
{
    const std::vector<uint8_t>* saved = keeper().savedWork();
    if (!saved) return false;
    auto then = std::make_unique<BLIceimage>();
    auto now = std::make_unique<BLIceimage>();
    if (BLDocument_Decode(*saved, then.get(), nullptr).status != BLDocumentRead::read) return false;
    model.workImage(*now);
    return now->sequence.sameAs(then->sequence) && (!withCurrent || now->groove == then->groove);
}

void BLGroovePanel::guardWork(WorkReason why, const std::string& coming, std::function<void()> action)
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
    const int answer = KEL_UserChooseUtf8(text, blIntl.message(kMsgSave).c_str(), blIntl.message(kMsgDiscard).c_str(),
                                          blIntl.message(kMsgCancel).c_str());
    if (answer == kAnswerDiscard) {
        action();
    } else if (answer == kAnswerSave) {
        if (documentNamed()) {
            if (saveWork(model.lastDocument.path)) action();
        } else if (!BLPath::dialogPending()) {
            afterSave = std::move(action);
            onItem_Save();
        }
    }
}

bool BLGroovePanel::saveWork(const char* path)
{
    if (!model.saveDocument(path)) return false;
    keeper().absorb();
    keeper().markSaved(model.lastDocument.path);
    rememberDocumentFolder();
    return true;
}

bool BLGroovePanel::askBeforeQuit()
{
    if (!workUnsaved()) return false;
    guardWork(WorkReason::quit, "", [] { kelGlo.running = 0; });
    return true;
}

// ---- What the user made beyond the model ---------------------------------------------

void BLGroovePanel::captureExtras(BLWorkExtras& x)
{
    for (int16_t t = 0; t < kBLEngineTracks; ++t)
        x.tracks[t] = {tracks[t].on, tracks[t].soloOn, tracks[t].groupSelected, tracks[t].keep};
    x.soloMode = soloMode;
    x.groupMode = groupMode;
    x.allMode = allMode;
    x.keyLock = blPrefs.keyLock != 0;
    x.launchGrid = static_cast<int16_t>(LaunchGridFromCode(blPrefs.launchGrid));
    if (auto* tuner = dynamic_cast<BLLoopTunerPanel*>(PWfloatPanelPtr[kPWLoopTunerPanel])) tuner->captureWork(x);
}

void BLGroovePanel::applyExtras(const BLWorkExtras& x)
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
    for (int16_t t = 0; t < kBLEngineTracks; ++t) model.audible[t] = soloMode ? tracks[t].soloOn : tracks[t].on;
    recountKept();
    if ((blPrefs.keyLock != 0) != x.keyLock && (!gep || gep->setKeyLock(x.keyLock))) blPrefs.keyLock = x.keyLock ? 1 : 0;
    showKeyLock();
    // A document from before the grid plays at the grid chosen here.
    if (x.launchGrid >= 0) setLaunchGrid(LaunchGridFromCode(x.launchGrid));
    showModeButtons();
    showTrackButtons();
    if (groupMode || allMode) relativeModeChanged(true);
    if (auto* tuner = dynamic_cast<BLLoopTunerPanel*>(PWfloatPanelPtr[kPWLoopTunerPanel])) tuner->applyWork(x);
}

// ---- Dialogs -------------------------------------------------------------------------

void BLGroovePanel::dialogStart()
{
    // The folder of the last document, this session's or one before (kept
    // in the preferences); before the first one ever, the user's documents
    // folder (never the program's own folder).
    if (documentNamed()) {
        docPath.set(&model.lastDocument);
    } else if (kelPath kept(blPrefs.documentFolder); kept.path[0] && kept.isFolder()) {
        kept.add("Untitled.bld");
        docPath.set(&kept);
    } else {
        char kel[kKelPathMax + 1];
        const std::string untitled = plat::documentsFolder() + "/Untitled.bld";
        if (KEL_SystemPathToKelPath(untitled.c_str(), kel, sizeof kel))
            docPath.set(kel);
        else
            docPath.set(&model.lastDocument);
    }
    docPath.userDialogTypes(0, 0, 0, 0, "*.bld");
}

void BLGroovePanel::rememberDocumentFolder()
{
    kelPath folder(model.lastDocument);
    folder.stripName();
    if (folder.path[0]) KEL_CopyCut(blPrefs.documentFolder, sizeof blPrefs.documentFolder, folder.path);
}

bool BLGroovePanel::documentNamed() const
{
    char name[kKelNameMax + 1] = "";
    kelPath document(model.lastDocument);
    document.getName(name);
    kelPath folder(model.lastDocument);
    folder.stripName();
    return folder.path[0] != '\0' && std::string(name) != "Untitled";
}
