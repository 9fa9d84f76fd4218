// The user's work and its documents: where the file dialogs start, and the
// question about unsaved grooves, sequence or tempo when the program quits.
#include <cmath>
#include <string>

#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "core/kelFiles.h"
#include "panels/BLGroovePanel.h"
#include "platform/PlatDialogs.h"

namespace {
constexpr int16_t kMsgUnsavedWork = 70;
constexpr int16_t kMsgSave = 74;
constexpr int16_t kMsgDiscard = 75;
constexpr int16_t kMsgCancel = 76;
constexpr int16_t kAnswerSave = 1;
constexpr int16_t kAnswerDiscard = 2;
}  // namespace

void BLGroovePanel::dialogStart()
{
    // The folder of the last document; before the first one, the user's
    // documents folder (never the program's own folder).
    if (documentNamed()) {
        docPath.set(&model.lastDocument);
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

bool BLGroovePanel::documentNamed() const
{
    char name[kKelNameMax + 1] = "";
    kelPath document(model.lastDocument);
    document.getName(name);
    kelPath folder(model.lastDocument);
    folder.stripName();
    return folder.path[0] != '\0' && std::string(name) != "Untitled";
}

void BLGroovePanel::rememberSavedWork()
{
    savedWork = model.stored;
    savedBpm = player().bpm;
    savedFromDocument = true;
}

bool BLGroovePanel::workUnsaved() const
{
    const BLSequence& now = model.stored;
    if (now.count != savedWork.count || now.length != savedWork.length) return true;
    for (int16_t i = 0; i < now.count && i < kBLMaxGrooves; ++i)
        if (!(now.grooves[i] == savedWork.grooves[i])) return true;
    for (int16_t i = 0; i < now.length && i < kBLMaxSequence; ++i)
        if (now.entries[i] != savedWork.entries[i]) return true;
    // The tempo: against the document's, or else the song's own.
    const BLPlayer& p = player();
    const float reference = savedFromDocument ? savedBpm : static_cast<float>(p.songBpm);
    return p.songBpm > 0 && std::fabs(p.bpm - reference) > 0.05f;
}

bool BLGroovePanel::askBeforeQuit()
{
    if (!workUnsaved()) return false;
    const kelText text = blIntl.message(kMsgUnsavedWork);
    const kelText save = blIntl.message(kMsgSave), discard = blIntl.message(kMsgDiscard),
                  cancel = blIntl.message(kMsgCancel);
    const int16_t answer = KEL_UserChoose(text.c_str(), save.c_str(), discard.c_str(), cancel.c_str());
    if (answer == kAnswerDiscard) {
        kelGlo.running = 0;
    } else if (answer == kAnswerSave) {
        if (documentNamed()) {
            if (model.saveDocument(model.lastDocument.path)) {
                rememberSavedWork();
                kelGlo.running = 0;
            }
        } else if (!BLPath::dialogPending()) {
            quitAfterSave = true;
            onItem_Save();
        }
    }
    return true;
}
