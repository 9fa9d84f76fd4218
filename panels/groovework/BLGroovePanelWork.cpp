// The groove panel's side of the user's work: the menu's New, Undo and Redo,
// and where the file dialogs of documents start. The work itself is the
// controller's (control/BLGrooveWork.cpp).
#include <string>

#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "core/kelFiles.h"
#include "library/BLprefs.h"
#include "panels/groove/BLGroovePanel.h"
#include "platform/PlatDialogs.h"

namespace {
constexpr int16_t kMsgUndoInMix = 315;
}  // namespace

void BLGroovePanel::workCommand(int16_t item)
{
    // The virtual mix plays grooves of its own over the work held aside
    // (and covers the hint line).
    if (groove.model.workHeld()) {
        BL_Notify(kMsgUndoInMix, 0);
        return;
    }
    if (item == kelItemNew)
        groove.guardWork(BLGrooveController::WorkReason::newDocument, "", [this] { groove.newDocument(); });
    if (item == kelItemUndo) groove.undoWork();
    if (item == kelItemRedo) groove.redoWork();
}

void BLGroovePanel::dialogStart()
{
    // The folder of the last document, this session's or one before (kept
    // in the preferences); before the first one ever, the user's documents
    // folder (never the program's own folder).
    if (groove.documentNamed()) {
        docPath.set(&groove.model.lastDocument);
    } else if (kelPath kept(blPrefs.documentFolder); kept.path[0] && kept.isFolder()) {
        kept.add("Untitled.bld");
        docPath.set(&kept);
    } else {
        char kel[kKelPathMax + 1];
        const std::string untitled = plat::documentsFolder() + "/Untitled.bld";
        if (KEL_SystemPathToKelPath(untitled.c_str(), kel, sizeof kel))
            docPath.set(kel);
        else
            docPath.set(&groove.model.lastDocument);
    }
    docPath.userDialogTypes(0, 0, 0, 0, "*.bld");
}
