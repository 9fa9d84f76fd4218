// beatloom --list-effects: the built-in effects and the LV2 plugins found,
// with their parameters, as --render's documents and enginebounce name them.
#pragma once

#include <cstdio>

int ListEffects_Main(FILE* out);
