#include "audio/CardOutput.h"

#include <mutex>
#include <string>
#include <vector>

namespace {

std::mutex cardChoiceLock;
std::string cardName;
int cardPeriod = 512;

}  // namespace

void MMSysCardOutput::choose(const std::string& device, int periodFrames)
{
    std::lock_guard<std::mutex> hold(cardChoiceLock);
    cardName = device;
    cardPeriod = periodFrames >= 128 && periodFrames <= 4096 ? periodFrames : 512;
}

int MMSysCardOutput::periodFrames()
{
    std::lock_guard<std::mutex> hold(cardChoiceLock);
    return cardPeriod;
}

std::string MMSysCardOutput::chosenCard()
{
    std::lock_guard<std::mutex> hold(cardChoiceLock);
    return cardName;
}

bool MMSysCardOutput::open(int rate, int channels, int bufferFrames)
{
    return out_.open(rate, channels, bufferFrames);
}

bool MMSysCardOutput::openPulled(int rate, int channels, int, MMSysAudio* owner)
{
    std::string name;
    int period;
    {
        std::lock_guard<std::mutex> hold(cardChoiceLock);
        name = cardName;
        period = cardPeriod;
    }
    if (out_.openPulled(rate, channels, period, &MMSysAudio::Pull, owner, name)) return true;
    return !name.empty() && out_.openPulled(rate, channels, period, &MMSysAudio::Pull, owner);
}

std::vector<std::string> MMSysCardOutput::cards()
{
    return plat::AudioOutput::deviceNames();
}

bool CardOutput_Takes()
{
    return true;
}

MMSysOutput* CardOutput_Device()
{
    return nullptr;
}

int CardOutput_DelayFrames()
{
    return 2 * MMSysCardOutput::periodFrames();
}
