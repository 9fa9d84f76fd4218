#include "audio/JackOutput.h"

#include <algorithm>
#include <cmath>

#include "audio/OVMixer.h"
#include "audio/OVTrack.h"
#include "platform/Platform.h"

namespace {

constexpr int kEngineRate = 44100;
// A placed start catches up at most this much in its first period (the
// main thread's reaction and the block the timeline starts on).
constexpr int kMostSkipped = 16384;

plat::JackClient client;
bool opened = false;
std::string notUsed = "not opened";
MMSysJackOutput device;

// A placed start: set on the main thread before the play command, taken by
// the first period of the playback.
std::atomic<bool> placePending{false};
double placeCycleBase = 0;
int64_t placeStartFrame = 0;
std::atomic<int> placedSkip{-1};
std::atomic<bool> deviceLive{false};
uint8_t skipped[kMixBlock * 4];

// The headless log's line.
void note(const std::string& line)
{
    if (plat::hasBackend()) plat::backend().note(line);
}

// Output frames from the placed timeline start to where the transport is
// in this period.
int framesToSkip()
{
    const double resampled = ResampledBPM.load();
    const double song = BPM.load();
    if (resampled <= 0 || song <= 0) return 0;
    const double beats = JackOutput_TransportBeats(client.transport(), 60.0 * kEngineRate / resampled) - placeCycleBase;
    const double frames = beats * resampled - static_cast<double>(placeStartFrame) * resampled / song;
    return static_cast<int>(std::clamp(std::lround(frames), 0L, static_cast<long>(kMostSkipped)));
}

}  // namespace

bool MMSysJackOutput::openPulled(int, int, int, MMSysAudio* owner)
{
    if (!client.alive()) return false;
    owner_ = owner;
    deviceLive.store(false);
    client.attach(&MMSysJackOutput::pull, this);
    return true;
}

bool MMSysJackOutput::alive() { return client.alive(); }

void MMSysJackOutput::close()
{
    client.detach();
    deviceLive.store(false);
    placePending.store(false);
}

void MMSysJackOutput::resume() { deviceLive.store(true); }

void MMSysJackOutput::pull(void* self, uint8_t* bytes, int count)
{
    auto* out = static_cast<MMSysJackOutput*>(self);
    if (deviceLive.load(std::memory_order_acquire) && placePending.load(std::memory_order_acquire)) {
        placePending.store(false, std::memory_order_relaxed);
        const int skip = framesToSkip();
        for (int left = skip; left > 0;) {
            const int n = std::min(left, kMixBlock);
            MMSysAudio::Pull(out->owner_, skipped, n * 4);
            left -= n;
        }
        placedSkip.store(skip, std::memory_order_release);
    }
    MMSysAudio::Pull(out->owner_, bytes, count);
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

bool JackOutput_InUse() { return client.alive(); }

bool JackOutput_Gone() { return client.isOpen() && !client.alive(); }

std::string JackOutput_Why()
{
    if (client.isOpen() && !client.alive()) return "the JACK server has shut down";
    return notUsed;
}

int JackOutput_Rate() { return client.rate(); }

int JackOutput_PeriodFrames() { return client.periodFrames(); }

bool JackOutput_Resampling() { return client.resampling(); }

MMSysOutput* JackOutput_Device() { return client.alive() ? &device : nullptr; }

int JackOutput_DelayFrames()
{
    const int rate = client.rate() > 0 ? client.rate() : kEngineRate;
    return static_cast<int>(int64_t{2} * client.periodFrames() * kEngineRate / rate);
}

plat::JackTransport JackOutput_Transport() { return client.transport(); }

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
    placeStartFrame = static_cast<int64_t>(inCycle) / kMixBlock * kMixBlock;
    SetTimeLineStart(placeStartFrame);
    placedSkip.store(-1);
    placePending.store(true, std::memory_order_release);
}

bool JackOutput_TakePlaced(int& skip)
{
    skip = placedSkip.exchange(-1, std::memory_order_acq_rel);
    return skip >= 0;
}
