// Sound files and rate conversion: thin wrappers over libsndfile and
// libsamplerate. Frames are interleaved; 16-bit, 32-bit (full-scale int32)
// and float (-1..1) forms are offered both ways.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/PlatFiles.h"

namespace plat {

// Containers the writer knows. Which of them this build of libsndfile can
// really write is found out at run time (writableContainers).
enum class SoundContainer : uint8_t { Wav, Aiff, Flac, OggVorbis, OggOpus, Mp3 };

// Reads any sound file libsndfile understands.
class SoundReader {
public:
    SoundReader() = default;
    ~SoundReader() { close(); }
    SoundReader(const SoundReader&) = delete;
    SoundReader& operator=(const SoundReader&) = delete;

    bool open(const std::string& path);
    void close();
    bool isOpen() const { return file_ != nullptr; }
    int rate() const { return rate_; }
    int channels() const { return channels_; }
    // As the header says; a stream may hold fewer (or report none).
    int64_t frames() const { return frames_; }

    // Up to `count` frames; the number read, 0 at the end, -1 on an error.
    // The buffer must hold count x channels samples: the library clears
    // whatever part of it a short read leaves.
    long read(int16_t* frames, long count);
    long read(int32_t* frames, long count);
    long read(float* frames, long count);
    bool rewind();

private:
    template <class T>
    long readFloatsAs(T* frames, long count, double fullScale);

    void* file_ = nullptr;  // SNDFILE
    int fd_ = -1;
    bool floats_ = false;
    int rate_ = 0;
    int channels_ = 0;
    int64_t frames_ = 0;
};

struct SoundWriteSettings {
    SoundContainer container = SoundContainer::Wav;
    int rate = 44100;
    int channels = 2;
    int bits = 16;         // PCM containers: 8, 16, 24 or 32 (FLAC up to 24)
    double quality = 0.5;  // FLAC and the lossy containers: 0 smallest .. 1 best
    int bitRate = 0;       // Opus and MP3 (constant for MP3), kbit/s; 0 = from quality
};

// Writes a sound file whole (platform/PlatFiles.h): a failed write never
// loses an older file of that name, a link is written through.
class SoundWriter {
public:
    SoundWriter() = default;
    ~SoundWriter() { abort(); }
    SoundWriter(const SoundWriter&) = delete;
    SoundWriter& operator=(const SoundWriter&) = delete;

    bool open(const std::string& path, const SoundWriteSettings& settings);
    bool write(const int16_t* frames, long count);
    bool write(const int32_t* frames, long count);
    bool write(const float* frames, long count);
    // Closes the file and puts it in place; true when it is there.
    bool finish();
    // Closes the file, written whole, without putting it in place: it can
    // be read at unplacedPath() until finish() puts it there or abort()
    // removes it, the old one staying meanwhile.
    bool complete();
    const std::string& unplacedPath() const { return replace_.tempPath(); }
    // Closes and removes the unfinished file; the old one stays.
    void abort();

private:
    bool close();
    void* file_ = nullptr;  // SNDFILE
    ReplaceFile replace_;
};

// Probed once, by writing a short test stream to memory.
bool canWrite(SoundContainer container);
std::vector<SoundContainer> writableContainers();
// The rate the container will take nearest to the one asked for (Opus and
// MP3 accept only some rates).
int writableRate(SoundContainer container, int rate);
// The largest sample size the container stores in PCM (0 for lossy ones).
int maxPcmBits(SoundContainer container);

// Streaming sample-rate conversion of interleaved float frames.
class RateConverter {
public:
    RateConverter() = default;
    ~RateConverter() { close(); }
    RateConverter(const RateConverter&) = delete;
    RateConverter& operator=(const RateConverter&) = delete;

    // Band-limited converters, from the quickest to the finest.
    enum class Quality : uint8_t { fastest, medium, best };

    // ratio = output rate / input rate, within 1/256 .. 256.
    bool open(int channels, double ratio, Quality quality = Quality::medium);
    void close();
    // Converts what it can of `in`; `used` tells how many input frames were
    // taken. With endOfInput the tail is flushed over successive calls.
    // The number of frames written to `out`, -1 on an error.
    long process(const float* in, long inFrames, long* used, float* out, long outCapacity, bool endOfInput);
    void reset();

private:
    void* state_ = nullptr;  // SRC_STATE
    double ratio_ = 1.0;
};

}  // namespace plat
