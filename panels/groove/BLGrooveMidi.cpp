// MIDI controllers on the groove panel: the input port, the messages applied
// as the clicks they stand for, and MIDI learn.
#include "panels/groove/BLGrooveMidi.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "core/kelTextCodec.h"
#include "library/BLprefs.h"
#include "panels/groove/BLGrooveItems.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/player/BLMidi.h"
#include "platform/PlatMidi.h"
#include "platform/Platform.h"

namespace gi = grooveitem;

namespace {

constexpr int16_t kMsgLearnClick = 470;
constexpr int16_t kMsgLearnMove = 471;
constexpr int16_t kMsgNotBindable = 472;
constexpr int16_t kMsgLearnCancelled = 473;
constexpr int16_t kMsgBoundHint = 474;  // "MIDI: %s"
constexpr int16_t kMsgCC = 475;         // "CC %s ch %s"
constexpr int16_t kMsgNote = 476;       // "note %s ch %s"
constexpr int16_t kMsgBound = 477;
constexpr int16_t kMsgNoInput = 478;

constexpr float kTempoStep = 0.2f;
// Messages applied in one idle pass at most: a flood waits for the next.
constexpr int kMessagesAPass = 64;

std::string gMapFile;

void note(const std::string& line)
{
    if (plat::hasBackend()) plat::backend().note(line);
}

// "CC 7 ch 1" in the user's language.
std::string messageText(const BLMidiBinding& b)
{
    return blIntl.messageWithNames(b.kind == BLMidiKind::cc ? kMsgCC : kMsgNote,
                                   {std::to_string(b.number), std::to_string(b.channel)});
}

std::string logText(const BLMidiBinding& b)
{
    return BLMidi_MessageText(b.kind, b.channel, b.number) + " -> " + BLMidi_ActionText(b.action, b.target);
}

}  // namespace

void BLMidi_UseMapFile(const std::string& path)
{
    gMapFile = path;
}

// ---- The port -----------------------------------------------------------------

void BLGroovePanel::midiOpen()
{
    midiClose();
    if (!gMapFile.empty()) {
        std::ifstream in(gMapFile, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        int badLine = 0;
        std::string refused;
        if (!in)
            refused = "cannot be read";
        else if (!blPrefs.midiBindings.parse(text.str(), badLine))
            refused = "is damaged at line " + std::to_string(badLine);
        if (!refused.empty()) {
            const std::string line =
                "the MIDI mapping file " + gMapFile + " " + refused + "; the bindings stay as they were";
            plat::logLine(line);
            note(line);
        } else
            note("midi map " + gMapFile + ": " + std::to_string(blPrefs.midiBindings.list().size()) +
                 " bindings");
        gMapFile.clear();
    }
    std::string from;
    if (!blPrefs.midiControlFrom(from)) {
        note("midi controls off");
        return;
    }
    midiIn = std::make_unique<plat::MidiIn>();
    // Called on the MIDI system's thread: only the queue is touched there.
    auto receive = [this](const uint8_t* bytes, size_t count, double) { midiQueue.push(bytes, count); };
    if (midiIn->open(BLMidi::kControlInPort, from, receive))
        note(std::string("midi controls open: ") + BLMidi::kControlInPort + (from.empty() ? "" : " from " + from));
    else
        note("midi controls not open: " + midiIn->why());
}

void BLGroovePanel::midiClose()
{
    if (midiIn) midiIn->close();
    midiIn.reset();
}

// ---- Messages, as the clicks they stand for ----------------------------------------

void BLGroovePanel::midiIdle()
{
    // A drag under way owns the controls until it ends; a box one of the
    // messages opened runs idle passes of its own, which leave the rest waiting.
    if (liveChange || midiApplying) return;
    midiApplying = true;
    BLMidiQueue::Item item;
    for (int n = 0; n < kMessagesAPass && midiQueue.take(item); ++n) {
        BLMidiMessage m;
        if (!BLMidi_Decode(item.bytes, item.count, m)) continue;
        if (midiLearn.on)
            midiLearnMessage(m);
        else
            midiApply(m);
    }
    midiApplying = false;
}

void BLGroovePanel::midiApply(const BLMidiMessage& m)
{
    uint8_t& last = midiLastCC[(m.channel - 1) & 15][m.number & 127];
    const bool press = m.kind == BLMidiKind::note ? m.value > 0 : m.value >= 64 && last < 64;
    if (m.kind == BLMidiKind::cc) last = m.value;
    const BLMidiBinding* found = blPrefs.midiBindings.find(m.kind, m.channel, m.number);
    if (!found) return;
    const BLMidiBinding b = *found;
    const bool takesValue = BLMidi_TakesValue(b.action);
    // A note's end drives nothing; a value follows every move.
    if (takesValue ? m.kind == BLMidiKind::note && m.value == 0 : !press) return;
    const int16_t t = b.target;
    note("midi " + BLMidi_MessageText(m.kind, m.channel, m.number) + " value " + std::to_string(m.value) +
         " -> " + BLMidi_ActionText(b.action, b.target));
    // One action of the user, as a click is: undo, the link and the keeper
    // see it.
    actionBegins();
    switch (b.action) {
        case BLMidiAction::mute: onItem_trackLed(t); break;
        case BLMidiAction::loopUp:
        case BLMidiAction::loopDown:
            chooseLoop(t, static_cast<int16_t>(model.current.tracks[t].slot +
                                               (b.action == BLMidiAction::loopUp ? 1 : -1)));
            break;
        case BLMidiAction::groupUp:
        case BLMidiAction::groupDown: {
            const int16_t g = static_cast<int16_t>(model.current.tracks[t].group +
                                                   (b.action == BLMidiAction::groupUp ? 1 : -1));
            if (g >= -1 && g < model.library().groupCount) chooseGroup(t, g);
            break;
        }
        case BLMidiAction::random: randomize(t); break;
        case BLMidiAction::store: model.grooves_add(); break;
        case BLMidiAction::play:
            if (player().playing)
                player().stop();
            else
                player().play();
            common_setPlayDisplay(player().playing);
            break;
        case BLMidiAction::tempo:
            player().adjustBpm(BLMidi_Tempo(m.value, player().slowestBpm(), player().fastestBpm()));
            player().hitBpmUp(0.0f);  // the slider follows
            break;
        case BLMidiAction::tempoUp: player().hitBpmUp(kTempoStep); break;
        case BLMidiAction::tempoDown: player().hitBpmUp(-kTempoStep); break;
        case BLMidiAction::volume:
        case BLMidiAction::pan: {
            const bool pan = b.action == BLMidiAction::pan;
            const int16_t v = pan ? BLMidi_Pan(m.value) : BLMidi_Volume(m.value);
            if (!groupMode && !allMode && t == model.selectedTrack) {
                // The track the controls show: as if its control moved.
                if (pan) {
                    setPanControl(v);
                    onItem_pan();
                } else {
                    setVolumeControl(v);
                    onItem_volume();
                }
                break;
            }
            model.modified = true;
            const bool sync = model.syncMode;
            if (sync) engine().sync_atGrooveSet(0);
            BLTrack& k = model.current.tracks[t];
            if (pan) {
                k.pan = v;
                // In group and all mode the relative control goes on from here.
                tracks[t].basePan = static_cast<int16_t>(v - 2 * panValue);
                engine().setTrackPan(t, v);
                net().sendPan(t, v);
            } else {
                k.volume = static_cast<uint16_t>(v);
                tracks[t].baseVolume = static_cast<int16_t>(v - 2 * (volumeValue - 64));
                engine().setTrackVolume(t, v);
                net().sendVolume(t, v);
            }
            if (sync) engine().sync_atGrooveSet(1);
            break;
        }
    }
    actionEnds();
}

// ---- Learn ----------------------------------------------------------------------------

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
    target = static_cast<int8_t>(std::clamp<int16_t>(model.selectedTrack, 0, gi::kTracks - 1));
    if (item == gi::volume)
        action = BLMidiAction::volume;
    else if (item == gi::pan)
        action = BLMidiAction::pan;
    else {
        target = 0;
        switch (item) {
            case gi::store: action = BLMidiAction::store; break;
            case gi::play: action = BLMidiAction::play; break;
            // A knob on the slider sets the tempo; a pad steps it (midiLearnMessage).
            case gi::bpmScroll: action = BLMidiAction::tempo; break;
            case gi::bpmUp: action = BLMidiAction::tempoUp; break;
            case gi::bpmDown: action = BLMidiAction::tempoDown; break;
            default: return false;
        }
    }
    return true;
}

void BLGroovePanel::midiLearnKey()
{
    if (midiLearn.on) return midiLearnCancel();
    midiLearn = MidiLearn{};
    midiLearn.on = true;
    if (midiIn && !midiIn->isOpen())
        sayInHint(blIntl.messageWithNames(kMsgNoInput, {midiIn->why()}));
    else
        sayInHint(KEL_Latin1ToUtf8(blIntl.message(kMsgLearnClick).c_str()));
}

void BLGroovePanel::midiLearnCancel()
{
    if (!midiLearn.on) return;
    midiLearn = MidiLearn{};
    sayInHint(KEL_Latin1ToUtf8(blIntl.message(kMsgLearnCancelled).c_str()));
}

bool BLGroovePanel::midiLearnPick(int16_t item, bool shift)
{
    BLMidiAction action;
    int8_t target;
    if (!midiActionOf(item, shift, action, target)) {
        sayInHint(KEL_Latin1ToUtf8(blIntl.message(kMsgNotBindable).c_str()));
        return false;
    }
    midiLearn.item = item;
    midiLearn.action = action;
    midiLearn.target = target;
    sayInHint(KEL_Latin1ToUtf8(blIntl.message(kMsgLearnMove).c_str()));
    return true;
}

void BLGroovePanel::midiLearnMessage(const BLMidiMessage& m)
{
    // A note's end is no choice; nothing is bound before the control is picked.
    if (midiLearn.item < 0 || (m.kind == BLMidiKind::note && m.value == 0)) return;
    BLMidiAction action = midiLearn.action;
    // A pad on the tempo slider steps it.
    if (action == BLMidiAction::tempo && m.kind == BLMidiKind::note) action = BLMidiAction::tempoUp;
    const BLMidiBinding b{m.kind, m.channel, m.number, action, midiLearn.target};
    midiLearn = MidiLearn{};
    if (m.kind == BLMidiKind::cc) midiLastCC[(m.channel - 1) & 15][m.number & 127] = m.value;
    if (!blPrefs.midiBindings.learn(b)) return;
    note("midi bound " + logText(b));
    sayInHint(blIntl.messageWithNames(kMsgBound, {messageText(b)}));
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
    if (midiLearn.on && kelGlo.what == kelMouseDown) {
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
