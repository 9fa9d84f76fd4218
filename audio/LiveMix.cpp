#include "audio/LiveMix.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "audio/AudioFormat.h"
#include "audio/HeldOutput.h"
#include "audio/MMSysAudio.h"
#include "audio/OVMixer.h"
#include "audio/OVTrack.h"
#include "audio/QualMix.h"
#include "audio/Vtrack.h"
#include "audio/WinApi.h"
#include "audio/Winaudio.h"
#include "platform/PlatFiles.h"

namespace {

constexpr int kBlock = 2048;

bool running()
{
    return PlayingStatus.load() == 2;
}

}  // namespace

bool LiveMix_Settle()
{
    if (!running()) return true;
    LoaderResume();
    const bool done = LoaderWaitIdle(60000);
    return LoaderPause(60000) && done;
}

// The device's output: keeps what it is given (the priming); nothing plays.
struct LiveMix::Capture : public HeldOutput {};

LiveMix::LiveMix() : capture_(std::make_unique<Capture>())
{
    wDBSetOutput(capture_.get());
    wDBSetTimer(false);
    engine_.loopsInMemory = true;
    engine_.init();
}

LiveMix::~LiveMix()
{
    engine_.stop();
    engine_.exit();
    wDBSetOutput(nullptr);
    wDBSetTimer(true);
}

int LiveMix::render(const char* wavPath, const MixPlan& plan, float tempo, bool keyLock, int mainVolume,
                    const std::function<void(float)>& progress, const std::function<bool()>& stop)
{
    if (!(tempo >= kQualMixMinTempo && tempo <= kQualMixMaxTempo) || SongBPM <= 0) return kQualMixBadTempo;
    const auto grooves = static_cast<int64_t>(plan.grooves.size());
    const auto total = static_cast<int64_t>(std::llround(grooves * 32.0 * MIXFREQ * 60.0 / tempo));
    if (total * 4 > kWaveMostDataBytes) return kQualMixTooLong;
    if (keyLock && !engine_.setKeyLock(true)) return kQualMixFailed;
    if (!keyLock) engine_.setKeyLock(false);
    engine_.stop();
    SetTimeLineStart(0);
    engine_.setLaunchGrid(kCycleBeats);
    engine_.sync_atGrooveSet(0);

    // A groove as the groove panel activates it: every track, then its effects.
    auto activate = [&](const MixPlanGroove& g) {
        for (int t = 0; t < kFxTracks; ++t) {
            const MixPlanTrack& k = g.tracks[t];
            const auto track = static_cast<short>(t);
            engine_.setTrackSample(track, static_cast<short>(k.sample));
            engine_.setTrackVolume(track, static_cast<short>(k.volume));
            engine_.setTrackPan(track, static_cast<short>(63 - k.pan));
        }
        FxSetup fx = g.fx;
        if (!plan.mainEffects) fx.racks[kFxMain] = FxRackSettings{};
        engine_.fx_setAll(fx);
    };

    plat::clearWriteError();
    void* file = CreateWave(wavPath, 2, 0, MIXFREQ);
    if (file == F_NOFILE) return kQualMixFailed;
    int64_t written = 0;
    // Frames written as they are made: a long sequence is never held whole.
    auto write = [&](const int16_t* frames, int64_t count) {
        count = std::min(count, total - written);
        std::vector<uint8_t> bytes(static_cast<size_t>(count) * 4);
        for (size_t i = 0; i < static_cast<size_t>(count) * 2; ++i) {
            const auto v = static_cast<uint16_t>(frames[i]);
            bytes[2 * i] = static_cast<uint8_t>(v & 0xFF);
            bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
        }
        written += count;
        return bytes.empty() ||
               F_write(file, bytes.data(), static_cast<int>(bytes.size())) == static_cast<int>(bytes.size());
    };

    capture_->held.clear();
    engine_.changesBegin();
    engine_.play();
    if (grooves > 0) activate(plan.grooves[0]);
    engine_.setMixerBpm(tempo);
    engine_.setMixerVolume(static_cast<short>(mainVolume));
    engine_.changesEnd();
    bool ok = write(capture_->held.data(), static_cast<int64_t>(capture_->held.size() / 2));
    capture_->held.clear();

    const int64_t cycle = int64_t{kCycleBeats} * BPM.load();
    int64_t next = 1;  // the next groove to land
    bool stopped = false;
    std::vector<int16_t> block(2 * kBlock);
    while (ok && written < total) {
        ok = LiveMix_Settle();
        engine_.fx_service();
        // Each next groove is given during the cycle before it, as the
        // sequence gives it, and lands on the cycle's end.
        if (next < grooves && cycle > 0 && TimeLine.load() >= (next - 1) * cycle) {
            engine_.sync_atGrooveSet(1);
            engine_.changesBegin();
            activate(plan.grooves[static_cast<size_t>(next)]);
            engine_.changesEnd();
            engine_.sync_atGrooveSet(0);
            ++next;
        }
        if (running()) {
            MixerLock hold;
            GetResampled(block.data(), kBlock);
        } else {
            std::fill(block.begin(), block.end(), 0);
        }
        ok = write(block.data(), kBlock) && ok;
        if (progress) progress(static_cast<float>(static_cast<double>(written) / static_cast<double>(total)));
        if (stop && stop()) {
            stopped = true;
            break;
        }
    }
    engine_.stop();
    if (stopped || !ok) {
        F_abandon(file);
        return stopped ? kQualMixStopped : kQualMixFailed;
    }
    WriteWaveLen(file, total * 4);
    return F_close(file) != 0 ? kQualMixWritten : kQualMixFailed;
}

int LiveMix::play(const char* wavPath, int64_t frames, LiveScript& script,
                  const std::function<void(float)>& progress, const std::function<bool()>& stop)
{
    if (frames * 4 > kWaveMostDataBytes) return kQualMixTooLong;
    engine_.stop();
    SetTimeLineStart(0);
    plat::clearWriteError();
    void* file = CreateWave(wavPath, 2, 0, MIXFREQ);
    if (file == F_NOFILE) return kQualMixFailed;
    capture_->pulled = true;
    capture_->owner = nullptr;
    std::vector<int16_t> block(2 * kBlock);
    std::vector<uint8_t> bytes;
    const int64_t lead = std::max<int64_t>(script.lead(), 0);
    int64_t made = 0;
    int64_t written = 0;
    bool ok = true, stopped = false;
    while (ok && written < frames) {
        ok = LiveMix_Settle();
        engine_.fx_service();
        script.apply(made);
        const int64_t due = script.next();
        // Pieces end where calls are due and where the lead ends.
        const int64_t upTo = made < lead ? lead : lead + frames;
        const int n =
            static_cast<int>(std::min<int64_t>({kBlock, upTo - made, due > made ? due - made : kBlock}));
        if (capture_->owner && running()) {
            MMSysAudio::Pull(capture_->owner, reinterpret_cast<uint8_t*>(block.data()), n * 4);
        } else {
            std::fill(block.begin(), block.begin() + 2 * n, 0);
        }
        made += n;
        if (made <= lead) continue;
        bytes.resize(static_cast<size_t>(n) * 4);
        for (size_t i = 0; i < static_cast<size_t>(n) * 2; ++i) {
            const auto v = static_cast<uint16_t>(block[i]);
            bytes[2 * i] = static_cast<uint8_t>(v & 0xFF);
            bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
        }
        ok = F_write(file, bytes.data(), static_cast<int>(bytes.size())) == static_cast<int>(bytes.size()) &&
             ok;
        written += n;
        if (progress)
            progress(static_cast<float>(static_cast<double>(written) / static_cast<double>(frames)));
        if (stop && stop()) {
            stopped = true;
            break;
        }
    }
    engine_.stop();
    capture_->pulled = false;
    capture_->owner = nullptr;
    if (stopped || !ok) {
        F_abandon(file);
        return stopped ? kQualMixStopped : kQualMixFailed;
    }
    WriteWaveLen(file, frames * 4);
    return F_close(file) != 0 ? kQualMixWritten : kQualMixFailed;
}
