// A parameter as a knob or a controller's CC moves it: a place from 0 to 1
// across its range (on a log scale where the parameter is one, in steps
// where it takes whole numbers or named choices), and the value's words.
#pragma once

#include <string>

#include "audio/fx/FxCatalog.h"

// The value at place 0 .. 1, and the place of a value.
float Fx_ValueAt(const FxParamInfo& p, double place);
double Fx_PlaceOf(const FxParamInfo& p, float value);
// How many values a stepped parameter takes; 0 for a continuous one.
int Fx_StepCount(const FxParamInfo& p);
// "500 Hz", "1/4 beats", "lowpass", "on": as a knob shows it.
std::string Fx_ValueText(const FxParamInfo& p, float value);
// The value of a slot's parameter: as set, else the parameter's default.
float Fx_ValueOf(const FxSlot& slot, const FxParamInfo& p);
