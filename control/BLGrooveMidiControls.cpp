// MIDI controllers: the input port, each message applied as the action it
// is bound to, and MIDI learn binding the next note or CC to an action.
#include <fstream>
#include <sstream>

#include "control/BLGrooveAct.h"
#include "control/BLGrooveController.h"
#include "control/BLGrooveMidi.h"
#include "control/BLMidi.h"
#include "core/BLInternational.h"
#include "core/kelTextCodec.h"
#include "library/BLprefs.h"
#include "platform/PlatMidi.h"
#include "platform/Platform.h"

namespace {

constexpr int16_t kMsgLearnClick = 470;
constexpr int16_t kMsgLearnMove = 471;
constexpr int16_t kMsgLearnCancelled = 473;
constexpr int16_t kMsgCC = 475;    // "CC %s ch %s"
constexpr int16_t kMsgNote = 476;  // "note %s ch %s"
constexpr int16_t kMsgBound = 477;
constexpr int16_t kMsgNoInput = 478;

constexpr float kTempoStep = 0.2f;
// Messages applied in one pass at most: a flood waits for the next.
constexpr int kMessagesAPass = 64;

std::string gMapFile;

void note(const std::string& line)
{
    if (plat::hasBackend()) plat::backend().note(line);
}

std::string logText(const BLMidiBinding& b)
{
    return BLMidi_MessageText(b.kind, b.channel, b.number) + " -> " + BLMidi_ActionText(b);
}

std::string utf8(int16_t message)
{
    return KEL_Latin1ToUtf8(blIntl.message(message).c_str());
}

}  // namespace

void BLMidi_UseMapFile(const std::string& path)
{
    gMapFile = path;
}

// ---- The port -----------------------------------------------------------------

void BLGrooveController::midiOpen()
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
        note(std::string("midi controls open: ") + BLMidi::kControlInPort +
             (from.empty() ? "" : " from " + from));
    else
        note("midi controls not open: " + midiIn->why());
}

void BLGrooveController::midiClose()
{
    if (midiIn) midiIn->close();
    midiIn.reset();
}

// ---- Messages, as the actions they are bound to ----------------------------------------

void BLGrooveController::midiIdle()
{
    // A gesture under way owns the controls until it ends.
    if (display().gesture()) return;
    BLMidiQueue::Item item;
    for (int n = 0; n < kMessagesAPass && midiQueue.take(item); ++n) {
        BLMidiMessage m;
        if (!BLMidi_Decode(item.bytes, item.count, m)) continue;
        if (learn.on)
            learnMessage(m);
        else
            midiApply(m);
    }
}

void BLGrooveController::midiApply(const BLMidiMessage& m)
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
    const auto t = static_cast<int16_t>(static_cast<uint8_t>(b.target));
    note("midi " + BLMidi_MessageText(m.kind, m.channel, m.number) + " value " + std::to_string(m.value) +
         " -> " + BLMidi_ActionText(b));
    // One action of the user, as a click is: undo, the link and the keeper see it.
    Act act(*this, BLOrigin::midi);
    constexpr BLOrigin from = BLOrigin::midi;
    switch (b.action) {
        case BLMidiAction::mute: toggleMute(t, from); break;
        case BLMidiAction::loopUp: stepLoop(t, 1, from); break;
        case BLMidiAction::loopDown: stepLoop(t, -1, from); break;
        case BLMidiAction::groupUp: stepGroup(t, 1, from); break;
        case BLMidiAction::groupDown: stepGroup(t, -1, from); break;
        case BLMidiAction::random: randomize(t, from); break;
        case BLMidiAction::store: store(from); break;
        case BLMidiAction::play: togglePlay(from); break;
        case BLMidiAction::record: toggleRecord(from); break;
        case BLMidiAction::tempo:
            setTempo(BLMidi_Tempo(m.value, player().slowestBpm(), player().fastestBpm()), from);
            break;
        case BLMidiAction::tempoUp: stepTempo(kTempoStep, from); break;
        case BLMidiAction::tempoDown: stepTempo(-kTempoStep, from); break;
        case BLMidiAction::volume: setTrackVolume(t, BLMidi_Volume(m.value), from); break;
        case BLMidiAction::pan: setTrackPan(t, BLMidi_Pan(m.value), from); break;
        case BLMidiAction::effect:
        case BLMidiAction::effectBypass: midiEffect(b, m.value); break;
    }
}

// ---- Learn ----------------------------------------------------------------------------

void BLGrooveController::learnKey()
{
    if (learn.on) return learnCancel();
    learn = Learn{};
    learn.on = true;
    if (midiIn && !midiIn->isOpen())
        display().say(blIntl.messageWithNames(kMsgNoInput, {midiIn->why()}));
    else
        display().say(utf8(kMsgLearnClick));
}

void BLGrooveController::learnCancel()
{
    if (!learn.on) return;
    learn = Learn{};
    display().say(utf8(kMsgLearnCancelled));
}

void BLGrooveController::learnPick(BLMidiAction action, int8_t target)
{
    if (!learn.on) return;
    learn.picked = true;
    learn.action = action;
    learn.target = target;
    learn.slot = 0;
    learn.param.clear();
    display().say(utf8(kMsgLearnMove));
}

void BLGrooveController::learnPickEffect(int16_t rack, int16_t slot, const std::string& param)
{
    if (!learn.on) return;
    learnPick(param.empty() ? BLMidiAction::effectBypass : BLMidiAction::effect, static_cast<int8_t>(rack));
    learn.slot = static_cast<int8_t>(slot);
    learn.param = param;
}

void BLGrooveController::learnMessage(const BLMidiMessage& m)
{
    // A note's end is no choice; nothing is bound before the action is picked.
    if (!learn.picked || (m.kind == BLMidiKind::note && m.value == 0)) return;
    BLMidiAction action = learn.action;
    // A pad on the tempo slider steps it.
    if (action == BLMidiAction::tempo && m.kind == BLMidiKind::note) action = BLMidiAction::tempoUp;
    const BLMidiBinding b{m.kind, m.channel, m.number, action, learn.target, learn.slot, learn.param};
    learn = Learn{};
    if (m.kind == BLMidiKind::cc) midiLastCC[(m.channel - 1) & 15][m.number & 127] = m.value;
    if (!blPrefs.midiBindings.learn(b)) return;
    note("midi bound " + logText(b));
    display().say(blIntl.messageWithNames(
        kMsgBound, {blIntl.messageWithNames(b.kind == BLMidiKind::cc ? kMsgCC : kMsgNote,
                                            {std::to_string(b.number), std::to_string(b.channel)})}));
}
