// The preferences' MIDI page: clock out, clock in, the controllers' input,
// and the port OSC control listens on.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "control/BLGrooveController.h"
#include "control/BLMidi.h"
#include "control/BLOscControls.h"
#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "core/kelTextCodec.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/prefs/BLPrefsPanel.h"
#include "platform/PlatMidi.h"
#include "ui/PWScreen.h"
#include "ui/kelPanelControl.h"

namespace {

constexpr int16_t kMsgClockCaption = 450;  // .. 455: the captions and labels
constexpr int16_t kMsgOff = 456;
constexpr int16_t kMsgOnPort = 457;
constexpr int16_t kMsgOwnPort = 458;
constexpr int16_t kMsgPortFrom = 459;
constexpr int16_t kMsgNotFound = 460;
constexpr int16_t kMsgInUse = 461;
constexpr int16_t kMsgNoSystem = 462;
constexpr int16_t kMsgNotOpened = 463;
constexpr int16_t kMsgOscCaption = 700;  // and 701, its port's label
constexpr int16_t kMsgOscOff = 702;
constexpr int16_t kMsgOscListening = 703;
constexpr int16_t kMsgOscNotOpened = 704;
constexpr int16_t kMsgOscCommandLine = 705;

// The first page's controls, which the MIDI page's plate covers.
bool onFirstPage(int16_t item)
{
    return (item >= BLPrefsPanel::kItemFormat && item <= BLPrefsPanel::kItemColour + 7) ||
           (item >= BLPrefsPanel::kItemGrid && item <= BLPrefsPanel::kItemJackState);
}

bool isButton(int16_t item)
{
    return item == BLPrefsPanel::kItemClockOut || item == BLPrefsPanel::kItemClockIn ||
           item == BLPrefsPanel::kItemControl || item == BLPrefsPanel::kItemOscPort;
}

// The MIDI page's own controls, the page buttons aside.
bool onMidiPage(int16_t item)
{
    return (item >= BLPrefsPanel::kItemMidiPlate && item <= BLPrefsPanel::kItemMidiWhy) ||
           (item >= BLPrefsPanel::kItemOscCaption && item <= BLPrefsPanel::kItemOscState);
}

// The program's own ports are not offered to listen to.
bool ownPort(const std::string& name)
{
    return name.rfind("Beatloom", 0) == 0 &&
           name.find(std::string(":") + BLMidi::kClockOutPort) != std::string::npos;
}

std::string latin1(const std::string& name)
{
    return KEL_NameToLatin1(name);
}

}  // namespace

void BLPrefsPanel::takeMidi()
{
    // Shown again on the first page, whichever page it was closed on.
    if (midiPage_)
        for (int16_t item = kItemFormat; item <= kItemJackState; ++item)
            if (kelPanelControl* c = control(item); c && onFirstPage(item)) c->visible = c->active = 1;
    midiPage_ = false;
    midiClockOut = blPrefs.midiClockOut;
    midiClockIn = blPrefs.midiClockIn;
    midiClockInPort = blPrefs.midiClockInPort;
    midiControl = blPrefs.midiControl;
    midiControlPort = blPrefs.midiControlPort;
    oscPort = blPrefs.oscPort;
    typing_ = false;
    for (int16_t item = kItemMidiPlate; item <= kItemOscState; ++item)
        if (kelPanelControl* c = control(item); c && onMidiPage(item)) c->visible = c->active = 0;
    setText(kItemOscPort, std::to_string(oscPort).c_str());
    // Captions and labels from the left; a port's long name shrinks to fit its button.
    for (int16_t item :
         {kItemClockCaption, kItemClockOutLabel, kItemClockInLabel, kItemControlCaption, kItemControlLabel,
          kItemSystemCaption, kItemSystem, kItemMidiWhy, kItemOscCaption, kItemOscLabel, kItemOscState})
        if (kelPanelControl* c = control(item)) c->setValue(kelPropTextAlign, int16_t{0});
    for (int16_t item : {kItemClockOutPort, kItemClockInPort, kItemControlPort, kItemOscState})
        if (kelPanelControl* c = control(item)) c->setValue(kelPropFit, int16_t{1});
    if (kelPanelControl* c = control(kItemMidiPage)) c->visible = c->active = 1;
    if (kelPanelControl* c = control(kItemGeneralPage)) c->visible = c->active = 0;
}

void BLPrefsPanel::confirmMidi()
{
    blPrefs.midiClockOut = midiClockOut;
    blPrefs.midiClockIn = midiClockIn;
    std::snprintf(blPrefs.midiClockInPort, sizeof blPrefs.midiClockInPort, "%s", midiClockInPort.c_str());
    blPrefs.midiControl = midiControl;
    std::snprintf(blPrefs.midiControlPort, sizeof blPrefs.midiControlPort, "%s", midiControlPort.c_str());
    if (blMidi) blMidi->apply(blPrefs);
    if (blGroove) blGroove->midiOpen();
    takeOscPort();
    // Opened again only when it changed: its subscribers stay otherwise.
    const bool changed = blPrefs.oscPort != oscPort;
    blPrefs.oscPort = static_cast<uint16_t>(oscPort);
    if (changed && blGroove) blGroove->oscOpen();
}

void BLPrefsPanel::takeOscPort()
{
    char text[32] = {};
    if (kelPanelControl* c = control(kItemOscPort)) c->getValue(text);
    const long p = std::strtol(text, nullptr, 10);
    if (text[0] && p >= 0 && p <= 65535) oscPort = static_cast<int>(p);
    setText(kItemOscPort, std::to_string(oscPort).c_str());
}

void BLPrefsPanel::endTyping()
{
    if (!typing_) return;
    typing_ = false;
    select(-1);
    takeOscPort();
    refresh();
}

void BLPrefsPanel::onKey_osc()
{
    const uint8_t c = kelGlo.keyChar;
    if (kelGlo.what == kelKeyUp) return;
    if (c == kelKeyReturn || c == '\t' || kelGlo.specialKey == 20) {
        endTyping();
        return;
    }
    if (kelPanelControl* field = control(kItemOscPort)) field->key();
}

void BLPrefsPanel::showMidiPage(bool on)
{
    midiPage_ = on;
    if (on) {
        const plat::MidiSystem system = plat::MidiSystemInUse(plat::MidiSystem::automatic);
        midiSystem_ = system == plat::MidiSystem::automatic ? "" : plat::MidiSystemName(system);
        midiInputs_.clear();
        for (const std::string& name : plat::MidiIn::ports())
            if (!ownPort(name)) midiInputs_.push_back(name);
    }
    // What the first page hid stays hidden when it shows again (refresh decides).
    for (int16_t item = kItemFormat; item <= kItemJackState; ++item) {
        kelPanelControl* c = control(item);
        if (!c || !onFirstPage(item)) continue;
        if (on) {
            c->visible = c->active = 0;
        } else {
            c->visible = 1;
            c->active = 1;
        }
    }
    endTyping();
    for (int16_t item = kItemMidiPlate; item <= kItemOscState; ++item)
        if (kelPanelControl* c = control(item); c && onMidiPage(item)) {
            c->visible = on ? 1 : 0;
            c->active = on && isButton(item) ? 1 : 0;
        }
    if (kelPanelControl* c = control(kItemMidiPage)) c->visible = c->active = on ? 0 : 1;
    if (kelPanelControl* c = control(kItemGeneralPage)) c->visible = c->active = on ? 1 : 0;
    // The first page's own rule for what it offers.
    if (!on) offerFormats();
    refresh();
}

void BLPrefsPanel::stepMidiFrom(int16_t& from, std::string& port, int step)
{
    // off, own port, then the ports found (and the one chosen, should it be gone).
    std::vector<std::string> ports = midiInputs_;
    if (from == kBLMidiNamedPort && std::find(ports.begin(), ports.end(), port) == ports.end())
        ports.push_back(port);
    const int count = 2 + static_cast<int>(ports.size());
    int i = from == kBLMidiOff ? 0 : from == kBLMidiOwnPort ? 1 : 2;
    if (from == kBLMidiNamedPort)
        i += static_cast<int>(std::find(ports.begin(), ports.end(), port) - ports.begin());
    i = ((i + step) % count + count) % count;
    from = static_cast<int16_t>(i == 0 ? kBLMidiOff : i == 1 ? kBLMidiOwnPort : kBLMidiNamedPort);
    port = i >= 2 ? ports[static_cast<size_t>(i - 2)] : "";
}

bool BLPrefsPanel::onItem_midi(int16_t item)
{
    const int step = kelGlo.shiftDown ? -1 : 1;
    if (item != kItemOscPort) endTyping();
    switch (item) {
        case kItemOscPort:
            typing_ = true;
            select(item);
            return true;
        case kItemMidiPage: showMidiPage(true); return true;
        case kItemGeneralPage: showMidiPage(false); return true;
        case kItemClockOut: midiClockOut = midiClockOut ? 0 : 1; break;
        case kItemClockIn: stepMidiFrom(midiClockIn, midiClockInPort, step); break;
        case kItemControl: stepMidiFrom(midiControl, midiControlPort, step); break;
        default: return false;
    }
    refresh();
    return true;
}

void BLPrefsPanel::refreshMidi()
{
    if (!midiPage_) return;
    for (int16_t i = 0; i < 6; ++i) {
        static const int16_t items[6] = {kItemClockCaption,   kItemClockOutLabel, kItemClockInLabel,
                                         kItemControlCaption, kItemControlLabel,  kItemSystemCaption};
        setText(items[i], blIntl.message(static_cast<int16_t>(kMsgClockCaption + i)).c_str());
    }
    // A message with names comes in UTF-8; the skin font draws the 8-bit set.
    setText(kItemClockOutPort,
            midiClockOut ? latin1(blIntl.messageWithNames(kMsgOnPort, {BLMidi::kClockOutPort})).c_str()
                         : blIntl.message(kMsgOff).c_str());
    const auto listening = [this](int16_t from, const std::string& port, const char* own) -> std::string {
        if (from == kBLMidiOff) return blIntl.message(kMsgOff).c_str();
        if (from == kBLMidiOwnPort) return latin1(blIntl.messageWithNames(kMsgOwnPort, {own}));
        if (std::find(midiInputs_.begin(), midiInputs_.end(), port) == midiInputs_.end())
            return latin1(blIntl.messageWithNames(kMsgNotFound, {std::string_view(port)}));
        return latin1(blIntl.messageWithNames(kMsgPortFrom, {own, std::string_view(port)}));
    };
    setText(kItemClockInPort, listening(midiClockIn, midiClockInPort, BLMidi::kClockInPort).c_str());
    setText(kItemControlPort, listening(midiControl, midiControlPort, BLMidi::kControlInPort).c_str());
    setText(kItemSystem,
            midiSystem_.empty()
                ? blIntl.message(kMsgNoSystem).c_str()
                : latin1(blIntl.messageWithNames(kMsgInUse, {std::string_view(midiSystem_)})).c_str());
    const std::string why = blMidi ? blMidi->why() : "";
    setText(
        kItemMidiWhy,
        why.empty() ? "" : latin1(blIntl.messageWithNames(kMsgNotOpened, {std::string_view(why)})).c_str());
    setText(kItemOscCaption, blIntl.message(kMsgOscCaption).c_str());
    setText(kItemOscLabel, blIntl.message(static_cast<int16_t>(kMsgOscCaption + 1)).c_str());
    // What OSC does now, which OK changes.
    const int oscListening = BLOsc_Port();
    const int given = BLOsc_CommandLinePort();
    const int wanted = given >= 0 ? given : blPrefs.oscPort;
    const std::string port = std::to_string(oscListening > 0 ? oscListening : wanted);
    std::string state;
    if (given > 0 && oscListening > 0)
        state = latin1(blIntl.messageWithNames(kMsgOscCommandLine, {std::string_view(port)}));
    else if (oscListening > 0)
        state = latin1(blIntl.messageWithNames(kMsgOscListening, {std::string_view(port)}));
    else if (wanted > 0)
        state = latin1(blIntl.messageWithNames(kMsgOscNotOpened, {std::string_view(port)}));
    else
        state = blIntl.message(kMsgOscOff).c_str();
    setText(kItemOscState, state.c_str());
}
