#include "platform/PlatStretch.h"

#include <rubberband/RubberBandStretcher.h>

#include <new>

namespace {

using RubberBand::RubberBandStretcher;

class RubberBandStretch : public PlatStretcher {
public:
    RubberBandStretch(RubberBandStretcher::Options options, double ratio, int channels = 2)
        : rb_(44100, static_cast<size_t>(channels), options, ratio, 1.0)
    {
    }

    void setRatio(double outPerIn) override
    {
        if (outPerIn > 0 && outPerIn != rb_.getTimeRatio()) rb_.setTimeRatio(outPerIn);
    }
    int startPad() const override { return static_cast<int>(rb_.getPreferredStartPad()); }
    int startDelay() const override { return static_cast<int>(rb_.getStartDelay()); }
    int framesWanted() const override { return static_cast<int>(rb_.getSamplesRequired()); }
    void feed(const float* const* in, int frames, bool last) override
    {
        if (frames > 0 || last) rb_.process(in, static_cast<size_t>(frames > 0 ? frames : 0), last);
    }
    int ready() const override { return rb_.available(); }
    int take(float* const* out, int frames) override
    {
        return frames > 0 ? static_cast<int>(rb_.retrieve(out, static_cast<size_t>(frames))) : 0;
    }
    void reset() override { rb_.reset(); }

    RubberBandStretcher& stretcher() { return rb_; }

private:
    RubberBandStretcher rb_;
};

}  // namespace

std::unique_ptr<PlatStretcher> PlatStretcher_Live(double outPerIn)
{
    if (!(outPerIn > 0)) return nullptr;
    // The finer engine in its short-window form: steady tones keep their
    // pitch to a fraction of a cent at every ratio (the faster engine drifts
    // a bass tone by 20 to 60 cents), drum hits stay within 4 ms of their
    // beat, and it costs the timer thread about what the faster engine does
    // (the finer engine's standard window costs three times as much).
    // Channels together keep the stereo image.
    const auto options = RubberBandStretcher::OptionProcessRealTime | RubberBandStretcher::OptionEngineFiner |
                         RubberBandStretcher::OptionWindowShort | RubberBandStretcher::OptionThreadingNever |
                         RubberBandStretcher::OptionChannelsTogether;
    auto s = std::unique_ptr<RubberBandStretch>(new (std::nothrow) RubberBandStretch(options, outPerIn));
    if (!s) return nullptr;
    s->stretcher().setMaxProcessSize(kPlatStretchFeed);
    return s;
}

std::unique_ptr<PlatStretcher> PlatStretcher_Render(double outPerIn, int64_t inputFrames, int channels)
{
    if (!(outPerIn > 0) || inputFrames < 0 || channels < 1 || channels > 2) return nullptr;
    const auto options = RubberBandStretcher::OptionProcessOffline | RubberBandStretcher::OptionEngineFiner |
                         RubberBandStretcher::OptionThreadingNever |
                         RubberBandStretcher::OptionChannelsTogether;
    auto s =
        std::unique_ptr<RubberBandStretch>(new (std::nothrow) RubberBandStretch(options, outPerIn, channels));
    if (!s) return nullptr;
    s->stretcher().setExpectedInputDuration(static_cast<size_t>(inputFrames));
    s->stretcher().setMaxProcessSize(kPlatStretchFeed);
    return s;
}
