// The keyboard: track digits with their modifier letters, steps, Return and
// the letter commands, and the numeric entries typed into a label.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/kelCore.h"
#include "panels/groove/BLGrooveItems.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/startup/PWmain.h"
#include "ui/PWScreen.h"

namespace gi = grooveitem;

namespace {

constexpr char kEllipsis = '\xC9';
constexpr int16_t kGrooveIdTarget = -1;

// Normal layout: 1 .. 8; keypad layout: clockwise around 5.
constexpr uint8_t kKeypadDigits[8] = {'8', '9', '6', '3', '2', '1', '4', '7'};

int16_t heldCount(uint8_t c)
{
    return PWScreen.keyHeld[c];
}

}  // namespace

bool BLGroovePanel::held(char letter) const
{
    const auto c = static_cast<unsigned char>(letter);
    return heldCount(static_cast<uint8_t>(std::tolower(c))) != 0 ||
           heldCount(static_cast<uint8_t>(std::toupper(c))) != 0;
}

bool BLGroovePanel::pressed(char letter) const
{
    const auto c = static_cast<unsigned char>(letter);
    const uint8_t k = kelGlo.keyChar;
    if (kelGlo.what != kelKeyDown || std::tolower(k) != std::tolower(c)) return false;
    return heldCount(k) == 1;
}

// The first of the letters that is held, in the order given; exact case for
// letters given in both cases. 0 when none.
uint8_t BLGroovePanel::firstHeld(const char* letters) const
{
    for (const char* p = letters; *p; ++p) {
        const auto c = static_cast<uint8_t>(*p);
        const bool caseMatters = (std::isupper(c) && std::strchr(letters, std::tolower(c))) ||
                                 (std::islower(c) && std::strchr(letters, std::toupper(c)));
        if (caseMatters ? heldCount(c) != 0 : held(static_cast<char>(c))) return c;
    }
    return 0;
}

int16_t BLGroovePanel::trackOfDigit(uint8_t digit) const
{
    for (int16_t t = 0; t < gi::kTracks; ++t)
        if ((keypadLayout ? kKeypadDigits[t] : static_cast<uint8_t>('1' + t)) == digit) return t;
    return -1;
}

void BLGroovePanel::onKey()
{
    // The virtual mix covers the panel while shown: the keys are its own.
    if (PWPanelClass* vmix = PWScreen.panel(kPWVMixPanel); vmix && PWScreen.isVisible(kPWVMixPanel))
        return vmix->onKey();
    if (numEntry.open) {
        key_numEnterType();
        return;
    }
    if (groove.learning() && kelGlo.what == kelKeyDown && kelGlo.escapeKey) return groove.learnCancel();
    const uint8_t c = kelGlo.keyChar;
    if (kelGlo.what == kelKeyDown && kelGlo.controlDown == 1 && std::tolower(c) == 'r') {
        groove.toggleRecord();
        return;
    }
    if (kelGlo.what == kelKeyUp) {
        if (tapPending && std::tolower(c) == 't') {
            tapPending = false;
            groove.tap(tapTicks);
        }
        return;
    }
    const bool firstPress = kelGlo.what == kelKeyDown && heldCount(c) == 1;

    if (c == '*') {
        if (firstPress) keypadLayout = !keypadLayout;
        return;
    }
    if (const int16_t t = trackOfDigit(c); t >= 0) {
        if (!firstPress) return;
        tapPending = false;  // T held to select a track is no tap
        switch (std::tolower(firstHeld("TMKRJ"))) {
            case 'm': groove.toggleMute(t); break;
            case 'k': groove.toggleKeep(t); break;
            case 'r':
                if (t < 4) groove.randomize(t);
                break;
            case 'j':
                key_numEnterStart(heldCount('j') ? 'j' : 'J', kGrooveIdTarget, 1, 99, 2);
                key_numEnterType();
                break;
            default: groove.selectTrack(t); break;
        }
        return;
    }
    const bool stepUp = c == '+' || c == kelArrowRight || c == kelArrowUp;
    const bool stepDown = c == '-' || c == kelArrowLeft || c == kelArrowDown;
    if (stepUp || stepDown) {
        stepKeys();
        return;
    }
    if (c == kelKeyReturn) {
        if (firstPress) returnKey();
        return;
    }
    if (firstPress) letterKeys();
}

void BLGroovePanel::stepKeys()
{
    const uint8_t c = kelGlo.keyChar;
    const bool up = c == '+' || c == kelArrowRight || c == kelArrowUp;
    const int sum = up ? heldCount('+') + heldCount(kelArrowRight) + heldCount(kelArrowUp)
                       : heldCount('-') + heldCount(kelArrowLeft) + heldCount(kelArrowDown);
    const int16_t size = sum > 10 ? 5 : 1;
    const int16_t step = up ? size : static_cast<int16_t>(-size);
    // In a menu or along the strip, Down and Right go to the next entry,
    // Up and Left to the one before, as the menu shows them.
    const int16_t along = c == '+' || c == kelArrowRight || c == kelArrowDown ? 1 : -1;
    switch (firstHeld("PVBbJMCI")) {
        case 'P':
        case 'p': groove.setPan(static_cast<int16_t>(groove.panControl() + step)); break;
        case 'V':
        case 'v': groove.setVolume(static_cast<int16_t>(groove.volumeControl() + step)); break;
        case 'B': {
            const int16_t position =
                static_cast<int16_t>(static_cast<int>(player().bpm - player().songBpm) + step);
            common_setBpmScroll(position);
            groove.setTempoSlider(position);
            break;
        }
        case 'b': groove.stepTempo(up ? 0.2f : -0.2f); break;
        case 'J':
        case 'j': groove.restoreStored(static_cast<int16_t>(groove.grooveStrip().selection() + along)); break;
        case 'M':
        case 'm': groove.stepMainVolume(step); break;
        // The selected track's group or loop, one step along its menu.
        case 'C':
        case 'c': groove.stepGroup(groove.model.selectedTrack, along); break;
        case 'I':
        case 'i': groove.stepLoop(groove.model.selectedTrack, along); break;
        default: break;
    }
}

void BLGroovePanel::returnKey()
{
    auto letterOf = [](char lower) {
        return heldCount(static_cast<uint8_t>(lower)) ? lower : static_cast<char>(std::toupper(lower));
    };
    if (held('v')) {
        if (groove.groupMode || groove.allMode)
            key_numEnterStartAny(static_cast<uint8_t>(letterOf('v')), gi::volumeLabel, -63, 63, 3, 64);
        else
            key_numEnterStart(static_cast<uint8_t>(letterOf('v')), gi::volumeLabel, 0, 127, 3);
    } else if (held('p')) {
        key_numEnterStart(static_cast<uint8_t>(letterOf('p')), gi::panLabel, -63, 63, 2);
    } else if (held('m')) {
        key_numEnterStart(static_cast<uint8_t>(letterOf('m')), gi::mainVolumeLabel, 0, 127, 3);
    } else if (held('j')) {
        key_numEnterStart(static_cast<uint8_t>(letterOf('j')), kGrooveIdTarget, 1, 99, 2);
    } else {
        groove.store();
    }
}

void BLGroovePanel::letterKeys()
{
    if (pressed('s'))
        groove.toggleSolo();
    else if (pressed('g'))
        groove.toggleGroupMode();
    else if (pressed('a'))
        groove.toggleAllMode();
    else if (pressed('e'))
        groove.empty();
    else if (pressed('t')) {
        tapPending = true;
        tapTicks = player().tickNow();
    } else if (pressed('l'))
        PWScreen.show(kPWLoadPanel);
    else if (pressed(kMidiLearnKey))
        groove.learnKey();
    else if (kelGlo.keyChar == ' ' || kelGlo.keyChar == '@')
        groove.togglePlay();
}

// ---- Numeric entries ---------------------------------------------------------------

namespace {

// Where a groove id being typed shows.
constexpr int16_t kGrooveIdLabel = grooveitem::positionLabel;

}  // namespace

void BLGroovePanel::key_numEnterStart(uint8_t letter, int16_t target, long minimum, long maximum,
                                      int16_t digits)
{
    key_numEnterStartAny(letter, target, minimum, maximum, digits, 0);
}

void BLGroovePanel::key_numEnterStartAny(uint8_t letter, int16_t target, long minimum, long maximum,
                                         int16_t digits, long offset)
{
    numEntry = NumEntry{};
    numEntry.open = true;
    numEntry.letter = letter;
    numEntry.target = target;
    numEntry.minimum = minimum;
    numEntry.maximum = maximum;
    numEntry.digits = digits;
    numEntry.offset = offset;
    const int16_t label = target == kGrooveIdTarget ? kGrooveIdLabel : target;
    labelValue(label, numEntry.savedLabel, sizeof numEntry.savedLabel);
    const char alone[2] = {kEllipsis, '\0'};
    setText(label, alone);
}

void BLGroovePanel::key_numEnterType()
{
    const uint8_t c = kelGlo.keyChar;
    const bool down = kelGlo.what == kelKeyDown || kelGlo.what == kelAutoKey;
    const bool firstPress = kelGlo.what == kelKeyDown && heldCount(c) == 1;
    if (down && c >= '0' && c <= '9') {
        numEntry.value = numEntry.value * 10 + (c - '0');
        if (numEntry.value != 0) ++numEntry.typed;
    } else if (firstPress && c == '-') {
        numEntry.negative = !numEntry.negative;
    } else if (firstPress && c == '+') {
        numEntry.negative = false;
    }
    if (heldCount(numEntry.letter) == 0) {
        if (numEntry.typed > 0)
            key_numEnterEnd();
        else
            key_numEnterCancel();
        return;
    }
    const bool returnPressed = firstPress && c == kelKeyReturn;
    if (numEntry.typed < numEntry.digits && !returnPressed) {
        if (firstPress && c == kelKeyDelete) {
            key_numEnterCancel();
            return;
        }
        char text[32];
        if (numEntry.typed == 0)
            std::snprintf(text, sizeof text, "%c", kEllipsis);
        else
            std::snprintf(text, sizeof text, "%s%ld%c", numEntry.negative ? "-" : "", numEntry.value,
                          kEllipsis);
        setText(numEntry.target == kGrooveIdTarget ? kGrooveIdLabel : numEntry.target, text);
        return;
    }
    key_numEnterEnd();
}

void BLGroovePanel::key_numEnterEnd()
{
    NumEntry e = numEntry;
    numEntry.open = false;
    long v = e.negative ? -e.value : e.value;
    if (v < e.minimum) v = e.minimum;
    if (v > e.maximum) v = e.maximum;
    const auto result = static_cast<int16_t>(v + e.offset);
    if (e.target == gi::volumeLabel) {
        groove.setVolume(result);
    } else if (e.target == gi::panLabel) {
        groove.setPan(result);
    } else if (e.target == gi::mainVolumeLabel) {
        groove.setMainVolume(result);
    } else {
        setText(kGrooveIdLabel, e.savedLabel);
        groove.restoreStored(groove.model.stored.grooveIDtoIndex(static_cast<int16_t>(v)));
    }
}

void BLGroovePanel::key_numEnterCancel()
{
    numEntry.open = false;
    setText(numEntry.target == kGrooveIdTarget ? kGrooveIdLabel : numEntry.target, numEntry.savedLabel);
}
