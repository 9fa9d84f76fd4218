#include "panels/effects/BLEffectsPanel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "audio/fx/FxCatalog.h"
#include "audio/fx/FxKnob.h"
#include "control/BLGrooveController.h"
#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "core/kelTextCodec.h"
#include "panels/startup/PWmain.h"
#include "panels/tuner/BLTunerKnob.h"
#include "ui/PWScreen.h"
#include "ui/PWpopup.h"

namespace {

constexpr int16_t kMsgTrackTitle = 644;  // "Effects: track %s"
constexpr int16_t kMsgMainTitle = 645;
constexpr int16_t kMsgNone = 646;
constexpr int16_t kMsgFilter = 647;  // then delay, reverb, limiter
constexpr int16_t kMsgBeat = 666;    // "%s beat", then "%s beats"
constexpr int16_t kMsgBypass = 668;
constexpr int16_t kMsgPage = 669;  // "Page %s of %s"
constexpr int16_t kMsgHint = 670;
constexpr int16_t kMsgMissing = 671;  // "%s (not installed)"

// The built-ins' words in the program's languages.
const std::map<std::string, int16_t>& builtinWords()
{
    static const std::map<std::string, int16_t> words = {
        {"filter", kMsgFilter}, {"delay", 648},     {"reverb", 649},  {"limiter", 650},  {"type", 651},
        {"cutoff", 652},        {"resonance", 653}, {"time", 654},    {"feedback", 655}, {"mix", 656},
        {"pingpong", 657},      {"size", 658},      {"damping", 659}, {"ceiling", 660},  {"lowpass", 661},
        {"highpass", 662},      {"bandpass", 663},  {"on", 664},      {"off", 665},
    };
    return words;
}

std::string words(int16_t message, std::initializer_list<std::string_view> names = {})
{
    return blIntl.messageWithNames(message, names);
}

// A built-in's word as the language says it, else as the effect says it.
std::string said(const std::string& key, const std::string& otherwise, bool builtin)
{
    if (builtin)
        if (auto it = builtinWords().find(key); it != builtinWords().end()) return words(it->second);
    return otherwise;
}

int16_t knobTop(const FxParamInfo& p)
{
    const int n = Fx_StepCount(p);
    return static_cast<int16_t>(n > 1 ? (n - 1) * BLEffectsPanel::kStepUnits : BLEffectsPanel::kKnobRange);
}

int16_t knobAt(const FxParamInfo& p, float value)
{
    return static_cast<int16_t>(std::lround(Fx_PlaceOf(p, value) * knobTop(p)));
}

}  // namespace

BLEffectsPanel::BLEffectsPanel(BLGrooveController& controller) : groove(controller) {}

kelPanelControl* BLEffectsPanel::newCustomControl(int16_t kind)
{
    if (kind == kelKindRoundScroll) return new BLTunerKnob;
    return PWPanelClass::newCustomControl(kind);
}

void BLEffectsPanel::onPanelOpened()
{
    for (int16_t item : {kItemTitle, kItemHint})
        if (kelPanelControl* c = control(item)) {
            c->setValue(kelPropTextAlign, int16_t{0});
            c->setValue(kelPropFit, int16_t{1});
        }
    for (int16_t s = 0; s < kFxSlots; ++s) {
        if (kelPanelControl* c = control(item(s, kBypassWords))) {
            c->setValue(kelPropTextAlign, int16_t{0});
            c->setValue(kelPropFit, int16_t{1});
        }
        for (int16_t k = 0; k < kKnobs; ++k) {
            for (int16_t part : {kCaption, kValue})
                if (kelPanelControl* c = control(item(s, static_cast<int16_t>(part + k))))
                    c->setValue(kelPropFit, int16_t{1});
            if (auto* knob = dynamic_cast<BLTunerKnob*>(control(item(s, static_cast<int16_t>(kKnob + k)))))
                knob->wheelStep = kWheelUnits;
        }
    }
}

// The chooser's effects: the built-ins (the limiter on the main mix only),
// then every plugin this program can run, as the search found them.
void BLEffectsPanel::offer()
{
    choices.clear();
    for (const FxEffectInfo& e : Fx_Builtins())
        if (e.name != "limiter" || shownRack == kFxMain) choices.push_back(e.name);
    for (const FxEffectInfo& e : Fx_Plugins())
        if (e.unusable.empty() && choices.size() + 2 < PWpopupControl::kMaxItems) choices.push_back(e.name);
}

void BLEffectsPanel::openFor(int16_t rack)
{
    shownRack = std::clamp<int16_t>(rack, 0, kFxMain);
    page[0] = page[1] = 0;
    offer();
    if (!PWScreen.isVisible(screenIndex))
        PWScreen.show(screenIndex);
    else
        showAll();
}

void BLEffectsPanel::beforeShow()
{
    // Kept on the stage, wherever the window puts it.
    if (kelPanelControl* back = background(); back && !PWScreen.stage.contains(back->rect))
        PWScreen.setPanelPosition(screenIndex, 100, 80);
    if (choices.empty()) offer();
    showAll();
}

const FxEffectInfo* BLEffectsPanel::infoOf(int16_t slot) const
{
    const FxSlot& s = groove.effectSlot(shownRack, slot);
    return s.empty() ? nullptr : Fx_Find(s.effect);
}

int16_t BLEffectsPanel::pageCount(int16_t slot) const
{
    const FxEffectInfo* info = infoOf(slot);
    const size_t n = info ? info->params.size() : 0;
    return static_cast<int16_t>(std::max<size_t>(1, (n + kKnobs - 1) / kKnobs));
}

const FxParamInfo* BLEffectsPanel::knobParam(int16_t slot, int16_t knob) const
{
    if (slot < 0 || slot >= kFxSlots || knob < 0 || knob >= kKnobs) return nullptr;
    const FxEffectInfo* info = infoOf(slot);
    const size_t at = static_cast<size_t>(page[slot]) * kKnobs + static_cast<size_t>(knob);
    return info && at < info->params.size() ? &info->params[at] : nullptr;
}

void BLEffectsPanel::setText(int16_t item, const std::string& utf8)
{
    if (kelPanelControl* c = control(item)) c->setValue(const_cast<char*>(utf8.c_str()));
}

void BLEffectsPanel::showAll()
{
    setText(kItemTitle, shownRack == kFxMain ? words(kMsgMainTitle)
                                             : words(kMsgTrackTitle, {std::to_string(shownRack + 1)}));
    setText(kItemHint, words(kMsgHint));
    for (int16_t s = 0; s < kFxSlots; ++s) showSlot(s);
}

void BLEffectsPanel::showSlot(int16_t slot)
{
    const FxSlot& s = groove.effectSlot(shownRack, slot);
    shown.slots[slot] = s;
    const FxEffectInfo* info = infoOf(slot);
    const bool builtin = info && !info->plugin;
    if (auto* menu = dynamic_cast<PWpopupControl*>(control(item(slot, kChooser)))) {
        menu->count = 0;
        menu->setValue(int16_t{0}, const_cast<char*>(words(kMsgNone).c_str()));
        int16_t chosen = 0;
        for (size_t i = 0; i < choices.size(); ++i) {
            const FxEffectInfo* e = Fx_Find(choices[i]);
            const std::string title = e ? said(e->name, e->title, !e->plugin) : choices[i];
            menu->setValue(static_cast<int16_t>(i + 1), const_cast<char*>(title.c_str()));
            if (choices[i] == s.effect) chosen = static_cast<int16_t>(i + 1);
        }
        // An effect not offered here (a plugin gone, a name from elsewhere) shows as it is.
        if (!s.empty() && chosen == 0) {
            chosen = menu->count;
            const std::string name = info ? info->title : s.effect;
            menu->setValue(chosen, const_cast<char*>(words(kMsgMissing, {name}).c_str()));
        }
        menu->setValue(chosen);
    }
    if (kelPanelControl* c = control(item(slot, kBypass)))
        c->setValue(static_cast<int16_t>(s.bypass ? 1 : 0));
    // An empty slot has nothing to bypass.
    showControl(item(slot, kBypass), !s.empty());
    showControl(item(slot, kBypassWords), !s.empty());
    if (!s.empty()) setText(item(slot, kBypassWords), words(kMsgBypass));
    const int16_t pages = pageCount(slot);
    page[slot] = std::min<int16_t>(page[slot], static_cast<int16_t>(pages - 1));
    showControl(item(slot, kPage), pages > 1);
    showControl(item(slot, kPageWords), pages > 1);
    if (pages > 1)
        setText(item(slot, kPageWords),
                words(kMsgPage, {std::to_string(page[slot] + 1), std::to_string(pages)}));
    for (int16_t k = 0; k < kKnobs; ++k) {
        const FxParamInfo* p = knobParam(slot, k);
        auto* knob = dynamic_cast<BLTunerKnob*>(control(item(slot, static_cast<int16_t>(kKnob + k))));
        if (!knob) continue;
        if (!p) {
            showControl(item(slot, static_cast<int16_t>(kKnob + k)), false);
            setText(item(slot, static_cast<int16_t>(kCaption + k)), "");
            setText(item(slot, static_cast<int16_t>(kValue + k)), "");
            continue;
        }
        const int16_t top = knobTop(*p);
        knob->minimum = 0;
        knob->maximum = top;
        knob->wheelStep = Fx_StepCount(*p) > 1 ? kStepUnits : kWheelUnits;
        knob->restValue = knobAt(*p, p->deflt);
        knob->value = knobAt(*p, Fx_ValueOf(s, *p));
        knob->calcThumb();
        if (knob->visible)
            knob->draw();
        else
            knob->show();
        setText(item(slot, static_cast<int16_t>(kCaption + k)), said(p->name, p->label, builtin));
        showValue(slot, k);
    }
}

void BLEffectsPanel::showValue(int16_t slot, int16_t knob)
{
    const FxParamInfo* p = knobParam(slot, knob);
    if (!p) return;
    const FxEffectInfo* info = infoOf(slot);
    const bool builtin = info && !info->plugin;
    const float v = Fx_ValueOf(groove.effectSlot(shownRack, slot), *p);
    std::string text = Fx_ValueText(*p, v);
    if (builtin && p->unit == "beats")
        text = words(static_cast<int16_t>(kMsgBeat + (v > 1.0f ? 1 : 0)), {text});
    else if (p->toggled || !p->choices.empty())
        text = said(text, text, builtin);
    setText(item(slot, static_cast<int16_t>(kValue + knob)), text);
}

void BLEffectsPanel::knobMoved(int16_t slot, int16_t knob)
{
    const FxParamInfo* p = knobParam(slot, knob);
    kelPanelControl* c = control(item(slot, static_cast<int16_t>(kKnob + knob)));
    if (!p || !c) return;
    // Where the default sits (a double-click's place) is the default itself,
    // not the value next to it that the knob's step lands on.
    const float value = c->get() == knobAt(*p, p->deflt)
                            ? p->deflt
                            : Fx_ValueAt(*p, static_cast<double>(c->get()) / knobTop(*p));
    groove.setEffectParam(shownRack, slot, p->name, value);
    shown.slots[slot] = groove.effectSlot(shownRack, slot);
    showValue(slot, knob);
}

void BLEffectsPanel::chosen(int16_t slot)
{
    kelPanelControl* menu = control(item(slot, kChooser));
    if (!menu) return;
    const int16_t at = menu->get();
    const FxSlot& s = groove.effectSlot(shownRack, slot);
    if (at == 0) {
        groove.clearEffect(shownRack, slot);
    } else if (at <= static_cast<int16_t>(choices.size())) {
        const std::string& effect = choices[static_cast<size_t>(at - 1)];
        if (effect != s.effect) page[slot] = 0;
        groove.setEffect(shownRack, slot, effect);
    }
    showSlot(slot);
}

void BLEffectsPanel::onItem()
{
    const int16_t hit = hitItem;
    for (int16_t s = 0; s < kFxSlots; ++s) {
        const int16_t part = static_cast<int16_t>(hit - kSlotBase[s]);
        if (part < 0 || part >= kSlotItems) continue;
        if (part >= kKnob && part < kKnob + kKnobs) return knobMoved(s, static_cast<int16_t>(part - kKnob));
        if (liveChange) return;
        if (part == kChooser) return chosen(s);
        if (part == kBypass) {
            const FxSlot& slot = groove.effectSlot(shownRack, s);
            groove.setEffectBypass(shownRack, s, !slot.bypass);
            return showSlot(s);
        }
        if (part == kPage) {
            page[s] = static_cast<int16_t>((page[s] + 1) % pageCount(s));
            return showSlot(s);
        }
        return;
    }
    if (hit == kItemClose && !liveChange) PWScreen.hide(screenIndex);
}

// What the groove holds now shows, whoever changed it (MIDI, the link, undo).
void BLEffectsPanel::onIdle()
{
    for (int16_t s = 0; s < kFxSlots; ++s)
        if (!(groove.effectSlot(shownRack, s) == shown.slots[s])) showSlot(s);
}

// While MIDI learn waits, a click on a knob or a bypass picks what the next
// CC or note drives instead of moving it.
bool BLEffectsPanel::learnPick()
{
    for (int16_t s = 0; s < kFxSlots; ++s) {
        for (int16_t k = 0; k < kKnobs; ++k) {
            kelPanelControl* c = control(item(s, static_cast<int16_t>(kKnob + k)));
            const FxParamInfo* p = knobParam(s, k);
            if (p && c && c->live() && c->rect.contains(kelGlo.mouseX, kelGlo.mouseY)) {
                groove.learnPickEffect(shownRack, s, p->name);
                return true;
            }
        }
        kelPanelControl* b = control(item(s, kBypass));
        if (b && b->live() && b->rect.contains(kelGlo.mouseX, kelGlo.mouseY)) {
            groove.learnPickEffect(shownRack, s, "");
            return true;
        }
    }
    return false;
}

void BLEffectsPanel::events()
{
    if (kelGlo.what == kelMouseDown && groove.learning() && learnPick()) return;
    PWPanelClass::events();
}
