#include "audio/MMSysOutputs.h"

#include "audio/CardOutput.h"
#include "audio/JackOutput.h"
#include "audio/QueueOutput.h"

const MMSysOutputKind kMMSysOutputs[kMMSysOutputCount] = {
    {QueueOutput_Takes, QueueOutput_Device, QueueOutput_DelayFrames, nullptr},
    {JackOutput_InUse, JackOutput_Device, JackOutput_DelayFrames, JackOutput_HeardSongFrame},
    {CardOutput_Takes, CardOutput_Device, CardOutput_DelayFrames, nullptr},
};

const MMSysOutputKind& MMSysOutputForPlayback()
{
    for (const MMSysOutputKind& o : kMMSysOutputs)
        if (o.takes()) return o;
    return kMMSysOutputs[kMMSysOutputCount - 1];
}
