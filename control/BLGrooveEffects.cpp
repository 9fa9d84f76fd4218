// The groove's effects as the controller's actions: a slot's effect, a
// parameter, the bypass, each one step for the keeper, kept in the groove
// and heard at once; and a controller's CC driving a parameter.
#include <cmath>

#include "audio/fx/FxCatalog.h"
#include "audio/fx/FxKnob.h"
#include "control/BLGrooveAct.h"
#include "control/BLGrooveController.h"
#include "core/BLInternational.h"

namespace {

constexpr int16_t kMsgNotHeard = 640;  // "%s cannot be heard here: its slot plays dry."

bool isPlace(int16_t rack, int16_t slot)
{
    return rack >= 0 && rack < kFxRacks && slot >= 0 && slot < kFxSlots;
}

const FxSlot kNoSlot;

}  // namespace

const FxSlot& BLGrooveController::effectSlot(int16_t rack, int16_t slot) const
{
    return isPlace(rack, slot) ? model.current.fx.racks[rack].slots[slot] : kNoSlot;
}

void BLGrooveController::setEffect(int16_t rack, int16_t slot, const std::string& effect, BLOrigin from)
{
    if (!isPlace(rack, slot)) return;
    FxSlot& s = model.current.fx.racks[rack].slots[slot];
    if (s.effect == effect) return;
    Act act(*this, from);
    model.modified = true;
    s = FxSlot{};
    s.effect = effect;
    std::vector<FxNote> notes;
    withSyncOff([&] { notes = engine().fx_set(rack, slot, s); });
    // A person chose it: a plugin that will not run here is said at once.
    for (const FxNote& n : notes)
        if (BLOrigin_IsPersons(from) && n.kind != FxNote::unknownParam && n.kind != FxNote::outOfRange) {
            const FxEffectInfo* info = Fx_Find(effect);
            display().say(blIntl.messageWithNames(kMsgNotHeard, {info ? info->title : effect}));
            break;
        }
    told({BLGrooveChange::Kind::effect, rack, slot});
    if (rack < kBLEngineTracks) display().trackShown(rack);
}

void BLGrooveController::setEffectParam(int16_t rack, int16_t slot, const std::string& param, float value,
                                        BLOrigin from)
{
    if (!isPlace(rack, slot)) return;
    FxSlot& s = model.current.fx.racks[rack].slots[slot];
    if (s.empty() || param.empty()) return;
    float v = value;
    if (const FxEffectInfo* info = Fx_Find(s.effect)) {
        const int i = info->index(param);
        if (i < 0) return;
        v = Fx_Held(info->params[static_cast<size_t>(i)], value);
    } else if (!std::isfinite(v)) {
        return;
    }
    if (const float* now = s.param(param); now && *now == v) return;
    Act act(*this, from);
    model.modified = true;
    s.setParam(param, v);
    engine().fx_setParam(rack, slot, param, v);
    told({BLGrooveChange::Kind::effect, rack, slot});
}

void BLGrooveController::setEffectBypass(int16_t rack, int16_t slot, bool on, BLOrigin from)
{
    if (!isPlace(rack, slot)) return;
    FxSlot& s = model.current.fx.racks[rack].slots[slot];
    if (s.empty() || s.bypass == on) return;
    Act act(*this, from);
    model.modified = true;
    s.bypass = on;
    engine().fx_bypass(rack, slot, on);
    told({BLGrooveChange::Kind::effect, rack, slot});
    if (rack < kBLEngineTracks) display().trackShown(rack);
}

// A CC across the parameter's range; a press flips the bypass.
void BLGrooveController::midiEffect(const BLMidiBinding& b, uint8_t value)
{
    const FxSlot& s = effectSlot(b.target, b.slot);
    if (s.empty()) return;
    if (b.action == BLMidiAction::effectBypass)
        return setEffectBypass(b.target, b.slot, !s.bypass, BLOrigin::midi);
    const FxEffectInfo* info = Fx_Find(s.effect);
    const int i = info ? info->index(b.param) : -1;
    if (i < 0) return;
    const float v = Fx_ValueAt(info->params[static_cast<size_t>(i)], std::min<int>(value, 127) / 127.0);
    setEffectParam(b.target, b.slot, b.param, v, BLOrigin::midi);
}
