// The media service's sound conversion: the exporters this system can write,
// their settings blocks and the conversion itself.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/kelFiles.h"
#include "core/kelQt.h"
#include "core/kelQtSoundPipe.h"
#include "platform/PlatSound.h"

namespace {

struct Exporter {
    uint32_t code;
    plat::SoundContainer container;
    const char* name;
};

constexpr Exporter kExporters[] = {
    {kelQtFormatWave, plat::SoundContainer::Wav, "WAVE"},
    {kelQtFormatAiff, plat::SoundContainer::Aiff, "AIFF"},
    {kelQtFormatFlac, plat::SoundContainer::Flac, "FLAC"},
    {kelQtFormatOggVorbis, plat::SoundContainer::OggVorbis, "Ogg Vorbis"},
    {kelQtFormatOpus, plat::SoundContainer::OggOpus, "Ogg Opus"},
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

bool validBits(int bits) { return bits == 8 || bits == 16 || bits == 24 || bits == 32; }
bool validRate(int rate) { return rate == 0 || (rate >= 8000 && rate <= 384000); }

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
    if (channels >= 0 && channels <= 2) s.channels = channels;
    if (validBits(bits)) s.bits = bits;
    if (validRate(rate)) s.rate = rate;
    if (quality >= 0 && quality <= 100) s.quality = quality;
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
    return true;
}

bool toSystemPath(const char* kel, std::string& system)
{
    std::vector<char> buffer(kKelPathMax + 1);
    if (!kel || !KEL_KelPathToSystemPath(kel, buffer.data(), static_cast<int>(buffer.size()))) return false;
    system = buffer.data();
    return !system.empty();
}

bool convert(const std::string& source, const std::string& target, const Exporter& exporter,
             const Settings& s)
{
    kelQtSoundPipe pipe;
    if (!pipe.open(source)) return false;
    const int channels = s.channels ? s.channels : std::min(pipe.sourceChannels(), 2);
    const int rate = plat::writableRate(exporter.container, s.rate ? s.rate : pipe.sourceRate());
    if (!pipe.setOutput(rate, channels)) return false;

    plat::SoundWriteSettings out;
    out.container = exporter.container;
    out.rate = rate;
    out.channels = channels;
    out.bits = std::min<int>(s.bits, std::max(plat::maxPcmBits(exporter.container), 16));
    out.quality = s.quality / 100.0;
    plat::SoundWriter writer;
    if (!writer.open(target, out)) return false;

    // Samples of 16 bits or fewer go out rounded to 16; wider ones whole.
    const bool wide = out.bits > 16 && plat::maxPcmBits(exporter.container) > 16;
    constexpr long kBlock = 4096;
    std::vector<int32_t> frames(static_cast<size_t>(kBlock) * channels);
    std::vector<int16_t> narrow(wide ? 0 : frames.size());
    for (;;) {
        const long n = pipe.read(frames.data(), kBlock);
        if (n < 0) return false;  // the writer removes its unfinished file
        if (n == 0) break;
        bool written;
        if (wide) {
            written = writer.write(frames.data(), n);
        } else {
            for (long i = 0; i < n * channels; ++i)
                narrow[static_cast<size_t>(i)] = kelQtTo16(frames[static_cast<size_t>(i)]);
            written = writer.write(narrow.data(), n);
        }
        if (!written) return false;
    }
    return writer.finish();
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
    char extension[5] = {'.'};
    int n = 1;
    for (int k = 0; k < 3; ++k) {
        char c = static_cast<char>(code >> (24 - 8 * k));
        if (c == ' ') break;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        extension[n++] = c;
    }
    if (dot + n >= nameSize) return false;
    std::memcpy(name + dot, extension, static_cast<size_t>(n));
    name[dot + n] = '\0';
    return true;
}

bool kelQt_soundConvert_apply(const char* source, const char* target, uint32_t code,
                              const kelQtSettingsHandle* settings)
{
    const Exporter* exporter = exporterFor(code);
    std::string from, to;
    if (!exporter || !toSystemPath(source, from) || !toSystemPath(target, to)) return false;
    return convert(from, to, *exporter, readSettings(settings, code));
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
        for (long i = 0; i < n * 2; ++i) narrow[static_cast<size_t>(i)] = kelQtTo16(frames[static_cast<size_t>(i)]);
        if (!writer.write(narrow.data(), n)) return false;
        written += n;
        if (progress && expected > 0) progress(std::min(1.0f, static_cast<float>(written) / static_cast<float>(expected)));
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
