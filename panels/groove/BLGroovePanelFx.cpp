// The groove panel's way to the effects: an FX button on each track's row
// and one beside the main volume, each lit while its rack holds an effect.
#include "audio/fx/FxSettings.h"
#include "panels/effects/BLEffectsPanel.h"
#include "panels/groove/BLGrooveItems.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/startup/PWmain.h"
#include "ui/PWScreen.h"

namespace gi = grooveitem;

void BLGroovePanel::openEffects(int16_t rack)
{
    if (auto* fx = dynamic_cast<BLEffectsPanel*>(PWScreen.panel(kPWEffectsPanel))) fx->openFor(rack);
}

void BLGroovePanel::effectsIdle()
{
    for (int16_t rack = 0; rack < kFxRacks; ++rack) {
        const int16_t item = rack < gi::kTracks ? gi::fxButton[rack] : gi::fxMain;
        const bool lit = !groove.effectSlot(rack, 0).empty() || !groove.effectSlot(rack, 1).empty();
        // A button being pressed shows its press.
        if (kelPanelControl* c = control(item); c && c->layout && !(kelGlo.buttonDown && hitItem == item))
            c->setValue(static_cast<int16_t>(lit ? 1 : 0));
    }
}
