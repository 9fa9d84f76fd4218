#include "audio/fx/FxRack.h"

#include <algorithm>
#include <cstring>

namespace {

// What an emptied slot crosses over to: the dry sound.
class FxNothing : public FxUnit {
public:
    FxNothing() { clears = true; }
    void process(float*, float*, int, const FxContext&) override {}
    void setParam(int, float) override {}
};

}  // namespace

// ---- The running side -------------------------------------------------------------

FxRack::FxRack()
{
    for (Slot& s : slots_) {
        s.dry.assign(2 * kFxMaxBlock, 0.0f);
        s.a.assign(2 * kFxMaxBlock, 0.0f);
        s.b.assign(2 * kFxMaxBlock, 0.0f);
    }
}

bool FxRack::busy() const
{
    for (const Slot& s : slots_)
        if (s.unit || s.leaving || s.waiting.load(std::memory_order_relaxed)) return true;
    return false;
}

bool FxRack::busyBefore(int64_t frame) const
{
    for (const Slot& s : slots_) {
        if (s.unit || s.leaving) return true;
        const FxUnit* w = s.waiting.load(std::memory_order_acquire);
        if (w && w->dueAt < frame) return true;
    }
    return false;
}

int64_t FxRack::dueNext() const
{
    int64_t next = kFxNotDue;
    for (const Slot& s : slots_) {
        if (const FxUnit* w = s.waiting.load(std::memory_order_acquire)) next = std::min(next, w->dueAt);
        for (int i = 0; i < s.laterCount; ++i) next = std::min(next, s.later[static_cast<size_t>(i)].due);
    }
    return next;
}

bool FxRack::retire(FxUnit* u)
{
    const uint32_t w = retiredWrite_.load(std::memory_order_relaxed);
    if (w - retiredRead_.load(std::memory_order_acquire) >= retired_.size()) return false;
    retired_[w % retired_.size()] = u;
    retiredWrite_.store(w + 1, std::memory_order_release);
    return true;
}

void FxRack::drain(Slot& s, int64_t frame)
{
    if (!s.unit) return;
    FxParamQueue::Change c;
    while (s.unit->queue.pop(&c)) {
        if (c.due > frame && c.due != kFxAtOnce && s.laterCount < static_cast<int>(s.later.size())) {
            s.later[static_cast<size_t>(s.laterCount++)] = {c.due, c};
            continue;
        }
        if (c.index == FxParamQueue::kBypass) {
            s.bypass = c.value >= 0.5f;
        } else {
            s.unit->setParam(c.index, c.value);
        }
    }
}

void FxRack::take(int64_t frame)
{
    for (Slot& s : slots_) {
        // What came meanwhile first, so that a value due later is known.
        drain(s, frame);
        for (int i = 0; i < s.laterCount;) {
            const Later l = s.later[static_cast<size_t>(i)];
            if (l.due > frame) {
                ++i;
                continue;
            }
            if (s.unit && l.change.index == FxParamQueue::kBypass) s.bypass = l.change.value >= 0.5f;
            if (s.unit && l.change.index >= 0) s.unit->setParam(l.change.index, l.change.value);
            s.later[static_cast<size_t>(i)] = s.later[static_cast<size_t>(--s.laterCount)];
        }
        FxUnit* w = s.waiting.load(std::memory_order_acquire);
        // One change at a time: the next waits until the last has crossed over.
        if (!w || w->dueAt > frame || s.leaving || s.cross < 1.0f) continue;
        if (!s.waiting.compare_exchange_strong(w, nullptr, std::memory_order_acq_rel)) continue;
        s.leaving = s.unit;
        s.unit = w;
        const bool fresh = frame <= start_;
        s.cross = fresh ? 1.0f : 0.0f;
        s.laterCount = 0;  // values due for the unit that leaves
        drain(s, frame);
        if (fresh) s.wet = s.bypass ? 0.0f : 1.0f;
    }
}

void FxRack::runSlot(Slot& s, float* left, float* right, int n, const FxContext& c)
{
    if (s.cross >= 1.0f) {
        if (s.leaving && retire(s.leaving)) s.leaving = nullptr;
        if (s.unit && s.unit->clears && retire(s.unit)) s.unit = nullptr;
    }
    if (!s.unit && !s.leaving) return;
    const float wetTarget = s.bypass ? 0.0f : 1.0f;
    const bool crossing = s.cross < 1.0f;
    FxUnit* heard = s.unit && !s.unit->clears ? s.unit : nullptr;
    if (!crossing && s.wet == wetTarget && s.wet == 1.0f) {
        if (heard) heard->process(left, right, n, c);
        return;
    }
    float* dry = s.dry.data();
    std::memcpy(dry, left, sizeof(float) * static_cast<size_t>(n));
    std::memcpy(dry + kFxMaxBlock, right, sizeof(float) * static_cast<size_t>(n));
    auto through = [&](FxUnit* u, std::vector<float>& into) -> const float* {
        if (!u || u->clears) return dry;
        float* o = into.data();
        std::memcpy(o, dry, sizeof(float) * static_cast<size_t>(n));
        std::memcpy(o + kFxMaxBlock, dry + kFxMaxBlock, sizeof(float) * static_cast<size_t>(n));
        u->process(o, o + kFxMaxBlock, n, c);
        return o;
    };
    const float* before = crossing ? through(s.leaving, s.a) : dry;
    const float* now = through(s.unit, s.b);
    const float step = 1.0f / kFxCrossFrames;
    float* out[2] = {left, right};
    for (int i = 0; i < n; ++i) {
        if (s.cross < 1.0f) s.cross = std::min(1.0f, s.cross + step);
        if (s.wet < wetTarget) s.wet = std::min(wetTarget, s.wet + step);
        if (s.wet > wetTarget) s.wet = std::max(wetTarget, s.wet - step);
        const float f = crossing ? s.cross : 1.0f;
        for (int k = 0; k < 2; ++k) {
            const int j = k * kFxMaxBlock + i;
            const float y = before[j] + (now[j] - before[j]) * f;
            out[k][i] = dry[j] + (y - dry[j]) * s.wet;
        }
    }
}

void FxRack::run(float* left, float* right, int n, const FxContext& c, int64_t frame)
{
    n = std::clamp(n, 0, kFxMaxBlock);
    for (Slot& s : slots_) {
        drain(s, frame);
        runSlot(s, left, right, n, c);
    }
}

void FxRack::runFrom(float* left, float* right, int n, const FxContext& c, int64_t frame)
{
    for (int done = 0; done < n;) {
        const int64_t at = frame + done;
        take(at);
        int span = n - done;
        const int64_t due = dueNext();
        if (due > at && due < frame + n) span = static_cast<int>(due - at);
        run(left + done, right + done, span, c, at);
        done += span;
    }
}

// ---- The main thread's side ---------------------------------------------------------

FxBoard::FxBoard() = default;

FxBoard::~FxBoard()
{
    // Nothing runs the racks any more: every unit goes, taken or not.
    owned_.clear();
}

bool FxBoard::valid(int rack, int slot)
{
    return rack >= 0 && rack < kFxRacks && slot >= 0 && slot < kFxSlots;
}

void FxBoard::hand(int rack, int slot, FxUnit* unit)
{
    FxUnit* before = racks_[rack].slots_[slot].waiting.exchange(unit, std::memory_order_acq_rel);
    // One the rack never took is ours to free.
    if (before)
        owned_.erase(
            std::remove_if(owned_.begin(), owned_.end(), [&](const auto& u) { return u.get() == before; }),
            owned_.end());
}

void FxBoard::send(Sent& s, FxParamQueue::Change c, int64_t due)
{
    c.due = due;
    if (!s.unit) return;
    if (s.unsent.empty() && s.unit->queue.push(c)) return;
    // Kept in order, one value a parameter, for service() to send.
    for (auto& u : s.unsent)
        if (u.index == c.index) {
            u = c;
            return;
        }
    s.unsent.push_back(c);
}

std::vector<FxNote> FxBoard::set(int rack, int slot, const FxSlot& s, int64_t due, const FxUnitPlace& place)
{
    std::vector<FxNote> notes;
    if (!valid(rack, slot)) return notes;
    Sent& st = sent_[rack][slot];
    if (s == st.settings) return Fx_Check(s);
    const bool sameEffect =
        !s.empty() && st.unit && st.info && s.effect == st.settings.effect && s.state == st.settings.state;
    if (sameEffect) {
        notes = Fx_Check(s);
        for (size_t i = 0; i < st.info->params.size(); ++i) {
            const FxParamInfo& p = st.info->params[i];
            const float* was = st.settings.param(p.name);
            const float* is = s.param(p.name);
            const float before = was ? Fx_Held(p, *was) : p.deflt;
            const float after = is ? Fx_Held(p, *is) : p.deflt;
            if (before != after) send(st, {static_cast<int16_t>(i), after, 0}, due);
        }
        if (s.bypass != st.settings.bypass) send(st, {FxParamQueue::kBypass, s.bypass ? 1.0f : 0.0f, 0}, due);
        st.settings = s;
        return notes;
    }
    std::unique_ptr<FxUnit> made = Fx_MakeUnit(s, place, &notes);
    st.stateUnread =
        std::any_of(notes.begin(), notes.end(), [](const FxNote& n) { return n.kind == FxNote::badState; });
    const bool wasHeard = st.unit != nullptr || !st.settings.empty();
    st.settings = s;
    st.unsent.clear();
    st.info = made ? Fx_Find(s.effect) : nullptr;
    if (!made && !wasHeard) {
        st.unit = nullptr;
        return notes;
    }
    if (!made) made = std::make_unique<FxNothing>();
    made->dueAt = due;
    if (s.bypass && !made->clears) made->queue.push({FxParamQueue::kBypass, 1.0f, kFxAtOnce});
    if (!s.bypass && !made->clears) made->queue.push({FxParamQueue::kBypass, 0.0f, kFxAtOnce});
    FxUnit* unit = made.get();
    owned_.push_back(std::move(made));
    hand(rack, slot, unit);
    st.unit = unit->clears ? nullptr : unit;
    return notes;
}

bool FxBoard::setParam(int rack, int slot, const std::string& name, float value)
{
    if (!valid(rack, slot)) return false;
    Sent& st = sent_[rack][slot];
    if (st.settings.empty()) return false;
    if (!st.info) {
        // Not running (a plugin that is not there): kept for when it is.
        st.settings.setParam(name, value);
        return true;
    }
    const int i = st.info->index(name);
    if (i < 0) return false;
    const float held = Fx_Held(st.info->params[static_cast<size_t>(i)], value);
    st.settings.setParam(name, held);
    send(st, {static_cast<int16_t>(i), held, 0}, kFxAtOnce);
    return true;
}

void FxBoard::setBypass(int rack, int slot, bool on)
{
    if (!valid(rack, slot)) return;
    Sent& st = sent_[rack][slot];
    if (st.settings.empty() || st.settings.bypass == on) return;
    st.settings.bypass = on;
    send(st, {FxParamQueue::kBypass, on ? 1.0f : 0.0f, 0}, kFxAtOnce);
}

void FxBoard::clear(int rack, int slot, int64_t due)
{
    set(rack, slot, FxSlot{}, due, FxUnitPlace{});
}

const FxSlot& FxBoard::slot(int rack, int slot) const
{
    static const FxSlot none;
    return valid(rack, slot) ? sent_[rack][slot].settings : none;
}

FxSlot FxBoard::capture(int rack, int slot)
{
    if (!valid(rack, slot)) return {};
    Sent& st = sent_[rack][slot];
    FxSlot s = st.settings;
    if (st.unit && st.info && st.info->hasState && !st.stateUnread) s.state = Fx_SaveState(st.unit);
    // The state a later set() compares with is the one it was made from.
    return s;
}

FxSetup FxBoard::captureAll()
{
    FxSetup all;
    for (int r = 0; r < kFxRacks; ++r)
        for (int k = 0; k < kFxSlots; ++k) all.racks[r].slots[k] = capture(r, k);
    return all;
}

bool FxBoard::anySet() const
{
    for (const auto& rack : sent_)
        for (const Sent& s : rack)
            if (!s.settings.empty()) return true;
    return false;
}

void FxBoard::service()
{
    for (FxRack& r : racks_) {
        uint32_t read = r.retiredRead_.load(std::memory_order_relaxed);
        while (read != r.retiredWrite_.load(std::memory_order_acquire)) {
            FxUnit* gone = r.retired_[read % r.retired_.size()];
            owned_.erase(
                std::remove_if(owned_.begin(), owned_.end(), [&](const auto& u) { return u.get() == gone; }),
                owned_.end());
            r.retiredRead_.store(++read, std::memory_order_release);
        }
    }
    for (auto& rack : sent_)
        for (Sent& s : rack) {
            size_t sent = 0;
            while (sent < s.unsent.size() && s.unit && s.unit->queue.push(s.unsent[sent])) ++sent;
            s.unsent.erase(s.unsent.begin(), s.unsent.begin() + static_cast<std::ptrdiff_t>(sent));
        }
}

void FxBoard::resetSound(int64_t start)
{
    for (FxRack& r : racks_) {
        r.start_ = start;
        for (FxRack::Slot& s : r.slots_) {
            if (s.unit) s.unit->reset();
            if (FxUnit* w = s.waiting.load()) w->reset();
            if (s.leaving) {
                FxUnit* gone = s.leaving;
                s.leaving = nullptr;
                owned_.erase(std::remove_if(owned_.begin(), owned_.end(),
                                            [&](const auto& u) { return u.get() == gone; }),
                             owned_.end());
            }
            s.cross = 1.0f;
            s.wet = s.bypass ? 0.0f : 1.0f;
        }
    }
}

void FxBoard::clearAll()
{
    for (FxRack& r : racks_) {
        for (FxRack::Slot& s : r.slots_) {
            s.waiting.store(nullptr);
            s.unit = s.leaving = nullptr;
            s.cross = 1.0f;
            s.bypass = false;
            s.wet = 1.0f;
            s.laterCount = 0;
        }
        r.retiredRead_.store(r.retiredWrite_.load());
    }
    for (auto& rack : sent_)
        for (Sent& s : rack) s = Sent{};
    owned_.clear();
}

FxBoard& Fx_LiveBoard()
{
    static FxBoard board;
    return board;
}
