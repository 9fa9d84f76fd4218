#include "library/BLWorkKeeper.h"

#include <ctime>

BLWorkKeeper::BLWorkKeeper(Source& s) : source(s) {}

void BLWorkKeeper::reset(bool saved)
{
    steps.clear();
    position = 0;
    now = source.capture();
    nowDocument = source.document();
    savedBytes = now;
    savedPosition = saved ? 0 : kNone;
    ++changes;
}

void BLWorkKeeper::beginAction()
{
    if (depth++ == 0) absorb();
}

void BLWorkKeeper::endAction()
{
    if (depth == 0) return;
    if (--depth == 0) commit();
}

void BLWorkKeeper::absorb()
{
    nowDocument = source.document();
    std::vector<uint8_t> bytes = source.capture();
    if (bytes == now) return;
    now = std::move(bytes);
    ++changes;
}

bool BLWorkKeeper::commit()
{
    std::vector<uint8_t> bytes = source.capture();
    if (bytes == now) {
        nowDocument = source.document();
        return false;
    }
    // Picking another track changes no work.
    if (BLWork_Describe(now, bytes).kind == BLWorkChange::selection) {
        absorb();
        return false;
    }
    push(std::move(bytes));
    changedAt = static_cast<int64_t>(std::time(nullptr));
    return true;
}

BLWorkKeeper::Step BLWorkKeeper::difference(const std::vector<uint8_t>& before,
                                            const std::vector<uint8_t>& after)
{
    Step step;
    step.size = after.size();
    if (before.size() != after.size() || after.size() % 2 != 0) {
        step.before = before;
        step.after = after;
        return step;
    }
    for (size_t i = 0; i < after.size(); i += 2) {
        const auto b = static_cast<uint16_t>(before[i] | before[i + 1] << 8);
        const auto a = static_cast<uint16_t>(after[i] | after[i + 1] << 8);
        if (a != b) step.words.push_back({static_cast<uint32_t>(i), b, a});
    }
    return step;
}

void BLWorkKeeper::push(std::vector<uint8_t> bytes)
{
    // A new step ends every redo there was, and with them a saved state
    // that lay among them.
    steps.erase(steps.begin() + static_cast<std::ptrdiff_t>(position), steps.end());
    if (savedPosition != kNone && savedPosition > position) savedPosition = kNone;
    Step step = difference(now, bytes);
    step.documentBefore = nowDocument;
    step.documentAfter = nowDocument = source.document();
    steps.push_back(std::move(step));
    now = std::move(bytes);
    ++position;
    ++changes;
    if (steps.size() > kSteps) {
        steps.pop_front();
        --position;
        savedPosition = savedPosition == 0 || savedPosition == kNone ? kNone : savedPosition - 1;
    }
}

bool BLWorkKeeper::replay(const Step& step, bool forward, std::vector<uint8_t>& out) const
{
    if (!step.after.empty() || !step.before.empty()) {
        out = forward ? step.after : step.before;
        return true;
    }
    if (now.size() != step.size) return false;
    out = now;
    for (const Word& w : step.words) {
        const uint16_t v = forward ? w.after : w.before;
        out[w.at] = static_cast<uint8_t>(v & 0xFF);
        out[w.at + 1] = static_cast<uint8_t>(v >> 8);
    }
    return true;
}

BLWorkChange BLWorkKeeper::undo()
{
    if (depth == 0) absorb();
    return canUndo() ? move(false) : BLWorkChange{};
}

BLWorkChange BLWorkKeeper::redo()
{
    if (depth == 0) absorb();
    return canRedo() ? move(true) : BLWorkChange{};
}

BLWorkChange BLWorkKeeper::move(bool forward)
{
    const Step& step = steps[forward ? position : position - 1];
    std::vector<uint8_t> wanted;
    if (!replay(step, forward, wanted)) return {};
    const BLWorkChange change = forward ? BLWork_Describe(now, wanted) : BLWork_Describe(wanted, now);
    if (!source.apply(wanted, forward ? step.documentAfter : step.documentBefore)) return {};
    position = forward ? position + 1 : position - 1;
    ++changes;
    changedAt = static_cast<int64_t>(std::time(nullptr));
    // What the program holds now, should putting it back have changed a detail.
    absorb();
    return change.kind == BLWorkChange::none ? BLWorkChange{BLWorkChange::work} : change;
}

void BLWorkKeeper::markSaved(const std::string& document)
{
    nowDocument = document;
    if (position > 0) steps[position - 1].documentAfter = document;
    markClean();
}

void BLWorkKeeper::markClean()
{
    savedPosition = position;
    savedBytes = now;
}
