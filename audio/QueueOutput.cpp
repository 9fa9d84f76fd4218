#include "audio/QueueOutput.h"

#include "audio/OVTrack.h"

namespace {

MMSysOutput* chosenOutput = nullptr;
bool timerWanted = true;

}  // namespace

void wDBSetOutput(MMSysOutput* output)
{
    chosenOutput = output;
}

void wDBSetTimer(bool on)
{
    timerWanted = on;
}

bool QueueOutput_Timed()
{
    return timerWanted;
}

bool QueueOutput_Takes()
{
    return chosenOutput != nullptr;
}

MMSysOutput* QueueOutput_Device()
{
    return chosenOutput;
}

int QueueOutput_DelayFrames()
{
    return BLOCKLEN.load();
}
