#include "ui/PWPanel.h"

#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "core/kelLayouts.h"
#include "ui/BLDragger.h"
#include "ui/BLMeters.h"
#include "ui/BLScrolls.h"
#include "ui/PWImageCtrls.h"
#include "ui/PWPanelCtrls.h"
#include "ui/PWScreen.h"
#include "ui/PWpopup.h"

kelPanelControl* PWNewApplicationControl(int16_t kind)
{
    switch (kind) {
        case kelKindStaticCast: return new PWPanelStaticCastControl;
        case kelKindBackpane: return new PWPanelBackpaneControl;
        case kelKindScroll: return new BLScroll;
        case kelKindImage: return new PWPanelImageControl;
        case kelKindButton: return new PWPanelButtonControl;
        case kelKindCheck: return new PWPanelCheckControl;
        case kelKindRotary: return new PWPanelRotaryControl;
        case kelKindText: return new PWPanelTextControl;
        case kelKindRadio: return new PWPanelRadioControl;
        case kelKindImageID: return new imageIDControl;
        case kelKindImagePtr: return new imagePtrControl;
        case kelKindImageBar: return new imageBarControl;
        case kelKindPopup: return new PWpopupControl;
        case kelKindSpectre: return new PWPanelSpectreControl;
        case kelKindFluidFilm: return new PWPanelFluidFilmControl;
        case kelKindRoundScroll: return new BLRoundScroll;
        case kelKindDragger: return new BLDraggerCtrl;
        case kelKindDraggerReceiver: return new BLDraggerReceiverCtrl;
        case kelKindLevelBar: return new BLLevelBarControl;
        case kelKindRotor: return new BLRotorControl;
        case kelKindProgress: return new BLProgressControl;
        default: return nullptr;
    }
}

PWPanelClass::~PWPanelClass()
{
    // The controls point into the layouts: they go first.
    dispose();
    for (KelLayout*& layout : layouts) {
        delete layout;
        layout = nullptr;
    }
}

kelPanelControl* PWPanelClass::newCustomControl(int16_t kind)
{
    if (kelPanelControl* c = PWNewApplicationControl(kind)) return c;
    return kelPanelPro::newCustomControl(kind);
}

void PWPanelClass::attachLayouts(int16_t main, int16_t second, int16_t third, KelCasts* casts,
                                 const kelRect* stage)
{
    const int16_t ids[kLayouts] = {main, second, third};
    for (int k = 0; k < kLayouts; ++k) {
        if (ids[k] == -1 || layouts[k]) continue;
        auto* layout = new KelLayout;
        layout->Set(casts, ids[k]);
        layout->Load();
        if (stage) layout->bounds = *stage;
        layout->RecalcAll();
        layouts[k] = layout;
        attachLayout(layout, kLayoutBases[k]);
    }
}

void PWPanelClass::beforeItem()
{
    if (PWScreen.help && screenIndex >= 0) PWScreen.help->hit(screenIndex, hitItem);
}

void PWPanelClass::getHelp(int16_t* helpID)
{
    if (!visible || !helpID) return;
    if (background()->rect.contains(kelGlo.mouseX, kelGlo.mouseY)) *helpID = -1;
    for (int16_t i = 0; i < controlCount; ++i) {
        const kelPanelControl* c = control(i);
        // A background's auxiliary values name its colour schemes, not a help number.
        if (c->kind == kelKindBackpane) continue;
        const int16_t number = c->aux(kKelAuxHelp);
        if (number > 0 && c->rect.contains(kelGlo.mouseX, kelGlo.mouseY)) *helpID = number;
    }
}

void PWPanelClass::showControl(int16_t item, bool on)
{
    kelPanelControl* c = control(item);
    if (!c || !c->layout) return;
    if (on) {
        c->show();
    } else if (c->visible) {
        c->hide();
        const kelRect area = c->rect;
        if (visible) PWScreen.update(&area);
    }
}

void PWPanelClass::setIntlString(int16_t item, int16_t messageID)
{
    kelPanelControl* c = control(item);
    if (!c) return;
    kelText text = blIntl.message(messageID);
    c->setValue(text.data());
}

bool PWPanelClass::backgroundHit(int16_t x, int16_t y) const
{
    const kelPanelControl* back = background();
    if (!back || !back->rect.contains(x, y)) return false;
    if (const auto* picture = dynamic_cast<const PWPanelImageControl*>(back)) return picture->hitTest(x, y);
    return true;
}
