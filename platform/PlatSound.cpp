#include "platform/PlatSound.h"

#include <fcntl.h>
#include <samplerate.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/PlatFiles.h"

namespace plat {

namespace {

SNDFILE* sf(void* p)
{
    return static_cast<SNDFILE*>(p);
}

int pcmSubtype(SoundContainer container, int bits)
{
    switch (bits) {
        case 8: return container == SoundContainer::Wav ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_S8;
        case 24: return SF_FORMAT_PCM_24;
        case 32: return SF_FORMAT_PCM_32;
        default: return SF_FORMAT_PCM_16;
    }
}

int formatOf(SoundContainer container, int bits)
{
    switch (container) {
        case SoundContainer::Wav: return SF_FORMAT_WAV | pcmSubtype(container, bits);
        case SoundContainer::Aiff: return SF_FORMAT_AIFF | pcmSubtype(container, bits);
        case SoundContainer::Flac: return SF_FORMAT_FLAC | pcmSubtype(container, std::min(bits, 24));
        case SoundContainer::OggVorbis: return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
        case SoundContainer::OggOpus: return SF_FORMAT_OGG | SF_FORMAT_OPUS;
        case SoundContainer::Mp3: return SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    }
    return 0;
}

bool isLossy(SoundContainer c)
{
    return c == SoundContainer::OggVorbis || c == SoundContainer::OggOpus || c == SoundContainer::Mp3;
}

// A memory file for the write probe.
struct MemoryFile {
    std::vector<uint8_t> bytes;
    sf_count_t pos = 0;
};

sf_count_t memLength(void* user)
{
    return static_cast<sf_count_t>(static_cast<MemoryFile*>(user)->bytes.size());
}
sf_count_t memSeek(sf_count_t offset, int whence, void* user)
{
    auto* m = static_cast<MemoryFile*>(user);
    const sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->pos : memLength(user);
    if (base + offset < 0) return -1;
    m->pos = base + offset;
    return m->pos;
}
sf_count_t memRead(void* ptr, sf_count_t count, void* user)
{
    auto* m = static_cast<MemoryFile*>(user);
    const sf_count_t n = std::max<sf_count_t>(0, std::min<sf_count_t>(count, memLength(user) - m->pos));
    if (n > 0) std::memcpy(ptr, m->bytes.data() + m->pos, static_cast<size_t>(n));
    m->pos += n;
    return n;
}
sf_count_t memWrite(const void* ptr, sf_count_t count, void* user)
{
    auto* m = static_cast<MemoryFile*>(user);
    const size_t end = static_cast<size_t>(m->pos + count);
    if (m->bytes.size() < end) m->bytes.resize(end);
    std::memcpy(m->bytes.data() + m->pos, ptr, static_cast<size_t>(count));
    m->pos += count;
    return count;
}
sf_count_t memTell(void* user)
{
    return static_cast<MemoryFile*>(user)->pos;
}

bool probeWrite(SoundContainer container)
{
    SF_VIRTUAL_IO io{memLength, memSeek, memRead, memWrite, memTell};
    MemoryFile memory;
    SF_INFO info{};
    info.samplerate = writableRate(container, 44100);
    info.channels = 2;
    info.format = formatOf(container, 16);
    if (!sf_format_check(&info)) return false;
    SNDFILE* file = sf_open_virtual(&io, SFM_WRITE, &info, &memory);
    if (!file) return false;
    std::array<short, 2 * 1152> silence{};
    const bool written = sf_writef_short(file, silence.data(), 1152) == 1152;
    return sf_close(file) == 0 && written && !memory.bytes.empty();
}

constexpr std::array kAllContainers = {SoundContainer::Wav,     SoundContainer::Aiff,
                                       SoundContainer::Flac,    SoundContainer::OggVorbis,
                                       SoundContainer::OggOpus, SoundContainer::Mp3};

const std::array<bool, kAllContainers.size()>& writable()
{
    static std::array<bool, kAllContainers.size()> result{};
    static std::once_flag once;
    std::call_once(once, [] {
        for (size_t i = 0; i < kAllContainers.size(); ++i) result[i] = probeWrite(kAllContainers[i]);
    });
    return result;
}

}  // namespace

// --- reading ---

bool SoundReader::open(const std::string& path)
{
    close();
    // A pipe or a device in a sound file's place would hold the reader.
    const int fd = openPlainFile(path, O_RDONLY);
    if (fd < 0) return false;
    SF_INFO info{};
    // The descriptor stays ours: the library closes nothing, also on failure.
    SNDFILE* file = sf_open_fd(fd, SFM_READ, &info, SF_FALSE);
    if (!file) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    if (info.channels < 1 || info.samplerate < 1) {
        sf_close(file);
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    // Float files beyond full scale clip instead of wrapping when read as integers.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const int subtype = info.format & SF_FORMAT_SUBMASK;
    floats_ = subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
    file_ = file;
    rate_ = info.samplerate;
    channels_ = info.channels;
    frames_ = info.frames;
    return true;
}

void SoundReader::close()
{
    if (file_) sf_close(sf(file_));
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    file_ = nullptr;
    rate_ = channels_ = 0;
    frames_ = 0;
    floats_ = false;
}

// The library takes the samples of float files as they are when it gives
// integers, which leaves nothing of a sound within +-1: they are read as
// floats and brought to full scale here, a stack block at a time.
template <class T>
long SoundReader::readFloatsAs(T* frames, long count, double fullScale)
{
    constexpr int kBlock = 4096;  // samples; the library allows 1024 channels at most
    float block[kBlock];
    const long per = std::max(1L, static_cast<long>(kBlock / channels_));
    long done = 0;
    while (done < count) {
        const long want = std::min(per, count - done);
        const sf_count_t n = sf_readf_float(sf(file_), block, want);
        if (n < want && sf_error(sf(file_)) != SF_ERR_NO_ERROR) return -1;
        T* out = frames + static_cast<size_t>(done) * channels_;
        for (long i = 0; i < n * channels_; ++i) {
            const double v = std::clamp(static_cast<double>(block[i]) * fullScale, -fullScale, fullScale - 1);
            out[i] = static_cast<T>(std::lround(v));
        }
        done += n;
        if (n < want) break;
    }
    std::fill(frames + static_cast<size_t>(done) * channels_, frames + static_cast<size_t>(count) * channels_,
              T{0});
    return done;
}

long SoundReader::read(int16_t* frames, long count)
{
    if (!file_ || count < 0) return -1;
    if (floats_) return readFloatsAs(frames, count, 32768.0);
    const sf_count_t n = sf_readf_short(sf(file_), frames, count);
    return n < count && sf_error(sf(file_)) != SF_ERR_NO_ERROR ? -1 : static_cast<long>(n);
}

long SoundReader::read(int32_t* frames, long count)
{
    if (!file_ || count < 0) return -1;
    if (floats_) return readFloatsAs(frames, count, 2147483648.0);
    const sf_count_t n = sf_readf_int(sf(file_), frames, count);
    return n < count && sf_error(sf(file_)) != SF_ERR_NO_ERROR ? -1 : static_cast<long>(n);
}

long SoundReader::read(float* frames, long count)
{
    if (!file_ || count < 0) return -1;
    const sf_count_t n = sf_readf_float(sf(file_), frames, count);
    return n < count && sf_error(sf(file_)) != SF_ERR_NO_ERROR ? -1 : static_cast<long>(n);
}

bool SoundReader::rewind()
{
    return file_ && sf_seek(sf(file_), 0, SEEK_SET) == 0;
}

// --- writing ---

bool SoundWriter::open(const std::string& path, const SoundWriteSettings& settings)
{
    abort();
    if (!canWrite(settings.container) || path.empty()) return false;
    SF_INFO info{};
    info.samplerate = settings.rate;
    info.channels = settings.channels;
    info.format = formatOf(settings.container, settings.bits);
    if (!sf_format_check(&info) || !replace_.open(path)) return false;
    SNDFILE* file = sf_open_fd(replace_.descriptor(), SFM_WRITE, &info, SF_FALSE);
    if (!file) {
        replace_.abort();
        return false;
    }
    if (settings.container == SoundContainer::Flac || isLossy(settings.container)) {
        double level = 1.0 - std::clamp(settings.quality, 0.0, 1.0);
        if (settings.bitRate > 0 && settings.container == SoundContainer::Mp3) {
            // The encoder takes 320 - level x 288 kbit/s, truncated.
            int mode = SF_BITRATE_MODE_CONSTANT;
            sf_command(file, SFC_SET_BITRATE_MODE, &mode, sizeof mode);
            level = (320.0 - settings.bitRate - 0.5) / 288.0;
        } else if (settings.bitRate > 0 && settings.container == SoundContainer::OggOpus) {
            // The encoder takes (1 - level) x 250000 + 6000 bit/s a channel, truncated.
            const double perChannel = settings.bitRate * 1000.0 / settings.channels;
            level = 1.0 - (perChannel + 0.5 - 6000.0) / 250000.0;
        }
        level = std::clamp(level, 0.0, 1.0);
        sf_command(file, SFC_SET_COMPRESSION_LEVEL, &level, sizeof level);
    }
    // Floats beyond full scale clip instead of wrapping.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    file_ = file;
    return true;
}

bool SoundWriter::write(const int16_t* frames, long count)
{
    return file_ && count >= 0 && sf_writef_short(sf(file_), frames, count) == count;
}

bool SoundWriter::write(const int32_t* frames, long count)
{
    return file_ && count >= 0 && sf_writef_int(sf(file_), frames, count) == count;
}

bool SoundWriter::write(const float* frames, long count)
{
    return file_ && count >= 0 && sf_writef_float(sf(file_), frames, count) == count;
}

bool SoundWriter::close()
{
    if (!file_) return false;
    const bool ok = sf_close(sf(file_)) == 0;
    file_ = nullptr;
    return ok;
}

bool SoundWriter::finish()
{
    if (!file_ && replace_.tempPath().empty()) return false;
    if (file_ && !complete()) return false;
    return replace_.commit();
}

bool SoundWriter::complete()
{
    if (!file_) return false;
    if (!close()) {
        replace_.abort();
        return false;
    }
    return true;
}

void SoundWriter::abort()
{
    if (file_) close();
    replace_.abort();
}

bool canWrite(SoundContainer container)
{
    for (size_t i = 0; i < kAllContainers.size(); ++i)
        if (kAllContainers[i] == container) return writable()[i];
    return false;
}

std::vector<SoundContainer> writableContainers()
{
    std::vector<SoundContainer> list;
    for (size_t i = 0; i < kAllContainers.size(); ++i)
        if (writable()[i]) list.push_back(kAllContainers[i]);
    return list;
}

int writableRate(SoundContainer container, int rate)
{
    static constexpr int kOpus[] = {8000, 12000, 16000, 24000, 48000};
    static constexpr int kMpeg[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
    auto nearest = [rate](const auto& rates) {
        int best = rates[0];
        for (int r : rates)
            if (std::abs(r - rate) < std::abs(best - rate)) best = r;
        return best;
    };
    switch (container) {
        case SoundContainer::OggOpus: {
            // Opus resamples internally anyway: take the first rate at or above.
            for (int r : kOpus)
                if (r >= rate) return r;
            return 48000;
        }
        case SoundContainer::Mp3: return nearest(kMpeg);
        default: return std::clamp(rate, 1000, 384000);
    }
}

int maxPcmBits(SoundContainer container)
{
    switch (container) {
        case SoundContainer::Wav:
        case SoundContainer::Aiff: return 32;
        case SoundContainer::Flac: return 24;
        default: return 0;
    }
}

// --- rate conversion ---

bool RateConverter::open(int channels, double ratio, Quality quality)
{
    close();
    if (channels < 1 || !src_is_valid_ratio(ratio)) return false;
    int error = 0;
    const int type = quality == Quality::fastest ? SRC_SINC_FASTEST
                     : quality == Quality::best  ? SRC_SINC_BEST_QUALITY
                                                 : SRC_SINC_MEDIUM_QUALITY;
    state_ = src_new(type, channels, &error);
    ratio_ = ratio;
    return state_ != nullptr;
}

void RateConverter::close()
{
    if (state_) src_delete(static_cast<SRC_STATE*>(state_));
    state_ = nullptr;
}

long RateConverter::process(const float* in, long inFrames, long* used, float* out, long outCapacity,
                            bool endOfInput)
{
    if (used) *used = 0;
    if (!state_ || inFrames < 0 || outCapacity < 0) return -1;
    // The library flushes nothing when handed no input buffer at all.
    static const float kNoInput = 0.0f;
    SRC_DATA data{};
    data.data_in = in ? in : &kNoInput;
    data.input_frames = inFrames;
    data.data_out = out;
    data.output_frames = outCapacity;
    data.end_of_input = endOfInput ? 1 : 0;
    data.src_ratio = ratio_;
    if (src_process(static_cast<SRC_STATE*>(state_), &data) != 0) return -1;
    if (used) *used = data.input_frames_used;
    return data.output_frames_gen;
}

void RateConverter::reset()
{
    if (state_) src_reset(static_cast<SRC_STATE*>(state_));
}

}  // namespace plat
