// Idle work of the groove panel: the player's beat, the light chase of the
// song browser's auditions, the random-set names under the mouse, the
// blinking of kept tracks and the track meters.
#include <algorithm>

#include "core/kelCore.h"
#include "panels/groove/BLGrooveItems.h"
#include "panels/groove/BLGroovePanel.h"

namespace gi = grooveitem;

namespace {

constexpr uint32_t kBlinkTicks = 15;
constexpr int16_t kChaseLamps = 8;
constexpr int16_t kChaseTail = 6;  // a lamp fades over this many periods
constexpr int16_t kMeterFall = 4;

}  // namespace

void BLGroovePanel::onIdle()
{
    ticks = kelGlo.ticks;
    // A gesture holds the main loop: the controller's services go on from here.
    if (liveChange) groove.serve();
    if (chase.running) {
        chaseIdle();
        return;
    }
    randomNameIdle();
    if (!liveChange && takeToConvert >= 0) convertTakeAsked();
    if (groove.takes().size() != takesShown) {
        takesShown = groove.takes().size();
        fillTakesMenu();
    }
    hintIdle();
    waitingIdle();
    blinkIdle();
    metersIdle();
    effectsIdle();
}

void BLGroovePanel::lightGame_Start(int16_t period)
{
    chase.running = true;
    chase.reversed = !chase.reversed;
    chase.period = std::max<int16_t>(period, 1);
    chase.index = 0;
    chase.deadline = 0;
    std::fill(std::begin(chase.lampEnd), std::end(chase.lampEnd), 0u);
}

void BLGroovePanel::lightGame_End()
{
    chase.running = false;
    for (int16_t t = 0; t < gi::kTracks; ++t) {
        meterShown[t] = 0;
        if (kelPanelControl* c = control(gi::meter[t])) c->setValue(int16_t{0});
    }
}

void BLGroovePanel::chaseIdle()
{
    const uint32_t now = kelGlo.ticks;
    const int32_t span = kChaseTail * chase.period;
    if (KEL_EveTimeoutRepeated(&chase.deadline, chase.period)) {
        chase.index = static_cast<int16_t>((chase.index + 1) % kChaseLamps);
        chase.lampEnd[chase.index] = now + static_cast<uint32_t>(span);
    }
    for (int16_t i = 0; i < kChaseLamps; ++i) {
        const int32_t left = static_cast<int32_t>(chase.lampEnd[i] - now);
        const int16_t value = left > 0 ? static_cast<int16_t>(left * 100 / span) : int16_t{0};
        const int16_t track = chase.reversed ? i : static_cast<int16_t>(kChaseLamps - 1 - i);
        meterShown[track] = value;
        if (kelPanelControl* c = control(gi::meter[track])) c->setValue(value);
    }
}

void BLGroovePanel::randomNameIdle()
{
    if (kelGlo.mouseX == lastMouseX && kelGlo.mouseY == lastMouseY) return;
    lastMouseX = kelGlo.mouseX;
    lastMouseY = kelGlo.mouseY;
    int16_t over = groove.randomSet();
    for (int16_t r = 0; r < 4; ++r) {
        const kelPanelControl* c = control(gi::randomButton[r]);
        if (c && c->visible && c->rect.contains(kelGlo.mouseX, kelGlo.mouseY)) over = r;
    }
    if (over != shownRandomName) setRndStyleName(over);
}

void BLGroovePanel::blinkIdle()
{
    if (groove.keptCount > 0) {
        const bool phase = (ticks / kBlinkTicks) % 2 != 0;
        if (phase == blinkPhase) return;
        blinkPhase = phase;
    } else {
        if (!blinkPhase) return;
        blinkPhase = false;
    }
    for (int16_t t = 0; t < gi::kTracks; ++t) {
        adjustTrackLed(t);
        if (!liveChange) adjustSampColor(t);
    }
}

void BLGroovePanel::metersIdle()
{
    if (!visible || ticks == lastMeterTick) return;
    lastMeterTick = ticks;
    for (int16_t t = 0; t < gi::kTracks; ++t) {
        int16_t level = meterShown[t];
        int16_t left = 0, right = 0;
        if (groove.takePeaks(t, left, right)) {
            const int volume = groove.model.current.tracks[t].volume;
            const int l = std::min(255, (left / 150 * volume) / 255);
            const int r = std::min(255, (right / 150 * volume) / 255);
            level = static_cast<int16_t>(std::max(l, r));
        }
        if (level > meterShown[t])
            meterShown[t] = level;
        else
            meterShown[t] = static_cast<int16_t>(std::max(0, meterShown[t] - kMeterFall));
        if (kelPanelControl* c = control(gi::meter[t]))
            c->setValue(meterShown[t]);  // a full-scale loop at full volume reads 108; the bar ends at 99
    }
}
