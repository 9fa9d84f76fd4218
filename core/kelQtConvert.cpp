// The media service's sound conversion: the exporters this system can write,
// their settings blocks and the conversion itself.
#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/kelFiles.h"
#include "core/kelQt.h"
#include "core/kelQtLimiter.h"
#include "core/kelQtSoundPipe.h"
#include "platform/PlatLoudness.h"
#include "platform/PlatSound.h"

namespace {

struct Exporter {
    uint32_t code;
    plat::SoundContainer container;
    const char* name;
};

constexpr Exporter kExporters[] = {
    {kelQtFormatWave, plat::SoundContainer::Wav, "WAV"},
    {kelQtFormatAiff, plat::SoundContainer::Aiff, "AIFF"},
    {kelQtFormatFlac, plat::SoundContainer::Flac, "FLAC"},
    {kelQtFormatOggVorbis, plat::SoundContainer::OggVorbis, "Ogg Vorbis"},
    {kelQtFormatOpus, plat::SoundContainer::OggOpus, "Opus"},
    {kelQtFormatMp3, plat::SoundContainer::Mp3, "MP3"},
};

const Exporter* exporterFor(uint32_t code)
{
    for (const Exporter& e : kExporters)
        if (e.code == code) return &e;
    return nullptr;
}

// The settings block, read and written field by field.
struct Settings {
    uint32_t code = 0;
    int16_t channels = 0;  // 0: as the source
    int16_t bits = 16;
    int32_t rate = 0;  // 0: as the source
    int16_t quality = 50;
    int16_t bitRate = 0;  // kbit/s; 0: the format's default
};

uint32_t getBe(const uint8_t* p, int bytes)
{
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = v << 8 | p[i];
    return v;
}

void putBe(uint8_t* p, uint32_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i, v >>= 8) p[i] = static_cast<uint8_t>(v);
}

bool validBits(int bits)
{
    return bits == 8 || bits == 16 || bits == 24 || bits == 32;
}
bool validRate(int rate)
{
    return rate == 0 || (rate >= 8000 && rate <= 384000);
}
bool validBitRate(int kbps)
{
    return kbps == 0 || (kbps >= 8 && kbps <= 512);
}

int defaultBitRate(uint32_t code)
{
    return code == kelQtFormatMp3 ? 192 : code == kelQtFormatOpus ? 128 : 0;
}

// The settings for `code`: the block's own values where it belongs to that
// format and they make sense, the defaults elsewhere.
Settings readSettings(const kelQtSettingsHandle* handle, uint32_t code)
{
    Settings s;
    s.code = code;
    if (!handle || !handle->data || handle->length < kelQtSettingsLength) return s;
    const uint8_t* p = handle->data;
    if (getBe(p, 4) != code) return s;
    const auto channels = static_cast<int16_t>(getBe(p + 4, 2));
    const auto bits = static_cast<int16_t>(getBe(p + 6, 2));
    const auto rate = static_cast<int32_t>(getBe(p + 8, 4));
    const auto quality = static_cast<int16_t>(getBe(p + 12, 2));
    const auto bitRate = static_cast<int16_t>(getBe(p + 14, 2));
    if (channels >= 0 && channels <= 2) s.channels = channels;
    if (validBits(bits)) s.bits = bits;
    if (validRate(rate)) s.rate = rate;
    if (quality >= 0 && quality <= 100) s.quality = quality;
    if (validBitRate(bitRate)) s.bitRate = bitRate;
    return s;
}

bool writeSettings(const Settings& s, kelQtSettingsHandle* handle)
{
    if (!kelQt_soundConvert_settingsDataAllocate(handle, kelQtSettingsLength)) return false;
    uint8_t* p = handle->data;
    putBe(p, s.code, 4);
    putBe(p + 4, static_cast<uint16_t>(s.channels), 2);
    putBe(p + 6, static_cast<uint16_t>(s.bits), 2);
    putBe(p + 8, static_cast<uint32_t>(s.rate), 4);
    putBe(p + 12, static_cast<uint16_t>(s.quality), 2);
    putBe(p + 14, static_cast<uint16_t>(s.bitRate), 2);
    return true;
}

// --- The options the user chooses among ---

struct Option {
    const char* name;
    int16_t bits;     // PCM formats
    int16_t quality;  // Ogg Vorbis
    int16_t bitRate;  // Opus, MP3
};

constexpr Option kDepthOptions[] = {{"16-bit", 16, 50, 0}, {"24-bit", 24, 50, 0}};
constexpr Option kVorbisOptions[] = {{"Quality 3", 16, 30, 0},
                                     {"Quality 5", 16, 50, 0},
                                     {"Quality 6", 16, 60, 0},
                                     {"Quality 8", 16, 80, 0},
                                     {"Quality 10", 16, 100, 0}};
constexpr Option kOpusOptions[] = {{"64 kbit/s", 16, 50, 64},   {"96 kbit/s", 16, 50, 96},
                                   {"128 kbit/s", 16, 50, 128}, {"160 kbit/s", 16, 50, 160},
                                   {"192 kbit/s", 16, 50, 192}, {"256 kbit/s", 16, 50, 256}};
constexpr Option kMp3Options[] = {{"128 kbit/s", 16, 50, 128},
                                  {"160 kbit/s", 16, 50, 160},
                                  {"192 kbit/s", 16, 50, 192},
                                  {"256 kbit/s", 16, 50, 256},
                                  {"320 kbit/s", 16, 50, 320}};

struct OptionList {
    const Option* options = nullptr;
    int16_t count = 0;
};

template <size_t N>
OptionList listOf(const Option (&options)[N])
{
    return OptionList{options, static_cast<int16_t>(N)};
}

OptionList optionsOf(uint32_t code)
{
    switch (code) {
        case kelQtFormatWave:
        case kelQtFormatAiff:
        case kelQtFormatFlac: return listOf(kDepthOptions);
        case kelQtFormatOggVorbis: return listOf(kVorbisOptions);
        case kelQtFormatOpus: return listOf(kOpusOptions);
        case kelQtFormatMp3: return listOf(kMp3Options);
        default: return {};
    }
}

// The option the settings match best: the one whose distinguishing value
// is nearest.
int16_t nearestOption(uint32_t code, const Settings& s)
{
    const OptionList list = optionsOf(code);
    if (list.count == 0) return -1;
    const int bitRate = s.bitRate ? s.bitRate : defaultBitRate(code);
    int16_t best = 0;
    int bestDistance = INT32_MAX;
    for (int16_t i = 0; i < list.count; ++i) {
        const Option& o = list.options[i];
        const int d = code == kelQtFormatOggVorbis                        ? std::abs(o.quality - s.quality)
                      : code == kelQtFormatOpus || code == kelQtFormatMp3 ? std::abs(o.bitRate - bitRate)
                                                                          : std::abs(o.bits - s.bits);
        if (d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

bool toSystemPath(const char* kel, std::string& system)
{
    std::vector<char> buffer(kKelPathMax + 1);
    if (!kel || !KEL_KelPathToSystemPath(kel, buffer.data(), static_cast<int>(buffer.size()))) return false;
    system = buffer.data();
    return !system.empty();
}

// --- Progress ---

void (*gSubAmount)(float) = nullptr;
bool (*gShouldStop)() = nullptr;

// One stage of a conversion: its share of the whole, reported as it goes.
struct Stage {
    float from = 0, width = 1;
    void report(double done) const
    {
        if (gSubAmount) gSubAmount(static_cast<float>(from + width * std::clamp(done, 0.0, 1.0)));
    }
};

bool stopAsked()
{
    return gShouldStop && gShouldStop();
}

constexpr long kBlock = 4096;
constexpr float kFullScale = 1.0f / 2147483648.0f;

// How one pass writes: exact integers when nothing changes the samples,
// floats through a gain (and the limiter, when it holds peaks) otherwise.
struct Shaping {
    bool active = false;
    float gain = 1.0f;
    bool limit = true;
    float ceiling = 1.0f;  // linear
};

// Writes the whole stream into `writer`'s file beside `target`, complete but
// not yet in place: the caller puts it there or lets it go.
kelQtConvertResult writePass(const std::string& source, const std::string& target, const Exporter& exporter,
                             const Settings& s, const Shaping& shaping, const Stage& stage,
                             plat::SoundWriter& writer)
{
    kelQtSoundPipe pipe;
    if (!pipe.open(source)) return kelQtConvertResult::failed;
    const int channels = s.channels ? s.channels : std::min(pipe.sourceChannels(), 2);
    const int rate = plat::writableRate(exporter.container, s.rate ? s.rate : pipe.sourceRate());
    if (!pipe.setOutput(rate, channels)) return kelQtConvertResult::failed;

    plat::SoundWriteSettings out;
    out.container = exporter.container;
    out.rate = rate;
    out.channels = channels;
    out.bits = std::min<int>(s.bits, std::max(plat::maxPcmBits(exporter.container), 16));
    out.quality = s.quality / 100.0;
    out.bitRate = s.bitRate ? s.bitRate : defaultBitRate(exporter.code);
    if (!writer.open(target, out)) return kelQtConvertResult::failed;

    const bool lossy = plat::maxPcmBits(exporter.container) == 0;
    // Lossy encoders and a shaped stream take floats; PCM keeps exact
    // integers: samples of 16 bits or fewer rounded to 16, wider ones whole.
    const bool floats = lossy || shaping.active;
    const bool wide = out.bits > 16 && !lossy;
    const double expected = std::max<double>(
        1.0, static_cast<double>(pipe.sourceFrames()) * rate / std::max(pipe.sourceRate(), 1));
    std::vector<int32_t> frames(static_cast<size_t>(kBlock) * channels);
    std::vector<int16_t> narrow(wide || floats ? 0 : frames.size());
    std::vector<float> shaped(floats ? frames.size() : 0);
    std::optional<kelQtLimiter> limiter;
    if (shaping.active && shaping.limit) limiter.emplace(channels, rate, shaping.ceiling);
    int64_t done = 0;
    // The limiter's output starts with the silence before the stream (its
    // look-ahead); that lead-in is skipped and its held tail written last.
    long leadIn = limiter ? limiter->tailFrames() : 0;
    auto writeShaped = [&](float* data, long n) {
        if (limiter) limiter->process(data, n, data);
        const long skip = std::min(leadIn, n);
        leadIn -= skip;
        return writer.write(data + skip * channels, n - skip);
    };
    for (;;) {
        if (stopAsked()) {
            writer.abort();
            return kelQtConvertResult::stopped;
        }
        const long n = pipe.read(frames.data(), kBlock);
        if (n < 0) return kelQtConvertResult::failed;  // the writer removes its unfinished file
        if (n == 0) break;
        bool written;
        if (floats) {
            const float scale = kFullScale * shaping.gain;
            for (long i = 0; i < n * channels; ++i)
                shaped[static_cast<size_t>(i)] = static_cast<float>(frames[static_cast<size_t>(i)]) * scale;
            written = writeShaped(shaped.data(), n);
        } else if (wide) {
            written = writer.write(frames.data(), n);
        } else {
            for (long i = 0; i < n * channels; ++i)
                narrow[static_cast<size_t>(i)] = kelQtTo16(frames[static_cast<size_t>(i)]);
            written = writer.write(narrow.data(), n);
        }
        if (!written) return kelQtConvertResult::failed;
        done += n;
        stage.report(static_cast<double>(done) / expected);
    }
    if (limiter) {
        std::vector<float> tail(static_cast<size_t>(limiter->tailFrames()) * channels);
        limiter->flush(tail.data());
        const long skip = std::min(leadIn, limiter->tailFrames());
        if (!writer.write(tail.data() + skip * channels, limiter->tailFrames() - skip))
            return kelQtConvertResult::failed;
    }
    return writer.complete() ? kelQtConvertResult::done : kelQtConvertResult::failed;
}

// One pass put in place at once.
kelQtConvertResult writeInPlace(const std::string& source, const std::string& target,
                                const Exporter& exporter, const Settings& s, const Shaping& shaping,
                                const Stage& stage)
{
    plat::SoundWriter writer;
    const kelQtConvertResult pass = writePass(source, target, exporter, s, shaping, stage, writer);
    if (pass != kelQtConvertResult::done) return pass;
    return writer.finish() ? kelQtConvertResult::done : kelQtConvertResult::failed;
}

bool measure(const std::string& path, double* lufs, double* truePeak, const Stage& stage, bool* stopped)
{
    kelQtSoundPipe pipe;
    plat::LoudnessMeter meter;
    if (!pipe.open(path) || !pipe.setOutput(0, std::min(pipe.sourceChannels(), 2)) ||
        !meter.open(pipe.channels(), pipe.rate()))
        return false;
    const int channels = pipe.channels();
    std::vector<int32_t> frames(static_cast<size_t>(kBlock) * channels);
    std::vector<float> floats(frames.size());
    const double expected = std::max<double>(1.0, static_cast<double>(pipe.sourceFrames()));
    int64_t done = 0;
    for (;;) {
        if (stopped && stopAsked()) {
            *stopped = true;
            return false;
        }
        const long n = pipe.read(frames.data(), kBlock);
        if (n < 0) return false;
        if (n == 0) break;
        for (long i = 0; i < n * channels; ++i)
            floats[static_cast<size_t>(i)] = static_cast<float>(frames[static_cast<size_t>(i)]) * kFullScale;
        if (!meter.add(floats.data(), n)) return false;
        done += n;
        stage.report(static_cast<double>(done) / expected);
    }
    *lufs = meter.integratedLufs();
    *truePeak = meter.truePeakDb();
    return true;
}

double toLinear(double db)
{
    return std::pow(10.0, db / 20.0);
}

// Gain towards the target loudness, the limiter holding the peaks under a
// ceiling a little below the limit; the written file is measured again and
// the gain or the ceiling corrected until it lands. Each pass waits beside
// the target until it is measured: only the one kept is put in place, so a
// stop or a failure on the way leaves the older file as it was.
kelQtConvertResult normalizeInto(const std::string& source, const std::string& target,
                                 const Exporter& exporter, const Settings& s)
{
    double lufs = 0, peak = 0;
    bool stopped = false;
    if (!measure(source, &lufs, &peak, Stage{0.0f, 0.2f}, &stopped))
        return stopped ? kelQtConvertResult::stopped : kelQtConvertResult::failed;
    if (!std::isfinite(lufs)) return writeInPlace(source, target, exporter, s, Shaping{}, Stage{0.2f, 0.8f});

    constexpr int kAttempts = 4;
    constexpr double kTolerance = 0.2;  // LU
    double gainDb = kelQtTargetLufs - lufs;
    double ceilingDb = kelQtTruePeakLimitDb - (plat::maxPcmBits(exporter.container) == 0 ? 1.0 : 0.5);
    const float width = 0.8f / kAttempts;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const float from = 0.2f + width * static_cast<float>(attempt);
        const Shaping shaping{true, static_cast<float>(toLinear(gainDb)), true,
                              static_cast<float>(toLinear(ceilingDb))};
        plat::SoundWriter writer;
        const kelQtConvertResult pass =
            writePass(source, target, exporter, s, shaping, Stage{from, width * 0.7f}, writer);
        if (pass != kelQtConvertResult::done) return pass;
        double outLufs = 0, outPeak = 0;
        if (!measure(writer.unplacedPath(), &outLufs, &outPeak, Stage{from + width * 0.7f, width * 0.3f},
                     &stopped))
            return stopped ? kelQtConvertResult::stopped : kelQtConvertResult::failed;
        const bool loudEnough = std::fabs(outLufs - kelQtTargetLufs) <= kTolerance;
        const bool peaksHeld = outPeak <= kelQtTruePeakLimitDb;
        if ((loudEnough && peaksHeld) || !std::isfinite(outLufs) || attempt == kAttempts - 1) {
            if (!writer.finish()) return kelQtConvertResult::failed;
            Stage{0.0f, 1.0f}.report(1.0);
            return kelQtConvertResult::done;
        }
        gainDb += kelQtTargetLufs - outLufs;
        if (!peaksHeld) ceilingDb -= outPeak - kelQtTruePeakLimitDb + 0.2;
    }
    return kelQtConvertResult::failed;
}

}  // namespace

bool kelQt_soundConvert_getFormat(int16_t index, uint32_t* code, char* name)
{
    int16_t i = 0;
    for (const Exporter& e : kExporters) {
        if (!plat::canWrite(e.container)) continue;
        if (i++ != index) continue;
        if (code) *code = e.code;
        if (name) {
            std::strncpy(name, e.name, kelQtFormatNameSize - 1);
            name[kelQtFormatNameSize - 1] = '\0';
        }
        return true;
    }
    if (code) *code = kelQtFormatNone;
    if (name) name[0] = '\0';
    return false;
}

bool kelQt_soundConvert_setFileExtension(char* name, uint32_t code, int nameSize)
{
    if (!name || nameSize <= 0) return false;
    if (code == kelQtFormatNative) code = 0x77617620;  // 'wav '
    const int length = static_cast<int>(strnlen(name, static_cast<size_t>(nameSize)));
    if (length >= nameSize) return false;  // not terminated within its buffer
    // The last '.' of the file name itself; a folder separator ends the search.
    int dot = length;
    for (int i = length - 1; i >= 1; --i) {
        if (name[i] == ':' || name[i] == '/') break;
        if (name[i] == '.') {
            dot = i;
            break;
        }
    }
    // An extension typed that other programs take for this format too stays as typed.
    if (dot < length) {
        std::string typed(name + dot + 1, name + length);
        for (char& c : typed) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        struct Usual {
            uint32_t code;
            const char* extension;
        };
        static constexpr Usual kUsual[] = {{0x77617620, "wav"},           {0x77617620, "wave"},
                                           {kelQtFormatWave, "wav"},      {kelQtFormatWave, "wave"},
                                           {kelQtFormatAiff, "aif"},      {kelQtFormatAiff, "aiff"},
                                           {kelQtFormatOggVorbis, "ogg"}, {kelQtFormatOggVorbis, "oga"}};
        for (const Usual& u : kUsual)
            if (u.code == code && typed == u.extension) return true;
    }
    char extension[6] = {'.'};
    int n = 1;
    if (code == kelQtFormatFlac || code == kelQtFormatOpus) {
        // Three letters of these codes name no format other programs know.
        const char* customary = code == kelQtFormatFlac ? "flac" : "opus";
        std::memcpy(extension + 1, customary, 4);
        n = 5;
    } else {
        for (int k = 0; k < 3; ++k) {
            char c = static_cast<char>(code >> (24 - 8 * k));
            if (c == ' ') break;
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
            extension[n++] = c;
        }
    }
    if (dot + n >= nameSize) return false;
    std::memcpy(name + dot, extension, static_cast<size_t>(n));
    name[dot + n] = '\0';
    return true;
}

bool kelQt_soundConvert_apply(const char* source, const char* target, uint32_t code,
                              const kelQtSettingsHandle* settings)
{
    // The native format is no exporter: there is nothing to convert to.
    return code != kelQtFormatNative &&
           kelQt_soundConvert_run(source, target, code, settings, kelQtConvertOptions{}) ==
               kelQtConvertResult::done;
}

kelQtConvertResult kelQt_soundConvert_run(const char* source, const char* target, uint32_t code,
                                          const kelQtSettingsHandle* settings,
                                          const kelQtConvertOptions& options)
{
    // The native format, when it has to be written anew: a 16-bit WAV.
    const bool native = code == kelQtFormatNative;
    const Exporter* exporter = exporterFor(native ? kelQtFormatWave : code);
    std::string from, to;
    if (!exporter || !toSystemPath(source, from) || !toSystemPath(target, to))
        return kelQtConvertResult::failed;
    Settings s = native ? Settings{} : readSettings(settings, code);
    s.code = exporter->code;
    if (options.normalize) return normalizeInto(from, to, *exporter, s);
    Shaping shaping;
    if (options.gainDb != 0.0 && std::isfinite(options.gainDb))
        shaping = Shaping{true, static_cast<float>(toLinear(options.gainDb)), false, 1.0f};
    return writeInPlace(from, to, *exporter, s, shaping, Stage{});
}

bool kelQt_soundConvert_sharedGain(const std::vector<std::string>& paths, double* gainDb)
{
    if (!gainDb) return false;
    *gainDb = 0;
    std::vector<std::unique_ptr<kelQtSoundPipe>> pipes;
    std::vector<plat::LoudnessMeter> alone(paths.size());
    plat::LoudnessMeter whole;
    int rate = 0;
    for (size_t i = 0; i < paths.size(); ++i) {
        std::string system;
        auto pipe = std::make_unique<kelQtSoundPipe>();
        if (!toSystemPath(paths[i].c_str(), system) || !pipe->open(system)) return false;
        if (rate == 0) rate = pipe->sourceRate();
        if (!pipe->setOutput(rate, 2) || !alone[i].open(2, rate)) return false;
        pipes.push_back(std::move(pipe));
    }
    if (pipes.empty() || !whole.open(2, rate)) return pipes.empty();
    std::vector<int32_t> frames(static_cast<size_t>(kBlock) * 2);
    std::vector<float> part(frames.size()), sum(frames.size());
    const double expected = std::max<double>(1.0, static_cast<double>(pipes[0]->sourceFrames()));
    int64_t done = 0;
    for (bool more = true; more;) {
        if (stopAsked()) return false;
        std::fill(sum.begin(), sum.end(), 0.0f);
        long longest = 0;
        more = false;
        for (size_t i = 0; i < pipes.size(); ++i) {
            const long n = pipes[i]->read(frames.data(), kBlock);
            if (n < 0) return false;
            if (n == 0) continue;
            more = true;
            for (long k = 0; k < 2 * n; ++k) {
                part[static_cast<size_t>(k)] =
                    static_cast<float>(frames[static_cast<size_t>(k)]) * kFullScale;
                sum[static_cast<size_t>(k)] += part[static_cast<size_t>(k)];
            }
            if (!alone[i].add(part.data(), n)) return false;
            longest = std::max(longest, n);
        }
        // Files of unequal length: past the end of one, the others alone.
        if (longest > 0 && !whole.add(sum.data(), longest)) return false;
        done += longest;
        Stage{}.report(static_cast<double>(done) / expected);
    }
    const double lufs = whole.integratedLufs();
    if (!std::isfinite(lufs)) return true;
    double peak = whole.truePeakDb();
    for (plat::LoudnessMeter& m : alone) peak = std::max(peak, m.truePeakDb());
    // A little below the limit: the samples are rounded once more when written.
    constexpr double kMargin = 0.05;
    *gainDb = std::min(kelQtTargetLufs - lufs, kelQtTruePeakLimitDb - kMargin - peak);
    return true;
}

bool kelQt_soundConvert_fits(uint32_t code, const kelQtSettingsHandle* settings, int64_t frames, int channels)
{
    // The size fields of WAV and AIFF are 32-bit, with their headers besides.
    constexpr int64_t kMostBytes = 0xFFFFFFFFll - 64;
    int bits = 16;
    if (code == kelQtFormatWave || code == kelQtFormatAiff) {
        bits = readSettings(settings, code).bits;
    } else if (code != kelQtFormatNative) {
        return true;
    }
    return frames >= 0 && frames * channels * (bits / 8) <= kMostBytes;
}

bool kelQt_soundMeasure(const char* path, double* lufs, double* truePeakDb)
{
    std::string system;
    double l = 0, p = 0;
    if (!toSystemPath(path, system) || !measure(system, &l, &p, Stage{}, nullptr)) return false;
    if (lufs) *lufs = l;
    if (truePeakDb) *truePeakDb = p;
    return true;
}

void kelQt_soundConvert_setHooks(void (*subAmount)(float), bool (*shouldStop)())
{
    gSubAmount = subAmount;
    gShouldStop = shouldStop;
}

int16_t kelQt_soundConvert_optionCount(uint32_t code)
{
    return optionsOf(code).count;
}

bool kelQt_soundConvert_optionName(uint32_t code, int16_t index, char* name)
{
    const OptionList list = optionsOf(code);
    if (name) name[0] = '\0';
    if (index < 0 || index >= list.count) return false;
    if (name) std::snprintf(name, kelQtFormatNameSize, "%s", list.options[index].name);
    return true;
}

int16_t kelQt_soundConvert_optionIndex(uint32_t code, const kelQtSettingsHandle* settings)
{
    return nearestOption(code, readSettings(settings, code));
}

bool kelQt_soundConvert_setOption(uint32_t code, int16_t index, kelQtSettingsHandle* settings)
{
    const OptionList list = optionsOf(code);
    if (!settings || index < 0 || index >= list.count) return false;
    Settings s = readSettings(settings, code);
    const Option& o = list.options[index];
    s.bits = o.bits;
    s.quality = o.quality;
    s.bitRate = o.bitRate;
    return writeSettings(s, settings);
}

bool kelQt_soundConvert_askUser(uint32_t code, kelQtSettingsHandle* settings)
{
    if (!exporterFor(code) || !settings) return false;
    return writeSettings(readSettings(settings, code), settings);
}

bool kelQt_soundConvert_settingsSetTo(uint32_t code, int16_t channels, int16_t bits, int32_t rate,
                                      kelQtSettingsHandle* settings)
{
    if (!exporterFor(code) || !settings) return false;
    if (channels < 0 || channels > 2 || !validBits(bits) || !validRate(rate)) return false;
    Settings s;
    s.code = code;
    s.channels = channels;
    s.bits = bits;
    s.rate = rate;
    return writeSettings(s, settings);
}

bool kelQt_soundConvert_toLoopWave(const char* source, const char* target)
{
    kelQtSettingsHandle settings;
    const bool ok = kelQt_soundConvert_settingsSetTo(kelQtFormatWave, 2, 16, 44100, &settings) &&
                    kelQt_soundConvert_apply(source, target, kelQtFormatWave, &settings);
    kelQt_soundConvert_settingsDataDispose(&settings);
    return ok;
}

bool kelQt_soundConvert_toLoopWaveUpTo(const char* source, const char* target, int64_t maxFrames,
                                       void (*progress)(float), bool* cut)
{
    if (cut) *cut = false;
    std::string from, to;
    if (!toSystemPath(source, from) || !toSystemPath(target, to)) return false;
    constexpr int kRate = 44100;
    int64_t expected = 0;  // output frames, when the header tells
    {
        plat::SoundReader probe;
        if (!probe.open(from)) return false;
        if (probe.frames() > 0 && probe.rate() > 0)
            expected = (probe.frames() * kRate + probe.rate() / 2) / probe.rate();
    }
    if (maxFrames > 0 && (expected == 0 || expected > maxFrames)) expected = maxFrames;
    kelQtSoundPipe pipe;
    if (!pipe.open(from) || !pipe.setOutput(kRate, 2)) return false;
    plat::SoundWriteSettings out;
    out.rate = kRate;
    out.channels = 2;
    out.bits = 16;
    plat::SoundWriter writer;
    if (!writer.open(to, out)) return false;
    constexpr long kBlock = 4096;
    std::vector<int32_t> frames(static_cast<size_t>(kBlock) * 2);
    std::vector<int16_t> narrow(frames.size());
    int64_t written = 0;
    for (;;) {
        long want = kBlock;
        if (maxFrames > 0) want = static_cast<long>(std::min<int64_t>(kBlock, maxFrames - written));
        if (want <= 0) {
            // One frame more tells whether the sound goes on.
            int32_t probe[2];
            const long more = pipe.read(probe, 1);
            if (more < 0) return false;
            if (cut) *cut = more > 0;
            break;
        }
        const long n = pipe.read(frames.data(), want);
        if (n < 0) return false;  // the writer removes its unfinished file
        if (n == 0) break;
        for (long i = 0; i < n * 2; ++i)
            narrow[static_cast<size_t>(i)] = kelQtTo16(frames[static_cast<size_t>(i)]);
        if (!writer.write(narrow.data(), n)) return false;
        written += n;
        if (progress && expected > 0)
            progress(std::min(1.0f, static_cast<float>(written) / static_cast<float>(expected)));
    }
    return writer.finish();
}

void kelQt_soundConvert_settingsDataInit(kelQtSettingsHandle* settings)
{
    if (!settings) return;
    settings->data = nullptr;
    settings->length = 0;
}

bool kelQt_soundConvert_settingsDataAllocate(kelQtSettingsHandle* settings, int32_t length)
{
    if (!settings) return false;
    kelQt_soundConvert_settingsDataDispose(settings);
    if (length <= 0 || length > kelQtSettingsMaxLength) return false;
    settings->data = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(length), 1));
    if (!settings->data) return false;
    settings->length = length;
    return true;
}

bool kelQt_soundConvert_settingsDataCopy(const kelQtSettingsHandle* from, kelQtSettingsHandle* to)
{
    if (!from || !to || from == to) return from == to && from;
    if (!from->data || from->length <= 0) {
        kelQt_soundConvert_settingsDataDispose(to);
        return true;
    }
    if (!kelQt_soundConvert_settingsDataAllocate(to, from->length)) return false;
    std::memcpy(to->data, from->data, static_cast<size_t>(from->length));
    return true;
}

void kelQt_soundConvert_settingsDataDispose(kelQtSettingsHandle* settings)
{
    if (!settings) return;
    std::free(settings->data);
    settings->data = nullptr;
    settings->length = 0;
}
