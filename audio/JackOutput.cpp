#include "audio/JackOutput.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/OVMixer.h"
#include "audio/OVTrack.h"
#include "platform/Platform.h"

namespace {

constexpr int kEngineRate = 44100;
// A placed start catches up at most this much in its first period (the
// main thread's reaction and the block the timeline starts on).
constexpr int kMostSkipped = 16384;
// How far ahead of the transport a placed start is put: the main thread's
// reaction and the wait for the next period fit in it.
constexpr int kLeadBlocks = 2;

plat::JackClient client;
bool opened = false;
std::string notUsed = "not opened";
MMSysJackOutput device;

// The headless log's line.
void note(const std::string& line)
{
    if (plat::hasBackend()) plat::backend().note(line);
}

// A placed start: set on the main thread before the play command, taken by
// the first period of the playback.
std::atomic<bool> placePending{false};
double placeCycleBase = 0;
int64_t placeStartFrame = 0;
std::atomic<bool> deviceLive{false};
// The last period pulled: the song frame of its first pulled frame, when
// that frame is heard, and the song frames each output frame stands for;
// written by JACK's thread between two steps of heardSeq (the fields with
// release, so that a reader that sees one sees the step before it).
std::atomic<uint64_t> heardSeq{0};
std::atomic<double> heardAt{-1};
std::atomic<double> heardFrame{0};
std::atomic<double> heardStep{1};
// When the last frame pulled is heard: past it nothing was pulled to be heard.
std::atomic<double> heardEnd{-1};

void pullHeard(MMSysAudio* owner, uint8_t* bytes, int count, int silentFrames)
{
    ResampledMarkNextPull();
    MMSysAudio::Pull(owner, bytes, count);
    double frame = 0, step = 1;
    const double at = client.periodHeardAtMs();
    const bool made = ResampledTakeMark(&frame, &step);
    const int64_t framesGiven = count / 4;  // 16-bit stereo
    heardSeq.fetch_add(1, std::memory_order_acq_rel);
    heardAt.store(made && at >= 0 ? at + silentFrames * 1000.0 / kEngineRate : -1, std::memory_order_release);
    heardFrame.store(frame, std::memory_order_release);
    heardStep.store(step, std::memory_order_release);
    heardEnd.store(made && at >= 0 ? at + (silentFrames + framesGiven) * 1000.0 / kEngineRate : -1,
                   std::memory_order_release);
    heardSeq.fetch_add(1, std::memory_order_acq_rel);
}

// Silence still to play before the placed timeline's first frame.
int leadIn = 0;
uint8_t skipped[kMixBlock * 4];
// What the first period did: the timeline frame first heard, and the
// transport's frame it was heard at.
std::atomic<bool> placedReady{false};
std::atomic<int64_t> placedGrooveFrame{0};
std::atomic<int64_t> placedTransportFrame{0};

// Output frames from the placed timeline start to where the transport is
// in this period: negative while the transport has yet to reach it.
long framesToStart(const plat::JackTransport& t)
{
    const double resampled = ResampledBPM.load();
    const double song = BPM.load();
    if (resampled <= 0 || song <= 0) return 0;
    const double beats = JackOutput_TransportBeats(t, 60.0 * kEngineRate / resampled) - placeCycleBase;
    const double frames = beats * resampled - static_cast<double>(placeStartFrame) * resampled / song;
    return std::clamp(std::lround(frames), -static_cast<long>(kMostSkipped), static_cast<long>(kMostSkipped));
}

// The first period of a placed start: silence until the transport reaches
// the timeline's start (the usual case: the start is placed a little
// ahead), or the frames it has passed already skipped.
void placeFirstPeriod(MMSysAudio* owner)
{
    const plat::JackTransport t = client.transport();
    const long lead = framesToStart(t);
    leadIn = lead < 0 ? static_cast<int>(-lead) : 0;
    for (long left = lead; left > 0;) {
        const int n = static_cast<int>(std::min<long>(left, kMixBlock));
        MMSysAudio::Pull(owner, skipped, n * 4);
        left -= n;
    }
    const double song = BPM.load();
    const double resampled = ResampledBPM.load();
    const int64_t groove =
        placeStartFrame + (lead > 0 && resampled > 0 ? std::lround(lead * song / resampled) : 0);
    placedGrooveFrame.store(groove, std::memory_order_relaxed);
    placedTransportFrame.store(t.frame + static_cast<int64_t>(leadIn) * client.rate() / kEngineRate,
                               std::memory_order_relaxed);
    placedReady.store(true, std::memory_order_release);
}

// A start placed in time (Link's bar): its first frame heard at
// placeAtMs. Set on the main thread before the play command.
std::atomic<bool> placeAtPending{false};
std::atomic<double> placeAtMs{0};

// Its first period: silence until then, or what is already past skipped.
void placeInTime(MMSysAudio* owner)
{
    const double at = client.periodHeardAtMs();
    if (at < 0) return;
    const long frames = std::lround((placeAtMs.load(std::memory_order_relaxed) - at) * kEngineRate / 1000.0);
    leadIn = frames > 0 ? static_cast<int>(std::min<long>(frames, 10L * kEngineRate)) : 0;
    for (long left = std::min<long>(-frames, kMostSkipped); left > 0;) {
        const int n = static_cast<int>(std::min<long>(left, kMixBlock));
        MMSysAudio::Pull(owner, skipped, n * 4);
        left -= n;
    }
}

}  // namespace

bool MMSysJackOutput::openPulled(int, int, int, MMSysAudio* owner)
{
    if (!client.alive()) return false;
    owner_ = owner;
    deviceLive.store(false);
    client.takeXruns();
    client.attach(&MMSysJackOutput::pull, this);
    return true;
}

bool MMSysJackOutput::alive()
{
    return client.alive();
}

void MMSysJackOutput::close()
{
    client.detach();
    heardSeq.fetch_add(1, std::memory_order_acq_rel);
    heardAt.store(-1, std::memory_order_release);
    heardSeq.fetch_add(1, std::memory_order_acq_rel);
    if (const int late = client.takeXruns())
        note("JACK: " + std::to_string(late) +
             " xruns while the groove played (periods made too late: heard as gaps)");
    deviceLive.store(false);
    placePending.store(false);
    placeAtPending.store(false);
    leadIn = 0;
}

void MMSysJackOutput::resume()
{
    deviceLive.store(true);
}

void MMSysJackOutput::pull(void* self, uint8_t* bytes, int count)
{
    auto* out = static_cast<MMSysJackOutput*>(self);
    if (deviceLive.load(std::memory_order_acquire) && placePending.load(std::memory_order_acquire)) {
        placePending.store(false, std::memory_order_relaxed);
        placeFirstPeriod(out->owner_);
    }
    if (deviceLive.load(std::memory_order_acquire) &&
        placeAtPending.exchange(false, std::memory_order_acq_rel))
        placeInTime(out->owner_);
    if (leadIn > 0) {
        const int frames = count / 4;
        const int n = std::min(leadIn, frames);
        std::memset(bytes, 0, static_cast<size_t>(n) * 4);
        leadIn -= n;
        if (n < frames) pullHeard(out->owner_, bytes + n * 4, (frames - n) * 4, n);
        return;
    }
    pullHeard(out->owner_, bytes, count, 0);
}

void JackOutput_Forgo()
{
    if (opened) return;
    opened = true;
    notUsed = "left aside by --no-jack";
    note("JACK: not used (" + notUsed + "); the sound card plays through SDL");
}

bool JackOutput_Open()
{
    if (opened) return JackOutput_InUse();
    opened = true;
    if (!client.open()) {
        notUsed = client.why();
        note("JACK: not used (" + notUsed + "); the sound card plays through SDL");
        return false;
    }
    notUsed.clear();
    note("JACK: the sound plays through JACK as client \"" + client.name() + "\", server at " +
         std::to_string(client.rate()) + " Hz, " + std::to_string(client.periodFrames()) +
         " frames a period" + (client.resampling() ? ", resampled from 44100 Hz" : ""));
    for (const auto& [port, peers] : client.connections()) {
        std::string to;
        for (const std::string& p : peers) to += (to.empty() ? "" : ", ") + p;
        note("JACK: port " + port + " connected to " + (to.empty() ? "nothing" : to));
    }
    return true;
}

void JackOutput_Close()
{
    if (client.isOpen()) note("JACK: client closed");
    client.close();
    opened = false;
    notUsed = "not opened";
}

bool JackOutput_InUse()
{
    return client.alive();
}

bool JackOutput_Gone()
{
    return client.isOpen() && !client.alive();
}

std::string JackOutput_Why()
{
    if (client.isOpen() && !client.alive()) return "the JACK server has shut down";
    return notUsed;
}

int JackOutput_Rate()
{
    return client.rate();
}

int JackOutput_PeriodFrames()
{
    return client.periodFrames();
}

bool JackOutput_Resampling()
{
    return client.resampling();
}

MMSysOutput* JackOutput_Device()
{
    return client.alive() ? &device : nullptr;
}

int JackOutput_DelayFrames()
{
    const int rate = client.rate() > 0 ? client.rate() : kEngineRate;
    return static_cast<int>(int64_t{2} * client.periodFrames() * kEngineRate / rate);
}

bool JackOutput_HeardSongFrame(double nowMs, double* frame)
{
    for (int tries = 0; tries < 4; ++tries) {
        const uint64_t before = heardSeq.load(std::memory_order_acquire);
        if (before & 1) continue;
        const double at = heardAt.load(std::memory_order_acquire);
        const double first = heardFrame.load(std::memory_order_acquire);
        const double step = heardStep.load(std::memory_order_acquire);
        const double end = heardEnd.load(std::memory_order_acquire);
        if (heardSeq.load(std::memory_order_acquire) != before) continue;
        if (at < 0 || nowMs > end) return false;
        *frame = first + (nowMs - at) * kEngineRate / 1000.0 * step;
        return true;
    }
    return false;
}

bool JackOutput_OpenMidiOut(const std::string& name, plat::JackClient::MidiFill fill, void* user)
{
    return client.alive() && !client.resampling() && client.openMidiOut(name, fill, user);
}

void JackOutput_CloseMidiOut()
{
    client.closeMidiOut();
}

std::string JackOutput_MidiOutName()
{
    return client.midiOutName();
}

bool JackOutput_SetCapture(plat::JackClient::CaptureFill fill, void* user)
{
    if (!client.alive() || client.resampling()) return false;
    client.setCapture(fill, user);
    return true;
}

plat::JackTransport JackOutput_Transport()
{
    return client.transport();
}

double JackOutput_TransportBeats(const plat::JackTransport& t, double bpm)
{
    if (t.bbt) return (t.bar - 1) * t.beatsPerBar + (t.beat - 1) + t.tick / t.ticksPerBeat;
    const int rate = client.rate();
    return rate > 0 ? t.frame * bpm / (60.0 * rate) : 0;
}

void JackOutput_PlaceStart(double beats)
{
    const int64_t song = BPM.load();
    placeCycleBase = std::floor(beats / kCycleBeats) * kCycleBeats;
    const double inCycle = song > 0 ? (beats - placeCycleBase) * static_cast<double>(song) : 0;
    // On a block (the timeline starts on one) a block or more ahead, so
    // that the transport has yet to reach it when the first period comes.
    placeStartFrame = (static_cast<int64_t>(inCycle) / kMixBlock + kLeadBlocks) * kMixBlock;
    SetTimeLineStart(placeStartFrame);
    placedReady.store(false);
    placePending.store(true, std::memory_order_release);
}

bool JackOutput_PlaceStartAt(double heardAtMs)
{
    if (!client.alive() || client.resampling()) return false;
    placeAtMs.store(heardAtMs, std::memory_order_relaxed);
    placeAtPending.store(true, std::memory_order_release);
    return true;
}

bool JackOutput_TakePlaced(int64_t& grooveFrame, int64_t& transportFrame)
{
    if (!placedReady.exchange(false, std::memory_order_acq_rel)) return false;
    grooveFrame = placedGrooveFrame.load(std::memory_order_relaxed);
    transportFrame = placedTransportFrame.load(std::memory_order_relaxed);
    return true;
}
