// Takes: Record, the recorder and its taps, and the takes as steps of the work.
#include "control/BLGrooveTakes.h"

#include <algorithm>
#include <ctime>
#include <utility>

#include "audio/BLEngineTypes.h"
#include "control/BLGrooveAct.h"
#include "core/BLInternational.h"
#include "library/BLTakePlay.h"
#include "library/BLprefs.h"

namespace {

constexpr int16_t kMsgTakesFull = 581;  // most
constexpr int16_t kMsgTakeKept = 582;   // name
constexpr int16_t kMsgRecordWaits = 583;
constexpr int16_t kMsgNoRoomForTake = 591;  // grooves

using Op = BLTakeCall::Op;

BLTakeCall callOf(Op op, int16_t a = 0, int16_t b = 0, float value = 0)
{
    BLTakeCall c;
    c.op = op;
    c.a = a;
    c.b = b;
    c.value = value;
    return c;
}

std::vector<uint8_t> bytesOf(const char* text)
{
    const std::string s = text ? text : "";
    return {s.begin(), s.end()};
}

}  // namespace

// ---- The taps --------------------------------------------------------------------------

void BLTakeTap::made(BLTakeCall call, int16_t track, const std::function<void()>& make)
{
    if (!takes.keeping()) {
        make();
        const int kind = call.op == Op::trackSample   ? 0
                         : call.op == Op::trackVolume ? 1
                         : call.op == Op::trackPan    ? 2
                                                      : -1;
        if (kind >= 0 && track >= 0 && track < kBLTakeTracks) {
            TrackSets& s = sets[track];
            s.before[kind] = s.last[kind];
            s.last[kind] = {call.b, to->trackChangeFrame(track)};
        }
        return;
    }
    int64_t heard = 0;
    const int64_t given = to->atOneFrame([&] {
        make();
        heard = to->trackChangeFrame(track);
    });
    call.at = takes.frameOf(given);
    call.heard = heard;
    takes.keep(std::move(call));
}

void BLTakeTap::stop()
{
    if (!takes.keeping()) {
        to->stop();
        return;
    }
    // Heard up to here: the take ends where the sound stops.
    BLTakeCall c = callOf(Op::stop);
    c.at = takes.frameOf(to->framesGiven());
    c.heard = to->trackChangeFrame(-1);
    const int64_t end = c.at;
    takes.keep(std::move(c));
    to->stop();
    takes.end(end);
}

void BLTakeTap::play()
{
    if (!takes.keeping()) {
        to->play();
        return;
    }
    to->play();
    takes.keep(callOf(Op::play));
    takes.played();
}

void BLTakeTap::setTrackSample(short track, short sample)
{
    made(callOf(Op::trackSample, track, sample), track, [&] { to->setTrackSample(track, sample); });
}

void BLTakeTap::setTrackVolume(short track, short volume)
{
    made(callOf(Op::trackVolume, track, volume), track, [&] { to->setTrackVolume(track, volume); });
}

void BLTakeTap::setTrackPan(short track, short pan)
{
    made(callOf(Op::trackPan, track, pan), track, [&] { to->setTrackPan(track, pan); });
}

void BLTakeTap::sync_atGrooveSet(short on)
{
    made(callOf(Op::sync, on), -1, [&] { to->sync_atGrooveSet(on); });
}

void BLTakeTap::changesBegin()
{
    made(callOf(Op::changesBegin), -1, [&] { to->changesBegin(); });
}

void BLTakeTap::changesEnd()
{
    // The end of a bracket may start the output: never while it is held.
    if (!takes.keeping()) {
        to->changesEnd();
        return;
    }
    BLTakeCall c = callOf(Op::changesEnd);
    c.at = takes.frameOf(to->framesGiven());
    c.heard = to->trackChangeFrame(-1);
    to->changesEnd();
    takes.keep(std::move(c));
}

void BLTakeTap::setLaunchGrid(int beats)
{
    made(callOf(Op::launchGrid, static_cast<int16_t>(beats)), -1, [&] { to->setLaunchGrid(beats); });
}

void BLTakeTap::fx_setAll(const FxSetup& setup)
{
    BLTakeCall c = callOf(Op::effects);
    if (takes.keeping()) c.data = BLTake_EncodeEffects(setup);
    made(std::move(c), -1, [&] { to->fx_setAll(setup); });
}

std::vector<FxNote> BLTakeTap::fx_set(int rack, int slot, const FxSlot& settings)
{
    BLTakeCall c = callOf(Op::fxSlot, static_cast<int16_t>(rack), static_cast<int16_t>(slot));
    if (takes.keeping() && rack >= 0 && rack < kFxRacks && slot >= 0 && slot < kFxSlots) {
        FxSetup one;
        one.racks[rack].slots[slot] = settings;
        c.data = BLTake_EncodeEffects(one);
    }
    std::vector<FxNote> notes;
    made(std::move(c), -1, [&] { notes = to->fx_set(rack, slot, settings); });
    return notes;
}

void BLTakeTap::fx_setParam(int rack, int slot, const std::string& param, float value)
{
    BLTakeCall c = callOf(Op::fxParam, static_cast<int16_t>(rack), static_cast<int16_t>(slot), value);
    c.data.assign(param.begin(), param.end());
    made(std::move(c), -1, [&] { to->fx_setParam(rack, slot, param, value); });
}

void BLTakeTap::fx_bypass(int rack, int slot, bool on)
{
    made(callOf(Op::fxBypass, static_cast<int16_t>(rack), static_cast<int16_t>(slot), on ? 1.0f : 0.0f), -1,
         [&] { to->fx_bypass(rack, slot, on); });
}

bool BLTakeTap::setKeyLock(bool on)
{
    bool done = false;
    made(callOf(Op::keyLock, on ? 1 : 0), -1, [&] { done = to->setKeyLock(on); });
    return done;
}

void BLTakeTap::setMixerBpm(float bpm)
{
    made(callOf(Op::mixerBpm, 0, 0, bpm), -1, [&] { to->setMixerBpm(bpm); });
}

void BLTakeTap::setMixerVolume(short volume)
{
    made(callOf(Op::mixerVolume, volume), -1, [&] { to->setMixerVolume(volume); });
}

void BLTakeTap::synth_SetFolder(const char* folder)
{
    // Loading reads files: made outside the hold, kept where it was asked.
    if (!takes.keeping()) {
        to->synth_SetFolder(folder);
        return;
    }
    BLTakeCall c = callOf(Op::synthFolder);
    c.data = bytesOf(folder);
    c.at = takes.frameOf(to->framesGiven());
    to->synth_SetFolder(folder);
    takes.keep(std::move(c));
}

void BLTakeTap::synth_Arp(short mode, short speed, const char* notes)
{
    BLTakeCall c = callOf(Op::synthArp, mode, speed);
    c.data = bytesOf(notes);
    made(std::move(c), -1, [&] { to->synth_Arp(mode, speed, notes); });
}

void BLTakeTap::synth_Stop()
{
    made(callOf(Op::synthStop), -1, [&] { to->synth_Stop(); });
}

void BLTakeTap::synth_SetPoly(short voices)
{
    made(callOf(Op::synthPoly, voices), -1, [&] { to->synth_SetPoly(voices); });
}

void BLTakeTap::synth_SetVolume(short volume)
{
    made(callOf(Op::synthVolume, volume), -1, [&] { to->synth_SetVolume(volume); });
}

void BLTakeTap::synth_SetPan(short pan)
{
    made(callOf(Op::synthPan, pan), -1, [&] { to->synth_SetPan(pan); });
}

void BLTakeTap::waitingAt(int64_t now, BLTakeStart& start, std::vector<BLTakeCall>& calls) const
{
    constexpr Op kOps[3] = {Op::trackSample, Op::trackVolume, Op::trackPan};
    int16_t* values[3] = {start.samples, start.volumes, start.pans};
    std::vector<BLTakeCall> waiting;
    for (int16_t t = 0; t < kBLTakeTracks; ++t) {
        // Only what the engine still waits to make: a set of an earlier
        // playback is no change of this one.
        const int64_t pending = to->trackChangeFrame(t);
        for (int k = 0; k < 3; ++k) {
            const Set& last = sets[t].last[k];
            if (pending <= now || last.heard != pending || sets[t].before[k].heard < 0) continue;
            values[k][t] = sets[t].before[k].value;
            BLTakeCall c = callOf(kOps[k], t, last.value);
            c.heard = last.heard;
            waiting.push_back(std::move(c));
        }
    }
    if (waiting.empty()) return;
    // Made again with the grid, as they were, whatever it does now.
    calls.push_back(callOf(Op::sync, 1));
    calls.push_back(callOf(Op::changesBegin));
    calls.insert(calls.end(), waiting.begin(), waiting.end());
    calls.push_back(callOf(Op::changesEnd));
    calls.push_back(callOf(Op::sync, start.sync ? 1 : 0));
}

// ---- The recorder ------------------------------------------------------------------------

BLGrooveController::Takes::Takes(BLGrooveController& c)
    : controller(c),
      controllerTap(*this, c.fixedEngine ? c.fixedEngine : &c.facade),
      playerTap(*this, nullptr)
{
}

BLGrooveController::Takes::~Takes()
{
    BLPlayer& p = controller.player();
    if (p.engineCalls() == &playerTap) p.setEngine(playerWas);
}

int64_t BLGrooveController::Takes::frameOf(int64_t given) const
{
    // Before the Play that begins it, everything is made at its first frame.
    if (!playedYet) return 0;
    return std::max<int64_t>(given - origin, 0);
}

void BLGrooveController::Takes::keep(BLTakeCall call)
{
    if (!armed) return;
    if (!take.calls.empty()) call.at = std::max(call.at, take.calls.back().at);
    take.calls.push_back(std::move(call));
}

void BLGrooveController::Takes::arm()
{
    if (armed) return;
    BLGrooveModel& m = controller.model;
    take = BLTake{};
    take.made = static_cast<int64_t>(std::time(nullptr));
    BLTakeStart& s = take.start;
    BLEngineCalls& e = *controllerTap.inner();
    for (int16_t t = 0; t < kBLTakeTracks; ++t) {
        const uint16_t id = m.sampleIds[t];
        s.samples[t] = m.audible[t] && id != kBLNoSample ? static_cast<int16_t>(id) : -1;
        s.volumes[t] = static_cast<int16_t>(m.current.tracks[t].volume);
        s.pans[t] = m.current.tracks[t].pan;
    }
    BLPlayer& p = controller.player();
    s.bpm = p.bpm;
    s.mainVolume = p.mainVolume;
    s.keyLock = blPrefs.keyLock != 0;
    s.gridBeats = static_cast<int16_t>(e.launchGrid());
    s.sync = m.syncMode;
    s.fx = m.current.fx;
    s.playing = p.playing;
    playedYet = p.playing;
    if (p.playing) {
        // Played back, its timeline starts on the song block it began in.
        const BLOutputPlace at = e.outputPlace();
        origin = at.given;
        s.songFrame = at.block;
        s.lead = at.lead;
        controllerTap.waitingAt(at.block, s, take.calls);
    } else {
        origin = 0;
    }
    // The player's calls (play, tempo, main volume) pass the tap too.
    playerWas = p.engineCalls();
    playerTap.setInner(playerWas);
    p.setEngine(&playerTap);
    armed = true;
    if (!p.playing) controller.display().say(blIntl.messageWithNames(kMsgRecordWaits, {}));
    controller.display().recordShown();
}

void BLGrooveController::Takes::endNow()
{
    if (!armed) return;
    end(frameOf(controllerTap.inner()->framesGiven()));
}

void BLGrooveController::Takes::end(int64_t frames)
{
    if (!armed) return;
    armed = false;
    BLPlayer& p = controller.player();
    if (p.engineCalls() == &playerTap) p.setEngine(playerWas);
    playerTap.setInner(nullptr);
    controller.display().recordShown();
    // Nothing was heard: no take.
    if (!playedYet || frames <= 0) return;
    take.frames = frames;
    std::vector<BLTake>& all = controller.model.ice.takes;
    const int number = static_cast<int>(all.size()) + 1;
    take.name = BLTake_Name(number, frames, take.rate, blIntl.textSet == 1);
    all.push_back(std::move(take));
    take = BLTake{};
    controller.display().say(blIntl.messageWithNames(kMsgTakeKept, {BLTake_Shown(all.back().name)}));
}

// ---- Playing a take back ----------------------------------------------------------------

int64_t BLGrooveController::Takes::backDue() const
{
    // Output frames of the playback: the take's first one comes `lead` in.
    const std::vector<BLTakeCall>& c = back.take.calls;
    const int64_t end = back.take.frames + back.take.start.lead;
    return back.next < c.size() ? std::min(c[back.next].at + back.take.start.lead, end) : end;
}

void BLGrooveController::Takes::playBack(const BLTake& t, int16_t index)
{
    BLPlayer& p = controller.player();
    if (armed) endNow();
    if (p.playing) p.stop();
    endBack();
    back = Back{t, index, 0};
    backOn = true;
    BLEngineCalls& e = calls();
    // The fence first: the output, once it starts, waits at the first frame
    // a call is due after those made with the play.
    e.holdOutputAt(-1);
    const std::vector<BLTakeCall>& c = back.take.calls;
    size_t first = 0;
    while (first < c.size() && c[first].at <= 0) ++first;
    back.next = first;
    e.holdOutputAt(backDue());
    BLTake_Begin(back.take, e);
    if (back.take.start.playing)
        for (int16_t t = 0; t < kBLTakeTracks; ++t) {
            const BLTakeStart& s = back.take.start;
            // Made by BLTake_Begin: only told.
            tell(callOf(Op::trackSample, t, s.samples[t]));
            if (s.samples[t] < 0) continue;
            tell(callOf(Op::trackVolume, t, s.volumes[t]));
            tell(callOf(Op::trackPan, t, s.pans[t]));
        }
    for (size_t i = 0; i < first; ++i)
        if (c[i].op != Op::stop) replay(c[i]);
    p.takePlays();
}

void BLGrooveController::Takes::replay(const BLTakeCall& c)
{
    BLTake_Apply(c, calls());
    tell(c);
}

void BLGrooveController::Takes::tell(const BLTakeCall& c)
{
    if (c.a < 0 || c.a >= kBLTakeTracks) return;
    BLNet& net = controller.link;
    if (c.op == Op::trackSample) {
        const BLSongLibrary& lib = controller.model.library();
        int16_t group = -1, slot = -1;
        for (int16_t g = 0; g < lib.groupCount && c.b >= 0; ++g)
            for (int16_t l = 0; l < lib.groups[g].count; ++l)
                if (lib.sampleId(g, l) == static_cast<uint16_t>(c.b)) {
                    group = g;
                    slot = l;
                }
        net.sendSample(c.a, group, slot);
    }
    if (c.op == Op::trackVolume) net.sendVolume(c.a, c.b);
    if (c.op == Op::trackPan) net.sendPan(c.a, c.b);
}

void BLGrooveController::Takes::serveBack()
{
    if (!backOn) return;
    BLPlayer& p = controller.player();
    BLEngineCalls& e = calls();
    if (!p.playing) {
        endBack();
        return;
    }
    const int64_t due = backDue();
    const int64_t given = e.framesGiven();
    if (given < due) return;
    const std::vector<BLTakeCall>& c = back.take.calls;
    const int64_t lead = back.take.start.lead;
    const int64_t end = back.take.frames + lead;
    // Late only when the output gave up waiting: then as soon as can be.
    for (; back.next < c.size() && c[back.next].at + lead <= std::max(given, due); ++back.next)
        if (c[back.next].op != Op::stop) replay(c[back.next]);
    if (given >= end || (back.next >= c.size() && due >= end)) {
        controller.stop(BLOrigin::take);
        return;
    }
    e.holdOutputAt(backDue());
}

void BLGrooveController::Takes::endBack()
{
    if (!backOn) return;
    backOn = false;
    calls().holdOutputAt(-1);
    back = Back{};
}

// ---- The controller's -------------------------------------------------------------------

void BLGrooveController::toggleRecord(BLOrigin from)
{
    Act act(*this, from);
    if (takes_->lit()) {
        takes_->endNow();
        return;
    }
    if (model.ice.takes.size() >= static_cast<size_t>(kBLMaxTakes)) {
        questions.notifyNames(kMsgTakesFull, 0, {std::to_string(kBLMaxTakes)});
        return;
    }
    takes_->arm();
}

bool BLGrooveController::recordLit() const
{
    return takes_->lit();
}

void BLGrooveController::renameTake(int16_t index, const std::string& name, BLOrigin from)
{
    Act act(*this, from);
    // Whoever names it, the document and the menu hold one clean line.
    const std::string clean = BLTake_CleanName(name);
    if (index < 0 || index >= static_cast<int16_t>(model.ice.takes.size()) || clean.empty()) return;
    model.ice.takes[static_cast<size_t>(index)].name = clean;
}

void BLGrooveController::removeTake(int16_t index, BLOrigin from)
{
    Act act(*this, from);
    if (index < 0 || index >= static_cast<int16_t>(model.ice.takes.size())) return;
    model.ice.takes.erase(model.ice.takes.begin() + index);
}

bool BLGrooveController::playTake(int16_t index, BLOrigin from)
{
    Act act(*this, from);
    if (index < 0 || index >= static_cast<int16_t>(model.ice.takes.size())) return false;
    takes_->playBack(model.ice.takes[static_cast<size_t>(index)], index);
    told({BLGrooveChange::Kind::play, -1, 0});
    return true;
}

int16_t BLGrooveController::takePlaying() const
{
    return takes_->backIndex();
}

BLTakeConversion BLGrooveController::takeConversion(int16_t index) const
{
    // One object returned on every path: clang 14's sanitizer build fails
    // to generate the two-return form of this function.
    BLTakeConversion c;
    if (index >= 0 && index < static_cast<int16_t>(model.ice.takes.size())) {
        const int16_t songBpm = model.library().bpm;
        const int64_t cycle = songBpm > 0 ? int64_t{kCycleBeats} * (44100 * 60 / songBpm) : 0;
        c = BLTake_Convert(model.ice.takes[static_cast<size_t>(index)], cycle);
    }
    return c;
}

bool BLGrooveController::convertTake(int16_t index, BLOrigin from)
{
    Act act(*this, from);
    if (index < 0 || index >= static_cast<int16_t>(model.ice.takes.size())) return false;
    const BLTakeConversion c = takeConversion(index);
    const std::vector<BLTakeCycle> distinct = c.distinct();
    BLSequence& s = model.stored;
    if (c.cycles.empty() || s.count + static_cast<int>(distinct.size()) > kBLMaxGrooves) {
        questions.notifyNames(kMsgNoRoomForTake, 0, {std::to_string(distinct.size())});
        return false;
    }
    const BLSongLibrary& lib = model.library();
    auto trackOf = [&](const BLTakeCycle& k, int t) {
        BLTrack track{static_cast<uint16_t>(std::clamp<int>(k.volumes[t], 0, 127)),
                      static_cast<int16_t>(std::clamp<int>(k.pans[t], -63, 63)), -1, -1};
        for (int16_t g = 0; g < lib.groupCount && k.samples[t] >= 0; ++g)
            for (int16_t l = 0; l < lib.groups[g].count; ++l)
                if (lib.sampleId(g, l) == static_cast<uint16_t>(k.samples[t])) {
                    track.group = g;
                    track.slot = l;
                }
        return track;
    };
    int largest = 0;
    for (int i = 0; i < s.count; ++i) largest = std::max<int>(largest, s.grooves[i].id);
    std::vector<uint16_t> ids;
    for (const BLTakeCycle& k : distinct) {
        BLGroove g;
        for (int t = 0; t < kBLTakeTracks; ++t) g.tracks[t] = trackOf(k, t);
        g.fx = c.fx;
        // Ids above the largest; past the top, the smallest free ones.
        int id = ++largest;
        if (id > 0xFFFF)
            for (id = 1; s.grooveIDtoIndex(static_cast<int16_t>(id)) >= 0; ++id) {
            }
        g.id = static_cast<uint16_t>(id);
        ids.push_back(g.id);
        s.grooves[s.count++] = g;
    }
    s.length = 0;
    for (const BLTakeCycle& k : c.cycles) {
        const auto at = std::find(distinct.begin(), distinct.end(), k) - distinct.begin();
        s.entries[s.length++] = ids[static_cast<size_t>(at)];
    }
    grooves.refresh();
    sequence.select(0);
    sequence.refresh();
    display().stripsShown();
    if (c.bpm > 0) setTempo(c.bpm, from);
    return true;
}
