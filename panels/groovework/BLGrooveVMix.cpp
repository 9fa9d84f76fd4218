// What the groove panel does for the virtual mix: generating an arrangement
// into its sequence, and taking the sequence back.
#include "core/kelCore.h"
#include "library/BLVMix.h"
#include "library/BLprefs.h"
#include "panels/groove/BLGroovePanel.h"

void BLGroovePanel::setupVMix(int16_t style)
{
    const BLSongLibrary& lib = groove.model.library();
    if (style < 0 || style >= lib.styleCount || style >= kBLMaxStyles) return;
    const BLVMixGroups leftOut = blPrefs.vmix.groupsOf(lib);
    // A style whose every row is left out still gives a mix: one of the groups.
    if (!BLVMix_build(lib, lib.styles[style], groove.model.stored, &leftOut)) setupVMixFromGroups();
}

void BLGroovePanel::setupVMixFromGroups()
{
    const BLSongLibrary& lib = groove.model.library();
    const BLVMixGroups leftOut = blPrefs.vmix.groupsOf(lib);
    BLStyle style;
    BLVMix_groupStyle(lib, style, &leftOut);
    BLVMix_build(lib, style, groove.model.stored);
}

void BLGroovePanel::vmixHandOver(bool restore)
{
    groove.model.releaseWork(restore);
    BLSequence& s = groove.model.stored;
    if (!restore) {
        if (s.count > s.length) s.count = s.length;
        groove.sequenceStrip().setScroll(0);
        groove.sequenceStrip().select(0);
        groove.grooveStrip().setScroll(0);
        groove.grooveStrip().select(0);
    } else {
        groove.grooveStrip().select(-1);
        groove.sequenceStrip().select(-1);
    }
    refreshStrips();
}
