// MIDI learn on the groove panel: which controller action each control
// stands for, the click that picks one, and the binding a control's tip names.
#include <algorithm>

#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "core/kelTextCodec.h"
#include "library/BLprefs.h"
#include "panels/groove/BLGrooveItems.h"
#include "panels/groove/BLGroovePanel.h"

namespace gi = grooveitem;

namespace {

constexpr int16_t kMsgNotBindable = 472;
constexpr int16_t kMsgBoundHint = 474;  // "MIDI: %s"
constexpr int16_t kMsgCC = 475;         // "CC %s ch %s"
constexpr int16_t kMsgNote = 476;       // "note %s ch %s"

// "CC 7 ch 1" in the user's language.
std::string messageText(const BLMidiBinding& b)
{
    return blIntl.messageWithNames(b.kind == BLMidiKind::cc ? kMsgCC : kMsgNote,
                                   {std::to_string(b.number), std::to_string(b.channel)});
}

}  // namespace

bool BLGroovePanel::midiActionOf(int16_t item, bool shift, BLMidiAction& action, int8_t& target) const
{
    for (int8_t t = 0; t < gi::kTracks; ++t) {
        target = t;
        if (item == gi::trackLight[t])
            action = BLMidiAction::mute;
        else if (item == gi::loopMenu[t])
            action = shift ? BLMidiAction::loopDown : BLMidiAction::loopUp;
        else if (item == gi::groupMenu[t])
            action = shift ? BLMidiAction::groupDown : BLMidiAction::groupUp;
        else
            continue;
        return true;
    }
    for (int8_t r = 0; r < 4; ++r)
        if (item == gi::randomButton[r]) {
            target = r;
            action = BLMidiAction::random;
            return true;
        }
    // The volume and pan controls: of the track they show now.
    target = static_cast<int8_t>(std::clamp<int16_t>(groove.model.selectedTrack, 0, gi::kTracks - 1));
    if (item == gi::volume)
        action = BLMidiAction::volume;
    else if (item == gi::pan)
        action = BLMidiAction::pan;
    else {
        target = 0;
        switch (item) {
            case gi::store: action = BLMidiAction::store; break;
            case gi::play: action = BLMidiAction::play; break;
            case gi::record: action = BLMidiAction::record; break;
            // A knob on the slider sets the tempo; a pad steps it (midiLearnMessage).
            case gi::bpmScroll: action = BLMidiAction::tempo; break;
            case gi::bpmUp: action = BLMidiAction::tempoUp; break;
            case gi::bpmDown: action = BLMidiAction::tempoDown; break;
            default: return false;
        }
    }
    return true;
}

bool BLGroovePanel::midiLearnPick(int16_t item, bool shift)
{
    BLMidiAction action;
    int8_t target;
    if (!midiActionOf(item, shift, action, target)) {
        sayInHint(KEL_Latin1ToUtf8(blIntl.message(kMsgNotBindable).c_str()));
        return false;
    }
    groove.learnPick(action, target);
    return true;
}

std::string BLGroovePanel::midiHint(int16_t item) const
{
    BLMidiAction action;
    int8_t target;
    if (!midiActionOf(item, false, action, target)) return {};
    const BLMidiBinding* b = blPrefs.midiBindings.forAction(action, target);
    // A menu or the tempo: its step down may be the one bound.
    if (!b && midiActionOf(item, true, action, target)) b = blPrefs.midiBindings.forAction(action, target);
    if (!b && item == gi::bpmScroll) b = blPrefs.midiBindings.forAction(BLMidiAction::tempoUp, 0);
    return b ? blIntl.messageWithNames(kMsgBoundHint, {messageText(*b)}) : std::string();
}

void BLGroovePanel::events()
{
    // While learning, a click on the panel picks a control instead of working it.
    if (groove.learning() && kelGlo.what == kelMouseDown) {
        hitItem = -1;
        int16_t picked = -1;
        for (int16_t i = 1; i < controlCount && picked < 0; ++i) {
            const kelPanelControl* c = control(i);
            BLMidiAction action;
            int8_t target;
            if (c && c->live() && c->rect.contains(kelGlo.mouseX, kelGlo.mouseY) &&
                midiActionOf(i, false, action, target))
                picked = i;
        }
        midiLearnPick(picked, kelGlo.shiftDown != 0);
        onIdle();
        return;
    }
    PWPanelClass::events();
}
