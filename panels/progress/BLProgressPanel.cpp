#include "panels/progress/BLProgressPanel.h"

#include <cstdio>
#include <vector>

#include "audio/QualMix.h"
#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "core/kelQt.h"
#include "platform/Platform.h"
#include "ui/PWScreen.h"
#include "ui/kelPanelControl.h"

namespace {

constexpr int16_t kProgressPanelIndex = 10;
constexpr long kHideDelayTicks = 30;
// The window's events are taken at most this often while an operation runs.
constexpr uint32_t kPumpIntervalMs = 15;
constexpr int kMostEventsARound = 64;

// Finished file dialogs that arrived while the panel was up.
std::vector<uintptr_t> gDeferredDialogs;

}  // namespace

BLProgressPanel* BLProgress()
{
    return dynamic_cast<BLProgressPanel*>(PWScreen.panel(kProgressPanelIndex));
}

void BLProgress_subAmount(float x)
{
    if (BLProgressPanel* p = BLProgress()) p->subAmount(x);
}

bool BLProgress_shouldStop()
{
    BLProgressPanel* p = BLProgress();
    return p && p->shouldStop();
}

BLProgressPanel::~BLProgressPanel()
{
    QualMix_SetHooks(nullptr, nullptr);
    kelQt_soundConvert_setHooks(nullptr, nullptr);
}

void BLProgressPanel::connected()
{
    QualMix_SetHooks(BLProgress_subAmount, BLProgress_shouldStop);
    kelQt_soundConvert_setHooks(BLProgress_subAmount, BLProgress_shouldStop);
}

void BLProgressPanel::onItem()
{
    if (hitItem == kItemStop && !liveChange) pressed = 1;
}

void BLProgressPanel::show()
{
    message("");
    amount(0.0f);
    subAmountRange(1.0f);
    setStopMode(false);
    PWScreen.show(screenIndex);
    stopped = 0;
    pressed = 0;
    lastPump_ = 0;
}

void BLProgressPanel::hide()
{
    // The last state stays in view a moment, the window still answering.
    const long until = static_cast<long>(static_cast<int32_t>(KEL_Ticks())) + kHideDelayTicks;
    while (static_cast<long>(static_cast<int32_t>(KEL_Ticks())) < until) {
        pump(true);
        plat::sleepMs(1);
    }
    PWScreen.hide(screenIndex);
    // Dialogs that finished meanwhile go back to the main loop.
    for (uintptr_t dialog : gDeferredDialogs)
        if (plat::hasBackend()) plat::backend().postDialogDone(reinterpret_cast<void*>(dialog));
    gDeferredDialogs.clear();
}

void BLProgressPanel::message(const char* text)
{
    if (kelPanelControl* c = control(kItemMessage)) {
        char copy[256];
        std::snprintf(copy, sizeof copy, "%s", text ? text : "");
        c->setValue(copy);
    }
}

void BLProgressPanel::message(short n)
{
    message(blIntl.message(n).c_str());
}

void BLProgressPanel::setBar(float fraction)
{
    if (kelPanelControl* c = control(kItemBar)) c->setValue(static_cast<int16_t>(fraction * 100.0f));
}

void BLProgressPanel::amount(float a)
{
    base = a;
    setBar(a);
}

void BLProgressPanel::subAmountRange(float r)
{
    range = r;
}

void BLProgressPanel::subAmount(float x)
{
    setBar(x * range + base);
    pump();
}

void BLProgressPanel::setStopMode(bool on)
{
    kelPanelControl* c = control(kItemStop);
    if (!c) return;
    if (on) {
        c->show();
    } else {
        c->hide();
    }
    if (visible) {
        const kelRect area = c->rect;
        PWScreen.update(&area);
    }
}

void BLProgressPanel::stopPressed()
{
    kelPanelControl* c = control(kItemStop);
    if (!c || !c->visible) return;
    stopped = 1;
    setStopMode(false);
}

void BLProgressPanel::onKey()
{
    if (kelGlo.what == kelKeyDown && kelGlo.escapeKey) stopPressed();
}

bool BLProgressPanel::shouldStop()
{
    pump();
    if (KEL_TerminateRequested()) stopped = 1;
    return stopped;
}

void BLProgressPanel::handleEvent(uintptr_t message)
{
    BLProgressPanel* self = BLProgress();
    if (message != 0) {
        gDeferredDialogs.push_back(message);
        return;
    }
    if (!self) return;
    switch (kelGlo.what) {
        case kelMouseDown:
            // The screen hands it to this panel alone (it is modal).
            self->pressed = 0;
            PWScreen.events();
            if (self->pressed) self->stopPressed();
            break;
        case kelKeyDown:
            if (kelGlo.escapeKey) self->stopPressed();
            break;
        case kelKeyUp:  // a key let go meanwhile is let go for the panels too
        case kelUpdateEvt:
        case kelResizeEvt: PWScreen.events(); break;
        case kelCloseEvt: self->stopPressed(); break;
        default: break;  // moves, commands: nothing while it runs
    }
}

void BLProgressPanel::pump(bool now)
{
    if (!visible || !plat::hasBackend()) return;
    const uint32_t t = plat::millis();
    if (!now && lastPump_ != 0 && t - lastPump_ < kPumpIntervalMs) return;
    lastPump_ = t == 0 ? 1 : t;
    KelAppHooks hooks;
    hooks.remoteEvents = &BLProgressPanel::handleEvent;
    for (int i = 0; i < kMostEventsARound && KEL_HandleOneMessage(hooks); ++i) {
    }
}
