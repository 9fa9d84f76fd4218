// The start-up and shut-down sequences and the eleven panels.
#pragma once

#include <cstdint>

#include "core/kelCore.h"

class PWPanelClass;

constexpr int kPanelSlots = 11;
extern PWPanelClass* PWfloatPanelPtr[kPanelSlots];

// The system path of the program file, set before start-up; its folder is
// the program folder every relative kel path resolves beneath.
extern char PWprogramFile[4096];

int16_t PW_InitAll();
void PW_ExitAll();

// The hooks the main loop runs.
KelAppHooks PW_AppHooks();
