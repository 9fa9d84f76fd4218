#include "platform/PlatAudio.h"

#include <SDL.h>

#include <cctype>

namespace plat {

namespace {

// A 16-bit device, playing or recording, in queue mode unless a callback
// is given; 0 when refused. No changes allowed: SDL converts to what the
// hardware wants.
SDL_AudioDeviceID openDevice(bool capture, int frequency, int channels, int bufferFrames,
                             SDL_AudioCallback callback = nullptr, void* user = nullptr,
                             const char* name = nullptr)
{
    if (frequency <= 0 || channels < 1 || channels > 8 || bufferFrames <= 0 || bufferFrames > 65535) return 0;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return 0;
    SDL_AudioSpec want{};
    want.freq = frequency;
    want.format = AUDIO_S16SYS;
    want.channels = static_cast<Uint8>(channels);
    want.samples = static_cast<Uint16>(bufferFrames);
    want.callback = callback;
    want.userdata = user;
    SDL_AudioSpec have{};
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(name, capture ? 1 : 0, &want, &have, 0);
    if (device == 0) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return device;
}

}  // namespace

bool AudioOutput::open(int frequency, int channels, int bufferFrames)
{
    close();
    const SDL_AudioDeviceID device = openDevice(false, frequency, channels, bufferFrames);
    if (device == 0) return false;
    device_ = device;
    frequency_ = frequency;
    channels_ = channels;
    bufferFrames_ = bufferFrames;
    return true;
}

bool AudioOutput::openPulled(int frequency, int channels, int bufferFrames, Pull pull, void* user,
                             const std::string& device)
{
    close();
    if (!pull) return false;
    const SDL_AudioDeviceID id = openDevice(false, frequency, channels, bufferFrames, pull, user,
                                            device.empty() ? nullptr : device.c_str());
    if (id == 0) return false;
    device_ = id;
    frequency_ = frequency;
    channels_ = channels;
    bufferFrames_ = bufferFrames;
    return true;
}

bool AudioOutput::alive() const
{
    // A device that went away is stopped by SDL for good; a paused one is not.
    return device_ != 0 && SDL_GetAudioDeviceStatus(device_) != SDL_AUDIO_STOPPED;
}

std::vector<std::string> AudioOutput::deviceNames()
{
    std::vector<std::string> names;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return names;
    const int count = SDL_GetNumAudioDevices(0);
    for (int i = 0; i < count; ++i)
        if (const char* name = SDL_GetAudioDeviceName(i, 0)) names.emplace_back(name);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return names;
}

void AudioOutput::close()
{
    if (device_ == 0) return;
    SDL_CloseAudioDevice(device_);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    device_ = 0;
    frequency_ = channels_ = bufferFrames_ = 0;
}

bool AudioOutput::queue(const void* bytes, uint32_t count)
{
    return device_ != 0 && SDL_QueueAudio(device_, bytes, count) == 0;
}

uint32_t AudioOutput::queuedBytes() const
{
    return device_ ? SDL_GetQueuedAudioSize(device_) : 0;
}

void AudioOutput::pause()
{
    if (device_) SDL_PauseAudioDevice(device_, 1);
}

void AudioOutput::resume()
{
    if (device_) SDL_PauseAudioDevice(device_, 0);
}

void AudioOutput::clear()
{
    if (device_) SDL_ClearQueuedAudio(device_);
}

bool AudioInput::deviceExists()
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    const int count = SDL_GetNumAudioDevices(1);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return count != 0;
}

bool AudioInput::open(int frequency, int channels, int bufferFrames)
{
    close();
    device_ = openDevice(true, frequency, channels, bufferFrames);
    problem_ = CaptureProblem::none;
    problemText_.clear();
    if (device_ != 0) return true;
    problemText_ = SDL_GetError();
    std::string lower = problemText_;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    // SDL's disk driver records from a file: one it cannot open is no input.
    bool diskWithoutFile = false;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
        const char* driver = SDL_GetCurrentAudioDriver();
        diskWithoutFile = driver && std::string(driver) == "disk" && lower.rfind("couldn't open", 0) == 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    if (diskWithoutFile || !deviceExists() || lower.find("no such") != std::string::npos ||
        lower.find("no capture") != std::string::npos)
        problem_ = CaptureProblem::noDevice;
    else if (lower.find("busy") != std::string::npos || lower.find("in use") != std::string::npos)
        problem_ = CaptureProblem::busy;
    else if (lower.find("permission") != std::string::npos || lower.find("denied") != std::string::npos ||
             lower.find("not permitted") != std::string::npos)
        problem_ = CaptureProblem::permission;
    else
        problem_ = CaptureProblem::other;
    return false;
}

void AudioInput::close()
{
    if (device_ == 0) return;
    SDL_CloseAudioDevice(device_);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    device_ = 0;
}

void AudioInput::resume()
{
    if (device_) SDL_PauseAudioDevice(device_, 0);
}

void AudioInput::stop()
{
    if (!device_) return;
    SDL_PauseAudioDevice(device_, 1);
    SDL_ClearQueuedAudio(device_);
}

uint32_t AudioInput::availableBytes() const
{
    return device_ ? SDL_GetQueuedAudioSize(device_) : 0;
}

uint32_t AudioInput::take(void* bytes, uint32_t count)
{
    return device_ ? SDL_DequeueAudio(device_, bytes, count) : 0;
}

}  // namespace plat
