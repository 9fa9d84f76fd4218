#include "panels/BLProgressPanel.h"

#include <cstdio>

#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "ui/PWScreen.h"
#include "ui/kelPanelControl.h"

namespace {

constexpr int16_t kProgressPanelIndex = 10;
constexpr long kHideDelayTicks = 30;

}  // namespace

BLProgressPanel* BLProgress() { return dynamic_cast<BLProgressPanel*>(PWScreen.panel(kProgressPanelIndex)); }

void BLProgress_subAmount(float x)
{
    if (BLProgressPanel* p = BLProgress()) p->subAmount(x);
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
}

void BLProgressPanel::hide()
{
    KEL_WaitTicks(kHideDelayTicks);
    PWScreen.hide(screenIndex);
}

void BLProgressPanel::message(const char* text)
{
    if (kelPanelControl* c = control(kItemMessage)) {
        char copy[256];
        std::snprintf(copy, sizeof copy, "%s", text ? text : "");
        c->setValue(copy);
    }
}

void BLProgressPanel::message(short n) { message(blIntl.message(n).c_str()); }

void BLProgressPanel::setBar(float fraction)
{
    if (kelPanelControl* c = control(kItemBar)) c->setValue(static_cast<int16_t>(fraction * 100.0f));
}

void BLProgressPanel::amount(float a)
{
    base = a;
    setBar(a);
}

void BLProgressPanel::subAmountRange(float r) { range = r; }

void BLProgressPanel::subAmount(float x) { setBar(x * range + base); }

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

bool BLProgressPanel::shouldStop()
{
    if (KEL_ButtonDown()) {
        pressed = 0;
        kelGlo.what = kelMouseDown;
        PWScreen.events();
        if (pressed) {
            stopped = 1;
            setStopMode(false);
        }
    }
    return stopped;
}
