// Entry points of the engine's stages that are not built yet: the
// synthesizer (audio/Synth.h), the user-loop render stage (audio/Vetro.h),
// and recording and user loops (audio/sndInRec.h). The engine calls them
// in their places; until each stage lands they add nothing to the mix, change nothing and report that
// nothing was done. Each stage replaces its part of this file.
#include "audio/Synth.h"
#include "audio/Vetro.h"
#include "audio/sndInRec.h"

// Synthesizer.
SYNTHDATA SynthSamps[kSynthNotes];
SYNTHETIZER RealtimeSynth;
SYNTHETIZER RenderSynth;

int InitSynth(SYNTHETIZER*, SYNTHDATA*)
{
    return 0;
}
int InitSynthFStop(SYNTHETIZER*, SYNTHDATA*)
{
    return 0;
}
int FreeSynth(SYNTHDATA*)
{
    return 0;
}
int SetSynthBPM(SYNTHETIZER*, int)
{
    return 0;
}
int SynthFloatRender(SYNTHETIZER*, float*, float*, int64_t, float, int n)
{
    return n;
}
int RealtimeSetSynth(char*)
{
    return 0;
}
int RealtimeArpeggiatorOn(int, int, char*)
{
    return 0;
}
int RealtimeArpeggiatorOff()
{
    return 0;
}
int RealtimeSetSynthPoly(int)
{
    return 0;
}
int RealtimeSetSynthPan(int)
{
    return 0;
}
int RealtimeSetSynthVolume(int)
{
    return 0;
}
int RealtimeSynthMix(char*)
{
    return 0;
}

