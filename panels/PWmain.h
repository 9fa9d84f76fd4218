// The start-up and shut-down sequences and the eleven panels.
#pragma once

#include <cstdint>

#include "core/kelCore.h"

class PWPanelClass;
class KelResFile;

constexpr int kPanelSlots = 11;
extern PWPanelClass* PWfloatPanelPtr[kPanelSlots];
// "Beatloom.xrs", open for the program's life.
extern KelResFile PWresfileobj;

// The system path of the program file, set before start-up; its folder is
// the program folder every relative kel path resolves beneath.
extern char PWprogramFile[4096];

// 1 when the program is up; 0 when it cannot start (nothing is left to shut down).
int16_t PW_InitAll();
void PW_ExitAll();

// The hooks the main loop runs.
KelAppHooks PW_AppHooks();
