#include "library/BLTakePlay.h"

#include <string>

#include "audio/BLEngine.h"
#include "audio/fx/FxSettings.h"
#include "library/BLSongLibrary.h"

namespace {

// What opening a song asks of the engine, to the live chain's.
class LiveSong : public BLEngineCalls {
public:
    explicit LiveSong(BLEngine& e) : engine(e) {}
    void stop() override { engine.stop(); }
    void setMixerFrequency(long hz) override { engine.setMixerFrequency(hz); }
    void samplesListReset() override { engine.samplesListReset(); }
    void samplesBpm(float bpm) override { engine.samplesBpm(bpm); }
    void samplesListAdd(const char* path, short repeats) override { engine.samplesListAdd(path, repeats); }
    BLEngine& engine;
};

// A call of one effect slot names one there is.
bool slotOf(const BLTakeCall& c)
{
    return c.a >= 0 && c.a < kFxRacks && c.b >= 0 && c.b < kFxSlots;
}

}  // namespace

void BLTake_Begin(const BLTake& take, BLEngineCalls& e)
{
    const BLTakeStart& s = take.start;
    e.setLaunchGrid(s.gridBeats);
    e.setKeyLock(s.keyLock);
    e.setMixerBpm(s.bpm);
    e.setMixerVolume(s.mainVolume);
    e.sync_atGrooveSet(0);
    e.fx_setAll(s.fx);
    if (s.playing) {
        e.startSongAt(s.songFrame);
        e.changesBegin();
        e.play();
        for (int16_t t = 0; t < kBLTakeTracks; ++t) {
            e.setTrackSample(t, s.samples[t]);
            if (s.samples[t] < 0) continue;
            e.setTrackVolume(t, s.volumes[t]);
            e.setTrackPan(t, s.pans[t]);
        }
        e.setMixerBpm(s.bpm);
        e.setMixerVolume(s.mainVolume);
        e.changesEnd();
    }
    e.sync_atGrooveSet(s.sync ? 1 : 0);
}

void BLTake_Apply(const BLTakeCall& c, BLEngineCalls& e)
{
    using Op = BLTakeCall::Op;
    const std::string text(c.data.begin(), c.data.end());
    switch (c.op) {
        case Op::play: e.play(); break;
        case Op::stop: e.stop(); break;
        case Op::trackSample: e.setTrackSample(c.a, c.b); break;
        case Op::trackVolume: e.setTrackVolume(c.a, c.b); break;
        case Op::trackPan: e.setTrackPan(c.a, c.b); break;
        case Op::sync: e.sync_atGrooveSet(c.a); break;
        case Op::changesBegin: e.changesBegin(); break;
        case Op::changesEnd: e.changesEnd(); break;
        case Op::launchGrid: e.setLaunchGrid(c.a); break;
        case Op::mixerBpm: e.setMixerBpm(c.value); break;
        case Op::mixerVolume: e.setMixerVolume(c.a); break;
        case Op::keyLock: e.setKeyLock(c.a != 0); break;
        case Op::synthArp: e.synth_Arp(c.a, c.b, text.c_str()); break;
        case Op::synthStop: e.synth_Stop(); break;
        case Op::synthPoly: e.synth_SetPoly(c.a); break;
        case Op::synthVolume: e.synth_SetVolume(c.a); break;
        case Op::synthPan: e.synth_SetPan(c.a); break;
        case Op::synthFolder: e.synth_SetFolder(text.c_str()); break;
        case Op::effects: {
            FxSetup fx;
            if (BLTake_DecodeEffects(c.data, fx)) e.fx_setAll(fx);
            break;
        }
        case Op::fxSlot: {
            FxSetup fx;
            if (slotOf(c) && BLTake_DecodeEffects(c.data, fx)) e.fx_set(c.a, c.b, fx.racks[c.a].slots[c.b]);
            break;
        }
        case Op::fxParam:
            if (slotOf(c)) e.fx_setParam(c.a, c.b, text, c.value);
            break;
        case Op::fxBypass:
            if (slotOf(c)) e.fx_bypass(c.a, c.b, c.value != 0);
            break;
    }
}

int64_t BLTakeScript::lead()
{
    return take.start.lead;
}

int64_t BLTakeScript::next()
{
    return at < take.calls.size() ? take.calls[at].at + take.start.lead : INT64_MAX;
}

void BLTakeScript::apply(int64_t frame)
{
    if (!begun) {
        begun = true;
        BLTake_Begin(take, engine);
    }
    // The take's own stop is its end: the render makes the frames up to it.
    for (; at < take.calls.size() && take.calls[at].at + take.start.lead <= frame; ++at)
        if (take.calls[at].op != BLTakeCall::Op::stop) BLTake_Apply(take.calls[at], engine);
}

void BLTake_OpenSong(LiveMix& live, BLSongLibrary& library, const std::string& folder)
{
    LiveSong song(live.engine());
    library.fillSamplesList(folder.c_str(), song);
}

int BLTake_Render(const BLTake& take, BLSongLibrary& library, const std::string& folder,
                  const std::string& wav, const std::function<void(float)>& progress,
                  const std::function<bool()>& stop)
{
    LiveMix live;
    BLTake_OpenSong(live, library, folder);
    BLEngineCalls calls(&live.engine());
    BLTakeScript script(take, calls);
    return live.play(wav.c_str(), take.frames, script, progress, stop);
}
