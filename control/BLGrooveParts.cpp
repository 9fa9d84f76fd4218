// The synth and the user loop: the controller's calls for what the synth
// panel and the loop tuner keep.
#include "audio/Vetro.h"
#include "control/BLGrooveAct.h"
#include "control/BLGrooveController.h"

void BLGrooveController::setSynth(BLSynthPart::Setting what, int16_t value, BLOrigin from)
{
    if (!synthPart) return;
    Act act(*this, from);
    synthPart->synthSet(what, value);
    told({BLGrooveChange::Kind::synth, -1, static_cast<int16_t>(what), value});
}

bool BLGrooveController::chooseSynthSound(const std::string& sound, BLOrigin from)
{
    if (!synthPart) return false;
    Act act(*this, from);
    if (!synthPart->synthChoose(sound)) return false;
    told({BLGrooveChange::Kind::synthSound});
    return true;
}

void BLGrooveController::setUserLoop(const blUserLoopSettingsRec& settings, BLOrigin from)
{
    Act act(*this, from);
    engine().setUserLoop(settings);
    told({BLGrooveChange::Kind::userLoop, -1, static_cast<int16_t>(settings.enabled ? 1 : 0)});
}
