// What start-up fills in and every panel family reads: the panel table, the
// skin file and its casts, the program file. Kept apart from the start-up
// sequence, which creates every panel, so that no family links back to it.
#include "core/kelCasts.h"
#include "core/kelRes.h"
#include "panels/startup/PWmain.h"

PWPanelClass* PWfloatPanelPtr[kPanelSlots] = {};
KelResFile PWresfileobj;
KelCasts PWCasts;
char PWprogramFile[4096] = {};
