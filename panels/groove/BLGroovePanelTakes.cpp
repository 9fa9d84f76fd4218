// The takes' menu under Record: every take to turn into grooves, rename,
// remove or play back, and at the bottom, where the closed box shows it, the
// last take played. The list opens upward from the box. It is filled each time it
// opens, so it holds the document's takes as they are now.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/BLInternational.h"
#include "core/kelTextCodec.h"
#include "panels/groove/BLGrooveItems.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/startup/PWmain.h"
#include "ui/PWScreen.h"
#include "ui/PWpopup.h"

namespace gi = grooveitem;

namespace {

constexpr int16_t kMsgPlayLast = 584;
constexpr int16_t kMsgPlayTake = 585;    // name
constexpr int16_t kMsgRemoveTake = 586;  // name
constexpr int16_t kMsgNoTake = 587;
constexpr int16_t kMsgTakePlays = 588;    // name
constexpr int16_t kMsgTakeRemoved = 589;  // name
constexpr int16_t kMsgConvertAsk = 590;   // name, grooves, cycles, tempo, lost, changes, cycles lost
constexpr int16_t kMsgCyclesLost = 592;   // cycles
constexpr int16_t kMsgConvertRow = 593;   // name
constexpr int16_t kMsgConverted = 594;    // name
constexpr int16_t kMsgNoTakeSaid = 595;
constexpr int16_t kMsgMixRow = 599;     // name
constexpr int16_t kMsgRenameRow = 600;  // name
constexpr int16_t kMsgRenamed = 601;    // old name, new name
constexpr int16_t kMsgRenameTitle = 602;
constexpr int16_t kMsgRenamePrompt = 603;  // name
constexpr int16_t kMsgNoEntryProgram = 604;

struct Row {
    enum class Act : uint8_t { convert, mix, rename, remove, play, playLast, none } act = Act::none;
    int16_t take = -1;
};

// A block for each of these, a row a take in it, a line between blocks.
constexpr Row::Act kBlocks[] = {Row::Act::convert, Row::Act::mix, Row::Act::rename, Row::Act::remove,
                                Row::Act::play};

std::vector<Row> rowsFor(size_t takes)
{
    if (takes == 0) return {Row{}};
    std::vector<Row> rows;
    for (Row::Act act : kBlocks) {
        if (!rows.empty()) rows.push_back({});  // a line
        for (size_t i = 0; i < takes; ++i) rows.push_back({act, static_cast<int16_t>(i)});
    }
    rows.push_back({Row::Act::playLast, static_cast<int16_t>(takes - 1)});
    return rows;
}

}  // namespace

void BLGroovePanel::fillTakesMenu()
{
    auto* m = dynamic_cast<PWpopupControl*>(control(gi::takes));
    if (!m) return;
    const std::vector<BLTake>& takes = groove.takes();
    const std::vector<Row> rows = rowsFor(takes.size());
    m->count = 0;
    for (size_t i = 0; i < rows.size() && i < static_cast<size_t>(PWpopupControl::kMaxItems); ++i) {
        const Row& r = rows[i];
        const std::string name = r.take >= 0 ? BLTake_Shown(takes[static_cast<size_t>(r.take)].name) : "";
        std::string text;
        switch (r.act) {
            case Row::Act::convert: text = blIntl.messageWithNames(kMsgConvertRow, {name}); break;
            case Row::Act::mix: text = blIntl.messageWithNames(kMsgMixRow, {name}); break;
            case Row::Act::rename: text = blIntl.messageWithNames(kMsgRenameRow, {name}); break;
            case Row::Act::remove: text = blIntl.messageWithNames(kMsgRemoveTake, {name}); break;
            case Row::Act::play: text = blIntl.messageWithNames(kMsgPlayTake, {name}); break;
            case Row::Act::playLast: text = blIntl.messageWithNames(kMsgPlayLast, {}); break;
            case Row::Act::none: text = takes.empty() ? blIntl.messageWithNames(kMsgNoTake, {}) : "-"; break;
        }
        std::string shown = KEL_NameToLatin1(text);
        m->setValue(static_cast<int16_t>(i), shown.data());
    }
    m->setValue(static_cast<int16_t>(m->count - 1));
}

void BLGroovePanel::onItem_takes()
{
    auto* m = dynamic_cast<PWpopupControl*>(control(gi::takes));
    if (!m) return;
    const int16_t chosen = m->get();
    const std::vector<BLTake>& takes = groove.takes();
    const std::vector<Row> rows = rowsFor(takes.size());
    if (chosen < 0 || chosen >= static_cast<int16_t>(rows.size())) return fillTakesMenu();
    const Row r = rows[static_cast<size_t>(chosen)];
    if (r.take < 0 || r.take >= static_cast<int16_t>(takes.size())) {
        if (takes.empty()) sayInHint(blIntl.messageWithNames(kMsgNoTakeSaid, {}));
        return fillTakesMenu();
    }
    const std::string name = BLTake_Shown(takes[static_cast<size_t>(r.take)].name);
    switch (r.act) {
        case Row::Act::remove:
            groove.removeTake(r.take);
            sayInHint(blIntl.messageWithNames(kMsgTakeRemoved, {name}));
            break;
        case Row::Act::convert: takeToConvert = r.take; break;
        case Row::Act::mix: diskMixOf(r.take); break;
        case Row::Act::rename: renameTakeAsked(r.take); break;
        case Row::Act::play:
        case Row::Act::playLast:
            if (groove.playTake(r.take)) {
                common_setPlayDisplay(true);
                sayInHint(blIntl.messageWithNames(kMsgTakePlays, {name}));
            }
            break;
        case Row::Act::none: break;
    }
    fillTakesMenu();
}

void BLGroovePanel::convertTakeAsked()
{
    const int16_t index = takeToConvert;
    takeToConvert = -1;
    if (index < 0 || index >= static_cast<int16_t>(groove.takes().size())) return;
    const std::string name = BLTake_Shown(groove.takes()[static_cast<size_t>(index)].name);
    // What is lost is said before anything is done.
    const BLTakeConversion c = groove.takeConversion(index);
    char bpm[16];
    std::snprintf(bpm, sizeof bpm, "%.1f", static_cast<double>(c.bpm));
    std::string past;
    if (c.cyclesLost > 0) {
        past = " ";
        past += blIntl.messageWithNames(kMsgCyclesLost, {std::to_string(c.cyclesLost)});
    }
    const std::vector<std::string> names = {name,
                                            std::to_string(c.distinct().size()),
                                            std::to_string(c.cycles.size()),
                                            bpm,
                                            std::to_string(c.lost),
                                            std::to_string(c.changes),
                                            past};
    // The menu's list may still be in the picture the box keeps behind it.
    const kelRect whole(0, 0, 32767, 32767);
    PWScreen.update(&whole);
    const int16_t answer = BL_NotifyNames(kMsgConvertAsk, 1, names);
    PWScreen.update(&whole);
    if (answer != 1) return;
    if (groove.convertTake(index)) sayInHint(blIntl.messageWithNames(kMsgConverted, {name}));
    fillTakesMenu();
}

void BLGroovePanel::renameTakeAsked(int16_t take)
{
    if (take < 0 || take >= static_cast<int16_t>(groove.takes().size()) || BLPath::dialogPending()) return;
    renameFrom = groove.takes()[static_cast<size_t>(take)].name;
    plat::TextEntryRequest request;
    request.title = blIntl.messageWithNames(kMsgRenameTitle, {});
    request.prompt = blIntl.messageWithNames(kMsgRenamePrompt, {renameFrom});
    request.initial = renameFrom;
    renameEntry.asyncEntry(kPWGroovePanel, 0, take, request);
}

void BLGroovePanel::renameTakeAnswered()
{
    if (renameEntry.unavailable) {
        sayInHint(blIntl.messageWithNames(kMsgNoEntryProgram, {}));
        return;
    }
    const std::string name = BLTake_CleanName(renameEntry.text);
    if (!renameEntry.dialogOk || name.empty() || name == renameFrom) return;
    // The takes may have moved while the person typed (one removed, an
    // undo, a peer's change): the take is the one that still has its name.
    const std::vector<BLTake>& takes = groove.takes();
    int16_t index = renameEntry.requestSub;
    if (index < 0 || index >= static_cast<int16_t>(takes.size()) ||
        takes[static_cast<size_t>(index)].name != renameFrom) {
        const auto it = std::find_if(takes.begin(), takes.end(),
                                     [this](const BLTake& t) { return t.name == renameFrom; });
        if (it == takes.end()) return;
        index = static_cast<int16_t>(it - takes.begin());
    }
    groove.renameTake(index, name);
    sayInHint(blIntl.messageWithNames(kMsgRenamed, {BLTake_Shown(renameFrom), BLTake_Shown(name)}));
    fillTakesMenu();
}
