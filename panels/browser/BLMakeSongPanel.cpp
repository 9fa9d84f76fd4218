#include "panels/browser/BLMakeSongPanel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "core/kelFiles.h"
#include "core/kelQt.h"
#include "core/kelTextCodec.h"
#include "panels/startup/PWmain.h"
#include "ui/PWScreen.h"
#include "ui/kelPanelControl.h"

namespace {

// The chosen loop's name on the selection's colour, as the song list has it.
constexpr int16_t kChosenFill = 0x3D03;
constexpr int16_t kPageUp = 20;
constexpr int16_t kPageDown = 21;

std::string bpmText(double bpm)
{
    char text[16];
    std::snprintf(text, sizeof text, std::fabs(bpm - std::round(bpm)) < 0.05 ? "%.0f" : "%.1f", bpm);
    return text;
}

}  // namespace

BLMakeSongPanel* BLMakeSongPanel_Get()
{
    return dynamic_cast<BLMakeSongPanel*>(PWScreen.panel(kPWMakeSongPanel));
}

void BLMakeSongPanel::connected()
{
    for (int16_t row = 0; row < kRows; ++row)
        for (int16_t first : {kItemFirstName, kItemFirstGroup, kItemFirstHow, kItemFirstWhy})
            if (kelPanelControl* c = control(static_cast<int16_t>(first + row)); c && c->layout) {
                c->setValue(kelPropTextAlign, int16_t{0});
                c->setValue(kelPropFit, int16_t{1});
                if (first == kItemFirstName) c->setValue(kelPropFillColour, kChosenFill);
            }
    if (kelPanelControl* c = control(kItemStatus); c && c->layout) {
        c->setValue(kelPropTextAlign, int16_t{0});
        c->setValue(kelPropFit, int16_t{1});
    }
}

void BLMakeSongPanel::open(BLSongPlan p, Create create)
{
    plan = std::move(p);
    create_ = std::move(create);
    top = 0;
    playing = -1;
    chosen = -1;
    for (size_t i = 0; i < plan.loops.size() && chosen < 0; ++i)
        if (plan.loops[i].problem.empty()) chosen = static_cast<int16_t>(i);
    shownName_ = KEL_NameToLatin1(plan.name);
    setText(kItemName, shownName_);
    setText(kItemTempo, std::to_string(plan.bpm));
    setText(kItemDescription, KEL_NameToLatin1(plan.description));
    kelPanel::select(-1);
    if (screenIndex >= 0) PWScreen.show(screenIndex);
    refresh();
}

void BLMakeSongPanel::beforeShow()
{
    if (screenIndex >= 0) PWScreen.setPanelPositionCentered(screenIndex);
}

void BLMakeSongPanel::afterHide()
{
    stopPreview();
    kelPanel::select(-1);
}

void BLMakeSongPanel::setText(int16_t item, const std::string& text)
{
    if (kelPanelControl* c = control(item); c && c->layout) c->setValue(const_cast<char*>(text.c_str()));
}

std::string BLMakeSongPanel::fieldText(int16_t item) const
{
    char text[512] = {};
    if (kelPanelControl* c = control(item); c && c->layout) c->getValue(text);
    return text;
}

void BLMakeSongPanel::say(const std::string& utf8)
{
    setText(kItemStatus, KEL_NameToLatin1(utf8));
}

void BLMakeSongPanel::showRow(int16_t row)
{
    const int16_t at = static_cast<int16_t>(top + row);
    const bool here = at < static_cast<int16_t>(plan.loops.size());
    auto cell = [&](int16_t first, const std::string& text) {
        setText(static_cast<int16_t>(first + row), text);
    };
    const auto preview = static_cast<int16_t>(kItemFirstPreview + row);
    if (kelPanelControl* b = control(preview); b && here)
        b->setValue(static_cast<int16_t>(at == playing ? 1 : 0));
    showControl(preview, here);
    if (kelPanelControl* c = control(static_cast<int16_t>(kItemFirstName + row)); c && c->layout)
        c->setValue(kelPropFill, static_cast<int16_t>(here && at == chosen ? 1 : 0));
    if (!here) {
        for (int16_t first :
             {kItemFirstName, kItemFirstBpm, kItemFirstBars, kItemFirstGroup, kItemFirstHow, kItemFirstWhy})
            cell(first, "");
        return;
    }
    const BLMadeLoop& loop = plan.loops[static_cast<size_t>(at)];
    std::string name(1, ' ');
    name += KEL_NameToLatin1(loop.name);
    cell(kItemFirstName, name);
    if (!loop.problem.empty()) {
        for (int16_t first : {kItemFirstBpm, kItemFirstBars, kItemFirstGroup, kItemFirstHow}) cell(first, "");
        cell(kItemFirstWhy,
             KEL_NameToLatin1(blIntl.messageWithNames(kMsgLeftOut, {BLMakeSong_Says(loop.why)})));
        return;
    }
    const int16_t how = loop.barsChosen                                      ? kMsgChosen
                        : loop.tempo.found == BLLoopTempo::Found::fromName   ? kMsgFromName
                        : loop.tempo.found == BLLoopTempo::Found::fromLength ? kMsgFromLength
                                                                             : kMsgFromSound;
    cell(kItemFirstWhy, "");
    cell(kItemFirstBpm, bpmText(loop.tempo.bpm));
    cell(kItemFirstBars, std::to_string(loop.tempo.bars));
    cell(kItemFirstGroup, loop.group);
    cell(kItemFirstHow, blIntl.message(how).c_str());
}

void BLMakeSongPanel::refresh()
{
    for (int16_t row = 0; row < kRows; ++row) showRow(row);
    const auto count = static_cast<int16_t>(plan.loops.size());
    const bool canChange =
        chosen >= 0 && chosen < count && plan.loops[static_cast<size_t>(chosen)].problem.empty();
    const std::pair<int16_t, bool> buttons[] = {{kItemUp, top > 0},
                                                {kItemDown, top + kRows < count},
                                                {kItemGroup, canChange},
                                                {kItemBars, canChange}};
    for (const auto& [item, on] : buttons)
        if (kelPanelControl* c = control(item); c && c->layout) {
            if (on)
                c->enable();
            else
                c->disable();
        }
    if (!plan.problem.empty()) return say(BLMakeSong_Says(plan.why));
    const int leftOut = count - plan.usable();
    const std::vector<std::string> names = {std::to_string(plan.usable()), std::to_string(plan.groups.size()),
                                            std::to_string(plan.bpm), std::to_string(leftOut)};
    say(blIntl.messageWithNames(leftOut ? kMsgSummaryLeftOut : kMsgSummary, names));
}

void BLMakeSongPanel::choose(int16_t loop)
{
    const auto count = static_cast<int16_t>(plan.loops.size());
    if (count == 0) return;
    chosen = std::clamp<int16_t>(loop, 0, static_cast<int16_t>(count - 1));
    if (chosen < top) top = chosen;
    if (chosen >= top + kRows) top = static_cast<int16_t>(chosen - kRows + 1);
    refresh();
}

void BLMakeSongPanel::scroll(int16_t rows)
{
    const int16_t last = std::max<int16_t>(0, static_cast<int16_t>(plan.loops.size() - kRows));
    top = std::clamp<int16_t>(static_cast<int16_t>(top + rows), 0, last);
    refresh();
}

void BLMakeSongPanel::nextGroup()
{
    if (chosen < 0 || chosen >= static_cast<int16_t>(plan.loops.size())) return;
    const auto loop = static_cast<size_t>(chosen);
    if (!plan.loops[loop].problem.empty()) return;
    const std::vector<std::string> choices = BLMakeSong_GroupChoices(plan);
    const auto at = std::find(choices.begin(), choices.end(), plan.loops[loop].group);
    const size_t from = at == choices.end() ? 0 : static_cast<size_t>(at - choices.begin());
    // A group the library cannot take is passed over; when none can, it says why.
    BLMakeSongWhy why;
    for (size_t step = 1; step < choices.size(); ++step)
        if (BLMakeSong_SetGroup(plan, loop, choices[(from + step) % choices.size()], &why)) return refresh();
    refresh();
    if (why.message) say(BLMakeSong_Says(why));
}

void BLMakeSongPanel::nextBars()
{
    if (chosen < 0 || chosen >= static_cast<int16_t>(plan.loops.size())) return;
    const BLMadeLoop& loop = plan.loops[static_cast<size_t>(chosen)];
    if (!loop.problem.empty()) return;
    BLMakeSong_SetBars(plan, static_cast<size_t>(chosen), loop.tempo.bars >= 8 ? 1 : loop.tempo.bars * 2);
    refresh();
}

void BLMakeSongPanel::applyTempo()
{
    const std::string text = fieldText(kItemTempo);
    const long tempo = text.empty() ? 0 : std::strtol(text.c_str(), nullptr, 10);
    if (tempo == plan.bpm && plan.problem.empty()) return;
    BLMakeSong_SetTempo(plan, static_cast<int>(std::clamp<long>(tempo, 0, 9999)));
    // Emptied, the field shows the loops' own tempo again.
    if (tempo <= 0) setText(kItemTempo, std::to_string(plan.bpm));
    refresh();
}

void BLMakeSongPanel::preview(int16_t loop)
{
    if (loop < 0 || loop >= static_cast<int16_t>(plan.loops.size())) return;
    const bool again = loop == playing;
    stopPreview();
    char kel[kKelPathMax + 1];
    if (!again && KEL_SystemPathToKelPath(plan.loops[static_cast<size_t>(loop)].source.c_str(), kel) &&
        kelQt_PlaySoundStart(kel))
        playing = loop;
    refresh();
}

void BLMakeSongPanel::stopPreview()
{
    if (playing >= 0) kelQt_PlaySoundStop();
    playing = -1;
}

void BLMakeSongPanel::create()
{
    applyTempo();
    if (!plan.problem.empty()) return;
    const std::string name = fieldText(kItemName);
    if (name != shownName_) plan.name = KEL_Latin1ToUtf8(name);
    plan.description = KEL_Latin1ToUtf8(fieldText(kItemDescription));
    const BLSongPlan made = plan;
    const Create then = std::move(create_);
    create_ = nullptr;
    close();
    if (then) then(made);
}

void BLMakeSongPanel::close()
{
    create_ = nullptr;
    if (screenIndex >= 0 && PWScreen.isVisible(screenIndex))
        PWScreen.hide(screenIndex);
    else
        afterHide();
}

void BLMakeSongPanel::onItem()
{
    const int16_t item = hitItem;
    if (item >= kItemFirstPreview && item < kItemFirstPreview + kRows)
        return preview(static_cast<int16_t>(top + item - kItemFirstPreview));
    if (item >= kItemFirstName && item < kItemFirstWhy + kRows) {
        // A click on a row chooses its loop; the keys then act on it, not on a field.
        kelPanel::select(-1);
        return choose(static_cast<int16_t>(top + (item - kItemFirstName) % kRows));
    }
    switch (item) {
        case kItemClose:
        case kItemCancel: close(); break;
        case kItemCreate: create(); break;
        case kItemGroup: nextGroup(); break;
        case kItemBars: nextBars(); break;
        case kItemUp: scroll(-kRows); break;
        case kItemDown: scroll(kRows); break;
        default: break;
    }
}

void BLMakeSongPanel::onKey()
{
    if (kelGlo.what != kelKeyDown && kelGlo.what != kelAutoKey) return;
    const uint8_t key = kelGlo.keyChar;
    // The screen hands keys to the panel: a field being typed in takes them,
    // but for Return (on the tempo a new tempo applies first) and Tab.
    if (focus == kItemName || focus == kItemTempo || focus == kItemDescription) {
        if (key == '\t') {
            const int16_t next = focus == kItemName    ? kItemTempo
                                 : focus == kItemTempo ? kItemDescription
                                                       : kItemName;
            return kelPanel::select(next);
        }
        if (key != kelKeyReturn) {
            if (kelPanelControl* field = control(focus)) field->key();
            return;
        }
        if (kelGlo.what != kelKeyDown) return;
        if (focus == kItemTempo &&
            (fieldText(kItemTempo) != std::to_string(plan.bpm) || !plan.problem.empty()))
            return applyTempo();
        return create();
    }
    if (key == kelArrowUp || key == kelArrowDown)
        return choose(static_cast<int16_t>(chosen + (key == kelArrowUp ? -1 : 1)));
    if (kelGlo.specialKey == kPageDown || (kelGlo.specialKey == kPageUp && !kelGlo.escapeKey))
        return scroll(kelGlo.specialKey == kPageDown ? kRows : -kRows);
    if (kelGlo.what != kelKeyDown) return;
    if (key == kelKeyReturn) return create();
    if (key == ' ') return preview(chosen);
    if (key == 'g' || key == 'G') return nextGroup();
    if (key == 'b' || key == 'B') return nextBars();
}
