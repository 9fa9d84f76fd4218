// The start-up and shut-down sequences, the panels and the singletons
// they create.
#pragma once

#include <cstdint>

#include "core/kelCore.h"

class PWPanelClass;
class KelResFile;
class KelCasts;

constexpr int kPanelSlots = 13;
extern PWPanelClass* PWfloatPanelPtr[kPanelSlots];
// "Beatloom.xrs", open for the program's life, and its casts.
extern KelResFile PWresfileobj;
extern KelCasts PWCasts;

// The system path of the program file, set before start-up; its folder is
// the program folder every relative kel path resolves beneath.
extern char PWprogramFile[4096];

// Panel indices.
enum : int16_t {
    kPWGroovePanel = 0,
    kPWVMixPanel = 1,
    kPWSynthPanel = 2,
    kPWNetPanel = 3,
    kPWLoopTunerPanel = 4,
    kPWRandMixPanel = 5,
    kPWLoadPanel = 6,
    kPWLoadSynthPanel = 7,
    kPWPrefsPanel = 8,
    kPWInfoPanel = 9,
    kPWProgressPanel = 10,
    // A song of the user's own loops.
    kPWMakeSongPanel = 11,
    // The effects of a track or of the main mix.
    kPWEffectsPanel = 12,
};

// 1 when the program is up; 0 when it cannot start (nothing is left to shut down).
int16_t PW_InitAll();
void PW_ExitAll();

// The hooks the main loop runs.
KelAppHooks PW_AppHooks();
