// What the groove panel does for the virtual mix: generating an arrangement
// into its sequence, the sequence position, and taking the sequence back.
#include "library/BLVMix.h"
#include "core/kelCore.h"
#include "library/BLprefs.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/groove/BLGroovePanelParts.h"

void BLGroovePanel::setupVMix(int16_t style)
{
    const BLSongLibrary& lib = model.library();
    if (style < 0 || style >= lib.styleCount || style >= kBLMaxStyles) return;
    const BLVMixGroups leftOut = blPrefs.vmix.groupsOf(lib);
    // A style whose every row is left out still gives a mix: one of the groups.
    if (!BLVMix_build(lib, lib.styles[style], model.stored, &leftOut)) setupVMixFromGroups();
}

void BLGroovePanel::setupVMixFromGroups()
{
    const BLSongLibrary& lib = model.library();
    const BLVMixGroups leftOut = blPrefs.vmix.groupsOf(lib);
    BLStyle style;
    BLVMix_groupStyle(lib, style, &leftOut);
    BLVMix_build(lib, style, model.stored);
}

int16_t BLGroovePanel::sequencePosition() const
{
    return sequenceStrip->selection();
}

void BLGroovePanel::setSequencePosition(int16_t entry)
{
    sequenceStrip->select(entry);
}

void BLGroovePanel::vmixHandOver(bool restore)
{
    model.releaseWork(restore);
    BLSequence& s = model.stored;
    if (!restore) {
        if (s.count > s.length) s.count = s.length;
        sequenceStrip->setScroll(0);
        sequenceStrip->select(0);
        grooveStrip->setScroll(0);
        grooveStrip->select(0);
    } else {
        grooveStrip->select(-1);
        sequenceStrip->select(-1);
    }
    refreshStrips();
}

void BLGroovePanel::clearAll()
{
    const BLSequence& s = model.stored;
    if (s.length > 0 || s.count == 0 || !workUnsaved()) {
        model.sequencer_removeAll(kelGlo.shiftDown != 0);
        return;
    }
    guardWork(WorkReason::clear, "", [this] { model.sequencer_removeAll(true); });
}
