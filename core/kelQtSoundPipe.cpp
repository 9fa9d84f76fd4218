#include "core/kelQtSoundPipe.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr long kBlockFrames = 4096;

inline float toFloat(int32_t v)
{
    return static_cast<float>(v) * (1.0f / 2147483648.0f);
}
inline int32_t fromFloat(float f)
{
    const double v = std::clamp(static_cast<double>(f) * 2147483648.0, -2147483648.0, 2147483647.0);
    return static_cast<int32_t>(std::lrint(v));
}

}  // namespace

bool kelQtSoundPipe::open(const std::string& systemPath)
{
    close();
    if (!reader_.open(systemPath)) return false;
    if (reader_.rate() < kMinRate || reader_.rate() > kMaxRate || reader_.channels() > kMaxChannels) {
        reader_.close();
        return false;
    }
    raw_.resize(static_cast<size_t>(kBlockFrames) * reader_.channels());
    return setOutput(0, 0);
}

bool kelQtSoundPipe::setOutput(int rate, int channels)
{
    if (!reader_.isOpen() || channels < 0 || channels > 2 || rate < 0) return false;
    if (rate != 0 && (rate < kMinRate || rate > kMaxRate)) return false;
    rate_ = rate ? rate : reader_.rate();
    channels_ = channels ? channels : reader_.channels();
    resampling_ = rate_ != reader_.rate();
    converter_.close();
    if (resampling_ && !converter_.open(channels_, static_cast<double>(rate_) / reader_.rate())) return false;
    mapped_.resize(static_cast<size_t>(kBlockFrames) * channels_);
    pending_.resize(static_cast<size_t>(kBlockFrames) * channels_);
    converted_.resize(static_cast<size_t>(kBlockFrames) * channels_);
    pendingFrames_ = pendingUsed_ = 0;
    sourceEnded_ = tailDone_ = finished_ = false;
    totalIn_ = totalOut_ = expectedOut_ = 0;
    return true;
}

void kelQtSoundPipe::close()
{
    reader_.close();
    converter_.close();
    rate_ = channels_ = 0;
    resampling_ = false;
    restarts_ = 0;
    sinceRestart_ = 0;
    pendingFrames_ = pendingUsed_ = 0;
    sourceEnded_ = tailDone_ = finished_ = false;
    totalIn_ = totalOut_ = expectedOut_ = 0;
}

void kelQtSoundPipe::mapChannels(const int32_t* in, long frames, int32_t* out) const
{
    const int from = reader_.channels();
    if (from == channels_) {
        std::copy(in, in + frames * from, out);
    } else if (channels_ == 1) {
        for (long f = 0; f < frames; ++f) {
            int64_t sum = 0;
            for (int c = 0; c < from; ++c) sum += in[f * from + c];
            out[f] = static_cast<int32_t>(sum / from);
        }
    } else if (from == 1) {
        for (long f = 0; f < frames; ++f) out[f * 2] = out[f * 2 + 1] = in[f];
    } else {
        for (long f = 0; f < frames; ++f) {
            out[f * 2] = in[f * from];
            out[f * 2 + 1] = in[f * from + 1];
        }
    }
}

long kelQtSoundPipe::readSource(int32_t* out, long count)
{
    count = std::min(count, kBlockFrames);
    long n = reader_.read(raw_.data(), count);
    if (n == 0 && looping_ && sinceRestart_ > 0) {
        if (!reader_.rewind()) return -1;
        ++restarts_;
        sinceRestart_ = 0;
        n = reader_.read(raw_.data(), count);
    }
    if (n <= 0) return n;
    sinceRestart_ += n;
    mapChannels(raw_.data(), n, out);
    return n;
}

long kelQtSoundPipe::read(int32_t* out, long count)
{
    if (!reader_.isOpen() || count < 0) return -1;
    long produced = 0;
    while (produced < count) {
        if (!resampling_) {
            const long n = readSource(out + produced * channels_, count - produced);
            if (n < 0) return -1;
            if (n == 0) break;
            produced += n;
            continue;
        }
        if (finished_) break;
        if (pendingUsed_ == pendingFrames_ && !sourceEnded_) {
            const long n = readSource(mapped_.data(), kBlockFrames);
            if (n < 0) return -1;
            for (long i = 0; i < n * channels_; ++i)
                pending_[static_cast<size_t>(i)] = toFloat(mapped_[static_cast<size_t>(i)]);
            pendingFrames_ = n;
            pendingUsed_ = 0;
            totalIn_ += n;
            if (n == 0) {
                sourceEnded_ = true;
                expectedOut_ = std::llround(static_cast<double>(totalIn_) * rate_ / reader_.rate());
            }
        }
        const bool flushing = sourceEnded_ && pendingUsed_ == pendingFrames_;
        const long room = std::min(count - produced, kBlockFrames);
        if (flushing && tailDone_) {
            // The converter may end a frame short or long of the exact
            // length; silence or a cut makes it exact.
            const long pad = static_cast<long>(std::min<int64_t>(room, expectedOut_ - totalOut_));
            if (pad <= 0) {
                finished_ = true;
                break;
            }
            std::fill(out + produced * channels_, out + (produced + pad) * channels_, 0);
            produced += pad;
            totalOut_ += pad;
            continue;
        }
        long used = 0;
        long made =
            converter_.process(pending_.data() + pendingUsed_ * channels_, pendingFrames_ - pendingUsed_,
                               &used, converted_.data(), room, flushing);
        if (made < 0) return -1;
        pendingUsed_ += used;
        if (flushing && made == 0) {
            tailDone_ = true;
            continue;
        }
        if (!flushing && used == 0 && made == 0 && pendingUsed_ < pendingFrames_) return -1;
        if (sourceEnded_) made = static_cast<long>(std::clamp<int64_t>(expectedOut_ - totalOut_, 0, made));
        for (long i = 0; i < made * channels_; ++i)
            out[produced * channels_ + i] = fromFloat(converted_[static_cast<size_t>(i)]);
        produced += made;
        totalOut_ += made;
    }
    return produced;
}
