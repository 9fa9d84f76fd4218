#include "library/BLWorkKeeper.h"

#include <ctime>

BLWorkKeeper::BLWorkKeeper(Source& s) : source(s)
{
    history.push_back({});
}

void BLWorkKeeper::reset(bool saved)
{
    history.clear();
    history.push_back({source.capture(), source.document()});
    position = 0;
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
    std::vector<uint8_t> bytes = source.capture();
    Entry& now = history[position];
    now.document = source.document();
    if (bytes == now.bytes) return;
    now.bytes = std::move(bytes);
    ++changes;
}

bool BLWorkKeeper::commit()
{
    std::vector<uint8_t> bytes = source.capture();
    Entry& now = history[position];
    if (bytes == now.bytes) {
        now.document = source.document();
        return false;
    }
    // Picking another track changes no work.
    if (BLWork_Describe(now.bytes, bytes).kind == BLWorkChange::selection) {
        absorb();
        return false;
    }
    push(std::move(bytes));
    changedAt = static_cast<int64_t>(std::time(nullptr));
    return true;
}

void BLWorkKeeper::push(std::vector<uint8_t> bytes)
{
    // A new step ends every redo there was, and with it a saved state that
    // lay among them.
    history.erase(history.begin() + static_cast<std::ptrdiff_t>(position) + 1, history.end());
    if (savedPosition != kNone && savedPosition > position) savedPosition = kNone;
    history.push_back({std::move(bytes), source.document()});
    ++position;
    ++changes;
    if (history.size() > kSteps + 1) {
        history.pop_front();
        --position;
        savedPosition = savedPosition == 0 || savedPosition == kNone ? kNone : savedPosition - 1;
    }
}

BLWorkChange BLWorkKeeper::undo()
{
    if (depth == 0) absorb();
    if (!canUndo()) return {};
    return step(position - 1);
}

BLWorkChange BLWorkKeeper::redo()
{
    if (depth == 0) absorb();
    if (!canRedo()) return {};
    return step(position + 1);
}

BLWorkChange BLWorkKeeper::step(size_t to)
{
    const Entry& target = history[to];
    const bool back = to < position;
    const BLWorkChange change = back ? BLWork_Describe(target.bytes, history[position].bytes)
                                     : BLWork_Describe(history[position].bytes, target.bytes);
    if (!source.apply(target.bytes, target.document)) return {};
    position = to;
    ++changes;
    changedAt = static_cast<int64_t>(std::time(nullptr));
    // What the program holds now, should putting it back have changed a detail.
    absorb();
    return change.kind == BLWorkChange::none ? BLWorkChange{BLWorkChange::work} : change;
}

void BLWorkKeeper::markSaved(const std::string& document)
{
    history[position].document = document;
    savedPosition = position;
}

void BLWorkKeeper::markClean()
{
    savedPosition = position;
}
