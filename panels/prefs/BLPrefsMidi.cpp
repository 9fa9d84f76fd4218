// The preferences' MIDI page: clock out, clock in and the controllers' input.
#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "core/kelTextCodec.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/player/BLMidi.h"
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

// The first page's controls, which the MIDI page's plate covers.
bool onFirstPage(int16_t item)
{
    return (item >= BLPrefsPanel::kItemFormat && item <= BLPrefsPanel::kItemColour + 7) ||
           (item >= BLPrefsPanel::kItemGrid && item <= BLPrefsPanel::kItemJackState);
}

bool isButton(int16_t item)
{
    return item == BLPrefsPanel::kItemClockOut || item == BLPrefsPanel::kItemClockIn ||
           item == BLPrefsPanel::kItemControl;
}

// The program's own ports are not offered to listen to.
bool ownPort(const std::string& name)
{
    return name.rfind("Beatloom", 0) == 0 && name.find(std::string(":") + BLMidi::kClockOutPort) != std::string::npos;
}

std::string latin1(const std::string& name) { return KEL_NameToLatin1(name); }

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
    for (int16_t item = kItemMidiPlate; item <= kItemMidiWhy; ++item)
        if (kelPanelControl* c = control(item)) c->visible = c->active = 0;
    // Captions and labels from the left; a port's long name shrinks to fit its button.
    for (int16_t item : {kItemClockCaption, kItemClockOutLabel, kItemClockInLabel, kItemControlCaption,
                         kItemControlLabel, kItemSystemCaption, kItemSystem, kItemMidiWhy})
        if (kelPanelControl* c = control(item)) c->setValue(kelPropTextAlign, int16_t{0});
    for (int16_t item : {kItemClockOutPort, kItemClockInPort, kItemControlPort})
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
    if (blGroovePanel) blGroovePanel->midiOpen();
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
    for (int16_t item = kItemMidiPlate; item <= kItemMidiWhy; ++item)
        if (kelPanelControl* c = control(item)) {
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
    if (from == kBLMidiNamedPort && std::find(ports.begin(), ports.end(), port) == ports.end()) ports.push_back(port);
    const int count = 2 + static_cast<int>(ports.size());
    int i = from == kBLMidiOff ? 0 : from == kBLMidiOwnPort ? 1 : 2;
    if (from == kBLMidiNamedPort) i += static_cast<int>(std::find(ports.begin(), ports.end(), port) - ports.begin());
    i = ((i + step) % count + count) % count;
    from = static_cast<int16_t>(i == 0 ? kBLMidiOff : i == 1 ? kBLMidiOwnPort : kBLMidiNamedPort);
    port = i >= 2 ? ports[static_cast<size_t>(i - 2)] : "";
}

bool BLPrefsPanel::onItem_midi(int16_t item)
{
    const int step = kelGlo.shiftDown ? -1 : 1;
    switch (item) {
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
        static const int16_t items[6] = {kItemClockCaption, kItemClockOutLabel, kItemClockInLabel,
                                         kItemControlCaption, kItemControlLabel, kItemSystemCaption};
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
}
