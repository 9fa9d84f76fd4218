// A sound file read as a stream of full-scale 32-bit frames at a chosen rate
// and channel count: the common path of auditions and conversions. Frames
// pass unchanged when no rate conversion is needed (so 16-bit and 24-bit
// samples survive bit for bit); otherwise they are resampled in floats.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/PlatSound.h"

class kelQtSoundPipe {
public:
    // Sources outside these limits are treated as unreadable.
    static constexpr int kMinRate = 1000;
    static constexpr int kMaxRate = 1000000;
    static constexpr int kMaxChannels = 64;

    // Opens the source; the output is the source's own format until setOutput.
    bool open(const std::string& systemPath);
    // rate and channels 0 keep the source's; channels are 1 or 2 otherwise
    // (more are taken as their first two, mono is doubled, stereo averaged).
    bool setOutput(int rate, int channels);
    // A looping pipe starts the source again at its end, without a gap.
    void setLooping(bool on) { looping_ = on; }
    void close();

    int sourceRate() const { return reader_.rate(); }
    int sourceChannels() const { return reader_.channels(); }
    // As the source's header says (0 when it does not tell).
    int64_t sourceFrames() const { return reader_.frames(); }
    int rate() const { return rate_; }
    int channels() const { return channels_; }
    int32_t restarts() const { return restarts_; }

    // Up to `count` output frames; 0 at the end (a looping pipe ends only if
    // its source gives nothing), -1 on an error. A converted stream is
    // exactly the source's length times the rate ratio, rounded.
    long read(int32_t* out, long count);

private:
    long readSource(int32_t* out, long count);
    void mapChannels(const int32_t* in, long frames, int32_t* out) const;

    plat::SoundReader reader_;
    plat::RateConverter converter_;
    int rate_ = 0;
    int channels_ = 0;
    bool resampling_ = false;
    bool looping_ = false;
    int32_t restarts_ = 0;
    int64_t sinceRestart_ = 0;

    std::vector<int32_t> raw_;     // source frames as read
    std::vector<int32_t> mapped_;  // at the output's channel count
    std::vector<float> pending_;   // waiting for the rate converter
    long pendingFrames_ = 0;
    long pendingUsed_ = 0;
    std::vector<float> converted_;
    bool sourceEnded_ = false;
    bool tailDone_ = false;  // the converter has given all it holds
    bool finished_ = false;
    // Output ends at exactly input length x rate ratio, rounded.
    int64_t totalIn_ = 0;
    int64_t totalOut_ = 0;
    int64_t expectedOut_ = 0;
};

// Full-scale 32-bit sample to 16 bits, rounded to nearest and clipped.
inline int16_t kelQtTo16(int32_t v)
{
    const int64_t r = (static_cast<int64_t>(v) + 0x8000) >> 16;
    return static_cast<int16_t>(r > 32767 ? 32767 : r);
}
