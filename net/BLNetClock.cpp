// The link's sense of time: where this side's mixer is, the clock the
// other side is told every beat, a start placed on the other side's cycle,
// and this side's beat kept on the other's.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "net/BLNet.h"
#include "platform/Platform.h"

namespace {

constexpr double kCycleBeats = 32;

}  // namespace

// The beat this side's mixer was at, at `at`. It runs ahead of what is heard
// by the sound card's queue, the same on both sides, so the two compare as
// they are.
double BLNet::heardAt(double at) const
{
    return line.at(at);
}

// When this side's cycle ends, from `now`; now when it does not play.
double BLNet::cycleEnd(double now) const
{
    if (!host || !host->playing()) return now;
    const double msPerBeat = 60000.0 / std::max(1.0f, host->tempo());
    double beat = line.known() ? std::fmod(heardAt(now), kCycleBeats) : std::max(0, host->beat());
    if (beat < 0) beat += kCycleBeats;
    return now + (kCycleBeats - beat) * msPerBeat;
}

// The other side's beat told at `at` less ours then, in beats, within half a cycle.
double BLNet::apart(const BLNetMessage& clock, double at) const
{
    return BLBeatWrap(clock.beatMilli / 1000.0 - heardAt(at), kCycleBeats);
}

// Less than one mixing block of 2048 frames apart.
bool BLNet::inStep(const BLNetMessage& clock, double at) const
{
    const double msPerBeat = 60000.0 / std::max(1.0f, host->tempo());
    return line.known() && std::fabs(apart(clock, at)) * msPerBeat < 2048.0 * 1000.0 / 44100.0;
}

// Following the other side's clock: the mix tempo is nudged so that this
// side's beat meets the other's.
void BLNet::follow(const BLNetMessage& clock, double at)
{
    if (!following || !line.known() || !host->playing()) return;
    const double d = apart(clock, at);
    paced = static_cast<float>(host->tempo() * nudge.factor(d));
    host->pace(paced);
    char text[64];
    std::snprintf(text, sizeof text, "%.4f beats", d);
    note("apart", text);
}

// The other side's pace in beats per ms, from its last two clocks.
void BLNet::clockRate(const BLNetMessage& clock, double at)
{
    const double beat = clock.beatMilli / 1000.0;
    if (lastClockAt > 0 && at - lastClockAt > 100 && at - lastClockAt < 5000) {
        double step = beat - lastClockBeat;
        if (step < 0) step += kCycleBeats;
        const double rate = step / (at - lastClockAt);
        const double nominal = clock.tempoMilli / 60000000.0;
        // A rate far off the tempo is a clock lost on the way, not a pace.
        if (std::fabs(rate / nominal - 1.0) < 0.2)
            theirRate = theirRate > 0 ? 0.5 * (theirRate + rate) : rate;
    }
    lastClockBeat = beat;
    lastClockAt = at;
}

// When the other side's cycle, at the beat its clock told at `at`, ends:
// the first such end from now on.
double BLNet::theirCycleEnd(const BLNetMessage& clock, double at) const
{
    const double msPerBeat = theirRate > 0 ? 1.0 / theirRate : 60000.0 / (clock.tempoMilli / 1000.0);
    double when = at + (kCycleBeats - clock.beatMilli / 1000.0) * msPerBeat;
    const double now = plat::monotonicMs();
    while (when < now) when += kCycleBeats * msPerBeat;
    return when;
}

// This side starts when the other side's cycle ends, so both count their
// cycles from the same moment.
void BLNet::scheduleStart(const BLNetMessage& clock, double at)
{
    playPending = false;
    startAt = theirCycleEnd(clock, at);
}

// A later clock of the other side while this side waits for the end of its
// cycle: the moment planned moves with it to where the other side's pace
// now puts that end (the one nearest the moment planned, never another cycle).
double BLNet::refinedCycleEnd(const BLNetMessage& clock, double at, double planned) const
{
    const double msPerBeat = theirRate > 0 ? 1.0 / theirRate : 60000.0 / (clock.tempoMilli / 1000.0);
    const double cycle = kCycleBeats * msPerBeat;
    double when = at + (kCycleBeats - clock.beatMilli / 1000.0) * msPerBeat;
    while (when - planned > cycle / 2) when -= cycle;
    while (planned - when > cycle / 2) when += cycle;
    return when;
}

void BLNet::sendClock()
{
    if (!host || !welcomed || !line.known()) return;
    double inCycle = std::fmod(heardAt(plat::monotonicMs()), kCycleBeats);
    if (inCycle < 0) inCycle += kCycleBeats;
    const long tempo = std::lround(static_cast<double>(host->tempo()) * 1000.0);
    if (tempo < kBLNetTempoMin || tempo > kBLNetTempoMax) return;
    std::snprintf(message, sizeof message, "%d %ld %ld", kBLNetClock, tempo,
                  std::min<long>(std::lround(std::floor(inCycle * 1000.0)), kBLNetCycleMilli - 1));
    sendMessage();
    sharedTempo = host->tempo();
    clockDue = false;
}

// Where the mixer is, in beats since playing started (BLBeatLine).
void BLNet::keepTime(double now)
{
    const double p = host->playing() ? host->position() : -1;
    const float tempo = host->tempo();
    line.add(now, p, tempo);
    if (p < 0) {
        lastBeat = -1;
        lastWholeBeat = -1;
        return;
    }
    const int b = host->beat();
    if (b != lastBeat && b >= 0) {
        char text[64];
        std::snprintf(text, sizeof text, "%d at %.3f tempo %.3f", b, now, static_cast<double>(tempo));
        note("beat", text);
    }
    lastBeat = b;
}
