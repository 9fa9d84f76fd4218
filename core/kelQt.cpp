// The media service's auditions and pictures; sound conversion is in
// kelQtConvert.cpp.
#include "core/kelQt.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/kelFiles.h"
#include "core/kelOffmap.h"
#include "core/kelQtSoundPipe.h"
#include "platform/PlatAudio.h"
#include "platform/PlatGif.h"
#include "platform/PlatSound.h"

namespace {

constexpr int kAuditionRate = 44100;
constexpr int kAuditionChannels = 2;
constexpr int kAuditionBufferFrames = 2048;
constexpr long kAuditionLeadFrames = kAuditionRate / 2;  // kept queued ahead
constexpr long kAuditionBlockFrames = 2048;
// Picture files larger than this are not read.
constexpr long kMaxPictureFileBytes = 64L << 20;

struct Audition {
    kelQtSoundPipe pipe;
    plat::AudioOutput device;
    std::vector<int32_t> frames = std::vector<int32_t>(kAuditionBlockFrames * kAuditionChannels);
    std::vector<int16_t> samples = std::vector<int16_t>(kAuditionBlockFrames * kAuditionChannels);
    int64_t framesQueued = 0;
};

std::unique_ptr<Audition> gAudition;
bool gWindowAssociated = false;

bool toSystemPath(const char* kel, std::string& system)
{
    std::vector<char> buffer(kKelPathMax + 1);
    if (!kel || !KEL_KelPathToSystemPath(kel, buffer.data(), static_cast<int>(buffer.size()))) return false;
    system = buffer.data();
    return !system.empty();
}

// Tops the device's queue up to the lead; false when the audition cannot go on.
bool feed(Audition& a)
{
    const uint32_t bytesPerFrame = static_cast<uint32_t>(a.device.bytesPerFrame());
    // At most one lead a pass, so a device that drains faster than files
    // decode cannot hold the main thread here.
    for (long made = 0; made < kAuditionLeadFrames;) {
        const long queued = static_cast<long>(a.device.queuedBytes() / bytesPerFrame);
        if (queued >= kAuditionLeadFrames) return true;
        const long want = std::min(kAuditionBlockFrames, kAuditionLeadFrames - queued);
        const long n = a.pipe.read(a.frames.data(), want);
        if (n <= 0) return false;
        for (long i = 0; i < n * kAuditionChannels; ++i) a.samples[i] = kelQtTo16(a.frames[i]);
        if (!a.device.queue(a.samples.data(), static_cast<uint32_t>(n) * bytesPerFrame)) return false;
        a.framesQueued += n;
        made += n;
    }
    return true;
}

}  // namespace

bool kelQt_Init()
{
    return true;
}

void kelQt_Exit()
{
    kelQt_PlaySoundStop();
    gWindowAssociated = false;
}

void kelQt_associateFrontWindow()
{
    gWindowAssociated = true;
}
void kelQt_deassociateWindow()
{
    gWindowAssociated = false;
}

bool kelQt_PlaySoundStart(const char* path)
{
    kelQt_PlaySoundStop();
    std::string system;
    if (!toSystemPath(path, system)) return false;
    auto a = std::make_unique<Audition>();
    if (!a->pipe.open(system) || !a->pipe.setOutput(kAuditionRate, kAuditionChannels)) return false;
    a->pipe.setLooping(true);
    if (!a->device.open(kAuditionRate, kAuditionChannels, kAuditionBufferFrames)) return false;
    if (!feed(*a) || a->framesQueued == 0) return false;
    a->device.resume();
    gAudition = std::move(a);
    return true;
}

void kelQt_PlaySoundStop()
{
    gAudition.reset();
}

void kelQt_Idle()
{
    // A file that fails part-way ends its audition quietly.
    if (gAudition && !feed(*gAudition)) gAudition.reset();
}

kelQtAuditionStatus kelQt_auditionStatus()
{
    kelQtAuditionStatus status;
    if (!gAudition) return status;
    status.playing = true;
    status.framesQueued = gAudition->framesQueued;
    status.restarts = gAudition->pipe.restarts();
    status.queuedBytes = gAudition->device.queuedBytes();
    return status;
}

bool kelQt_soundInfo(const char* path, kelQtSoundInfo* info)
{
    std::string system;
    plat::SoundReader reader;
    if (!toSystemPath(path, system) || !reader.open(system)) return false;
    if (info) {
        info->rate = reader.rate();
        info->channels = static_cast<int16_t>(std::min(reader.channels(), 32767));
        info->frames = reader.frames();
    }
    return true;
}

bool kelQt_imageToOffmap(const char* path, kelOffmap* image)
{
    if (!image || !path) return false;
    kelFileRec file;
    if (!KEL_FileOpenReadOnly(path, &file)) return false;
    long length = 0;
    std::vector<uint8_t> bytes;
    bool ok = KEL_FileGetLength(&file, &length) && length > 0 && length <= kMaxPictureFileBytes;
    if (ok) {
        bytes.resize(static_cast<size_t>(length));
        ok = KEL_FileRead(&file, length, bytes.data());
    }
    KEL_FileClose(&file);
    plat::RgbaPicture picture;
    if (!ok || !plat::decodePicture(bytes.data(), bytes.size(), picture)) return false;
    if (!image->allocate(kelDepth16, static_cast<int16_t>(picture.width),
                         static_cast<int16_t>(picture.height), -1))
        return false;
    for (int y = 0; y < picture.height; ++y) {
        auto* row = reinterpret_cast<uint16_t*>(image->rowFromTop(y));
        const uint8_t* p = picture.rgba.data() + static_cast<size_t>(y) * picture.width * 4;
        for (int x = 0; x < picture.width; ++x, p += 4) {
            // Over black: a transparent pixel is black, an opaque one keeps its colour.
            const unsigned a = p[3];
            const unsigned r = (p[0] * a + 127) / 255, g = (p[1] * a + 127) / 255, b = (p[2] * a + 127) / 255;
            row[x] = static_cast<uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
        }
    }
    return true;
}
