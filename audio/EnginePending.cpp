// Entry points of the engine's stages that are not built yet: the
// user-loop render stage (audio/Vetro.h),
// recording and user loops (audio/sndInRec.h) and the mixdown
// (audio/QualMix.h). The engine calls them in their places; until each
// stage lands they add nothing to the mix, change nothing and report that
// nothing was done. Each stage replaces its part of this file.
#include "audio/QualMix.h"
#include "audio/Vetro.h"
#include "audio/sndInRec.h"

// User-loop render stage.
vetroRenderDataRec vetroRenderData;

void Vetro_Init()
{
    vetroRenderData.active = 0;
}
void Vetro_Exit()
{
    vetroRenderData.active = 0;
}
void Vetro_RenderToMixer() {}
void Vetro_ApplySettings(blUserLoopSettingsRec*) {}
unsigned char Vetro_SaveLoop(char*)
{
    return 0;
}

// Recording and user loops.
unsigned char UserLoop_Load(char*)
{
    return 0;
}
unsigned char UserLoop_RecordStart()
{
    return 0;
}
void UserLoop_RecordStop() {}
void UserLoop_RecordReset() {}
unsigned char UserLoop_RecordStatus(short*, short* level)
{
    if (level) *level = 0;
    return 0;
}

// Mixdown.
void OVQualityMix(char*, char*) {}
